// The window's member list model against the core's rows: it follows a join and a leave one
// row at a time in a channel of 1,000, and shows names as plain text.

#include "ui/member_list_model.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <string>
#include <vector>

namespace corvane {
namespace {

TUser Member(const std::string& name, std::uint8_t flags = 0) {
  TUser u;
  u.Name = name;
  u.Flags = flags;
  return u;
}

TEST(MemberListModel, FollowsEachJoinAndLeaveByOneRowAndShowsNamesAsPlainText) {
  int argc = 1;
  char name[] = "member_list_model_test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);

  std::vector<TUser> roster;
  for (int i = 0; i < 1000; ++i) roster.push_back(Member("m" + std::to_string(i)));
  const std::string channel = "Big";
  const TViewSource source{roster, nullptr, channel};
  TMemberViews views;
  std::vector<int> icons_asked;
  TMemberListModel model(views, [&](int icon) {
    icons_asked.push_back(icon);
    return QIcon();
  });
  // Checks the model's consistency after every signal it sends.
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  std::string seen;
  QObject::connect(
      &model, &QAbstractItemModel::rowsInserted,
      [&](const QModelIndex&, int first, int) { seen += "+" + std::to_string(first); });
  QObject::connect(
      &model, &QAbstractItemModel::rowsRemoved,
      [&](const QModelIndex&, int first, int) { seen += "-" + std::to_string(first); });
  QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { seen += "reset"; });

  model.Apply(views.Refresh(kRefreshChannel, nullptr, source));
  ASSERT_EQ(model.rowCount(), 1000);
  roster.push_back(Member("<b>hi</b>\x01"));
  model.Apply(views.Refresh(kAddMember, &roster.back(), source));
  roster.push_back(Member("Op", 2));
  model.Apply(views.Refresh(kAddMember, &roster.back(), source));
  const TUser gone = roster[5];
  roster.erase(roster.begin() + 5);
  model.Apply(views.Refresh(kRemoveMember, &gone, source));
  model.Apply(views.Refresh(kRefreshClan, nullptr, source));  // the caption alone
  EXPECT_EQ(seen, "reset+1000+0-6");
  ASSERT_EQ(model.rowCount(), 1001);

  const auto cell = [&](int row, int column) {
    return model.data(model.index(row, column), Qt::DisplayRole).toString().toStdString();
  };
  EXPECT_EQ(cell(0, TMemberListModel::kNameColumn), "Op");
  EXPECT_EQ(cell(1000, TMemberListModel::kNameColumn), "<b>hi</b> ") << "literal, control blanked";
  icons_asked.clear();
  model.data(model.index(0, TMemberListModel::kIconColumn), Qt::DecorationRole);
  EXPECT_EQ(icons_asked, std::vector<int>{66}) << "the channel operator's icon";
}

}  // namespace
}  // namespace corvane
