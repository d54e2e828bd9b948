#include "ui/table_model.h"

#include "bot/command_processor.h"
#include "ui/ui_text.h"

namespace corvane {

TTableModel::TTableModel(int columns, QObject* parent)
    : QAbstractTableModel(parent), columns_(columns) {}

void TTableModel::SetRows(std::vector<TRow> rows) {
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
}

void TTableModel::SetHeaders(const QStringList& headers) {
  headers_ = headers;
  emit headerDataChanged(Qt::Horizontal, 0, columns_ - 1);
}

int TTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : columns_;
}

QVariant TTableModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
  const TRow& row = Row(index.row());
  const auto column = static_cast<std::size_t>(index.column());
  return column < row.size() ? Shown(row[column]) : QString();
}

QVariant TTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section >= headers_.size()) {
    return {};
  }
  return headers_[section];
}

std::vector<TTableModel::TRow> UserRows(const TBotCommandControl& db) {
  std::vector<TTableModel::TRow> rows;
  rows.reserve(db.Users().size());
  for (const auto& user : db.Users()) {
    rows.push_back({user->Name, std::to_string(user->Access), user->Flags});
  }
  return rows;
}

std::vector<TTableModel::TRow> CommandRows(const TBotCommandControl& db) {
  static const char* const kKinds[] = {"Internal", "Custom", "Plugin"};
  std::vector<TTableModel::TRow> rows;
  rows.reserve(db.Commands().size());
  for (const auto& c : db.Commands()) {
    if (c->CmdType == TCmdType::Plugin && !c->PluginLoaded) continue;
    rows.push_back({c->Name, std::to_string(c->Access), c->Flags, c->Enabled ? "Yes" : "No",
                    kKinds[static_cast<int>(c->CmdType)], c->Text});
  }
  return rows;
}

}  // namespace corvane
