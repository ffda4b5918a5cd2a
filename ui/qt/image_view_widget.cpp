#include "ui/qt/image_view_widget.h"

#include <cmath>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

#include "station/control_ids.h"
#include "ui/qt/stretch.h"

namespace orvane::qt {

Qt::CursorShape CursorShapeOf(uint32_t cursor_id) {
  switch (static_cast<CursorId>(cursor_id)) {
    case CursorId::Cross:
      return Qt::CrossCursor;
    case CursorId::SizeNwse:
      return Qt::SizeFDiagCursor;
    case CursorId::SizeNesw:
      return Qt::SizeBDiagCursor;
    case CursorId::SizeWe:
      return Qt::SizeHorCursor;
    case CursorId::SizeNs:
      return Qt::SizeVerCursor;
    case CursorId::SizeAll:
      return Qt::SizeAllCursor;
    default:
      return Qt::ArrowCursor;
  }
}

uint32_t KeyFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
  uint32_t keys = 0;
  if (buttons & Qt::LeftButton) keys |= kKeyLeftButton;
  if (buttons & Qt::RightButton) keys |= kKeyRightButton;
  if (buttons & Qt::MiddleButton) keys |= kKeyMiddleButton;
  if (modifiers & Qt::ShiftModifier) keys |= kKeyShift;
  if (modifiers & Qt::ControlModifier) keys |= kKeyControl;
  return keys;
}

ImageViewWidget::ImageViewWidget(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setAcceptDrops(true);
  // The right button belongs to the mouse code, not to a menu.
  setContextMenuPolicy(Qt::PreventContextMenu);
}

void ImageViewWidget::RefreshCursor() {
  const std::optional<uint32_t> id = view_ ? view_->Cursor() : std::nullopt;
  if (id) {
    setCursor(CursorShapeOf(*id));
  } else {
    unsetCursor();
  }
}

void ImageViewWidget::paintEvent(QPaintEvent*) {
  if (view_ == nullptr) return;
  const std::optional<PaintPlan> plan = view_->Paint(width(), height());
  if (!plan) return;
  QElapsedTimer timer;
  timer.start();
  const int32_t bytes = plan->header.bit_count / 8;
  const int32_t image_width = plan->header.width;
  const int32_t image_height = std::abs(plan->header.height);
  if (bytes != 3 || image_width <= 0) return;
  SourcePixels source;
  source.bits = plan->bits;
  source.width = image_width;
  source.height = image_height;
  source.bytes_per_pixel = 3;
  source.stride = (image_width * 3 + 3) & ~3; // rows of the header's layout
  const double ratio = devicePixelRatioF();
  QImage image = StretchNearest(source, DevicePixels(plan->dest_width, ratio),
                                DevicePixels(plan->dest_height, ratio));
  image.setDevicePixelRatio(ratio);
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(QPointF(0, 0), image);
  last_paint_ms_ = static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

void ImageViewWidget::Forward(MouseEvent kind, QMouseEvent* event) {
  event->accept();
  if (!mouse) return;
  // Client pixels are the logical pixels the view was sized in; a fractional
  // position inside pixel n is pixel n.
  const QPointF p = event->position();
  const auto x = static_cast<int32_t>(std::floor(p.x()));
  const auto y = static_cast<int32_t>(std::floor(p.y()));
  mouse(kind, x, y, KeyFlags(event->buttons(), event->modifiers()));
  RefreshCursor();
}

void ImageViewWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    Forward(MouseEvent::LeftDown, event);
  } else if (event->button() == Qt::RightButton) {
    Forward(MouseEvent::RightDown, event);
  }
}

// The view takes no double-clicks: a second press is a press.
void ImageViewWidget::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

void ImageViewWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    Forward(MouseEvent::LeftUp, event);
  } else if (event->button() == Qt::RightButton) {
    Forward(MouseEvent::RightUp, event);
  }
}

void ImageViewWidget::mouseMoveEvent(QMouseEvent* event) { Forward(MouseEvent::Move, event); }

void ImageViewWidget::dragEnterEvent(QDragEnterEvent* event) {
  const QMimeData* data = event->mimeData();
  if (data->hasUrls() && !data->urls().isEmpty() && data->urls().first().isLocalFile()) {
    event->acceptProposedAction();
  }
}

void ImageViewWidget::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.isEmpty() || !urls.first().isLocalFile()) return;
  event->acceptProposedAction();
  // Only the first of several files counts.
  if (dropped) dropped(urls.first().toLocalFile());
}

} // namespace orvane::qt
