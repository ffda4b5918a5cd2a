#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "acquisition/acquisition.h"
#include "acquisition/bmp_file.h"
#include "acquisition/file_mode.h"
#include "acquisition/pixels.h"
#include "acquisition/still_test_images.h"
#include "platform/pixora/include/pixora.h"
#include "station/workspace.h"
#include "support/station_fixture.h"
#include "ui/commands.h"
#include "ui/save_image.h"
#include "ui/status.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using testing::MakeBmp;

struct DrawnText {
  int32_t x, y;
  std::string text;
  Rgb colour;
};

class StillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OpenWorkspace(st);
    st.working->option_index = 0;           // colour
    st.settings.image_save_preference = 0;  // BMP
    st.overlay_text_observer = [this](int32_t x, int32_t y, std::string_view text, Rgb c) {
      texts.push_back({x, y, std::string(text), c});
    };
  }

  // A camera image of 640 x 480 whose bytes count up, as the camera capture
  // would have it installed.
  void InstallCamera() {
    ImageState& im = st.image;
    im.width = 640;
    im.height = 480;
    im.stride = 640 * 3;
    im.size = 640 * 480 * 3;
    st.camera_buffers.Allocate(im.size);
    for (uint32_t i = 0; i < im.size; ++i) st.camera_buffers.frame[i] = uint8_t(i * 31 + 7);
    st.camera_buffers.overlay[5] = 9;
    im.frame = st.camera_buffers.frame.data();
    im.overlay = st.camera_buffers.overlay.data();
    im.display = st.camera_buffers.display.data();
    PublishGeometry(st);
  }

  fs::path Put(const std::string& name, const Bytes& bytes) {
    const fs::path path = f.dir.path() / name;
    testing::WriteBytes(path, bytes.data(), bytes.size());
    return path;
  }

  // Loads the file of that name in File mode.
  uint32_t Load(const std::string& name) {
    if (st.image.file_mode == 0) EnterFileMode(st);
    st.image.still_path = name;
    texts.clear();
    return LoadStillImage(st);
  }

  void ExpectBlankImage() {
    const ImageState& im = st.image;
    EXPECT_EQ(im.width, 800u);
    EXPECT_EQ(im.height, 600u);
    EXPECT_EQ(im.stride, 2400u);
    EXPECT_EQ(im.size, 1440000u);
    ASSERT_NE(im.frame, nullptr);
    EXPECT_EQ(im.frame, st.file_buffers.frame.data());
    EXPECT_EQ(Bytes(im.frame, im.frame + im.size), Bytes(im.size, 0));
    ASSERT_GE(texts.size(), 2u);
    const DrawnText& a = texts[texts.size() - 2];
    const DrawnText& b = texts.back();
    EXPECT_EQ(a.text, "Drag and Drop");
    EXPECT_EQ(a.x, 280);
    EXPECT_EQ(a.y, 264);
    EXPECT_EQ(b.text, " Files Here");
    EXPECT_EQ(b.x, 280);
    EXPECT_EQ(b.y, 300);
    EXPECT_EQ(a.colour.r, 255);
    EXPECT_EQ(a.colour.g, 1);
    EXPECT_EQ(a.colour.b, 255);
    // The text is in the display, composed over the black frame.
    EXPECT_NE(Bytes(im.display, im.display + im.size), Bytes(im.size, 0));
    EXPECT_EQ(st.view.bits, im.display);
  }

  std::vector<LoggedMessageBox> Messages() const { return f.surface.message_boxes(); }

  testing::StationFixture f;
  Station& st = f.station;
  std::vector<DrawnText> texts;
};

TEST_F(StillTest, EnteringShowsTheBlankImageEvenWithAValidStillPath) {
  InstallCamera();
  Put("good.bmp", MakeBmp(3, 2, 24));
  st.image.still_path = "good.bmp";
  EnterFileMode(st);
  EXPECT_EQ(st.image.file_mode, 1u);
  ExpectBlankImage();
  EXPECT_FALSE(f.surface.IsEnabled(ControlId::Live));
  EXPECT_EQ(f.surface.control(ControlId::File).colour_state, 1u);
  EXPECT_EQ(f.surface.GetText(ControlId::ModeIndicator), "File");
  EXPECT_TRUE(f.surface.IsVisible(ControlId::ImageView));
  EXPECT_FALSE(f.surface.IsVisible(ControlId::LiveVideo));
  EXPECT_TRUE(Messages().empty());

  // The first acquisition loads it.
  EXPECT_EQ(AcquireFrame(st), 24u);
  EXPECT_EQ(st.image.width, 3u);
  EXPECT_EQ(st.image.height, 2u);
  EXPECT_TRUE(testing::FrameHoldsPattern(st.image));
  EXPECT_EQ(st.view.width, 3);
}

TEST_F(StillTest, LeavingRestoresTheCameraImageExactly) {
  InstallCamera();
  const Bytes camera_frame = st.camera_buffers.frame;
  uint8_t* const frame = st.image.frame;
  uint8_t* const overlay = st.image.overlay;
  uint8_t* const display = st.image.display;

  EnterFileMode(st);
  EnterFileMode(st); // a second entry must not put the file image aside
  EXPECT_EQ(st.saved_image.frame, frame);
  EXPECT_EQ(st.saved_image.width, 640u);
  EXPECT_EQ(st.saved_image.size, 640u * 480 * 3);
  Put("good.bmp", MakeBmp(5, 3, 32));
  EXPECT_EQ(Load("good.bmp"), 16u * 3);
  EXPECT_EQ(Load("missing.bmp"), 0u);
  EXPECT_EQ(Load("good.bmp"), 16u * 3);

  LeaveFileMode(st);
  LeaveFileMode(st);
  const ImageState& im = st.image;
  EXPECT_EQ(im.file_mode, 0u);
  EXPECT_EQ(im.frame, frame);
  EXPECT_EQ(im.overlay, overlay);
  EXPECT_EQ(im.display, display);
  EXPECT_EQ(im.width, 640u);
  EXPECT_EQ(im.height, 480u);
  EXPECT_EQ(im.stride, 1920u);
  EXPECT_EQ(im.size, 640u * 480 * 3);
  EXPECT_EQ(st.camera_buffers.frame, camera_frame);
  EXPECT_EQ(st.camera_buffers.overlay[5], 9);
  EXPECT_TRUE(st.file_buffers.empty());
  EXPECT_EQ(st.saved_image.frame, nullptr);
  EXPECT_EQ(st.view.width, 640);
  EXPECT_EQ(st.engine.frame, frame);
  EXPECT_TRUE(f.surface.IsEnabled(ControlId::Live));
  EXPECT_EQ(f.surface.control(ControlId::File).colour_state, 0u);
  EXPECT_EQ(f.surface.GetText(ControlId::ModeIndicator), "Live");
  EXPECT_EQ(f.surface.GetText(ControlId::ImageStatus).rfind("640 x 480", 0), 0u);
}

// Where in each sequence the ROIs follow the new size: an ROI drawn over the
// middle quarter of the picture, and a log of the panel refreshes that end
// RescaleAllRois and of SizeView, each with what was published by then.
TEST_F(StillTest, RoisFollowEveryChangeOfSizeInItsPlace) {
  InstallCamera();
  RoiRecord& roi = st.working->rois[0];
  st.working->roi_count = 1;
  roi.rel_left = 0.25f;
  roi.rel_top = 0.5f;
  roi.rel_right = 0.5f;
  roi.rel_bottom = 0.75f;
  std::vector<std::string> log;
  auto entry = [&](const char* what) {
    return std::string(what) + " " + std::to_string(st.image.width) + "x" +
           std::to_string(st.image.height) + " published " + std::to_string(st.engine.width) +
           " status " + f.surface.GetText(ControlId::ImageStatus);
  };
  st.hooks.refresh_panel = [&] {
    LoadSolution(st, st.current_solution, st.working.get());
    log.push_back(entry("rois"));
  };
  st.hooks.size_view = [&] { log.push_back(entry("view")); };
  auto corners = [&] {
    const RoiRecord& r = st.working->rois[0];
    return std::vector<int32_t>{r.left, r.top, r.right, r.bottom};
  };
  f.surface.SetText(ControlId::ImageStatus, "camera");

  EnterFileMode(st);
  EXPECT_EQ(log, std::vector<std::string>{"rois 800x600 published 640 status camera"});
  EXPECT_EQ(corners(), (std::vector<int32_t>{200, 300, 400, 450}));

  log.clear();
  Put("small.bmp", MakeBmp(40, 20, 24));
  ASSERT_EQ(Load("small.bmp"), 120u * 20);
  EXPECT_EQ(log, (std::vector<std::string>{"view 40x20 published 40 status Loading...",
                                           "rois 40x20 published 40 status Loading..."}));
  EXPECT_EQ(corners(), (std::vector<int32_t>{10, 10, 20, 15}));

  log.clear();
  ASSERT_EQ(Load("missing.bmp"), 0u);
  EXPECT_EQ(log, (std::vector<std::string>{"view 800x600 published 800 status Loading...",
                                           "rois 800x600 published 800 status Loading..."}));
  EXPECT_EQ(corners(), (std::vector<int32_t>{200, 300, 400, 450}));

  log.clear();
  LeaveFileMode(st);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].rfind("rois 640x480 published 800 status ", 0), 0u) << log[0];
  EXPECT_EQ(log[1].rfind("view 640x480 published 640 status ", 0), 0u) << log[1];
  EXPECT_EQ(corners(), (std::vector<int32_t>{160, 240, 320, 360}));
  EXPECT_EQ(f.surface.GetText(ControlId::ImageStatus).rfind("640 x 480", 0), 0u);
}

TEST_F(StillTest, TheFileButtonTogglesAndCommitsFirst) {
  InstallCamera();
  int commits = 0;
  st.hooks.commit_edits = [&] {
    ++commits;
    EXPECT_EQ(commits % 2 == 1 ? 0u : 1u, st.image.file_mode) << "commit runs before the switch";
  };
  FileCommand(st);
  EXPECT_EQ(st.image.file_mode, 1u);
  FileCommand(st);
  EXPECT_EQ(st.image.file_mode, 0u);
  EXPECT_EQ(commits, 2);

  st.image.no_camera = 1;
  FileCommand(st);
  FileCommand(st);
  EXPECT_EQ(st.image.file_mode, 1u) << "no camera image to go back to";
  EXPECT_NE(st.image.frame, nullptr);
}

TEST_F(StillTest, LoadsTheExactLengthAndRefusesOneByteMore) {
  Bytes file = MakeBmp(3, 2, 24);
  ASSERT_EQ(file.size(), 78u);
  Put("ok.bmp", file);
  int sized = 0;
  st.hooks.size_view = [&] { ++sized; };
  EXPECT_EQ(Load("ok.bmp"), 24u);
  EXPECT_EQ(st.image.stride, 12u);
  EXPECT_TRUE(testing::FrameHoldsPattern(st.image));
  EXPECT_EQ(sized, 1);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(f.surface.GetText(ControlId::ImageStatus).rfind("3 x 2", 0), 0u);

  file.push_back(0);
  Put("long.bmp", file);
  EXPECT_EQ(Load("long.bmp"), 0u);
  ExpectBlankImage();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, "Unable to load file long.bmp.");
  EXPECT_EQ(Messages()[0].caption, ApplicationTitle());
  EXPECT_EQ(Messages()[0].buttons, MessageButtons::Ok);
}

TEST_F(StillTest, SidesAndRowOrder) {
  Put("wide.bmp", MakeBmp(8192, 2, 24));
  EXPECT_EQ(Load("wide.bmp"), 8192u * 3 * 2);
  EXPECT_TRUE(testing::FrameHoldsPattern(st.image));
  Put("wider.bmp", MakeBmp(8193, 2, 24));
  EXPECT_EQ(Load("wider.bmp"), 0u);
  EXPECT_EQ(Messages().size(), 1u);

  Put("down.bmp", MakeBmp(4, -3, 24));
  EXPECT_EQ(Load("down.bmp"), 12u * 3);
  EXPECT_EQ(st.image.height, 3u);
  EXPECT_TRUE(testing::FrameHoldsPattern(st.image));
}

TEST_F(StillTest, APaletteFileIsRefusedWithTheMessage) {
  Bytes palette(54 + 1024 + 8, 0);
  palette[0] = 'B';
  palette[1] = 'M';
  testing::Put32(palette, 2, uint32_t(palette.size()));
  testing::Put32(palette, 10, 54 + 1024);
  testing::Put32(palette, 14, 40);
  testing::Put32(palette, 18, 2);
  testing::Put32(palette, 22, 2);
  testing::Put16(palette, 26, 1);
  testing::Put16(palette, 28, 8);
  const fs::path path = Put("grey8.bmp", palette);
  EXPECT_EQ(Load(path.string()), 0u);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, "Unable to load file " + path.string() + ".");
  ExpectBlankImage();
}

TEST_F(StillTest, TheMessageIsCutTo127Characters) {
  const std::string name(200, 'n');
  EXPECT_EQ(Load(name), 0u);
  ASSERT_EQ(Messages().size(), 1u);
  const std::string full = "Unable to load file " + name + ".";
  EXPECT_EQ(Messages()[0].text, full.substr(0, 127));
}

TEST_F(StillTest, AnEmptyPathLoadsNothingAndSaysNothing) {
  EXPECT_EQ(Load(""), 0u);
  EXPECT_TRUE(Messages().empty());
  ExpectBlankImage();
  EXPECT_EQ(f.surface.GetText(ControlId::ImageStatus).rfind("800 x 600", 0), 0u);
}

TEST_F(StillTest, ColourModeOfTheWorkingSolutionApplies) {
  st.working->option_index = 3; // Monochrome(B)
  Put("c.bmp", MakeBmp(2, 2, 24));
  ASSERT_EQ(Load("c.bmp"), 16u);
  for (uint32_t y = 0; y < 2; ++y) {
    for (uint32_t x = 0; x < 2; ++x) {
      const uint8_t* p = st.image.frame + y * 8 + x * 3;
      EXPECT_EQ(p[1], testing::PatternB(x, y));
      EXPECT_EQ(p[2], testing::PatternB(x, y));
    }
  }
}

// A JPEG of the pattern, made by the conversion library from a BMP.
Bytes PatternJpeg(const fs::path& dir, int32_t w, int32_t h) {
  const fs::path bmp = dir / "src-for-jpeg.bmp";
  const Bytes src = MakeBmp(w, h, 24);
  testing::WriteBytes(bmp, src.data(), src.size());
  const fs::path jpg = dir / "made.jpg";
  EXPECT_EQ(cvtBMPTOJPEG("-quality", "100", bmp.c_str(), jpg.c_str()), PIXORA_OK);
  fs::remove(bmp);
  Bytes out = testing::ReadBytes(jpg);
  fs::remove(jpg);
  return out;
}

TEST_F(StillTest, AJpegIsKnownByItsFirstTwoBytesWhateverItsName) {
  const Bytes jpeg = PatternJpeg(f.dir.path(), 16, 8);
  ASSERT_GE(jpeg.size(), 2u);
  ASSERT_EQ(jpeg[0], 0xFF);
  ASSERT_EQ(jpeg[1], 0xD8);
  Put("photo.bmp", jpeg);
  ASSERT_EQ(Load("photo.bmp"), 16u * 3 * 8);
  EXPECT_TRUE(Messages().empty());
  int worst = 0;
  for (uint32_t y = 0; y < 8; ++y) {
    for (uint32_t x = 0; x < 16; ++x) {
      const uint8_t* p = st.image.frame + y * st.image.stride + x * 3;
      worst = std::max({worst, std::abs(p[0] - testing::PatternB(x, y)),
                        std::abs(p[1] - testing::PatternG(x, y)),
                        std::abs(p[2] - testing::PatternR(x, y))});
    }
  }
  EXPECT_LE(worst, 12);
  EXPECT_FALSE(fs::exists(f.dir.path() / kTempImageName));
}

// Sets the frame size in the JPEG's start-of-frame header.
void PatchJpegSize(Bytes& jpeg, uint16_t width, uint16_t height) {
  for (size_t i = 2; i + 9 < jpeg.size();) {
    ASSERT_EQ(jpeg[i], 0xFF);
    const uint8_t marker = jpeg[i + 1];
    const size_t length = size_t(jpeg[i + 2]) << 8 | jpeg[i + 3];
    if (marker >= 0xC0 && marker <= 0xC2) {
      jpeg[i + 5] = uint8_t(height >> 8);
      jpeg[i + 6] = uint8_t(height);
      jpeg[i + 7] = uint8_t(width >> 8);
      jpeg[i + 8] = uint8_t(width);
      return;
    }
    i += 2 + length;
  }
  FAIL() << "no frame header";
}

TEST_F(StillTest, AnOversizedJpegIsRefusedBeforeItsPixelsAreAllocated) {
  // 65000 x 65000 would need 12 GB of pixels: the header alone must refuse it
  // (under AddressSanitizer such an allocation would end the test).
  for (auto [w, h] : {std::pair<uint16_t, uint16_t>{65000, 65000}, {8193, 8}, {16, 8193}}) {
    Bytes jpeg = PatternJpeg(f.dir.path(), 16, 8);
    PatchJpegSize(jpeg, w, h);
    Put("huge.jpg", jpeg);
    EXPECT_EQ(Load("huge.jpg"), 0u) << w << " x " << h;
    ExpectBlankImage();
    EXPECT_FALSE(fs::exists(f.dir.path() / kTempImageName));
  }
  EXPECT_EQ(Messages().size(), 3u);
}

TEST_F(StillTest, AFailedConversionNeverLoadsAnOldTemporaryFile) {
  const Bytes old = MakeBmp(3, 2, 24);
  Put(kTempImageName, old);
  Put("broken.jpg", Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 0});
  EXPECT_EQ(Load("broken.jpg"), 0u);
  ExpectBlankImage();
  EXPECT_EQ(Messages().size(), 1u);
  EXPECT_FALSE(fs::exists(f.dir.path() / kTempImageName));
}

// A JPEG opens though "TEMPIMAGE.BMP" cannot be written in the working
// folder (here a folder holds its name): the conversion goes through a
// private temporary folder. A pipe dropped as a picture is refused at once.
TEST_F(StillTest, StillFilesNeitherNeedTheWorkingFolderNorHang) {
  fs::create_directory(f.dir.path() / kTempImageName);
  Put(std::string(kTempImageName) + "/keep", Bytes{1});
  Put("photo.jpg", PatternJpeg(f.dir.path(), 16, 8));
  EXPECT_EQ(Load("photo.jpg"), 16u * 3 * 8);
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(fs::is_directory(f.dir.path() / kTempImageName));

  ASSERT_EQ(::mkfifo((f.dir.path() / "pipe.jpg").c_str(), 0644), 0);
  EXPECT_EQ(Load("pipe.jpg"), 0u);
  ExpectBlankImage();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, "Unable to load file pipe.jpg.");
}

TEST_F(StillTest, ADropOutsideFileModeChangesNothing) {
  InstallCamera();
  Put("good.bmp", MakeBmp(3, 2, 24));
  const ImageState before = st.image;
  const Settings settings_before = st.settings;
  const uint32_t meas = st.working->meas_count = 2;
  EXPECT_FALSE(DropStillFile(st, (f.dir.path() / "good.bmp").string()));
  EXPECT_EQ(st.image.still_path, "");
  EXPECT_EQ(st.image.frame, before.frame);
  EXPECT_EQ(st.image.width, 640u);
  EXPECT_EQ(0, std::memcmp(&st.settings, &settings_before, sizeof(Settings)));
  EXPECT_EQ(st.working->meas_count, meas);
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(st.file_buffers.empty());
}

TEST_F(StillTest, ADropLoadsAndRemembersThePath) {
  EnterFileMode(st);
  const fs::path path = Put("good.bmp", MakeBmp(3, 2, 32));
  st.working->ui_flags |= kUiClearMeasOnFrame;
  st.working->meas_count = 2;
  st.view.set_complete = 0;
  EXPECT_TRUE(DropStillFile(st, path.string()));
  EXPECT_EQ(st.image.still_path, path.string());
  EXPECT_STREQ(st.settings.last_file_path, path.c_str());
  EXPECT_EQ(st.working->meas_count, 0u);
  EXPECT_EQ(st.view.set_complete, 1u);
  EXPECT_TRUE(testing::FrameHoldsPattern(st.image));
  // Shown: the display is the frame with the overlay over it.
  Bytes composed(st.image.size);
  ComposeBytes(st.image.frame, st.image.overlay, composed.data(), st.image.size);
  EXPECT_EQ(Bytes(st.image.display, st.image.display + st.image.size), composed);
  EXPECT_EQ(st.view.bits, st.image.display);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(StillTest, AFailedDropKeepsTheInvitation) {
  EnterFileMode(st);
  texts.clear();
  const std::string path = (f.dir.path() / "nothing-here.bmp").string();
  EXPECT_TRUE(DropStillFile(st, path));
  EXPECT_STREQ(st.settings.last_file_path, path.c_str());
  ExpectBlankImage();
  ASSERT_EQ(Messages().size(), 1u);
}

TEST_F(StillTest, ADroppedPathIsCutTo259Characters) {
  EnterFileMode(st);
  const std::string path = "/" + std::string(300, 'p');
  DropStillFile(st, path);
  EXPECT_EQ(st.image.still_path, path.substr(0, 259));
  EXPECT_EQ(std::string(st.settings.last_file_path), path.substr(0, 259));
}

// --- Save --------------------------------------------------------------------

class SaveTest : public StillTest {
 protected:
  void SetUp() override {
    StillTest::SetUp();
    Put("pic.bmp", MakeBmp(5, 3, 24));
    ASSERT_EQ(Load("pic.bmp"), 16u * 3);
    fs::create_directory(f.dir.path() / "Saved");
  }
  fs::path Saved(const std::string& name) const { return f.dir.path() / "Saved" / name; }
  void Touch(const std::string& name) { testing::WriteBytes(Saved(name), "x", 1); }
};

TEST_F(SaveTest, NamesSkipFilesThatExist) {
  EXPECT_EQ(SavedImageName(5, 0), "Saved\\IMAGE5.BMP");
  EXPECT_EQ(SavedImageName(12, 4), "Saved\\IMAGE12.JPG");
  EXPECT_EQ(SavedImageName(7, 6), "Saved\\IMAGE7");

  Touch("IMAGE3.BMP");
  Touch("IMAGE4.BMP");
  st.settings.save_counter = 3;
  st.settings.image_save_preference = 0;
  SaveCommand(st);
  EXPECT_TRUE(fs::exists(Saved("IMAGE5.BMP")));
  EXPECT_EQ(st.settings.save_counter, 6u);
  EXPECT_EQ(testing::ReadBytes(Saved("IMAGE3.BMP")), Bytes{'x'});

  // JPEG saves look only at .JPG names.
  st.settings.save_counter = 3;
  st.settings.image_save_preference = 1;
  SaveCommand(st);
  EXPECT_TRUE(fs::exists(Saved("IMAGE3.JPG")));
  EXPECT_EQ(st.settings.save_counter, 4u);
  st.settings.image_save_preference = 2;
  SaveCommand(st);
  EXPECT_TRUE(fs::exists(Saved("IMAGE4.JPG")));
  EXPECT_EQ(st.settings.save_counter, 5u);
  EXPECT_FALSE(fs::exists(f.dir.path() / kTempImageName));
}

TEST_F(SaveTest, CreatesTheFolderAndRestoresTheButton) {
  fs::remove(f.dir.path() / "Saved");
  int commits = 0;
  st.hooks.commit_edits = [&] {
    ++commits;
    EXPECT_EQ(f.surface.control(ControlId::Save).colour_state, 1u);
    EXPECT_FALSE(f.surface.IsEnabled(ControlId::Save));
  };
  SaveCommand(st);
  EXPECT_EQ(commits, 1);
  EXPECT_TRUE(fs::exists(Saved("IMAGE0.BMP")));
  EXPECT_EQ(st.settings.save_counter, 1u);
  EXPECT_TRUE(f.surface.IsEnabled(ControlId::Save));
  EXPECT_EQ(f.surface.control(ControlId::Save).colour_state, 0u);
}

TEST_F(SaveTest, BmpWithAndWithoutOverlay) {
  st.image.overlay[0] = 200;                  // pixel (0, 0), blue
  st.image.overlay[2 * 16 + 4 * 3 + 2] = 77;  // pixel (4, 2), red
  SaveCommand(st);
  st.settings.image_save_preference = 3;
  SaveCommand(st);

  const Bytes plain = testing::ReadBytes(Saved("IMAGE0.BMP"));
  const Bytes marked = testing::ReadBytes(Saved("IMAGE1.BMP"));
  ASSERT_EQ(plain.size(), 54u + 48);
  ASSERT_EQ(marked.size(), 54u + 48);
  ImageState im;
  ImageBuffers buffers;
  ASSERT_TRUE(DecodeBmp(plain.data(), plain.size(), 0, im, buffers));
  EXPECT_EQ(Bytes(im.frame, im.frame + im.size), Bytes(st.image.frame, st.image.frame + 48));
  ASSERT_TRUE(DecodeBmp(marked.data(), marked.size(), 0, im, buffers));
  Bytes want(st.image.frame, st.image.frame + 48);
  want[0] = 200;
  want[2 * 16 + 4 * 3 + 2] = 77;
  EXPECT_EQ(Bytes(im.frame, im.frame + im.size), want);
}

TEST_F(SaveTest, AnUnknownPreferenceWritesNothingButCounts) {
  st.settings.image_save_preference = 6;
  st.settings.save_counter = 2;
  SaveCommand(st);
  EXPECT_EQ(st.settings.save_counter, 3u);
  EXPECT_TRUE(fs::is_empty(f.dir.path() / "Saved"));
}

// A picture that cannot be written is said, naming it, with the reason; a
// pipe where a picture would go takes its number, and stays a pipe.
TEST_F(SaveTest, AFailedSaveIsSaidAndAPipeIsNeverReplaced) {
  for (uint32_t preference : {0u, 5u}) {
    st.settings.image_save_preference = preference;
    const std::string name = SavedImageName(st.settings.save_counter, preference);
    {
      testing::FileSizeLimit full_disk(50);
      SaveCommand(st);
    }
    ASSERT_FALSE(Messages().empty());
    EXPECT_EQ(Messages().back().text,
              "Unable to write " + st.PathOf(name).string() + ": File too large");
  }
  EXPECT_EQ(Messages().size(), 2u);
  ASSERT_EQ(::mkfifo(Saved("IMAGE2.JPG").c_str(), 0644), 0);
  SaveCommand(st);
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(Saved("IMAGE2.JPG"))));
  EXPECT_GT(fs::file_size(Saved("IMAGE3.JPG")), 2u);
  EXPECT_EQ(Messages().size(), 2u);
}

TEST_F(SaveTest, AJpegSaveLoadsBack) {
  st.settings.image_save_preference = 5;
  SaveCommand(st);
  const Bytes jpeg = testing::ReadBytes(Saved("IMAGE0.JPG"));
  ASSERT_GE(jpeg.size(), 2u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);
  EXPECT_EQ(Load((Saved("IMAGE0.JPG")).string()), 16u * 3);
  EXPECT_EQ(st.image.width, 5u);
}

// The quantisation tables of a JPEG file (every DQT segment's contents, in
// file order): they follow from the quality the encoder was given.
Bytes QuantTables(const Bytes& jpeg) {
  Bytes tables;
  for (size_t i = 2; i + 4 <= jpeg.size() && jpeg[i] == 0xFF && jpeg[i + 1] != 0xDA;) {
    const size_t length = size_t(jpeg[i + 2]) << 8 | jpeg[i + 3];
    if (jpeg[i + 1] == 0xDB && i + 2 + length <= jpeg.size()) {
      tables.insert(tables.end(), jpeg.begin() + long(i) + 4, jpeg.begin() + long(i + 2 + length));
    }
    i += 2 + length;
  }
  return tables;
}

TEST_F(SaveTest, JpegPreferencesEncodeAt95AndHqAt100) {
  // Reference tables: the same picture through the library at each quality.
  const fs::path ref_bmp = f.dir.path() / "ref.bmp";
  const Bytes block = FrameToBmpRows(st.image, false);
  ASSERT_NE(WriteBmpFile(ref_bmp, block.data(), uint32_t(block.size()), st.image), 0u);
  Bytes want[2];
  const char* qualities[2] = {"95", "100"};
  for (int q = 0; q < 2; ++q) {
    const fs::path ref_jpg = f.dir.path() / "ref.jpg";
    ASSERT_EQ(cvtBMPTOJPEG("-quality", qualities[q], ref_bmp.c_str(), ref_jpg.c_str()), PIXORA_OK);
    want[q] = QuantTables(testing::ReadBytes(ref_jpg));
  }
  ASSERT_FALSE(want[0].empty());
  ASSERT_NE(want[0], want[1]);

  struct Case {
    uint32_t preference;
    int quality;
  };
  uint32_t n = 0;
  for (const Case c : {Case{1, 0}, Case{2, 1}, Case{4, 0}, Case{5, 1}}) {
    SCOPED_TRACE(c.preference);
    st.settings.image_save_preference = c.preference;
    SaveCommand(st);
    const Bytes jpeg = testing::ReadBytes(Saved("IMAGE" + std::to_string(n++) + ".JPG"));
    EXPECT_EQ(QuantTables(jpeg), want[c.quality]);
  }
  EXPECT_FALSE(fs::exists(f.dir.path() / kTempImageName));
}

} // namespace
} // namespace orvane
