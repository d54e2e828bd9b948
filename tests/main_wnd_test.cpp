// The real window, offscreen, against the fake servers on 127.0.0.1: the logon in coloured
// runs, the member list and its one-row updates, the view buttons, the input line, the
// whisper pane toggle, and the "Kill" key closing with everything saved. Then the window on
// a bot elsewhere: what Exit and the close box do to it.

#include "ui/main_wnd.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTextBlock>
#include <QToolButton>
#include <QTreeView>
#include <filesystem>
#include <fstream>

#include "app/bot_channel.h"
#include "app/bot_link.h"
#include "app/remote_bot.h"
#include "bnet/sid.h"
#include "config/ini_file.h"
#include "net/NetObjs.h"
#include "support/fake_bnls_server.h"
#include "support/fake_chat_server.h"
#include "support/program.h"
#include "support/qt_run_until.h"
#include "support/session_feed.h"
#include "support/test_home.h"
#include "ui/clan_inv_wnd.h"
#include "ui/pane_view.h"
#include "ui/qt_event_loop.h"
#include "ui/settings_dlg.h"
#include "ui/small_dialogs.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

bool RunUntil(const std::function<bool()>& done, int timeout_ms = 5000) {
  return test::RunQtUntil(done, timeout_ms);
}

std::string PaneText(const TPaneView& pane) {
  return pane.toPlainText().toStdString();
}

TEST(MainWnd, LogsOnShowsTheChannelAndClosesOnTheKillKeyWithEverythingSaved) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int argc = 1;
  char name[] = "main_wnd_test";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  SocketStartup();
  const fs::path home = fs::temp_directory_path() / ("corvane-wnd-" + std::to_string(getpid()));
  test::TFakeBnlsServer bnls;
  test::TFakeChatServer chat;
  ASSERT_TRUE(test::WriteTestHome(home, "test", chat, bnls, "Tester", true));
  chat.SetChannelMembers({{"Boss", 0, 30, "PX3W 3H3W 12"}, {"Bob", 0, 60, "3RAW 1R3W 1"}});
  // A user's own icon that cannot be read: one red line, a placeholder, the rest shipped.
  fs::create_directories(home / "icons");
  std::ofstream(home / "icons" / "bnet-squelch.bmp") << "not a picture";
  TIniFile(home / "profiles.ini").WriteInteger("Ui", "ScrollbackLines", 500);
  bool shown = false;
  {
    TQtEventLoop loop;
    TMainWnd wnd(loop, home.string(), CORVANE_SHARED_DIR, 10);  // 10 ms countdown seconds
    wnd.Start();
    wnd.show();
    ASSERT_TRUE(RunUntil([&] { return wnd.MemberList().model()->rowCount() == 3; }));
    EXPECT_EQ(wnd.Caption().text().toStdString(), "The Void(3)");
    EXPECT_EQ(wnd.ChatPane().maximumBlockCount(), 500) << "the \"Ui\" key ScrollbackLines";
    const std::string chat_text = PaneText(wnd.ChatPane());
    const std::string bad_icon = "[BOT] Cannot load the icon " + (home / "icons").string();
    EXPECT_NE(chat_text.find(bad_icon + "/bnet-squelch.bmp"), std::string::npos);
    EXPECT_EQ(chat_text.find(bad_icon), chat_text.rfind(bad_icon)) << "the shipped ones load";
    // A status line keeps its colour; a member's markup stays text.
    const QTextBlock connected = wnd.ChatPane().document()->findBlock(
        wnd.ChatPane().document()->find("[BNET] Connected!").position());
    EXPECT_EQ(connected.begin().fragment().charFormat().foreground().color(), QColor(0x00FF00));
    chat.SendChatEvent(EID_TALK, "Bob", "<b>hi</b>");
    chat.SendChatEvent(EID_JOIN, "Op", "PX3W 1R3W 3", 2);
    ASSERT_TRUE(RunUntil([&] { return wnd.MemberList().model()->rowCount() == 4; }));
    EXPECT_NE(PaneText(wnd.ChatPane()).find("Bob: <b>hi</b>"), std::string::npos);
    EXPECT_EQ(wnd.MemberList().model()->index(0, 2).data().toString().toStdString(), "Op");
    // Icons come in two sizes, the larger for a display scaled twice.
    const QIcon icon =
        wnd.MemberList().model()->index(0, 0).data(Qt::DecorationRole).value<QIcon>();
    EXPECT_EQ(icon.pixmap(QSize(32, 32), 2.0).size(), QSize(64, 64));

    // The right click appends the selected name; Enter sends prefix and line, and the history
    // keeps the line alone.
    wnd.MemberList().setCurrentIndex(wnd.MemberList().model()->index(0, 2));
    QMouseEvent right(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(wnd.MemberList().viewport(), &right);
    EXPECT_EQ(wnd.InputLine().currentText().toStdString(), " Op");
    wnd.Prefix().setText("/w Op ");
    wnd.InputLine().setEditText(QString::fromUtf8("hello привет"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&wnd.InputLine(), &enter);
    EXPECT_EQ(wnd.InputLine().itemText(0), QString::fromUtf8("hello привет"));
    EXPECT_TRUE(wnd.InputLine().currentText().isEmpty());
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(&wnd.InputLine(), &up);
    EXPECT_EQ(wnd.InputLine().currentText(), QString::fromUtf8("hello привет")) << "Up";
    QApplication::sendEvent(&wnd.InputLine(), &down);
    EXPECT_TRUE(wnd.InputLine().currentText().isEmpty()) << "Down goes past it to an empty line";
    ASSERT_TRUE(RunUntil([&] { return !chat.MessagesWithId(SID_CHATCOMMAND).empty(); }));
    // Typed text is taken into the bot's code page, and the profile sends it as UTF-8.
    EXPECT_EQ(chat.MessagesWithId(SID_CHATCOMMAND)[0].body,
              std::string("/w Op hello привет") + '\0');

    // The Friends button shows that view, drawn flat; the whisper pane's state is saved.
    wnd.ViewButton(TViewMode::Friends).click();
    EXPECT_EQ(wnd.Caption().text().toStdString(), "0 friends online");
    EXPECT_TRUE(wnd.ViewButton(TViewMode::Friends).isFlat());
    EXPECT_FALSE(wnd.ViewButton(TViewMode::Channel).isFlat());
    // The whisper pane's toggle resizes the window by the pane, not the chat pane.
    shown = wnd.WhisperPane().isVisible();
    const int height = wnd.height(), chat_height = wnd.ChatPane().height();
    wnd.WhisperToggle().click();
    EXPECT_NE(wnd.WhisperPane().isVisible(), shown);
    EXPECT_EQ(wnd.height(), height + (shown ? -78 : 78));
    RunUntil([&] { return wnd.ChatPane().height() == chat_height; }, 500);
    EXPECT_EQ(wnd.ChatPane().height(), chat_height);

    // The tray's double click hides and shows the window.
    EXPECT_FALSE(wnd.windowIcon().isNull());
    wnd.TrayActivated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(wnd.isVisible());
    wnd.TrayActivated(QSystemTrayIcon::DoubleClick);
    EXPECT_FALSE(wnd.isVisible());
    wnd.TrayActivated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(wnd.isVisible());

    // A clan invitation counts down and declines by itself (9); the next one is accepted (6).
    const std::string invitation = test::Dword(5) + std::string("CBA\0The Clan\0chief\0", 19);
    const auto answers = [&] { return chat.MessagesWithId(SID_CLANINVITATIONRESPONSE).size(); };
    chat.SendMessage(SID_CLANINVITATIONRESPONSE, invitation);
    ASSERT_TRUE(RunUntil([&] { return wnd.ClanInvitationWindow().isVisible(); }));
    ASSERT_TRUE(RunUntil([&] { return answers() == 1; }));
    EXPECT_FALSE(wnd.ClanInvitationWindow().isVisible());
    chat.SendMessage(SID_CLANINVITATIONRESPONSE, invitation);
    ASSERT_TRUE(RunUntil([&] { return wnd.ClanInvitationWindow().isVisible(); }));
    wnd.ClanInvitationWindow().AcceptButton().click();
    ASSERT_TRUE(RunUntil([&] { return answers() == 2; }));
    const auto sent = chat.MessagesWithId(SID_CLANINVITATIONRESPONSE);
    EXPECT_EQ(sent[0].body, test::Dword(5) + std::string("CBA\0chief\0\x09", 11));
    EXPECT_EQ(sent[1].body, test::Dword(5) + std::string("CBA\0chief\0\x06", 11));

    wnd.setGeometry(40, 50, 700, 600);
    TIniFile(home / "profiles.ini").WriteBool("Shutdown", "Kill", true);
    ASSERT_TRUE(RunUntil([&] { return !wnd.isVisible(); }, 3000)) << "closed by the Kill key";
  }
  {  // The next start puts the window where it was.
    TQtEventLoop loop;
    TMainWnd again(loop, home.string(), CORVANE_SHARED_DIR);
    again.Start();
    EXPECT_EQ(again.geometry(), QRect(40, 50, 700, 600));
  }
  const bool toggled_to = !shown;
  const TIniFile profiles(home / "profiles.ini");
  EXPECT_EQ(profiles.ReadInteger("Ui", "Width", 0), 700);
  const TIniFile profile(home / "profiles" / "test" / "profile.ini");
  EXPECT_EQ(profile.ReadBool("Main", "VisWhisper", shown), toggled_to);
  fs::remove_all(home);
  SocketCleanup();
}

// A bot as the window reaches it through its link, counting the calls that end things.
class TFakeLink final : public TBotLink {
 public:
  TFakeLink(TFrontEnd& front, bool remote) : front_(front), remote_(remote) {}
  int exits = 0;
  int closes = 0;

  void Start() override {}
  bool Close() override {
    ++closes;
    return true;
  }
  bool Remote() const override { return remote_; }
  const TSettings& Settings() const override { return settings_; }
  const TMemberViews& Views() const override { return views_; }
  const TLanguage& Language() const override { return language_; }
  const TBotCommandControl& Database() const override { return database_; }
  bool Connected() const override { return false; }
  std::string CurrentProfile() const override { return {}; }
  std::vector<std::string> ListProfiles() const override { return {}; }
  std::vector<std::string> LangDirs() const override { return {}; }
  std::string LocalHome() const override { return {}; }
  void ConnectClicked() override {}
  void DisconnectClicked() override {}
  // As a stopped bot's link does.
  void ExitClicked() override {
    ++exits;
    front_.RequestClose();
  }
  void ToggleUtf8() override {}
  void ToggleJoinNotify() override {}
  void RestartPlugins() override {}
  void ChooseView(TViewMode) override {}
  bool TypeLine(const std::string&, const std::string&) override { return false; }
  void AnswerClanInvitation(bool) override {}
  void AddChatLine(const std::string&, TColor) override {}
  void ApplySettings(const TSettings&) override {}
  void SetUser(const std::string&, std::int32_t, const std::string&) override {}
  void DeleteUser(const std::string&) override {}
  void AddCommand(const std::string&, const std::string&, std::int32_t,
                  const std::string&) override {}
  bool UpdateCommand(const TCommandEdit&) override { return false; }
  bool DeleteCommand(const std::string&) override { return false; }
  void ResetCommandsToDefaults() override {}
  TChoice ChooseProfile(const std::string&, const TProfiles::TAsk&) override {
    return TChoice::Unchanged;
  }
  TProfiles::TCreateResult CreateProfile(const std::string&, const std::string&,
                                         const TProfiles::TAsk&) override {
    return {};
  }
  TProfileMessage DeleteProfile(const std::string&, const TProfiles::TAsk&) override { return {}; }
  TProfileMessage RenameRefusal(const std::string&) const override { return {}; }
  TProfileMessage RenameProfile(const std::string&, const std::string&) override { return {}; }
  bool ChooseLanguage(const std::string&) override { return false; }

 private:
  TFrontEnd& front_;
  bool remote_;
  TSettings settings_;
  TMemberViews views_;
  TLanguage language_;
  TBotCommandControl database_;
};

// Exit on a bot elsewhere asks whether to stop it or only to detach; the close box only
// detaches. On a bot in this process Exit is the bot's own, unasked.
TEST(MainWnd, ExitAsksWhetherToStopABotElsewhereAndTheCloseBoxOnlyDetaches) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int argc = 1;
  char name[] = "main_wnd_test";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  struct TCase {
    bool remote;
    const char* press;  // the button pressed in the question; none: the close box
    bool asked;
    int exits;   // the bot told to stop
    int closes;  // the link closed (detached, for a bot elsewhere)
  };
  const TCase cases[] = {
      {false, "", false, 1, 1},     {true, "Stop the bot", true, 1, 1},
      {true, "Detach", true, 0, 1}, {true, "Cancel", true, 0, 0},
      {true, nullptr, false, 0, 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.press == nullptr ? "the close box" : c.press);
    TFakeLink* link = nullptr;
    TMainWnd wnd(
        [&](TFrontEnd& front) {
          auto made = std::make_unique<TFakeLink>(front, c.remote);
          link = made.get();
          return made;
        },
        CORVANE_SHARED_DIR);
    bool asked = false;
    wnd.Modal().run = [&](QDialog& dialog) {
      asked = true;
      const auto* box = qobject_cast<QMessageBox*>(&dialog);
      if (box == nullptr) {
        ADD_FAILURE() << "the question is a message box";
        return 0;
      }
      for (QAbstractButton* button : box->buttons()) {
        if (button->text().remove('&') == c.press) button->click();
      }
      return dialog.result();
    };
    wnd.Start();
    wnd.show();
    if (c.press != nullptr) {
      wnd.menuBar()->actions().front()->menu()->actions().back()->trigger();  // Bot, Exit
    } else {
      wnd.close();
    }
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(link->exits, c.exits);
    EXPECT_EQ(link->closes, c.closes);
    EXPECT_EQ(wnd.isVisible(), c.closes == 0);
  }
}

// The program opens the window when given no mode; SIGTERM closes it as Exit does, saving;
// without a display it says so in one line.
TEST(MainWndProgram, SigtermClosesTheWindowAsExitDoesAndNoDisplayIsOneLine) {
  const fs::path home = fs::temp_directory_path() / ("corvane-wndp-" + std::to_string(getpid()));
  fs::create_directories(home);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  {
    test::TProgram window(CORVANE_BIN, {"--home", home.string()});
    ASSERT_TRUE(window.ReadUntil([&] { return fs::exists(home / "profiles.ini"); }));
    window.Signal(SIGTERM);
    EXPECT_EQ(window.Wait(), 0);
  }
  EXPECT_GT(TIniFile(home / "profiles.ini").ReadInteger("Ui", "Width", 0), 0) << "saved on close";
  unsetenv("QT_QPA_PLATFORM");
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display != nullptr ? display : "";
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  test::TProgram headless_only(CORVANE_BIN, {"--home", home.string()});
  EXPECT_EQ(headless_only.Wait(), 1);
  EXPECT_EQ(headless_only.Err(), "corvane: no display for the window; run corvane --headless\n");
  if (!saved.empty()) setenv("DISPLAY", saved.c_str(), 1);
  fs::remove_all(home);
}

// The window attached to a headless bot: what was said before it came, the members, a live
// line, a typed line, a user added in the dialogs; closing it leaves the bot running.
TEST(MainWndAttached, ShowsARunningBotAndDetachesOnClose) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const fs::path home = fs::temp_directory_path() / ("corvane-wnda-" + std::to_string(getpid()));
  test::TFakeBnlsServer bnls;
  test::TFakeChatServer chat;
  ASSERT_TRUE(test::WriteTestHome(home, "test", chat, bnls, "Tester", true));
  chat.SetChannelMembers({{"Boss", 0, 30}, {"Bob", 0, 60}});
  test::TProgram bot(CORVANE_BIN, {"--headless", "--home", home.string()});
  ASSERT_TRUE(
      bot.ReadUntil([&] { return bot.Out().find("Joined to channel") != std::string::npos; }));
  chat.SendChatEvent(5, "Boss", "said before the window came");
  ASSERT_TRUE(
      bot.ReadUntil([&] { return bot.Out().find("said before the window") != std::string::npos; }));

  int argc = 1;
  char name[] = "main_wnd_test";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  SocketStartup();
  {
    TQtEventLoop loop;
    std::string error;
    std::optional<TBotChannel> channel = TBotChannel::Open({"", home.string()}, error);
    ASSERT_TRUE(channel) << error;
    TMainWnd wnd(
        [&](TFrontEnd& front) {
          return std::make_unique<TRemoteBot>(loop, front, std::move(*channel), CORVANE_SHARED_DIR);
        },
        CORVANE_SHARED_DIR);
    wnd.Start();
    wnd.show();
    EXPECT_NE(PaneText(wnd.ChatPane()).find("said before the window came"), std::string::npos);
    EXPECT_EQ(wnd.MemberList().model()->rowCount(), 3);
    EXPECT_EQ(wnd.Caption().text().toStdString(), "The Void(3)");

    chat.SendChatEvent(5, "Bob", "live line");
    EXPECT_TRUE(
        RunUntil([&] { return PaneText(wnd.ChatPane()).find("live line") != std::string::npos; }));
    wnd.InputLine().setEditText("typed in the window");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&wnd.InputLine(), &enter);
    EXPECT_TRUE(bot.WaitFor("Tester: typed in the window")) << bot.Out();

    // The user dialog of the settings adds the user to the running bot.
    TSettingsDlg& dlg = wnd.SettingsDialog();
    dlg.Prepare();
    wnd.Modal().run = [&](QDialog& dialog) {
      dlg.UserDialog().NameEdit().setText("Carol");
      dlg.UserDialog().AccessEdit().setValue(100);
      dlg.UserDialog().ConfirmButton().click();
      return dialog.result();
    };
    dlg.UserButton(0).click();
    dlg.reject();
    chat.SendChatEvent(5, "Carol", ".say hi from carol");
    EXPECT_TRUE(bot.WaitFor("Tester: hi from carol")) << bot.Out();
    wnd.close();
  }
  SocketCleanup();
  // Detached, not stopped: the bot answers the command line.
  test::TProgram status(CORVANE_BIN, {"--home", home.string(), "status"});
  EXPECT_EQ(status.Wait(), 0);
  EXPECT_NE(status.Out().find("running: yes"), std::string::npos) << status.Out() << status.Err();
  bot.Signal(SIGTERM);
  EXPECT_EQ(bot.Wait(), 0) << bot.Err();
  fs::remove_all(home);
}

}  // namespace
}  // namespace corvane
