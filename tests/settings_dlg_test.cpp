// The settings dialog and its small dialogs, offscreen, on a real home: what Cancel throws
// away and what it keeps, the lists and their refusals, the defaults, the profiles with
// their files on disk, and a language switch. Every message box and modal dialog is
// answered by the test.

#include "ui/settings_dlg.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/local_bot.h"
#include "config/ini_file.h"
#include "net/NetObjs.h"
#include "support/fake_bnls_server.h"
#include "support/fake_chat_server.h"
#include "support/qt_run_until.h"
#include "support/test_home.h"
#include "ui/main_wnd.h"
#include "ui/qt_event_loop.h"
#include "ui/small_dialogs.h"
#include "ui/table_model.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

bool RunUntil(const std::function<bool()>& done, int timeout_ms = 5000) {
  return test::RunQtUntil(done, timeout_ms);
}

// The first row of a list whose first cell reads `name`, selected; -1 when none does.
int Select(QTableView& view, const std::string& name) {
  for (int row = 0; row < view.model()->rowCount(); ++row) {
    if (view.model()->index(row, 0).data().toString().toStdString() == name) {
      view.selectRow(row);
      return row;
    }
  }
  return -1;
}

// The first column of a list, top to bottom.
std::vector<std::string> Names(const QTableView& view) {
  std::vector<std::string> names;
  for (int row = 0; row < view.model()->rowCount(); ++row) {
    names.push_back(view.model()->index(row, 0).data().toString().toStdString());
  }
  return names;
}

// The bot the window runs in this process.
TBotCore& Core(TMainWnd& wnd) {
  return dynamic_cast<TLocalBot&>(wnd.Link()).Core();
}

std::string File(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class SettingsDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "settings_dlg_test";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) new QApplication(argc, argv);
    SocketStartup();
    home_ = fs::temp_directory_path() / ("corvane-dlg-" + std::to_string(getpid()));
    fs::remove_all(home_);
    ASSERT_TRUE(test::WriteTestHome(home_, "test", chat_, bnls_, "Tester", false));
    setenv("CORVANE_PLUGIN_LOG", (home_ / "plugins.log").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("CORVANE_PLUGIN_LOG");
    fs::remove_all(home_);
    SocketCleanup();
  }

  // The window on the home, its modal moments answered: message boxes by `answers` in
  // turn (each box recorded in `boxes`), dialogs by `run_dialog`.
  std::unique_ptr<TMainWnd> Open() {
    auto wnd = std::make_unique<TMainWnd>(loop_, home_.string(), "");
    wnd->Modal().box = [this](QWidget*, const TBoxRequest& r) {
      boxes_.push_back(r.text.toStdString());
      if (answers_.empty()) return QMessageBox::Ok;
      const QMessageBox::StandardButton answer = answers_.front();
      answers_.erase(answers_.begin());
      return answer;
    };
    wnd->Modal().run = [this](QDialog& dialog) {
      run_dialog_(dialog);
      return dialog.result();
    };
    wnd->Start();
    return wnd;
  }

  fs::path home_;
  test::TFakeBnlsServer bnls_;
  test::TFakeChatServer chat_;
  TQtEventLoop loop_;
  std::vector<std::string> boxes_;
  std::vector<QMessageBox::StandardButton> answers_;
  std::function<void(QDialog&)> run_dialog_ = [](QDialog&) {};
};

TEST_F(SettingsDlgTest, CancelOkAndTheListsWithTheirRefusalsAndDefaults) {
  fs::create_directories(home_ / "plugins");
  fs::copy_file(fs::path(CORVANE_TEST_PLUGINS) / "commands.so", home_ / "plugins/commands.so");
  auto wnd = Open();
  TBotCore& core = Core(*wnd);
  core.Database().SetUser("Alice", 50, "S");
  // A plug-in's command whose plug-in is not loaded is not listed; a loaded one's is.
  core.Database().AddPluginCommand("gone.so", "ghost", 0, nullptr, true, 10, "");
  TSettingsDlg& dlg = wnd->SettingsDialog();
  dlg.Prepare();
  EXPECT_EQ(dlg.PageList().count(), 6);
  EXPECT_EQ(dlg.CurrentPage(), TSettingsDlg::kGeneral);
  EXPECT_EQ(Select(dlg.CommandList(), "ghost"), -1);
  EXPECT_GE(Select(dlg.CommandList(), "alpha"), 0);

  // Typing then Cancel is thrown away; OK stores the game, in profile.ini at once.
  dlg.AccountEdit().setText("Typed");
  dlg.reject();
  EXPECT_EQ(dlg.AccountEdit().text().toStdString(), "Tester");
  dlg.ExpansionRadio().setChecked(true);
  dlg.Ok();
  const fs::path ini = home_ / "profiles/test/profile.ini";
  EXPECT_EQ(TIniFile(ini).ReadInteger("Main", "Game", 0), 8);
  EXPECT_EQ(TIniFile(ini).ReadString("Main", "Username", ""), "Tester");

  // A user deleted (Yes) stays deleted through Cancel; one added through the user dialog
  // is listed.
  dlg.Prepare();
  ASSERT_GE(Select(dlg.UserList(), "Alice"), 0);
  answers_ = {QMessageBox::Yes};
  dlg.UserButton(1).click();
  dlg.reject();
  EXPECT_EQ(core.Database().Users().size(), 0u);
  run_dialog_ = [&](QDialog&) {
    dlg.UserDialog().NameEdit().setText("Bob");
    dlg.UserDialog().AccessEdit().setValue(70);
    dlg.UserDialog().ConfirmButton().click();
  };
  dlg.UserButton(0).click();
  EXPECT_EQ(Select(dlg.UserList(), "Bob"), 0);

  // An internal command cannot be deleted, nor renamed.
  ASSERT_GE(Select(dlg.CommandList(), "say"), 0);
  dlg.CommandButton(3).click();
  EXPECT_EQ(boxes_.back(), "Do can delete only custom commands!");
  run_dialog_ = [&](QDialog&) {
    EXPECT_FALSE(dlg.CommandDialog().NameEdit().isEnabled());
    EXPECT_EQ(dlg.CommandDialog().KindLabel().text().toStdString(), "Internal");
  };
  dlg.CommandButton(0).click();

  // A custom command added; edited to an empty name it is refused and stays as it was.
  run_dialog_ = [&](QDialog&) {
    dlg.CommandDialog().NameEdit().setText("hi");
    dlg.CommandDialog().TextEdit().setText("hello %user");
    dlg.CommandDialog().OkButton().click();
  };
  dlg.CommandButton(2).click();
  ASSERT_GE(Select(dlg.CommandList(), "hi"), 0);
  run_dialog_ = [&](QDialog& d) {
    EXPECT_TRUE(dlg.CommandDialog().NameEdit().isEnabled()) << "a custom command's name";
    dlg.CommandDialog().NameEdit().clear();
    dlg.CommandDialog().OkButton().click();
    EXPECT_NE(d.result(), QDialog::Accepted);
  };
  dlg.CommandButton(0).click();
  EXPECT_NE(core.Database().FindCommand("hi", TCmdType::Custom), nullptr);

  // The defaults: users and custom commands gone, the file written, the plug-ins told.
  answers_ = {QMessageBox::Yes};
  dlg.CommandButton(1).click();
  EXPECT_EQ(core.Database().Users().size(), 0u);
  EXPECT_EQ(core.Database().FindCommand("hi", TCmdType::Custom), nullptr);
  EXPECT_EQ(dlg.UserList().model()->rowCount(), 0);
  EXPECT_NE(File(home_ / "plugins.log").find("msg 10100"), std::string::npos);
  EXPECT_EQ(File(home_ / "profiles/test/usrcmd.bin").find("Bob"), std::string::npos);
}

// Another window on the bot, a command in the channel or a plug-in changes the users, the
// commands or the profiles while the dialog is open: its lists follow, keeping the selected
// row and what is typed; only a switch to another profile reads the controls again.
TEST_F(SettingsDlgTest, TheListsFollowChangesMadeBehindTheDialog) {
  auto wnd = Open();
  TBotCore& core = Core(*wnd);
  core.Database().SetUser("Alice", 50, "S");
  TSettingsDlg& dlg = wnd->SettingsDialog();
  dlg.Prepare();
  dlg.show();
  ASSERT_GE(Select(dlg.UserList(), "Alice"), 0);
  dlg.AccountEdit().setText("Typed");
  const auto users = [&] { return Names(dlg.UserList()); };
  const auto selected = [&] {
    const QModelIndexList rows = dlg.UserList().selectionModel()->selectedRows();
    return rows.isEmpty() ? std::string() : rows.front().data().toString().toStdString();
  };

  core.Database().SetUser("Zed", 10, "");
  ASSERT_TRUE(RunUntil([&] { return users() == std::vector<std::string>{"Alice", "Zed"}; }));
  EXPECT_EQ(selected(), "Alice");
  EXPECT_TRUE(dlg.UserButton(1).isEnabled());
  core.Database().DeleteUser("Alice");
  ASSERT_TRUE(RunUntil([&] { return users() == std::vector<std::string>{"Zed"}; }));
  EXPECT_EQ(selected(), "");
  EXPECT_FALSE(dlg.UserButton(1).isEnabled()) << "nothing left to delete";
  core.Database().AddCustomCommand("late", "hi", false, true, 20, "");
  ASSERT_TRUE(RunUntil([&] { return Select(dlg.CommandList(), "late") >= 0; }));
  EXPECT_EQ(dlg.AccountEdit().text().toStdString(), "Typed");

  // A profile made and switched to elsewhere: listed, current, its settings in the controls.
  const auto yes = [](const TProfileMessage&) { return true; };
  ASSERT_TRUE(core.CreateProfile("other", "test", yes).created);
  ASSERT_TRUE(RunUntil([&] { return dlg.ChooseProfileCombo().currentText() == "other"; }));
  EXPECT_GE(dlg.ActProfileCombo().findText("other"), 0);
  EXPECT_EQ(dlg.AccountEdit().text().toStdString(), "Tester");
}

TEST_F(SettingsDlgTest, ProfilesOnDiskAndALanguageSwitch) {
  for (const char* file : {"english.lng", "russian.lng"}) {
    fs::create_directories(home_ / "lang");
    fs::copy_file(fs::path(CORVANE_SOURCE_DIR) / "lang" / file, home_ / "lang" / file);
  }
  TIniFile(home_ / "profiles.ini").WriteString("Profiles", "CurrentProfile", "");
  auto wnd = Open();
  TBotCore& core = Core(*wnd);
  TSettingsDlg& dlg = wnd->SettingsDialog();
  // Connecting without a profile: the reason, then this dialog with only its Profiles page.
  QDialog* shown = nullptr;
  run_dialog_ = [&](QDialog& d) { shown = &d; };
  core.ConnectClicked();
  EXPECT_EQ(boxes_.back().substr(0, 25), "Current profile not found");
  EXPECT_EQ(shown, &dlg);
  EXPECT_FALSE(core.Connected());
  EXPECT_EQ(dlg.PageList().count(), 1) << "no current profile: only Profiles";
  EXPECT_EQ(dlg.CurrentPage(), TSettingsDlg::kProfiles);

  // Create from "test": the name cleaned, the profile made current, its own settings in the
  // controls rather than those of the default profile shown before.
  dlg.NewProfileEdit().setText(" my.profile? ");
  dlg.ParentProfileCombo().setCurrentIndex(dlg.ParentProfileCombo().findText("test"));
  EXPECT_EQ(dlg.AccountEdit().text().toStdString(), "");
  dlg.ProfileButton(0).click();
  EXPECT_TRUE(fs::exists(home_ / "profiles/my_profile_/profile.ini"));
  EXPECT_EQ(core.Profiles().Current(), "my_profile_");
  EXPECT_EQ(boxes_.back(), "New profile with name \"my_profile_\" was succesfully created!");
  EXPECT_EQ(dlg.PageList().count(), 6);
  EXPECT_EQ(dlg.CurrentPage(), TSettingsDlg::kGeneral);
  EXPECT_EQ(dlg.AccountEdit().text().toStdString(), "Tester");

  // Choose while connected: No keeps the connection and shows the current name again; Yes
  // disconnects and switches.
  core.ConnectClicked();
  ASSERT_TRUE(RunUntil([&] { return core.LoggedOn(); }));
  QComboBox& choose = dlg.ChooseProfileCombo();
  const int test_row = choose.findText("test");
  choose.setCurrentIndex(test_row);
  answers_ = {QMessageBox::No};
  emit choose.activated(test_row);
  EXPECT_TRUE(core.Connected());
  ASSERT_TRUE(RunUntil([&] { return choose.currentText() == "my_profile_"; }, 1000));
  answers_ = {QMessageBox::Yes};
  emit choose.activated(test_row);
  EXPECT_FALSE(core.Connected());
  EXPECT_EQ(TIniFile(home_ / "profiles.ini").ReadString("Profiles", "CurrentProfile", ""), "test");

  // Delete and rename another profile; the current one cannot be.
  QComboBox& act = dlg.ActProfileCombo();
  act.setCurrentIndex(act.findText("test"));
  dlg.ProfileButton(1).click();
  EXPECT_TRUE(fs::exists(home_ / "profiles/test"));
  act.setCurrentIndex(act.findText("my_profile_"));
  run_dialog_ = [&](QDialog&) {
    dlg.RenameDialog().NameEdit().setText("renamed");
    dlg.RenameDialog().accept();
  };
  dlg.ProfileButton(2).click();
  EXPECT_TRUE(fs::exists(home_ / "profiles/renamed/profile.ini"));
  EXPECT_FALSE(fs::exists(home_ / "profiles/my_profile_"));
  act.setCurrentIndex(act.findText("renamed"));
  answers_ = {QMessageBox::Yes};
  dlg.ProfileButton(1).click();
  EXPECT_FALSE(fs::exists(home_ / "profiles/renamed"));

  // A language switch renames the window's menus and the dialog's texts at once.
  QComboBox& language = dlg.LanguageCombo();
  const int russian = language.findText(QString::fromUtf8("Russian (Русский)"));
  ASSERT_GE(russian, 0);
  emit language.activated(russian);
  const QString bot_menu = wnd->menuBar()->actions().front()->text();
  EXPECT_NE(bot_menu, "Bot");
  EXPECT_FALSE(bot_menu.isEmpty());
  EXPECT_NE(dlg.windowTitle(), "Settings");
  EXPECT_EQ(core.Settings().Language, "russian.lng");
}

}  // namespace
}  // namespace corvane
