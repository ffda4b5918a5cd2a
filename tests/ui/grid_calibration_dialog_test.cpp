// The Grid Calibration dialog's model on the virtual camera, headless.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "acquisition/camera_capture.h"
#include "platform/video/virtual_camera.h"
#include "rectify/rectification_file.h"
#include "support/station_fixture.h"
#include "station/workspace.h"
#include "ui/grid_calibration_dialog.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

using D = DialogControlId;

struct GridDialogFixture : testing::StationFixture {
  explicit GridDialogFixture(const char* source) {
    OpenWorkspace(station);
    video::VirtualCameraConfig config;
    config.source = source;
    config.formats = {video::MakeVirtualFormat(640, 480, 0)};
    video::ParseVirtualLens("k1=-0.15,tilt=6", &config.lens);
    UseVideoBackend(station, video::MakeVirtualBackend(config));
    EXPECT_TRUE(StartCamera(station, 0));
  }
  ~GridDialogFixture() { CloseCamera(station); }
  bool HasFile() { return std::filesystem::exists(station.PathOf(rectify::kRectificationFile)); }
};

TEST(GridCalibrationDialog, GrabShowsPointsAndFiguresAcceptSavesAndDiscardLeavesNoTrace) {
  {
    GridDialogFixture f("scene");
    GridCalibrationDialog d(f.station);
    EXPECT_FALSE(d.Find(D::Ok)->enabled);
    d.Type(D::GridRows, "two");
    EXPECT_FALSE(d.Press(D::GridGrab));
    EXPECT_EQ(d.Find(D::GridFigures)->text,
              "Rows and columns are whole numbers from 3 to 100, the pitch a positive length.");
    d.Type(D::GridRows, "9");
    d.Press(D::GridGrab);
    EXPECT_EQ(d.Find(D::GridFigures)->text, "The grid was not found in the picture.");
    EXPECT_FALSE(d.Find(D::Ok)->enabled);
    EXPECT_FALSE(d.Press(D::Ok)); // nothing to accept
    EXPECT_EQ(d.Press(D::Cancel), DialogResult::Cancel);
    EXPECT_FALSE(f.HasFile());
  }
  GridDialogFixture f("grid");
  GridCalibrationDialog d(f.station);
  d.Type(D::GridPitch, "2.5");
  EXPECT_FALSE(d.Press(D::GridGrab));
  EXPECT_TRUE(d.Find(D::Ok)->enabled);
  EXPECT_EQ(d.Find(D::GridFigures)->text.substr(0, 4), "RMS ");
  ASSERT_NE(d.Picture(), nullptr);
  EXPECT_EQ(d.Picture()->width, 640u);
  EXPECT_EQ(d.Picture()->marks.size(), size_t{video::kGridRows} * video::kGridCols);
  // A second view of the same grid refines the fit.
  d.Press(D::GridGrab);
  ASSERT_TRUE(d.fit());
  EXPECT_EQ(d.fit()->figures.views, 2u);
  EXPECT_FALSE(f.HasFile()); // nothing is saved before Accept
  EXPECT_EQ(d.Press(D::Ok), DialogResult::Ok);
  EXPECT_TRUE(d.accepted());
  EXPECT_TRUE(f.HasFile());
  EXPECT_EQ(f.surface.GetText(ControlId::ImageStatus), "640 x 480 (4:3) RGB - Rectified");
}

// Grab's search is a task a surface may run on another thread: meanwhile the
// dialog says it is looking; cancelled, it adds no view and says so; run to
// its end on a thread of its own, it adds the view as a press does.
TEST(GridCalibrationDialog, GrabsSearchIsATaskThatCanBeCancelled) {
  GridDialogFixture f("grid");
  GridCalibrationDialog d(f.station);
  EXPECT_EQ(d.StartTask(Raw(D::Ok)), nullptr);
  EXPECT_EQ(d.StartTask(Raw(D::Cancel)), nullptr);
  std::unique_ptr<DialogTask> task = d.StartTask(Raw(D::GridGrab));
  ASSERT_NE(task, nullptr);
  EXPECT_EQ(d.Find(D::GridFigures)->text, "Looking for the grid...");
  task->Cancel();
  task->Run();
  EXPECT_FALSE(d.FinishTask(std::move(task)));
  EXPECT_EQ(d.Find(D::GridFigures)->text, "The search was cancelled.");
  EXPECT_FALSE(d.Find(D::Ok)->enabled);
  EXPECT_TRUE(d.Picture()->marks.empty());
  EXPECT_FALSE(d.fit());

  task = d.StartTask(Raw(D::GridGrab));
  std::thread worker([&task] { task->Run(); });
  worker.join();
  d.FinishTask(std::move(task));
  EXPECT_TRUE(d.Find(D::Ok)->enabled);
  EXPECT_EQ(d.Picture()->marks.size(), size_t{video::kGridRows} * video::kGridCols);
  ASSERT_TRUE(d.fit());
  EXPECT_EQ(d.fit()->figures.views, 1u);
}

} // namespace
} // namespace orvane
