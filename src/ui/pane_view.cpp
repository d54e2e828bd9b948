#include "ui/pane_view.h"

#include <QApplication>
#include <QPalette>
#include <QScrollBar>
#include <QTextCursor>
#include <algorithm>

#include "config/codepage.h"

namespace corvane {

TPaneView::TPaneView(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setUndoRedoEnabled(false);  // a log keeps no history of its own edits
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QPalette p = palette();
  p.setColor(QPalette::Base, Qt::black);
  p.setColor(QPalette::Text, Qt::white);
  setPalette(p);
  SetScrollback(kDefaultScrollbackLines);
}

void TPaneView::SetScrollback(int lines) {
  setMaximumBlockCount(std::max(lines, 1));
}

QColor TPaneView::ColorOf(TColor color) {
  if (color == kCaptionGradient) return QApplication::palette().color(QPalette::Highlight);
  if (color == kInactiveGradient) {
    return QApplication::palette().color(QPalette::Inactive, QPalette::Highlight);
  }
  return QColor::fromRgb(static_cast<QRgb>(color & 0xFFFFFF));
}

void TPaneView::Append(const TPaneLine& line) {
  // Follows the end only when it was shown: a person reading back is not pulled down. The
  // scroll waits for the end of the burst the line came in, so that a flood scrolls once a
  // pass rather than once a line.
  QScrollBar* bar = verticalScrollBar();
  if (!follow_pending_ && bar->value() == bar->maximum()) {
    follow_pending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          follow_pending_ = false;
          verticalScrollBar()->setValue(verticalScrollBar()->maximum());
        },
        Qt::QueuedConnection);
  }
  QTextCursor cursor(document());
  // Placed inside an edit block, the cursor lays out no line (moving it would lay out the
  // first).
  cursor.beginEditBlock();
  cursor.setPosition(document()->characterCount() - 1);
  if (!document()->isEmpty()) cursor.insertBlock();
  for (const TTextRun& run : line.runs) {
    QTextCharFormat format;
    format.setForeground(ColorOf(run.color));
    // insertText takes the text as it is: no tag or entity is ever interpreted.
    cursor.insertText(QString::fromStdString(DisplayText(run.text)), format);
  }
  cursor.endEditBlock();
}

}  // namespace corvane
