#pragma once
// The window's modal moments, in one place so that a test can answer them: a message box
// and a dialog run to its end. The program shows them; a test replaces either function.

#include <QMessageBox>
#include <QString>
#include <functional>

#include "config/profiles.h"

class QDialog;
class QWidget;

namespace corvane {

class TLanguage;

struct TBoxRequest {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString title;
  QString text;
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
};

struct TModal {
  // Shows the box and gives the button pressed.
  std::function<QMessageBox::StandardButton(QWidget* parent, const TBoxRequest&)> box;
  // Runs the dialog modally and gives its result (QDialog::Accepted or Rejected).
  std::function<int(QDialog&)> run;

  TModal();

  // A profile operation's message in the language's texts: OK alone, or Yes and No (OK and
  // Cancel for `ok_cancel`) when it asks. True for Yes or OK.
  bool Show(QWidget* parent, const TProfileMessage& message, const TLanguage& lang,
            bool question = false, bool ok_cancel = false) const;
};

QMessageBox::Icon BoxIcon(TMsgIcon icon);

}  // namespace corvane
