#pragma once
// The settings dialog: a page list on the left and one page at a time (profiles, general,
// messages, users, commands, other), OK, Cancel, Apply and Help below. It binds each
// control to a setting and calls the bot for everything else; the rules are the bot's. OK
// and Apply save what was typed, Cancel throws it away; the lists, the profiles and the
// language change at once and stay.

#include <QDialog>
#include <memory>
#include <string>

#include "config/get_settings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QTableView;
class QTimer;

namespace corvane {

class TBotLink;
class TCmdDlg;
class TRenameDlg;
class TTableModel;
class TUserDlg;
struct TModal;

class TSettingsDlg final : public QDialog {
 public:
  enum TPage : int { kProfiles = 0, kGeneral, kMessages, kUsers, kCommands, kOther, kPages };

  TSettingsDlg(TBotLink& link, const TModal& modal, QWidget* parent);
  ~TSettingsDlg() override;

  // Before each showing: the texts, the controls from the settings, the profile lists;
  // the General page when a profile is current.
  void Prepare();
  // Prepare, then the dialog modally.
  void Open();

  void Ok();
  void Apply();
  void reject() override;  // Cancel and Escape

  // What changed, whoever changed it (another window on the bot, a command in the channel,
  // a plug-in): while shown, the lists are read again once the events in hand are done.
  // What the person is typing in the controls is left alone, unless the profile they were
  // read from is no longer the current one.
  void SettingsChanged();
  void DatabaseChanged();
  void ProfilesChanged();

  // What the tests reach.
  QListWidget& PageList() { return *page_list_; }
  int CurrentPage() const;
  QLineEdit& AccountEdit() { return *account_; }
  QLineEdit& PasswordEdit() { return *password_; }
  QRadioButton& ExpansionRadio() { return *expansion_; }
  QSpinBox& IdleIntervalEdit() { return *idle_interval_; }
  QTableView& UserList() { return *users_view_; }
  QTableView& CommandList() { return *commands_view_; }
  QPushButton& UserButton(int which) { return *user_buttons_[which]; }  // add, delete, edit
  QPushButton& CommandButton(int which) {
    return *command_buttons_[which];
  }  // edit, defaults, add, delete
  QComboBox& ChooseProfileCombo() { return *choose_profile_; }
  QLineEdit& NewProfileEdit() { return *new_profile_; }
  QComboBox& ParentProfileCombo() { return *parent_profile_; }
  QComboBox& ActProfileCombo() { return *act_profile_; }
  QPushButton& ProfileButton(int which) {
    return *profile_buttons_[which];
  }  // create, delete, rename
  QComboBox& LanguageCombo() { return *language_; }
  TUserDlg& UserDialog() { return *user_dlg_; }
  TCmdDlg& CommandDialog() { return *cmd_dlg_; }
  TRenameDlg& RenameDialog() { return *rename_dlg_; }

 private:
  QWidget* BuildProfilesPage();
  QWidget* BuildGeneralPage();
  QWidget* BuildMessagesPage();
  QWidget* BuildUsersPage();
  QWidget* BuildCommandsPage();
  QWidget* BuildOtherPage();

  void ApplyTexts();
  void ApplyLanguageList();
  void LoadControls();
  void SaveControls();
  void FillPageList(bool all);
  void ShowPage(int page);
  void FillUserList();
  void FillCommandList();
  void RefreshProfileLists();
  void ShowCurrentLanguage();

  void AddUser();
  void EditUser();
  void DeleteUser();
  void AddCommand();
  void EditCommand();
  void DeleteCommand();
  void DefaultCommands();
  void CreateProfile();
  void ChooseProfile(int index);
  void DeleteProfile();
  void RenameProfile();
  void ChooseLanguage(int index);
  void Follow(unsigned stale);
  void Refresh();

  TBotLink& link_;
  const TModal& modal_;
  QListWidget* page_list_ = nullptr;
  QStackedWidget* pages_ = nullptr;
  QLabel* page_titles_[kPages] = {};
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* apply_ = nullptr;
  QPushButton* help_ = nullptr;

  // General.
  QLabel* general_labels_[8] = {};
  QLineEdit* account_ = nullptr;
  QLineEdit* password_ = nullptr;
  QComboBox* bnet_server_ = nullptr;
  QGroupBox* game_ = nullptr;
  QRadioButton* classic_ = nullptr;
  QRadioButton* expansion_ = nullptr;
  QRadioButton* other_games_[2] = {};
  QCheckBox* pvpgn_ = nullptr;
  QLineEdit* home_channel_ = nullptr;
  QLineEdit* trigger_ = nullptr;
  QCheckBox* ping_spoofing_ = nullptr;
  QCheckBox* autoreconnect_ = nullptr;
  QCheckBox* connect_at_startup_ = nullptr;
  QComboBox* bnls_server_ = nullptr;
  QSpinBox* bnls_port_ = nullptr;

  // Messages.
  QCheckBox* idle_enable_ = nullptr;
  QLabel* idle_labels_[2] = {};
  QSpinBox* idle_interval_ = nullptr;
  QLineEdit* idle_message_ = nullptr;
  QCheckBox* greet_enable_ = nullptr;
  QCheckBox* greet_whisper_ = nullptr;
  QCheckBox* greet_clan_ = nullptr;
  QLabel* greet_label_ = nullptr;
  QLineEdit* greet_message_ = nullptr;
  QLabel* variables_hint_ = nullptr;
  QPushButton* about_variables_ = nullptr;

  // Users and commands.
  std::unique_ptr<TTableModel> users_;
  std::unique_ptr<TTableModel> commands_;
  QTableView* users_view_ = nullptr;
  QTableView* commands_view_ = nullptr;
  QPushButton* user_buttons_[3] = {};
  QPushButton* command_buttons_[4] = {};
  QLabel* list_warnings_[2] = {};

  // Other.
  QCheckBox* flood_protection_ = nullptr;
  QLabel* flood_label_ = nullptr;
  QSpinBox* flood_time_ = nullptr;

  // Profiles and language.
  QLabel* profile_labels_[3] = {};  // choose, new name, copy from
  QGroupBox* new_profile_box_ = nullptr;
  QComboBox* choose_profile_ = nullptr;
  QLineEdit* new_profile_ = nullptr;
  QComboBox* parent_profile_ = nullptr;
  QComboBox* act_profile_ = nullptr;
  QPushButton* profile_buttons_[3] = {};
  QLabel* language_labels_[4] = {};  // language, creator, e-mail, web
  QComboBox* language_ = nullptr;
  QTimer* profile_back_ = nullptr;   // the current profile's name shown again after a No
  QTimer* language_back_ = nullptr;  // the current language shown again after a choice

  // What changed behind the dialog's back and is not shown yet.
  enum : unsigned { kStaleSettings = 1, kStaleDatabase = 2, kStaleProfiles = 4 };
  unsigned stale_ = 0;
  QTimer* refresh_ = nullptr;
  std::string loaded_profile_;  // the profile whose settings the controls show

  TUserDlg* user_dlg_ = nullptr;
  TCmdDlg* cmd_dlg_ = nullptr;
  TRenameDlg* rename_dlg_ = nullptr;
};

}  // namespace corvane
