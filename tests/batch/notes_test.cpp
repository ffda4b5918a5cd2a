// Where orvane-batch puts the station's notes: apart from its output, which
// stays line for line what it was before the notes.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "batch/script.h"
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

} // namespace
} // namespace orvane::batch
