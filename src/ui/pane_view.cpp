#include "ui/pane_view.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QPalette>
#include <QScrollBar>
#include <QTextBlock>
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
  // A line added at the end asks for its own repaint and that of the line before, which lays
  // both out at once, line after line; a repaint of the view lays out only what it shows.
  QAbstractTextDocumentLayout* layout = document()->documentLayout();
  disconnect(layout, &QAbstractTextDocumentLayout::updateBlock, nullptr, nullptr);
  connect(layout, &QAbstractTextDocumentLayout::updateBlock, viewport(),
          [this] { viewport()->update(); });
  // Whoever scrolls while lines come in reads back: the end of the burst leaves the view.
  connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
          [this] { follow_end_ = follow_end_ && !in_burst_; });
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
  // The lines that come in one pass of the event loop are a burst: the pane follows the end
  // once, after the burst, and only when the end was shown (a person reading back is not
  // pulled down). Meanwhile it scrolls as if centring, which takes the scroll range from the
  // line count alone; the usual mode lays out the last screenful again after every line,
  // and a flood would spend its time there.
  if (!in_burst_) {
    in_burst_ = true;
    follow_end_ = verticalScrollBar()->value() == verticalScrollBar()->maximum();
    setCenterOnScroll(true);
    QMetaObject::invokeMethod(
        this, [this] { EndBurst(); }, Qt::QueuedConnection);
  }
  QTextCursor cursor(document());
  // The oldest line goes before the new one comes, in an edit of its own: the document's
  // own trimming would lay the next oldest line out first, and one edit for both would
  // touch every line between. Placed inside an edit block, a cursor lays out no line.
  QTextDocument& doc = *document();
  if (doc.blockCount() >= doc.maximumBlockCount() && doc.blockCount() > 1) {
    cursor.beginEditBlock();
    cursor.setPosition(doc.firstBlock().next().position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    cursor.endEditBlock();
  }
  cursor.beginEditBlock();
  cursor.setPosition(doc.characterCount() - 1);
  if (!doc.isEmpty()) cursor.insertBlock();
  for (const TTextRun& run : line.runs) {
    QTextCharFormat format;
    format.setForeground(ColorOf(run.color));
    // insertText takes the text as it is: no tag or entity is ever interpreted.
    cursor.insertText(QString::fromStdString(DisplayText(run.text)), format);
  }
  cursor.endEditBlock();
}

void TPaneView::EndBurst() {
  in_burst_ = false;
  setCenterOnScroll(false);
  if (follow_end_) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

}  // namespace corvane
