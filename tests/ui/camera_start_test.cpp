// Start-up with staged video devices: the device the command line picks,
// File mode when it is missing, the Set-Up resolution list and change, and
// the camera's end.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "acquisition/camera_capture.h"
#include "platform/video/virtual_camera.h"
#include "ui/main_window.h"
#include "ui/ui_support.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

using testing::Started;

// `count` devices, each a virtual camera offering 320 x 240 and 640 x 480 RGB.
class StagedDevices : public video::VideoBackend {
 public:
  StagedDevices(int32_t count, std::vector<int32_t>* opened) : count_(count), opened_(opened) {}
  std::vector<std::string> DeviceNames() override {
    std::vector<std::string> names;
    for (int32_t i = 0; i < count_; ++i) names.push_back("Camera " + std::to_string(i));
    return names;
  }
  std::unique_ptr<video::VideoDevice> Open(int32_t index, video::OpenError* error) override {
    if (index < 0 || index >= count_) {
      *error = video::OpenError::NoDevice;
      return nullptr;
    }
    opened_->push_back(index);
    video::VirtualCameraConfig config;
    config.formats = {video::MakeVirtualFormat(320, 240, video::kCompressionRgb),
                      video::MakeVirtualFormat(640, 480, video::kCompressionRgb)};
    config.noise = false;
    return video::MakeVirtualBackend(config)->Open(0, error);
  }

 private:
  int32_t count_;
  std::vector<int32_t>* opened_;
};

struct WithDevices {
  explicit WithDevices(int32_t count, std::string_view command_line)
      : started({1280, 1024}, command_line, [this, count](Station& st) {
          UseVideoBackend(st, std::make_unique<StagedDevices>(count, &opened));
        }) {}
  std::vector<int32_t> opened;
  Started started;
};

TEST(CameraStartUp, CommandLineChoosesTheDevice) {
  for (const char* line : {"orvane -d3 -d1", "orvane -d12"}) {
    WithDevices w(4, line);
    Started& s = w.started;
    EXPECT_EQ(w.opened, std::vector<int32_t>{1}) << line;
    EXPECT_EQ(s.station->image.no_camera, 0u) << line;
    EXPECT_EQ(s.station->image.file_mode, 0u) << line;
    EXPECT_EQ(s.surface.ComboSelection(ControlId::DeviceList), 1) << line;
    EXPECT_TRUE(s.surface.IsEnabled(ControlId::File)) << line;
    EXPECT_EQ(s.Text(ControlId::ModeIndicator), "Live") << line;
    EXPECT_EQ(s.Text(ControlId::ImageStatus), "320 x 240 (6:4) RGB") << line;
  }
}

TEST(CameraStartUp, TwoDevicesAndDeviceTwoStartInFileModeWithFileDisabled) {
  WithDevices w(2, "orvane -d2");
  Started& s = w.started;
  EXPECT_TRUE(w.opened.empty());
  EXPECT_EQ(s.surface.control(ControlId::DeviceList).items.size(), 2u);
  EXPECT_EQ(s.station->image.no_camera, 1u);
  EXPECT_EQ(s.station->image.file_mode, 1u);
  EXPECT_FALSE(s.surface.IsEnabled(ControlId::File));
  EXPECT_EQ(s.Text(ControlId::ModeIndicator), "File");
  OnCommand(*s.station, ControlId::File);
  EXPECT_EQ(s.station->image.file_mode, 1u);
}

TEST(CameraStartUp, SetUpReopensTheCameraAtTheChosenResolution) {
  WithDevices w(1, "orvane");
  Started& s = w.started;
  s.surface.QueueDialog([](DialogModel& d) {
    const DialogControl* list = d.Find(DialogControlId::Resolution);
    EXPECT_TRUE(list->enabled);
    EXPECT_EQ(list->items,
              (std::vector<std::string>{"320x240 (RGB format)", "640x480 (RGB format)"}));
    EXPECT_EQ(list->selection, 0);
    d.Choose(DialogControlId::Resolution, 1);
    return *d.Press(DialogControlId::Ok);
  });
  OnCommand(*s.station, ControlId::SetUp);
  EXPECT_EQ(w.opened, (std::vector<int32_t>{0, 0}));
  EXPECT_EQ(s.station->image.width, 640u);
  EXPECT_EQ(s.station->settings.requested_width, 640u);
  EXPECT_EQ(s.station->settings.requested_height, 480u);
  EXPECT_EQ(s.Text(ControlId::ImageStatus), "640 x 480 (4:3) RGB");
  EXPECT_EQ(s.Text(ControlId::ModeIndicator), "Live");
  // The view and the live area take the new image's shape (6:4 before), as
  // the sizing rule gives it: Enlarge and back, which size anew, keep it.
  const Rect sized = s.surface.ControlRect(ControlId::ImageView);
  EXPECT_EQ(sized.width * 3, sized.height * 4);
  EXPECT_EQ(s.surface.ControlRect(ControlId::LiveVideo), sized);
  EXPECT_EQ(s.station->image.view_width, uint32_t(sized.width));
  OnCommand(*s.station, ControlId::Enlarge);
  OnCommand(*s.station, ControlId::Enlarge);
  EXPECT_EQ(s.surface.ControlRect(ControlId::ImageView), sized);

  EndProgram(*s.station);
  EXPECT_FALSE(s.station->camera->device);
}

// The image status line follows the image on show into File mode and back.
TEST(CameraStartUp, FileModeWithACameraDescribesTheImageOnShow) {
  WithDevices w(1, "orvane");
  Started& s = w.started;
  ASSERT_EQ(s.Text(ControlId::ImageStatus), "320 x 240 (6:4) RGB");
  OnCommand(*s.station, ControlId::File);
  EXPECT_EQ(s.Text(ControlId::ImageStatus), "800 x 600 (4:3) RGB");
  OnCommand(*s.station, ControlId::File);
  EXPECT_EQ(s.Text(ControlId::ImageStatus), "320 x 240 (6:4) RGB");
}

// The Set-Up dialog re-registers the colours; the buttons keep showing the
// mode: Live highlighted in Live mode, File and the indicator in File mode.
TEST(CameraStartUp, SetUpKeepsTheHighlightsOfTheMode) {
  for (const bool file : {false, true}) {
    WithDevices w(1, "orvane");
    Started& s = w.started;
    if (file) OnCommand(*s.station, ControlId::File);
    s.surface.QueueDialog([](DialogModel& d) {
      d.Choose(DialogControlId::BackgroundColour, 1);
      return *d.Press(DialogControlId::Ok);
    });
    OnCommand(*s.station, ControlId::SetUp);
    EXPECT_EQ(s.surface.window_colours().back, ColourOf(1)) << file; // the new colours apply
    EXPECT_EQ(s.surface.control(ControlId::File).colour_state, file ? 1u : 0u) << file;
    EXPECT_EQ(s.surface.control(ControlId::ModeIndicator).colour_state, file ? 1u : 0u) << file;
    EXPECT_EQ(s.surface.control(ControlId::Live).colour_state, file ? 0u : 1u) << file;
    EXPECT_EQ(s.surface.control(ControlId::Process).colour_state, 0u) << file;
  }
}

} // namespace
} // namespace orvane
