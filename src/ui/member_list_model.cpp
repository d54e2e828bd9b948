#include "ui/member_list_model.h"

#include <utility>

#include "config/codepage.h"

namespace corvane {
namespace {

// Names and cells come from the server in the code page: shown as plain text, controls
// blanked, never as markup.
QString Cell(const std::string& text) {
  return QString::fromStdString(DisplayText(text));
}

}  // namespace

TMemberListModel::TMemberListModel(const TMemberViews& views, TIconFor icon_for, QObject* parent)
    : QAbstractTableModel(parent),
      views_(views),
      icon_for_(std::move(icon_for)),
      rows_(static_cast<int>(views.Rows().size())) {}

int TMemberListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int TMemberListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QVariant TMemberListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_ ||
      index.row() >= static_cast<int>(views_.Rows().size())) {
    return {};
  }
  const TViewRow& row = views_.Rows()[static_cast<std::size_t>(index.row())];
  if (role == Qt::DecorationRole) {
    const int icon = index.column() == kIconColumn    ? row.icon
                     : index.column() == kFirstColumn ? row.cell_icon
                                                      : kNoIcon;
    if (icon != kNoIcon && icon_for_) return icon_for_(icon);
    return {};
  }
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case kFirstColumn:
      return Cell(row.first);
    case kNameColumn:
      return Cell(row.name);
    case kThirdColumn:
      return Cell(row.third);
    default:
      return {};
  }
}

void TMemberListModel::Apply(const TViewChange& change) {
  const int now = static_cast<int>(views_.Rows().size());
  using K = TViewChange::TKind;
  if (change.kind == K::RowInserted && now == rows_ + 1 && change.row >= 0 && change.row <= rows_) {
    beginInsertRows({}, change.row, change.row);
    rows_ = now;
    endInsertRows();
  } else if (change.kind == K::RowRemoved && now == rows_ - 1 && change.row >= 0 &&
             change.row < rows_) {
    beginRemoveRows({}, change.row, change.row);
    rows_ = now;
    endRemoveRows();
  } else if (change.kind != K::Caption || now != rows_) {
    // A rebuild, or a change the model cannot follow row by row: all rows are read again.
    beginResetModel();
    rows_ = now;
    endResetModel();
  }
}

}  // namespace corvane
