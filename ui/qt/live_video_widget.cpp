#include "ui/qt/live_video_widget.h"

#include <algorithm>

#include <QPainter>

namespace orvane::qt {

LiveVideoWidget::LiveVideoWidget(QWidget* parent) : QWidget(parent) {
  clock_.start();
}

void LiveVideoWidget::SetPicture(const SourcePixels& picture) {
  const double start = static_cast<double>(clock_.nsecsElapsed()) / 1e6;
  const double ratio = devicePixelRatioF();
  image_ = StretchNearest(picture, DevicePixels(width(), ratio), DevicePixels(height(), ratio));
  image_.setDevicePixelRatio(ratio);
  stats_.stretch_ms_total += static_cast<double>(clock_.nsecsElapsed()) / 1e6 - start;
  update();
}

void LiveVideoWidget::paintEvent(QPaintEvent*) {
  if (image_.isNull()) return;
  QPainter painter(this);
  painter.drawImage(QPointF(0, 0), image_);
  const double now = static_cast<double>(clock_.nsecsElapsed()) / 1e6;
  if (stats_.frames == 0) {
    stats_.first_ms = now;
  } else {
    stats_.worst_gap_ms = std::max(stats_.worst_gap_ms, now - stats_.last_ms);
  }
  stats_.last_ms = now;
  ++stats_.frames;
}

} // namespace orvane::qt
