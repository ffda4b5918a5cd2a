// The results database's rows as SQLite statements bind and read them,
// shared by the database (results/db_sqlite.cpp) and the views that read it
// a window at a time (results/query.cpp).
#pragma once

#include <sqlite3.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "results/table.h"

namespace orvane::sqlite_rows {

// The columns of a row in the table "results", in the order BindRow and
// ReadRow take them.
inline constexpr const char* kRowColumns =
    "number, taken_at, solution, label, kind, value, unit, u, source, calibration, note, part, identity";

// A prepared statement, finalised when it goes.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &s_, nullptr); }
  // A statement kept by the caller: reset and unbound, not finalised.
  explicit Statement(sqlite3_stmt* kept) : s_(kept), kept_(true) {}
  ~Statement() {
    if (kept_) {
      sqlite3_reset(s_);
      sqlite3_clear_bindings(s_);
    } else {
      sqlite3_finalize(s_);
    }
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  bool ok() const { return s_ != nullptr; }
  sqlite3_stmt* get() const { return s_; }
  void Text(int i, const std::string& v) {
    sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
  }
  void Int(int i, int64_t v) { sqlite3_bind_int64(s_, i, v); }
  // NaN is stored as NULL (SQLite would store it so anyway).
  void Real(int i, double v) {
    if (std::isnan(v)) {
      sqlite3_bind_null(s_, i);
    } else {
      sqlite3_bind_double(s_, i, v);
    }
  }
  void IdOrNull(int i, uint64_t v) {
    if (v == 0) {
      sqlite3_bind_null(s_, i);
    } else {
      sqlite3_bind_int64(s_, i, static_cast<int64_t>(v));
    }
  }
  int Step() { return sqlite3_step(s_); }
  bool Done() {
    const bool done = sqlite3_step(s_) == SQLITE_DONE;
    sqlite3_reset(s_);
    return done;
  }
  std::string ColumnText(int i) const {
    const unsigned char* t = sqlite3_column_text(s_, i);
    return t == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(t), sqlite3_column_bytes(s_, i));
  }
  double ColumnReal(int i) const {
    return sqlite3_column_type(s_, i) == SQLITE_NULL ? kUnknown : sqlite3_column_double(s_, i);
  }
  int64_t ColumnInt(int i) const { return sqlite3_column_int64(s_, i); }

 private:
  sqlite3_stmt* s_ = nullptr;
  bool kept_ = false;
};

// Binds the row's columns in the order of kRowColumns, from `first`.
inline void BindRow(Statement& s, const ResultRow& r, int first) {
  s.Int(first, r.number);
  s.Int(first + 1, r.time);
  s.Text(first + 2, r.solution);
  s.Text(first + 3, r.label);
  s.Text(first + 4, r.kind);
  s.Real(first + 5, r.value);
  s.Text(first + 6, r.unit);
  s.Real(first + 7, r.uncertainty);
  s.Text(first + 8, r.source);
  s.Text(first + 9, r.calibration);
  s.Text(first + 10, r.note);
  s.IdOrNull(first + 11, r.part_id);
  s.Text(first + 12, r.part);
}

// The row whose columns (kRowColumns) start at `first`.
inline ResultRow ReadRow(const Statement& s, int first) {
  ResultRow r;
  r.number = static_cast<uint32_t>(s.ColumnInt(first));
  r.time = s.ColumnInt(first + 1);
  r.solution = s.ColumnText(first + 2);
  r.label = s.ColumnText(first + 3);
  r.kind = s.ColumnText(first + 4);
  r.value = s.ColumnReal(first + 5);
  r.unit = s.ColumnText(first + 6);
  r.uncertainty = s.ColumnReal(first + 7);
  r.source = s.ColumnText(first + 8);
  r.calibration = s.ColumnText(first + 9);
  r.note = s.ColumnText(first + 10);
  r.part_id = static_cast<uint64_t>(s.ColumnInt(first + 11));
  r.part = s.ColumnText(first + 12);
  return r;
}

} // namespace orvane::sqlite_rows
