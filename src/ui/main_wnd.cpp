#include "ui/main_wnd.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "app/local_bot.h"
#include "config/codepage.h"
#include "config/get_settings.h"
#include "config/ini_file.h"
#include "config/language_sections.h"
#include "ui/clan_inv_wnd.h"
#include "ui/icon_table.h"
#include "ui/member_list_model.h"
#include "ui/pane_view.h"
#include "ui/settings_dlg.h"
#include "ui/ui_text.h"
#include "version.h"

namespace corvane {
namespace {

constexpr int kListWidth = 233;
constexpr int kIconSize = 32;
constexpr int kPrefixWidth = 53;
constexpr int kWhisperPaneHeight = 75;

QString Ui(const std::string& text) {
  return Shown(text);
}

// The input fields and the view buttons keep their colours whatever the desktop's theme.
void Paint(QWidget& widget, QPalette::ColorRole background, QColor back, QPalette::ColorRole text,
           QColor fore) {
  QPalette p = widget.palette();
  p.setColor(background, back);
  p.setColor(text, fore);
  widget.setPalette(p);
}

// White on black, framed in grey so that the field stands out on the black window.
void PaintField(QWidget& field) {
  Paint(field, QPalette::Base, Qt::black, QPalette::Text, Qt::white);
  QPalette p = field.palette();
  p.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
  p.setColor(QPalette::Button, QColor(0x30, 0x30, 0x30));
  p.setColor(QPalette::ButtonText, Qt::white);
  field.setPalette(p);
}

}  // namespace

TMainWnd::TMainWnd(const TLinkFactory& make_link, const std::string& shared, int countdown_tick_ms)
    : link_(make_link(*this)), shipped_icons_(shared + "/icons") {
  clan_inv_ = new TClanInvWnd(
      this, [this](bool accept) { link_->AnswerClanInvitation(accept); }, countdown_tick_ms);
  setWindowTitle(QString("Corvane v") + kVersion);
  setWindowIcon(AppIcon(shipped_icons_));
  resize(604, 520);
  setMinimumSize(400, 400);
  BuildPanes();
  BuildMenus();
  // Where the desktop has no tray there is simply no icon; nothing else depends on it.
  if (QSystemTrayIcon::isSystemTrayAvailable()) {
    tray_ = new QSystemTrayIcon(windowIcon(), this);
    tray_->setToolTip("Corvane");
    connect(tray_, &QSystemTrayIcon::activated, this, &TMainWnd::TrayActivated);
    tray_->show();
  }
}

TMainWnd::TMainWnd(TEventLoop& loop, const std::string& home, const std::string& shared,
                   int countdown_tick_ms)
    : TMainWnd(
          [&loop, &home, &shared](TFrontEnd& front) {
            return std::make_unique<TLocalBot>(loop, home, front, shared);
          },
          shared, countdown_tick_ms) {}

TMainWnd::~TMainWnd() {
  // The bot saves and ends its session (or is detached from) before the widgets it paints go.
  if (link_) link_->Close();
  link_.reset();
}

void TMainWnd::Start() {
  link_->Start();
  // A bot elsewhere has its home elsewhere: the default scrollback and the shipped icons.
  const std::string home = link_->LocalHome();
  // The panes keep this many lines; more would cost memory and speed over weeks.
  const int scrollback =
      home.empty() ? kDefaultScrollbackLines
                   : TIniFile(home + "/profiles.ini")
                         .ReadInteger(kUiSection, "ScrollbackLines", kDefaultScrollbackLines);
  chat_->SetScrollback(scrollback);
  whispers_->SetScrollback(scrollback);
  std::vector<std::string> failed;
  icons_ = std::make_unique<TIconTable>(home.empty() ? shipped_icons_ : home + "/icons",
                                        shipped_icons_, failed);
  for (const std::string& path : failed) {
    link_->AddChatLine("[BOT] Cannot load the icon " + path, kRed);
  }
  model_->Apply(TViewChange::Reset());
  MarkChosenView();
}

void TMainWnd::BuildPanes() {
  auto* central = new QWidget(this);
  QPalette dark = central->palette();
  dark.setColor(QPalette::Window, Qt::black);
  central->setAutoFillBackground(true);
  central->setPalette(dark);

  chat_ = new TPaneView(central);
  whispers_ = new TPaneView(central);
  whispers_->setFixedHeight(kWhisperPaneHeight);

  caption_ = new QLabel("Not connected", central);
  caption_->setAutoFillBackground(true);
  QPalette caption = caption_->palette();
  caption.setColor(QPalette::Window, TPaneView::ColorOf(kCaptionGradient));
  caption.setColor(QPalette::WindowText, Qt::white);
  caption_->setPalette(caption);

  model_ = std::make_unique<TMemberListModel>(
      link_->Views(), [this](int index) { return icons_ ? icons_->Icon(index) : QIcon(); });
  list_ = new QTreeView(central);
  list_->setModel(model_.get());
  list_->setRootIsDecorated(false);
  list_->setHeaderHidden(true);
  list_->setUniformRowHeights(true);  // a list of 1,000 lays out without asking every row
  list_->setIconSize(QSize(kIconSize, kIconSize));
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setFixedWidth(kListWidth);
  list_->header()->setStretchLastSection(false);
  list_->header()->setSectionResizeMode(TMemberListModel::kNameColumn, QHeaderView::Stretch);
  list_->setColumnWidth(TMemberListModel::kIconColumn, kIconSize + 4);
  list_->setColumnWidth(TMemberListModel::kFirstColumn, 28);
  QPalette listed = list_->palette();
  listed.setColor(QPalette::Base, Qt::black);
  listed.setColor(QPalette::Text, Qt::white);
  list_->setPalette(listed);

  auto* buttons = new QHBoxLayout;
  const TViewMode modes[] = {TViewMode::Channel, TViewMode::Friends, TViewMode::Clan};
  for (const TViewMode mode : modes) {
    auto* button = new QPushButton(central);
    connect(button, &QPushButton::clicked, this, [this, mode] { ChooseView(mode); });
    view_buttons_[static_cast<int>(mode)] = button;
    buttons->addWidget(button);
  }

  prefix_ = new QLineEdit(central);
  prefix_->setFixedWidth(kPrefixWidth);
  PaintField(*prefix_);
  input_ = new QComboBox(central);
  input_->setEditable(true);
  PaintField(*input_);
  input_->setInsertPolicy(QComboBox::NoInsert);  // the history is the bot's
  input_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  whisper_toggle_ = new QToolButton(central);
  whisper_toggle_->setCheckable(true);
  whisper_toggle_->setText("W");
  whisper_toggle_->setToolTip("Whisper pane");
  connect(whisper_toggle_, &QToolButton::clicked, this, [this] { ToggleWhisperPane(); });

  auto* input_row = new QHBoxLayout;
  input_row->addWidget(prefix_);
  input_row->addWidget(input_);
  input_row->addWidget(whisper_toggle_);

  auto* right = new QVBoxLayout;
  right->addWidget(caption_);
  right->addWidget(list_, 1);
  right->addLayout(buttons);

  auto* grid = new QGridLayout(central);
  grid->setContentsMargins(2, 2, 2, 2);
  grid->setSpacing(3);
  grid->addWidget(chat_, 0, 0);
  grid->addLayout(right, 0, 1);
  grid->addLayout(input_row, 1, 0, 1, 2);
  grid->addWidget(whispers_, 2, 0, 1, 2);
  grid->setRowStretch(0, 1);
  setCentralWidget(central);
  // Enter on the input line and the right click on the list; set last, once both exist.
  // The keyboard's keys reach the box, which is its line's focus proxy, and the box passes
  // them to the line without its filters: watched on both.
  input_->installEventFilter(this);
  input_->lineEdit()->installEventFilter(this);
  list_->viewport()->installEventFilter(this);
}

void TMainWnd::BuildMenus() {
  bot_menu_ = menuBar()->addMenu(QString());
  connect_bot_ = bot_menu_->addAction(QString(), this, [this] { link_->ConnectClicked(); });
  disconnect_bot_ = bot_menu_->addAction(QString(), this, [this] { link_->DisconnectClicked(); });
  bot_menu_->addSeparator();
  exit_ = bot_menu_->addAction(QString(), this, [this] { Exit(); });

  settings_menu_ = menuBar()->addMenu(QString());
  main_settings_ = settings_menu_->addAction(QString(), this, [this] { OpenSettings(); });
  settings_menu_->addSeparator();
  utf8_ = settings_menu_->addAction(QString(), this, [this] { link_->ToggleUtf8(); });
  utf8_->setCheckable(true);
  join_notify_ = settings_menu_->addAction(QString(), this, [this] { link_->ToggleJoinNotify(); });
  join_notify_->setCheckable(true);
  settings_menu_->addSeparator();
  restart_plugins_ =
      settings_menu_->addAction(QString(), this, [this] { link_->RestartPlugins(); });

  connect_bar_ = menuBar()->addAction(QString(), this, [this] { link_->ConnectClicked(); });
  disconnect_bar_ = menuBar()->addAction(QString(), this, [this] { link_->DisconnectClicked(); });

  // Help: the About box and the local README; there is no web site to open.
  QMenu* help = menuBar()->addMenu("Help");
  help->addAction("About", this, [this] {
    modal_.box(this, {QMessageBox::NoIcon, QString::fromUtf8("О программе"),
                      QString("Corvane ") + kVersion, QMessageBox::Ok});
  });
  help->addAction("Readme", this, [this] {
    // Beside the program (a portable folder), one up (a build folder), or with the docs of
    // an installed program.
    const QDir dir(QCoreApplication::applicationDirPath());
    const QString docs = QString::fromStdString(shipped_icons_ + "/../../doc/corvane/README.md");
    for (const QString& path : {dir.filePath("README.md"), dir.filePath("../README.md"), docs}) {
      if (QFileInfo::exists(path)) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).canonicalFilePath()));
        return;
      }
    }
  });
  LanguageApplied();
}

QPushButton& TMainWnd::ViewButton(TViewMode mode) {
  return *view_buttons_[static_cast<int>(mode)];
}

void TMainWnd::LanguageApplied() {
  if (bot_menu_ == nullptr) return;  // the bot applies a language before the menus exist
  const TLanguage& lang = link_->Language();
  const auto text = [&](const char* key) { return Ui(lang.Text(kMainWindowSection, key)); };
  bot_menu_->setTitle(text("MenuBot"));
  connect_bot_->setText(text("Connect"));
  disconnect_bot_->setText(text("Disconnect"));
  exit_->setText(text("MenuBotExit"));
  settings_menu_->setTitle(text("MenuSettings"));
  main_settings_->setText(text("MenuSettingsMain"));
  utf8_->setText(text("MenuSettingsUseUTF8"));
  join_notify_->setText(text("LeaveJoinMessages"));
  restart_plugins_->setText(text("RestartPluginSystem"));
  connect_bar_->setText(connect_bot_->text());
  disconnect_bar_->setText(disconnect_bot_->text());
  ViewButton(TViewMode::Channel).setText(text("ChannelButton"));
  ViewButton(TViewMode::Friends).setText(text("FriendsButton"));
  ViewButton(TViewMode::Clan).setText(text("ClanButton"));
  // A profile was applied with the language: the menu's check marks and the whisper pane
  // follow its settings.
  ShowSettings();
}

void TMainWnd::ShowSettings() {
  const TSettings& s = link_->Settings();
  utf8_->setChecked(s.UTF8);
  join_notify_->setChecked(s.JoinNotify);
  whispers_->setVisible(s.VisWhisper);
  whisper_toggle_->setChecked(s.VisWhisper);
}

void TMainWnd::SettingsChanged() {
  if (utf8_ == nullptr) return;  // before the menus exist
  ShowSettings();
  if (settings_ != nullptr) settings_->SettingsChanged();
}

void TMainWnd::DatabaseChanged() {
  if (settings_ != nullptr) settings_->DatabaseChanged();
}

void TMainWnd::ProfilesChanged() {
  if (settings_ != nullptr) settings_->ProfilesChanged();
}

void TMainWnd::ShowLine(const TPaneLine& line) {
  (line.pane == TPane::Whisper ? whispers_ : chat_)->Append(line);
}

void TMainWnd::RequestClose() {
  close();
}

void TMainWnd::Exit() {
  if (!link_->Remote()) {
    link_->ExitClicked();
    return;
  }
  QMessageBox ask(QMessageBox::Question, "Exit",
                  "The bot runs on without this window. Stop the bot, or only detach?",
                  QMessageBox::NoButton, this);
  const QAbstractButton* stop = ask.addButton("Stop the bot", QMessageBox::DestructiveRole);
  QPushButton* detach = ask.addButton("Detach", QMessageBox::AcceptRole);
  ask.addButton(QMessageBox::Cancel);
  ask.setDefaultButton(detach);  // the choice that loses nothing
  // The button pressed rather than the result, which says little of buttons of one's own.
  modal_.run(ask);
  if (ask.clickedButton() == stop) {
    link_->ExitClicked();  // the bot stops, and its link closes the window
  } else if (ask.clickedButton() == detach) {
    close();  // which detaches
  }
}

void TMainWnd::closeEvent(QCloseEvent* event) {
  if (!closing_) {
    closing_ = true;
    link_->Close();
  }
  event->accept();
  if (on_closed_) on_closed_();
}

void TMainWnd::ViewChanged(const TViewChange& change) {
  model_->Apply(change);
  caption_->setText(Ui(link_->Views().Caption()));
  utf8_->setChecked(link_->Settings().UTF8);
  join_notify_->setChecked(link_->Settings().JoinNotify);
}

void TMainWnd::ChooseView(TViewMode mode) {
  link_->ChooseView(mode);
  MarkChosenView();
}

void TMainWnd::MarkChosenView() {
  for (int i = 0; i < 3; ++i) {
    const bool chosen = static_cast<int>(link_->Views().Mode()) == i;
    // The chosen one flat with aqua text on the black behind it; the others raised, black
    // on a light face.
    view_buttons_[i]->setFlat(chosen);
    Paint(*view_buttons_[i], QPalette::Button, chosen ? Qt::black : QColor(0xD4D0C8),
          QPalette::ButtonText, chosen ? QColor(0x00FFFF) : Qt::black);
  }
}

void TMainWnd::TypeLine() {
  // The line as typed, in the bot's code page, as the console passes it.
  const QString text = input_->currentText();
  if (!link_->TypeLine(Bytes(prefix_->text()), Bytes(text))) return;
  // Newest first, as the bot keeps it; Up and Down walk it.
  input_->insertItem(0, text);
  input_->setCurrentIndex(-1);
  input_->clearEditText();
}

void TMainWnd::ToggleWhisperPane() {
  TSettings settings = link_->Settings();
  settings.VisWhisper = !whispers_->isVisible();
  // The window grows or shrinks by the pane, so the chat pane keeps its height; a maximised
  // window keeps its size and the chat pane takes the room.
  const int by = whispers_->height() + centralWidget()->layout()->spacing();
  whispers_->setVisible(settings.VisWhisper);
  whisper_toggle_->setChecked(settings.VisWhisper);
  if (!isMaximized() && !isFullScreen()) {
    resize(width(), height() + (settings.VisWhisper ? by : -by));
  }
  link_->ApplySettings(settings);  // saved with the profile
}

void TMainWnd::TrayActivated(QSystemTrayIcon::ActivationReason reason) {
  if (reason != QSystemTrayIcon::DoubleClick) return;
  if (isHidden()) {
    showNormal();
    raise();
    activateWindow();
  } else {
    hide();
  }
}

bool TMainWnd::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == input_ || watched == input_->lineEdit()) && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      TypeLine();
      return true;
    }
    // The history is newest first: Up goes back to older lines, Down forward to an empty line.
    if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
      const int at = input_->currentIndex() + (key->key() == Qt::Key_Up ? 1 : -1);
      if (at >= input_->count()) return true;
      input_->setCurrentIndex(std::max(at, -1));
      if (at < 0) input_->clearEditText();
      return true;
    }
  }
  if (watched == list_->viewport() && event->type() == QEvent::MouseButtonPress) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const QModelIndexList selected = list_->selectionModel()->selectedRows();
    if (mouse->button() == Qt::RightButton && !selected.isEmpty()) {
      const QString name =
          model_
              ->data(model_->index(selected.front().row(), TMemberListModel::kNameColumn),
                     Qt::DisplayRole)
              .toString();
      input_->setEditText(input_->currentText() + " " + name);
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

std::optional<TWindowGeometry> TMainWnd::Geometry() const {
  const QRect g = geometry();
  return TWindowGeometry{g.left(), g.top(), g.width(), g.height()};
}

void TMainWnd::ApplyGeometry(const TWindowGeometry& g) {
  setGeometry(g.left, g.top, std::max(g.width, minimumWidth()),
              std::max(g.height, minimumHeight()));
}

void TMainWnd::ClanInvitation(const std::string&, const std::string&, std::uint32_t,
                              const std::string& text) {
  clan_inv_->Invite(text);
}

TSettingsDlg& TMainWnd::SettingsDialog() {
  if (settings_ == nullptr) settings_ = new TSettingsDlg(*link_, modal_, this);
  return *settings_;
}

void TMainWnd::OpenSettings() {
  SettingsDialog().Open();
}

void TMainWnd::ProfileRefused(const TProfileMessage& message) {
  // Connecting without a profile: the reason, then the dialog in which to make one.
  modal_.Show(this, message, link_->Language());
  OpenSettings();
}

std::intptr_t TMainWnd::WindowId() const {
  return static_cast<std::intptr_t>(winId());
}

}  // namespace corvane
