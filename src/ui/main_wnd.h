#pragma once
// The desktop program's main window: it owns the application core and paints what the core
// hands over (the two panes, the member list with its caption, the menu's check marks) and
// forwards what the person does (the menu, the view buttons, the input line, the whisper
// pane toggle). It decides nothing the core could.

#include <QMainWindow>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>
#include <string>

#include "app/bot_core.h"
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
  // `shared`: the folder of the icons and language files that come with the program.
  // `countdown_tick_ms`: the clan invitation's second (shorter in the tests).
  TMainWnd(TEventLoop& loop, const std::string& home, const std::string& shared,
           int countdown_tick_ms = 1000);
  ~TMainWnd() override;

  // The creation sequence of the core (profile, automatic connection, plug-ins), then the
  // member icons; an icon that cannot be read is named in one red line.
  void Start();
  TBotCore& Core() { return *core_; }

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

  TModal modal_;
  std::unique_ptr<TBotCore> core_;
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
