#pragma once
// The chat and whisper panes: read-only text on black, each line appended as runs of text
// in their colours. What servers and members say is plain text, never markup, and a pane
// keeps only its last lines, so that weeks in a busy channel neither fill the memory nor
// slow the pane down.

#include <QPlainTextEdit>

#include "app/front_end.h"

namespace corvane {

// Lines a pane keeps unless the "Ui" key ScrollbackLines says otherwise.
inline constexpr int kDefaultScrollbackLines = 20'000;

class TPaneView final : public QPlainTextEdit {
 public:
  explicit TPaneView(QWidget* parent = nullptr);

  void Append(const TPaneLine& line);
  // The most lines kept; the oldest go first. At least 1.
  void SetScrollback(int lines);

  // A colour of the panes' palette; the two caption colours are the desktop's.
  static QColor ColorOf(TColor color);

 private:
  void EndBurst();

  bool in_burst_ = false;    // lines came in this pass of the event loop
  bool follow_end_ = false;  // the end was shown when they began
};

}  // namespace corvane
