// The DXF reader against drawings that ezdxf wrote and measured itself
// (tests/cadfile/make_drawings.py), and against damaged and hostile texts.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include "cadfile/dxf_read.h"
#include "cadfile/path.h"

namespace orvane::cadfile {
namespace {

std::string Fixture(const std::string& name) {
  std::ifstream in(std::string(ORVANE_FIXTURES) + "/cadfile/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

ReadOptions Fine() {
  ReadOptions o;
  o.flatness = 1e-7;
  return o;
}

TEST(DxfRead, MatchesWhatEzdxfReads) {
  for (const char* name : {"lines", "arc_circle", "bulges", "polyline_r12", "ellipses", "splines", "inserts",
                           "extrusion", "layers"}) {
    SCOPED_TRACE(name);
    std::string error;
    const std::optional<Drawing> d = ReadDxf(Fixture(std::string(name) + ".dxf"), Fine(), &error);
    ASSERT_TRUE(d) << error;
    double length = 0, area = 0;
    std::array<double, 4> box{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (const Entity& e : d->entities) {
      length += PathLength(e);
      area += std::fabs(SignedArea(e));
      const auto b = PathBox(e);
      box = {std::min(box[0], b[0]), std::min(box[1], b[1]), std::max(box[2], b[2]), std::max(box[3], b[3])};
    }
    std::istringstream expect(Fixture(std::string(name) + ".expect"));
    std::string key;
    std::map<std::string, uint32_t> left;
    while (expect >> key) {
      if (key == "units") {
        int32_t u;
        expect >> u;
        EXPECT_EQ(d->insunits, u);
      } else if (key == "curves") {
        size_t n;
        expect >> n;
        EXPECT_EQ(d->entities.size(), n);
      } else if (key == "length" || key == "area") {
        double v;
        expect >> v;
        EXPECT_NEAR(key == "length" ? length : area, v, 2e-6 * (1 + v)) << key;
      } else if (key == "box") {
        for (double b : box) {
          double v;
          expect >> v;
          EXPECT_NEAR(b, v, 1e-6);
        }
      } else if (key == "left") {
        std::string kind;
        expect >> kind >> left[kind];
      }
    }
    EXPECT_EQ(d->left_out, left);
  }
}

TEST(DxfRead, ChoosesLayersAndNamesWhatItLeftOut) {
  ReadOptions o;
  o.layers = {"CUT"};
  std::string error;
  const std::optional<Drawing> d = ReadDxf(Fixture("layers.dxf"), o, &error);
  ASSERT_TRUE(d) << error;
  ASSERT_EQ(d->entities.size(), 2u);
  EXPECT_EQ(d->entities[0].kind, "LINE");
  EXPECT_EQ(d->entities[1].kind, "CIRCLE");
  EXPECT_EQ(d->layers, (std::map<std::string, uint32_t>{{"CUT", 2}, {"NOTES", 1}}));
  EXPECT_EQ(LeftOutText(*d), "left out: 1 MTEXT, 1 POINT, 2 TEXT");
  // Entities of layer "0" in a block take the insert's layer.
  o.layers = {"CUT"};
  const std::optional<Drawing> ins = ReadDxf(Fixture("inserts.dxf"), o, &error);
  ASSERT_TRUE(ins) << error;
  EXPECT_EQ(ins->entities.size(), 7u);  // the first plate: outline, two holes of three curves each
}

TEST(DxfRead, MirroredInsertsTurnArcsTheOtherWay) {
  // A block of one counter-clockwise arc inserted mirrored: the arc runs
  // clockwise, from (-1, 0) to (0, 1) about the origin.
  const std::string text =
      "0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n2\nB\n10\n0\n20\n0\n0\nARC\n8\n0\n10\n0\n20\n0\n40\n1\n50\n0\n51\n90\n"
      "0\nENDBLK\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n0\nINSERT\n2\nB\n10\n0\n20\n0\n41\n-1\n42\n1\n0\nENDSEC\n0\nEOF\n";
  std::string error;
  const std::optional<Drawing> d = ReadDxf(text, ReadOptions{}, &error);
  ASSERT_TRUE(d) << error;
  ASSERT_EQ(d->entities.size(), 1u);
  const Piece p = PieceAt(d->entities[0], 0);
  EXPECT_NEAR(p.ax, -1, 1e-12);
  EXPECT_NEAR(p.by, 1, 1e-12);
  EXPECT_NEAR(p.sweep, -M_PI / 2, 1e-12);
  EXPECT_NEAR(p.r, 1, 1e-12);
}

TEST(DxfRead, PlainR12WithBlanksAndCarriageReturns) {
  const std::string text = "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n  0\r\nLINE\r\n  8\r\nA\r\n 10\r\n1.5\r\n 20\r\n-2\r\n"
                           " 11\r\n4\r\n 21\r\n2e1\r\n  0\r\nENDSEC\r\n  0\r\nEOF\r\n";
  std::string error;
  const std::optional<Drawing> d = ReadDxf(text, ReadOptions{}, &error);
  ASSERT_TRUE(d) << error;
  EXPECT_EQ(d->insunits, 0);
  ASSERT_EQ(d->entities.size(), 1u);
  EXPECT_EQ(d->entities[0].path, (std::vector<Vertex>{{1.5, -2, 0}, {4, 20, 0}}));
  EXPECT_EQ(d->entities[0].layer, "A");
}

std::string Entities(const std::string& body) {
  return "0\nSECTION\n2\nENTITIES\n" + body + "0\nENDSEC\n0\nEOF\n";
}
std::string Blocks(const std::string& blocks, const std::string& entities) {
  return "0\nSECTION\n2\nBLOCKS\n" + blocks + "0\nENDSEC\n" + Entities(entities);
}
std::string Block(const std::string& name, const std::string& body) {
  return "0\nBLOCK\n2\n" + name + "\n10\n0\n20\n0\n" + body + "0\nENDBLK\n";
}
std::string Insert(const std::string& name, const std::string& extra = "") {
  return "0\nINSERT\n2\n" + name + "\n10\n1\n20\n1\n" + extra;
}

// Ten inserts of the block below, nine levels deep: 10^9 points (left out,
// so only the work grows) if expanded.
std::string Explosion() {
  std::string blocks = Block("B0", "0\nPOINT\n10\n0\n20\n0\n");
  for (int i = 1; i <= 9; ++i) {
    std::string body;
    for (int k = 0; k < 10; ++k) body += Insert("B" + std::to_string(i - 1));
    blocks += Block("B" + std::to_string(i), body);
  }
  return Blocks(blocks, Insert("B9"));
}

std::string Nested(int depth) {
  std::string blocks = Block("N0", "0\nCIRCLE\n10\n0\n20\n0\n40\n1\n");
  for (int i = 1; i <= depth; ++i) blocks += Block("N" + std::to_string(i), Insert("N" + std::to_string(i - 1)));
  return Blocks(blocks, Insert("N" + std::to_string(depth)));
}

TEST(DxfRead, RefusesDamagedAndHostileDrawings) {
  const std::string spline_head = "0\nSPLINE\n70\n8\n71\n3\n";
  struct Case {
    const char* what;
    std::string text;
    const char* error;
  } cases[] = {
      {"plain text", "hello\nworld\n", "no group code"},
      {"no sections", "0\nEOF\n", "not a DXF"},
      {"binary", std::string("AutoCAD Binary DXF\r\n\x1a\0", 22) + "xx", "binary"},
      {"cut in a group", "0\nSECTION\n2", "ends inside a group"},
      {"NaN", Entities("0\nLINE\n10\nnan\n20\n0\n11\n1\n21\n1\n"), "no usable number"},
      {"infinity", Entities("0\nCIRCLE\n10\n0\n20\n0\n40\ninf\n"), "no usable number"},
      {"overflow", Entities("0\nLINE\n10\n1e400\n20\n0\n11\n1\n21\n1\n"), "no usable number"},
      {"huge", Entities("0\nLINE\n10\n1e300\n20\n0\n11\n1\n21\n1\n"), "no usable number"},
      {"radius", Entities("0\nCIRCLE\n10\n0\n20\n0\n40\n-1\n"), "no radius"},
      {"itself", Blocks(Block("A", Insert("A")), Insert("A")), "inserts itself"},
      {"each other", Blocks(Block("A", Insert("B")) + Block("B", Insert("A")), Insert("A")), "inserts itself"},
      {"deep", Nested(20), "nested deeper"},
      {"explosion", Explosion(), "expand past"},
      {"array", Blocks(Block("A", ""), Insert("A", "70\n100000\n71\n100000\n")), "too often"},
      {"knots", Entities(spline_head + "10\n0\n20\n0\n10\n1\n20\n1\n10\n2\n20\n0\n10\n3\n20\n1\n40\n0\n40\n1\n"),
       "knots do not match"},
      {"degree", Entities("0\nSPLINE\n71\n99\n10\n0\n20\n0\n"), "degree"},
      {"ellipse", Entities("0\nELLIPSE\n10\n0\n20\n0\n11\n0\n21\n0\n40\n0.5\n"), "no usable axes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string error;
    EXPECT_FALSE(ReadDxf(c.text, ReadOptions{}, &error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
  // Within the bounds, the same kinds of drawing are read.
  std::string error;
  EXPECT_TRUE(ReadDxf(Nested(15), ReadOptions{}, &error)) << error;
  ReadOptions small;
  small.max_entities = 3;
  EXPECT_FALSE(ReadDxf(Fixture("lines.dxf"), small, &error));
  EXPECT_NE(error.find("more entities"), std::string::npos) << error;
  small = ReadOptions{};
  small.max_bytes = 100;
  EXPECT_FALSE(ReadDxf(Fixture("lines.dxf"), small, &error));
  EXPECT_FALSE(ReadDxfFile("/", ReadOptions{}, &error));
  EXPECT_EQ(error, "not a regular file");
}

TEST(DxfRead, Units) {
  for (const char* name : {"in", "ft", "mm", "cm", "m", "mil", "um", "dm"}) {
    EXPECT_EQ(UnitName(UnitCode(name)), name);
    EXPECT_GT(MillimetresPerUnit(UnitCode(name)), 0);
  }
  EXPECT_EQ(MillimetresPerUnit(1), 25.4);
  EXPECT_EQ(MillimetresPerUnit(0), 0.0);
  EXPECT_EQ(UnitCode("furlong"), 0);
}

}  // namespace
}  // namespace orvane::cadfile
