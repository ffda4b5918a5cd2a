// The inspection report as a PDF of A4 or Letter pages: header, picture with
// its overlay, the table of dimensions continued over as many pages as it
// needs (its header row on each), the verdict, and "Page N of M" on each.
#pragma once

#include <filesystem>
#include <string>

#include <QByteArray>

#include "results/report.h"

namespace orvane::paper {

enum class PaperSize : uint32_t { ByLocale = 0, A4 = 1, Letter = 2 };

// Letter where the system's locale measures in US units, A4 elsewhere.
PaperSize LocalePaperSize();

// The PDF's bytes.
QByteArray ReportPdf(const InspectionReport& report, PaperSize size);

// Writes ReportPdf to `path` whole or not at all; false with the reason.
bool WriteReportPdf(const InspectionReport& report, PaperSize size, const std::filesystem::path& path,
                    std::string* why);

} // namespace orvane::paper
