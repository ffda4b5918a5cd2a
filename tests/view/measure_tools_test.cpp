// The measuring tools through the mouse: each tool's clicks give its row in
// the results table and its mark, Alt stays the diameter gauge's shortcut,
// and the tool choice switches the ROI mode to measuring.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "results/session.h"
#include "view/measure_tools.h"
#include "view/view_support.h"

namespace orvane {
namespace {

using testing::kManualMeasurement;
using testing::ViewStation;

// A dark disc (centre 60, 120, radius 30) and a dark vertical bar (columns
// 150 to 169) on a light ground, each pixel the covered share of 8 x 8
// samples.
void DrawScene(ImageState& im) {
  auto dark = [](double x, double y) {
    return std::hypot(x - 60.0, y - 120.0) < 30.0 || (x >= 149.5 && x < 169.5);
  };
  for (uint32_t y = 0; y < im.height; ++y) {
    for (uint32_t x = 0; x < im.width; ++x) {
      int inside = 0;
      for (int i = 0; i < 64; ++i) inside += dark(x - 0.5 + (i % 8 + 0.5) / 8, y - 0.5 + (i / 8 + 0.5) / 8);
      uint8_t* p = im.frame + y * im.stride + x * 3;
      p[0] = p[1] = p[2] = static_cast<uint8_t>(200 - 140 * inside / 64);
    }
  }
}

struct Click {
  int32_t x, y;
  uint32_t keys;
};

TEST(MeasureTools, EachToolsClicksGiveItsRow) {
  constexpr uint32_t alt = kKeyLeftButton | kKeyAlt;
  const struct Case {
    const char* name;
    MeasureTool tool;
    std::vector<Click> clicks;
    std::string_view kind; // empty: no row
    double value;
    double tolerance;
  } cases[] = {
      {"measure", MeasureTool::Measure, {{20, 20, kKeyLeftButton}, {120, 20, kKeyLeftButton}}, kKindLength, 100.0, 1e-9},
      {"alt in measure", MeasureTool::Measure, {{91, 120, alt}, {60, 89, alt}, {30, 122, alt}}, kKindDiameter, 60.0, 0.05},
      {"diameter", MeasureTool::Diameter, {{91, 120, kKeyLeftButton}, {60, 89, kKeyLeftButton}, {30, 122, kKeyLeftButton}}, kKindDiameter, 60.0, 0.05},
      {"edge", MeasureTool::Edge, {{151, 40, kKeyLeftButton}, {148, 200, kKeyLeftButton}}, kKindEdge, 90.0, 0.01},
      {"width", MeasureTool::Width, {{140, 100, kKeyLeftButton}, {180, 100, kKeyLeftButton}}, kKindWidth, 20.0, 0.02},
      {"width across nothing", MeasureTool::Width, {{200, 100, kKeyLeftButton}, {260, 100, kKeyLeftButton}}, "", 0, 0},
      {"edge too short", MeasureTool::Edge, {{150, 40, kKeyLeftButton}, {150, 45, kKeyLeftButton}}, "", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ViewStation v(kManualMeasurement);
    DrawScene(v.station.image);
    SetMeasureTool(v.station, c.tool);
    EXPECT_EQ(v.station.view.mouse_mode, static_cast<uint32_t>(MouseMode::Measure)); // out of the ROI mode
    v.AnswerDistance("24");
    for (const Click& k : c.clicks) {
      v.Press(k.x, k.y, k.keys);
      v.Release(k.x, k.y);
    }
    const ResultsSession& session = ResultsOf(v.station);
    if (c.kind.empty()) {
      EXPECT_TRUE(session.table.rows().empty());
      continue;
    }
    ASSERT_EQ(session.table.rows().size(), 1u);
    const ResultRow& row = session.table.rows()[0];
    EXPECT_EQ(row.kind, c.kind);
    EXPECT_NEAR(row.value, c.value, c.tolerance);
    EXPECT_EQ(row.unit, c.kind == kKindEdge ? "deg" : "px");
    if (c.kind != kKindLength) {
      EXPECT_GT(row.uncertainty, 0.0);
      EXPECT_LT(row.uncertainty, c.tolerance);
      EXPECT_EQ(v.rec().meas_count, 0u); // a gauge places no measurement points
    }
    EXPECT_EQ(row.label, std::string(LabelPrefix(c.kind)) + "1");
    EXPECT_EQ(session.circles.size() + session.lines.size(), c.kind == kKindLength ? 0u : 1u);
  }
}

TEST(MeasureTools, ToolsCycleSayWhatTheyWantAndDropAnotherToolsClicks) {
  ViewStation v(kManualMeasurement);
  DrawScene(v.station.image);
  EXPECT_EQ(CurrentTool(v.station), MeasureTool::Measure);
  EXPECT_NE(ToolStatusText(v.station).find("acts in the measuring modes"), std::string::npos);
  std::vector<std::string_view> cycled;
  for (int i = 0; i < 5; ++i) {
    CycleMeasureTool(v.station);
    cycled.push_back(ToolName(CurrentTool(v.station)));
  }
  EXPECT_EQ(cycled, (std::vector<std::string_view>{"diameter", "edge", "width", "measure", "diameter"}));
  for (const char* name : {"measure", "DIAMETER", "edge", "width"}) EXPECT_TRUE(ToolByName(name)) << name;
  EXPECT_FALSE(ToolByName("straight"));

  v.Press(91, 120);
  v.Release(91, 120);
  EXPECT_EQ(ToolStatusText(v.station), "Tool: Diameter - 3 clicks near a rim (Diameter 1 of 3)");
  // An Alt-click while the width tool gathers starts the diameter afresh,
  // and the width's click does not join the diameter.
  SetMeasureTool(v.station, MeasureTool::Width);
  v.Press(140, 100);
  v.Release(140, 100);
  for (const Click& k : {Click{91, 120, 0}, Click{60, 89, 0}, Click{30, 122, 0}}) {
    v.Press(k.x, k.y, kKeyLeftButton | kKeyAlt);
    v.Release(k.x, k.y);
  }
  ASSERT_EQ(ResultsOf(v.station).table.rows().size(), 1u);
  EXPECT_EQ(ResultsOf(v.station).table.rows()[0].kind, kKindDiameter);
  // The mode the user chose stays: a tool picked in 3PT keeps 3PT.
  v.station.view.mouse_mode = static_cast<uint32_t>(MouseMode::Measure2);
  SetMeasureTool(v.station, MeasureTool::Edge);
  EXPECT_EQ(v.station.view.mouse_mode, static_cast<uint32_t>(MouseMode::Measure2));
}

} // namespace
} // namespace orvane
