#include "ui/qt/results_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "results/csv.h"
#include "results/session.h"
#include "view/mouse.h"
#include "view/undo.h"

namespace orvane::qt {
namespace {

constexpr int kLabelColumn = 3;
constexpr int kVerdictColumn = 10;
// Statistics columns; nominal and tolerance are editable.
constexpr int kNominalColumn = 7;
constexpr int kToleranceColumn = 8;
const QStringList kStatisticsColumns = {"Label", "n",       "Mean",      "Std. dev.", "Min",  "Max",
                                        "Range", "Nominal", "Tolerance (+/-)", "Cp", "Cpk"};
const QColor kPass(200, 240, 200);
const QColor kFail(250, 190, 190);

QString Text(const std::string& s) { return QString::fromStdString(s); }

QTableWidgetItem* Cell(const QString& text, bool editable = false) {
  auto* item = new QTableWidgetItem(text);
  if (!editable) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  return item;
}

} // namespace

ResultsWindow::ResultsWindow(Station& station, QWidget* parent)
    : QWidget(parent, Qt::Window), station_(station) {
  setWindowTitle(QStringLiteral("Results"));
  rows_ = new QTableWidget(this);
  statistics_ = new QTableWidget(this);
  snap_ = new QCheckBox(QStringLiteral("Snap to edges"), this);
  append_ = new QCheckBox(QStringLiteral("Append to RESULTS.CSV"), this);
  auto* remove = new QPushButton(QStringLiteral("Delete"), this);
  auto* clear = new QPushButton(QStringLiteral("Clear"), this);
  auto* copy = new QPushButton(QStringLiteral("Copy"), this);
  auto* exporting = new QPushButton(QStringLiteral("Export CSV..."), this);

  QStringList columns;
  for (const std::string& c : ResultColumns()) columns << Text(c);
  rows_->setColumnCount(columns.size());
  rows_->setHorizontalHeaderLabels(columns);
  rows_->setSelectionBehavior(QAbstractItemView::SelectRows);
  rows_->verticalHeader()->hide();
  statistics_->setColumnCount(kStatisticsColumns.size());
  statistics_->setHorizontalHeaderLabels(kStatisticsColumns);
  statistics_->verticalHeader()->hide();

  auto* buttons = new QHBoxLayout;
  for (QWidget* w : {static_cast<QWidget*>(remove), static_cast<QWidget*>(clear),
                     static_cast<QWidget*>(copy), static_cast<QWidget*>(exporting)}) {
    buttons->addWidget(w);
  }
  buttons->addStretch();
  buttons->addWidget(snap_);
  buttons->addWidget(append_);
  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(rows_);
  auto* lower = new QWidget(split);
  auto* lower_layout = new QVBoxLayout(lower);
  lower_layout->setContentsMargins(0, 0, 0, 0);
  lower_layout->addWidget(new QLabel(QStringLiteral("Statistics by label (enter a nominal and tolerance):"), lower));
  lower_layout->addWidget(statistics_);
  split->addWidget(lower);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(split);
  resize(1000, 560);

  QObject::connect(remove, &QPushButton::clicked, this, [this] { DeleteSelected(); });
  QObject::connect(clear, &QPushButton::clicked, this, [this] { Clear(); });
  QObject::connect(copy, &QPushButton::clicked, this, [this] { Copy(); });
  QObject::connect(exporting, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export results"),
                                                      QStringLiteral("results.csv"),
                                                      QStringLiteral("CSV files (*.csv)"));
    if (!path.isEmpty()) ExportTo(path);
  });
  QObject::connect(snap_, &QCheckBox::toggled, this, [this](bool on) {
    if (refreshing_) return;
    ResultsOf(station_).table.snap = on;
    SaveResults(station_);
  });
  QObject::connect(append_, &QCheckBox::toggled, this, [this](bool on) {
    if (refreshing_) return;
    ResultsOf(station_).table.append_csv = on;
    SaveResults(station_);
  });
  QObject::connect(rows_, &QTableWidget::itemChanged, this,
                   [this](QTableWidgetItem* item) { RowEdited(item); });
  QObject::connect(statistics_, &QTableWidget::itemChanged, this,
                   [this](QTableWidgetItem* item) { StatisticEdited(item); });

  AddEditKeys();
  ResultsOf(station_).changed = [this] { Refresh(); };
  Refresh();
}

// The main window's undo keys, here as well.
void ResultsWindow::AddEditKeys() {
  const struct {
    QKeySequence keys;
    int key;
    uint32_t modifiers;
  } kEditKeys[] = {{QKeySequence(Qt::CTRL | Qt::Key_Z), 'Z', kKeyControl},
                   {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), 'Z', kKeyControl | kKeyShift},
                   {QKeySequence(Qt::CTRL | Qt::Key_Y), 'Y', kKeyControl}};
  for (const auto& k : kEditKeys) {
    auto* shortcut = new QShortcut(k.keys, this);
    const int key = k.key;
    const uint32_t modifiers = k.modifiers;
    QObject::connect(shortcut, &QShortcut::activated, this,
                     [this, key, modifiers] { OnEditKey(station_, key, modifiers); });
  }
}

ResultsWindow::~ResultsWindow() {
  if (station_.results) station_.results->changed = nullptr;
}

void ResultsWindow::Refresh() {
  refreshing_ = true;
  const ResultsTable& table = ResultsOf(station_).table;
  snap_->setChecked(table.snap);
  append_->setChecked(table.append_csv);
  rows_->setRowCount(static_cast<int>(table.rows().size()));
  int r = 0;
  for (const ResultRow& row : table.rows()) {
    const std::vector<std::string> cells = ResultCells(table, row);
    for (int c = 0; c < static_cast<int>(cells.size()); ++c) {
      QTableWidgetItem* item = Cell(Text(cells[c]), c == kLabelColumn);
      item->setData(Qt::UserRole, row.number);
      if (c == kVerdictColumn) {
        const Verdict v = table.VerdictOf(row);
        if (v != Verdict::None) item->setBackground(v == Verdict::Pass ? kPass : kFail);
      }
      rows_->setItem(r, c, item);
    }
    ++r;
  }
  rows_->resizeColumnsToContents();
  if (r > 0) rows_->scrollToBottom();

  const std::vector<LabelStatistics> stats = table.Statistics();
  statistics_->setRowCount(static_cast<int>(stats.size()));
  r = 0;
  for (const LabelStatistics& s : stats) {
    const std::optional<Tolerance> t = table.ToleranceOf(s.label);
    const std::string values[] = {s.label,
                                  std::to_string(s.n),
                                  ResultNumber(s.mean),
                                  ResultNumber(s.sd),
                                  ResultNumber(s.min),
                                  ResultNumber(s.max),
                                  ResultNumber(s.range),
                                  t ? ResultNumber(t->nominal) : "",
                                  t ? ResultNumber(t->tolerance) : "",
                                  ResultNumber(s.cp),
                                  ResultNumber(s.cpk)};
    for (int c = 0; c < static_cast<int>(std::size(values)); ++c) {
      QTableWidgetItem* item = Cell(Text(values[c]), c == kNominalColumn || c == kToleranceColumn);
      item->setData(Qt::UserRole, Text(s.label));
      statistics_->setItem(r, c, item);
    }
    ++r;
  }
  statistics_->resizeColumnsToContents();
  refreshing_ = false;
}

std::vector<uint32_t> ResultsWindow::SelectedNumbers() const {
  std::vector<uint32_t> numbers;
  for (const QModelIndex& index : rows_->selectionModel()->selectedRows()) {
    numbers.push_back(index.data(Qt::UserRole).toUInt());
  }
  return numbers;
}

void ResultsWindow::DeleteSelected() {
  const std::vector<uint32_t> numbers = SelectedNumbers();
  if (numbers.empty()) return;
  DeleteResults(station_, numbers);
}

void ResultsWindow::Clear() { ClearResults(station_); }

void ResultsWindow::Copy() {
  QApplication::clipboard()->setText(Text(TableTabText(ResultsOf(station_).table, SelectedNumbers())));
}

void ResultsWindow::ExportTo(const QString& path) {
  if (!ExportResultsCsv(station_, QFile::encodeName(path).toStdString())) {
    QMessageBox::warning(this, windowTitle(), QStringLiteral("Cannot write ") + path);
  }
}

void ResultsWindow::RowEdited(QTableWidgetItem* item) {
  if (refreshing_ || item->column() != kLabelColumn) return;
  const QString label = item->text().trimmed();
  // An empty or unchanged label shows the stored one again.
  if (label.isEmpty() || !RelabelResult(station_, item->data(Qt::UserRole).toUInt(), label.toStdString())) {
    Refresh();
  }
}

void ResultsWindow::StatisticEdited(QTableWidgetItem* item) {
  if (refreshing_) return;
  const int r = item->row();
  const std::string label = item->data(Qt::UserRole).toString().toStdString();
  const QLocale c = QLocale::c();
  bool nominal_ok = false, tolerance_ok = false;
  const QTableWidgetItem* n = statistics_->item(r, kNominalColumn);
  const QTableWidgetItem* t = statistics_->item(r, kToleranceColumn);
  const double nominal = n ? c.toDouble(n->text().trimmed(), &nominal_ok) : 0.0;
  const double tolerance = t ? c.toDouble(t->text().trimmed(), &tolerance_ok) : 0.0;
  if (nominal_ok && tolerance_ok && tolerance >= 0.0 && std::isfinite(nominal) && std::isfinite(tolerance)) {
    SetResultTolerance(station_, label, Tolerance{nominal, tolerance});
  } else if ((n == nullptr || n->text().trimmed().isEmpty()) &&
             (t == nullptr || t->text().trimmed().isEmpty())) {
    SetResultTolerance(station_, label, std::nullopt);
  } else if (nominal_ok && tolerance_ok) {
    Refresh(); // a negative or endless tolerance: the stored one shows again
  }
  // Otherwise half entered: wait for the other cell.
}

} // namespace orvane::qt
