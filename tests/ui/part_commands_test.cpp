// The window's Teach part and Find part, headless: taught from the newest
// ROI, found in a picture where the plate moved and turned, its frame, edges
// and score drawn on the overlay and gone with the picture.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "inspect/part.h"
#include "inspect/program_session.h"
#include "results/session.h"
#include "solutions/measurement.h"
#include "ui/commands.h"
#include "ui/part_commands.h"
#include "ui/ui_support.h"
#include "tests/inspect/plate_station.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::Started;

std::string Picture(const char* name) {
  const fs::path fixtures(ORVANE_FIXTURES);
  const fs::path sample = fixtures.parent_path().parent_path() / "samples" / name;
  return (fs::exists(sample) ? sample : fixtures / "part_story" / name).string();
}

// Overlay pixels of the colour (B, G, R as the overlay holds them).
size_t CountColour(const Station& st, uint8_t r, uint8_t g, uint8_t b) {
  size_t n = 0;
  for (uint32_t i = 0; i + 2 < st.image.size; i += 3) {
    n += st.image.overlay[i] == b && st.image.overlay[i + 1] == g && st.image.overlay[i + 2] == r;
  }
  return n;
}
size_t FramePixels(const Station& st) { return CountColour(st, 255, 1, 255); }
size_t EdgePixels(const Station& st) { return CountColour(st, 1, 255, 128); }

void AddRoi(SolutionRecord& rec, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  RoiRecord& r = rec.rois[rec.roi_count++];
  r = {};
  r.left = left, r.top = top, r.right = right, r.bottom = bottom;
  r.width = right - left, r.height = bottom - top;
}

TEST(PartCommands, TaughtFromTheNewestRoiFoundAndDrawnUntilTheNextPicture) {
  Started s;
  Station& st = *s.station;
  ASSERT_TRUE(DropStillFile(st, Picture("PART.BMP")));
  st.working->roi_count = 0;
  TeachPartCommand(st);
  EXPECT_EQ(s.Text(ControlId::ResultLine), "Part not taught");
  EXPECT_EQ(s.surface.notes().back(), "Part not taught: draw an ROI around the part first");
  FindPartCommand(st);
  EXPECT_EQ(s.Text(ControlId::ResultLine), "Part not found");
  EXPECT_EQ(s.surface.notes().back(), "Part not searched: no part is taught");

  AddRoi(*st.working, 10, 10, 60, 60); // flat background: not the one taken
  AddRoi(*st.working, 110, 80, 529, 399);
  EXPECT_EQ(CurrentRoiRect(st).value().x1, 530.0);
  TeachPartCommand(st);
  EXPECT_EQ(s.Text(ControlId::ResultLine).rfind("Part taught: ", 0), 0u) << s.Text(ControlId::ResultLine);
  EXPECT_EQ(FramePixels(st), 0u);

  ASSERT_TRUE(DropStillFile(st, Picture("PART-TURNED.BMP")));
  FindPartCommand(st);
  ASSERT_EQ(PartOf(st).shown.size(), 1u);
  const PartPose pose = PartOf(st).shown[0];
  const std::string words = PartPoseWords(pose);
  const std::string score = words.substr(words.rfind(' ') + 1);
  EXPECT_EQ(s.Text(ControlId::ResultLine), "Part found: score " + score);
  const std::string note = s.surface.notes().back();
  EXPECT_EQ(note.rfind("Part found at 332.", 0), 0u) << note;
  const size_t turned = note.find(", turned ");
  ASSERT_NE(turned, std::string::npos) << note;
  EXPECT_NEAR(std::stod(note.substr(turned + 9)), 25.0, 0.02) << note;
  // The origin cross at the found centre, the edges where the model puts
  // them in the found pose, the score beside.
  const size_t origin = (size_t{232} * st.image.width + 332) * 3;
  EXPECT_EQ(st.image.overlay[origin], 255);
  EXPECT_GT(FramePixels(st), 300u);
  EXPECT_GT(EdgePixels(st), 500u);
  qgPoint at{}, normal{};
  ASSERT_EQ(qgPartModelPoint(PartOf(st).model(), 0, &at, &normal), QG_OK);
  double x = 0, y = 0;
  PartToPicture(pose, at.x, at.y, &x, &y);
  EXPECT_EQ(st.image.overlay[(size_t(y) * st.image.width + size_t(x)) * 3 + 1], 255);
  bool score_drawn = false;
  for (const OverlayText& t : st.overlay_texts) score_drawn |= t.text == score;
  EXPECT_TRUE(score_drawn);

  // Redrawn over the same picture the marks stay; a new picture has none.
  RedrawOverlay(st);
  EXPECT_GT(EdgePixels(st), 500u);
  ASSERT_TRUE(DropStillFile(st, Picture("TARGET.BMP")));
  EXPECT_EQ(FramePixels(st) + EdgePixels(st), 0u);
  FindPartCommand(st);
  EXPECT_EQ(s.Text(ControlId::ResultLine), "Part not found");
  EXPECT_EQ(FramePixels(st) + EdgePixels(st), 0u);
}

// The Program window's identity controls reach what orvane-batch's
// `program part-id X Y W H` and `part-id next PREFIX` reach.
TEST(PartCommands, CodeRegionFromTheNewestRoiAndRunningIdentities) {
  Started s;
  Station& st = *s.station;
  std::string why;
  AddRoi(*st.working, 300, 200, 340, 230);
  EXPECT_FALSE(CodeRegionFromRoi(st, &why));
  EXPECT_NE(why.find("no program is open"), std::string::npos) << why;
  testing::TeachPlateProgram(st);
  st.working->roi_count = 0;
  EXPECT_FALSE(CodeRegionFromRoi(st, &why));
  EXPECT_EQ(why, "draw an ROI around the part's code first");
  EXPECT_FALSE(ProgramOf(st).program->code_region);

  AddRoi(*st.working, 10, 10, 20, 20);
  AddRoi(*st.working, 300, 200, 340, 230); // the newest: the one taken
  ASSERT_TRUE(CodeRegionFromRoi(st, &why)) << why;
  const std::optional<CodeRegion> from_roi = ProgramOf(st).program->code_region;
  ASSERT_TRUE(SetCodeRegion(st, CodeRegion{300, 200, 41, 31}, &why)) << why;
  EXPECT_EQ(from_roi, ProgramOf(st).program->code_region) << "the ROI's pixels, inclusive";

  struct Next {
    const char* prefix;
    const char* identity; // nullptr: refused, the identity kept
  };
  const Next nexts[] = {{"LOT-", "LOT-0001"}, {"LOT-", "LOT-0002"}, {"B", "B0001"}, {"two words", nullptr}, {"", nullptr}};
  std::string kept;
  for (const Next& n : nexts) {
    const std::optional<std::string> got = UseNextRunningIdentity(st, n.prefix, &why);
    if (n.identity != nullptr) kept = n.identity;
    EXPECT_EQ(got.has_value(), n.identity != nullptr) << n.prefix;
    EXPECT_EQ(got.value_or(""), n.identity != nullptr ? n.identity : "") << n.prefix;
    EXPECT_EQ(ResultsOf(st).part_id, kept) << n.prefix;
  }
}

} // namespace
} // namespace orvane
