// Where orvane-batch puts the station's notes: apart from its output, which
// stays line for line what it was before the notes.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "batch/script.h"
#include "results/session.h"
#include "support/station_fixture.h"

namespace orvane::batch {
namespace {

TEST(BatchNotes, SaveSaysWhereThePictureWentOnTheNotesStreamOnly) {
  testing::TempDir dir;
  std::istringstream in("start\nsetup save-preference 0\nsetup-close\nclick Set-Up\nclick Save\n"
                        "expect-file Saved/IMAGE0.BMP\n");
  std::ostringstream out;
  std::ostringstream notes;
  Options options;
  options.folder = dir.path();
  options.notes = &notes;
  EXPECT_EQ(RunScript(in, out, options), kScriptOk) << out.str();
  EXPECT_EQ(out.str(), "dialog \"General Set-Up\" -> ok\n");
  const std::string where = (dir.path() / "Saved" / "IMAGE0.BMP").lexically_normal().string();
  EXPECT_EQ(notes.str(), "note \"Picture saved: " + where + "\"\n");
}

// The inspected parts the database holds, as the Results window counts them.
TEST(BatchResults, PrintsTheCountsOfInspectedParts) {
  testing::TempDir dir;
  const auto counts = [&dir] {
    std::istringstream in("start\nprint part-counts\n");
    std::ostringstream out;
    Options options;
    options.folder = dir.path();
    EXPECT_EQ(RunScript(in, out, options), kScriptOk) << out.str();
    return out.str();
  };
  EXPECT_EQ(counts(), "part-counts \"\"\n");
  {
    FakeSurface surface;
    ManualClock clock;
    Station st(dir.path(), &surface, &clock);
    for (const char* verdict : {"pass", "fail", "pass"}) {
      PartRecord part;
      part.number = "1";
      part.verdict = verdict;
      ResultRow row;
      row.kind = kKindLength;
      row.value = 1.0;
      ASSERT_NE(AddPart(st, part, {row}).id, 0u);
    }
  }
  EXPECT_EQ(counts(), "part-counts \"Parts: 3 inspected, 2 passed, 1 failed, yield 66.7 %\"\n");
}

} // namespace
} // namespace orvane::batch
