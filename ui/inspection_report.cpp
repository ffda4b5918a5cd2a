#include "ui/inspection_report.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "acquisition/rectification.h"
#include "inspect/program_session.h"
#include "results/session.h"
#include "results/trace_file.h"

namespace orvane {
namespace {

// The rectification's description as one line ("on; Camera: ...; Grid:
// ..."), empty without a calibration.
std::string RectificationLine(const Station& st) {
  std::string text = DescribeRectification(st);
  if (text.rfind("Rectification: none", 0) == 0) return {};
  const std::string prefix = "Rectification: ";
  if (text.rfind(prefix, 0) == 0) text.erase(0, prefix.size());
  std::string line;
  for (char c : text) {
    if (c == '\r') continue;
    line += c == '\n' ? std::string("; ") : std::string(1, c);
  }
  while (line.size() >= 2 && line.compare(line.size() - 2, 2, "; ") == 0) line.resize(line.size() - 2);
  return line;
}

ReportPicture ShownPicture(const Station& st) {
  ReportPicture pic;
  const ImageState& im = st.image;
  if (im.display == nullptr || st.view.bits == nullptr || im.bytes_per_pixel != 3 ||
      uint64_t{im.stride} * im.height > im.size || im.stride < im.width * 3) {
    return pic;
  }
  pic.width = im.width;
  pic.height = im.height;
  pic.bgr.resize(size_t{im.width} * 3 * im.height);
  for (uint32_t y = 0; y < im.height; ++y) {
    std::memcpy(pic.bgr.data() + size_t{y} * im.width * 3, im.display + size_t{y} * im.stride, size_t{im.width} * 3);
  }
  return pic;
}

} // namespace

std::string StationName() {
  if (const char* name = std::getenv("ORVANE_STATION"); name != nullptr && *name != '\0') return name;
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) return {};
  return host;
}

namespace {

// The last program run's rows (none without a run).
std::vector<uint32_t> LastRunRows(Station& st) {
  if (!st.program || !st.program->last_run || st.program->last_part == 0) return {};
  return ProgramPartRows(ResultsOf(st).table, st.program->last_part);
}

} // namespace

InspectionReport StationReport(Station& st, std::vector<uint32_t> numbers) {
  ResultsSession& session = ResultsOf(st);
  const std::vector<uint32_t> run_rows = LastRunRows(st);
  // The last part is the last run's when the newest row is one of its rows.
  const std::vector<ResultRow>& rows = session.table.rows();
  if (numbers.empty()) {
    const bool newest_is_run = !run_rows.empty() && !rows.empty() && run_rows.back() == rows.back().number;
    numbers = newest_is_run ? run_rows : LastPartRows(session.table);
  }
  ReportContext context;
  context.station = StationName();
  context.operator_name = session.operator_name;
  context.rectification = RectificationLine(st);
  InspectionReport report = BuildReport(session.table, numbers, context);
  report.picture = ShownPicture(st);
  if (!run_rows.empty() && numbers == run_rows) {
    // The rows carry the solution they were taken in; the part was measured
    // by the program, and may have been held back for its identity.
    for (auto& [name, text] : report.fields) {
      if (name == "Program" && st.program->program) text = st.program->program->name;
    }
    MarkIdentityProblem(&report, *st.program->last_run);
  }
  return report;
}

void MarkIdentityProblem(InspectionReport* report, const ProgramRun& run) {
  if (run.identity_problem.empty()) return;
  report->fields.emplace_back("Not passed", run.identity_problem);
  report->verdict = Verdict::Fail;
}

std::vector<uint32_t> ProgramPartRows(const ResultsTable& table, uint32_t part) {
  const std::string prefix = "part " + std::to_string(part);
  std::vector<uint32_t> numbers;
  for (const ResultRow& row : table.rows()) {
    const bool ours = row.note.rfind(prefix, 0) == 0 &&
                      (row.note.size() == prefix.size() || row.note[prefix.size()] == ' ' || row.note[prefix.size()] == ',');
    if (ours) numbers.push_back(row.number);
  }
  return numbers;
}

std::optional<std::filesystem::path> FreeReportPath(const std::filesystem::path& folder, std::string_view identity,
                                                    uint32_t part) {
  std::string name = identity.empty() ? "part-" + std::to_string(part) : std::string(identity.substr(0, 64));
  for (char& c : name) {
    const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
    if (!kept) c = '_';
  }
  if (name.front() == '.') name.front() = '_'; // no hidden file, no "." or ".."
  for (int k = 1; k <= 999; ++k) {
    const std::filesystem::path path = folder / (name + (k == 1 ? "" : "-" + std::to_string(k)) + ".pdf");
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return path;
  }
  return std::nullopt;
}

namespace {

bool WriteRunReport(Station& st, uint32_t part, const std::filesystem::path& path, std::string* why) {
  ResultsSession& session = ResultsOf(st);
  const InspectionReport report = StationReport(st, ProgramPartRows(session.table, part));
  return session.report_writer(report, path, why);
}

} // namespace

void AutoReport(Station& st) {
  // Only a found part's run (which opened the results) has a report to write.
  if (!st.program || !st.program->last_run || !st.program->last_run->found || !st.results) return;
  ResultsSession& session = ResultsOf(st);
  const TraceSettings& trace = TraceOf(st);
  if (!trace.report_auto) return;
  const uint32_t part = st.program->last_part;
  std::string said;
  const std::filesystem::path folder = st.PathOf(trace.report_folder.empty() ? "." : trace.report_folder);
  std::error_code ec;
  std::optional<std::filesystem::path> path;
  if (!session.report_writer) {
    said = "report not saved: this program cannot paint reports";
  } else if (!std::filesystem::is_directory(folder, ec)) {
    said = "report not saved: the folder \"" + trace.report_folder + "\" is not there";
  } else if (!(path = FreeReportPath(folder, session.part_id, part))) {
    said = "report not saved: every name for this part is taken in the folder";
  } else if (std::string why; !WriteRunReport(st, part, *path, &why)) {
    said = "report not saved: " + why;
  } else {
    said = "report saved \"" + (std::filesystem::path(trace.report_folder) / path->filename()).string() + "\"";
  }
  session.notice = said;
  session.pending_notices.push_back(std::move(said));
}

bool SetReportAuto(Station& st, bool on, const std::vector<std::string>& folder, std::string* why) {
  const auto control = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; };
  if (!folder.empty() && (folder.front().empty() || std::any_of(folder.front().begin(), folder.front().end(), control))) {
    return *why = "a folder for reports is one line of text", false;
  }
  TraceSettings& trace = TraceOf(st);
  trace.report_auto = on;
  if (!folder.empty()) trace.report_folder = folder.front();
  return SaveTrace(st, why);
}

} // namespace orvane
