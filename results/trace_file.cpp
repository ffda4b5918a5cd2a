#include "results/trace_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <vector>

#include "results/part_code.h"
#include "results/session.h"
#include "workspace/files.h"

namespace orvane {
namespace {

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The line's first word and the rest after the blanks that follow it, the
// line end's CR and trailing blanks dropped.
std::pair<std::string_view, std::string_view> Split(std::string_view line) {
  while (!line.empty() && Blank(line.back())) line.remove_suffix(1);
  size_t i = 0;
  while (i < line.size() && Blank(line[i])) ++i;
  const size_t start = i;
  while (i < line.size() && !Blank(line[i])) ++i;
  const std::string_view word = line.substr(start, i - start);
  while (i < line.size() && Blank(line[i])) ++i;
  return {word, line.substr(i)};
}

bool Printable(std::string_view text) {
  return std::none_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// One record into *s; the reason when it is not one.
std::string Record(std::string_view word, std::string_view rest, TraceSettings* s) {
  if (word == "operator") {
    if (!Printable(rest) || rest.size() > kMaxPartIdentityBytes) return "an operator is one line of text";
    s->operator_name = std::string(rest);
  } else if (word == "report-folder") {
    if (!Printable(rest) || rest.empty()) return "a report folder is one line of text";
    s->report_folder = std::string(rest);
  } else if (word == "report-auto") {
    if (rest != "on" && rest != "off") return "report-auto on|off";
    s->report_auto = rest == "on";
  } else if (word == "counter") {
    const auto [prefix, number] = Split(rest);
    uint32_t n = 0;
    const auto r = std::from_chars(number.data(), number.data() + number.size(), n);
    if (!IsCounterPrefix(prefix) || number.empty() || r.ec != std::errc() || r.ptr != number.data() + number.size() ||
        n > kMaxRunningNumber) {
      return "counter PREFIX N, N a whole number up to 99999999";
    }
    if (!s->counters.emplace(std::string(prefix), n).second) return "counter " + std::string(prefix) + " twice";
  } else {
    return "unknown record \"" + std::string(word) + "\"";
  }
  return {};
}

void Say(Station& st, std::string text) {
  ResultsSession& session = ResultsOf(st);
  session.notice = text;
  session.pending_notices.push_back(std::move(text));
}

} // namespace

std::optional<TraceSettings> ParseTraceSettings(std::string_view text, std::string* error) {
  if (text.size() > kMaxTraceFileBytes) return *error = "the file is too large", std::nullopt;
  TraceSettings s;
  bool started = false;
  uint32_t number = 0;
  for (size_t pos = 0; pos < text.size();) {
    const size_t eol = std::min(text.find('\n', pos), text.size());
    const auto [word, rest] = Split(text.substr(pos, eol - pos));
    pos = eol + 1;
    ++number;
    if (word.empty() || word.front() == '#') continue;
    std::string why;
    if (!started) {
      if (word != "orvane-trace" || rest != "1") why = "not a traceability file of a known version";
      started = true;
    } else {
      why = Record(word, rest, &s);
    }
    if (!why.empty()) return *error = "line " + std::to_string(number) + ": " + why, std::nullopt;
  }
  if (!started) return *error = "line 1: not a traceability file", std::nullopt;
  return s;
}

std::string TraceSettingsText(const TraceSettings& s) {
  std::string out = "# ORVANE traceability settings (see orvane-batch(1))\norvane-trace 1\n";
  if (!s.operator_name.empty()) out += "operator " + s.operator_name + "\n";
  for (const auto& [prefix, n] : s.counters) out += "counter " + prefix + " " + std::to_string(n) + "\n";
  if (!s.report_folder.empty()) out += "report-folder " + s.report_folder + "\n";
  if (s.report_auto) out += "report-auto on\n";
  return out;
}

bool IsCounterPrefix(std::string_view p) {
  return !p.empty() && p.size() <= 32 && std::all_of(p.begin(), p.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.' || c == '/';
  });
}

std::string RunningIdentity(std::string_view prefix, uint32_t number) {
  std::string digits = std::to_string(number);
  if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
  return std::string(prefix) + digits;
}

TraceSettings& TraceOf(Station& st) {
  ResultsSession& session = ResultsOf(st);
  if (session.trace) return *session.trace;
  session.trace.emplace();
  const std::filesystem::path path = st.PathOf(kTraceFileName);
  int why = 0;
  const int64_t length = FileLength(path, &why);
  if (length < 0 && why == ENOENT) return *session.trace;
  std::vector<uint8_t> bytes;
  std::string error;
  if (length < 0 || length > int64_t(kMaxTraceFileBytes)) {
    error = length < 0 ? FileErrorText(why) : "it is too large";
  } else if (length > 0 && ReadWholeFile(path, bytes) != uint64_t(length)) {
    error = "it could not be read whole";
  }
  std::optional<TraceSettings> read;
  if (error.empty()) read = ParseTraceSettings({reinterpret_cast<const char*>(bytes.data()), bytes.size()}, &error);
  if (!read) {
    session.trace_blocked = true;
    Say(st, std::string(kTraceFileName) + " was not read (" + error + "); it is left as it is and not written");
    return *session.trace;
  }
  *session.trace = std::move(*read);
  if (session.operator_name.empty()) session.operator_name = session.trace->operator_name;
  return *session.trace;
}

bool SaveTrace(Station& st, std::string* why) {
  TraceSettings& trace = TraceOf(st);
  ResultsSession& session = ResultsOf(st);
  if (session.trace_blocked) return *why = std::string(kTraceFileName) + " is damaged and is not written over", false;
  trace.operator_name = session.operator_name;
  const std::string text = TraceSettingsText(trace);
  int error = 0;
  if (WriteWholeFile(st.PathOf(kTraceFileName), text.data(), uint32_t(text.size()), &error) != text.size()) {
    return *why = "unable to write " + std::string(kTraceFileName) + ": " + FileErrorText(error != 0 ? error : EIO), false;
  }
  return true;
}

std::optional<std::string> NextRunningIdentity(Station& st, std::string_view prefix, std::string* why) {
  if (!IsCounterPrefix(prefix)) {
    return *why = "\"" + std::string(prefix) + "\" is not a prefix: 1 to 32 letters, digits, - _ . and /", std::nullopt;
  }
  TraceSettings& trace = TraceOf(st);
  const auto it = trace.counters.find(prefix);
  const uint32_t last = it == trace.counters.end() ? 0 : it->second;
  if (last >= kMaxRunningNumber) return *why = "the numbers of " + std::string(prefix) + " are all given", std::nullopt;
  trace.counters[std::string(prefix)] = last + 1;
  if (!SaveTrace(st, why)) {
    // Not kept: not given, so it is given after the fault is mended.
    trace.counters[std::string(prefix)] = last;
    if (it == trace.counters.end() && last == 0) trace.counters.erase(std::string(prefix));
    return std::nullopt;
  }
  const std::string identity = RunningIdentity(prefix, last + 1);
  ResultsOf(st).part_id = identity;
  return identity;
}

std::optional<TraceSettings> ReadTraceFile(const std::filesystem::path& folder) {
  std::vector<uint8_t> bytes;
  std::string error;
  if (ReadWholeFile(PathIn(folder, kTraceFileName), bytes) == 0 || bytes.size() > kMaxTraceFileBytes) return {};
  return ParseTraceSettings({reinterpret_cast<const char*>(bytes.data()), bytes.size()}, &error);
}

std::string KeptOperator(Station& st) {
  if (st.results) return st.results->operator_name;
  const std::optional<TraceSettings> read = ReadTraceFile(st.folder());
  return read ? read->operator_name : std::string();
}

bool SetOperator(Station& st, std::string_view name, std::string* why) {
  ResultsSession& session = ResultsOf(st);
  TraceOf(st);
  // Named on this session's reports even when the file cannot keep it.
  session.operator_name = PartIdentityText(name);
  return SaveTrace(st, why);
}

} // namespace orvane
