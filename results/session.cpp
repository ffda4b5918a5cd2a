#include "results/session.h"

#include <charconv>
#include <chrono>
#include <cstring>
#include <memory>

#include "acquisition/camera_capture.h"
#include "acquisition/rectification.h"
#include "results/csv.h"
#include "results/table_file.h"
#include "workspace/files.h"

namespace orvane {
namespace {

int64_t WallClock() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string Significant(double v, int digits) {
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, digits);
  return std::string(buffer, r.ptr);
}

// The calibration in force: "50 px/in at 24 in", or "none".
std::string CalibrationText(const Settings& s) {
  if (s.calibrated == 0 || s.unit_factor == 0.0) return "none";
  const std::string unit = s.units == 1 ? "cm" : "in";
  return Significant(s.scale_x / s.unit_factor, 7) + " px/" + unit + " at " +
         Significant(s.calibration_distance * s.unit_factor, 7) + " " + unit;
}

std::string SourceText(const Station& st) {
  if (st.image.file_mode != 0) {
    return std::filesystem::path(st.image.still_path).filename().string();
  }
  return "camera " + std::to_string(st.camera ? st.camera->device_index : 0);
}

// With a rectification file in the folder (for this camera or not) a row says
// whether its picture was rectified (a still file never is); without one,
// rows are as they were.
void NoteRectification(const Station& st, ResultRow& row) {
  const RectificationState* r = st.camera ? &st.camera->rectification : nullptr;
  if (r == nullptr || (!r->record && r->note.empty())) return;
  const bool rectified = st.image.file_mode == 0 && r->active();
  if (!row.note.empty()) row.note += ", ";
  row.note += rectified ? "rectified" : "not rectified";
}

// Sets the damaged file aside under a name not yet taken.
std::filesystem::path SetAside(const std::filesystem::path& path) {
  std::error_code ec;
  for (int i = 0; i < 1000; ++i) {
    std::filesystem::path aside = path;
    aside += i == 0 ? ".bad" : ".bad" + std::to_string(i);
    if (std::filesystem::exists(aside, ec)) continue;
    std::filesystem::rename(path, aside, ec);
    if (!ec) return aside;
    break;
  }
  return {};
}

void Load(Station& st, ResultsSession& session) {
  const std::filesystem::path path = st.PathOf(kResultsFileName);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return;
  std::vector<uint8_t> bytes;
  const int64_t length = FileLength(path);
  bool ok = length >= 0 && static_cast<uint64_t>(length) <= kMaxResultsFileBytes;
  if (ok && length > 0) ok = ReadWholeFile(path, bytes) == static_cast<uint64_t>(length);
  if (ok) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    ok = ReadResultsText(text, &session.table);
  }
  if (ok) return;
  const std::filesystem::path aside = SetAside(path);
  std::string message = "The results file " + std::string(kResultsFileName) + " is damaged";
  message += aside.empty() ? " and could not be set aside; it will be replaced."
                           : " and was set aside as " + aside.filename().string() + ".";
  message += " The results table starts empty.";
  st.surface().MessageBox(message, ApplicationTitle(), MessageButtons::Ok);
}

} // namespace

void ClearGaugeMarks(ResultsSession& session) {
  session.snaps.clear();
  session.circles.clear();
  session.lines.clear();
  session.gauge_clicks.clear();
}

ResultsSession& ResultsOf(Station& st) {
  if (!st.results) {
    auto session = std::make_shared<ResultsSession>();
    session->now = WallClock;
    st.results = session;
    Load(st, *session);
  }
  return *st.results;
}

bool SaveResults(Station& st) {
  ResultsSession& session = ResultsOf(st);
  const std::string text = WriteResultsText(session.table);
  const bool ok = WriteWholeFile(st.PathOf(kResultsFileName), text.data(),
                                 static_cast<uint32_t>(text.size())) == text.size();
  if (session.changed) session.changed();
  return ok;
}

std::string LengthUnit(const Settings& s) {
  if (s.calibrated == 0) return "px";
  return s.units == 1 ? "cm" : "in";
}

ResultRow AddResult(Station& st, ResultRow row) {
  ResultsSession& session = ResultsOf(st);
  row.time = session.now ? session.now() : 0;
  if (st.working) row.solution.assign(st.working->name, strnlen(st.working->name, sizeof st.working->name));
  row.source = SourceText(st);
  row.calibration = CalibrationText(st.settings);
  NoteRectification(st, row);
  const ResultRow stored = session.table.Add(std::move(row));
  if (session.table.append_csv) {
    const std::filesystem::path csv = st.PathOf(kResultsCsvName);
    std::string text;
    if (FileLength(csv) <= 0) text = CsvRecord(ResultColumns());
    // One write a row: a row is in the file whole or not at all.
    text += CsvRecord(ResultCells(session.table, stored));
    AppendToFile(csv, text.data(), static_cast<uint32_t>(text.size()));
  }
  SaveResults(st);
  return stored;
}

bool ExportResultsCsv(Station& st, const std::filesystem::path& path) {
  const std::string text = TableCsv(ResultsOf(st).table);
  return WriteWholeFile(path, text.data(), static_cast<uint32_t>(text.size())) == text.size();
}

} // namespace orvane
