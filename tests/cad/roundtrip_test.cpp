// The station's own DXF drawings read back by the reader: every LINE and
// CIRCLE the writer wrote, at its coordinates, POINTs left out and named,
// and the unit the header names.
#include <gtest/gtest.h>

#include "cadfile/dxf_read.h"
#include "cadfile/path.h"
#include "dxf/writer.h"

namespace orvane {
namespace {

TEST(CadRoundTrip, TheStationsDrawingsReadBack) {
  for (const std::optional<int32_t> units : {std::optional<int32_t>{}, std::optional<int32_t>{kDxfInches},
                                             std::optional<int32_t>{kDxfCentimetres}}) {
    DxfStringSink sink;
    sink.units = units;
    DxfBegin(sink);
    DxfLine(sink, 0.125, 1.5, 0, 8.25, 1.5, 0);
    DxfLine(sink, 8.25, 1.5, 0, 8.25, 7.0, 0);
    DxfCircle(sink, 2.0, 3.0, 0, 1.0 / 3.0);
    DxfPoint(sink, 4.0, 4.0, 0);
    DxfPoint(sink, 5.0, 4.0, 0);
    DxfEnd(sink);
    std::string error;
    const std::optional<cadfile::Drawing> d = cadfile::ReadDxf(sink.text(), {}, &error);
    ASSERT_TRUE(d) << error;
    EXPECT_EQ(d->insunits, units.value_or(0));
    ASSERT_EQ(d->entities.size(), 3u);
    EXPECT_EQ(d->entities[0].path, (std::vector<cadfile::Vertex>{{0.125, 1.5, 0}, {8.25, 1.5, 0}}));
    EXPECT_EQ(d->entities[1].kind, "LINE");
    EXPECT_EQ(d->entities[2].kind, "CIRCLE");
    EXPECT_EQ(d->entities[0].layer, "Layer1");
    // Nine decimals: the circle comes back within a nanometre of a unit.
    const auto box = cadfile::PathBox(d->entities[2]);
    EXPECT_NEAR(box[0], 2.0 - 1.0 / 3.0, 1e-9);
    EXPECT_NEAR(box[3], 3.0 + 1.0 / 3.0, 1e-9);
    EXPECT_EQ(cadfile::LeftOutText(*d), "left out: 2 POINT");
  }
}

}  // namespace
}  // namespace orvane
