#include "ui/qt/results_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "results/csv.h"
#include "results/query.h"
#include "results/session.h"
#include "results/units.h"
#include "ui/qt/calibration_strip.h"
#include "ui/qt/chart_panel.h"
#include "ui/qt/report_strip.h"
#include "view/mouse.h"
#include "view/undo.h"

namespace orvane::qt {
namespace {

QString Text(const std::string& s) { return QString::fromStdString(s); }

constexpr size_t kRefitRows = 5000;

// The choices of the unit box, by index: as measured, mm, µm.
const std::string kShowUnits[] = {"", std::string(kMillimetre), std::string(kMicrometre)};

QTableView* Table(QWidget* parent, QAbstractItemModel* model) {
  auto* view = new QTableView(parent);
  view->setModel(model);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->verticalHeader()->hide();
  // Every row as high as the first: a table of a million rows is laid out
  // without asking each row for its height.
  view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view->horizontalHeader()->setResizeContentsPrecision(200);
  return view;
}

} // namespace

ResultsWindow::ResultsWindow(Station& station, QWidget* parent)
    : QWidget(parent, parent != nullptr ? Qt::Tool : Qt::Window),
      station_(station),
      rows_model_(new ResultRowsModel(ResultsOf(station).table, this)),
      statistics_model_(new LabelStatisticsModel(ResultsOf(station).table, this)),
      state_(LoadResultsWindowState(station.folder())) {
  setWindowTitle(QStringLiteral("Results"));
  Build();
  Connect();
  Place();
  refreshing_ = true;
  for (int i = 0; i < static_cast<int>(std::size(kShowUnits)); ++i) {
    if (kShowUnits[i] == state_.show_unit) show_unit_->setCurrentIndex(i);
  }
  refreshing_ = false;
  rows_model_->ShowIn(state_.show_unit);
  statistics_model_->ShowIn(state_.show_unit);
  ResultsOf(station_).changed = [this] { Refresh(); };
  Refresh();
}

ResultsWindow::~ResultsWindow() {
  if (isVisible()) SaveState();
  if (station_.results) station_.results->changed = nullptr;
}

void ResultsWindow::Build() {
  rows_ = Table(this, rows_model_);
  statistics_ = Table(this, statistics_model_);
  snap_ = new QCheckBox(QStringLiteral("Snap to edges"), this);
  append_ = new QCheckBox(QStringLiteral("Append to RESULTS.CSV"), this);
  next_label_ = new QLineEdit(this);
  next_label_->setPlaceholderText(QStringLiteral("default (L1, A1 ...)"));
  show_unit_ = new QComboBox(this);
  show_unit_->addItems({QStringLiteral("as measured"), QStringLiteral("mm"), Text(std::string(kMicrometre))});
  const char* names[] = {"Delete", "Clear", "Copy", "Export CSV..."};
  auto* buttons = new QHBoxLayout;
  for (int i = 0; i < 4; ++i) {
    buttons_[i] = new QPushButton(QString::fromLatin1(names[i]), this);
    buttons->addWidget(buttons_[i]);
  }
  // The filter row shows on demand: the window keeps its size and its
  // look until a filter is wanted.
  filter_button_ = new QPushButton(QStringLiteral("Filter"), this);
  filter_button_->setCheckable(true);
  buttons->addWidget(filter_button_);
  buttons->addStretch();
  buttons->addWidget(snap_);
  buttons->addWidget(append_);
  auto* fields = new QHBoxLayout;
  fields->addWidget(new QLabel(QStringLiteral("Label for the next result:"), this));
  fields->addWidget(next_label_, 1);
  fields->addSpacing(16);
  fields->addWidget(new QLabel(QStringLiteral("Show lengths:"), this));
  fields->addWidget(show_unit_);
  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(rows_);
  auto* lower = new QWidget(split);
  auto* lower_layout = new QVBoxLayout(lower);
  lower_layout->setContentsMargins(0, 0, 0, 0);
  lower_layout->addWidget(
      new QLabel(QStringLiteral("Statistics by label (enter a nominal and a tolerance: 0.05, or +0.02/-0.01):"), lower));
  lower_layout->addWidget(statistics_);
  split->addWidget(lower);
  charts_ = new ChartPanel(station_, split);
  split->addWidget(charts_);
  split->setStretchFactor(2, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addLayout(fields);
  filter_row_ = new QWidget(this);
  filter_row_->setLayout(BuildFilterRow());
  filter_row_->layout()->setContentsMargins(0, 0, 0, 0);
  filter_row_->hide();
  layout->addWidget(filter_row_);
  calibration_ = new CalibrationStrip(station_, this);
  layout->addWidget(calibration_);
  report_ = new ReportStrip(station_, [this] { return SelectedNumbers(); }, this);
  layout->addWidget(report_);
  part_counts_ = new QLabel(this);
  part_counts_->hide();
  layout->addWidget(part_counts_);
  layout->addWidget(split);
  server_status_ = new QLabel(this);
  server_status_->hide();
  layout->addWidget(server_status_);
  // The sender empties the outbox on its own thread: the count is looked at
  // again every few seconds, not only at a change of the table.
  if (ResultsOf(station_).sender) {
    auto* timer = new QTimer(this);
    QObject::connect(timer, &QTimer::timeout, this, [this] { ShowServerStatus(); });
    timer->start(3000);
  }
}

QLayout* ResultsWindow::BuildFilterRow() {
  static const char* const kTitles[kFilterFields] = {"Label", "Program", "Parts", "to", "Days", "to"};
  static const char* const kHints[kFilterFields] = {"any", "any", "first", "last", "YYYY-MM-DD", "YYYY-MM-DD"};
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(QStringLiteral("Filter:"), this));
  for (int i = 0; i < kFilterFields; ++i) {
    row->addWidget(new QLabel(QString::fromLatin1(kTitles[i]), this));
    filter_fields_[i] = new QLineEdit(this);
    filter_fields_[i]->setPlaceholderText(QString::fromLatin1(kHints[i]));
    QObject::connect(filter_fields_[i], &QLineEdit::editingFinished, this, [this] { ApplyFilter(); });
    row->addWidget(filter_fields_[i], i < 2 ? 2 : 1);
  }
  // Whose rows: only with a results server to read every station's from.
  stations_ = new QComboBox(this);
  stations_->addItems({QStringLiteral("This station"), QStringLiteral("All stations")});
  stations_->setVisible(!ResultsServerUrl(station_).empty());
  QObject::connect(stations_, &QComboBox::activated, this, [this] { ApplyFilter(); });
  row->addWidget(stations_);
  return row;
}

void ResultsWindow::ApplyFilter() {
  FilterFields typed;
  std::string* texts[kFilterFields] = {&typed.label,      &typed.program,   &typed.part_first,
                                       &typed.part_last,  &typed.day_first, &typed.day_last};
  for (int i = 0; i < kFilterFields; ++i) *texts[i] = filter_fields_[i]->text().trimmed().toStdString();
  if (stations_->currentIndex() >= 2) typed.station = stations_->currentText().toStdString();
  ResultsFilter filter;
  std::string bad;
  const bool ok = ParseFilterFields(typed, &filter, &bad);
  for (int i = 2; i < kFilterFields; ++i) {
    filter_fields_[i]->setStyleSheet(!ok && *texts[i] == bad ? QStringLiteral("background: #fbb") : QString());
  }
  if (!ok) return;
  filter_ = std::move(filter);
  rechoose_ = true;
  Refresh();
  // The server's stations, once its rows are shown.
  if (rows_model_->server() && stations_->count() == 2) {
    for (const std::string& name : rows_model_->source()->Stations()) stations_->addItem(Text(name));
  }
}

// The rows come from the results server when chosen, from the database
// while it holds the table, and from the table in memory otherwise (a
// folder the station may not write in, a save that failed).
void ResultsWindow::ChooseSource() {
  ResultsSession& session = ResultsOf(station_);
  const bool server = stations_->currentIndex() > 0;
  const ResultsTable& table = session.table;
  const bool holds = session.db && session.blocked_error == 0 && session.save_error == 0 &&
                     session.unsaved_rows == 0 && (table.rows().empty() || table.rows().back().stored_id != 0);
  const void* db = server ? static_cast<const void*>(stations_) : holds ? session.db.get() : nullptr;
  for (QLineEdit* field : filter_fields_) field->setEnabled(db != nullptr);
  // Delete, Clear, Copy and the report work on this station's table.
  for (int i = 0; i < 3; ++i) buttons_[i]->setEnabled(!server);
  report_->setEnabled(!server);
  if (db == source_db_ && !rechoose_) return;
  source_db_ = db;
  rechoose_ = false;
  if (server) {
    rows_model_->Use(ServerResults(ResultsServerUrl(station_)), true, filter_);
  } else if (holds) {
    rows_model_->Use(LocalResults(session.db->handle(), ResultsStationName(station_)), false, filter_);
  } else {
    rows_model_->Use(nullptr, false, {});
  }
}

// Statistics and counts of the rows a filter picked, or the server's.
void ResultsWindow::ShowNarrowed() {
  std::vector<ResultRow> values;
  if (rows_model_->narrowed() && rows_model_->source()->Values(&values)) {
    statistics_model_->Show(StatisticsOfRows(std::move(values), ResultsOf(station_).table.tolerances()));
  }
}

void ResultsWindow::ShowPartCounts() {
  std::string text = rows_model_->error();
  PartCounts counts;
  if (text.empty() && rows_model_->source() && rows_model_->source()->Parts(&counts)) text = PartCountsText(counts);
  part_counts_->setText(Text(text));
  part_counts_->setVisible(!text.empty());
}

void ResultsWindow::ShowServerStatus() {
  const std::string text = ResultsServerStatus(station_);
  server_status_->setText(Text(text));
  server_status_->setVisible(!text.empty());
}

void ResultsWindow::Connect() {
  auto clicked = [this](int i, auto action) {
    QObject::connect(static_cast<QPushButton*>(buttons_[i]), &QPushButton::clicked, this, action);
  };
  clicked(0, [this] { DeleteSelected(); });
  clicked(1, [this] { Clear(); });
  clicked(2, [this] { Copy(); });
  clicked(3, [this] {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export results"),
                                                      QStringLiteral("results.csv"),
                                                      QStringLiteral("CSV files (*.csv)"));
    if (!path.isEmpty()) ExportTo(path);
  });
  // Hiding the row takes its filter away with it.
  QObject::connect(filter_button_, &QPushButton::toggled, this, [this](bool on) {
    filter_row_->setVisible(on);
    if (on) return;
    for (QLineEdit* field : filter_fields_) field->clear();
    stations_->setCurrentIndex(0);
    ApplyFilter();
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
  QObject::connect(next_label_, &QLineEdit::textEdited, this, [this](const QString& text) {
    ResultsOf(station_).table.SetNextLabel(text.trimmed().toStdString());
  });
  QObject::connect(show_unit_, &QComboBox::currentIndexChanged, this,
                   [this](int index) { ShowUnitChosen(index); });
  rows_model_->relabelled = [this](uint32_t number, std::string label) {
    RelabelResult(station_, number, std::move(label));
  };
  statistics_model_->set_tolerance = [this](const std::string& label, std::optional<Tolerance> t) {
    SetResultTolerance(station_, label, std::move(t));
  };
  // The charts follow the label chosen in the statistics.
  QObject::connect(statistics_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                   [this](const QModelIndex& current) {
                     charts_->ShowLabel(current.isValid()
                                            ? statistics_model_->index(current.row(), 0).data(Qt::UserRole).toString().toStdString()
                                            : std::string());
                   });
  AddEditKeys();
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

// Where the window was last, if that is still on a screen; else where the
// window manager puts it.
void ResultsWindow::Place() {
  resize(1000, 760);
  if (!state_.has_geometry) return;
  resize(state_.width, state_.height);
  const QRect frame(state_.x, state_.y, state_.width, state_.height);
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect seen = screen->availableGeometry().intersected(frame);
    if (seen.width() >= 50 && seen.height() >= 50) {
      move(state_.x, state_.y);
      return;
    }
  }
}

void ResultsWindow::SaveState() {
  ResultsWindowState now = state_;
  now.has_geometry = true;
  now.x = pos().x();
  now.y = pos().y();
  now.width = width();
  now.height = height();
  if (WriteResultsWindowText(now) == WriteResultsWindowText(state_)) return;
  state_ = now;
  SaveResultsWindowState(station_.folder(), state_);
}

void ResultsWindow::hideEvent(QHideEvent* event) {
  SaveState();
  QWidget::hideEvent(event);
}

void ResultsWindow::ShowUnitChosen(int index) {
  if (index < 0 || index >= static_cast<int>(std::size(kShowUnits)) || refreshing_) return;
  state_.show_unit = kShowUnits[index];
  rows_model_->ShowIn(state_.show_unit);
  statistics_model_->ShowIn(state_.show_unit);
  ShowNarrowed();
  rows_->resizeColumnsToContents();
  statistics_->resizeColumnsToContents();
  SaveResultsWindowState(station_.folder(), state_);
}

void ResultsWindow::Refresh() {
  refreshing_ = true;
  const ResultsTable& table = ResultsOf(station_).table;
  snap_->setChecked(table.snap);
  append_->setChecked(table.append_csv);
  calibration_->Refresh();
  report_->Refresh();
  charts_->Refresh();
  ShowServerStatus();
  if (next_label_->text().trimmed().toStdString() != table.next_label()) {
    next_label_->setText(Text(table.next_label()));
  }
  ChooseSource();
  bool whole = false;
  const size_t first = rows_model_->Sync(&whole);
  if (rows_model_->narrowed()) {
    ShowNarrowed();
  } else {
    statistics_model_->Sync(whole, first);
  }
  ShowPartCounts();
  const size_t shown = static_cast<size_t>(rows_model_->rowCount());
  // Columns fit their contents; past a few thousand rows only a reset
  // refits them, so a new result costs the same in a table of any size.
  if (whole || shown <= kRefitRows) rows_->resizeColumnsToContents();
  // The fit samples the rows from the top; the last number is the widest.
  if (shown > 0) {
    // (with a digit to spare: the hint leaves out the grid line, and a
    // cell's text is elided at its exact width)
    const int last = rows_->sizeHintForIndex(rows_model_->index(static_cast<int>(shown) - 1, 0)).width() +
                     rows_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    if (rows_->columnWidth(0) < last) rows_->setColumnWidth(0, last);
  }
  statistics_->resizeColumnsToContents();
  if (whole || first < shown) rows_->scrollToBottom();
  refreshing_ = false;
}

std::vector<uint32_t> ResultsWindow::SelectedNumbers() const {
  std::vector<uint32_t> numbers;
  // Other stations' rows are theirs: nothing here deletes, copies or reports them.
  if (rows_model_->server()) return numbers;
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
  if (rows_model_->server()) return;
  QApplication::clipboard()->setText(Text(TableTabText(ResultsOf(station_).table, SelectedNumbers())));
}

void ResultsWindow::ExportTo(const QString& path) {
  std::string why;
  if (!ExportResultsCsv(station_, QFile::encodeName(path).toStdString(), &why)) {
    QMessageBox::warning(this, windowTitle(),
                         QStringLiteral("Cannot write ") + path + QStringLiteral(": ") +
                             QString::fromLocal8Bit(why.c_str()));
  }
}

} // namespace orvane::qt
