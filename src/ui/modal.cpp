#include "ui/modal.h"

#include <QDialog>

#include "config/codepage.h"
#include "config/language.h"

namespace corvane {

TModal::TModal()
    : box([](QWidget* parent, const TBoxRequest& r) {
        QMessageBox message(r.icon, r.title, r.text, r.buttons, parent);
        return static_cast<QMessageBox::StandardButton>(message.exec());
      }),
      run([](QDialog& dialog) { return dialog.exec(); }) {}

QMessageBox::Icon BoxIcon(TMsgIcon icon) {
  switch (icon) {
    case TMsgIcon::Information:
      return QMessageBox::Information;
    case TMsgIcon::Warning:
      return QMessageBox::Warning;
    case TMsgIcon::Error:
      return QMessageBox::Critical;
    case TMsgIcon::Question:
      return QMessageBox::Question;
    case TMsgIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

bool TModal::Show(QWidget* parent, const TProfileMessage& message, const TLanguage& lang,
                  bool question, bool ok_cancel) const {
  TBoxRequest request;
  request.icon = BoxIcon(message.icon);
  request.title = QString::fromStdString(DisplayText(message.Title(lang)));
  request.text = QString::fromStdString(DisplayText(message.Text(lang)));
  if (question) {
    request.buttons =
        ok_cancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Yes | QMessageBox::No;
  }
  const QMessageBox::StandardButton pressed = box(parent, request);
  return pressed == QMessageBox::Yes || pressed == QMessageBox::Ok;
}

}  // namespace corvane
