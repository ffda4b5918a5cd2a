#include "results/db_sqlite.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <cmath>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>

#include "results/db_rows.h"
#include "workspace/files.h"

namespace orvane {
namespace {

using sqlite_rows::BindRow;
using sqlite_rows::kRowColumns;
using sqlite_rows::ReadRow;
using sqlite_rows::Statement;

// Version 1 of the schema. Numbers that are not known (NaN) are NULL; a
// row's value and uncertainty are declared without a type, so that they are
// kept as stored (a REAL column would turn -0 into 0).
constexpr const char* kSchema = R"SQL(
CREATE TABLE IF NOT EXISTS schema_version(version INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS settings(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS counters(prefix TEXT PRIMARY KEY, n INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS tolerances(
  label TEXT PRIMARY KEY, nominal REAL NOT NULL, upper REAL NOT NULL, lower REAL NOT NULL,
  unit TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS parts(
  id INTEGER PRIMARY KEY AUTOINCREMENT, number TEXT NOT NULL, program TEXT NOT NULL,
  verdict TEXT NOT NULL, identity TEXT NOT NULL, taken_at INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS results(
  id INTEGER PRIMARY KEY AUTOINCREMENT, number INTEGER NOT NULL, taken_at INTEGER NOT NULL,
  solution TEXT NOT NULL, label TEXT NOT NULL, kind TEXT NOT NULL, value, unit TEXT NOT NULL,
  u, source TEXT NOT NULL, calibration TEXT NOT NULL, note TEXT NOT NULL,
  part INTEGER REFERENCES parts(id), identity TEXT NOT NULL DEFAULT '');
CREATE INDEX IF NOT EXISTS results_number ON results(number);
CREATE INDEX IF NOT EXISTS results_label ON results(label);
CREATE TABLE IF NOT EXISTS outbox(
  seq INTEGER PRIMARY KEY AUTOINCREMENT, row_id INTEGER NOT NULL, number INTEGER NOT NULL,
  taken_at INTEGER NOT NULL, solution TEXT NOT NULL, label TEXT NOT NULL, kind TEXT NOT NULL,
  value, unit TEXT NOT NULL, u, source TEXT NOT NULL, calibration TEXT NOT NULL,
  note TEXT NOT NULL, part INTEGER, identity TEXT NOT NULL DEFAULT '');
CREATE VIEW IF NOT EXISTS measurements AS
SELECT (SELECT value FROM settings WHERE key = 'station') AS station,
       p.number AS part, p.program AS program, r.label AS label, r.kind AS kind,
       r.value AS value, r.u AS u, r.unit AS unit, t.nominal AS nominal,
       CASE WHEN t.label IS NULL THEN NULL
            WHEN t.lower = -t.upper THEN printf('%.15g', t.upper)
            ELSE printf('%+.15g/%+.15g', t.upper, t.lower) END AS tolerance,
       CASE WHEN t.label IS NULL OR r.value IS NULL OR (t.unit <> '' AND t.unit <> r.unit) THEN NULL
            WHEN r.value BETWEEN t.nominal + t.lower AND t.nominal + t.upper THEN 'pass'
            ELSE 'fail' END AS verdict,
       strftime('%Y-%m-%dT%H:%M:%SZ', r.taken_at, 'unixepoch') AS taken_at,
       r.source AS source, r.calibration AS calibration, r.number AS number, r.id AS row_id,
       COALESCE(NULLIF(r.identity, ''), p.identity) AS identity
FROM results r LEFT JOIN parts p ON p.id = r.part LEFT JOIN tolerances t ON t.label = r.label;
)SQL";

// Two numbers that store alike (NaN as NULL).
bool SameNumber(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

bool SameRow(const ResultRow& a, const ResultRow& b) {
  return a.number == b.number && a.time == b.time && a.solution == b.solution &&
         a.label == b.label && a.kind == b.kind && SameNumber(a.value, b.value) &&
         a.unit == b.unit && SameNumber(a.uncertainty, b.uncertainty) && a.source == b.source &&
         a.calibration == b.calibration && a.note == b.note && a.part_id == b.part_id &&
         a.part == b.part;
}

} // namespace

ResultsDb::ResultsDb() = default;
ResultsDb::~ResultsDb() { Close(); }

sqlite3_stmt* ResultsDb::Cached(const char* sql) {
  sqlite3_stmt*& s = cached_[sql];
  if (s == nullptr && sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) != SQLITE_OK) {
    sqlite3_finalize(s);
    s = nullptr;
  }
  return s;
}

void ResultsDb::Close() {
  sqlite3_finalize(insert_);
  insert_ = nullptr;
  for (auto& [sql, s] : cached_) sqlite3_finalize(s);
  cached_.clear();
  if (db_ != nullptr) sqlite3_close_v2(db_);
  db_ = nullptr;
}

namespace {

// The errno of the last failed write of the database or its journal: SQLite
// keeps it with each file, and says only "disk I/O error" for a write
// refused by a file-size limit (EFBIG).
int FileErrno(sqlite3* db) {
  int error = 0;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_LAST_ERRNO, &error) == SQLITE_OK && error != 0) {
    return error;
  }
  sqlite3_file* journal = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_JOURNAL_POINTER, &journal) == SQLITE_OK &&
      journal != nullptr && journal->pMethods != nullptr &&
      journal->pMethods->xFileControl(journal, SQLITE_FCNTL_LAST_ERRNO, &error) == SQLITE_OK) {
    return error;
  }
  return 0;
}

} // namespace

bool ResultsDb::Fail() {
  const int code = db_ != nullptr ? sqlite3_errcode(db_) : SQLITE_CANTOPEN;
  int system = db_ != nullptr ? sqlite3_system_errno(db_) : 0;
  if (system == 0 && code == SQLITE_IOERR) system = FileErrno(db_);
  if (system != 0) {
    error_ = system;
  } else if (code == SQLITE_FULL) {
    error_ = ENOSPC;
  } else if (code == SQLITE_READONLY || code == SQLITE_PERM) {
    error_ = EACCES;
  } else {
    error_ = EIO;
  }
  error_text_ = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
  return false;
}

bool ResultsDb::Exec(const char* sql) {
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK || Fail();
}

bool ResultsDb::Commit() {
  if (Exec("COMMIT")) return true;
  Rollback();
  return false;
}

void ResultsDb::Rollback() {
  if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool ResultsDb::Schema() {
  if (!Exec("BEGIN IMMEDIATE") || !Exec(kSchema)) {
    Rollback();
    return false;
  }
  Statement count(db_, "SELECT count(*) FROM schema_version");
  if (!count.ok() || count.Step() != SQLITE_ROW) {
    Rollback();
    return Fail();
  }
  if (count.ColumnInt(0) == 0) {
    const std::string set = "INSERT INTO schema_version VALUES(" + std::to_string(kResultsSchemaVersion) +
                            "); PRAGMA user_version = " + std::to_string(kResultsSchemaVersion) + ";";
    if (!Exec(set.c_str())) {
      Rollback();
      return false;
    }
  }
  return Commit();
}

DbOpen ResultsDb::Check(bool thorough) {
  int64_t version = 0;
  {
    Statement s(db_, "PRAGMA user_version");
    const int step = s.ok() ? s.Step() : sqlite3_errcode(db_);
    if (step == SQLITE_NOTADB || step == SQLITE_CORRUPT) return Fail(), DbOpen::Damaged;
    if (step != SQLITE_ROW) return Fail(), DbOpen::Failed;
    version = s.ColumnInt(0);
  }
  if (version > kResultsSchemaVersion) return DbOpen::TooNew;
  if (!thorough) return DbOpen::Ok;
  Statement check(db_, "PRAGMA quick_check");
  const int step = check.ok() ? check.Step() : sqlite3_errcode(db_);
  if (step == SQLITE_NOTADB || step == SQLITE_CORRUPT ||
      (step == SQLITE_ROW && check.ColumnText(0) != "ok")) {
    Fail();
    if (step == SQLITE_ROW) error_text_ = check.ColumnText(0);
    return DbOpen::Damaged;
  }
  return step == SQLITE_ROW ? DbOpen::Ok : (Fail(), DbOpen::Failed);
}

namespace {

// The path as an SQLite URI that reads the file as it stands, without the
// shared-memory file a WAL database needs (a folder the station may not
// write in cannot hold one).
std::string ImmutableUri(const std::filesystem::path& path) {
  std::string uri = "file:";
  for (char c : std::filesystem::absolute(path).string()) {
    if (c == '%' || c == '?' || c == '#') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
      uri += hex;
    } else {
      uri += c;
    }
  }
  return uri + "?immutable=1";
}

} // namespace

DbOpen ResultsDb::Open(const std::filesystem::path& path, bool read_only) {
  Close();
  error_ = 0;
  error_text_.clear();
  // Every page is checked after a station ended without closing the
  // database (a kill, a crash, a power cut: its write-ahead log is left
  // behind) or while another program has it open. After a clean close the
  // header and the schema are read, and the rows as the table loads them: a
  // damaged page there still reads as damage, without reading every index
  // at every start.
  std::error_code ec;
  std::filesystem::path wal = path;
  wal += "-wal";
  const bool thorough = read_only || std::filesystem::exists(wal, ec) || ec;
  const int flags = read_only ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  if (sqlite3_open_v2(path.c_str(), &db_, flags | SQLITE_OPEN_NOFOLLOW, nullptr) != SQLITE_OK) {
    Fail();
    Close();
    return DbOpen::Failed;
  }
  sqlite3_extended_result_codes(db_, 0);
  sqlite3_busy_timeout(db_, 5000);
  DbOpen checked = Check(thorough);
  if (checked == DbOpen::Failed && read_only) {
    Close();
    if (sqlite3_open_v2(ImmutableUri(path).c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
                        nullptr) != SQLITE_OK) {
      Fail();
      Close();
      return DbOpen::Failed;
    }
    checked = Check(true);
  }
  if (checked != DbOpen::Ok) return checked;
  if (read_only) return DbOpen::Ok;
  // A result is on the disk once its commit returns, and a kill never tears one.
  if (!Exec("PRAGMA journal_mode = WAL") || !Exec("PRAGMA synchronous = FULL") || !Schema()) {
    const int code = sqlite3_errcode(db_);
    return code == SQLITE_NOTADB || code == SQLITE_CORRUPT ? DbOpen::Damaged : DbOpen::Failed;
  }
  return DbOpen::Ok;
}

bool ResultsDb::Load(ResultsTable* table) {
  ResultsTable t;
  std::map<std::string, uint32_t> counters;
  std::map<std::string, Tolerance> tolerances;
  uint32_t next = 1;
  {
    Statement s(db_, "SELECT key, value FROM settings");
    if (!s.ok()) return Fail();
    int step;
    while ((step = s.Step()) == SQLITE_ROW) {
      const std::string key = s.ColumnText(0), value = s.ColumnText(1);
      if (key == "snap") t.snap = value == "1";
      if (key == "append-csv") t.append_csv = value == "1";
      if (key == "precise-calibration") t.precise_calibration = value == "1";
      if (key == "next") {
        const int64_t n = std::atoll(value.c_str());
        next = static_cast<uint32_t>(std::clamp<int64_t>(n, 1, std::numeric_limits<uint32_t>::max() - 1));
      }
    }
    if (step != SQLITE_DONE) return Fail();
  }
  {
    Statement s(db_, "SELECT prefix, n FROM counters");
    if (!s.ok()) return Fail();
    while (s.Step() == SQLITE_ROW) counters[s.ColumnText(0)] = static_cast<uint32_t>(s.ColumnInt(1));
    Statement l(db_, "SELECT label, nominal, upper, lower, unit FROM tolerances");
    if (!l.ok()) return Fail();
    while (l.Step() == SQLITE_ROW) {
      tolerances[l.ColumnText(0)] =
          Tolerance(l.ColumnReal(1), l.ColumnReal(2), l.ColumnReal(3), l.ColumnText(4));
    }
  }
  std::vector<ResultRow> rows;
  const std::string sql = std::string("SELECT id, ") + kRowColumns + " FROM results ORDER BY number, id";
  Statement s(db_, sql.c_str());
  if (!s.ok()) return Fail();
  int step;
  while ((step = s.Step()) == SQLITE_ROW) {
    // Numbers the table can hold, each once: anything else was written by
    // hand, and the table is not taken.
    const int64_t number = s.ColumnInt(1);
    const int64_t last = rows.empty() ? 0 : rows.back().number;
    if (number <= last || number >= int64_t{std::numeric_limits<uint32_t>::max()}) {
      error_ = EIO;
      error_text_ = "row number " + std::to_string(number) + " out of order or out of range";
      return false;
    }
    rows.push_back(ReadRow(s, 1));
    rows.back().stored_id = static_cast<uint64_t>(s.ColumnInt(0));
  }
  if (step != SQLITE_DONE) return Fail();
  // `next` stays above every row, whatever the file says.
  if (!rows.empty() && rows.back().number >= next) next = rows.back().number + 1;
  t.Restore(std::move(rows), std::move(tolerances), std::move(counters), next);
  *table = std::move(t);
  return true;
}

bool ResultsDb::WriteMeta(const ResultsTable& t) {
  Statement set(Cached("INSERT OR REPLACE INTO settings(key, value) VALUES(?, ?)"));
  if (!set.ok()) return Fail();
  const std::pair<const char*, std::string> settings[] = {
      {"snap", t.snap ? "1" : "0"},
      {"append-csv", t.append_csv ? "1" : "0"},
      {"precise-calibration", t.precise_calibration ? "1" : "0"},
      {"next", std::to_string(t.next_number())}};
  for (const auto& [key, value] : settings) {
    set.Text(1, key);
    set.Text(2, value);
    if (!set.Done()) return Fail();
  }
  if (!Statement(Cached("DELETE FROM counters")).Done()) return Fail();
  Statement counter(Cached("INSERT INTO counters(prefix, n) VALUES(?, ?)"));
  if (!counter.ok()) return Fail();
  for (const auto& [prefix, n] : t.counters()) {
    counter.Text(1, prefix);
    counter.Int(2, n);
    if (!counter.Done()) return Fail();
  }
  return true;
}

bool ResultsDb::InsertRow(const ResultRow& row, int64_t* id) {
  if (insert_ == nullptr) {
    const std::string sql = std::string("INSERT INTO results(id, ") + kRowColumns +
                            ") VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &insert_, nullptr) != SQLITE_OK) return Fail();
  }
  Statement s(insert_);
  s.IdOrNull(1, row.stored_id);
  BindRow(s, row, 2);
  if (!s.Done()) return Fail();
  *id = sqlite3_last_insert_rowid(db_);
  return true;
}

bool ResultsDb::UpdateRow(const ResultRow& row) {
  Statement s(db_, "UPDATE results SET number = ?, taken_at = ?, solution = ?, label = ?, kind = ?, "
                   "value = ?, unit = ?, u = ?, source = ?, calibration = ?, note = ?, part = ?, "
                   "identity = ? WHERE id = ?");
  if (!s.ok()) return Fail();
  BindRow(s, row, 1);
  s.Int(14, static_cast<int64_t>(row.stored_id));
  return s.Done() || Fail();
}

bool ResultsDb::AppendLast(ResultsTable& table) {
  if (table.rows().empty()) return true;
  int64_t id = 0;
  if (!Exec("BEGIN IMMEDIATE")) return false;
  if (!InsertRow(table.rows().back(), &id) || !WriteMeta(table)) {
    Rollback();
    return false;
  }
  if (!Commit()) return false;
  table.MarkStored(table.rows().size() - 1, static_cast<uint64_t>(id), table.rows().back().part_id);
  return true;
}

bool ResultsDb::Store(ResultsTable& table) {
  if (!Exec("BEGIN IMMEDIATE")) return false;
  std::unordered_map<uint64_t, ResultRow> stored;
  {
    const std::string sql = std::string("SELECT id, ") + kRowColumns + " FROM results";
    Statement s(db_, sql.c_str());
    if (!s.ok()) return Rollback(), Fail();
    while (s.Step() == SQLITE_ROW) stored.emplace(static_cast<uint64_t>(s.ColumnInt(0)), ReadRow(s, 1));
  }
  std::unordered_set<uint64_t> kept;
  for (const ResultRow& r : table.rows()) {
    if (r.stored_id != 0) kept.insert(r.stored_id);
  }
  Statement erase(db_, "DELETE FROM results WHERE id = ?");
  for (const auto& [id, row] : stored) {
    if (kept.count(id) != 0) continue;
    erase.Int(1, static_cast<int64_t>(id));
    if (!erase.Done()) return Rollback(), Fail();
  }
  std::vector<std::pair<size_t, int64_t>> fresh;
  for (size_t i = 0; i < table.rows().size(); ++i) {
    const ResultRow& r = table.rows()[i];
    const auto it = r.stored_id != 0 ? stored.find(r.stored_id) : stored.end();
    int64_t id = 0;
    bool ok = true;
    if (it == stored.end()) {
      ok = InsertRow(r, &id);
      fresh.emplace_back(i, id);
    } else if (!SameRow(it->second, r)) {
      ok = UpdateRow(r);
    }
    if (!ok) return Rollback(), false;
  }
  if (!WriteMeta(table) || !Exec("DELETE FROM tolerances")) return Rollback(), false;
  Statement tol(db_, "INSERT INTO tolerances(label, nominal, upper, lower, unit) VALUES(?, ?, ?, ?, ?)");
  for (const auto& [label, t] : table.tolerances()) {
    tol.Text(1, label);
    tol.Real(2, t.nominal);
    tol.Real(3, t.upper);
    tol.Real(4, t.lower);
    tol.Text(5, t.unit);
    if (!tol.Done()) return Rollback(), Fail();
  }
  if (!Commit()) return false;
  for (const auto& [i, id] : fresh) table.MarkStored(i, static_cast<uint64_t>(id), table.rows()[i].part_id);
  return true;
}

bool ResultsDb::AddPart(ResultsTable& table, PartRecord& part, size_t rows) {
  if (rows > table.rows().size()) rows = table.rows().size();
  if (!Exec("BEGIN IMMEDIATE")) return false;
  Statement s(Cached("INSERT INTO parts(number, program, verdict, identity, taken_at) VALUES(?, ?, ?, ?, ?)"));
  if (!s.ok()) return Rollback(), Fail();
  s.Text(1, part.number);
  s.Text(2, part.program);
  s.Text(3, part.verdict);
  s.Text(4, part.identity);
  s.Int(5, part.time);
  if (!s.Done()) return Rollback(), Fail();
  const uint64_t part_id = static_cast<uint64_t>(sqlite3_last_insert_rowid(db_));
  const size_t first = table.rows().size() - rows;
  std::vector<int64_t> ids(rows);
  for (size_t i = 0; i < rows; ++i) {
    ResultRow r = table.rows()[first + i];
    r.part_id = part_id;
    if (!InsertRow(r, &ids[i])) return Rollback(), false;
  }
  if (!WriteMeta(table) || !Commit()) return Rollback(), false;
  part.id = part_id;
  for (size_t i = 0; i < rows; ++i) table.MarkStored(first + i, static_cast<uint64_t>(ids[i]), part_id);
  return true;
}

std::string ResultsDb::Setting(const std::string& key) {
  Statement s(db_, "SELECT value FROM settings WHERE key = ?");
  if (!s.ok()) return {};
  s.Text(1, key);
  return s.Step() == SQLITE_ROW ? s.ColumnText(0) : std::string();
}

bool ResultsDb::SetSetting(const std::string& key, const std::string& value) {
  Statement s(db_, "INSERT OR REPLACE INTO settings(key, value) VALUES(?, ?)");
  if (!s.ok()) return Fail();
  s.Text(1, key);
  s.Text(2, value);
  return s.Done() || Fail();
}

namespace {
int64_t CountOf(sqlite3* db, const char* sql) {
  Statement s(db, sql);
  return s.ok() && s.Step() == SQLITE_ROW ? s.ColumnInt(0) : -1;
}
} // namespace

int64_t ResultsDb::RowCount() { return CountOf(db_, "SELECT count(*) FROM results"); }
int64_t ResultsDb::Pending() { return CountOf(db_, "SELECT count(*) FROM outbox"); }

bool ResultsDb::FeedOutbox() {
  // Temporary triggers: only this connection's writes are copied, and only
  // while a server is named.
  const std::string copy = std::string("INSERT INTO outbox(row_id, ") + kRowColumns +
                           ") VALUES(NEW.id, NEW.number, NEW.taken_at, NEW.solution, NEW.label, "
                           "NEW.kind, NEW.value, NEW.unit, NEW.u, NEW.source, NEW.calibration, "
                           "NEW.note, NEW.part, NEW.identity);";
  const std::string sql =
      "CREATE TEMP TRIGGER IF NOT EXISTS outbox_insert AFTER INSERT ON main.results BEGIN " + copy +
      " END; CREATE TEMP TRIGGER IF NOT EXISTS outbox_update AFTER UPDATE ON main.results BEGIN " +
      copy + " END;";
  return Exec(sql.c_str());
}

bool ResultsDb::StopOutbox() {
  return Exec("DROP TRIGGER IF EXISTS temp.outbox_insert; DROP TRIGGER IF EXISTS temp.outbox_update;");
}

bool ResultsDb::QueueEveryRow() {
  // Copies waiting from before are older versions of these rows, or of
  // rows deleted since: the rows as they stand replace them.
  const std::string sql = std::string("BEGIN IMMEDIATE; DELETE FROM outbox; INSERT INTO outbox(row_id, ") +
                          kRowColumns + ") SELECT id, " + kRowColumns +
                          " FROM results ORDER BY number, id; COMMIT;";
  if (Exec(sql.c_str())) return true;
  Rollback();
  return false;
}

std::filesystem::path SetDatabaseAside(const std::filesystem::path& path) {
  // Its journals belong to it: a new database must not replay them.
  std::error_code error;
  return MoveAside(path, error, {"-wal", "-shm", "-journal"});
}

} // namespace orvane
