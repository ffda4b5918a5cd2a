// The live video area: paints the newest picture it was handed, stretched
// over its whole client area, and keeps figures on how smoothly it painted.
#pragma once

#include <cstdint>

#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

#include "ui/qt/stretch.h"

namespace orvane::qt {

struct LivePaintStats {
  uint64_t frames = 0;        // pictures painted
  double first_ms = 0.0;      // clock of the first and last paint
  double last_ms = 0.0;
  double worst_gap_ms = 0.0;  // longest time between two paints
  double stretch_ms_total = 0.0;
};

class LiveVideoWidget : public QWidget {
 public:
  explicit LiveVideoWidget(QWidget* parent);

  // A new picture: stretched now to the area's device pixels, painted at the
  // next paint. Pixels as SourcePixels says.
  void SetPicture(const SourcePixels& picture);
  bool has_picture() const { return !image_.isNull(); }

  const LivePaintStats& stats() const { return stats_; }
  void ResetStats() { stats_ = {}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
  QElapsedTimer clock_;
  LivePaintStats stats_;
};

} // namespace orvane::qt
