// Compare with Drawing on real widgets: the sample plate against its drawing,
// a loose tolerance that passes and a tight one that fails; the message box
// with the figures and the window with the deviations, as screenshots.
#include <gtest/gtest.h>
#include <QApplication>
#include <QMessageBox>
#include <QTest>

#include <cstdlib>
#include <filesystem>

#include "cad/session.h"
#include "support/station_fixture.h"
#include "tests/qt/qt_support.h"
#include "ui/cad_command.h"
#include "ui/qt/front_end.h"

namespace orvane::qt {
namespace {

// The figures the message box gave, and the window's screenshot after it.
std::string CompareAndShoot(FrontEnd& front, const std::filesystem::path& drawing, double tolerance,
                            const std::string& name) {
  std::string said;
  testing::WhenModal([&said, name](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) said = box->text().toStdString();
    testing::Screenshot(modal, name + "_figures");
    modal->close();
  });
  CompareWithDrawing(front.station(), drawing, "in", tolerance);
  testing::Screenshot(front.surface().window(), name);
  return said;
}

TEST(QtCompareWithDrawing, PassingAndFailingPlate) {
  const std::filesystem::path part = ORVANE_SOURCE_DIR "/samples/PART.BMP";
  const std::filesystem::path drawing = ORVANE_SOURCE_DIR "/tests/batch/scripts/cad_part.dxf";
  if (!std::filesystem::exists(part)) GTEST_SKIP() << "no sample pictures";
  unsetenv("ORVANE_VIRTUAL_CAMERA");
  testing::TempDir dir;
  FrontEnd front{dir.path()};
  ASSERT_TRUE(front.Start("orvane"));
  front.Show();
  front.OpenImageFile(QString::fromStdString(part.string()));
  // The sample's calibration: 50 pixels per inch at 24 inches.
  Station& st = front.station();
  st.settings.calibrated = 1;
  st.settings.scale_x = 50.0;
  st.settings.calibration_distance = 24.0;
  EXPECT_FALSE(DrawingNamesUnit(drawing));
  const std::string pass = CompareAndShoot(front, drawing, 0.05, "cad_compare_pass");
  EXPECT_NE(pass.find("cad max +0.0189 min -0.0204 rms 0.0053 pass"), std::string::npos) << pass;
  const std::string fail = CompareAndShoot(front, drawing, 0.01, "cad_compare_fail");
  EXPECT_NE(fail.find(" fail\n"), std::string::npos) << fail;
  ASSERT_TRUE(st.cad && st.cad->comparison);
  EXPECT_EQ(st.cad->comparison->all.missing, 0u);
}

}  // namespace
}  // namespace orvane::qt
