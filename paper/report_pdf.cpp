#include "paper/report_pdf.h"

#include <algorithm>

#include <QBuffer>
#include <QImage>
#include <QLocale>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include "paper/gui_application.h"

namespace orvane::paper {
namespace {

// Device units: 300 dots an inch.
constexpr int kDpi = 300;
constexpr double kMarginMm = 15.0;
// The picture takes at most this share of the first page's height.
constexpr double kPictureShare = 0.42;
const QColor kPass(0, 130, 0);
const QColor kFail(200, 0, 0);
const QColor kRule(120, 120, 120);

// Shares of the table's width: label, nominal, tolerance, value, unit, u, verdict.
constexpr double kColumns[] = {0.26, 0.13, 0.15, 0.14, 0.08, 0.12, 0.12};
const char* const kTitles[] = {"Label", "Nominal", "Tolerance", "Value", "Unit", "u", "Verdict"};

QString Text(const std::string& s) { return QString::fromStdString(s); }

QFont Font(double points, bool bold = false) {
  QFont f("DejaVu Sans");
  f.setPointSizeF(points);
  f.setBold(bold);
  return f;
}

QColor VerdictColour(Verdict v) { return v == Verdict::Pass ? kPass : v == Verdict::Fail ? kFail : kRule; }

// The page's layout: where the first page's table starts, row height, rows a
// page, and how many pages the table and the verdict need.
struct Layout {
  QRectF page;       // inside the margins
  double row = 0;    // a table row's height
  double table_top = 0; // on the first page
  size_t first_rows = 0, later_rows = 0, pages = 1;
};

Layout Plan(const InspectionReport& r, QPainter& p, const QRectF& page, double picture_height) {
  Layout l;
  l.page = page;
  p.setFont(Font(9));
  l.row = p.fontMetrics().height() * 1.35;
  const double header = l.row * 2.2 + double(r.fields.size()) * l.row;
  l.table_top = page.top() + header + (picture_height > 0 ? picture_height + l.row : 0.0);
  const double footer = l.row * 1.5;
  // Each page's table has its header row; the verdict takes two rows after
  // the last dimension.
  const auto capacity = [&](double top) {
    return static_cast<size_t>(std::max(0.0, (page.bottom() - footer - top) / l.row - 1.0));
  };
  l.first_rows = capacity(l.table_top);
  l.later_rows = std::max<size_t>(1, capacity(page.top()));
  const size_t needed = r.lines.size() + 2;
  if (needed > l.first_rows) l.pages = 1 + (needed - l.first_rows + l.later_rows - 1) / l.later_rows;
  return l;
}

double DrawHeader(QPainter& p, const InspectionReport& r, const Layout& l) {
  double y = l.page.top();
  p.setPen(Qt::black);
  p.setFont(Font(16, true));
  p.drawText(QRectF(l.page.left(), y, l.page.width() * 0.7, l.row * 2), Qt::AlignLeft | Qt::AlignVCenter,
             "Inspection report");
  // The verdict at the top right, large, in its colour.
  p.setPen(VerdictColour(r.verdict));
  p.drawText(QRectF(l.page.left(), y, l.page.width(), l.row * 2), Qt::AlignRight | Qt::AlignVCenter,
             Text(ReportVerdictWord(r.verdict)));
  y += l.row * 2.2;
  p.setPen(Qt::black);
  for (const auto& [name, text] : r.fields) {
    p.setFont(Font(9, true));
    p.drawText(QRectF(l.page.left(), y, l.page.width() * 0.22, l.row), Qt::AlignLeft | Qt::AlignVCenter,
               Text(name));
    p.setFont(Font(9));
    const QString shown = p.fontMetrics().elidedText(Text(text), Qt::ElideRight, int(l.page.width() * 0.78));
    p.drawText(QRectF(l.page.left() + l.page.width() * 0.22, y, l.page.width() * 0.78, l.row),
               Qt::AlignLeft | Qt::AlignVCenter, shown);
    y += l.row;
  }
  return y;
}

void DrawPicture(QPainter& p, const ReportPicture& pic, const QRectF& box) {
  if (pic.bgr.empty()) return;
  const QImage image(pic.bgr.data(), int(pic.width), int(pic.height), int(pic.width * 3), QImage::Format_BGR888);
  QSizeF size(pic.width, pic.height);
  size.scale(box.size(), Qt::KeepAspectRatio);
  const QRectF target(box.left() + (box.width() - size.width()) / 2, box.top(), size.width(), size.height());
  p.drawImage(target, image);
  p.setPen(kRule);
  p.drawRect(target);
}

void DrawRow(QPainter& p, const Layout& l, double y, const std::vector<QString>& cells, bool title,
             Verdict verdict) {
  p.setFont(Font(9, title));
  double x = l.page.left();
  for (size_t i = 0; i < cells.size(); ++i) {
    const double w = kColumns[i] * l.page.width();
    p.setPen(i + 1 == cells.size() && !title ? VerdictColour(verdict) : QColor(Qt::black));
    const QString shown = p.fontMetrics().elidedText(cells[i], Qt::ElideRight, int(w - l.row * 0.3));
    p.drawText(QRectF(x + l.row * 0.15, y, w - l.row * 0.3, l.row),
               (i == 0 || i == 4 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter, shown);
    x += w;
  }
  p.setPen(QPen(kRule, title ? 3 : 1));
  p.drawLine(QPointF(l.page.left(), y + l.row), QPointF(l.page.right(), y + l.row));
}

std::vector<QString> Cells(const ReportLine& line) {
  return {Text(line.label), Text(line.nominal), Text(line.tolerance), Text(line.value),
          Text(line.unit),  Text(line.uncertainty), Text(line.verdict)};
}

void DrawFooter(QPainter& p, const Layout& l, size_t page) {
  p.setPen(Qt::black);
  p.setFont(Font(8));
  p.drawText(QRectF(l.page.left(), l.page.bottom() - l.row, l.page.width(), l.row), Qt::AlignCenter,
             QString("Page %1 of %2").arg(page).arg(l.pages));
}

// The table from the first page's place on, continued page after page,
// then the verdict.
void DrawTable(QPainter& p, QPdfWriter& pdf, const InspectionReport& r, const Layout& l) {
  std::vector<QString> titles(std::begin(kTitles), std::end(kTitles));
  size_t page = 1, on_page = 0;
  double y = l.table_top;
  DrawRow(p, l, y, titles, true, Verdict::None);
  y += l.row;
  const auto next_page = [&] {
    DrawFooter(p, l, page);
    pdf.newPage();
    ++page;
    on_page = 0;
    y = l.page.top();
    DrawRow(p, l, y, titles, true, Verdict::None);
    y += l.row;
  };
  for (const ReportLine& line : r.lines) {
    if (on_page == (page == 1 ? l.first_rows : l.later_rows)) next_page();
    const Verdict v = line.verdict == "pass" ? Verdict::Pass : line.verdict == "fail" ? Verdict::Fail : Verdict::None;
    DrawRow(p, l, y, Cells(line), false, v);
    y += l.row;
    ++on_page;
  }
  if (on_page + 2 > (page == 1 ? l.first_rows : l.later_rows)) next_page();
  p.setFont(Font(12, true));
  p.setPen(VerdictColour(r.verdict));
  p.drawText(QRectF(l.page.left(), y + l.row * 0.5, l.page.width(), l.row * 1.5), Qt::AlignLeft | Qt::AlignVCenter,
             "Verdict: " + Text(ReportVerdictWord(r.verdict)));
  DrawFooter(p, l, page);
}

} // namespace

PaperSize LocalePaperSize() {
  return QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? PaperSize::Letter : PaperSize::A4;
}

QByteArray PaintPdf(PaperSize size, const char* title, const std::function<void(QPdfWriter&, QPainter&)>& paint) {
  EnsureGuiApplication();
  if (size == PaperSize::ByLocale) size = LocalePaperSize();
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter pdf(&buffer);
    pdf.setTitle(title);
    pdf.setCreator("ORVANE");
    pdf.setPageSize(QPageSize(size == PaperSize::Letter ? QPageSize::Letter : QPageSize::A4));
    pdf.setPageMargins(QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter);
    pdf.setResolution(kDpi);
    QPainter p(&pdf);
    paint(pdf, p);
  }
  buffer.close();
  return bytes;
}

QByteArray ReportPdf(const InspectionReport& report, PaperSize size) {
  return PaintPdf(size, "Inspection report", [&](QPdfWriter& pdf, QPainter& p) {
    const QRectF page(0, 0, pdf.width(), pdf.height());
    double picture = 0.0;
    if (!report.picture.bgr.empty()) {
      QSizeF s(report.picture.width, report.picture.height);
      s.scale(QSizeF(page.width(), page.height() * kPictureShare), Qt::KeepAspectRatio);
      picture = s.height();
    }
    const Layout layout = Plan(report, p, page, picture);
    const double below_header = DrawHeader(p, report, layout);
    DrawPicture(p, report.picture, QRectF(page.left(), below_header + layout.row * 0.5, page.width(), picture));
    DrawTable(p, pdf, report, layout);
  });
}

bool WriteReportPdf(const InspectionReport& report, PaperSize size, const std::filesystem::path& path,
                    std::string* why) {
  return SaveWhole(ReportPdf(report, size), path, why);
}

bool WriteLocaleReportPdf(const InspectionReport& report, const std::filesystem::path& path, std::string* why) {
  return WriteReportPdf(report, PaperSize::ByLocale, path, why);
}

} // namespace orvane::paper
