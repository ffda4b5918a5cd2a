#include "ui/qt/program_window.h"

#include <optional>
#include <string>

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "cad/session.h"
#include "inspect/program_draw.h"
#include "inspect/program_session.h"
#include "ui/commands.h"
#include "ui/part_commands.h"

namespace orvane::qt {
namespace {

enum Column : int { kLabel = 0, kKind = 1, kNominal = 2, kTolerance = 3, kValue = 4 };

QString Text(const std::string& s) { return QString::fromStdString(s); }

QColor ColourOf(Rgb c) { return QColor(c.r, c.g, c.b); }

} // namespace

ProgramWindow::ProgramWindow(Station& station, std::function<void(std::function<void()>)> run, QWidget* parent)
    : QWidget(parent, parent != nullptr ? Qt::Tool : Qt::Window), station_(station), run_(std::move(run)) {
  setWindowTitle(QStringLiteral("Inspection Program"));
  Build();
  Refresh();
  resize(520, 460);
}

void ProgramWindow::Build() {
  auto* layout = new QVBoxLayout(this);
  auto* files = new QHBoxLayout;
  programs_ = new QComboBox(this);
  programs_->setMinimumContentsLength(16);
  auto* load = new QPushButton(QStringLiteral("Load"), this);
  auto* fresh = new QPushButton(QStringLiteral("New..."), this);
  auto* save = new QPushButton(QStringLiteral("Save"), this);
  files->addWidget(programs_, 1);
  for (QPushButton* b : {load, fresh, save}) files->addWidget(b);
  layout->addLayout(files);
  title_ = new QLabel(this);
  layout->addWidget(title_);
  auto* modes = new QHBoxLayout;
  record_ = new QCheckBox(QStringLiteral("Record gauges as steps"), this);
  auto_ = new QCheckBox(QStringLiteral("Run on every new picture"), this);
  auto* run = new QPushButton(QStringLiteral("Run (F5)"), this);
  run->setDefault(true);
  modes->addWidget(record_);
  modes->addWidget(auto_);
  modes->addStretch(1);
  modes->addWidget(run);
  layout->addLayout(modes);
  // The runs in Live, beside the runs on new pictures.
  auto* live = new QHBoxLayout;
  folder_ = new QCheckBox(QStringLiteral("Run on every folder camera picture"), this);
  rest_ = new QCheckBox(QStringLiteral("Run when a part comes to rest"), this);
  live->addWidget(folder_);
  live->addWidget(rest_);
  live->addStretch(1);
  layout->addLayout(live);
  layout->addWidget(BuildIdentity());
  steps_ = new QTableWidget(0, 5, this);
  steps_->setHorizontalHeaderLabels({QStringLiteral("Label"), QStringLiteral("Kind"), QStringLiteral("Nominal"),
                                     QStringLiteral("Tolerance"), QStringLiteral("Last run")});
  steps_->horizontalHeader()->setStretchLastSection(true);
  steps_->verticalHeader()->setVisible(false);
  steps_->setSelectionBehavior(QAbstractItemView::SelectRows);
  layout->addWidget(steps_, 1);
  layout->addWidget(BuildButtons());
  message_ = new QLabel(this);
  message_->setWordWrap(true);
  layout->addWidget(message_);

  connect(load, &QPushButton::clicked, this, [this] { LoadProgram(programs_->currentText()); });
  connect(fresh, &QPushButton::clicked, this, [this] {
    bool ok = false;
    const QString name = QInputDialog::getText(this, QStringLiteral("New Program"), QStringLiteral("Name:"),
                                               QLineEdit::Normal, QString(), &ok);
    if (ok) NewProgram(name);
  });
  connect(save, &QPushButton::clicked, this, [this] { Act([this](std::string* why) { return SaveProgram(station_, why); }); });
  connect(run, &QPushButton::clicked, this, [this] { Run(); });
  connect(record_, &QCheckBox::toggled, this, [this](bool on) { ProgramOf(station_).recording = on; });
  connect(auto_, &QCheckBox::toggled, this, [this](bool on) { ProgramOf(station_).auto_run = on; });
  connect(folder_, &QCheckBox::toggled, this, [this](bool on) { ProgramOf(station_).auto_folder = on; });
  connect(rest_, &QCheckBox::toggled, this, [this](bool on) { ProgramOf(station_).auto_rest = on; });
  connect(steps_, &QTableWidget::cellChanged, this, [this](int row, int column) { CellEdited(row, column); });
  auto* key = new QShortcut(QKeySequence(Qt::Key_F5), this);
  connect(key, &QShortcut::activated, this, [this] { Run(); });
}

QWidget* ProgramWindow::BuildButtons() {
  auto* row = new QWidget(this);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  struct Button {
    const char* text;
    std::function<bool(std::string*)> action;
  };
  const Button buttons[] = {
      {"Up", [this](std::string* why) { return MoveStep(station_, SelectedLabel().toStdString(), -1, why); }},
      {"Down", [this](std::string* why) { return MoveStep(station_, SelectedLabel().toStdString(), 1, why); }},
      {"Delete", [this](std::string* why) { return DeleteStep(station_, SelectedLabel().toStdString(), why); }},
      {"Distance", [this](std::string* why) {
         return AddDimensionOf(station_, StepKind::Distance, SelectedLabel(0).toStdString(),
                               SelectedLabel(1).toStdString(), why);
       }},
      {"Angle", [this](std::string* why) {
         return AddDimensionOf(station_, StepKind::Angle, SelectedLabel(0).toStdString(),
                               SelectedLabel(1).toStdString(), why);
       }},
      {"Drawing", [this](std::string* why) { return AddProfileOf(station_, why); }},
  };
  for (const Button& b : buttons) {
    auto* button = new QPushButton(QString::fromLatin1(b.text), row);
    layout->addWidget(button);
    connect(button, &QPushButton::clicked, this, [this, action = b.action] { Act(action); });
  }
  return row;
}

// The part's identity: where the program reads its code, whether a part
// needs one to pass, and the next running number of a prefix.
QWidget* ProgramWindow::BuildIdentity() {
  auto* row = new QWidget(this);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* region = new QPushButton(QStringLiteral("Code region from the newest ROI"), row);
  required_ = new QCheckBox(QStringLiteral("Identity required"), row);
  prefix_ = new QLineEdit(row);
  prefix_->setPlaceholderText(QStringLiteral("Prefix"));
  auto* next = new QPushButton(QStringLiteral("Next number"), row);
  layout->addWidget(region);
  layout->addWidget(required_);
  layout->addStretch(1);
  layout->addWidget(prefix_);
  layout->addWidget(next);
  connect(region, &QPushButton::clicked, this, [this] {
    Act([this](std::string* why) { return CodeRegionFromRoi(station_, why); });
  });
  connect(required_, &QCheckBox::toggled, this, [this](bool on) {
    if (!refreshing_) Act([this, on](std::string* why) { return SetIdentityRequired(station_, on, why); });
  });
  connect(next, &QPushButton::clicked, this, [this] { NextIdentity(); });
  connect(prefix_, &QLineEdit::returnPressed, this, [this] { NextIdentity(); });
  return row;
}

void ProgramWindow::NextIdentity() {
  std::optional<std::string> identity;
  Act([&](std::string* why) {
    identity = UseNextRunningIdentity(station_, prefix_->text().toStdString(), why);
    return identity.has_value();
  });
  if (identity) message_->setText(Text("Part identity: " + *identity));
}

// Runs an edit of the program through the main window's event path; says
// why it was refused, or nothing.
void ProgramWindow::Act(const std::function<bool(std::string*)>& action) {
  std::string why;
  run_([&] {
    if (action(&why)) why.clear();
  });
  Refresh();
  if (!why.empty()) message_->setText(Text(why));
}

// The label of the first (0) or second (1) selected row, in table order.
QString ProgramWindow::SelectedLabel(int which) const {
  QList<int> rows;
  for (const QModelIndex& index : steps_->selectionModel()->selectedRows()) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  if (which >= rows.size()) return {};
  const QTableWidgetItem* item = steps_->item(rows[which], kLabel);
  return item != nullptr ? item->text() : QString();
}

// The edit is taken once the table has finished with its item (a refresh
// replaces every item); a nominal waits in its cell for its tolerance, and
// a tolerance for its nominal.
void ProgramWindow::CellEdited(int row, int column) {
  if (refreshing_ || row < 0 || row >= steps_->rowCount()) return;
  auto text = [&](int c) {
    const QTableWidgetItem* item = steps_->item(row, c);
    return item != nullptr ? item->text().trimmed().toStdString() : std::string();
  };
  const std::vector<StepRow> rows = ProgramRows(station_);
  if (static_cast<size_t>(row) >= rows.size()) return;
  const std::string label = rows[static_cast<size_t>(row)].label;
  const std::string typed = text(column), nominal = text(kNominal), deviations = text(kTolerance);
  if (column != kLabel && (nominal.empty() || deviations.empty())) return;
  QTimer::singleShot(0, this, [this, label, column, typed, nominal, deviations] {
    if (column == kLabel) {
      Act([&](std::string* why) { return RenameStep(station_, label, typed, why); });
    } else {
      Act([&](std::string* why) { return SetStepToleranceText(station_, label, nominal, deviations, why); });
    }
  });
}

void ProgramWindow::NewProgram(const QString& name) {
  Act([&](std::string* why) { return orvane::NewProgram(station_, name.toStdString(), why); });
}

void ProgramWindow::LoadProgram(const QString& name) {
  Act([&](std::string* why) { return orvane::LoadProgram(station_, name.toStdString(), why); });
}

void ProgramWindow::Run() {
  std::string said;
  run_([&] {
    std::string why;
    const std::optional<ProgramRun> run = RunProgramCommand(station_, &why);
    said = !run ? why : run->found ? "Part " + std::to_string(ProgramOf(station_).last_part) + (run->pass ? " passed." : " failed.")
                                   : "The part is not found in the picture; nothing was recorded.";
  });
  Refresh();
  message_->setText(Text(said));
}

void ProgramWindow::Refresh() {
  refreshing_ = true;
  ProgramSession& session = ProgramOf(station_);
  const QString chosen = programs_->currentText();
  programs_->clear();
  for (const std::string& name : ProgramNames(station_.folder())) programs_->addItem(Text(name));
  programs_->setCurrentText(session.program ? Text(session.program->name) : chosen);
  title_->setText(!session.program ? QStringLiteral("No program is open: New or Load.")
                                   : Text("Program " + session.program->name +
                                          (session.program->model.empty() ? " (fixtured)" : "") +
                                          (session.unsaved ? ", not saved" : "")));
  record_->setChecked(session.recording);
  auto_->setChecked(session.auto_run);
  folder_->setChecked(session.auto_folder);
  rest_->setChecked(session.auto_rest);
  required_->setChecked(session.program && session.program->identity_required);
  required_->setEnabled(session.program.has_value());
  const std::vector<StepRow> rows = ProgramRows(station_);
  steps_->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const StepRow& row = rows[r];
    const std::string cells[] = {row.label, row.kind, row.nominal, row.tolerance, row.value};
    for (int c = 0; c < 5; ++c) {
      auto* item = new QTableWidgetItem(Text(cells[c]));
      const bool editable = c == kLabel || (row.dimension && (c == kNominal || c == kTolerance));
      if (!editable) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
      if (c == kValue && row.verdict != Verdict::None) {
        item->setForeground(ColourOf(row.verdict == Verdict::Pass ? kPassColour : kFailColour));
      }
      steps_->setItem(r, c, item);
    }
  }
  if (!session.record_problem.empty()) message_->setText(Text(session.record_problem));
  refreshing_ = false;
}

} // namespace orvane::qt
