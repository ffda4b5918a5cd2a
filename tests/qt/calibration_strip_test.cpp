// The Results window's calibration line on real widgets: the precise ring
// calibration's reading after an Auto Calibration, used with one click; the
// option that makes Auto Calibration use it, kept in the table's file; a
// reason when the picture holds no target.
#include <gtest/gtest.h>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include <cstring>

#include "results/session.h"
#include "results/table_file.h"
#include "solutions/calibration.h"
#include "station/workspace.h"
#include "support/station_fixture.h"
#include "tests/gauge/render.h"
#include "tests/qt/qt_support.h"
#include "ui/qt/calibration_strip.h"
#include "ui/qt/results_window.h"

namespace orvane::qt {
namespace {

TEST(QtCalibrationStrip, OffersThePreciseRingCalibrationAndUsesItWithOneClick) {
  testing::StationFixture f;
  OpenWorkspace(f.station);
  testing::AttachImage(f.station, 420, 400, 190);
  gauge_render::Canvas c(420, 400, 190);
  gauge_render::drawDisc(c, 210.4, 200.7, 150, 30);
  gauge_render::drawDisc(c, 210.4, 200.7, 75, 230);
  gauge_render::blur(c, 1.5);
  std::mt19937_64 rng(4);
  const std::vector<uint8_t> grey = gauge_render::quantise(c, 2.0, rng);
  for (size_t i = 0; i < grey.size(); ++i) std::memset(f.station.image.frame + 3 * i, grey[i], 3);

  ResultsWindow w(f.station);
  w.show();
  CalibrationStrip* strip = w.calibration();
  EXPECT_FALSE(strip->use()->isEnabled()); // nothing offered yet
  SolutionRecord rec = *f.station.working;
  rec.roi_count = 0;
  ActOnCalibration(f.station, 1, AutoCalibration(f.station, rec));
  EXPECT_TRUE(strip->notice()->text().startsWith("Auto Calibration: precise ring 50.0")) << strip->notice()->text().toStdString();
  ASSERT_TRUE(strip->use()->isEnabled());
  orvane::testing::Screenshot(&w, "results_window_precise_offer");
  const double offered = ResultsOf(f.station).precise_offer.scale;
  strip->use()->click();
  EXPECT_EQ(f.station.settings.scale_x, offered);
  EXPECT_FALSE(strip->use()->isEnabled());
  EXPECT_EQ(w.rows()->model()->rowCount(), 2);

  // The option, kept in the file; off, the file has no line of it.
  strip->always()->setChecked(true);
  std::vector<uint8_t> saved = testing::StoredResults(f.station.folder());
  EXPECT_NE(std::string(saved.begin(), saved.end()).find("option\tprecise-calibration\t1\n"), std::string::npos);
  strip->always()->setChecked(false);
  saved = testing::StoredResults(f.station.folder());
  EXPECT_EQ(std::string(saved.begin(), saved.end()).find("precise-calibration"), std::string::npos);

  std::memset(f.station.image.frame, 190, f.station.image.size);
  strip->ring()->click();
  EXPECT_EQ(strip->notice()->text(), "Precise calibration: no ring target found");
  strip->grid()->click(); // no camera, no rectification
  EXPECT_TRUE(strip->notice()->text().startsWith("Precise calibration: rectification is not on"));
  EXPECT_EQ(f.station.settings.scale_x, offered);
}

} // namespace
} // namespace orvane::qt
