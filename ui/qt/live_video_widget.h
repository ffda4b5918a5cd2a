// The live video area: paints the newest picture it was handed, stretched
// over its whole client area or zoomed as the image view is, and keeps
// figures on how smoothly it painted.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

#include "station/image_view.h"
#include "ui/qt/stretch.h"
#include "view/mouse.h"
#include "view/zoom.h"

namespace orvane::qt {

struct LivePaintStats {
  uint64_t frames = 0;        // pictures painted
  double first_ms = 0.0;      // clock of the first and last paint
  double last_ms = 0.0;
  double worst_gap_ms = 0.0;  // longest time between two paints
  double stretch_ms_total = 0.0;
  // Gaps between paints in whole milliseconds (the last bin holds the
  // longer ones), so a rare late paint can be told from a steady rhythm.
  std::array<uint32_t, 128> gap_counts{};
};

class LiveVideoWidget : public QWidget {
 public:
  explicit LiveVideoWidget(QWidget* parent);

  // A new picture: stretched now to the area's device pixels, painted at the
  // next paint. Pixels as SourcePixels says.
  void SetPicture(const SourcePixels& picture);
  // The view whose zoom a picture of the view's image size follows.
  void SetView(const ImageView* view) { view_ = view; }
  // A wheel turn over the area (notches, positive: in), for the view to zoom.
  std::function<void(double steps, QPointF at)> wheel;
  // A middle-button drag over the area by `delta` view pixels, for the view
  // to pan.
  std::function<void(QPointF delta)> pan;
  // A left press on the area (the middle button pans, the right one opens
  // the window's menu).
  std::function<void(MouseEvent)> pressed;
  bool has_picture() const { return !image_.isNull(); }

  const LivePaintStats& stats() const { return stats_; }
  void ResetStats() { stats_ = {}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool panning_ = false;
  QPointF pan_from_;
  const ImageView* view_ = nullptr;
  QImage image_;
  QElapsedTimer clock_;
  LivePaintStats stats_;
};

} // namespace orvane::qt
