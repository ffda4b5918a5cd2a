// The camera settings file: what it takes, what it refuses (with the line
// and reason), the text it writes reads back, and file names from camera
// names.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "acquisition/camera_settings.h"

namespace orvane {
namespace {

TEST(CameraSettingsFile, TakesWellFormedTextAndRefusesTheRestWithTheLine) {
  struct Case {
    const char* text;
    bool taken;
    const char* error; // when refused
  };
  const Case cases[] = {
      {"", true, ""},
      {"# only a comment\n\n", true, ""},
      {"ExposureTime 10000\nGain 2.5\r\nFrameRate 25\n", true, ""},
      {"  Gain\t-1e-3  \n", true, ""},
      {"Gain 1\nGain 2\n", false, "line 2: Gain is given twice"},
      {"Exposure 100\n", false, "line 1: \"Exposure\" is no setting"},
      {"FrameRate\n", false, "line 1: \"\" is not a number"},
      {"\nFrameRate 25fps\n", false, "line 2: \"25fps\" is not a number"},
      {"Gain nan\n", false, "line 1: \"nan\" is not a number"},
      {"Gain inf\n", false, "line 1: \"inf\" is not a number"},
      {"Gain 1e999\n", false, "line 1: \"1e999\" is not a number"},
  };
  for (const Case& c : cases) {
    std::string error;
    const auto settings = ParseCameraSettings(c.text, &error);
    EXPECT_EQ(settings.has_value(), c.taken) << c.text;
    if (!c.taken) {
      EXPECT_EQ(error, c.error) << c.text;
    }
  }
}

TEST(CameraSettingsFile, WrittenTextReadsBackExactly) {
  const CameraSettings settings = {{"ExposureTime", 12345.678}, {"Gain", std::numeric_limits<double>::denorm_min()},
                                   {"FrameRate", 1.0 / 3.0}};
  const std::string text = FormatCameraSettings("Maker-Model-1\nGain 3", settings);
  EXPECT_EQ(text.substr(0, text.find('\n')), "# ORVANE camera settings for Maker-Model-1 Gain 3");
  std::string error;
  const auto back = ParseCameraSettings(text, &error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(*back, settings);
}

TEST(CameraSettingsFile, NamedAfterTheCameraInPlainCharacters) {
  EXPECT_EQ(CameraSettingsFileName("Aravis-Fake-GV01"), "CAMERA-Aravis-Fake-GV01.CFG");
  EXPECT_EQ(CameraSettingsFileName("Maker Model/../x"), "CAMERA-Maker_Model_.._x.CFG");
  EXPECT_EQ(CameraSettingsFileName(std::string(300, 'a')).size(), std::string("CAMERA-.CFG").size() + 100);
}

} // namespace
} // namespace orvane
