#pragma once
// The desktop program's main window: it owns the link to a bot, in this process or attached
// to one elsewhere, and paints what the bot hands over (the two panes, the member list with
// its caption, the menu's check marks) and forwards what the person does (the menu, the
// view buttons, the input line, the whisper pane toggle). It decides nothing the bot could.

#include <QMainWindow>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>
#include <string>

#include "app/bot_link.h"
#include "app/front_end.h"
#include "ui/modal.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QTreeView;

namespace corvane {

class TEventLoop;
class TClanInvWnd;
class TIconTable;
class TMemberListModel;
class TPaneView;
class TSettingsDlg;

class TMainWnd final : public QMainWindow, public TFrontEnd {
 public:
  // Makes the bot's link with the window as its front end.
  using TLinkFactory = std::function<std::unique_ptr<TBotLink>(TFrontEnd& front)>;

  // `shared`: the folder of the icons and language files that come with the program.
  // `countdown_tick_ms`: the clan invitation's second (shorter in the tests).
  TMainWnd(const TLinkFactory& make_link, const std::string& shared, int countdown_tick_ms = 1000);
  // The window of a bot in this process, on `home`.
  TMainWnd(TEventLoop& loop, const std::string& home, const std::string& shared,
           int countdown_tick_ms = 1000);
  ~TMainWnd() override;

  // The bot's start sequence (TBotLink::Start), then the member icons; an icon that cannot
  // be read is named in one red line.
  void Start();
  TBotLink& Link() { return *link_; }

  // What the tests and the tray reach.
  TPaneView& ChatPane() { return *chat_; }
  TPaneView& WhisperPane() { return *whispers_; }
  QTreeView& MemberList() { return *list_; }
  QLabel& Caption() { return *caption_; }
  QComboBox& InputLine() { return *input_; }
  QLineEdit& Prefix() { return *prefix_; }
  QToolButton& WhisperToggle() { return *whisper_toggle_; }
  QPushButton& ViewButton(TViewMode mode);

  // TFrontEnd.
  void ShowLine(const TPaneLine& line) override;
  void RequestClose() override;
  void ViewChanged(const TViewChange& change) override;
  void LanguageApplied() override;
  void SettingsChanged() override;
  void DatabaseChanged() override;
  void ProfilesChanged() override;
  std::optional<TWindowGeometry> Geometry() const override;
  void ApplyGeometry(const TWindowGeometry& geometry) override;
  std::intptr_t WindowId() const override;
  void ClanInvitation(const std::string& tag, const std::string& inviter, std::uint32_t cookie,
                      const std::string& text) override;
  void ProfileRefused(const TProfileMessage& message) override;
  TClanInvWnd& ClanInvitationWindow() { return *clan_inv_; }
  // Made when first opened: the window shows sooner without it.
  TSettingsDlg& SettingsDialog();
  // The message boxes and modal dialogs of the window and its dialogs; a test answers them.
  TModal& Modal() { return modal_; }
  // "Main settings".
  void OpenSettings();
  // The menu's Exit. A bot elsewhere runs on without the window: the person is asked
  // whether to stop it or only to detach.
  void Exit();

  // Called once the window has closed, hidden in the tray or not: the program ends its loop
  // here rather than waiting for the last visible window to close.
  void OnClosed(std::function<void()> closed) { on_closed_ = std::move(closed); }

  // The tray icon's double click hides a shown window and shows a hidden one.
  void TrayActivated(QSystemTrayIcon::ActivationReason reason);

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  void BuildPanes();
  void TypeLine();
  void ChooseView(TViewMode mode);
  void MarkChosenView();
  void ToggleWhisperPane();
  // The menu's check marks and the whisper pane as the settings have them.
  void ShowSettings();

  TModal modal_;
  std::unique_ptr<TBotLink> link_;
  std::string shipped_icons_;
  std::unique_ptr<TIconTable> icons_;
  std::unique_ptr<TMemberListModel> model_;
  TClanInvWnd* clan_inv_ = nullptr;
  TSettingsDlg* settings_ = nullptr;
  TPaneView* chat_ = nullptr;
  TPaneView* whispers_ = nullptr;
  QTreeView* list_ = nullptr;
  QLabel* caption_ = nullptr;
  QLineEdit* prefix_ = nullptr;
  QComboBox* input_ = nullptr;
  QToolButton* whisper_toggle_ = nullptr;
  QPushButton* view_buttons_[3] = {};
  QSystemTrayIcon* tray_ = nullptr;  // none where the desktop has no tray
  QAction* connect_bot_ = nullptr;
  QAction* connect_bar_ = nullptr;
  QAction* disconnect_bot_ = nullptr;
  QAction* disconnect_bar_ = nullptr;
  QAction* exit_ = nullptr;
  QAction* main_settings_ = nullptr;
  QAction* utf8_ = nullptr;
  QAction* join_notify_ = nullptr;
  QAction* restart_plugins_ = nullptr;
  QMenu* bot_menu_ = nullptr;
  QMenu* settings_menu_ = nullptr;
  std::function<void()> on_closed_;
  bool closing_ = false;
};

}  // namespace corvane
