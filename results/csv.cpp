#include "results/csv.h"

#include <algorithm>
#include <charconv>
#include <ctime>

namespace orvane {

const std::vector<std::string>& ResultColumns() {
  static const std::vector<std::string> kColumns = {
      "No.",    "Time (UTC)", "Solution", "Label",  "Kind",        "Value",       "Unit",
      "Uncertainty (1 s.u.)", "Nominal", "Tolerance (+/-)", "Result", "Source", "Calibration",
      "Note"};
  return kColumns;
}

std::string ResultNumber(double v) {
  if (std::isnan(v)) return {};
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 10);
  return std::string(buffer, r.ptr);
}

std::string ResultTime(int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (gmtime_r(&t, &tm) == nullptr) return {};
  char buffer[32];
  const size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return std::string(buffer, n);
}

std::string DeviationsCell(const Tolerance& t) {
  if (t.symmetric()) return ResultNumber(t.upper);
  const auto sign = [](double v) { return std::string(std::signbit(v) ? "" : "+") + ResultNumber(v); };
  return sign(t.upper) + "/" + sign(t.lower);
}

std::vector<std::string> ResultCells(const ResultsTable& table, const ResultRow& row,
                                     std::string_view unit) {
  std::optional<UnitRatio> shown;
  if (!unit.empty()) shown = UnitRatioOf(row.unit, unit);
  const std::string_view in = shown ? unit : std::string_view(row.unit);
  const UnitRatio ratio = shown.value_or(UnitRatio{});
  const std::optional<Tolerance> t = table.ToleranceIn(row.label, in);
  const Verdict verdict = table.VerdictOf(row);
  return {std::to_string(row.number),
          ResultTime(row.time),
          row.solution,
          row.label,
          row.kind,
          ResultNumber(ratio.Apply(row.value)),
          std::string(in),
          ResultNumber(ratio.Apply(row.uncertainty)),
          t ? ResultNumber(t->nominal) : std::string(),
          t ? DeviationsCell(*t) : std::string(),
          verdict == Verdict::Pass ? "pass" : verdict == Verdict::Fail ? "fail" : "",
          row.source,
          row.calibration,
          row.note};
}

std::string CsvRecord(const std::vector<std::string>& cells) {
  std::string out;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) out += ',';
    const std::string& c = cells[i];
    if (c.find_first_of(",\"\r\n") == std::string::npos) {
      out += c;
      continue;
    }
    out += '"';
    for (char ch : c) {
      if (ch == '"') out += '"';
      out += ch;
    }
    out += '"';
  }
  out += "\r\n";
  return out;
}

std::string TableCsv(const ResultsTable& table) {
  std::string out = CsvRecord(ResultColumns());
  for (const ResultRow& r : table.rows()) out += CsvRecord(ResultCells(table, r));
  return out;
}

std::string TableTabText(const ResultsTable& table, const std::vector<uint32_t>& numbers) {
  auto line = [](std::vector<std::string> cells) {
    std::string out;
    for (size_t i = 0; i < cells.size(); ++i) {
      if (i > 0) out += '\t';
      std::replace_if(cells[i].begin(), cells[i].end(),
                      [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
      out += cells[i];
    }
    return out + '\n';
  };
  std::string out = line(ResultColumns());
  for (const ResultRow& r : table.rows()) {
    if (numbers.empty() || std::find(numbers.begin(), numbers.end(), r.number) != numbers.end()) {
      out += line(ResultCells(table, r));
    }
  }
  return out;
}

} // namespace orvane
