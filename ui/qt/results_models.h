// The Results window's two tables as item models over the station's results
// table: Qt asks for the cells it paints, so a table of a million rows costs
// nothing until shown, and a new result inserts one row and updates the
// statistics of its label alone. Anything but appending (a deletion, a
// relabel, a clear, a table read back) shows the table again whole.
#pragma once

#include <QAbstractTableModel>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "results/query.h"
#include "results/table.h"

namespace orvane::qt {

// Every row of the table under ResultColumns(); the label is editable.
// With a source (the database that holds the table, or the results server)
// the rows a filter picks are read from it a window at a time; the server's
// rows carry their station and part identity in two more columns and are
// not edited here.
class ResultRowsModel final : public QAbstractTableModel {
 public:
  static constexpr int kLabelColumn = 3;
  static constexpr int kVerdictColumn = 10;
  static constexpr int64_t kWindowRows = 256;

  explicit ResultRowsModel(ResultsTable& table, QObject* parent = nullptr);

  // Reads the rows from `source` under `filter` (null: the table in
  // memory, unfiltered); the next Sync shows them whole.
  void Use(std::unique_ptr<ResultsSource> source, bool server, ResultsFilter filter);
  ResultsSource* source() const { return source_.get(); }
  bool server() const { return server_; }
  // Whether rows are picked by a filter or come from the server (the
  // statistics are then taken over the rows shown).
  bool narrowed() const { return source_ && (server_ || !filter_.empty()); }
  // Why the source could not be read at the last Sync ("" when it could).
  const std::string& error() const { return error_; }

  // Catches up with the table. Returns the position of the first row that is
  // new since the last call (all rows count as new after anything but
  // appending), and sets *whole when the model was reset.
  size_t Sync(bool* whole);
  // Lengths shown in `unit` ("mm", "µm"; empty: as measured).
  void ShowIn(std::string unit);
  // Called with the row's number and new label when the user renames a row.
  std::function<void(uint32_t, std::string)> relabelled;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 private:
  const std::vector<std::string>& Cells(int row) const;
  const ResultRow& Row(int row) const;
  // Row `row` of the source, read with the window of rows around it.
  const ShownRow& Shown(int row) const;

  ResultsTable& table_;
  std::unique_ptr<ResultsSource> source_;
  bool server_ = false;
  bool reselect_ = false;
  ResultsFilter filter_;
  std::string error_;
  // The window of rows read last from the source.
  mutable int64_t window_first_ = -1;
  mutable std::vector<ShownRow> window_;
  std::string unit_;
  size_t shown_ = 0;
  uint64_t rows_revision_ = 0;
  uint64_t tolerances_revision_ = 0;
  // The cells of the row painted last: Qt asks for every column in turn.
  mutable int cached_row_ = -1;
  mutable std::vector<std::string> cached_cells_;
};

// One row per label; nominal and tolerance are editable, and a half-entered
// pair is held here until both cells read.
class LabelStatisticsModel final : public QAbstractTableModel {
 public:
  static constexpr int kUnitColumn = 1;
  static constexpr int kNominalColumn = 8;
  static constexpr int kToleranceColumn = 9;
  static constexpr int kCpColumn = 10;
  static constexpr int kLeftOutColumn = 12;

  explicit LabelStatisticsModel(ResultsTable& table, QObject* parent = nullptr);

  // Catches up with the table: everything again when `whole`, else the
  // labels of rows `first`... and the labels whose tolerance changed.
  void Sync(bool whole, size_t first);
  // Shows these statistics instead (of the rows a filter picked).
  void Show(std::vector<LabelStatistics> all);
  void ShowIn(std::string unit);
  // Sets (or, with nothing, clears) the tolerance the user typed for a label;
  // the model only reads the table.
  std::function<void(const std::string& label, std::optional<Tolerance>)> set_tolerance;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 private:
  struct Pending {
    QString nominal;
    QString deviations;
  };
  LabelStatistics Shown(LabelStatistics s) const;
  void Update(const std::string& label);
  QString Cell(int row, int column) const;

  ResultsTable& table_;
  std::string unit_;
  std::vector<LabelStatistics> stats_;
  std::unordered_map<std::string, int> row_of_;
  std::map<std::string, Tolerance> tolerances_; // as last shown
  uint64_t tolerances_revision_ = 0;
  std::map<std::string, Pending> pending_;
};

} // namespace orvane::qt
