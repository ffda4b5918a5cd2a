// The inspection report as a PDF of A4 or Letter pages: header, picture with
// its overlay, the table of dimensions continued over as many pages as it
// needs (its header row on each), the verdict, and "Page N of M" on each.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include <QByteArray>

#include "results/report.h"

class QPainter;
class QPdfWriter;

namespace orvane::paper {

enum class PaperSize : uint32_t { ByLocale = 0, A4 = 1, Letter = 2 };

// Letter where the system's locale measures in US units, A4 elsewhere.
PaperSize LocalePaperSize();

// A PDF of A4 or Letter pages with 15 mm margins at 300 dots an inch,
// painted by `paint` (which starts new pages on the writer).
QByteArray PaintPdf(PaperSize size, const char* title, const std::function<void(QPdfWriter&, QPainter&)>& paint);

// The PDF's bytes.
QByteArray ReportPdf(const InspectionReport& report, PaperSize size);

// Writes ReportPdf to `path` whole or not at all; false with the reason.
bool WriteReportPdf(const InspectionReport& report, PaperSize size, const std::filesystem::path& path,
                    std::string* why);
// The same on the locale's paper: the station's writer of automatic reports.
bool WriteLocaleReportPdf(const InspectionReport& report, const std::filesystem::path& path, std::string* why);

} // namespace orvane::paper
