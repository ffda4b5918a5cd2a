// The extensions' menu entries and display, headless: the keyboard and mouse
// help (and the README's copy of it), the rectification entry with its
// reason, and every result saying whether its picture was rectified.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "acquisition/camera_capture.h"
#include "acquisition/rectification.h"
#include "platform/video/virtual_camera.h"
#include "results/session.h"
#include "station/workspace.h"
#include "support/grid_support.h"
#include "support/station_fixture.h"
#include "ui/commands.h"
#include "ui/extension_menu.h"
#include "ui/help.h"
#include "view/measure_tools.h"

namespace orvane {
namespace {

TEST(KeyboardAndMouseHelp, NamesEveryGestureAndKeyAndTheReadmeCarriesIt) {
  const std::string help = KeyboardAndMouseHelp();
  for (const char* needle :
       {"Ctrl+click", "ROI, 2PT, 3PT", "CIR, LIN, MLIN", "Shift+click", "Alt+click", "Drag a point", "Shrink an ROI below 8 px",
        "Right-click (CIR, LIN, MLIN)", "Enter ", "clears the measurements", "+  -", "0  1", "\n  L ",
        "\n  F1 ", "\n  F2 ", "\n  T ", "\n  D ", "\n  E ", "\n  W ", "Ctrl+Z  Ctrl+Shift+Z", "Space+drag"}) {
    EXPECT_NE(help.find(needle), std::string::npos) << needle;
  }
  std::istringstream lines(help);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_LE(line.size(), 80u) << line;
    for (char c : line) EXPECT_TRUE(c >= ' ' && c <= '~') << line;
  }
  const std::filesystem::path readme = std::filesystem::path(ORVANE_FIXTURES).parent_path().parent_path() / "README.md";
  std::ifstream in(readme);
  ASSERT_TRUE(in) << readme;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("```\n" + help + "\n```"), std::string::npos) << "the README's cheat-sheet differs";
}

struct CameraStation : testing::StationFixture {
  CameraStation() { OpenWorkspace(station); }
  ~CameraStation() { CloseCamera(station); }
  void Camera(uint32_t w, uint32_t h) {
    video::VirtualCameraConfig config;
    config.source = "grid";
    config.formats = {video::MakeVirtualFormat(w, h, 0x32595559)};
    EXPECT_TRUE(video::ParseVirtualLens("k1=-0.2,tilt=10", &config.lens));
    UseVideoBackend(station, video::MakeVirtualBackend(config));
    ASSERT_TRUE(StartCamera(station, 0));
    station.hooks.update_status_line();
  }
  void Calibrate() { ASSERT_TRUE(testing::CalibrateVirtualGrid(station)); }
  std::string NoteOfNewRow() {
    ResultRow row;
    row.kind = kKindLength;
    row.note = "distance 24 in";
    return AddResult(station, row).note;
  }
};

TEST(RectificationEntry, SaysTheStateWholeAndEveryRowSaysWhetherItWasRectified) {
  CameraStation f;
  f.Camera(640, 480);
  RectificationEntry entry = RectificationMenuEntry(f.station);
  EXPECT_FALSE(entry.available);
  EXPECT_EQ(entry.text, "Rectification: no grid calibration for this camera");
  EXPECT_EQ(f.NoteOfNewRow(), "distance 24 in"); // no rectification file: the row as it was
  EXPECT_EQ(ExtensionStatus(f.station).find('|'), std::string::npos);

  f.Calibrate();
  entry = RectificationMenuEntry(f.station);
  EXPECT_TRUE(entry.available && entry.on);
  EXPECT_EQ(entry.text, "Rectification on");
  EXPECT_EQ(ImageStatusTip(f.station), "Rectified");
  EXPECT_EQ(f.NoteOfNewRow(), "distance 24 in, rectified");
  EXPECT_NE(ExtensionStatus(f.station).find("| Rectification on"), std::string::npos);

  ToggleRectification(f.station);
  entry = RectificationMenuEntry(f.station);
  EXPECT_TRUE(entry.available);
  EXPECT_FALSE(entry.on);
  EXPECT_EQ(entry.text, "Rectification off");
  EXPECT_EQ(f.NoteOfNewRow(), "distance 24 in, not rectified");
  EXPECT_NE(ExtensionStatus(f.station).find("| Rectification off"), std::string::npos);
  EXPECT_TRUE(f.surface.message_boxes().empty());
}

TEST(RectificationEntry, AFileForAnotherSizeGivesItsWholeReasonAndTheRowsSayNotRectified) {
  std::vector<uint8_t> file;
  {
    CameraStation first;
    first.Camera(640, 480);
    first.Calibrate();
    file = testing::ReadBytes(first.station.PathOf(rectify::kRectificationFile));
  }
  CameraStation f;
  testing::WriteBytes(f.station.PathOf(rectify::kRectificationFile), file.data(), file.size());
  f.Camera(800, 600);
  const RectificationEntry entry = RectificationMenuEntry(f.station);
  EXPECT_FALSE(entry.available);
  EXPECT_EQ(entry.text.rfind("Rectification off: made for ", 0), 0u) << entry.text;
  EXPECT_NE(entry.text.find("640 x 480"), std::string::npos) << entry.text;
  EXPECT_EQ(ImageStatusTip(f.station), entry.text); // the tooltip holds what the line cuts
  EXPECT_EQ(f.NoteOfNewRow(), "distance 24 in, not rectified");
  // Turning it on says why it cannot, in a message box.
  ToggleRectification(f.station);
  ASSERT_EQ(f.surface.message_boxes().size(), 1u);
  EXPECT_EQ(f.surface.message_boxes()[0].text, entry.text + ".");
}

} // namespace
} // namespace orvane
