// The test plate of the drawing comparisons: its DXF text and exact-area
// renders of it, optionally scaled and with a bump on an edge.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "tests/gauge/render.h"

namespace cad_test {

// 220 x 120, centred on the origin, y up: a notch 35 wide and 30 deep in
// the top edge, holes of radius 18, 12 and 7.
inline std::string PlateDxf() {
  return "0\nSECTION\n2\nHEADER\n9\n$INSUNITS\n70\n4\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n"
         "0\nLWPOLYLINE\n8\nOUTLINE\n90\n8\n70\n1\n"
         "10\n-110\n20\n-60\n10\n110\n20\n-60\n10\n110\n20\n60\n10\n75\n20\n60\n"
         "10\n75\n20\n30\n10\n40\n20\n30\n10\n40\n20\n60\n10\n-110\n20\n60\n"
         "0\nCIRCLE\n8\nHOLES\n10\n-60\n20\n0\n40\n18\n"
         "0\nCIRCLE\n8\nHOLES\n10\n25\n20\n-20\n40\n12\n"
         "0\nCIRCLE\n8\nHOLES\n10\n-10\n20\n32\n40\n7\n"
         "0\nENDSEC\n0\nEOF\n";
}

struct PlateRender {
  double cx = 0, cy = 0, angle = 0;  // the drawing's origin in the picture, its turn
  double size = 1.0;                 // the part's size against the drawing
  bool bump = false;                 // 0.5 px proud over x -80..-60 of the bottom edge
  bool small_hole = true;            // the hole of radius 7 drilled
  double blur = 1.0, noise = 2.0;
  double dark = 40, light = 220;
};

// The plate dark on light, each pixel its exact covered fraction, then
// blurred, noisy and quantised. The picture frame: u = x, v = -y.
inline gauge_render::Picture8 RenderPlate(int w, int h, const PlateRender& p, std::mt19937_64& rng) {
  using namespace gauge_render;
  const double k = p.size, co = std::cos(p.angle), si = std::sin(p.angle);
  auto planes = [&](FrameBox f, double (*hp)[3]) {
    const double du = co * p.cx + si * p.cy, dv = -si * p.cx + co * p.cy;
    const double rows[4][3] = {{co, si, f.x1 + du}, {-co, -si, -f.x0 - du}, {-si, co, f.y1 + dv}, {si, -co, -f.y0 - dv}};
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 3; ++j) hp[i][j] = rows[i][j];
  };
  double plate[8][3], bump[4][3];
  planes({-110 * k, -60 * k, 110 * k, 60 * k}, plate);
  planes({40 * k, -70 * k, 75 * k, -30 * k}, plate + 4);
  planes({-80 * k, 60 * k, -60 * k, 60 * k + 0.5}, bump);
  Canvas c(w, h, p.light);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double f = convexCoverage(x, y, plate, 4) - convexCoverage(x, y, plate, 8) +
                       (p.bump ? convexCoverage(x, y, bump, 4) : 0.0);
      c.at(x, y) = p.light + (p.dark - p.light) * f;
    }
  const double holes[3][3] = {{-60, 0, 18}, {25, 20, 12}, {-10, -32, 7}};
  for (const auto& hole : holes) {
    if (hole[2] == 7 && !p.small_hole) continue;
    const double u = hole[0] * k, v = hole[1] * k;
    drawDisc(c, p.cx + co * u - si * v, p.cy + si * u + co * v, hole[2] * k, p.light);
  }
  blur(c, p.blur);
  return {w, h, quantise(c, p.noise, rng)};
}

// A square 150 x 150 about the origin with one hole of radius 15 at (40, 40):
// its moments say little of its turn.
inline std::string SquareDxf() {
  return "0\nSECTION\n2\nENTITIES\n0\nLWPOLYLINE\n70\n1\n10\n-75\n20\n-75\n10\n75\n20\n-75\n"
         "10\n75\n20\n75\n10\n-75\n20\n75\n0\nCIRCLE\n10\n40\n20\n40\n40\n15\n0\nENDSEC\n0\nEOF\n";
}

inline gauge_render::Picture8 RenderSquare(int w, int h, double cx, double cy, double angle, std::mt19937_64& rng) {
  using namespace gauge_render;
  Canvas c(w, h, 220);
  drawTurnedBox(c, cx, cy, angle, {-75, -75, 75, 75}, 40);
  const double co = std::cos(angle), si = std::sin(angle);
  // Drawing (40, 40) is frame (40, -40).
  drawDisc(c, cx + co * 40 + si * 40, cy + si * 40 - co * 40, 15, 220);
  blur(c, 1.0);
  return {w, h, quantise(c, 2.0, rng)};
}

}  // namespace cad_test
