// The results server's rows for the Results window: every station's, or
// one's, under the window's filter, counted once and read a window at a
// time (by offset: the server's order is by station, then number).
#include <libpq-fe.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <memory>

#include "results/db_pg.h"
#include "results/query.h"

namespace orvane {
namespace {

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

std::string Dollar(size_t n) { return "$" + std::to_string(n); }

// A row with its part's identity (the row's own, else its part's, as the
// station's own RESULTS.DB view has it) and its station's tolerance.
constexpr const char* kServerRowColumns =
    "r.station, r.local_id, r.number, r.taken_at, r.solution, r.label, r.kind, r.value, r.unit, r.u, "
    "r.source, r.calibration, r.note, r.part, COALESCE(NULLIF(r.identity, ''), p.identity, ''), "
    "t.nominal, t.upper, t.lower, t.unit";
constexpr const char* kServerRowJoins =
    " LEFT JOIN parts p ON p.station = r.station AND p.local_id = r.part"
    " LEFT JOIN tolerances t ON t.station = r.station AND t.label = r.label";

double Real(const PGresult* r, int row, int column) {
  if (PQgetisnull(r, row, column)) return kUnknown;
  const char* text = PQgetvalue(r, row, column);
  double v = kUnknown;
  std::from_chars(text, text + PQgetlength(r, row, column), v);
  return v;
}

int64_t Int(const PGresult* r, int row, int column) {
  const char* text = PQgetvalue(r, row, column);
  int64_t v = 0;
  std::from_chars(text, text + PQgetlength(r, row, column), v);
  return v;
}

class Server final : public ResultsSource {
 public:
  explicit Server(std::string url) : url_(std::move(url)) {}
  ~Server() override {
    if (pg_ != nullptr) PQfinish(pg_);
  }

  int64_t Select(const ResultsFilter& filter) override {
    picked_ = filter;
    filter_ = FilterConditions(filter, false, true, Dollar);
    Result r = Query("SELECT count(*) FROM results r" + Join() + " WHERE true" + filter_.where, {});
    if (!r) return -1;
    count_ = Int(r.get(), 0, 0);
    return count_;
  }
  // Rows of other stations arrive anywhere in the server's order: the
  // selection is taken again.
  int64_t SelectNew() override { return Select(picked_); }

  bool Read(int64_t first, int64_t count, std::vector<ShownRow>* rows) override {
    const size_t n = filter_.texts.size();
    Result r = Query(std::string("SELECT ") + kServerRowColumns + " FROM results r" + kServerRowJoins + " WHERE true" +
                         filter_.where + " ORDER BY r.station, r.number, r.local_id LIMIT " + Dollar(n + 1) +
                         "::bigint OFFSET " + Dollar(n + 2) + "::bigint",
                     {std::to_string(count), std::to_string(first)});
    if (!r) return false;
    rows->clear();
    for (int i = 0; i < PQntuples(r.get()); ++i) rows->push_back(RowOf(r.get(), i));
    return true;
  }

  bool Values(std::vector<ResultRow>* rows) override {
    Result r = Query("SELECT r.label, r.value, r.unit FROM results r" + Join() + " WHERE true" + filter_.where +
                         " ORDER BY r.station, r.number, r.local_id",
                     {});
    if (!r) return false;
    rows->clear();
    for (int i = 0; i < PQntuples(r.get()); ++i) {
      ResultRow& row = rows->emplace_back();
      row.label = PQgetvalue(r.get(), i, 0);
      row.value = Real(r.get(), i, 1);
      row.unit = PQgetvalue(r.get(), i, 2);
    }
    return true;
  }

  bool Parts(PartCounts* counts) override {
    const FilterSql f = FilterConditions(picked_, true, true, Dollar);
    Result r = Query("SELECT count(*), count(*) FILTER (WHERE p.verdict = 'pass'), "
                     "count(*) FILTER (WHERE p.verdict = 'fail') FROM parts p WHERE true" + f.where,
                     {}, &f);
    if (!r) return false;
    *counts = {Int(r.get(), 0, 0), Int(r.get(), 0, 1), Int(r.get(), 0, 2)};
    return true;
  }

  std::vector<std::string> Stations() override {
    Result r = Query("SELECT DISTINCT station FROM results ORDER BY station", {}, &kNone);
    std::vector<std::string> out;
    if (r) {
      for (int i = 0; i < PQntuples(r.get()); ++i) out.emplace_back(PQgetvalue(r.get(), i, 0));
    }
    return out;
  }

 private:
  static inline const FilterSql kNone{};

  std::string Join() const {
    return filter_.needs_parts ? " LEFT JOIN parts p ON p.station = r.station AND p.local_id = r.part" : "";
  }

  static ShownRow RowOf(const PGresult* r, int i) {
    ShownRow shown;
    shown.station = PQgetvalue(r, i, 0);
    ResultRow& row = shown.row;
    row.stored_id = static_cast<uint64_t>(Int(r, i, 1));
    row.number = static_cast<uint32_t>(Int(r, i, 2));
    row.time = Int(r, i, 3);
    row.solution = PQgetvalue(r, i, 4);
    row.label = PQgetvalue(r, i, 5);
    row.kind = PQgetvalue(r, i, 6);
    row.value = Real(r, i, 7);
    row.unit = PQgetvalue(r, i, 8);
    row.uncertainty = Real(r, i, 9);
    row.source = PQgetvalue(r, i, 10);
    row.calibration = PQgetvalue(r, i, 11);
    row.note = PQgetvalue(r, i, 12);
    row.part_id = PQgetisnull(r, i, 13) ? 0 : static_cast<uint64_t>(Int(r, i, 13));
    row.part = PQgetvalue(r, i, 14);
    shown.remote = true;
    if (!PQgetisnull(r, i, 15)) {
      shown.tolerance = Tolerance{Real(r, i, 15), Real(r, i, 16), Real(r, i, 17), PQgetvalue(r, i, 18)};
    }
    return shown;
  }

  // A server that did not answer is asked again only after a while: the
  // window reads at every new result, and must not wait each time.
  bool Connected() {
    if (pg_ != nullptr && PQstatus(pg_) == CONNECTION_OK) return true;
    const auto now = std::chrono::steady_clock::now();
    if (pg_ != nullptr && now - failed_at_ < std::chrono::seconds(10)) return false;
    if (pg_ != nullptr) PQfinish(pg_);
    const char* keywords[] = {"connect_timeout", "dbname", nullptr};
    const char* values[] = {"3", url_.c_str(), nullptr};
    pg_ = PQconnectdbParams(keywords, values, 1);
    if (PQstatus(pg_) == CONNECTION_OK) return true;
    failed_at_ = std::chrono::steady_clock::now();
    return false;
  }

  // The query with the filter's values (or `with`'s) and `more` after them.
  Result Query(const std::string& sql, const std::vector<std::string>& more, const FilterSql* with = nullptr) {
    Result none(nullptr, PQclear);
    if (!Connected()) return Fail(std::move(none));
    const FilterSql& f = with != nullptr ? *with : filter_;
    std::vector<const char*> values;
    for (const std::string& t : f.texts) values.push_back(t.c_str());
    for (const std::string& t : more) values.push_back(t.c_str());
    Result r(PQexecParams(pg_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                          nullptr, 0),
             PQclear);
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) return Fail(std::move(none));
    return r;
  }

  Result Fail(Result none) {
    std::string text = pg_ != nullptr ? PQerrorMessage(pg_) : "out of memory";
    if (const size_t end = text.find('\n'); end != std::string::npos) text.resize(end);
    error_ = "Unable to read " + ServerName(url_) + (text.empty() ? "" : ": " + text);
    return none;
  }

  std::string url_;
  PGconn* pg_ = nullptr;
  std::chrono::steady_clock::time_point failed_at_;
  ResultsFilter picked_;
  FilterSql filter_;
  int64_t count_ = 0;
};

} // namespace

std::unique_ptr<ResultsSource> ServerResults(const std::string& url) { return std::make_unique<Server>(url); }

} // namespace orvane
