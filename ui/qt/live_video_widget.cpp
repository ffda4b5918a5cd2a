#include "ui/qt/live_video_widget.h"

#include <algorithm>

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

namespace orvane::qt {

LiveVideoWidget::LiveVideoWidget(QWidget* parent) : QWidget(parent) {
  clock_.start();
}

void LiveVideoWidget::SetPicture(const SourcePixels& picture) {
  const double start = static_cast<double>(clock_.nsecsElapsed()) / 1e6;
  const double ratio = devicePixelRatioF();
  const int32_t device_width = DevicePixels(width(), ratio);
  const int32_t device_height = DevicePixels(height(), ratio);
  ViewZoom zoom;
  if (view_ != nullptr && view_->width == picture.width && view_->height == picture.height) {
    zoom = Settled({picture.width, picture.height, double(width()), double(height())}, view_->zoom);
  }
  if (zoom.fit()) {
    image_ = StretchNearest(picture, device_width, device_height);
  } else {
    const double device_scale = zoom.scale * ratio;
    image_ = SampleNearest(picture, ZoomTable(zoom.origin_x, device_scale, device_width, picture.width),
                           ZoomTable(zoom.origin_y, device_scale, device_height, picture.height),
                           0xFF202020u);
  }
  image_.setDevicePixelRatio(ratio);
  stats_.stretch_ms_total += static_cast<double>(clock_.nsecsElapsed()) / 1e6 - start;
  update();
}

void LiveVideoWidget::wheelEvent(QWheelEvent* event) {
  event->accept();
  const double steps = event->angleDelta().y() / 120.0;
  if (steps != 0.0 && wheel) wheel(steps, event->position());
}

void LiveVideoWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::MiddleButton) {
    if (pressed && event->button() == Qt::LeftButton) pressed(MouseEvent::LeftDown);
    return QWidget::mousePressEvent(event);
  }
  panning_ = true;
  pan_from_ = event->position();
  event->accept();
}

void LiveVideoWidget::mouseMoveEvent(QMouseEvent* event) {
  if (!panning_) return QWidget::mouseMoveEvent(event);
  if (pan) pan(event->position() - pan_from_);
  pan_from_ = event->position();
  event->accept();
}

void LiveVideoWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::MiddleButton) return QWidget::mouseReleaseEvent(event);
  panning_ = false;
  event->accept();
}

void LiveVideoWidget::paintEvent(QPaintEvent*) {
  if (image_.isNull()) return;
  QPainter painter(this);
  painter.drawImage(QPointF(0, 0), image_);
  const double now = static_cast<double>(clock_.nsecsElapsed()) / 1e6;
  if (stats_.frames == 0) {
    stats_.first_ms = now;
  } else {
    const double gap = now - stats_.last_ms;
    stats_.worst_gap_ms = std::max(stats_.worst_gap_ms, gap);
    ++stats_.gap_counts[std::min(static_cast<size_t>(gap), stats_.gap_counts.size() - 1)];
  }
  stats_.last_ms = now;
  ++stats_.frames;
}

} // namespace orvane::qt
