#include "ui/settings_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "app/bot_link.h"
#include "config/language.h"
#include "config/language_sections.h"
#include "ui/modal.h"
#include "ui/small_dialogs.h"
#include "ui/table_model.h"
#include "ui/ui_text.h"

namespace corvane {
namespace {

constexpr int kBackMs = 100;  // the name shown again after a refused or made choice

// Hosts offered in the two server lists; any other may be typed.
const char* const kBnetServers[] = {
    "useast.battle.net", "uswest.battle.net", "europe.battle.net", "asia.battle.net", "",
    "localhost",         "127.0.0.1"};
const char* const kBnlsServers[] = {"jbls.org",
                                    "hdx.jbls.org",
                                    "bnls.mattkv.net",
                                    "bnls.dementedminds.net",
                                    "bnls.valhallalegends.com",
                                    "127.0.0.1"};

// The page list's captions, by page.
constexpr const char* kPageKeys[] = {"lvprofiles", "lvgeneral", "lvmessages",
                                     "userman",    "cmdman",    "other"};

QTableView* ListView(QWidget* parent, TTableModel* model) {
  auto* view = new QTableView(parent);
  view->setModel(model);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setShowGrid(true);
  view->verticalHeader()->hide();
  // Fixed row heights: a list of 10,000 is laid out without asking every row.
  view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
  view->horizontalHeader()->setStretchLastSection(true);
  return view;
}

int SelectedRow(const QTableView& view) {
  const QModelIndexList rows = view.selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.front().row();
}

// New rows for a list; the selected row stays selected when it is still there, so that a
// change elsewhere does not take away what the person chose.
void Refill(QTableView& view, TTableModel& model, std::vector<TTableModel::TRow> rows) {
  const int selected = SelectedRow(view);
  const TTableModel::TRow kept = selected >= 0 ? model.Row(selected) : TTableModel::TRow();
  model.SetRows(std::move(rows));
  if (kept.empty()) return;
  for (int row = 0; row < model.rowCount(); ++row) {
    if (model.Row(row) == kept) {
      view.selectRow(row);
      return;
    }
  }
}

// The combo box shows `text` again when it still lists it.
void Reselect(QComboBox& combo, const QString& text) {
  const int at = combo.findText(text);
  if (at >= 0) combo.setCurrentIndex(at);
}

}  // namespace

TSettingsDlg::TSettingsDlg(TBotLink& link, const TModal& modal, QWidget* parent)
    : QDialog(parent),
      link_(link),
      modal_(modal),
      users_(std::make_unique<TTableModel>(3)),
      commands_(std::make_unique<TTableModel>(6)) {
  user_dlg_ = new TUserDlg(this, link_);
  cmd_dlg_ = new TCmdDlg(this, link_);
  rename_dlg_ = new TRenameDlg(this);

  page_list_ = new QListWidget(this);
  page_list_->setFixedWidth(150);
  pages_ = new QStackedWidget(this);
  pages_->addWidget(BuildProfilesPage());
  pages_->addWidget(BuildGeneralPage());
  pages_->addWidget(BuildMessagesPage());
  pages_->addWidget(BuildUsersPage());
  pages_->addWidget(BuildCommandsPage());
  pages_->addWidget(BuildOtherPage());
  connect(page_list_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
    if (item != nullptr) ShowPage(item->data(Qt::UserRole).toInt());
  });

  ok_ = new QPushButton(this);
  cancel_ = new QPushButton(this);
  apply_ = new QPushButton(this);
  help_ = new QPushButton(this);  // no help is written yet
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, [this] { Ok(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
  connect(apply_, &QPushButton::clicked, this, [this] { Apply(); });
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {ok_, cancel_, apply_, help_}) buttons->addWidget(b);
  buttons->addStretch();

  auto* body = new QHBoxLayout;
  body->addWidget(page_list_);
  body->addWidget(pages_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body, 1);
  layout->addLayout(buttons);
  resize(640, 440);

  profile_back_ = new QTimer(this);
  profile_back_->setSingleShot(true);
  profile_back_->setInterval(kBackMs);
  connect(profile_back_, &QTimer::timeout, this, [this] {
    choose_profile_->setCurrentIndex(choose_profile_->findText(Editable(link_.CurrentProfile())));
  });
  language_back_ = new QTimer(this);
  language_back_->setSingleShot(true);
  language_back_->setInterval(kBackMs);
  connect(language_back_, &QTimer::timeout, this, [this] { ShowCurrentLanguage(); });
  // A burst of changes (a plug-in adding its commands) is shown once.
  refresh_ = new QTimer(this);
  refresh_->setSingleShot(true);
  refresh_->setInterval(0);
  connect(refresh_, &QTimer::timeout, this, [this] { Refresh(); });
}

TSettingsDlg::~TSettingsDlg() = default;

QWidget* TSettingsDlg::BuildProfilesPage() {
  auto* page = new QWidget(this);
  page_titles_[kProfiles] = new QLabel(page);
  choose_profile_ = new QComboBox(page);
  connect(choose_profile_, &QComboBox::activated, this, [this](int i) { ChooseProfile(i); });
  for (QLabel*& label : profile_labels_) label = new QLabel(page);

  new_profile_box_ = new QGroupBox(page);
  new_profile_ = new QLineEdit(new_profile_box_);
  parent_profile_ = new QComboBox(new_profile_box_);
  for (QPushButton*& b : profile_buttons_) b = new QPushButton(page);
  connect(profile_buttons_[0], &QPushButton::clicked, this, [this] { CreateProfile(); });
  connect(profile_buttons_[1], &QPushButton::clicked, this, [this] { DeleteProfile(); });
  connect(profile_buttons_[2], &QPushButton::clicked, this, [this] { RenameProfile(); });
  auto* create = new QFormLayout(new_profile_box_);
  create->addRow(profile_labels_[1], new_profile_);
  create->addRow(profile_labels_[2], parent_profile_);
  create->addRow(QString(), profile_buttons_[0]);

  act_profile_ = new QComboBox(page);
  auto* act = new QHBoxLayout;
  act->addWidget(act_profile_, 1);
  act->addWidget(profile_buttons_[1]);
  act->addWidget(profile_buttons_[2]);

  for (QLabel*& label : language_labels_) label = new QLabel(page);
  language_ = new QComboBox(page);
  connect(language_, &QComboBox::activated, this, [this](int i) { ChooseLanguage(i); });

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(page_titles_[kProfiles]);
  auto* choose = new QFormLayout;
  choose->addRow(profile_labels_[0], choose_profile_);
  layout->addLayout(choose);
  layout->addWidget(new_profile_box_);
  layout->addLayout(act);
  auto* lang = new QFormLayout;
  lang->addRow(language_labels_[0], language_);
  layout->addLayout(lang);
  for (int i = 1; i < 4; ++i) layout->addWidget(language_labels_[i]);
  layout->addStretch();
  return page;
}

QWidget* TSettingsDlg::BuildGeneralPage() {
  auto* page = new QWidget(this);
  page_titles_[kGeneral] = new QLabel(page);
  for (QLabel*& label : general_labels_) label = new QLabel(page);
  account_ = new QLineEdit(page);
  password_ = new QLineEdit(page);
  password_->setEchoMode(QLineEdit::Password);
  bnet_server_ = new QComboBox(page);
  bnet_server_->setEditable(true);
  for (const char* host : kBnetServers) bnet_server_->addItem(host);
  game_ = new QGroupBox(page);
  classic_ = new QRadioButton("Warcraft III", game_);
  expansion_ = new QRadioButton("Warcraft III TFT", game_);
  other_games_[0] = new QRadioButton("Start Craft", game_);
  other_games_[1] = new QRadioButton("Star Craft: Broodwar", game_);
  auto* games = new QVBoxLayout(game_);
  for (QRadioButton* r : {classic_, expansion_, other_games_[0], other_games_[1]}) {
    games->addWidget(r);
  }
  other_games_[0]->setEnabled(false);  // the bot logs on only as the first two
  other_games_[1]->setEnabled(false);
  pvpgn_ = new QCheckBox(page);
  home_channel_ = new QLineEdit(page);
  trigger_ = new QLineEdit(page);
  ping_spoofing_ = new QCheckBox(page);
  autoreconnect_ = new QCheckBox(page);
  connect_at_startup_ = new QCheckBox(page);
  bnls_server_ = new QComboBox(page);
  bnls_server_->setEditable(true);
  for (const char* host : kBnlsServers) bnls_server_->addItem(host);
  bnls_port_ = new QSpinBox(page);
  bnls_port_->setRange(1, 65535);

  auto* form = new QFormLayout;
  QWidget* fields[] = {account_, password_,    bnet_server_, home_channel_,
                       trigger_, bnls_server_, bnls_port_};
  for (int i = 0; i < 7; ++i) {
    general_labels_[i]->setBuddy(fields[i]);
    form->addRow(general_labels_[i], fields[i]);
  }
  auto* checks = new QVBoxLayout;
  for (QCheckBox* c : {pvpgn_, ping_spoofing_, autoreconnect_, connect_at_startup_}) {
    checks->addWidget(c);
  }
  auto* columns = new QHBoxLayout;
  columns->addLayout(form, 1);
  auto* right = new QVBoxLayout;
  right->addWidget(game_);
  right->addLayout(checks);
  right->addStretch();
  columns->addLayout(right);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(page_titles_[kGeneral]);
  layout->addLayout(columns);
  layout->addStretch();
  return page;
}

QWidget* TSettingsDlg::BuildMessagesPage() {
  auto* page = new QWidget(this);
  page_titles_[kMessages] = new QLabel(page);
  idle_enable_ = new QCheckBox(page);
  for (QLabel*& label : idle_labels_) label = new QLabel(page);
  idle_interval_ = new QSpinBox(page);
  // What the bot accepts: at least a minute, at most 24 days.
  idle_interval_->setRange(static_cast<int>(kMinIdleMinutes), static_cast<int>(kMaxIdleMinutes));
  idle_message_ = new QLineEdit(page);
  greet_enable_ = new QCheckBox(page);
  greet_whisper_ = new QCheckBox(page);
  greet_clan_ = new QCheckBox(page);
  greet_label_ = new QLabel(page);
  greet_message_ = new QLineEdit(page);
  variables_hint_ = new QLabel(page);
  about_variables_ = new QPushButton("About variables", page);  // nothing to show yet
  idle_labels_[0]->setBuddy(idle_interval_);
  idle_labels_[1]->setBuddy(idle_message_);
  greet_label_->setBuddy(greet_message_);

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(page_titles_[kMessages]);
  layout->addWidget(idle_enable_);
  auto* idle = new QFormLayout;
  idle->addRow(idle_labels_[0], idle_interval_);
  idle->addRow(idle_labels_[1], idle_message_);
  layout->addLayout(idle);
  for (QCheckBox* c : {greet_enable_, greet_whisper_, greet_clan_}) layout->addWidget(c);
  auto* greet = new QFormLayout;
  greet->addRow(greet_label_, greet_message_);
  layout->addLayout(greet);
  auto* hint = new QHBoxLayout;
  hint->addWidget(variables_hint_, 1);
  hint->addWidget(about_variables_);
  layout->addLayout(hint);
  layout->addStretch();
  return page;
}

QWidget* TSettingsDlg::BuildUsersPage() {
  auto* page = new QWidget(this);
  page_titles_[kUsers] = new QLabel(page);
  users_view_ = ListView(page, users_.get());
  users_view_->setColumnWidth(0, 80);
  users_view_->setColumnWidth(2, 60);
  for (QPushButton*& b : user_buttons_) b = new QPushButton(page);
  connect(user_buttons_[0], &QPushButton::clicked, this, [this] { AddUser(); });
  connect(user_buttons_[1], &QPushButton::clicked, this, [this] { DeleteUser(); });
  connect(user_buttons_[2], &QPushButton::clicked, this, [this] { EditUser(); });
  connect(users_view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    const bool chosen = SelectedRow(*users_view_) >= 0;
    user_buttons_[1]->setEnabled(chosen);
    user_buttons_[2]->setEnabled(chosen);
  });
  list_warnings_[0] = new QLabel(page);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : user_buttons_) buttons->addWidget(b);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(page_titles_[kUsers]);
  layout->addWidget(users_view_, 1);
  layout->addLayout(buttons);
  layout->addWidget(list_warnings_[0]);
  return page;
}

QWidget* TSettingsDlg::BuildCommandsPage() {
  auto* page = new QWidget(this);
  page_titles_[kCommands] = new QLabel(page);
  commands_view_ = ListView(page, commands_.get());
  commands_view_->setColumnWidth(0, 80);
  commands_view_->setColumnWidth(2, 60);
  for (QPushButton*& b : command_buttons_) b = new QPushButton(page);
  connect(command_buttons_[0], &QPushButton::clicked, this, [this] { EditCommand(); });
  connect(command_buttons_[1], &QPushButton::clicked, this, [this] { DefaultCommands(); });
  connect(command_buttons_[2], &QPushButton::clicked, this, [this] { AddCommand(); });
  connect(command_buttons_[3], &QPushButton::clicked, this, [this] { DeleteCommand(); });
  connect(commands_view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    const bool chosen = SelectedRow(*commands_view_) >= 0;
    command_buttons_[0]->setEnabled(chosen);
    command_buttons_[3]->setEnabled(chosen);
  });
  list_warnings_[1] = new QLabel(page);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : command_buttons_) buttons->addWidget(b);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(page_titles_[kCommands]);
  layout->addWidget(commands_view_, 1);
  layout->addLayout(buttons);
  layout->addWidget(list_warnings_[1]);
  return page;
}

QWidget* TSettingsDlg::BuildOtherPage() {
  auto* page = new QWidget(this);
  page_titles_[kOther] = new QLabel(page);
  flood_protection_ = new QCheckBox(page);
  flood_label_ = new QLabel(page);
  flood_time_ = new QSpinBox(page);
  flood_time_->setRange(1, 20);
  flood_label_->setBuddy(flood_time_);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(page_titles_[kOther]);
  layout->addWidget(flood_protection_);
  auto* row = new QFormLayout;
  row->addRow(flood_label_, flood_time_);
  layout->addLayout(row);
  layout->addStretch();
  return page;
}

void TSettingsDlg::Prepare() {
  ApplyTexts();
  LoadControls();
  RefreshProfileLists();
  if (choose_profile_->count() > 0 && !link_.CurrentProfile().empty()) ShowPage(kGeneral);
}

void TSettingsDlg::SettingsChanged() {
  Follow(kStaleSettings);
}

void TSettingsDlg::DatabaseChanged() {
  Follow(kStaleDatabase);
}

void TSettingsDlg::ProfilesChanged() {
  Follow(kStaleProfiles);
}

void TSettingsDlg::Follow(unsigned stale) {
  if (!isVisible()) return;  // Prepare reads everything before the next showing
  stale_ |= stale;
  refresh_->start();
}

void TSettingsDlg::Refresh() {
  const unsigned stale = std::exchange(stale_, 0u);
  if ((stale & kStaleProfiles) != 0) {
    const QString parent = parent_profile_->currentText();
    const QString act = act_profile_->currentText();
    RefreshProfileLists();
    Reselect(*parent_profile_, parent);
    Reselect(*act_profile_, act);
  }
  if (link_.CurrentProfile() != loaded_profile_) {
    // Another profile is current: the controls show its settings, or OK would write the
    // last one's into it.
    LoadControls();
    ApplyTexts();
    return;
  }
  if ((stale & kStaleDatabase) != 0) {
    FillUserList();
    FillCommandList();
  }
  if ((stale & kStaleSettings) != 0) ShowCurrentLanguage();
}

void TSettingsDlg::Open() {
  Prepare();
  modal_.run(*this);
}

int TSettingsDlg::CurrentPage() const {
  return pages_->currentIndex();
}

void TSettingsDlg::ApplyTexts() {
  const TLanguage& lang = link_.Language();
  const auto text = [&lang](const char* section, const char* key) {
    return Shown(lang.Text(section, key));
  };
  ApplyLanguageList();

  setWindowTitle(text(kOptionsSection,
                      "\xD1"
                      "aption"));
  ok_->setText(text(kOptionsSection, "OkBtn"));
  cancel_->setText(text(kOptionsSection, "cancelbtn"));
  apply_->setText(text(kOptionsSection, "ApplyBtn"));
  help_->setText(text(kOptionsSection, "HelpBtn"));

  page_titles_[kGeneral]->setText(text(kOptionsGenSection, "lbl1"));
  const char* general[] = {"lbl2", "lbl3", "lbl6", "lbl9", "lbl10", "lbl11", "lbl12"};
  for (int i = 0; i < 7; ++i) general_labels_[i]->setText(text(kOptionsGenSection, general[i]));
  game_->setTitle(text(kOptionsGenSection, "lbl7"));
  ping_spoofing_->setText(text(kOptionsGenSection, "ch1"));
  autoreconnect_->setText(text(kOptionsGenSection, "ch2"));
  connect_at_startup_->setText(text(kOptionsGenSection, "ch3"));
  pvpgn_->setText(text(kOptionsGenSection, "ch5"));

  page_titles_[kProfiles]->setText(text(kProfSection, "lbl1"));
  new_profile_box_->setTitle(text(kProfSection, "lbl2"));
  profile_labels_[1]->setText(text(kProfSection, "lbl3"));
  profile_labels_[0]->setText(text(kProfSection, "lbl6"));
  new_profile_->setText(text(kProfSection, "ed1deftext"));
  profile_labels_[2]->setText(text(kProfSection, "lbl5"));
  profile_buttons_[0]->setText(text(kProfSection, "btn1"));
  profile_buttons_[1]->setText(text(kProfSection, "btn2"));
  profile_buttons_[2]->setText(text(kProfSection, "btn3"));

  page_titles_[kMessages]->setText(text(kOptionsMsgsSection, "lbl1"));
  idle_enable_->setText(text(kOptionsMsgsSection, "cb1"));
  idle_labels_[0]->setText(text(kOptionsMsgsSection, "lbl2"));
  idle_labels_[1]->setText(text(kOptionsMsgsSection, "lbl3"));
  greet_enable_->setText(text(kOptionsMsgsSection, "cb2"));
  greet_whisper_->setText(text(kOptionsMsgsSection, "cb3"));
  greet_label_->setText(text(kOptionsMsgsSection, "lbl3"));
  variables_hint_->setText(text(kOptionsMsgsSection, "lbl4"));
  greet_clan_->setText(text(kOptionsMsgsSection, "cb4"));

  page_titles_[kUsers]->setText(text(kOptionsUserManSection, "1"));
  list_warnings_[0]->setText(text(kOptionsUserManSection, "8"));
  users_->SetHeaders({text(kOptionsUserManSection, "2"), text(kOptionsUserManSection, "3"),
                      text(kOptionsUserManSection, "4")});
  user_buttons_[0]->setText(text(kOptionsUserManSection, "5"));
  user_buttons_[1]->setText(text(kOptionsUserManSection, "6"));
  user_buttons_[2]->setText(text(kOptionsUserManSection, "7"));

  page_titles_[kCommands]->setText(text(kOptionsCmdManSection, "1"));
  commands_->SetHeaders({text(kOptionsCmdManSection, "2"), text(kOptionsCmdManSection, "3"),
                         text(kOptionsCmdManSection, "4"), text(kOptionsCmdManSection, "5"),
                         text(kOptionsCmdManSection, "6"), text(kOptionsCmdManSection, "10")});
  command_buttons_[0]->setText(text(kOptionsCmdManSection, "7"));
  list_warnings_[1]->setText(text(kOptionsCmdManSection, "8"));
  command_buttons_[1]->setText(text(kOptionsCmdManSection, "9"));
  command_buttons_[2]->setText(text(kOptionsCmdManSection, "11"));
  command_buttons_[3]->setText(text(kOptionsCmdManSection, "12"));

  page_titles_[kOther]->setText(text(kOptionsOtherSection, "1"));
  flood_protection_->setText(text(kOptionsOtherSection, "cb1"));
  flood_label_->setText(text(kOptionsOtherSection, "2"));

  // The page list's captions follow the language too.
  for (int i = 0; i < page_list_->count(); ++i) {
    QListWidgetItem* item = page_list_->item(i);
    item->setText(text(kOptionsListSection, kPageKeys[item->data(Qt::UserRole).toInt()]));
  }
}

void TSettingsDlg::ApplyLanguageList() {
  language_->clear();
  for (const TLangEntry& entry : ListLanguages(link_.LangDirs())) {
    language_->addItem(Shown(entry.display));
  }
  ShowCurrentLanguage();
}

void TSettingsDlg::ShowCurrentLanguage() {
  const TLanguage& lang = link_.Language();
  const char* keys[] = {"langlbl1", "langlbl2", "langlbl3", "langlbl4"};
  const char* values[] = {nullptr, "Creator", "EMail", "Web"};
  for (int i = 0; i < 4; ++i) {
    std::string caption = lang.Text(kProfSection, keys[i]);
    if (values[i] != nullptr) caption += " " + lang.LangText(kLangMainSection, values[i], "");
    language_labels_[i]->setText(Shown(caption));
  }
  const QString current = Shown(lang.CurrentLanguageDisplay());
  language_->setCurrentIndex(language_->findText(current));
  language_->setPlaceholderText(current);
}

void TSettingsDlg::LoadControls() {
  loaded_profile_ = link_.CurrentProfile();
  const TSettings& s = link_.Settings();
  account_->setText(Editable(s.Username));
  password_->setText(Editable(s.Password));
  bnet_server_->setEditText(Editable(s.BnetServer));
  if (s.Game == 7) classic_->setChecked(true);
  if (s.Game == 8) expansion_->setChecked(true);
  pvpgn_->setChecked(s.IsPvPgn);
  home_channel_->setText(Editable(s.HomeChannel));
  trigger_->setText(Editable(s.Trigger));
  ping_spoofing_->setChecked(s.PingSpoofing);
  autoreconnect_->setChecked(s.Autoreconnect);
  connect_at_startup_->setChecked(s.ConnectAtStartup);
  bnls_server_->setEditText(Editable(s.BnlsServer));
  bnls_port_->setValue(static_cast<int>(s.BnlsPort));
  idle_enable_->setChecked(s.IdleEnable);
  idle_interval_->setValue(
      static_cast<int>(std::clamp<std::int64_t>(s.IdleInterval, kMinIdleMinutes, kMaxIdleMinutes)));
  idle_message_->setText(Editable(s.IdleMsg));
  greet_enable_->setChecked(s.GreetEnable);
  greet_whisper_->setChecked(s.GreetWhisper);
  greet_clan_->setChecked(s.GreetForMyClan);
  greet_message_->setText(Editable(s.GreetMsg));
  flood_protection_->setChecked(s.FpEnable);
  flood_time_->setValue(static_cast<int>(s.FpTime));
  FillUserList();
  FillCommandList();
}

void TSettingsDlg::SaveControls() {
  TSettings s = link_.Settings();
  s.Username = Bytes(account_->text());
  s.Password = Bytes(password_->text());
  s.BnetServer = Bytes(bnet_server_->currentText());
  if (classic_->isChecked()) s.Game = 7;
  if (expansion_->isChecked()) s.Game = 8;
  s.IsPvPgn = pvpgn_->isChecked();
  s.HomeChannel = Bytes(home_channel_->text());
  s.Trigger = Bytes(trigger_->text());
  s.PingSpoofing = ping_spoofing_->isChecked();
  s.Autoreconnect = autoreconnect_->isChecked();
  s.ConnectAtStartup = connect_at_startup_->isChecked();
  s.BnlsServer = Bytes(bnls_server_->currentText());
  s.BnlsPort = static_cast<decltype(s.BnlsPort)>(bnls_port_->value());
  s.IdleEnable = idle_enable_->isChecked();
  s.IdleInterval = idle_interval_->value();
  s.IdleMsg = Bytes(idle_message_->text());
  s.GreetEnable = greet_enable_->isChecked();
  s.GreetWhisper = greet_whisper_->isChecked();
  s.GreetForMyClan = greet_clan_->isChecked();
  s.GreetMsg = Bytes(greet_message_->text());
  s.FpEnable = flood_protection_->isChecked();
  s.FpTime = flood_time_->value();
  link_.ApplySettings(s);
}

void TSettingsDlg::Ok() {
  SaveControls();
  ApplyTexts();
  accept();
}

void TSettingsDlg::Apply() {
  SaveControls();
  ApplyTexts();
}

void TSettingsDlg::reject() {
  LoadControls();  // what was typed since the last save is thrown away
  QDialog::reject();
}

void TSettingsDlg::FillPageList(bool all) {
  const QSignalBlocker quiet(page_list_);
  page_list_->clear();
  const TLanguage& lang = link_.Language();
  for (int page = 0; page < (all ? kPages : 1); ++page) {
    auto* item = new QListWidgetItem(Shown(lang.Text(kOptionsListSection, kPageKeys[page])));
    item->setData(Qt::UserRole, page);
    page_list_->addItem(item);
  }
  // The page shown stays marked in the new list.
  if (CurrentPage() < page_list_->count()) page_list_->setCurrentRow(CurrentPage());
}

void TSettingsDlg::ShowPage(int page) {
  pages_->setCurrentIndex(page);
  for (int i = 0; i < page_list_->count(); ++i) {
    if (page_list_->item(i)->data(Qt::UserRole).toInt() == page) {
      const QSignalBlocker quiet(page_list_);
      page_list_->setCurrentRow(i);
    }
  }
}

void TSettingsDlg::FillUserList() {
  user_buttons_[1]->setEnabled(false);
  user_buttons_[2]->setEnabled(false);
  Refill(*users_view_, *users_, UserRows(link_.Database()));
}

void TSettingsDlg::FillCommandList() {
  command_buttons_[0]->setEnabled(false);
  command_buttons_[3]->setEnabled(false);
  Refill(*commands_view_, *commands_, CommandRows(link_.Database()));
}

void TSettingsDlg::RefreshProfileLists() {
  for (QComboBox* combo : {choose_profile_, parent_profile_, act_profile_}) combo->clear();
  parent_profile_->addItem(kDefaultProfileItem);
  const std::vector<std::string> names = link_.ListProfiles();
  for (const std::string& name : names) {
    for (QComboBox* combo : {choose_profile_, parent_profile_, act_profile_}) {
      combo->addItem(Editable(name));
    }
  }
  parent_profile_->setCurrentIndex(0);
  const std::string current_name = link_.CurrentProfile();
  const bool current =
      !current_name.empty() && std::find(names.begin(), names.end(), current_name) != names.end();
  if (current) {
    choose_profile_->setCurrentIndex(choose_profile_->findText(Editable(current_name)));
    FillPageList(true);
  } else {
    // Without a current profile only this page can be reached.
    choose_profile_->setCurrentIndex(-1);
    choose_profile_->setPlaceholderText("[No profiles found]");
    FillPageList(false);
    ShowPage(kProfiles);
  }
}

void TSettingsDlg::AddUser() {
  user_dlg_->Prepare(link_.Language(), true);
  modal_.run(*user_dlg_);
  FillUserList();
}

void TSettingsDlg::EditUser() {
  const int row = SelectedRow(*users_view_);
  if (row < 0) return;
  const TTableModel::TRow& user = users_->Row(row);
  user_dlg_->Prepare(link_.Language(), false, user[0], std::atoi(user[1].c_str()), user[2]);
  modal_.run(*user_dlg_);
  FillUserList();
}

void TSettingsDlg::DeleteUser() {
  const int row = SelectedRow(*users_view_);
  if (row < 0) return;
  const std::string name = users_->Row(row)[0];
  const TLanguage& lang = link_.Language();
  TBoxRequest ask{QMessageBox::Question, Shown(lang.Text(kOptionsDelUserSection, "caution")),
                  Shown(lang.Text(kOptionsDelUserSection, "delquestion") + name + "?"),
                  QMessageBox::Yes | QMessageBox::No};
  if (modal_.box(this, ask) != QMessageBox::Yes) return;
  user_buttons_[1]->setEnabled(false);
  link_.DeleteUser(name);
  FillUserList();
}

void TSettingsDlg::AddCommand() {
  cmd_dlg_->PrepareAdd(link_.Language());
  modal_.run(*cmd_dlg_);
  FillCommandList();
}

void TSettingsDlg::EditCommand() {
  const int row = SelectedRow(*commands_view_);
  if (row < 0) return;
  const TTableModel::TRow& command = commands_->Row(row);
  if (cmd_dlg_->PrepareEdit(link_.Language(), command[0], command[kCommandTextColumn],
                            command[kCommandKindColumn])) {
    modal_.run(*cmd_dlg_);
  }
  FillCommandList();
}

void TSettingsDlg::DeleteCommand() {
  const int row = SelectedRow(*commands_view_);
  if (row < 0) return;
  // A copy: the list may be filled again while the question is open.
  const TTableModel::TRow command = commands_->Row(row);
  const TBotCommand* custom = link_.Database().FindCommand(command[0], TCmdType::Custom);
  const TLanguage& lang = link_.Language();
  const QString title = Shown(lang.Text(kOptionsCmdManSection, "caution"));
  if (custom == nullptr || command[kCommandKindColumn] != "Custom") {
    modal_.box(this, {QMessageBox::Critical, title,
                      Shown(lang.Text(kOptionsCmdManSection, "delerr")), QMessageBox::Ok});
    return;
  }
  const QString question =
      Shown(lang.Text(kOptionsCmdManSection, "delquestion") + custom->Name + "?");
  if (modal_.box(this, {QMessageBox::Question, title, question,
                        QMessageBox::Yes | QMessageBox::No}) != QMessageBox::Yes) {
    return;
  }
  link_.DeleteCommand(command[0]);
  FillCommandList();
}

void TSettingsDlg::DefaultCommands() {
  const TLanguage& lang = link_.Language();
  const TBoxRequest ask{QMessageBox::Question, Shown(lang.Text(kOptionsCmdManSection, "caution")),
                        Shown(lang.Text(kOptionsCmdManSection, "defquestion")),
                        QMessageBox::Yes | QMessageBox::No};
  if (modal_.box(this, ask) != QMessageBox::Yes) return;
  link_.ResetCommandsToDefaults();
  // The users went with the commands: both lists show it.
  FillCommandList();
  FillUserList();
}

void TSettingsDlg::CreateProfile() {
  const TLanguage& lang = link_.Language();
  const auto ask = [this](const TProfileMessage& question) {
    return modal_.Show(this, question, link_.Language(), true, true);  // OK and Cancel
  };
  const TProfiles::TCreateResult result =
      link_.CreateProfile(Bytes(new_profile_->text()), Bytes(parent_profile_->currentText()), ask);
  new_profile_->setText(Editable(result.name));
  if (result.created) {
    RefreshProfileLists();
    // The new profile's settings, not the last one's, or OK would write those into it.
    LoadControls();
  }
  if (!result.message.Empty()) modal_.Show(this, result.message, lang);
  if (result.created) ShowPage(kGeneral);
}

void TSettingsDlg::ChooseProfile(int index) {
  const std::string name = Bytes(choose_profile_->itemText(index));
  const auto ask = [this](const TProfileMessage& question) {
    return modal_.Show(this, question, link_.Language(), true);
  };
  switch (link_.ChooseProfile(name, ask)) {
    case TBotLink::TChoice::Unchanged:
      break;
    case TBotLink::TChoice::Refused:
      profile_back_->start();
      break;
    case TBotLink::TChoice::Switched:
      FillPageList(true);
      LoadControls();
      ApplyTexts();
      break;
  }
}

void TSettingsDlg::DeleteProfile() {
  const std::string name = Bytes(act_profile_->currentText());
  if (name.empty()) return;
  const auto confirm = [this](const TProfileMessage& question) {
    return modal_.Show(this, question, link_.Language(), true);
  };
  const TProfileMessage message = link_.DeleteProfile(name, confirm);
  if (message.Empty()) return;
  modal_.Show(this, message, link_.Language());
  RefreshProfileLists();
}

void TSettingsDlg::RenameProfile() {
  const std::string name = Bytes(act_profile_->currentText());
  if (name.empty()) return;
  const TProfileMessage refusal = link_.RenameRefusal(name);
  if (!refusal.Empty()) {
    modal_.Show(this, refusal, link_.Language());
    return;
  }
  rename_dlg_->Prepare(name);
  if (modal_.run(*rename_dlg_) != QDialog::Accepted) return;
  const std::string new_name = rename_dlg_->NewName();
  if (new_name == name) return;
  modal_.Show(this, link_.RenameProfile(name, new_name), link_.Language());
  RefreshProfileLists();
}

void TSettingsDlg::ChooseLanguage(int index) {
  if (!link_.ChooseLanguage(Bytes(language_->itemText(index)))) return;
  ApplyTexts();
  RefreshProfileLists();
  language_back_->start();
}

}  // namespace corvane
