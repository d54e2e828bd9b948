#pragma once
// The settings dialog's small dialogs: a bot user added or edited, a command added or
// edited, a profile's new name. Each reads its texts from the language when shown and
// changes the bot's users and commands only when confirmed; an empty name keeps it open.

#include <QDialog>
#include <string>

#include "bot/command_processor.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace corvane {

class TBotLink;
class TLanguage;

class TUserDlg final : public QDialog {
 public:
  TUserDlg(QWidget* parent, TBotLink& link);

  // Adding (no user edited) or editing the user `edited` with its values.
  void Prepare(const TLanguage& lang, bool adding, const std::string& edited = {},
               std::int32_t access = 0, const std::string& flags = {});
  // The confirm button: the edited user goes and the typed one is set, at the end of the
  // list; with an empty name nothing happens and the dialog stays open.
  void Confirm();

  QLineEdit& NameEdit() { return *name_; }
  QSpinBox& AccessEdit() { return *access_; }
  QLineEdit& FlagsEdit() { return *flags_; }
  QPushButton& ConfirmButton() { return *confirm_; }

 private:
  void done(int result) override;

  TBotLink& link_;
  QLabel* labels_[3] = {};
  QLineEdit* name_ = nullptr;
  QSpinBox* access_ = nullptr;
  QLineEdit* flags_ = nullptr;
  QPushButton* confirm_ = nullptr;
  QPushButton* cancel_ = nullptr;
  std::string edited_;
};

class TCmdDlg final : public QDialog {
 public:
  TCmdDlg(QWidget* parent, TBotLink& link);

  // Adding a custom command: empty fields, access 50.
  void PrepareAdd(const TLanguage& lang);
  // Editing the command the list's row shows, found by its name, text and kind; the name
  // may be changed only for a custom command. False when the record is gone.
  bool PrepareEdit(const TLanguage& lang, const std::string& name, const std::string& text,
                   const std::string& kind);
  // OK: a new custom command (always enabled), or the edited record changed; an empty name
  // (and when adding an empty text) keeps the dialog open.
  void Confirm();

  QLineEdit& NameEdit() { return *name_; }
  QLineEdit& TextEdit() { return *text_; }
  QSpinBox& AccessEdit() { return *access_; }
  QLineEdit& FlagsEdit() { return *flags_; }
  QCheckBox& DisableBox() { return *disable_; }
  QLabel& KindLabel() { return *kind_; }
  QPushButton& OkButton() { return *ok_; }

 private:
  void ApplyTexts(const TLanguage& lang);

  TBotLink& link_;
  bool adding_ = true;
  // The edited record's identity as the list showed it; found again when confirmed, since
  // the connection or another window may have changed the list meanwhile.
  std::string name_was_, text_was_;
  TCmdType kind_was_ = TCmdType::Custom;
  QLabel* labels_[5] = {};
  QLabel* kind_ = nullptr;
  QLabel* text_label_ = nullptr;
  QLineEdit* name_ = nullptr;
  QSpinBox* access_ = nullptr;
  QLineEdit* flags_ = nullptr;
  QCheckBox* disable_ = nullptr;
  QLineEdit* text_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

class TRenameDlg final : public QDialog {
 public:
  explicit TRenameDlg(QWidget* parent);
  void Prepare(const std::string& name);
  std::string NewName() const;
  QLineEdit& NameEdit() { return *name_; }

 private:
  QLineEdit* name_ = nullptr;
};

}  // namespace corvane
