#pragma once
// Between the bot's texts, which are bytes of the process code page, and Qt's strings.

#include <QString>
#include <string>

#include "config/codepage.h"

namespace corvane {

// A text to show: converted, with every control character blanked.
inline QString Shown(const std::string& bytes) {
  return QString::fromStdString(DisplayText(bytes));
}
// A text to edit: converted as it stands.
inline QString Editable(const std::string& bytes) {
  return QString::fromStdString(ProcessCodePage().ToUtf8(bytes));
}
// What the person typed, as the bot keeps it; characters the code page lacks become '?'.
inline std::string Bytes(const QString& text) {
  return ProcessCodePage().FromUtf8(text.toStdString());
}

}  // namespace corvane
