// "RESULTS.DB": the results table kept in an SQLite database in the working
// folder (WAL, every commit synced to disk before it returns). What the table
// holds (rows, labels and counters, tolerances, options) and the parts that
// inspection programs record live in the tables the README's schema section
// lists; the view `measurements` joins them for users' own queries.
//
// Rows carry the database's own id (ResultRow::stored_id): it survives
// relabelling, editing, deleting and undoing, so that a server fed from the
// outbox sees each result under one key (the station and this id).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "results/table.h"

struct sqlite3;
struct sqlite3_stmt;

namespace orvane {

inline constexpr const char* kResultsDbName = "RESULTS.DB";
// The schema this build writes (PRAGMA user_version and schema_version).
inline constexpr int kResultsSchemaVersion = 1;

// A part an inspection program measured: its number (as the program counts
// or reads it), the program's name, the verdict over all its dimensions and
// the part's identity (a serial number or code read from it; may be empty).
struct PartRecord {
  uint64_t id = 0; // the database's id, set when recorded
  std::string number;
  std::string program;
  std::string verdict; // "pass", "fail" or what the program says
  std::string identity;
  int64_t time = 0; // seconds since 1970-01-01 UTC
};

// What opening found.
enum class DbOpen : uint32_t {
  Ok = 0,
  Damaged = 1,  // not a database, or one that fails its check
  Failed = 2,   // could not be opened or created (see error())
  TooNew = 3,   // written by a later schema than this build reads
};

class ResultsDb {
 public:
  ResultsDb();
  ~ResultsDb();
  ResultsDb(const ResultsDb&) = delete;
  ResultsDb& operator=(const ResultsDb&) = delete;

  // Opens (creating when missing) the database at `path` and its schema.
  // `read_only`: opens an existing file without writing anything (a folder
  // the station may not write in).
  DbOpen Open(const std::filesystem::path& path, bool read_only = false);
  bool is_open() const { return db_ != nullptr; }
  void Close();

  // Reads the whole table (rows in number order); false on a read error.
  bool Load(ResultsTable* table);
  // Appends the table's last row (just added) with the numbering and
  // options, in one transaction; sets its stored_id. False on a failure,
  // the database as it was.
  bool AppendLast(ResultsTable& table);
  // Makes the database hold exactly `table`: rows added, changed and removed
  // by their stored ids (ids given to new rows), options, counters and
  // tolerances rewritten; one transaction.
  bool Store(ResultsTable& table);
  // Records a part and its dimensions (the table's last `rows` rows, already
  // added) in one transaction; sets part.id and each row's part and id.
  bool AddPart(ResultsTable& table, PartRecord& part, size_t rows);

  // A setting kept with the table (the station's name); empty when unset.
  std::string Setting(const std::string& key);
  bool SetSetting(const std::string& key, const std::string& value);

  // Rows in the table, and rows waiting in the outbox for the server.
  int64_t RowCount();
  int64_t Pending();
  // Keeps a copy of every row added or changed from now on in the outbox
  // (for this connection's writes), in order.
  bool FeedOutbox();
  // No longer copies rows into the outbox (the server was un-named).
  bool StopOutbox();
  // Makes the outbox hold every row of the table as it stands, each once,
  // in number order (for a server that has none of them yet).
  bool QueueEveryRow();

  // Why the last operation failed: an errno value when the system said one
  // (EFBIG, ENOSPC, EACCES ...), else EIO; and SQLite's text.
  int error() const { return error_; }
  const std::string& error_text() const { return error_text_; }
  sqlite3* handle() const { return db_; }

 private:
  bool Exec(const char* sql);
  bool Fail();
  bool Schema();
  DbOpen Check(bool thorough);
  bool WriteMeta(const ResultsTable& table);
  bool InsertRow(const ResultRow& row, int64_t* id);
  bool UpdateRow(const ResultRow& row);
  bool Commit();
  void Rollback();

  sqlite3* db_ = nullptr;
  // Statements of every part and result, prepared once (by their text's
  // address: each is a literal of its own).
  sqlite3_stmt* Cached(const char* sql);

  sqlite3_stmt* insert_ = nullptr; // the row insert, prepared once
  std::unordered_map<const char*, sqlite3_stmt*> cached_;
  int error_ = 0;
  std::string error_text_;
};

// Sets a damaged database and its journal files aside under
// "NAME.bad", "NAME.bad1" ...; the new name, or empty when it could not be.
std::filesystem::path SetDatabaseAside(const std::filesystem::path& path);

} // namespace orvane
