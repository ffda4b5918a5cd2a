#include "results/table_file.h"

#include <charconv>
#include <limits>

namespace orvane {
namespace {

constexpr std::string_view kMagic = "ORVANE-RESULTS\t1";
// Largest number of fields on any line (a row).
constexpr size_t kRowFields = 12;

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

// Shortest text that reads back to the same double; "nan" for NaN.
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
    out += Line({"tolerance", Escape(label), Exact(tol.nominal), Exact(tol.tolerance)});
  }
  for (const ResultRow& r : t.rows()) {
    out += Line({"row", std::to_string(r.number), std::to_string(r.time), Escape(r.solution),
                 Escape(r.label), Escape(r.kind), Exact(r.value), Escape(r.unit),
                 Exact(r.uncertainty), Escape(r.source), Escape(r.calibration), Escape(r.note)});
  }
  return out;
}

bool ReadResultsText(std::string_view text, ResultsTable* table) {
  if (text.size() > kMaxResultsFileBytes) return false;
  if (text.substr(0, kMagic.size() + 1) != std::string(kMagic) + '\n') return false;
  text.remove_prefix(kMagic.size() + 1);
  ResultsTable read;
  std::vector<ResultRow> rows;
  std::map<std::string, Tolerance> tolerances;
  std::map<std::string, uint32_t> counters;
  uint32_t next = 1;
  uint32_t last_number = 0;
  std::vector<std::string_view> f;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos) return false; // a torn last line
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    f.clear();
    for (size_t start = 0;;) {
      const size_t tab = line.find('\t', start);
      f.push_back(line.substr(start, tab == std::string_view::npos ? line.npos : tab - start));
      if (tab == std::string_view::npos || f.size() > kRowFields) break;
      start = tab + 1;
    }
    const std::string_view key = f[0];
    if (key == "option" && f.size() == 3 && (f[2] == "0" || f[2] == "1")) {
      if (f[1] == "snap") {
        read.snap = f[2] == "1";
      } else if (f[1] == "append-csv") {
        read.append_csv = f[2] == "1";
      } else if (f[1] == "precise-calibration") {
        read.precise_calibration = f[2] == "1";
      } else {
        return false;
      }
    } else if (key == "next" && f.size() == 2) {
      if (!ParseInt(f[1], &next) || next == 0) return false;
    } else if (key == "counter" && f.size() == 3) {
      std::string prefix;
      uint32_t n = 0;
      if (!Unescape(f[1], &prefix) || !ParseInt(f[2], &n)) return false;
      counters[prefix] = n;
    } else if (key == "tolerance" && f.size() == 4) {
      std::string label;
      Tolerance t;
      if (!Unescape(f[1], &label) || !ParseDouble(f[2], &t.nominal) ||
          !ParseDouble(f[3], &t.tolerance) || !(t.tolerance >= 0.0)) {
        return false;
      }
      tolerances[label] = t;
    } else if (key == "row" && f.size() == kRowFields) {
      ResultRow r;
      // Rows are stored in the order numbered; anything else is damage.
      if (!ParseInt(f[1], &r.number) || r.number <= last_number || !ParseInt(f[2], &r.time) ||
          !Unescape(f[3], &r.solution) || !Unescape(f[4], &r.label) || !Unescape(f[5], &r.kind) ||
          !ParseDouble(f[6], &r.value) || !Unescape(f[7], &r.unit) ||
          !ParseDouble(f[8], &r.uncertainty) || !Unescape(f[9], &r.source) ||
          !Unescape(f[10], &r.calibration) || !Unescape(f[11], &r.note)) {
        return false;
      }
      last_number = r.number;
      rows.push_back(std::move(r));
    } else {
      return false;
    }
  }
  if (last_number >= next) return false;
  read.Restore(std::move(rows), std::move(tolerances), std::move(counters), next);
  *table = std::move(read);
  return true;
}

} // namespace orvane
