// Arbitrary contents of "RESULTS.DB": the bytes as the whole file, then as
// rows, settings and tolerances written into a sound database by hand (any
// type in any column), parts among them. Opening and reading never crash; a
// table that is read stores and reads back to the same text of the table;
// the Results window's reads under a filter typed from the input agree with
// each other.
#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/check.h"
#include "fuzz/temp_folder.h"
#include "results/db_pg.h"
#include "results/db_sqlite.h"
#include "results/query.h"
#include "results/table_file.h"

namespace {

// The next piece of the input: a text of up to 16 bytes.
std::string Piece(const uint8_t*& data, size_t& size) {
  const size_t n = size == 0 ? 0 : std::min<size_t>(size - 1, data[0] % 17);
  std::string out(reinterpret_cast<const char*>(data) + (size ? 1 : 0), n);
  const size_t used = size ? n + 1 : 0;
  data += used;
  size -= used;
  return out;
}

void Bind(sqlite3_stmt* s, int i, const std::string& piece) {
  // The first byte picks the type: a number, a real, NULL or the text.
  const char kind = piece.empty() ? 't' : piece[0] % 4;
  if (kind == 0) {
    sqlite3_bind_int64(s, i, std::strtoll(piece.c_str() + 1, nullptr, 10));
  } else if (kind == 1) {
    sqlite3_bind_double(s, i, std::strtod(piece.c_str() + 1, nullptr));
  } else if (kind == 2) {
    sqlite3_bind_null(s, i);
  } else {
    sqlite3_bind_text(s, i, piece.data(), static_cast<int>(piece.size()), SQLITE_TRANSIENT);
  }
}

void ReadBack(const std::filesystem::path& path) {
  orvane::ResultsDb db;
  orvane::ResultsTable table;
  if (db.Open(path) != orvane::DbOpen::Ok || !db.Load(&table)) return;
  const std::string text = orvane::WriteResultsText(table);
  CHECK(db.Store(table));
  orvane::ResultsTable again;
  CHECK(db.Load(&again));
  CHECK(orvane::WriteResultsText(again) == text);
}

// The window's reads: every picked row reads, and so does every value.
void Query(const std::filesystem::path& path, const orvane::ResultsFilter& filter) {
  orvane::ResultsDb db;
  if (db.Open(path) != orvane::DbOpen::Ok) return;
  std::unique_ptr<orvane::ResultsSource> source = orvane::LocalResults(db.handle(), "fuzz");
  for (const orvane::ResultsFilter& f : {orvane::ResultsFilter{}, filter}) {
    const int64_t n = source->Select(f);
    if (n < 0) continue;
    std::vector<orvane::ShownRow> rows;
    std::vector<orvane::ResultRow> values;
    orvane::PartCounts counts;
    CHECK(source->Read(0, n, &rows) && static_cast<int64_t>(rows.size()) == n);
    CHECK(source->Values(&values) && static_cast<int64_t>(values.size()) == n);
    orvane::StatisticsOfRows(std::move(values), {});
    if (source->Parts(&counts)) CHECK(counts.passed + counts.failed <= counts.inspected);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::filesystem::path folder = fuzz::MakeTempFolder("orvane-fuzz-db-");
  const std::filesystem::path path = folder / orvane::kResultsDbName;
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path.string() + suffix);
  if (FILE* f = size > 0 ? std::fopen(path.c_str(), "wb") : nullptr) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  ReadBack(path);

  // A filter as typed, and a server string shown back.
  const uint8_t* typed = data;
  size_t left = size;
  orvane::FilterFields fields;
  for (std::string* text : {&fields.label, &fields.program, &fields.part_first, &fields.part_last,
                            &fields.day_first, &fields.day_last}) {
    *text = Piece(typed, left);
  }
  orvane::ResultsFilter filter;
  orvane::ParseFilterFields(fields, &filter, nullptr);
  const std::string url(reinterpret_cast<const char*>(data), size);
  CHECK(orvane::TypedServerUrl(orvane::MaskedServerUrl(url), url) == url);

  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path.string() + suffix);
  {
    orvane::ResultsDb db;
    CHECK(db.Open(path) == orvane::DbOpen::Ok);
    const char* inserts[] = {
        "INSERT INTO results(number, taken_at, solution, label, kind, value, unit, u, source, "
        "calibration, note, part) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
        "INSERT OR REPLACE INTO settings(key, value) VALUES(?, ?)",
        "INSERT OR REPLACE INTO tolerances(label, nominal, upper, lower, unit) VALUES(?, ?, ?, ?, ?)",
        "INSERT OR REPLACE INTO counters(prefix, n) VALUES(?, ?)",
        "INSERT INTO parts(number, program, verdict, identity, taken_at) VALUES(?, ?, ?, ?, ?)"};
    while (size > 0) {
      sqlite3_stmt* s = nullptr;
      sqlite3_prepare_v2(db.handle(), inserts[data[0] % 5], -1, &s, nullptr);
      ++data;
      --size;
      for (int i = 1; i <= sqlite3_bind_parameter_count(s); ++i) Bind(s, i, Piece(data, size));
      sqlite3_step(s);
      sqlite3_finalize(s);
    }
  }
  ReadBack(path);
  Query(path, filter);
  return 0;
}
