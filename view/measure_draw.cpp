// Modes 1 to 5: clicking measurement sets, drawing circles, lines and
// polylines, dragging their points, and deleting entities.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "acquisition/acquisition.h"
#include "draw/overlay.h"
#include "solutions/measurement.h"
#include "view/measure_results.h"
#include "view/mouse_modes.h"

namespace orvane::mouse {
namespace {

constexpr uint32_t kMode2Pt = static_cast<uint32_t>(MouseMode::Measure);
constexpr uint32_t kMode3Pt = static_cast<uint32_t>(MouseMode::Measure2);
constexpr uint32_t kModeCircle = static_cast<uint32_t>(MouseMode::Circle);
constexpr uint32_t kModeLine = static_cast<uint32_t>(MouseMode::Line);
constexpr uint32_t kModePolyline = static_cast<uint32_t>(MouseMode::Polyline);

bool IsMeasuring(uint32_t mode) { return mode == kMode2Pt || mode == kMode3Pt; }

// The grabbed entity when it still exists and is of the given type.
DrawEntity* GrabbedEntity(Station& st, uint32_t type) {
  SolutionRecord& rec = *st.working;
  const uint32_t index = st.view.edit.index;
  if (index >= std::min(rec.entity_count, kMaxEntities)) return nullptr;
  DrawEntity& e = rec.entities[index];
  return e.type == type ? &e : nullptr;
}

// A fresh entity in the next free slot, every field not set here zero; null
// when all slots are taken.
DrawEntity* NewEntity(Station& st, uint32_t type) {
  SolutionRecord& rec = *st.working;
  if (rec.entity_count >= kMaxEntities) return nullptr;
  DrawEntity& e = rec.entities[rec.entity_count];
  std::memset(&e, 0, sizeof e);
  e.type = type;
  st.view.edit.kind = 0;
  st.view.edit.index = rec.entity_count;
  ++rec.entity_count;
  return &e;
}

void DeleteEntity(SolutionRecord& rec, uint32_t index) {
  const uint32_t count = std::min(rec.entity_count, kMaxEntities);
  if (index >= count) return;
  std::memmove(&rec.entities[index], &rec.entities[index + 1],
               (count - index - 1) * sizeof(DrawEntity));
  std::memset(&rec.entities[count - 1], 0, sizeof(DrawEntity));
  rec.entity_count = count - 1;
}

EntityPoint PointAt(int32_t x, int32_t y) { return {double(x), double(y), 0.0}; }

void MeasureLeftDown(Station& st, uint32_t keys) {
  ImageView& v = st.view;
  SolutionRecord& rec = *st.working;
  // Alt stays the diameter gauge's shortcut whatever the tool.
  const MeasureTool tool = (keys & kKeyAlt) ? MeasureTool::Diameter : ResultsOf(st).tool;
  if (tool != MeasureTool::Measure) {
    ToolClick(st, tool, v.press_x, v.press_y);
    Refresh(st);
    return;
  }
  const PointHit hit = HitTestPoint(st, v.press_x, v.press_y);
  v.edit = {hit.kind, hit.set, hit.point};
  if (hit.kind != 0) {
    GrabMeasuredPoint(st, hit.set, hit.point);
    Refresh(st);
    return;
  }
  const uint32_t sets = std::min(rec.meas_count, kMaxMeasSets);
  if (v.set_complete == 1) {
    if (sets < std::min(rec.meas_max, kMaxMeasSets) && st.hooks.ask_distance && st.hooks.ask_distance() == DialogResult::Ok) {
      const uint32_t s = sets;
      rec.meas_points[s] = 1;
      rec.meas_depth[s] = st.shared_dialog_value;
      rec.meas_point[s][0] = MeasPoint{};
      rec.meas_point[s][0].x = v.press_x;
      rec.meas_point[s][0].y = v.press_y;
      SnapMeasuredPoint(st, s, 0);
      rec.meas_point[s][0].depth = rec.meas_depth[s];
      rec.meas_count = s + 1;
      v.set_complete = 0;
    }
  } else {
    const uint32_t s = sets - 1;
    const uint32_t limit = std::min(rec.meas_points_max, kMaxMeasPoints);
    if (sets > 0 && rec.meas_points[s] < limit) {
      const uint32_t n = rec.meas_points[s];
      rec.meas_point[s][n] = MeasPoint{};
      rec.meas_point[s][n].x = v.press_x;
      rec.meas_point[s][n].y = v.press_y;
      SnapMeasuredPoint(st, s, n);
      rec.meas_point[s][n].depth = rec.meas_depth[s];
      rec.meas_points[s] = n + 1;
      RecordMeasuredPoint(st, s, n);
      if ((v.mouse_mode == kMode2Pt && n + 1 == 2) || (v.mouse_mode == kMode3Pt && n + 1 == 3)) {
        v.set_complete = 1;
      }
    } else {
      v.set_complete = 1;
    }
  }
  Refresh(st);
}

void CircleLeftDown(Station& st) {
  ImageView& v = st.view;
  const EntityHit hit = HitTestEntity(st, v.press_x, v.press_y);
  v.edit.kind = hit.kind;
  v.edit.index = hit.index;
  if (hit.kind == 0) {
    if (DrawEntity* e = NewEntity(st, kModeCircle)) {
      e->points[0] = PointAt(v.press_x, v.press_y);
      v.edit.kind = kGrabRim;
    }
  } else if (hit.kind == kGrabRim) {
    // The drag measures the radius from the centre, wherever the rim was taken.
    const EntityPoint& c = st.working->entities[hit.index].points[0];
    v.press_x = TruncToPixel(c.x);
    v.press_y = TruncToPixel(c.y);
  }
}

void LineLeftDown(Station& st) {
  ImageView& v = st.view;
  const EntityHit hit = HitTestEntity(st, v.press_x, v.press_y);
  v.edit.kind = hit.kind;
  v.edit.index = hit.index;
  if (hit.kind != 0) return;
  if (DrawEntity* e = NewEntity(st, kModeLine)) {
    e->points[0] = PointAt(v.press_x, v.press_y);
    SnapClick(st, &e->points[0].x, &e->points[0].y);
    e->points[1] = e->points[0];
    v.edit.kind = kGrabLineEnd;
  }
}

void PolylineLeftDown(Station& st, uint32_t keys) {
  ImageView& v = st.view;
  if (v.edit.kind == kBuildingPolyline) {
    if (DrawEntity* e = GrabbedEntity(st, kModePolyline)) {
      if (e->point_count < kMaxEntityPoints) {
        e->points[e->point_count++] = PointAt(v.press_x, v.press_y);
      }
      if (keys & kKeyShift) {
        if (e->point_count < kMaxEntityPoints) {
          e->points[e->point_count++] = {e->points[0].x, e->points[0].y, 0.0};
        }
        v.edit.kind = 0;
      }
      Refresh(st);
      return;
    }
    // The polyline under construction is gone: this press starts afresh.
    v.edit.kind = 0;
  }
  // Any other grab left over (a circle or line end whose release fell outside
  // the view) makes the press do nothing.
  if (v.edit.kind != 0) return;
  const EntityHit hit = HitTestEntity(st, v.press_x, v.press_y);
  // A press on a vertex edits nothing and leaves nothing pending, so the next
  // press on empty image starts a polyline again.
  v.edit.kind = 0;
  v.edit.index = hit.index;
  if (hit.kind != 0) return;
  if (DrawEntity* e = NewEntity(st, kModePolyline)) {
    e->point_count = 1;
    e->points[0] = PointAt(v.press_x, v.press_y);
    v.edit.kind = kBuildingPolyline;
    Refresh(st);
  }
}

// With snapping on, the line end or circle rim just placed moves to the
// nearest edge.
void SnapEntityEnd(Station& st) {
  ImageView& v = st.view;
  if (v.mouse_mode == kModeLine && (v.edit.kind == kGrabLineStart || v.edit.kind == kGrabLineEnd)) {
    if (DrawEntity* e = GrabbedEntity(st, kModeLine)) {
      EntityPoint& p = e->points[v.edit.kind == kGrabLineStart ? 0 : 1];
      SnapClick(st, &p.x, &p.y);
    }
  } else if (v.mouse_mode == kModeCircle && v.edit.kind == kGrabRim) {
    if (DrawEntity* e = GrabbedEntity(st, kModeCircle)) {
      double x = v.move_x, y = v.move_y;
      SnapClick(st, &x, &y);
      if (x != v.move_x || y != v.move_y) {
        e->points[1].x = std::hypot(x - e->points[0].x, y - e->points[0].y);
      }
    }
  }
}

} // namespace

void DrawLeftDown(Station& st, uint32_t keys) {
  switch (st.view.mouse_mode) {
    case kMode2Pt:
    case kMode3Pt:
      MeasureLeftDown(st, keys);
      break;
    case kModeCircle:
      CircleLeftDown(st);
      break;
    case kModeLine:
      LineLeftDown(st);
      break;
    case kModePolyline:
      PolylineLeftDown(st, keys);
      break;
  }
}

void DrawMove(Station& st, uint32_t keys) {
  ImageView& v = st.view;
  const uint32_t mode = v.mouse_mode;
  if (keys == 0) {
    if (IsMeasuring(mode)) {
      HitTestPoint(st, v.move_x, v.move_y);
    } else {
      HitTestEntity(st, v.move_x, v.move_y);
    }
  }
  if (IsMeasuring(mode)) {
    if (!(keys & kKeyLeftButton) || (keys & kKeyControl)) return;
    if (v.edit.kind != kGrabPoint) return;
    SolutionRecord& rec = *st.working;
    const uint32_t s = v.edit.index, p = v.edit.point;
    if (s < std::min(rec.meas_count, kMaxMeasSets) &&
        p < std::min(rec.meas_points[s], kMaxMeasPoints)) {
      MeasPoint& q = rec.meas_point[s][p];
      const double nx = q.x + (static_cast<double>(v.move_x) - v.press_x);
      const double ny = q.y + (static_cast<double>(v.move_y) - v.press_y);
      if (nx >= 0.0 && nx < st.image.width && ny >= 0.0 && ny < st.image.height) {
        q.x = nx;
        q.y = ny;
      }
    }
    v.press_x = v.move_x;
    v.press_y = v.move_y;
    Refresh(st);
    return;
  }
  if (mode == kModeCircle) {
    DrawEntity* e = GrabbedEntity(st, kModeCircle);
    if (e == nullptr) return;
    if (v.edit.kind == kGrabCentre) {
      e->points[0].x = v.move_x;
      e->points[0].y = v.move_y;
    } else if (v.edit.kind == kGrabRim) {
      const double dx = static_cast<double>(v.move_x) - v.press_x;
      const double dy = static_cast<double>(v.move_y) - v.press_y;
      e->points[1].x = std::sqrt(dx * dx + dy * dy);
    } else {
      return;
    }
    Refresh(st);
  } else if (mode == kModeLine) {
    DrawEntity* e = GrabbedEntity(st, kModeLine);
    if (e == nullptr) return;
    if (v.edit.kind == kGrabLineStart) {
      e->points[0].x = v.move_x;
      e->points[0].y = v.move_y;
    } else if (v.edit.kind == kGrabLineEnd) {
      e->points[1].x = v.move_x;
      e->points[1].y = v.move_y;
    } else {
      return;
    }
    Refresh(st);
  }
}

void DrawLeftUp(Station& st) {
  ImageView& v = st.view;
  if (v.mouse_mode == kModePolyline) {
    // A polyline under construction stays open across releases.
    ComposeDisplay(st, st.image.frame);
    return;
  }
  if (IsMeasuring(v.mouse_mode)) ReleaseMeasuredPoint(st);
  SnapEntityEnd(st);
  v.edit = {};
  RedrawOverlay(st);
  v.cursor_id = CursorValue(CursorId::Cross);
  ComposeDisplay(st, st.image.frame);
}

void DrawRightDown(Station& st, bool placed) {
  ImageView& v = st.view;
  if (v.edit.kind == kBuildingPolyline) {
    // The press ends the polyline under construction and nothing more: it
    // usually lands on the last vertex, which must not delete the polyline.
    v.edit.kind = 0;
    return;
  }
  if (!placed) return;
  SolutionRecord& rec = *st.working;
  if (rec.entity_count == 0) return;
  const EntityHit hit = HitTestEntity(st, v.press_x, v.press_y);
  v.edit.kind = hit.kind;
  v.edit.index = hit.index;
  if (hit.kind == 0) return;
  DeleteEntity(rec, hit.index);
  v.edit.kind = 0;
  v.cursor_id = CursorValue(CursorId::Cross);
  Refresh(st);
}

void DrawRightUp(Station& st) {
  ImageView& v = st.view;
  if (v.mouse_mode == kMode2Pt && v.set_complete == 0) {
    v.set_complete = 1;
    Refresh(st);
  }
}

} // namespace orvane::mouse
