// The summary report of a selection of results as a PDF: the yield of its
// parts, and for every label its statistics and its two charts, three labels
// a page, "Page N of M" on each.
#pragma once

#include <filesystem>
#include <string>

#include <QByteArray>

#include "paper/report_pdf.h"
#include "results/table.h"

namespace orvane::paper {

// The PDF's bytes for every row of `table` (take a selection with
// SelectionOf first); `station` is named in the header.
QByteArray SummaryPdf(const ResultsTable& table, const std::string& station, PaperSize size);

bool WriteSummaryPdf(const ResultsTable& table, const std::string& station, PaperSize size,
                     const std::filesystem::path& path, std::string* why);

} // namespace orvane::paper
