// The chat pane: coloured runs, member text shown literally, and only the last lines kept.

#include "ui/pane_view.h"

#include <gtest/gtest.h>

#include <QApplication>
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
}

}  // namespace
}  // namespace corvane
