#pragma once
// A read-only table of texts for the settings dialog's user and command lists. It holds a
// copy of the rows, taken when the dialog fills the list: the connection may change the
// database while the dialog is open (a plug-in's commands go with it), and a view must
// never point at a record that is gone.

#include <QAbstractTableModel>
#include <QStringList>
#include <string>
#include <vector>

namespace corvane {

class TBotCommandControl;

class TTableModel final : public QAbstractTableModel {
 public:
  using TRow = std::vector<std::string>;  // the cells, bytes of the bot's code page

  explicit TTableModel(int columns, QObject* parent = nullptr);

  void SetRows(std::vector<TRow> rows);
  void SetHeaders(const QStringList& headers);
  const TRow& Row(int row) const { return rows_[static_cast<std::size_t>(row)]; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  int columns_;
  std::vector<TRow> rows_;
  QStringList headers_;
};

// The user list's rows: name, access, flags, in list order.
std::vector<TTableModel::TRow> UserRows(const TBotCommandControl& db);
// The command list's rows: name, access, flags, "Yes" or "No", the kind, the custom text or
// plug-in file; a plug-in's command while the plug-in is not loaded is left out.
std::vector<TTableModel::TRow> CommandRows(const TBotCommandControl& db);
inline constexpr int kCommandKindColumn = 4;
inline constexpr int kCommandTextColumn = 5;

}  // namespace corvane
