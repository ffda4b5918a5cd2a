#include "results/session.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>

#include <unistd.h>

#include "acquisition/camera_capture.h"
#include "acquisition/rectification.h"
#include "results/csv.h"
#include "results/table_file.h"
#include "station/workspace.h"
#include "workspace/files.h"

namespace orvane {
namespace {

int64_t WallClock() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

constexpr const char* kEditedNote = "edited";

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

// Reads the table's file into `bytes`: 0, ENOENT when nothing is there, or
// why what is there cannot be taken (not a regular file, a link to nothing,
// no permission, larger than the reader reads).
int ReadTableFile(const std::filesystem::path& path, std::vector<uint8_t>* bytes) {
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return ENOENT;
  int error = 0;
  const int64_t length = FileLength(path, &error);
  if (length < 0) return error == ENOENT ? kNotRegularFile : error;
  if (static_cast<uint64_t>(length) > kMaxResultsFileBytes) return EFBIG;
  if (length > 0 && ReadWholeFile(path, *bytes) != static_cast<uint64_t>(length)) return EIO;
  return 0;
}

void Tell(Station& st, const std::string& message) {
  st.surface().MessageBox(message, ApplicationTitle(), MessageButtons::Ok);
}

std::string Count(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// What is in the table's place is kept as it is, and never written over.
void Block(Station& st, ResultsSession& session, const std::filesystem::path& path, int error) {
  session.blocked_error = error;
  st.reported_file_failures.insert(path.string());
  st.reported_file_failures.insert(st.PathOf(kResultsDbName).string());
  Tell(st, "Unable to read " + path.string() + ": " + FileErrorText(error) +
               ". It is left as it is; the results table starts empty, and new results are "
               "kept in memory only, not saved.");
}

void SetAsideWhole(Station& st, const std::filesystem::path& path) {
  std::error_code error;
  const std::filesystem::path aside = MoveAside(path, error);
  std::string message = "The results file " + std::string(kResultsFileName) + " is damaged";
  message += aside.empty() ? " and could not be set aside; it will be replaced."
                           : " and was set aside as " + aside.filename().string() + ".";
  message += " The results table starts empty.";
  Tell(st, message);
}

// A file with damaged lines: the file as it was goes aside, its good lines
// stay and are saved again at once, so the next start finds them.
void KeepGoodLines(Station& st, ResultsSession& session, const std::filesystem::path& path,
                   size_t refused) {
  std::error_code error;
  const std::filesystem::path aside = MoveAside(path, error);
  std::string message = "The results file " + std::string(kResultsFileName) + " has " +
                        Count(refused, "damaged line", "damaged lines") + ", left out of the table";
  if (aside.empty()) {
    session.blocked_error = error.value();
    st.reported_file_failures.insert(path.string());
    message += "; the file could not be set aside (" + error.message() +
               "), so it is left as it is and results are kept in memory only, not saved.";
  } else {
    message += "; the file as it was is set aside as " + aside.filename().string() + ".";
  }
  Tell(st, message + " " + Count(session.table.rows().size(), "result is", "results are") +
               " kept.");
}

// Reads "RESULTS.TAB" into the table as the station always did; false when
// what is in its place cannot be read (blocked, memory only).
bool LoadTab(Station& st, ResultsSession& session, bool* found) {
  const std::filesystem::path path = st.PathOf(kResultsFileName);
  std::vector<uint8_t> bytes;
  const int error = ReadTableFile(path, &bytes);
  *found = error != ENOENT;
  if (error == ENOENT) return true;
  if (error != 0) return Block(st, session, path, error), false;
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::vector<std::string_view> refused;
  if (!ReadResultsText(text, &session.table, &refused)) {
    SetAsideWhole(st, path);
  } else if (!refused.empty()) {
    KeepGoodLines(st, session, path, refused.size());
  }
  return session.blocked_error == 0;
}

std::filesystem::path WithSuffix(std::filesystem::path path, const char* suffix) {
  path += suffix;
  return path;
}

void RemoveDatabase(const std::filesystem::path& path) {
  std::error_code ec;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    std::filesystem::remove(WithSuffix(path, suffix), ec);
  }
}

// Moves the old table file aside once the database holds it.
void RetireTab(Station& st) {
  std::error_code ec;
  const std::filesystem::path tab = st.PathOf(kResultsFileName);
  if (std::filesystem::is_regular_file(std::filesystem::symlink_status(tab, ec))) {
    std::filesystem::rename(tab, WithSuffix(tab, ".migrated"), ec);
  }
}

// A new database holding the table read from "RESULTS.TAB" (or nothing). It
// is built under a temporary name and put in place whole, so a kill leaves
// either no database (the migration runs again) or all of it.
void CreateDb(Station& st, ResultsSession& session, bool migrate) {
  const std::filesystem::path path = st.PathOf(kResultsDbName);
  const std::filesystem::path building = migrate ? WithSuffix(path, ".new") : path;
  if (migrate) RemoveDatabase(building);
  auto db = std::make_shared<ResultsDb>();
  bool ok = db->Open(building) == DbOpen::Ok && db->Store(session.table);
  if (ok && migrate) {
    ok = db->SetSetting("migrated-from", kResultsFileName);
    db->Close();
    std::error_code ec;
    if (ok) std::filesystem::rename(building, path, ec);
    ok = ok && !ec && db->Open(path) == DbOpen::Ok;
    if (ok) RetireTab(st);
  }
  if (!ok) {
    session.save_error = db->error() != 0 ? db->error() : EIO;
    ReportFileFailure(st, path, session.save_error, true);
    if (migrate) RemoveDatabase(building);
    return;
  }
  session.db = std::move(db);
}

// An existing database that cannot be opened for writing (a folder the
// station may not write in): its table is read and kept in memory.
void OpenReadOnly(Station& st, ResultsSession& session, const std::filesystem::path& path,
                  int error) {
  ResultsDb db;
  if (db.Open(path, true) == DbOpen::Ok) db.Load(&session.table);
  session.blocked_error = error;
  ReportFileFailure(st, path, error, true);
}

// The station's name on the results server: the host's name and the working
// folder unless set otherwise, kept in the database.
std::string DefaultStationName(const Station& st) {
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  std::error_code ec;
  return std::string(host) + ":" + std::filesystem::absolute(st.folder(), ec).string();
}

std::string StationName(Station& st, ResultsDb& db) {
  std::string name = db.Setting("station");
  if (!name.empty()) return name;
  name = DefaultStationName(st);
  db.SetSetting("station", name);
  return name;
}

// The environment's server, else the database's "server-url" setting.
std::string ServerUrl(ResultsSession& session) {
  const char* variable = std::getenv(kResultsUrlVariable);
  if (variable != nullptr) return variable;
  return session.db ? session.db->Setting("server-url") : std::string();
}

// With a results server named, every row recorded from now on also goes to it.
void StartSender(Station& st, ResultsSession& session) {
  const std::string url = ServerUrl(session);
  if (url.empty()) return;
  const std::string name = StationName(st, *session.db);
  if (!session.db->FeedOutbox()) return;
  session.sender = std::make_shared<ResultsSender>(st.PathOf(kResultsDbName), url, name);
}

void Load(Station& st, ResultsSession& session) {
  const std::filesystem::path path = st.PathOf(kResultsDbName);
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
    int error = 0;
    if (FileLength(path, &error) < 0) return Block(st, session, path, error == ENOENT ? kNotRegularFile : error);
    auto db = std::make_shared<ResultsDb>();
    const DbOpen opened = db->Open(path);
    if (opened == DbOpen::Ok && db->Load(&session.table)) {
      session.db = std::move(db);
      // A migration cut short after the database was in place, or before.
      RetireTab(st);
      RemoveDatabase(WithSuffix(path, ".new"));
      return;
    }
    if (opened == DbOpen::TooNew) {
      return Block(st, session, path, ENOTSUP);
    }
    if (opened == DbOpen::Failed && (db->error() == EACCES || db->error() == EROFS)) {
      return OpenReadOnly(st, session, path, db->error());
    }
    db.reset();
    const std::filesystem::path aside = SetDatabaseAside(path);
    if (aside.empty()) return Block(st, session, path, EIO);
    Tell(st, "The results database " + std::string(kResultsDbName) + " is damaged (" +
                 (opened == DbOpen::Ok ? std::string("its rows do not read") : FileErrorText(EIO)) +
                 ") and was set aside as " + aside.filename().string() +
                 ". A new results database is started.");
  }
  bool found = false;
  if (!LoadTab(st, session, &found)) return;
  CreateDb(st, session, found);
}

void Opened(Station& st, ResultsSession& session) {
  Load(st, session);
  if (session.db) StartSender(st, session);
}

// Makes the database hold the table; 0, or why it could not.
int WriteTable(ResultsSession& session) {
  if (session.blocked_error != 0) return session.blocked_error;
  if (!session.db) return session.save_error != 0 ? session.save_error : EIO;
  return session.db->Store(session.table) ? 0 : session.db->error();
}

// What a file ends with when its last record was cut short (by a kill, or by
// an older writer on a full disk), so that the next row starts a record of
// its own: nothing for a file that ends a record.
std::string CsvEnding(const std::filesystem::path& path) {
  std::vector<uint8_t> bytes;
  if (ReadWholeFile(path, bytes) == 0) return {};
  if (bytes.size() >= 2 && bytes[bytes.size() - 2] == '\r' && bytes.back() == '\n') return {};
  // Quotes come in pairs outside a cut-off quoted cell (doubled ones too).
  const bool quoted = std::count(bytes.begin(), bytes.end(), '"') % 2 != 0;
  if (quoted) return "\"\r\n";
  if (bytes.back() == '\n') return {};
  return bytes.back() == '\r' ? "\n" : "\r\n";
}

bool EndsWithRecord(const std::filesystem::path& path, int64_t length) {
  if (length < 2) return false;
  std::ifstream in(path, std::ios::binary);
  char end[2] = {};
  in.seekg(length - 2);
  return in.read(end, 2) && end[0] == '\r' && end[1] == '\n';
}

// Appends the waiting rows to "RESULTS.CSV" whole, or keeps them waiting.
void AppendPendingCsv(Station& st, ResultsSession& session) {
  if (session.pending_csv.empty()) return;
  const std::filesystem::path path = st.PathOf(kResultsCsvName);
  int error = 0;
  const int64_t length = FileLength(path, &error);
  if (length >= 0 || error == ENOENT) {
    std::string text = length <= 0                     ? CsvRecord(ResultColumnsWith(session.pending_csv_part))
                       : EndsWithRecord(path, length) ? std::string()
                                                      : CsvEnding(path);
    text += session.pending_csv;
    error = 0;
    if (AppendWholeToFile(path, text.data(), static_cast<uint32_t>(text.size()), &error) ==
        text.size()) {
      session.pending_csv.clear();
      session.pending_csv_rows = 0;
      return;
    }
  }
  ReportFileFailure(st, path, error, true);
}

// Records the table (or, for a result just added to a table that holds every
// other, that row alone), then the rows waiting for the CSV file.
bool Saved(Station& st, ResultsSession& session, bool last_row_only = false) {
  if (last_row_only && session.blocked_error == 0 && session.db && session.unsaved_rows == 1) {
    session.save_error = session.db->AppendLast(session.table) ? 0 : session.db->error();
  } else {
    session.save_error = WriteTable(session);
  }
  if (session.save_error == 0) {
    session.unsaved_rows = 0;
    AppendPendingCsv(st, session);
    if (session.sender) session.sender->Wake();
  } else {
    ReportFileFailure(st, st.PathOf(kResultsDbName), session.save_error, true);
  }
  if (session.changed) session.changed();
  return session.save_error == 0;
}

// An appended row is the result as it stands then: an edited one comes again
// under its number, marked in its note, and the last one of a number counts.
// It waits until "RESULTS.TAB" holds it (AppendPendingCsv).
void QueueCsvRow(ResultsSession& session, const ResultRow& row) {
  if (!session.table.append_csv) return;
  // One write a row: a row is in the file whole or not at all.
  // A row with a part identity carries it in one more cell; a file begun
  // with such a row names the column.
  std::vector<std::string> cells = ResultCells(session.table, row);
  if (!row.part.empty()) cells.push_back(row.part);
  if (session.pending_csv.empty()) session.pending_csv_part = !row.part.empty();
  session.pending_csv += CsvRecord(cells);
  ++session.pending_csv_rows;
}

} // namespace

void ClearGaugeMarks(ResultsSession& session) {
  session.snaps.clear();
  session.circles.clear();
  session.lines.clear();
  session.gauge_clicks.clear();
  session.measurement_rows = {};
  session.drag = {};
}

ResultsSession& ResultsOf(Station& st) {
  if (!st.results) {
    auto session = std::make_shared<ResultsSession>();
    session->now = st.results_clock ? st.results_clock : WallClock;
    st.results = session;
    Opened(st, *session);
    TraceOf(st); // the operator kept in the working folder
  }
  return *st.results;
}

bool SaveResults(Station& st) {
  ResultsSession& session = ResultsOf(st);
  return Saved(st, session);
}

bool ConfirmClearResults(Station& st) {
  const size_t n = ResultsOf(st).table.rows().size();
  if (n == 0) return true;
  const std::string text = "Clear all " + std::to_string(n) + (n == 1 ? " result" : " results") +
                           " from the results table? The tolerances are kept.";
  return st.surface().MessageBox(text, "Results", MessageButtons::YesNo) == MessageAnswer::Yes;
}

std::string LengthUnit(const Settings& s) {
  if (s.calibrated == 0) return "px";
  return s.units == 1 ? "cm" : "in";
}

namespace {

// False, with a message, when `rows` more results would need a number past
// the last (a stored table keeps `next` above every row, so the last number
// is never given).
bool NumbersLeft(Station& st, const ResultsSession& session, size_t rows) {
  if (std::numeric_limits<uint32_t>::max() - session.table.next_number() >= rows) return true;
  Tell(st, "The result was not recorded: the results table has used every row number. "
           "Export the table and clear it to record more.");
  return false;
}

// The time, solution, source and calibration of a new row.
void Stamp(Station& st, const ResultsSession& session, ResultRow& row) {
  row.time = session.now ? session.now() : 0;
  if (st.working) row.solution.assign(st.working->name, strnlen(st.working->name, sizeof st.working->name));
  row.source = SourceText(st);
  row.calibration = CalibrationText(st.settings);
  if (row.part.empty()) row.part = session.part_id;
  NoteRectification(st, row);
}

} // namespace

ResultRow AddResult(Station& st, ResultRow row) {
  ResultsSession& session = ResultsOf(st);
  if (!NumbersLeft(st, session, 1)) return row;
  Stamp(st, session, row);
  const ResultRow& added = session.table.Add(std::move(row));
  ++session.unsaved_rows;
  QueueCsvRow(session, added);
  Saved(st, session, true);
  return session.table.rows().back();
}

PartRecord AddPart(Station& st, PartRecord part, std::vector<ResultRow> rows,
                   std::vector<ResultRow>* stored) {
  ResultsSession& session = ResultsOf(st);
  part.id = 0;
  if (!NumbersLeft(st, session, rows.size())) return part;
  part.time = session.now ? session.now() : 0;
  std::vector<uint32_t> numbers;
  for (ResultRow& row : rows) {
    Stamp(st, session, row);
    numbers.push_back(session.table.Add(std::move(row)).number);
  }
  // Earlier results not yet stored go first, so the part's rows stay last.
  const bool ready = session.blocked_error == 0 && session.db &&
                     (session.unsaved_rows == 0 || WriteTable(session) == 0);
  if (!ready || !session.db->AddPart(session.table, part, numbers.size())) {
    const int error = ready ? session.db->error() : session.blocked_error != 0 ? session.blocked_error
                                                                               : session.save_error;
    session.table.Erase(numbers);
    Tell(st, "The part " + part.number + " was not recorded: unable to write " +
                 st.PathOf(kResultsDbName).string() + ": " + FileErrorText(error != 0 ? error : EIO) + ".");
    if (session.changed) session.changed();
    return part;
  }
  session.unsaved_rows = 0;
  session.save_error = 0;
  const size_t first = session.table.rows().size() - numbers.size();
  for (size_t i = first; i < session.table.rows().size(); ++i) {
    QueueCsvRow(session, session.table.rows()[i]);
    if (stored != nullptr) stored->push_back(session.table.rows()[i]);
  }
  AppendPendingCsv(st, session);
  if (session.sender) session.sender->Wake();
  if (session.changed) session.changed();
  return part;
}

std::string ResultsServerUrl(Station& st) { return ServerUrl(ResultsOf(st)); }

std::string ResultsServerSetting(Station& st) {
  ResultsSession& session = ResultsOf(st);
  return session.db ? session.db->Setting("server-url") : std::string();
}

std::string ResultsStationName(Station& st) {
  ResultsSession& session = ResultsOf(st);
  const std::string name = session.db ? session.db->Setting("station") : std::string();
  return name.empty() ? DefaultStationName(st) : name;
}

bool SetResultsServer(Station& st, const std::string& url, const std::string& station) {
  ResultsSession& session = ResultsOf(st);
  if (url == ResultsServerSetting(st) && (station.empty() || station == ResultsStationName(st))) return true;
  if (!session.db) {
    Tell(st, "The results server was not set: " + st.PathOf(kResultsDbName).string() +
                 " cannot be written.");
    return false;
  }
  ResultsDb& db = *session.db;
  session.sender.reset();
  // A new server, or a new name on it, has none of the station's rows yet:
  // every row goes into the outbox once, beside those already waiting.
  if (!db.SetSetting("server-url", url) || (!station.empty() && !db.SetSetting("station", station)) ||
      (!url.empty() && !db.QueueEveryRow())) {
    ReportFileFailure(st, st.PathOf(kResultsDbName), db.error() != 0 ? db.error() : EIO, true);
    return false;
  }
  if (url.empty()) {
    db.StopOutbox();
  } else {
    StartSender(st, session);
  }
  if (session.changed) session.changed();
  return true;
}

bool SyncResults(Station& st, double seconds) {
  ResultsSession& session = ResultsOf(st);
  if (session.sender && session.sender->WaitEmpty(seconds)) return true;
  return !session.db || session.db->Pending() == 0;
}

std::string ResultsServerStatus(Station& st) {
  ResultsSession& session = ResultsOf(st);
  const int64_t pending = session.db ? session.db->Pending() : 0;
  if (pending <= 0) return {};
  std::string text = Count(static_cast<size_t>(pending), "result waits", "results wait") + " for the results server";
  if (session.sender && !session.sender->LastError().empty()) text += " (" + session.sender->LastError() + ")";
  return text;
}

std::string ResultsDbStatus(Station& st) {
  ResultsSession& session = ResultsOf(st);
  const int64_t rows = session.db ? session.db->RowCount() : 0;
  const int64_t pending = session.db ? session.db->Pending() : 0;
  return st.PathOf(kResultsDbName).string() + " rows " + std::to_string(rows) + " pending " +
         std::to_string(pending);
}

void FinishResults(Station& st) {
  if (!st.results) return;
  ResultsSession& session = *st.results;
  // The disk may have room again.
  if (session.save_error != 0) {
    SaveResults(st);
  } else {
    AppendPendingCsv(st, session);
  }
  std::string message;
  if (session.save_error != 0) {
    message = "Unable to write " + st.PathOf(kResultsDbName).string() + ": " +
              FileErrorText(session.save_error) + ". ";
    message += session.unsaved_rows > 0
                   ? Count(session.unsaved_rows, "result", "results") +
                         " recorded since the last save and the other changes to the results "
                         "table are lost."
                   : "The last changes to the results table are lost.";
  }
  if (session.pending_csv_rows > 0) {
    if (!message.empty()) message += ' ';
    message += Count(session.pending_csv_rows, "result was", "results were") +
               " not appended to " + st.PathOf(kResultsCsvName).string() + ".";
  }
  if (!message.empty()) Tell(st, message);
}

bool UpdateResult(Station& st, uint32_t number, const ResultRow& fresh) {
  ResultsSession& session = ResultsOf(st);
  ResultRow* row = session.table.Find(number);
  if (row == nullptr) return false;
  row->value = fresh.value;
  row->unit = fresh.unit;
  row->uncertainty = fresh.uncertainty;
  row->note = fresh.note.empty() ? std::string(kEditedNote) : fresh.note + ", " + kEditedNote;
  row->time = session.now ? session.now() : 0;
  row->calibration = CalibrationText(st.settings);
  QueueCsvRow(session, *row);
  return true;
}

bool ExportResultsCsv(Station& st, const std::filesystem::path& path, std::string* why) {
  std::string ignored;
  std::string& reason = why != nullptr ? *why : ignored;
  if (IsStationFile(st.folder(), path)) {
    reason = path.filename().string() + " is, or leads to, one of the station's own files; "
             "export to another name";
    return false;
  }
  const std::string text = TableCsv(ResultsOf(st).table);
  int error = 0;
  if (WriteWholeFile(path, text.data(), static_cast<uint32_t>(text.size()), &error) == text.size()) {
    return true;
  }
  reason = FileErrorText(error != 0 ? error : EIO);
  return false;
}

} // namespace orvane
