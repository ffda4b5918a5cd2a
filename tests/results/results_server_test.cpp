// The results server: a real PostgreSQL server started by the test in a
// temporary folder (as an unprivileged user, on a Unix socket there), fed
// from the station's outbox. Results arrive once, also when the server was
// down while they were recorded. Skipped where the server's programs are
// not installed.
#include <gtest/gtest.h>

#include <libpq-fe.h>
#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

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

} // namespace
} // namespace orvane
