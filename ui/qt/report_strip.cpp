#include "ui/qt/report_strip.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "paper/report_pdf.h"
#include "paper/summary_pdf.h"
#include "results/session.h"
#include "results/trace_file.h"
#include "ui/inspection_report.h"
#include "view/part_identity.h"

namespace orvane::qt {

ReportStrip::ReportStrip(Station& station, std::function<std::vector<uint32_t>()> selected, QWidget* parent)
    : QWidget(parent),
      station_(station),
      selected_(std::move(selected)),
      part_(new QLineEdit(this)),
      operator_(new QLineEdit(this)),
      read_(new QPushButton(QStringLiteral("Read code"), this)),
      report_(new QPushButton(QStringLiteral("Report PDF..."), this)),
      summary_(new QPushButton(QStringLiteral("Summary PDF..."), this)),
      auto_(new QCheckBox(QStringLiteral("Report after each run"), this)),
      folder_(new QPushButton(QStringLiteral("Folder..."), this)),
      line_(new QLabel(this)) {
  part_->setPlaceholderText(QStringLiteral("none"));
  operator_->setPlaceholderText(QStringLiteral("not named"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(new QLabel(QStringLiteral("Part:"), this));
  layout->addWidget(part_, 1);
  layout->addWidget(read_);
  layout->addWidget(new QLabel(QStringLiteral("Operator:"), this));
  layout->addWidget(operator_, 1);
  layout->addWidget(report_);
  layout->addWidget(summary_);
  layout->addWidget(auto_);
  layout->addWidget(folder_);
  layout->addWidget(line_, 1);
  QObject::connect(part_, &QLineEdit::editingFinished, this, [this] {
    SetPartIdentity(station_, part_->text().toStdString());
    Refresh();
  });
  QObject::connect(operator_, &QLineEdit::editingFinished, this, [this] {
    if (std::string why; !SetOperator(station_, operator_->text().toStdString(), &why)) {
      line_->setText("Operator not kept: " + QString::fromStdString(why));
    }
  });
  QObject::connect(auto_, &QCheckBox::toggled, this, [this](bool on) {
    if (on == TraceOf(station_).report_auto) return;
    if (std::string why; !SetReportAuto(station_, on, {}, &why)) line_->setText(QString::fromStdString(why));
    Refresh();
  });
  QObject::connect(folder_, &QPushButton::clicked, this, [this] {
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Folder for reports"));
    if (!folder.isEmpty()) ChooseReportFolder(folder);
  });
  QObject::connect(read_, &QPushButton::clicked, this, [this] { ReadCode(); });
  QObject::connect(report_, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Inspection report"),
                                                      QStringLiteral("report.pdf"), QStringLiteral("PDF (*.pdf)"));
    if (!path.isEmpty()) WriteReport(path);
  });
  QObject::connect(summary_, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Summary report"),
                                                      QStringLiteral("summary.pdf"), QStringLiteral("PDF (*.pdf)"));
    if (!path.isEmpty()) WriteSummary(path);
  });
  Refresh();
}

void ReportStrip::Refresh() {
  const ResultsSession& session = ResultsOf(station_);
  if (!part_->hasFocus()) part_->setText(QString::fromStdString(session.part_id));
  if (!operator_->hasFocus()) operator_->setText(QString::fromStdString(session.operator_name));
  const TraceSettings& trace = TraceOf(station_);
  auto_->setChecked(trace.report_auto);
  const QString folder = QString::fromStdString(trace.report_folder.empty() ? "the working folder" : trace.report_folder);
  auto_->setToolTip("Each program run writes its part's report into " + folder);
  folder_->setToolTip(folder);
}

void ReportStrip::ChooseReportFolder(const QString& folder) {
  std::string why;
  if (!SetReportAuto(station_, true, {folder.toStdString()}, &why)) line_->setText(QString::fromStdString(why));
  Refresh();
}

bool ReportStrip::WriteSummary(const QString& path) {
  const ResultsTable selection = SelectionOf(ResultsOf(station_).table, selected_());
  std::string why;
  if (!paper::WriteSummaryPdf(selection, StationName(), paper::PaperSize::ByLocale, path.toStdString(), &why)) {
    line_->setText("Summary not written: " + QString::fromStdString(why));
    return false;
  }
  line_->setText(QString("Summary written: %1 labels").arg(selection.Statistics().size()));
  return true;
}

void ReportStrip::ReadCode() {
  const std::optional<PartCode> code = ReadPartIdentity(station_);
  line_->setText(code ? QString("%1 read").arg(QString::fromStdString(code->format))
                      : QStringLiteral("No code could be read: the part has no identity."));
  Refresh();
}

bool ReportStrip::WriteReport(const QString& path) {
  const InspectionReport report = StationReport(station_, selected_());
  std::string why;
  if (!paper::WriteReportPdf(report, paper::PaperSize::ByLocale, path.toStdString(), &why)) {
    line_->setText("Report not written: " + QString::fromStdString(why));
    return false;
  }
  line_->setText(QString("Report written: %1 dimensions, %2").arg(report.lines.size())
                     .arg(QString::fromStdString(ReportVerdictWord(report.verdict))));
  return true;
}

} // namespace orvane::qt
