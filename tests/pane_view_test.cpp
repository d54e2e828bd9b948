// The chat pane: coloured runs, member text shown literally, only the last lines kept, and
// the end followed unless the person scrolled back.

#include "ui/pane_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QTextBlock>
#include <string>

namespace corvane {
namespace {

TEST(PaneView, RunsKeepTheirColoursMarkupStaysTextAndOldLinesGo) {
  int argc = 1;
  char name[] = "pane_view_test";
  char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  TPaneView pane;
  pane.Append({TPane::Chat, {{"Bob:", kYellow}, {" <b>hi</b> &amp; <img src=x>", kWhite}}});
  const QTextBlock block = pane.document()->firstBlock();
  EXPECT_EQ(block.text().toStdString(), "Bob: <b>hi</b> &amp; <img src=x>");
  std::string colours;
  for (auto it = block.begin(); !it.atEnd(); ++it) {
    colours += it.fragment().charFormat().foreground().color().name().toStdString() + " ";
  }
  EXPECT_EQ(colours, "#ffff00 #ffffff ");

  pane.SetScrollback(3);
  for (int i = 1; i <= 5; ++i) pane.Append({TPane::Chat, {{"line " + std::to_string(i), kRed}}});
  EXPECT_EQ(pane.document()->blockCount(), 3);
  EXPECT_EQ(pane.document()->firstBlock().text().toStdString(), "line 3");

  // After a burst of lines the pane shows the end, unless the person had scrolled back.
  pane.SetScrollback(1000);
  pane.resize(200, 100);
  pane.show();
  const auto burst = [&pane] {
    for (int i = 0; i < 30; ++i) pane.Append({TPane::Chat, {{"more", kWhite}}});
    QCoreApplication::processEvents();
  };
  QScrollBar& bar = *pane.verticalScrollBar();
  burst();
  EXPECT_EQ(bar.value(), bar.maximum());
  bar.triggerAction(QAbstractSlider::SliderToMinimum);
  burst();
  EXPECT_EQ(bar.value(), 0);
  bar.triggerAction(QAbstractSlider::SliderToMaximum);
  burst();
  EXPECT_EQ(bar.value(), bar.maximum());
}

}  // namespace
}  // namespace corvane
