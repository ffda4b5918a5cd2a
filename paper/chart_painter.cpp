#include "paper/chart_painter.h"

#include <algorithm>
#include <cmath>

#include <QBuffer>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QSvgGenerator>

#include "paper/gui_application.h"
#include "results/csv.h"

namespace orvane::paper {
namespace {

const QColor kInk(30, 30, 30);
const QColor kCentre(0, 128, 0);
const QColor kLimit(200, 0, 0);
const QColor kTolerance(0, 70, 200);
const QColor kBar(150, 170, 200);
constexpr int kExportWidth = 1000;
constexpr int kExportHeight = 600;

QString Text(const std::string& s) { return QString::fromStdString(s); }

// The range [lo, hi] widened by 5 % each side (or by 1 when empty).
std::pair<double, double> Padded(double lo, double hi) {
  if (!(hi > lo)) return {lo - 1.0, hi + 1.0};
  const double pad = 0.05 * (hi - lo);
  return {lo - pad, hi + pad};
}

// The chart's frame: the plotting area inside `area` after room for the
// title and the axis numbers, and the mapping of values to it.
struct Frame {
  QRectF plot;
  double x0 = 0, x1 = 1, y0 = 0, y1 = 1;
  double X(double x) const { return plot.left() + (x - x0) / (x1 - x0) * plot.width(); }
  double Y(double y) const { return plot.bottom() - (y - y0) / (y1 - y0) * plot.height(); }
};

void SetFont(QPainter& p, const QRectF& area, double share, bool bold = false) {
  QFont font("DejaVu Sans");
  font.setPixelSize(std::max(9, int(area.height() * share)));
  font.setBold(bold);
  p.setFont(font);
}

// Title, axes with five numbered ticks on the value axis, and the frame.
Frame DrawAxes(QPainter& p, const QRectF& area, const QString& title, double x0, double x1, double v0,
               double v1, bool values_vertical) {
  Frame f;
  const double unit = area.height() / 20.0;
  SetFont(p, area, 0.045, true);
  p.setPen(kInk);
  p.drawText(QRectF(area.left(), area.top(), area.width(), 2 * unit), Qt::AlignCenter, title);
  const double left = values_vertical ? 5.0 * unit : 2.5 * unit;
  f.plot = QRectF(area.left() + left, area.top() + 2.5 * unit, area.width() - left - 1.5 * unit,
                  area.height() - 5 * unit);
  f.x0 = x0, f.x1 = x1, f.y0 = values_vertical ? v0 : 0.0, f.y1 = values_vertical ? v1 : 1.0;
  p.setPen(QPen(kInk, std::max(1.0, unit / 12)));
  p.drawRect(f.plot);
  SetFont(p, area, 0.035);
  // Tick numbers with the decimals their spacing needs, and two more.
  const int decimals = std::clamp(2 - int(std::floor(std::log10((v1 - v0) / 4.0))), 0, 9);
  for (int i = 0; i <= 4; ++i) {
    const double v = v0 + (v1 - v0) * i / 4.0;
    const QString label = QString::number(v, 'f', decimals);
    if (values_vertical) {
      const double y = f.plot.bottom() - f.plot.height() * i / 4.0;
      p.drawLine(QPointF(f.plot.left() - unit / 3, y), QPointF(f.plot.left(), y));
      p.drawText(QRectF(area.left(), y - unit / 2, left - 0.5 * unit, unit), Qt::AlignRight | Qt::AlignVCenter,
                 label);
    } else {
      const double x = f.plot.left() + f.plot.width() * i / 4.0;
      p.drawLine(QPointF(x, f.plot.bottom()), QPointF(x, f.plot.bottom() + unit / 3));
      p.drawText(QRectF(x - 2 * unit, f.plot.bottom() + unit / 2, 4 * unit, unit), Qt::AlignCenter, label);
    }
  }
  return f;
}

void HorizontalLine(QPainter& p, const Frame& f, double v, const QColor& c, Qt::PenStyle style,
                    const QString& name) {
  if (!std::isfinite(v)) return;
  p.setPen(QPen(c, std::max(1.0, f.plot.height() / 200), style));
  const double y = f.Y(v);
  p.drawLine(QPointF(f.plot.left(), y), QPointF(f.plot.right(), y));
  p.drawText(QRectF(f.plot.right() - f.plot.width() / 4, y - f.plot.height() / 14, f.plot.width() / 4 - 4,
                    f.plot.height() / 15),
             Qt::AlignRight | Qt::AlignBottom, name);
}

void VerticalLine(QPainter& p, const Frame& f, double v, const QColor& c, Qt::PenStyle style,
                  const QString& name) {
  if (!std::isfinite(v)) return;
  p.setPen(QPen(c, std::max(1.0, f.plot.height() / 200), style));
  const double x = f.X(v);
  p.drawLine(QPointF(x, f.plot.top()), QPointF(x, f.plot.bottom()));
  p.drawText(QRectF(x + 3, f.plot.top() + 2, f.plot.width() / 4, f.plot.height() / 15),
             Qt::AlignLeft | Qt::AlignTop, name);
}

void PaintIndividuals(QPainter& p, const QRectF& area, const LabelSeries& s) {
  const IndividualsChart c = IndividualsOf(s.values);
  double lo = kUnknown, hi = kUnknown;
  auto take = [&](double v) {
    if (!std::isfinite(v)) return;
    lo = std::isfinite(lo) ? std::min(lo, v) : v;
    hi = std::isfinite(hi) ? std::max(hi, v) : v;
  };
  for (double v : s.values) take(v);
  take(c.ucl);
  take(c.lcl);
  if (s.tolerance) {
    take(s.tolerance->LowerLimit());
    take(s.tolerance->UpperLimit());
  }
  if (!std::isfinite(lo)) lo = hi = 0.0;
  const auto [v0, v1] = Padded(lo, hi);
  const QString title = Text(s.label + " - individuals" + (s.unit.empty() ? "" : " (" + s.unit + ")"));
  const Frame f = DrawAxes(p, area, title, -0.5, std::max<double>(1.0, double(s.values.size())) - 0.5, v0, v1, true);
  SetFont(p, area, 0.035);
  HorizontalLine(p, f, c.centre, kCentre, Qt::SolidLine, "CL " + Text(ChartFigure(c.centre, s.values)));
  HorizontalLine(p, f, c.ucl, kLimit, Qt::DashLine, "UCL " + Text(ChartFigure(c.ucl, s.values)));
  HorizontalLine(p, f, c.lcl, kLimit, Qt::DashLine, "LCL " + Text(ChartFigure(c.lcl, s.values)));
  if (s.tolerance) {
    HorizontalLine(p, f, s.tolerance->UpperLimit(), kTolerance, Qt::DashDotLine, "USL");
    HorizontalLine(p, f, s.tolerance->LowerLimit(), kTolerance, Qt::DashDotLine, "LSL");
  }
  QPainterPath line;
  for (size_t i = 0; i < s.values.size(); ++i) {
    const QPointF at(f.X(double(i)), f.Y(s.values[i]));
    if (i == 0) line.moveTo(at); else line.lineTo(at);
  }
  const double dot = std::max(2.0, area.height() / 120);
  p.setPen(QPen(kInk, std::max(1.0, dot / 2)));
  p.drawPath(line);
  p.setBrush(kInk);
  for (size_t i = 0; i < s.values.size(); ++i) p.drawEllipse(QPointF(f.X(double(i)), f.Y(s.values[i])), dot, dot);
  p.setBrush(kLimit);
  p.setPen(QPen(kLimit, std::max(1.0, dot / 2)));
  for (size_t i : c.beyond) p.drawEllipse(QPointF(f.X(double(i)), f.Y(s.values[i])), 1.8 * dot, 1.8 * dot);
  p.setBrush(Qt::NoBrush);
}

void PaintHistogram(QPainter& p, const QRectF& area, const LabelSeries& s) {
  const Histogram h = HistogramOf(s.values);
  double lo = h.n ? h.low : 0.0, hi = h.n ? h.low + h.width * double(h.counts.size()) : 1.0;
  if (std::isfinite(h.sd) && h.sd > 0) {
    lo = std::min(lo, h.mean - 3.5 * h.sd);
    hi = std::max(hi, h.mean + 3.5 * h.sd);
  }
  if (s.tolerance) {
    lo = std::min(lo, s.tolerance->LowerLimit());
    hi = std::max(hi, s.tolerance->UpperLimit());
  }
  const auto [x0, x1] = Padded(lo, hi);
  uint32_t most = 1;
  for (uint32_t k : h.counts) most = std::max(most, k);
  const double top = std::max(double(most), h.CurveAt(h.mean)) * 1.1;
  const QString title = Text(s.label + " - histogram" + (s.unit.empty() ? "" : " (" + s.unit + ")"));
  Frame f = DrawAxes(p, area, title, x0, x1, x0, x1, false);
  f.y0 = 0.0;
  f.y1 = top;
  p.setPen(QPen(kInk, 1));
  p.setBrush(kBar);
  for (size_t i = 0; i < h.counts.size(); ++i) {
    const double left = h.low + h.width * double(i);
    p.drawRect(QRectF(QPointF(f.X(left), f.Y(h.counts[i])), QPointF(f.X(left + h.width), f.Y(0))));
  }
  p.setBrush(Qt::NoBrush);
  if (std::isfinite(h.sd) && h.sd > 0) {
    QPainterPath curve;
    for (int i = 0; i <= 200; ++i) {
      const double x = x0 + (x1 - x0) * i / 200.0;
      const QPointF at(f.X(x), f.Y(std::min(top, h.CurveAt(x))));
      if (i == 0) curve.moveTo(at); else curve.lineTo(at);
    }
    p.setPen(QPen(kCentre, std::max(1.0, area.height() / 250)));
    p.drawPath(curve);
  }
  SetFont(p, area, 0.035);
  if (s.tolerance) {
    VerticalLine(p, f, s.tolerance->LowerLimit(), kTolerance, Qt::DashDotLine, "LSL");
    VerticalLine(p, f, s.tolerance->UpperLimit(), kTolerance, Qt::DashDotLine, "USL");
  }
  p.setPen(kInk);
  const auto number = [](double v) { return std::isfinite(v) ? Text(ResultNumber(v)) : QString("-"); };
  const QString figures = "n " + QString::number(h.n) + "   mean " + number(h.mean) + "   s " + number(h.sd);
  const double unit = area.height() / 20.0;
  p.drawText(QRectF(f.plot.left(), f.plot.bottom() + 1.6 * unit, f.plot.width(), unit),
             Qt::AlignLeft | Qt::AlignVCenter, figures);
}

} // namespace

void PaintChart(QPainter& painter, const QRectF& area, const LabelSeries& series, ChartKind kind) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(area, Qt::white);
  if (kind == ChartKind::Individuals) {
    PaintIndividuals(painter, area, series);
  } else {
    PaintHistogram(painter, area, series);
  }
  painter.restore();
}

bool ExportChart(const LabelSeries& series, ChartKind kind, const std::filesystem::path& path,
                 std::string* why) {
  EnsureGuiApplication();
  std::string ending = path.extension().string();
  std::transform(ending.begin(), ending.end(), ending.begin(), [](unsigned char c) { return std::tolower(c); });
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  const QRectF area(0, 0, kExportWidth, kExportHeight);
  if (ending == ".png") {
    QImage image(kExportWidth, kExportHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
      QPainter p(&image);
      PaintChart(p, area, series, kind);
    }
    image.save(&buffer, "PNG");
  } else if (ending == ".svg") {
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(QSize(kExportWidth, kExportHeight));
    svg.setViewBox(area);
    svg.setTitle(QString::fromStdString(series.label));
    QPainter p(&svg);
    PaintChart(p, area, series, kind);
  } else if (ending == ".pdf") {
    QPdfWriter pdf(&buffer);
    pdf.setPageSize(QPageSize(QSizeF(kExportWidth, kExportHeight), QPageSize::Point));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setResolution(72);
    pdf.setTitle(QString::fromStdString(series.label));
    QPainter p(&pdf);
    PaintChart(p, area, series, kind);
  } else {
    if (why != nullptr) *why = "a chart is saved as .png, .svg or .pdf";
    return false;
  }
  buffer.close();
  return SaveWhole(bytes, path, why);
}

} // namespace orvane::paper
