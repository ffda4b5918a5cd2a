#include "ui/qt/results_models.h"

#include <QColor>
#include <QLocale>

#include <algorithm>
#include <set>

#include "results/csv.h"

namespace orvane::qt {
namespace {

const QColor kPass(200, 240, 200);
const QColor kFail(250, 190, 190);
const QStringList kStatisticsColumns = {
    "Label", "Unit", "n", "Mean", "Std. dev.", "Min", "Max", "Range", "Nominal", "Tolerance (+/-)",
    "Cp", "Cpk", "Left out"};

QString Text(const std::string& s) { return QString::fromStdString(s); }

} // namespace

ResultRowsModel::ResultRowsModel(ResultsTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table) {}

void ResultRowsModel::Use(std::unique_ptr<ResultsSource> source, bool server, ResultsFilter filter) {
  source_ = std::move(source);
  server_ = source_ && server;
  filter_ = std::move(filter);
  reselect_ = true;
}

// With a source, the rows recorded since the last look are taken in at the
// end; after any other edit of the table (or a new filter) all are picked
// again. The server's order has other stations' rows anywhere, so a change
// of its count shows it whole.
size_t ResultRowsModel::Sync(bool* whole) {
  cached_row_ = -1;
  window_first_ = -1;
  const bool edited = rows_revision_ != table_.rows_revision() || reselect_;
  size_t n = table_.rows().size();
  error_.clear();
  if (source_) {
    const int64_t picked = edited ? source_->Select(filter_) : source_->SelectNew();
    if (picked < 0) error_ = source_->error();
    n = picked < 0 ? 0 : static_cast<size_t>(picked);
  }
  *whole = edited || shown_ > n || (server_ && n != shown_);
  reselect_ = false;
  if (*whole) {
    beginResetModel();
    rows_revision_ = table_.rows_revision();
    tolerances_revision_ = table_.tolerances_revision();
    shown_ = n;
    endResetModel();
    return 0;
  }
  const size_t first = shown_;
  if (tolerances_revision_ != table_.tolerances_revision() && shown_ > 0) {
    tolerances_revision_ = table_.tolerances_revision();
    Q_EMIT dataChanged(index(0, 0), index(static_cast<int>(shown_) - 1, columnCount() - 1));
  }
  if (n > shown_) {
    beginInsertRows({}, static_cast<int>(shown_), static_cast<int>(n) - 1);
    shown_ = n;
    endInsertRows();
  }
  return first;
}

void ResultRowsModel::ShowIn(std::string unit) {
  beginResetModel();
  unit_ = std::move(unit);
  cached_row_ = -1;
  endResetModel();
}

int ResultRowsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_);
}

int ResultRowsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(ResultColumns().size()) + (server_ ? 2 : 0);
}

const ResultRow& ResultRowsModel::Row(int row) const {
  return source_ ? Shown(row).row : table_.rows()[static_cast<size_t>(row)];
}

// A row of the source is read with the window of rows around it, so that
// scrolling reads a window at a time. A row that no longer reads (the
// database changed under the window) shows empty until the next Sync.
const ShownRow& ResultRowsModel::Shown(int row) const {
  if (window_first_ < 0 || row < window_first_ || row >= window_first_ + static_cast<int64_t>(window_.size())) {
    window_first_ = std::max<int64_t>(0, row - kWindowRows / 2);
    if (!source_->Read(window_first_, kWindowRows, &window_)) window_.clear();
  }
  const int64_t at = row - window_first_;
  static const ShownRow kNone;
  return at < static_cast<int64_t>(window_.size()) ? window_[static_cast<size_t>(at)] : kNone;
}

// A server's rows are judged by their own stations' tolerances.
const std::vector<std::string>& ResultRowsModel::Cells(int row) const {
  if (row != cached_row_) {
    if (source_) {
      const ShownRow& shown = Shown(row);
      cached_cells_ = ShownCells(table_, shown, unit_);
      if (server_) {
        cached_cells_.push_back(shown.station);
        cached_cells_.push_back(shown.row.part);
      }
    } else {
      cached_cells_ = ResultCells(table_, Row(row), unit_);
    }
    cached_row_ = row;
  }
  return cached_cells_;
}

QVariant ResultRowsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<size_t>(index.row()) >= shown_) return {};
  const ResultRow& row = Row(index.row());
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: return Text(Cells(index.row())[static_cast<size_t>(index.column())]);
    case Qt::UserRole: return row.number;
    case Qt::BackgroundRole: {
      if (index.column() != kVerdictColumn) return {};
      const std::string& verdict = Cells(index.row())[kVerdictColumn];
      if (verdict.empty()) return {};
      return verdict == "pass" ? kPass : kFail;
    }
    default: return {};
  }
}

QVariant ResultRowsModel::headerData(int section, Qt::Orientation o, int role) const {
  if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
  const size_t at = static_cast<size_t>(section);
  if (at == ResultColumns().size()) return QStringLiteral("Station");
  if (at > ResultColumns().size()) return QString::fromUtf8(kPartColumn);
  return Text(ResultColumns()[static_cast<size_t>(section)]);
}

Qt::ItemFlags ResultRowsModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (index.column() == kLabelColumn && !server_) f |= Qt::ItemIsEditable;
  return f;
}

bool ResultRowsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || index.column() != kLabelColumn || !relabelled || server_) return false;
  const QString label = value.toString().trimmed();
  if (label.isEmpty()) return false;
  relabelled(Row(index.row()).number, label.toStdString());
  return true;
}

LabelStatisticsModel::LabelStatisticsModel(ResultsTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table) {}

LabelStatistics LabelStatisticsModel::Shown(LabelStatistics s) const {
  if (!unit_.empty()) orvane::ShowIn(&s, unit_);
  return s;
}

void LabelStatisticsModel::Show(std::vector<LabelStatistics> all) {
  beginResetModel();
  stats_.clear();
  row_of_.clear();
  for (LabelStatistics& s : all) {
    row_of_[s.label] = static_cast<int>(stats_.size());
    stats_.push_back(Shown(std::move(s)));
  }
  tolerances_ = table_.tolerances();
  tolerances_revision_ = table_.tolerances_revision();
  pending_.clear();
  endResetModel();
}

void LabelStatisticsModel::Sync(bool whole, size_t first) {
  if (whole) return Show(table_.Statistics());
  std::set<std::string> labels;
  for (size_t i = first; i < table_.rows().size(); ++i) labels.insert(table_.rows()[i].label);
  if (tolerances_revision_ != table_.tolerances_revision()) {
    const std::map<std::string, Tolerance>& now = table_.tolerances();
    for (const auto& [label, t] : now) {
      const auto was = tolerances_.find(label);
      if (was == tolerances_.end() || !(was->second == t)) labels.insert(label);
    }
    for (const auto& [label, t] : tolerances_) {
      if (!now.contains(label)) labels.insert(label);
    }
    tolerances_ = now;
    tolerances_revision_ = table_.tolerances_revision();
  }
  for (const std::string& label : labels) Update(label);
}

void LabelStatisticsModel::Update(const std::string& label) {
  std::optional<LabelStatistics> s = table_.StatisticsOf(label);
  const auto it = row_of_.find(label);
  if (it != row_of_.end()) {
    if (s) stats_[static_cast<size_t>(it->second)] = Shown(std::move(*s));
    Q_EMIT dataChanged(index(it->second, 0), index(it->second, columnCount() - 1));
  } else if (s) {
    const int row = static_cast<int>(stats_.size());
    beginInsertRows({}, row, row);
    row_of_[label] = row;
    stats_.push_back(Shown(std::move(*s)));
    endInsertRows();
  }
}

void LabelStatisticsModel::ShowIn(std::string unit) {
  unit_ = std::move(unit);
  Sync(true, 0);
}

int LabelStatisticsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(stats_.size());
}

int LabelStatisticsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(kStatisticsColumns.size());
}

QString LabelStatisticsModel::Cell(int row, int column) const {
  const LabelStatistics& s = stats_[static_cast<size_t>(row)];
  if (column == kNominalColumn || column == kToleranceColumn) {
    if (const auto p = pending_.find(s.label); p != pending_.end()) {
      return column == kNominalColumn ? p->second.nominal : p->second.deviations;
    }
    const std::optional<Tolerance> t = table_.ToleranceIn(s.label, s.unit);
    if (!t) return {};
    return Text(column == kNominalColumn ? ResultNumber(t->nominal) : DeviationsCell(*t));
  }
  switch (column) {
    case 0: return Text(s.label);
    case kUnitColumn: return Text(s.unit);
    case 2: return QString::number(s.n);
    case 3: return Text(ResultNumber(s.mean));
    case 4: return Text(ResultNumber(s.sd));
    case 5: return Text(ResultNumber(s.min));
    case 6: return Text(ResultNumber(s.max));
    case 7: return Text(ResultNumber(s.range));
    case kCpColumn: return Text(ResultNumber(s.cp));
    case 11: return Text(ResultNumber(s.cpk));
    case kLeftOutColumn:
      return s.left_out == 0 ? QString() : QStringLiteral("%1 (%2)").arg(s.left_out).arg(Text(s.left_out_units));
    default: return {};
  }
}

QVariant LabelStatisticsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<size_t>(index.row()) >= stats_.size()) return {};
  if (role == Qt::DisplayRole || role == Qt::EditRole) return Cell(index.row(), index.column());
  if (role == Qt::UserRole) return Text(stats_[static_cast<size_t>(index.row())].label);
  return {};
}

QVariant LabelStatisticsModel::headerData(int section, Qt::Orientation o, int role) const {
  if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return kStatisticsColumns[section];
}

Qt::ItemFlags LabelStatisticsModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (index.column() == kNominalColumn || index.column() == kToleranceColumn) f |= Qt::ItemIsEditable;
  return f;
}

// A tolerance is set once both cells read, and cleared when both are empty;
// until then the cell typed is held, so the pair can be entered in either order.
bool LabelStatisticsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  const int column = index.column();
  if (role != Qt::EditRole || (column != kNominalColumn && column != kToleranceColumn) || !set_tolerance) {
    return false;
  }
  const LabelStatistics& s = stats_[static_cast<size_t>(index.row())];
  const std::string label = s.label;
  Pending p{Cell(index.row(), kNominalColumn), Cell(index.row(), kToleranceColumn)};
  (column == kNominalColumn ? p.nominal : p.deviations) = value.toString().trimmed();
  bool nominal_ok = false;
  const double nominal = QLocale::c().toDouble(p.nominal, &nominal_ok);
  Tolerance t;
  const std::optional<Tolerance> old = table_.ToleranceOf(label);
  if (nominal_ok && std::isfinite(nominal) && ParseDeviations(p.deviations.toStdString(), &t)) {
    // Typed in the unit shown: kept as the label's unit where that is it.
    t.unit = s.unit == table_.LabelUnit(label) ? (old ? old->unit : std::string()) : s.unit;
    t.nominal = nominal;
    pending_.erase(label);
    set_tolerance(label, t);
  } else if (p.nominal.isEmpty() && p.deviations.isEmpty()) {
    pending_.erase(label);
    set_tolerance(label, std::nullopt);
  } else {
    pending_[label] = p;
    Q_EMIT dataChanged(index, index);
    return true;
  }
  return true;
}

} // namespace orvane::qt
