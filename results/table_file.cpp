#include "results/table_file.h"

#include <charconv>
#include <limits>

namespace orvane {
namespace {

constexpr std::string_view kMagic = "ORVANE-RESULTS\t1";
// Fields of a row without a part identity; a row with one has one more, the
// largest number of fields on any line.
constexpr size_t kRowFields = 12;
constexpr size_t kMaxFields = kRowFields + 1;

std::string Escape(std::string_view s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

bool Unescape(std::string_view s, std::string* out) {
  out->clear();
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\') {
      *out += s[i];
      continue;
    }
    if (++i == s.size()) return false;
    switch (s[i]) {
      case 't': *out += '\t'; break;
      case 'n': *out += '\n'; break;
      case 'r': *out += '\r'; break;
      case '\\': *out += '\\'; break;
      default: return false;
    }
  }
  return true;
}

// Shortest text that reads back to the same double; "nan" for NaN, "inf"
// and "-inf" for the infinities (a gauge on a tiny hole, a point at an
// absurd distance), which read back as such.
std::string Exact(double v) {
  if (std::isnan(v)) return "nan";
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
  return std::string(buffer, r.ptr);
}

bool ParseDouble(std::string_view s, double* out) {
  if (s == "nan") {
    *out = kUnknown;
    return true;
  }
  if (s == "inf" || s == "-inf") {
    *out = s[0] == '-' ? -std::numeric_limits<double>::infinity()
                       : std::numeric_limits<double>::infinity();
    return true;
  }
  const auto r = std::from_chars(s.data(), s.data() + s.size(), *out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(*out);
}

template <typename T>
bool ParseInt(std::string_view s, T* out) {
  const auto r = std::from_chars(s.data(), s.data() + s.size(), *out);
  return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size();
}

std::string Line(std::initializer_list<std::string> fields) {
  std::string out;
  for (const std::string& f : fields) {
    if (!out.empty()) out += '\t';
    out += f;
  }
  return out + '\n';
}

} // namespace

std::string WriteResultsText(const ResultsTable& t) {
  std::string out(kMagic);
  out += '\n';
  out += Line({"option", "snap", t.snap ? "1" : "0"});
  out += Line({"option", "append-csv", t.append_csv ? "1" : "0"});
  // Written only when on, so a table that never used it stays as it was.
  if (t.precise_calibration) out += Line({"option", "precise-calibration", "1"});
  out += Line({"next", std::to_string(t.next_number())});
  for (const auto& [prefix, n] : t.counters()) out += Line({"counter", Escape(prefix), std::to_string(n)});
  for (const auto& [label, tol] : t.tolerances()) {
    if (tol.symmetric() && tol.unit.empty()) {
      out += Line({"tolerance", Escape(label), Exact(tol.nominal), Exact(tol.upper)});
    } else {
      out += Line({"limits", Escape(label), Exact(tol.nominal), Exact(tol.upper), Exact(tol.lower),
                   Escape(tol.unit)});
    }
  }
  for (const ResultRow& r : t.rows()) {
    std::string line = Line({"row", std::to_string(r.number), std::to_string(r.time), Escape(r.solution),
                             Escape(r.label), Escape(r.kind), Exact(r.value), Escape(r.unit),
                             Exact(r.uncertainty), Escape(r.source), Escape(r.calibration),
                             Escape(r.note)});
    // Only a row with an identity has the field, so a table that never used
    // one is written as it always was.
    if (!r.part.empty()) line.insert(line.size() - 1, "\t" + Escape(r.part));
    out += line;
  }
  return out;
}

namespace {

// What the lines read so far hold.
struct ReadState {
  ResultsTable table;
  std::vector<ResultRow> rows;
  std::map<std::string, Tolerance> tolerances;
  std::map<std::string, uint32_t> counters;
  uint32_t next = 1;
  uint32_t last_number = 0;
};

// The fields of one line (without its line end); more than kMaxFields + 1
// are not split further, so an overlong line stays refused.
void SplitFields(std::string_view line, std::vector<std::string_view>* f) {
  f->clear();
  for (size_t start = 0;;) {
    const size_t tab = line.find('\t', start);
    f->push_back(line.substr(start, tab == std::string_view::npos ? line.npos : tab - start));
    if (tab == std::string_view::npos || f->size() > kMaxFields) break;
    start = tab + 1;
  }
}

bool ReadRow(const std::vector<std::string_view>& f, ReadState* s) {
  ResultRow r;
  // Rows are stored in the order numbered; anything else is damage. The
  // largest number is never given: `next` must stay above every row.
  if (!ParseInt(f[1], &r.number) || r.number <= s->last_number ||
      r.number == std::numeric_limits<uint32_t>::max() || !ParseInt(f[2], &r.time) ||
      !Unescape(f[3], &r.solution) || !Unescape(f[4], &r.label) || !Unescape(f[5], &r.kind) ||
      !ParseDouble(f[6], &r.value) || !Unescape(f[7], &r.unit) ||
      !ParseDouble(f[8], &r.uncertainty) || !Unescape(f[9], &r.source) ||
      !Unescape(f[10], &r.calibration) || !Unescape(f[11], &r.note) ||
      (f.size() == kMaxFields && (!Unescape(f[12], &r.part) || r.part.empty()))) {
    return false;
  }
  s->last_number = r.number;
  s->rows.push_back(std::move(r));
  return true;
}

// Takes one line into `s`; false, with `s` as it was, when the line is not
// one WriteResultsText writes.
bool ReadLine(const std::vector<std::string_view>& f, ReadState* s) {
  const std::string_view key = f[0];
  if (key == "option" && f.size() == 3 && (f[2] == "0" || f[2] == "1")) {
    if (f[1] == "snap") {
      s->table.snap = f[2] == "1";
    } else if (f[1] == "append-csv") {
      s->table.append_csv = f[2] == "1";
    } else if (f[1] == "precise-calibration") {
      s->table.precise_calibration = f[2] == "1";
    } else {
      return false;
    }
  } else if (key == "next" && f.size() == 2) {
    uint32_t next = 0;
    if (!ParseInt(f[1], &next) || next == 0) return false;
    s->next = next;
  } else if (key == "counter" && f.size() == 3) {
    std::string prefix;
    uint32_t n = 0;
    if (!Unescape(f[1], &prefix) || !ParseInt(f[2], &n)) return false;
    s->counters[prefix] = n;
  } else if (key == "tolerance" && f.size() == 4) {
    std::string label;
    Tolerance t;
    if (!Unescape(f[1], &label) || !ParseDouble(f[2], &t.nominal) ||
        !ParseDouble(f[3], &t.upper) || !std::isfinite(t.nominal) || !(t.upper >= 0.0) ||
        !std::isfinite(t.upper)) {
      return false;
    }
    t.lower = -t.upper;
    s->tolerances[label] = t;
  } else if (key == "limits" && f.size() == 6) {
    std::string label;
    Tolerance t;
    if (!Unescape(f[1], &label) || !ParseDouble(f[2], &t.nominal) || !ParseDouble(f[3], &t.upper) ||
        !ParseDouble(f[4], &t.lower) || !std::isfinite(t.nominal) || !std::isfinite(t.upper) ||
        !std::isfinite(t.lower) || !(t.lower <= t.upper) ||
        !Unescape(f[5], &t.unit)) {
      return false;
    }
    s->tolerances[label] = t;
  } else if (key == "row" && (f.size() == kRowFields || f.size() == kMaxFields)) {
    return ReadRow(f, s);
  } else {
    return false;
  }
  return true;
}

// Removes the line end, LF or CR LF (a raw CR is never inside a line: the
// writer escapes it).
std::string_view WithoutLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

} // namespace

bool ReadResultsText(std::string_view text, ResultsTable* table,
                     std::vector<std::string_view>* refused) {
  if (text.size() > kMaxResultsFileBytes) return false;
  const size_t first_end = text.find('\n');
  if (first_end == std::string_view::npos ||
      WithoutLineEnd(text.substr(0, first_end)) != kMagic) {
    return false;
  }
  text.remove_prefix(first_end + 1);
  ReadState s;
  std::vector<std::string_view> f;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    // A torn last line has no line end.
    const bool whole = end != std::string_view::npos;
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(whole ? end + 1 : text.size());
    SplitFields(WithoutLineEnd(line), &f);
    if (whole && ReadLine(f, &s)) continue;
    if (refused == nullptr) return false;
    refused->push_back(line);
  }
  if (s.last_number >= s.next) {
    if (refused == nullptr) return false;
    // A stale `next` is raised past the rows, so no number is given twice.
    s.next = s.last_number + 1;
  }
  s.table.Restore(std::move(s.rows), std::move(s.tolerances), std::move(s.counters), s.next);
  *table = std::move(s.table);
  return true;
}

} // namespace orvane
