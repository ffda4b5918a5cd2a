// The whole program on the simulated GigE Vision camera: started with
// --camera on the camera's name, it goes live and paints the camera's moving
// ramp, and the window is kept as a screenshot.
#include <gtest/gtest.h>
#include <QImage>
#include <QTest>

#include <unistd.h>

#include <cstdlib>
#include <set>
#include <string>

#include "support/station_fixture.h"
#include "tests/camera/simulator.h"
#include "tests/qt/qt_support.h"
#include "ui/qt/front_end.h"
#include "ui/qt/live_video_widget.h"

namespace orvane::qt {
namespace {

TEST(QtGenicamCamera, ProgramStartedOnTheSimulatedCameraPaintsItsLivePicture) {
  unsetenv("ORVANE_VIRTUAL_CAMERA");
  testing::GvSimulator simulator("QT" + std::to_string(getpid()));
  ASSERT_TRUE(simulator.Start());
  testing::TempDir dir;
  FrontEnd front{dir.path()};
  ASSERT_TRUE(front.Start("orvane --camera " + simulator.name()));
  front.Show();
  const ImageState& im = front.station().image;
  EXPECT_EQ(im.no_camera, 0u);
  EXPECT_EQ(im.file_mode, 0u);
  EXPECT_EQ(front.surface().GetText(ControlId::ModeIndicator), "Live");
  LiveVideoWidget* live = front.surface().live_video();
  for (int waited = 0; waited < 5000 && live->stats().frames < 5; waited += 20) QTest::qWait(20);
  ASSERT_GE(live->stats().frames, 5u);
  // The camera serves a ramp: the middle row of the painted area runs through
  // many grey levels, where a blank or unpainted area has one or two.
  const QImage painted = live->grab().toImage();
  std::set<int> levels;
  for (int x = 0; x < painted.width(); ++x) levels.insert(qGray(painted.pixel(x, painted.height() / 2)));
  EXPECT_GT(levels.size(), 64u);
  testing::Screenshot(front.surface().window(), "program_genicam_camera");
}

} // namespace
} // namespace orvane::qt
