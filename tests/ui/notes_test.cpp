// What the station says where its extensions speak: the hint for a click on
// the live picture, where Save put the picture, and the picture saved with
// its overlay under its own name.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "acquisition/acquisition.h"
#include "acquisition/camera_capture.h"
#include "platform/video/virtual_camera.h"
#include "ui/commands.h"
#include "ui/live_hint.h"
#include "ui/save_image.h"
#include "ui/status.h"
#include "results/session.h"
#include "ui/ui_support.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::Started;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// B, G, R of image pixel (x, y) of a 24-bit bottom-up BMP file as the
// station writes it.
std::string BmpPixel(const std::string& file, uint32_t width, uint32_t height, uint32_t x, uint32_t y) {
  const size_t stride = (size_t{width} * 3 + 3) & ~size_t{3};
  return file.substr(54 + (height - 1 - y) * stride + x * 3, 3);
}

TEST(LiveClickHint, OnlyAPressOnTheShownLivePictureWithGrabAtHand) {
  Started s({1280, 1024}, "orvane", [](Station& st) {
    video::VirtualCameraConfig config;
    config.formats = {video::MakeVirtualFormat(320, 240, video::kCompressionRgb)};
    config.noise = false;
    UseVideoBackend(st, video::MakeVirtualBackend(config));
  });
  ASSERT_TRUE(s.started);
  Station& st = *s.station;
  ASSERT_TRUE(s.surface.IsVisible(ControlId::LiveVideo));
  struct Case {
    MouseEvent event;
    bool hint;
  };
  for (const Case& c : {Case{MouseEvent::LeftDown, true}, Case{MouseEvent::RightDown, false},
                        Case{MouseEvent::LeftUp, false}, Case{MouseEvent::RightUp, false},
                        Case{MouseEvent::Move, false}}) {
    EXPECT_EQ(LiveClickHint(st, c.event).has_value(), c.hint) << static_cast<int>(c.event);
  }
  OnLiveAreaMouse(st, MouseEvent::LeftDown);
  ASSERT_EQ(s.surface.notes(), std::vector<std::string>{kGrabToMeasure});

  s.surface.Enable(ControlId::Grab, false);
  EXPECT_FALSE(LiveClickHint(st, MouseEvent::LeftDown));
  s.surface.Enable(ControlId::Grab, true);

  // A grabbed picture takes the clicks: no hint.
  OnCommand(st, ControlId::Grab);
  ASSERT_FALSE(s.surface.IsVisible(ControlId::LiveVideo));
  EXPECT_FALSE(LiveClickHint(st, MouseEvent::LeftDown));
  OnCommand(st, ControlId::Live);
  EXPECT_TRUE(LiveClickHint(st, MouseEvent::LeftDown));
  OnCommand(st, ControlId::File);
  EXPECT_FALSE(LiveClickHint(st, MouseEvent::LeftDown));
}

class SavedPictures : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(s.started);
    im = &s.station->image;
    // A grey picture with one overlay pixel, composed as the view shows it.
    std::fill(im->frame, im->frame + im->size, uint8_t{90});
    std::fill(im->overlay, im->overlay + im->size, uint8_t{0});
    uint8_t* mark = im->overlay + 7 * im->stride + 5 * 3;
    mark[0] = 1, mark[1] = 2, mark[2] = 250;
    ComposeDisplay(*s.station, im->frame);
  }
  fs::path Saved(const std::string& name) const { return s.dir->path() / "Saved" / name; }

  Started s;
  ImageState* im = nullptr;
};

TEST_F(SavedPictures, SaveSaysWhereThePictureWentOrWhyNot) {
  Station& st = *s.station;
  st.settings.image_save_preference = 0;
  SaveCommand(st);
  ASSERT_TRUE(fs::exists(Saved("IMAGE0.BMP")));
  ASSERT_EQ(s.surface.notes().size(), 1u);
  EXPECT_EQ(s.surface.notes()[0], "Picture saved: " + fs::absolute(Saved("IMAGE0.BMP")).lexically_normal().string());
  // The plain save keeps the picture without its overlay.
  EXPECT_EQ(BmpPixel(ReadAll(Saved("IMAGE0.BMP")), im->width, im->height, 5, 7), std::string(3, char(90)));

  fs::remove_all(s.dir->path() / "Saved");
  std::ofstream(s.dir->path() / "Saved") << "a file where the folder goes";
  SaveCommand(st);
  ASSERT_EQ(s.surface.notes().size(), 2u);
  EXPECT_EQ(s.surface.notes()[1].rfind("Picture not saved: ", 0), 0u) << s.surface.notes()[1];
}

TEST_F(SavedPictures, AnnotatedPictureHasTheOverlayAndItsOwnName) {
  Station& st = *s.station;
  st.settings.save_counter = 4;
  SaveAnnotatedCommand(st);
  SaveAnnotatedCommand(st);
  EXPECT_EQ(st.settings.save_counter, 4u) << "the plain saves' numbering is left alone";
  const std::string first = ReadAll(Saved("IMAGE4-annotated.BMP"));
  ASSERT_EQ(first.size(), 54 + size_t{im->height} * ((im->width * 3 + 3) & ~3u));
  EXPECT_EQ(ReadAll(Saved("IMAGE5-annotated.BMP")), first);
  EXPECT_EQ(BmpPixel(first, im->width, im->height, 5, 7), std::string("\x01\x02\xFA", 3));
  EXPECT_EQ(BmpPixel(first, im->width, im->height, 6, 7), std::string(3, char(90)));
  ASSERT_EQ(s.surface.notes().size(), 2u);
  EXPECT_NE(s.surface.notes()[1].find("IMAGE5-annotated.BMP"), std::string::npos);

  std::string error;
  EXPECT_EQ(SaveAnnotatedPicture(st, s.dir->path() / "mine.bmp", &error), s.dir->path() / "mine.bmp");
  EXPECT_EQ(ReadAll(s.dir->path() / "mine.bmp"), first);
  EXPECT_FALSE(SaveAnnotatedPicture(st, s.dir->path() / "none" / "x.bmp", &error));
  EXPECT_FALSE(error.empty());
}

// Each step's notices reach the picture together, once, in the order said;
// a step that said nothing leaves the window alone.
TEST(PendingNotices, ShownOnceAsOneNotePerStep) {
  Started s;
  ASSERT_TRUE(s.started);
  Station& st = *s.station;
  EXPECT_FALSE(ShowPendingNotices(st));
  EXPECT_FALSE(st.results) << "showing notices opens no results";

  struct Step {
    std::vector<std::string> queued;
    std::string note; // empty: none shown
  };
  const Step steps[] = {
      {{}, ""},
      {{"program run: part 1 pass"}, "program run: part 1 pass"},
      {{"program run: part not found", "program run: part 2 fail (no code read)", "report saved \"P2.pdf\""},
       "program run: part not found; program run: part 2 fail (no code read); report saved \"P2.pdf\""},
      {{}, ""},
  };
  std::vector<std::string> expected_notes = s.surface.notes();
  for (const Step& step : steps) {
    ResultsOf(st).pending_notices = step.queued;
    EXPECT_EQ(ShowPendingNotices(st), !step.note.empty()) << step.note;
    if (!step.note.empty()) expected_notes.push_back(step.note);
    EXPECT_EQ(s.surface.notes(), expected_notes);
    EXPECT_TRUE(ResultsOf(st).pending_notices.empty());
    EXPECT_FALSE(ShowPendingNotices(st)) << "shown twice: " << step.note;
  }
}

} // namespace
} // namespace orvane
