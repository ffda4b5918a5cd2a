#include "results/report.h"

#include <algorithm>
#include <cmath>

#include "results/csv.h"
#include "results/units.h"

namespace orvane {

std::vector<uint32_t> LastPartRows(const ResultsTable& table) {
  const std::vector<ResultRow>& rows = table.rows();
  std::vector<uint32_t> numbers;
  if (rows.empty()) return numbers;
  const std::string& part = rows.back().part;
  size_t first = rows.size();
  while (first > 0 && rows[first - 1].part == part) --first;
  for (size_t i = first; i < rows.size(); ++i) numbers.push_back(rows[i].number);
  return numbers;
}

std::string ReportVerdictWord(Verdict verdict) {
  switch (verdict) {
    case Verdict::Pass: return "PASS";
    case Verdict::Fail: return "FAIL";
    case Verdict::None: break;
  }
  return "NO VERDICT";
}

namespace {

// The value and its uncertainty as a reader wants them: the uncertainty to
// two significant digits and the value to the same place; without an
// uncertainty, the value to the resolution its unit is printed at.
void ReadableCells(const ResultRow& row, ReportLine* line) {
  if (!std::isfinite(row.value)) return;
  int decimals = UnitDecimals(row.unit);
  if (std::isfinite(row.uncertainty) && row.uncertainty > 0) {
    decimals = std::clamp(1 - static_cast<int>(std::floor(std::log10(row.uncertainty))), 0, 12);
    line->uncertainty = DecimalText(row.uncertainty, decimals);
  }
  line->value = DecimalText(row.value, decimals);
}

// Column places of ResultCells.
enum Cell : size_t { kLabel = 3, kValue = 5, kUnit = 6, kUncertainty = 7, kNominal = 8, kTolerance = 9, kResult = 10 };

void AddField(InspectionReport* r, const char* name, const std::string& text) {
  r->fields.emplace_back(name, text.empty() ? "-" : text);
}

} // namespace

InspectionReport BuildReport(const ResultsTable& table, const std::vector<uint32_t>& numbers,
                             const ReportContext& context) {
  InspectionReport report;
  const ResultRow* newest = nullptr;
  bool pass = false, fail = false;
  for (const ResultRow& row : table.rows()) {
    if (std::find(numbers.begin(), numbers.end(), row.number) == numbers.end()) continue;
    const std::vector<std::string> cells = ResultCells(table, row);
    ReportLine line{row.number,         cells[kLabel], cells[kNominal], cells[kTolerance],
                    cells[kValue],      cells[kUnit],  cells[kUncertainty], cells[kResult]};
    ReadableCells(row, &line);
    report.lines.push_back(std::move(line));
    const Verdict v = table.VerdictOf(row);
    pass = pass || v == Verdict::Pass;
    fail = fail || v == Verdict::Fail;
    if (newest == nullptr || row.time >= newest->time) newest = &row;
  }
  report.verdict = fail ? Verdict::Fail : pass ? Verdict::Pass : Verdict::None;
  AddField(&report, "Program", newest ? newest->solution : "");
  AddField(&report, "Part", newest ? newest->part : "");
  AddField(&report, "Date and time", newest ? ResultTime(newest->time) : "");
  AddField(&report, "Station", context.station);
  AddField(&report, "Operator", context.operator_name);
  AddField(&report, "Calibration", !context.calibration.empty() ? context.calibration
                                   : newest                     ? newest->calibration
                                                                : "");
  if (!context.rectification.empty()) AddField(&report, "Rectification", context.rectification);
  return report;
}

std::string ReportText(const InspectionReport& report) {
  std::string out = "Inspection report\n";
  for (const auto& [name, text] : report.fields) out += name + ": " + text + '\n';
  out += "Label\tNominal\tTolerance\tValue\tUnit\tu\tVerdict\n";
  for (const ReportLine& l : report.lines) {
    for (const std::string* cell : {&l.label, &l.nominal, &l.tolerance, &l.value, &l.unit, &l.uncertainty}) {
      out += *cell + '\t';
    }
    out += l.verdict + '\n';
  }
  out += "Verdict: " + ReportVerdictWord(report.verdict) + '\n';
  return out;
}

} // namespace orvane

namespace orvane {

PartYield YieldOf(const ResultsTable& table) {
  PartYield y;
  const std::vector<ResultRow>& rows = table.rows();
  for (size_t i = 0; i < rows.size();) {
    size_t end = i + 1;
    if (!rows[i].part.empty()) {
      while (end < rows.size() && rows[end].part == rows[i].part) ++end;
    }
    bool pass = false, fail = false;
    for (size_t k = i; k < end; ++k) {
      const Verdict v = table.VerdictOf(rows[k]);
      pass = pass || v == Verdict::Pass;
      fail = fail || v == Verdict::Fail;
    }
    if (fail) {
      ++y.failed;
    } else if (pass) {
      ++y.passed;
    }
    i = end;
  }
  return y;
}

ResultsTable SelectionOf(const ResultsTable& table, const std::vector<uint32_t>& numbers) {
  ResultsTable selection = table;
  if (numbers.empty()) return selection;
  std::vector<uint32_t> others;
  for (const ResultRow& r : table.rows()) {
    if (std::find(numbers.begin(), numbers.end(), r.number) == numbers.end()) others.push_back(r.number);
  }
  selection.Erase(others);
  return selection;
}

} // namespace orvane
