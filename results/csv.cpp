#include "results/csv.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <string_view>
#include <utility>

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

namespace {

// The length of the longest start of `s` that begins a well-formed UTF-8
// sequence (whole when it equals the sequence's length), and that length;
// {0, 1} for a byte that starts none.
std::pair<size_t, size_t> Utf8Sequence(std::string_view s) {
  const auto b = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
  const uint8_t lead = b(0);
  if (lead < 0x80) return {1, 1};
  size_t length = 0;
  uint8_t low = 0x80, high = 0xBF; // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;  // no overlong forms
    if (lead == 0xED) high = 0x9F; // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F; // nothing past U+10FFFF
  } else {
    return {0, 1};
  }
  size_t good = 1;
  while (good < length && good < s.size()) {
    const uint8_t c = b(good);
    if (good == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF)) break;
    ++good;
  }
  return {good, length};
}

// The text with every ill-formed UTF-8 sequence (each maximal part of one)
// and every NUL replaced by U+FFFD, as readers of the file expect UTF-8 text.
std::string WellFormed(std::string_view s) {
  static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(s.size());
  while (!s.empty()) {
    const auto [good, length] = Utf8Sequence(s);
    if (good == length && s[0] != '\0') {
      out.append(s.substr(0, good));
    } else {
      out.append(kReplacement);
    }
    s.remove_prefix(std::max<size_t>(good, 1));
  }
  return out;
}

bool IsPlainNumber(std::string_view s) {
  double v = 0.0;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// A spreadsheet reads a cell that starts with one of these as a formula; a
// leading quote makes it text. Numbers (negative ones too) stay numbers.
std::string Inert(std::string cell) {
  if (!cell.empty() && std::string_view("=+-@\t\r").find(cell[0]) != std::string_view::npos &&
      !IsPlainNumber(cell)) {
    cell.insert(cell.begin(), '\'');
  }
  return cell;
}

} // namespace

std::string CsvRecord(const std::vector<std::string>& cells) {
  std::string out;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) out += ',';
    const std::string c = Inert(WellFormed(cells[i]));
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

bool UsesPartIdentity(const ResultsTable& table) {
  return std::any_of(table.rows().begin(), table.rows().end(),
                     [](const ResultRow& r) { return !r.part.empty(); });
}

std::vector<std::string> ResultColumnsWith(bool parts) {
  std::vector<std::string> columns = ResultColumns();
  if (parts) columns.push_back(kPartColumn);
  return columns;
}

namespace {

std::vector<std::string> CellsWith(bool parts, const ResultsTable& table, const ResultRow& row) {
  std::vector<std::string> cells = ResultCells(table, row);
  if (parts) cells.push_back(row.part);
  return cells;
}

} // namespace

std::string TableCsv(const ResultsTable& table) {
  const bool parts = UsesPartIdentity(table);
  std::string out = CsvRecord(ResultColumnsWith(parts));
  for (const ResultRow& r : table.rows()) out += CsvRecord(CellsWith(parts, table, r));
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
  const bool parts = UsesPartIdentity(table);
  std::string out = line(ResultColumnsWith(parts));
  for (const ResultRow& r : table.rows()) {
    if (numbers.empty() || std::find(numbers.begin(), numbers.end(), r.number) != numbers.end()) {
      out += line(CellsWith(parts, table, r));
    }
  }
  return out;
}

} // namespace orvane
