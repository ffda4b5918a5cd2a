#include "view/part_marks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "acquisition/acquisition.h"
#include "inspect/part.h"

namespace orvane {
namespace {

constexpr Rgb kPartEdgeColour{1, 255, 128};
constexpr Rgb kPartFrameColour{255, 1, 255};
// Half the origin cross, and the shortest axis drawn, in image pixels.
constexpr double kCrossHalf = 8.0;
constexpr double kMinAxis = 20.0;

// A gauge-library position (pixel i covers [i, i+1)) as the pixel holding it.
int32_t PixelOf(double v) { return TruncToPixel(std::floor(v)); }

// A line of dots from one position to another, without the gaps the
// overlay's own lines leave on steep slopes, thick enough to show in a view
// that shrinks the picture.
void SolidLine(const OverlayCanvas& canvas, double x0, double y0, double x1, double y1, Rgb colour) {
  const double steps = std::ceil(std::max(std::fabs(x1 - x0), std::fabs(y1 - y0)));
  if (!(steps < 1e5)) return;
  for (double i = 0; i <= steps; ++i) {
    const double t = steps > 0 ? i / steps : 0.0;
    DrawDot(canvas, PixelOf(x0 + t * (x1 - x0)), PixelOf(y0 + t * (y1 - y0)), colour);
  }
}

// A segment given in the part's own frame.
void PartLine(const OverlayCanvas& canvas, const PartPose& pose, double u0, double v0, double u1,
              double v1) {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  PartToPicture(pose, u0, v0, &x0, &y0);
  PartToPicture(pose, u1, v1, &x1, &y1);
  SolidLine(canvas, x0, y0, x1, y1, kPartFrameColour);
}

// The origin cross, the axes (+x to the taught rectangle's right side, +y
// to its bottom side, each with an arrow head) and the score beside the
// origin.
void DrawFrame(const OverlayCanvas& canvas, const PartPose& pose, double width, double height) {
  const double ax = std::max(kMinAxis, width / 2), ay = std::max(kMinAxis, height / 2);
  const double head = std::min(ax, ay) / 6;
  PartLine(canvas, pose, -kCrossHalf, -kCrossHalf, kCrossHalf, kCrossHalf);
  PartLine(canvas, pose, -kCrossHalf, kCrossHalf, kCrossHalf, -kCrossHalf);
  PartLine(canvas, pose, 0, 0, ax, 0);
  PartLine(canvas, pose, ax, 0, ax - head, -head / 2);
  PartLine(canvas, pose, ax, 0, ax - head, head / 2);
  PartLine(canvas, pose, 0, 0, 0, ay);
  PartLine(canvas, pose, 0, ay, -head / 2, ay - head);
  PartLine(canvas, pose, 0, ay, head / 2, ay - head);
  char score[32];
  std::snprintf(score, sizeof score, "%.3f", pose.score);
  DrawText(canvas, PixelOf(pose.x) + 12, PixelOf(pose.y) + 12, score, kPartFrameColour);
}

void DrawEdges(const OverlayCanvas& canvas, const qgPartModel* model, int32_t points,
               const PartPose& pose) {
  for (int32_t i = 0; i < points; ++i) {
    qgPoint at{}, normal{};
    if (qgPartModelPoint(model, i, &at, &normal) != QG_OK) continue;
    double x = 0, y = 0;
    PartToPicture(pose, at.x, at.y, &x, &y);
    DrawDot(canvas, PixelOf(x), PixelOf(y), kPartEdgeColour);
  }
}

} // namespace

void DrawPartMarks(Station& st) {
  if (!st.part || st.part->shown.empty()) return;
  PartSession& part = *st.part;
  const qgPartModel* model = part.model();
  if (model == nullptr || PictureFingerprint(st.image) != part.shown_picture) {
    part.shown.clear();
    return;
  }
  int32_t points = 0;
  double width = 0, height = 0;
  qgPartModelInfo(model, &points, nullptr, &width, &height);
  const OverlayCanvas canvas = CanvasOf(st);
  for (const PartPose& pose : part.shown) {
    DrawEdges(canvas, model, points, pose);
    DrawFrame(canvas, pose, width, height);
  }
}

} // namespace orvane
