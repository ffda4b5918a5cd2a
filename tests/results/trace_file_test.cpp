// The traceability settings file: what it takes and refuses, and the
// running numbers and the operator kept across a restart of the station.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "results/session.h"
#include "results/trace_file.h"
#include "support/station_fixture.h"
#include "workspace/files.h"

namespace orvane::testing {
namespace {

TEST(TraceFile, ReadsWhatItWritesAndRefusesDamageByLine) {
  TraceSettings s;
  s.operator_name = "K. Tester (night shift)";
  s.counters = {{"LOT7-", 12}, {"A", 99999999}};
  s.report_folder = "reports/line 2";
  s.report_auto = true;
  std::string error;
  const std::string text = TraceSettingsText(s);
  EXPECT_EQ(ParseTraceSettings(text, &error), s) << error;
  EXPECT_EQ(TraceSettingsText(TraceSettings{}), "# ORVANE traceability settings (see orvane-batch(1))\norvane-trace 1\n");
  const struct {
    const char* text;
    const char* error; // empty: taken
  } cases[] = {
      {"orvane-trace 1\r\n\n# note\noperator  A  B \r\n", ""},
      {"", "line 1: not a traceability file"},
      {"orvane-trace 2\n", "line 1: not a traceability file of a known version"},
      {"orvane-trace 1\ncounter P 100000000\n", "line 2: counter PREFIX N, N a whole number up to 99999999"},
      {"orvane-trace 1\ncounter P -1\n", "line 2: counter PREFIX N, N a whole number up to 99999999"},
      {"orvane-trace 1\ncounter a:b 1\n", "line 2: counter PREFIX N, N a whole number up to 99999999"},
      {"orvane-trace 1\ncounter P 1\ncounter P 2\n", "line 3: counter P twice"},
      {"orvane-trace 1\nreport-auto yes\n", "line 2: report-auto on|off"},
      {"orvane-trace 1\nreport-folder\n", "line 2: a report folder is one line of text"},
      {"orvane-trace 1\noperator a\x01" "b\n", "line 2: an operator is one line of text"},
      {"orvane-trace 1\nshift 3\n", "line 2: unknown record \"shift\""},
  };
  for (const auto& c : cases) {
    error.clear();
    const std::optional<TraceSettings> read = ParseTraceSettings(c.text, &error);
    EXPECT_EQ(read.has_value(), *c.error == '\0') << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
  EXPECT_EQ(ParseTraceSettings(cases[0].text, &error)->operator_name, "A  B");
}

// Numbers go on from where the last session left them, per prefix; the
// operator is kept; a damaged file is said, never written over, and gives
// no number (so none is given twice once it is mended).
TEST(TraceFile, RunningNumbersAndOperatorAcrossRestarts) {
  TempDir dir;
  std::string why;
  {
    FakeSurface surface;
    ManualClock clock;
    Station st(dir.path(), &surface, &clock);
    EXPECT_EQ(NextRunningIdentity(st, "LOT7-", &why), "LOT7-0001");
    EXPECT_EQ(NextRunningIdentity(st, "LOT7-", &why), "LOT7-0002");
    EXPECT_EQ(NextRunningIdentity(st, "B", &why), "B0001");
    EXPECT_EQ(ResultsOf(st).part_id, "B0001");
    EXPECT_FALSE(NextRunningIdentity(st, "no blanks", &why));
    EXPECT_TRUE(SetOperator(st, "K. Tester", &why)) << why;
  }
  {
    FakeSurface surface;
    ManualClock clock;
    Station st(dir.path(), &surface, &clock);
    EXPECT_EQ(ResultsOf(st).operator_name, "K. Tester");
    EXPECT_EQ(NextRunningIdentity(st, "LOT7-", &why), "LOT7-0003");
  }
  EXPECT_EQ(RunningIdentity("X", 123456), "X123456");
  std::ofstream(dir.path() / kTraceFileName) << "orvane-trace 1\ncounter LOT7- 3\nbroken\n";
  FakeSurface surface;
  ManualClock clock;
  Station st(dir.path(), &surface, &clock);
  EXPECT_EQ(ResultsOf(st).notice, "TRACE.CFG was not read (line 3: unknown record \"broken\"); it is left as it is "
                                  "and not written");
  EXPECT_FALSE(NextRunningIdentity(st, "LOT7-", &why));
  EXPECT_EQ(why, "TRACE.CFG is damaged and is not written over");
  EXPECT_FALSE(SetOperator(st, "Z", &why));
  EXPECT_EQ(ResultsOf(st).operator_name, "Z") << "named on this session's reports all the same";
  std::stringstream kept;
  kept << std::ifstream(dir.path() / kTraceFileName).rdbuf();
  EXPECT_EQ(kept.str(), "orvane-trace 1\ncounter LOT7- 3\nbroken\n");
  // No report or saved picture is ever written over it.
  EXPECT_TRUE(IsStationFile(dir.path(), dir.path() / kTraceFileName));
}

} // namespace
} // namespace orvane::testing
