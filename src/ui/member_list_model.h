#pragma once
// The member, friends and clan list as a Qt model over the core's rows: four columns
// without headers (the row's icon, the first cell, the name, the third cell). It follows
// the core's row changes one by one, so that a join in a channel of 1,000 touches one row.

#include <QAbstractTableModel>
#include <QIcon>
#include <functional>

#include "app/front_end.h"
#include "app/member_views.h"

namespace corvane {

class TMemberListModel final : public QAbstractTableModel {
 public:
  // The icon of an index of the icon table.
  using TIconFor = std::function<QIcon(int index)>;
  enum TColumn : int { kIconColumn = 0, kFirstColumn, kNameColumn, kThirdColumn, kColumns };

  TMemberListModel(const TMemberViews& views, TIconFor icon_for, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  // What the core reported after it changed the rows.
  void Apply(const TViewChange& change);

 private:
  const TMemberViews& views_;
  TIconFor icon_for_;
  int rows_ = 0;  // the rows as the attached views last learned them
};

}  // namespace corvane
