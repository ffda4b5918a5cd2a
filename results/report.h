// What an inspection report of one part says: its header (program, part
// identity, date and time, station, operator, calibration and rectification),
// the picture with its overlay, the table of dimensions and the verdict.
// Plain data built from the results table; the PDF is painted elsewhere.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "results/table.h"

namespace orvane {

// What the caller knows beyond the rows: the station's name, the operator,
// the calibration and rectification in force with their figures.
struct ReportContext {
  std::string station;
  std::string operator_name;
  std::string calibration;   // empty: the rows' own calibration text
  std::string rectification; // empty: not shown
};

// The picture as shown, 3 bytes a pixel (B, G, R), rows top-down, width * 3
// bytes a row; empty: the report has no picture.
struct ReportPicture {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> bgr;
};

// One dimension as the report's table shows it; texts as the CSV writes
// numbers, empty where not known.
struct ReportLine {
  uint32_t number = 0;
  std::string label, nominal, tolerance, value, unit, uncertainty, verdict;
};

struct InspectionReport {
  std::vector<std::pair<std::string, std::string>> fields; // name, text, in order
  std::vector<ReportLine> lines;
  // Fail when any dimension fails; Pass when at least one passes and none
  // fails; None when no dimension has a tolerance.
  Verdict verdict = Verdict::None;
  ReportPicture picture;
};

// The rows of the last part: the rows at the end of the table that carry
// the last row's part identity (without identities: since one was last
// set). Empty for an empty table.
std::vector<uint32_t> LastPartRows(const ResultsTable& table);

// The report of the rows with these numbers, in table order. The header's
// date and time are those of the newest row (UTC), the program its solution.
InspectionReport BuildReport(const ResultsTable& table, const std::vector<uint32_t>& numbers,
                             const ReportContext& context);

// "PASS", "FAIL" or "NO VERDICT".
std::string ReportVerdictWord(Verdict verdict);

// The report as plain text lines (header, table, verdict), as the PDF shows
// it: what orvane-batch prints and what tests compare.
std::string ReportText(const InspectionReport& report);

} // namespace orvane

namespace orvane {

// The parts of a table for its yield: runs of consecutive rows with the same
// identity are one part (rows without identities: each row its own part). A
// part passes when a dimension passes and none fails, fails when one fails;
// parts without a verdict are not counted.
struct PartYield {
  uint32_t passed = 0;
  uint32_t failed = 0;
  double Percent() const { return passed + failed > 0 ? 100.0 * passed / (passed + failed) : kUnknown; }
};
PartYield YieldOf(const ResultsTable& table);

// The table with only the rows with these numbers (all when empty), its
// tolerances kept: what a summary of a selection is taken over.
ResultsTable SelectionOf(const ResultsTable& table, const std::vector<uint32_t>& numbers);

} // namespace orvane
