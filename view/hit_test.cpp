#include <algorithm>
#include <cmath>

#include "draw/overlay.h"
#include "view/mouse.h"
#include "view/mouse_modes.h"
#include "view/zoom.h"

namespace orvane {
namespace {

using mouse::Near;

constexpr double kFullCircle = 6.2831854;
constexpr double kRimStep = 0.02;

// The grab distances in image pixels at the view's zoom.
struct Reach {
  double grab;
  double centre;
};

Reach ReachOf(const Station& st) {
  const ViewZoom zoom = Settled(AreaOf(st.image), st.view.zoom);
  return {GrabReach(zoom, kGrabDistance), GrabReach(zoom, kCentreGrabDistance)};
}

CursorId CursorOf(RoiPart part) {
  switch (part) {
    case RoiPart::TopLeft:
    case RoiPart::BottomRight:
      return CursorId::SizeNwse;
    case RoiPart::BottomLeft:
    case RoiPart::TopRight:
      return CursorId::SizeNesw;
    case RoiPart::Left:
    case RoiPart::Right:
      return CursorId::SizeWe;
    case RoiPart::Top:
    case RoiPart::Bottom:
      return CursorId::SizeNs;
    case RoiPart::Centre:
      return CursorId::SizeAll;
    case RoiPart::None:
      break;
  }
  return CursorId::Default;
}

// The first part of one ROI within reach of (x, y), in the order 1 to 9.
RoiPart PartAt(const RoiRecord& r, int64_t x, int64_t y, const Reach& reach) {
  const int64_t left = r.left, top = r.top, right = r.right, bottom = r.bottom;
  const double d = reach.grab;
  if (Near(x, left, d) && Near(y, top, d)) return RoiPart::TopLeft;
  if (Near(x, right, d) && Near(y, bottom, d)) return RoiPart::BottomRight;
  if (Near(x, left, d) && Near(y, bottom, d)) return RoiPart::BottomLeft;
  if (Near(x, right, d) && Near(y, top, d)) return RoiPart::TopRight;
  const bool within_rows = top <= y && y <= bottom;
  const bool within_columns = left <= x && x <= right;
  if (within_rows && Near(x, left, d)) return RoiPart::Left;
  if (within_rows && Near(x, right, d)) return RoiPart::Right;
  if (within_columns && Near(y, top, d)) return RoiPart::Top;
  if (within_columns && Near(y, bottom, d)) return RoiPart::Bottom;
  // Integer division truncates toward zero, as the handle is drawn.
  const int64_t cx = (left + right) / 2;
  const int64_t cy = (top + bottom) / 2;
  if (Near(x, cx, reach.centre) && Near(y, cy, reach.centre)) {
    return RoiPart::Centre;
  }
  return RoiPart::None;
}

bool NearPoint(int32_t x, int32_t y, const EntityPoint& p, double reach) {
  return Near(x, TruncToPixel(p.x), reach) && Near(y, TruncToPixel(p.y), reach);
}

uint32_t CircleKind(const DrawEntity& e, int32_t x, int32_t y, double reach) {
  const EntityPoint& c = e.points[0];
  if (NearPoint(x, y, c, reach)) return kGrabCentre;
  const double r = e.points[1].x;
  for (double a = 0.0; a <= kFullCircle; a += kRimStep) {
    const int32_t rx = TruncToPixel(std::cos(a) * r + c.x);
    const int32_t ry = TruncToPixel(c.y - std::sin(a) * r);
    if (Near(x, rx, reach) && Near(y, ry, reach)) return kGrabRim;
  }
  return 0;
}

uint32_t EntityKind(const DrawEntity& e, int32_t x, int32_t y, double reach) {
  switch (static_cast<EntityType>(e.type)) {
    case EntityType::Circle:
      return CircleKind(e, x, y, reach);
    case EntityType::Line:
      if (NearPoint(x, y, e.points[0], reach)) return kGrabLineStart;
      if (NearPoint(x, y, e.points[1], reach)) return kGrabLineEnd;
      return 0;
    case EntityType::Polyline: {
      const uint32_t n = std::min(e.point_count, kMaxEntityPoints);
      for (uint32_t k = 0; k < n; ++k) {
        if (NearPoint(x, y, e.points[k], reach)) return kGrabVertex;
      }
      return 0;
    }
  }
  return 0;
}

} // namespace

RoiHit HitTestRoi(Station& st, int32_t x, int32_t y) {
  st.view.cursor_id = st.image.view_cursor;
  const SolutionRecord& rec = *st.working;
  const uint32_t count = std::min(rec.roi_count, kMaxRois);
  const Reach reach = ReachOf(st);
  for (uint32_t i = 0; i < count; ++i) {
    const RoiPart part = PartAt(rec.rois[i], x, y, reach);
    if (part != RoiPart::None) {
      st.view.cursor_id = CursorValue(CursorOf(part));
      return {i, part};
    }
  }
  return {};
}

PointHit HitTestPoint(Station& st, int32_t x, int32_t y) {
  st.view.cursor_id = CursorValue(CursorId::Cross);
  const SolutionRecord& rec = *st.working;
  const uint32_t sets = std::min(rec.meas_count, kMaxMeasSets);
  const double reach = ReachOf(st).grab;
  for (uint32_t s = 0; s < sets; ++s) {
    const uint32_t points = std::min(rec.meas_points[s], kMaxMeasPoints);
    for (uint32_t p = 0; p < points; ++p) {
      const MeasPoint& q = rec.meas_point[s][p];
      if (Near(x, TruncToPixel(q.x), reach) && Near(y, TruncToPixel(q.y), reach)) {
        st.view.cursor_id = CursorValue(CursorId::SizeAll);
        return {s, p, kGrabPoint};
      }
    }
  }
  return {};
}

EntityHit HitTestEntity(Station& st, int32_t x, int32_t y) {
  st.view.cursor_id = CursorValue(CursorId::Cross);
  const SolutionRecord& rec = *st.working;
  const uint32_t count = std::min(rec.entity_count, kMaxEntities);
  const double reach = ReachOf(st).grab;
  for (uint32_t i = 0; i < count; ++i) {
    const DrawEntity& e = rec.entities[i];
    if (e.type != st.view.mouse_mode) continue;
    const uint32_t kind = EntityKind(e, x, y, reach);
    if (kind != 0) {
      st.view.cursor_id = CursorValue(CursorId::SizeAll);
      return {i, kind};
    }
  }
  return {};
}

} // namespace orvane
