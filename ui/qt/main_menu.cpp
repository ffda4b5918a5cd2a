#include "ui/qt/main_menu.h"

#include <QAction>
#include <QActionGroup>
#include <QDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "acquisition/rectification.h"
#include "ui/extension_menu.h"
#include "ui/help.h"
#include "ui/qt/image_view_widget.h"
#include "view/measure_tools.h"

namespace orvane::qt {
namespace {

QString Latin(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The key of each tool, shown in its entry.
constexpr struct {
  MeasureTool tool;
  int key;
  const char* key_text;
} kToolKeys[] = {{MeasureTool::Measure, Qt::Key_M, "M"},
                 {MeasureTool::Diameter, Qt::Key_D, "D"},
                 {MeasureTool::Edge, Qt::Key_E, "E"},
                 {MeasureTool::Width, Qt::Key_W, "W"}};

} // namespace

MainMenu::MainMenu(QtSurface& surface, Station& station, std::function<void(std::function<void()>)> run)
    : surface_(surface), station_(station), run_(std::move(run)) {
  BuildMeasure();
  BuildCalibration();
  BuildView();
  BuildHelp();
  status_ = new QLabel(surface_.menu_bar());
  status_->setContentsMargins(8, 0, 8, 0);
  surface_.menu_bar()->setCornerWidget(status_, Qt::TopRightCorner);
  for (MenuId id : {MenuId::Measure, MenuId::Calibration, MenuId::View, MenuId::Help}) {
    QObject::connect(surface_.menu(id), &QMenu::aboutToShow, status_, [this] { Refresh(); });
  }
}

QAction* MainMenu::Add(MenuId menu, const QString& text, std::function<void()> action) {
  QAction* a = surface_.menu(menu)->addAction(text);
  QObject::connect(a, &QAction::triggered, a, [action = std::move(action)] { action(); });
  return a;
}

void MainMenu::BuildMeasure() {
  auto* group = new QActionGroup(surface_.menu(MenuId::Measure));
  for (const auto& k : kToolKeys) {
    const MeasureTool tool = k.tool;
    QAction* a = Add(MenuId::Measure, Latin(ToolTitle(tool)) + QStringLiteral("\t") + QLatin1String(k.key_text),
                     [this, tool] { run_([this, tool] { SetMeasureTool(station_, tool); }); });
    a->setCheckable(true);
    group->addAction(a);
    tools_[static_cast<uint32_t>(tool)] = a;
  }
  Add(MenuId::Measure, QStringLiteral("Next tool\tT"), [this] { run_([this] { CycleMeasureTool(station_); }); });
  surface_.menu(MenuId::Measure)->addSeparator();
  Add(MenuId::Measure, QStringLiteral("Results...\tF2"), [this] {
    if (surface_.events().results) surface_.events().results();
  });
  Add(MenuId::Measure, QStringLiteral("Inspection Program...\tF3"), [this] {
    if (surface_.events().program) surface_.events().program();
  });
}

void MainMenu::BuildCalibration() {
  Add(MenuId::Calibration, QStringLiteral("Grid Calibration..."), [this] {
    if (surface_.events().grid_calibration) surface_.events().grid_calibration();
  });
  rectification_ = Add(MenuId::Calibration, QStringLiteral("Rectification"),
                       [this] { run_([this] { ToggleRectification(station_); }); });
  rectification_->setCheckable(true);
  Add(MenuId::Calibration, QStringLiteral("Rectification figures..."), [this] {
    run_([this] { station_.surface().MessageBox(DescribeRectification(station_), ApplicationTitle(), MessageButtons::Ok); });
  });
}

void MainMenu::BuildView() {
  ImageViewWidget* view = surface_.image_view();
  const std::pair<const char*, int> keys[] = {{"Zoom in\t+", Qt::Key_Plus},
                                              {"Zoom out\t-", Qt::Key_Minus},
                                              {"Whole image\t0", Qt::Key_0},
                                              {"One image pixel per screen pixel\t1", Qt::Key_1}};
  for (const auto& [text, key] : keys) {
    Add(MenuId::View, QString::fromLatin1(text), [view, key = key] { view->ZoomKey(key); });
  }
  surface_.menu(MenuId::View)->addSeparator();
  loupe_ = Add(MenuId::View, QStringLiteral("Loupe\tL"), [view] { view->ZoomKey(Qt::Key_L); });
  loupe_->setCheckable(true);
}

void MainMenu::BuildHelp() {
  Add(MenuId::Help, QStringLiteral("Keyboard and mouse..."), [this] { ShowHelp(); });
  Add(MenuId::Help, QStringLiteral("About\tF1"), [this] {
    if (surface_.events().about) surface_.events().about();
  });
}

void MainMenu::ShowHelp() {
  if (help_ == nullptr) {
    auto* dialog = new QDialog(surface_.window());
    dialog->setWindowTitle(QStringLiteral("Keyboard and mouse"));
    help_ = new QPlainTextEdit(dialog);
    help_->setReadOnly(true);
    help_->setLineWrapMode(QPlainTextEdit::NoWrap);
    help_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    help_->setPlainText(QString::fromStdString(KeyboardAndMouseHelp()));
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(help_);
    const QFontMetrics metrics(help_->font());
    // 80 columns and every line, with room for the frame and a scroll bar.
    dialog->resize(metrics.horizontalAdvance(QString(92, QLatin1Char('M'))), metrics.height() * 38);
  }
  QWidget* dialog = help_->parentWidget();
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
}

bool MainMenu::ToolKey(int key) {
  if (key == Qt::Key_T) {
    run_([this] { CycleMeasureTool(station_); });
    return true;
  }
  for (const auto& k : kToolKeys) {
    if (k.key != key) continue;
    run_([this, tool = k.tool] { SetMeasureTool(station_, tool); });
    return true;
  }
  return false;
}

void MainMenu::Refresh() {
  const MeasureTool current = CurrentTool(station_);
  for (auto& [id, action] : tools_) action->setChecked(id == static_cast<uint32_t>(current));
  const RectificationEntry entry = RectificationMenuEntry(station_);
  rectification_->setText(QString::fromStdString(entry.text));
  rectification_->setChecked(entry.on);
  rectification_->setEnabled(entry.available);
  loupe_->setChecked(surface_.image_view()->loupe_on());
  const QString status = QString::fromStdString(ExtensionStatus(station_));
  if (status_->text() != status) status_->setText(status);
  status_->setToolTip(status);
  if (QWidget* line = surface_.widget(ControlId::ImageStatus)) {
    line->setToolTip(QString::fromStdString(ImageStatusTip(station_)));
  }
}

} // namespace orvane::qt
