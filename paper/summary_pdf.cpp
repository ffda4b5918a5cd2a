#include "paper/summary_pdf.h"

#include <QPainter>
#include <QPdfWriter>

#include "paper/chart_painter.h"
#include "paper/gui_application.h"
#include "results/charts.h"
#include "results/csv.h"
#include "results/report.h"
#include "results/statistics_text.h"

namespace orvane::paper {
namespace {

constexpr size_t kLabelsPerPage = 3;

QString Text(const std::string& s) { return QString::fromStdString(s); }

void SetFont(QPainter& p, double points, bool bold = false) {
  QFont f("DejaVu Sans");
  f.setPointSizeF(points);
  f.setBold(bold);
  p.setFont(f);
}

// Title, station, rows, span of time and the yield of the parts.
double DrawHeader(QPainter& p, const QRectF& page, const ResultsTable& table, const std::string& station) {
  const double line = p.fontMetrics().height() * 1.4;
  SetFont(p, 16, true);
  p.drawText(QRectF(page.left(), page.top(), page.width(), line * 1.6), Qt::AlignLeft | Qt::AlignVCenter,
             "Summary report");
  SetFont(p, 9);
  double y = page.top() + line * 1.8;
  const PartYield yield = YieldOf(table);
  const std::vector<ResultRow>& rows = table.rows();
  const std::string span = rows.empty() ? "-" : ResultTime(rows.front().time) + " to " + ResultTime(rows.back().time);
  const std::string yield_text =
      std::to_string(yield.passed) + " of " + std::to_string(yield.passed + yield.failed) + " parts passed" +
      (yield.passed + yield.failed > 0 ? " (" + ResultNumber(std::round(yield.Percent() * 10) / 10) + " %)" : "");
  for (const auto& [name, text] : {std::pair<std::string, std::string>{"Station", station.empty() ? "-" : station},
                                   {"Results", std::to_string(rows.size()) + ", " + span},
                                   {"Yield", yield_text}}) {
    p.drawText(QRectF(page.left(), y, page.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
               Text(name + ": " + text));
    y += line;
  }
  return y + line * 0.5;
}

// One label: its statistics as a line, its two charts side by side.
void DrawLabel(QPainter& p, const QRectF& box, const ResultsTable& table, const std::string& label) {
  const double line = box.height() / 12;
  SetFont(p, 10, true);
  p.setPen(Qt::black);
  p.drawText(QRectF(box.left(), box.top(), box.width(), line), Qt::AlignLeft | Qt::AlignVCenter, Text(label));
  SetFont(p, 8);
  p.drawText(QRectF(box.left(), box.top() + line, box.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
             Text(StatisticsWords(table, label)));
  const LabelSeries series = SeriesOf(table, label);
  const double top = box.top() + 2.2 * line, height = box.bottom() - top, half = box.width() / 2;
  PaintChart(p, QRectF(box.left(), top, half - line * 0.3, height), series, ChartKind::Individuals);
  PaintChart(p, QRectF(box.left() + half + line * 0.3, top, half - line * 0.3, height), series, ChartKind::Histogram);
}

} // namespace

QByteArray SummaryPdf(const ResultsTable& table, const std::string& station, PaperSize size) {
  return PaintPdf(size, "Summary report", [&](QPdfWriter& pdf, QPainter& p) {
    SetFont(p, 9);
    const QRectF page(0, 0, pdf.width(), pdf.height());
    const double footer = p.fontMetrics().height() * 2;
    const std::vector<LabelStatistics> labels = table.Statistics();
    const size_t pages = std::max<size_t>(1, (labels.size() + kLabelsPerPage - 1) / kLabelsPerPage);
    double top = DrawHeader(p, page, table, station);
    for (size_t page_number = 1, i = 0; page_number <= pages; ++page_number) {
      const double slot = (page.bottom() - footer - top) / kLabelsPerPage;
      for (size_t k = 0; k < kLabelsPerPage && i < labels.size(); ++k, ++i) {
        DrawLabel(p, QRectF(page.left(), top + slot * k, page.width(), slot * 0.94), table, labels[i].label);
      }
      SetFont(p, 8);
      p.setPen(Qt::black);
      p.drawText(QRectF(page.left(), page.bottom() - footer / 2, page.width(), footer / 2), Qt::AlignCenter,
                 QString("Page %1 of %2").arg(page_number).arg(pages));
      if (page_number < pages) {
        pdf.newPage();
        top = page.top();
      }
    }
  });
}

bool WriteSummaryPdf(const ResultsTable& table, const std::string& station, PaperSize size,
                     const std::filesystem::path& path, std::string* why) {
  return SaveWhole(SummaryPdf(table, station, size), path, why);
}

} // namespace orvane::paper
