// The results server: a real PostgreSQL server started by the test in a
// temporary folder (as an unprivileged user, on a Unix socket there), fed
// from the station's outbox. Results arrive once, also when the server was
// down while they were recorded. Skipped where the server's programs are
// not installed.
#include <gtest/gtest.h>

#include <libpq-fe.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "results/query.h"
#include "results/units.h"
#include "results/session.h"
#include "support/station_fixture.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

// The newest installed server's programs, or empty.
fs::path ServerPrograms() {
  fs::path best;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/usr/lib/postgresql", ec)) {
    if (fs::exists(e.path() / "bin" / "initdb") && e.path() > best.parent_path()) best = e.path() / "bin";
  }
  return best;
}

// A server in a folder of its own, run as "postgres" (or "nobody") when the
// test runs as root: the server refuses to run as root.
class Server {
 public:
  Server() {
    bin_ = ServerPrograms();
    if (bin_.empty()) return;
    if (::geteuid() == 0) {
      for (const char* name : {"postgres", "nobody"}) {
        if (::getpwnam(name) != nullptr) {
          as_ = std::string("runuser -u ") + name + " -- ";
          fs::permissions(dir_.path(), fs::perms::all);
          break;
        }
      }
    }
    data_ = dir_.path() / "data";
    ok_ = Run(bin_ / "initdb", "-A trust -U orvane -D " + data_.string() + " >/dev/null") && Start();
  }
  ~Server() {
    if (ok_) Stop();
  }
  bool ok() const { return ok_; }
  std::string url() const { return "host=" + dir_.path().string() + " port=5433 dbname=postgres user=orvane"; }
  bool Start() {
    return Run(bin_ / "pg_ctl", "-D " + data_.string() + " -l " + (dir_.path() / "log").string() +
                                    " -o \"-k " + dir_.path().string() +
                                    " -p 5433 -c listen_addresses=''\" -w start >/dev/null");
  }
  bool Stop() { return Run(bin_ / "pg_ctl", "-D " + data_.string() + " -m fast -w stop >/dev/null"); }
  // One answer of a query, rows on lines, columns between '|'.
  std::string Query(const std::string& sql) const {
    PGconn* c = PQconnectdb(url().c_str());
    PGresult* r = PQexec(c, sql.c_str());
    std::string out;
    for (int i = 0; i < PQntuples(r); ++i) {
      for (int j = 0; j < PQnfields(r); ++j) out += (j ? "|" : "") + std::string(PQgetvalue(r, i, j));
      out += "\n";
    }
    if (PQresultStatus(r) != PGRES_TUPLES_OK) out = PQerrorMessage(c);
    PQclear(r);
    PQfinish(c);
    return out;
  }

 private:
  bool Run(const fs::path& program, const std::string& args) {
    return std::system((as_ + program.string() + " " + args).c_str()) == 0;
  }
  testing::TempDir dir_;
  fs::path bin_, data_;
  std::string as_;
  bool ok_ = false;
};

ResultRow Length(double v) {
  ResultRow r;
  r.kind = kKindLength;
  r.value = v;
  r.unit = "mm";
  return r;
}

class ResultsServer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!server_.ok()) GTEST_SKIP() << "no PostgreSQL server could be started here";
    ::setenv(kResultsUrlVariable, server_.url().c_str(), 1);
  }
  void TearDown() override { ::unsetenv(kResultsUrlVariable); }
  Server server_;
};

// Results arrive under the station's name, once each; a relabelled row is
// sent again and replaces itself; the view joins the tolerance.
TEST_F(ResultsServer, ResultsArriveOnceUnderTheStationsName) {
  testing::StationFixture f;
  for (double v : {1.0, 2.0, 3.0}) AddResult(f.station, Length(v));
  ResultsOf(f.station).table.SetTolerance("L2", Tolerance(2.0, 0.1));
  ResultsOf(f.station).table.Relabel(1, "first");
  ASSERT_TRUE(SaveResults(f.station));
  ASSERT_TRUE(SyncResults(f.station, 20.0)) << ResultsServerStatus(f.station);
  EXPECT_EQ(server_.Query("SELECT number, label, value FROM results ORDER BY number"),
            "1|first|1\n2|L2|2\n3|L3|3\n");
  EXPECT_EQ(server_.Query("SELECT label, verdict FROM measurements WHERE verdict IS NOT NULL"), "L2|pass\n");
  EXPECT_EQ(server_.Query("SELECT count(DISTINCT station) FROM results"), "1\n");
  EXPECT_NE(ResultsDbStatus(f.station).find("rows 3 pending 0"), std::string::npos);
  EXPECT_EQ(ResultsServerStatus(f.station), "");
}

// The server down while 50 results are recorded: they wait, the status says
// how many, and after its restart all 50 arrive, none twice, also when the
// station was ended in between and a new one sends them.
TEST_F(ResultsServer, ResultsRecordedWhileTheServerIsDownArriveOnceAfterItsRestart) {
  testing::StationFixture f;
  AddResult(f.station, Length(0.0));
  ASSERT_TRUE(SyncResults(f.station, 20.0)) << ResultsServerStatus(f.station);
  ASSERT_TRUE(server_.Stop());
  for (int i = 1; i <= 50; ++i) AddResult(f.station, Length(i));
  EXPECT_FALSE(SyncResults(f.station, 0.5));
  EXPECT_NE(ResultsDbStatus(f.station).find("rows 51 pending 50"), std::string::npos)
      << ResultsDbStatus(f.station);
  EXPECT_EQ(ResultsServerStatus(f.station).rfind("50 results wait for the results server (Unable to send", 0), 0u)
      << ResultsServerStatus(f.station);
  EXPECT_EQ(ResultsServerStatus(f.station).find("user=orvane"), std::string::npos);
  f.station.results.reset();  // the station ends with the server still down
  ASSERT_TRUE(server_.Start());
  Station again(f.dir.path(), &f.surface, &f.clock);
  ASSERT_TRUE(SyncResults(again, 30.0)) << ResultsServerStatus(again);
  EXPECT_EQ(server_.Query("SELECT count(*), count(DISTINCT local_id), min(number), max(number) FROM results"),
            "51|51|1|51\n");
}

// Rows recorded before a server is named (in Set-Up, kept in the database)
// arrive once it is: each once, also when it is named again, when the
// station starts again, and when the station takes a new name.
TEST_F(ResultsServer, RowsRecordedBeforeTheServerIsNamedArriveOnce) {
  ::unsetenv(kResultsUrlVariable);
  testing::StationFixture f;
  for (int i = 1; i <= 5; ++i) AddResult(f.station, Length(i));
  EXPECT_NE(ResultsDbStatus(f.station).find("rows 5 pending 0"), std::string::npos);
  ASSERT_TRUE(SetResultsServer(f.station, server_.url(), "line-3"));
  ASSERT_TRUE(SetResultsServer(f.station, server_.url(), "line-3")); // unchanged: nothing queued again
  AddResult(f.station, Length(6.0));
  ASSERT_TRUE(SyncResults(f.station, 20.0)) << ResultsServerStatus(f.station);
  const char* count = "SELECT station, count(*), count(DISTINCT local_id) FROM results GROUP BY station ORDER BY station";
  EXPECT_EQ(server_.Query(count), "line-3|6|6\n");
  f.station.results.reset();
  Station again(f.dir.path(), &f.surface, &f.clock);
  EXPECT_EQ(ResultsServerUrl(again), server_.url());
  AddResult(again, Length(7.0));
  ASSERT_TRUE(SyncResults(again, 20.0)) << ResultsServerStatus(again);
  EXPECT_EQ(server_.Query(count), "line-3|7|7\n");
  ASSERT_TRUE(SetResultsServer(again, server_.url(), "line-4"));
  ASSERT_TRUE(SyncResults(again, 20.0)) << ResultsServerStatus(again);
  EXPECT_EQ(server_.Query(count), "line-3|7|7\nline-4|7|7\n");
  // Un-named: nothing more waits for it.
  ASSERT_TRUE(SetResultsServer(again, "", ""));
  AddResult(again, Length(8.0));
  EXPECT_NE(ResultsDbStatus(again).find("rows 8 pending 0"), std::string::npos) << ResultsDbStatus(again);
}

// Every station's rows, or one station's, under the window's filter; the
// parts counted on the server.
TEST_F(ResultsServer, TheWindowReadsEveryStationsRows) {
  testing::StationFixture a, b;
  ASSERT_TRUE(SetResultsServer(a.station, server_.url(), "A"));
  ASSERT_TRUE(SetResultsServer(b.station, server_.url(), "B"));
  PartRecord part;
  part.number = "1";
  part.program = "FLANGE";
  part.verdict = "pass";
  ResultRow bore = Length(10.0);
  bore.label = "bore";
  // Each station judges its rows by its own tolerance; the window's table
  // has another, which must judge none of them.
  ResultsOf(a.station).table.SetTolerance("bore", Tolerance(10.0, 0.1));
  ResultsOf(b.station).table.SetTolerance("bore", Tolerance(9.5, 0.2, -0.1, "mm"));
  ASSERT_TRUE(SaveResults(a.station) && SaveResults(b.station));
  ASSERT_NE(AddPart(a.station, part, {bore, Length(2.0)}).id, 0u);
  part.verdict = "fail";
  part.number = "2";
  ASSERT_NE(AddPart(a.station, part, {bore}).id, 0u);
  AddResult(b.station, bore);
  ASSERT_TRUE(SyncResults(a.station, 20.0) && SyncResults(b.station, 20.0));

  std::unique_ptr<ResultsSource> source = ServerResults(server_.url());
  ResultsFilter only_b, bores, flange_2;
  only_b.station = "B";
  bores.label = "bore";
  flange_2.program = "FLANGE";
  flange_2.part_first = 2;
  const struct {
    ResultsFilter filter;
    int64_t rows;
    std::string first_station;
    PartCounts parts;
  } cases[] = {{{}, 4, "A", {2, 1, 1}}, {only_b, 1, "B", {0, 0, 0}}, {bores, 3, "A", {2, 1, 1}},
               {flange_2, 1, "A", {1, 0, 1}}};
  for (const auto& c : cases) {
    ASSERT_EQ(source->Select(c.filter), c.rows) << source->error();
    std::vector<ShownRow> rows;
    ASSERT_TRUE(source->Read(0, 10, &rows)) << source->error();
    ASSERT_EQ(static_cast<int64_t>(rows.size()), c.rows);
    EXPECT_EQ(rows[0].station, c.first_station);
    PartCounts counts;
    ASSERT_TRUE(source->Parts(&counts)) << source->error();
    EXPECT_EQ(counts.inspected, c.parts.inspected);
    EXPECT_EQ(counts.failed, c.parts.failed);
  }
  ASSERT_EQ(source->Select(bores), 3);
  std::vector<ShownRow> rows;
  ASSERT_TRUE(source->Read(1, 2, &rows));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].station, "B");
  EXPECT_EQ(rows[1].row.value, 10.0);
  ResultsTable local;
  local.SetTolerance("bore", Tolerance(20.0, 1.0, "mm"));
  local.SetTolerance("L1", Tolerance(2.0, 0.1, "mm"));
  ASSERT_EQ(source->Select({}), 4);
  ASSERT_TRUE(source->Read(0, 4, &rows));
  const struct {
    std::string_view unit;
    std::string station, label, nominal, deviations, verdict;
  } judged[] = {{"", "A", "bore", "10", "0.1", "pass"},        {"", "A", "L1", "", "", ""},
                {"", "A", "bore", "10", "0.1", "pass"},        {"", "B", "bore", "9.5", "+0.2/-0.1", "fail"},
                {kMicrometre, "B", "bore", "9500", "+200/-100", "fail"}};
  for (size_t i = 0; i < std::size(judged); ++i) {
    const auto& c = judged[i];
    const ShownRow& shown = rows[std::min<size_t>(i, 3)];
    const std::vector<std::string> cells = ShownCells(local, shown, c.unit);
    EXPECT_EQ(shown.station + " " + cells[3] + " " + cells[8] + " " + cells[9] + " " + cells[10],
              c.station + " " + c.label + " " + c.nominal + " " + c.deviations + " " + c.verdict) << i;
  }
  // The station's own rows are still judged by its table.
  ShownRow own;
  own.row = rows[1].row;
  EXPECT_EQ(ShownCells(local, own)[8], "2");
  EXPECT_EQ(source->Stations(), (std::vector<std::string>{"A", "B"}));
  // A server that does not answer is said by its name only.
  std::unique_ptr<ResultsSource> gone = ServerResults(server_.url() + " password=secret port=1");
  EXPECT_EQ(gone->Select({}), -1);
  EXPECT_EQ(gone->error().find("secret"), std::string::npos) << gone->error();
  EXPECT_EQ(gone->error().rfind("Unable to read the results server", 0), 0u) << gone->error();
}

// The view as a station of the first release makes it at every connection.
constexpr const char* kVersionOneView = R"SQL(
CREATE OR REPLACE VIEW measurements AS
SELECT r.station AS station, p.number AS part, p.program AS program, r.label AS label,
       r.kind AS kind, r.value AS value, r.u AS u, r.unit AS unit, t.nominal AS nominal,
       CASE WHEN t.label IS NULL THEN NULL
            WHEN t.lower = -t.upper THEN t.upper::text
            ELSE (CASE WHEN t.upper >= 0 THEN '+' ELSE '' END) || t.upper::text || '/' ||
                 (CASE WHEN t.lower >= 0 THEN '+' ELSE '' END) || t.lower::text END AS tolerance,
       CASE WHEN t.label IS NULL OR r.value IS NULL OR (t.unit <> '' AND t.unit <> r.unit) THEN NULL
            WHEN r.value BETWEEN t.nominal + t.lower AND t.nominal + t.upper THEN 'pass'
            ELSE 'fail' END AS verdict,
       to_timestamp(r.taken_at) AS taken_at, r.source AS source, r.calibration AS calibration,
       r.number AS number, r.local_id AS row_id
FROM results r
LEFT JOIN parts p ON p.station = r.station AND p.local_id = r.part
LEFT JOIN tolerances t ON t.station = r.station AND t.label = r.label;
)SQL";
// A server as the first release left it: version 1, no identity column,
// and rows of a station that measured parts with identities.
const std::string kVersionOneServer = std::string(R"SQL(
CREATE TABLE schema_version(version INTEGER NOT NULL);
INSERT INTO schema_version VALUES(1);
CREATE TABLE parts(
  station TEXT NOT NULL, local_id BIGINT NOT NULL, number TEXT NOT NULL, program TEXT NOT NULL,
  verdict TEXT NOT NULL, identity TEXT NOT NULL, taken_at BIGINT NOT NULL,
  PRIMARY KEY(station, local_id));
CREATE TABLE results(
  station TEXT NOT NULL, local_id BIGINT NOT NULL, number BIGINT NOT NULL, taken_at BIGINT NOT NULL,
  solution TEXT NOT NULL, label TEXT NOT NULL, kind TEXT NOT NULL, value DOUBLE PRECISION,
  unit TEXT NOT NULL, u DOUBLE PRECISION, source TEXT NOT NULL, calibration TEXT NOT NULL,
  note TEXT NOT NULL, part BIGINT, PRIMARY KEY(station, local_id));
CREATE INDEX results_label ON results(label);
CREATE TABLE tolerances(
  station TEXT NOT NULL, label TEXT NOT NULL, nominal DOUBLE PRECISION NOT NULL,
  upper DOUBLE PRECISION NOT NULL, lower DOUBLE PRECISION NOT NULL, unit TEXT NOT NULL,
  PRIMARY KEY(station, label));
)SQL") + kVersionOneView + R"SQL(
INSERT INTO parts VALUES('old', 1, '7', 'FLANGE', 'pass', 'SN-7', 0);
INSERT INTO results VALUES('old', 1, 1, 0, '', 'bore', 'length', 10, 'mm', NULL, '', '', '', 1);
INSERT INTO results VALUES('old', 2, 2, 0, '', 'L2', 'length', 2, 'mm', NULL, '', '', '', NULL);
SELECT count(*) FROM results;
)SQL";

// Two stations find a version 1 server at once: it is brought to version 2
// once, its rows kept, and every row's part identity arrives (the typed
// one, the part's, or none), in the tables and in the window; a station of
// the earlier release can still connect.
TEST_F(ResultsServer, AVersionOneServerIsMigratedAndRowsKeepTheirPartIdentity) {
  ASSERT_EQ(server_.Query(kVersionOneServer), "2\n");
  ::unsetenv(kResultsUrlVariable);
  testing::StationFixture a, b;
  ResultRow typed = Length(1.0);
  typed.part = "T-1";
  AddResult(a.station, typed);
  AddResult(a.station, Length(2.0));
  PartRecord part;
  part.number = "9";
  part.identity = "SN-9";
  ASSERT_NE(AddPart(b.station, part, {Length(3.0)}).id, 0u);
  bool b_named = false;
  std::thread other([&] { b_named = SetResultsServer(b.station, server_.url(), "B"); });
  ASSERT_TRUE(SetResultsServer(a.station, server_.url(), "A"));
  other.join();
  ASSERT_TRUE(b_named);
  ASSERT_TRUE(SyncResults(a.station, 20.0)) << ResultsServerStatus(a.station);
  ASSERT_TRUE(SyncResults(b.station, 20.0)) << ResultsServerStatus(b.station);
  EXPECT_EQ(server_.Query("SELECT version FROM schema_version"), "2\n");
  const std::string expected[][2] = {{"old", "SN-7"}, {"old", ""}, {"A", "T-1"}, {"A", ""}, {"B", "SN-9"}};
  std::string view;
  for (const auto& [station, identity] : expected) view += station + "|" + identity + "\n";
  EXPECT_EQ(server_.Query("SELECT r.station, COALESCE(NULLIF(r.identity, ''), p.identity, '') FROM results r "
                          "LEFT JOIN parts p ON p.station = r.station AND p.local_id = r.part "
                          "ORDER BY r.station = 'old' DESC, r.station, r.number"),
            view);
  // A station of the earlier release still connects: its view is this one's.
  EXPECT_EQ(server_.Query(kVersionOneView + std::string("SELECT count(*) FROM measurements;")), "5\n");
  std::unique_ptr<ResultsSource> source = ServerResults(server_.url());
  ASSERT_EQ(source->Select({}), 5) << source->error();
  std::vector<ShownRow> rows;
  ASSERT_TRUE(source->Read(0, 5, &rows)) << source->error();
  std::string shown;
  for (const ShownRow& r : rows) shown += r.station + "|" + r.row.part + "\n";
  EXPECT_EQ(shown, "A|T-1\nA|\nB|SN-9\nold|SN-7\nold|\n");
}

// The connection string as Set-Up shows it back: never its password.
TEST(ResultsServerUrl, PasswordsAreMaskedAndKeptWhenTheFieldIsLeftAsShown) {
  const struct {
    const char* url;
    const char* shown;
  } cases[] = {
      {"host=db dbname=results user=qa password=secret", "host=db dbname=results user=qa password=********"},
      {"password = 'se cr\\'et' host=db", "password = ******** host=db"},
      {"postgresql://qa:secret@db:5432/results", "postgresql://qa:********@db:5432/results"},
      {"postgres://db/results?user=qa&password=secret&sslmode=require",
       "postgres://db/results?user=qa&password=********&sslmode=require"},
      {"postgresql://qa@db/results", "postgresql://qa@db/results"},
      {"host=db passwordless=1", "host=db passwordless=1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MaskedServerUrl(c.url), c.shown) << c.url;
    EXPECT_EQ(TypedServerUrl(c.shown, c.url), c.url);
  }
  EXPECT_EQ(TypedServerUrl("host=other", "host=db password=x"), "host=other");
}

} // namespace
} // namespace orvane
