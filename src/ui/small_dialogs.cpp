#include "ui/small_dialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <limits>

#include "app/bot_link.h"
#include "config/language.h"
#include "config/language_sections.h"
#include "ui/ui_text.h"

namespace corvane {
namespace {

constexpr std::int32_t kNewCommandAccess = 50;
const char* const kKindNames[] = {"Internal", "Custom", "Plugin"};

QSpinBox* AccessBox(QWidget* parent) {
  auto* box = new QSpinBox(parent);
  box->setRange(std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
  return box;
}

// OK and Cancel below the fields: Enter confirms, Escape cancels.
QDialogButtonBox* Buttons(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel) {
  auto* buttons = new QDialogButtonBox(dialog);
  ok = buttons->addButton(QString(), QDialogButtonBox::AcceptRole);
  cancel = buttons->addButton(QString(), QDialogButtonBox::RejectRole);
  ok->setDefault(true);
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  return buttons;
}

QString Text(const TLanguage& lang, const char* section, const char* key) {
  return Shown(lang.Text(section, key));
}

}  // namespace

TUserDlg::TUserDlg(QWidget* parent, TBotLink& link) : QDialog(parent), link_(link) {
  auto* form = new QFormLayout;
  name_ = new QLineEdit(this);
  access_ = AccessBox(this);
  flags_ = new QLineEdit(this);
  QWidget* fields[] = {name_, access_, flags_};
  for (int i = 0; i < 3; ++i) {
    labels_[i] = new QLabel(this);
    labels_[i]->setBuddy(fields[i]);
    form->addRow(labels_[i], fields[i]);
  }
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(Buttons(this, confirm_, cancel_));
  connect(confirm_, &QPushButton::clicked, this, [this] { Confirm(); });
}

void TUserDlg::Prepare(const TLanguage& lang, bool adding, const std::string& edited,
                       std::int32_t access, const std::string& flags) {
  setWindowTitle(Text(lang, kOptionsAddUserSection, adding ? "0" : "01"));
  const char* keys[] = {"1", "2", "3"};
  for (int i = 0; i < 3; ++i) labels_[i]->setText(Text(lang, kOptionsAddUserSection, keys[i]));
  confirm_->setText(Text(lang, kOptionsAddUserSection, "4"));
  cancel_->setText(Text(lang, kOptionsAddUserSection, "5"));
  setResult(QDialog::Rejected);  // until this showing is confirmed
  edited_ = adding ? std::string() : edited;
  name_->setText(Editable(edited_));
  access_->setValue(adding ? 0 : access);
  flags_->setText(adding ? QString() : Editable(flags));
  name_->setFocus();
}

void TUserDlg::Confirm() {
  if (name_->text().isEmpty()) return;
  if (!edited_.empty()) link_.DeleteUser(edited_);
  link_.SetUser(Bytes(name_->text()), access_->value(), Bytes(flags_->text()));
  accept();
}

void TUserDlg::done(int result) {
  // Nothing of one showing is left for the next.
  name_->clear();
  flags_->clear();
  access_->setValue(0);
  edited_.clear();
  QDialog::done(result);
}

TCmdDlg::TCmdDlg(QWidget* parent, TBotLink& link) : QDialog(parent), link_(link) {
  name_ = new QLineEdit(this);
  kind_ = new QLabel(this);
  access_ = AccessBox(this);
  flags_ = new QLineEdit(this);
  disable_ = new QCheckBox(this);
  text_ = new QLineEdit(this);
  text_label_ = new QLabel(this);
  auto* form = new QFormLayout;
  QWidget* fields[] = {name_, kind_, access_, flags_};
  for (int i = 0; i < 4; ++i) {
    labels_[i] = new QLabel(this);
    labels_[i]->setBuddy(fields[i]);
    form->addRow(labels_[i], fields[i]);
  }
  form->addRow(QString(), disable_);
  text_label_->setBuddy(text_);
  form->addRow(text_label_, text_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(Buttons(this, ok_, cancel_));
  connect(ok_, &QPushButton::clicked, this, [this] { Confirm(); });
  setMinimumWidth(360);
}

void TCmdDlg::ApplyTexts(const TLanguage& lang) {
  setResult(QDialog::Rejected);  // until this showing is confirmed
  const char* keys[] = {"1", "2", "3", "4"};
  for (int i = 0; i < 4; ++i) labels_[i]->setText(Text(lang, kOptionsAddCmdSection, keys[i]));
  disable_->setText(Text(lang, kOptionsAddCmdSection, "5"));
  ok_->setText(Text(lang, kOptionsAddCmdSection, "6"));
  cancel_->setText(Text(lang, kOptionsAddCmdSection, "7"));
  text_label_->setText(Text(lang, kOptionsAddCmdSection, "8"));
  text_->setEnabled(true);
}

void TCmdDlg::PrepareAdd(const TLanguage& lang) {
  adding_ = true;
  ApplyTexts(lang);
  setWindowTitle(Text(lang, kOptionsAddCmdSection, "10"));
  name_->setEnabled(true);
  name_->clear();
  flags_->clear();
  text_->clear();
  access_->setValue(kNewCommandAccess);
  disable_->setChecked(false);
  kind_->setText("Custom");
  name_->setFocus();
}

bool TCmdDlg::PrepareEdit(const TLanguage& lang, const std::string& name, const std::string& text,
                          const std::string& kind) {
  adding_ = false;
  ApplyTexts(lang);
  setWindowTitle(Text(lang, kOptionsAddCmdSection, "9"));
  name_was_ = name;
  text_was_ = text;
  kind_was_ = kind == "Plugin"   ? TCmdType::Plugin
              : kind == "Custom" ? TCmdType::Custom
                                 : TCmdType::Internal;
  name_->setEnabled(kind_was_ == TCmdType::Custom);
  const TBotCommand* record = nullptr;
  for (const auto& c : link_.Database().Commands()) {
    if (c->Name == name && c->Text == text && c->CmdType == kind_was_) {
      record = c.get();
      break;
    }
  }
  if (record == nullptr) return false;
  name_->setText(Editable(record->Name));
  flags_->setText(Editable(record->Flags));
  kind_->setText(kKindNames[static_cast<int>(record->CmdType)]);
  if (record->CmdType == TCmdType::Plugin) {
    text_label_->setText(Text(lang, kOptionsAddCmdSection, "11"));
    text_->setEnabled(false);
  }
  text_->setText(Editable(record->Text));
  access_->setValue(record->Access);
  disable_->setChecked(!record->Enabled);
  return true;
}

void TCmdDlg::Confirm() {
  // A command without a name could be reached by the trigger alone: refused in both modes.
  if (name_->text().isEmpty()) return;
  if (adding_) {
    if (text_->text().isEmpty()) return;
    link_.AddCommand(Bytes(name_->text()), Bytes(text_->text()), access_->value(),
                     Bytes(flags_->text()));
  } else {
    TBotLink::TCommandEdit edit;
    edit.name = name_was_;
    edit.text = text_was_;
    edit.kind = kind_was_;
    // Only what the person could change: a plug-in's file and a built-in name stay the bot's.
    if (name_->isEnabled()) edit.new_name = Bytes(name_->text());
    if (text_->isEnabled()) edit.new_text = Bytes(text_->text());
    edit.access = access_->value();
    edit.flags = Bytes(flags_->text());
    edit.enabled = !disable_->isChecked();
    if (!link_.UpdateCommand(edit)) return;
  }
  accept();
}

TRenameDlg::TRenameDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Rename profile");
  name_ = new QLineEdit(this);
  auto* label = new QLabel("New name: ", this);
  label->setBuddy(name_);
  auto* row = new QHBoxLayout;
  row->addWidget(label);
  row->addWidget(name_);
  QPushButton* ok = nullptr;
  QPushButton* cancel = nullptr;
  QDialogButtonBox* buttons = Buttons(this, ok, cancel);
  ok->setText("OK");
  cancel->setText("Cancel");
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(buttons);
}

void TRenameDlg::Prepare(const std::string& name) {
  name_->setText(Editable(name));
  name_->selectAll();
  name_->setFocus();
}

std::string TRenameDlg::NewName() const {
  return Bytes(name_->text());
}

}  // namespace corvane
