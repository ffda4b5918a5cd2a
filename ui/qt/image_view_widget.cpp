#include "ui/qt/image_view_widget.h"

#include <algorithm>
#include <cmath>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QUrl>

#include "station/control_ids.h"
#include "ui/qt/stretch.h"
#include "view/zoom.h"

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
  if (modifiers & Qt::AltModifier) keys |= kKeyAlt;
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

namespace {

// What a zoomed view shows past the image's edges.
constexpr uint32_t kMarginColour = 0xFF202020u;
// The overview's longer side and its distance from the view's corner.
constexpr int kOverviewSide = 120;
constexpr int kOverviewMargin = 8;
// The loupe: image pixels a side, view pixels per image pixel, the strip of
// text under it, and its distance from the cursor.
constexpr int kLoupePixels = 15;
constexpr int kLoupeZoom = 8;
constexpr int kLoupeSide = kLoupePixels * kLoupeZoom;
constexpr int kLoupeTextHeight = 16;
constexpr int kLoupeGap = 16;
// The space around the pinned texts and around the loupe's line.
constexpr int kPinnedPadding = 4;

QString ZoomText(double scale) {
  const double rounded = std::round(scale * 10.0) / 10.0;
  return QString::number(rounded, 'f', rounded == std::floor(rounded) ? 0 : 1) + QChar(0x00D7);
}

} // namespace

ZoomArea ImageViewWidget::Area() const {
  if (view_ == nullptr) return {};
  return {view_->width, view_->height, static_cast<double>(width()), static_cast<double>(height())};
}

ViewZoom ImageViewWidget::Zoom() const {
  return view_ == nullptr ? ViewZoom{} : Settled(Area(), view_->zoom);
}

bool ImageViewWidget::ImagePixelAt(QPointF p, int32_t* x, int32_t* y) const {
  if (view_ == nullptr || p.x() < 0 || p.y() < 0 || p.x() >= width() || p.y() >= height()) {
    return false;
  }
  const ViewZoom zoom = Zoom();
  int64_t ix, iy;
  if (zoom.fit()) {
    // The rule the station maps a client pixel by.
    const auto cx = static_cast<int32_t>(std::floor(p.x()));
    const auto cy = static_cast<int32_t>(std::floor(p.y()));
    ix = std::min<int64_t>(MapAxis(cx, view_->width, width()), view_->width - 1);
    iy = std::min<int64_t>(MapAxis(cy, view_->height, height()), view_->height - 1);
  } else {
    const double ratio = devicePixelRatioF();
    const double device_scale = zoom.scale * ratio;
    ix = ZoomedPixel(zoom.origin_x, static_cast<int64_t>(std::floor(p.x() * ratio)), device_scale);
    iy = ZoomedPixel(zoom.origin_y, static_cast<int64_t>(std::floor(p.y() * ratio)), device_scale);
  }
  if (ix < 0 || iy < 0 || ix >= view_->width || iy >= view_->height) return false;
  *x = static_cast<int32_t>(ix);
  *y = static_cast<int32_t>(iy);
  return true;
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
  const int32_t device_width = DevicePixels(plan->dest_width, ratio);
  const int32_t device_height = DevicePixels(plan->dest_height, ratio);
  const ViewZoom zoom = Zoom();
  QImage image;
  if (zoom.fit()) {
    image = StretchNearest(source, device_width, device_height);
  } else {
    const double device_scale = zoom.scale * ratio;
    image = SampleNearest(source, ZoomTable(zoom.origin_x, device_scale, device_width, image_width),
                          ZoomTable(zoom.origin_y, device_scale, device_height, image_height),
                          kMarginColour);
  }
  image.setDevicePixelRatio(ratio);
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(QPointF(0, 0), image);
  if (!zoom.fit()) {
    PaintOverview(painter, zoom);
    PaintPinned(painter);
  }
  if (loupe_on_ && cursor_inside_) PaintLoupe(painter);
  last_paint_ms_ = static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

namespace {

// The overview's frame of the whole image, in view pixels.
QRectF OverviewFrame(const ZoomArea& area, int view_width) {
  const double unit = double(kOverviewSide) / std::max(area.image_width, area.image_height);
  return {view_width - kOverviewMargin - area.image_width * unit, double(kOverviewMargin),
          area.image_width * unit, area.image_height * unit};
}

QRect ZoomTextBox(const QRectF& whole, const QFontMetrics& metrics, const QString& text) {
  return {static_cast<int>(whole.x()) - metrics.horizontalAdvance(text) - 10, kOverviewMargin,
          metrics.horizontalAdvance(text) + 6, metrics.height() + 2};
}

QColor ColourOf(Rgb c) { return {c.r, c.g, c.b}; }

} // namespace

QRectF ImageViewWidget::OverviewBounds(const ViewZoom& zoom) const {
  const QRectF whole = OverviewFrame(Area(), width());
  return whole.united(QRectF(ZoomTextBox(whole, fontMetrics(), ZoomText(zoom.scale))));
}

// The whole image as a small frame in the top-right corner, the part in view
// inside it, and the zoom factor beside it.
void ImageViewWidget::PaintOverview(QPainter& painter, const ViewZoom& zoom) {
  const ZoomArea area = Area();
  const double unit = double(kOverviewSide) / std::max(area.image_width, area.image_height);
  const QRectF whole = OverviewFrame(area, width());
  const ImageSpan part = VisiblePart(area, zoom);
  painter.fillRect(whole, QColor(0, 0, 0, 140));
  painter.setPen(QPen(Qt::white, 1));
  painter.drawRect(whole);
  painter.setPen(QPen(QColor(255, 220, 0), 1));
  painter.drawRect(QRectF(whole.x() + part.x * unit, whole.y() + part.y * unit,
                          std::max(part.width * unit, 2.0), std::max(part.height * unit, 2.0)));
  const QString text = ZoomText(zoom.scale);
  const QRect box = ZoomTextBox(whole, QFontMetrics(painter.font()), text);
  painter.fillRect(box, QColor(0, 0, 0, 160));
  painter.setPen(Qt::white);
  painter.drawText(box, Qt::AlignCenter, text);
}

std::vector<const OverlayText*> ImageViewWidget::Pinned() const {
  const ViewZoom zoom = Zoom();
  if (overlay_texts_ == nullptr || zoom.fit()) return {};
  const QRectF box = OverviewBounds(zoom);
  const ImageSpan covered{zoom.origin_x + box.x() / zoom.scale, zoom.origin_y + box.y() / zoom.scale,
                          box.width() / zoom.scale, box.height() / zoom.scale};
  return HiddenTexts(*overlay_texts_, VisiblePart(Area(), zoom), covered);
}

QStringList ImageViewWidget::PinnedLines() const {
  QStringList lines;
  for (const OverlayText* t : Pinned()) {
    lines << QString::fromLatin1(t->text.data(), static_cast<qsizetype>(t->text.size()));
  }
  return lines;
}

QRect ImageViewWidget::PinnedRect() const {
  const QStringList lines = PinnedLines();
  if (lines.isEmpty()) return {};
  const QFontMetrics metrics = fontMetrics();
  int widest = 0;
  for (const QString& line : lines) widest = std::max(widest, metrics.horizontalAdvance(line));
  const int w = std::min(widest + 2 * kPinnedPadding, std::max(0, width() - 2 * kOverviewMargin));
  const int h = static_cast<int>(lines.size()) * metrics.height() + 2 * kPinnedPadding;
  return {kOverviewMargin, std::max(0, height() - kOverviewMargin - h), w, h};
}

// The overlay's texts the zoomed view cannot show whole, in the view's
// bottom-left corner in their colours, at every zoom the same size.
void ImageViewWidget::PaintPinned(QPainter& painter) {
  const std::vector<const OverlayText*> pinned = Pinned();
  const QRect box = PinnedRect();
  if (pinned.empty() || box.isEmpty()) return;
  painter.fillRect(box, QColor(0, 0, 0, 190));
  const int line_height = painter.fontMetrics().height();
  int y = box.y() + kPinnedPadding;
  for (const OverlayText* t : pinned) {
    painter.setPen(ColourOf(t->colour));
    painter.drawText(QRect(box.x() + kPinnedPadding, y, box.width() - 2 * kPinnedPadding, line_height),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromLatin1(t->text.data(), static_cast<qsizetype>(t->text.size())));
    y += line_height;
  }
}

QRect ImageViewWidget::LoupeRect() const {
  const QString text = LoupeText();
  if (text.isEmpty()) return {};
  // The line under the loupe is never cut: the strip (and the loupe with
  // it) is as wide as the text needs, and the whole is placed in the view.
  const int width = std::max(kLoupeSide, fontMetrics().horizontalAdvance(text) + 2 * kPinnedPadding);
  const LoupeSpot spot =
      PlaceLoupe(this->width(), height(), static_cast<int32_t>(std::floor(cursor_.x())),
                 static_cast<int32_t>(std::floor(cursor_.y())), width,
                 kLoupeSide + kLoupeTextHeight, kLoupeGap);
  return {spot.x, spot.y, width, kLoupeSide + kLoupeTextHeight};
}

// The pixels around the one under the cursor, magnified, with a crosshair on
// it and its position and value under them.
void ImageViewWidget::PaintLoupe(QPainter& painter) {
  int32_t cx, cy;
  const QRect outer = LoupeRect();
  if (outer.isEmpty() || !ImagePixelAt(cursor_, &cx, &cy) || view_->bits == nullptr) return;
  const QRect rect(outer.x() + (outer.width() - kLoupeSide) / 2, outer.y(), kLoupeSide, kLoupeSide);
  const int32_t stride = (view_->width * 3 + 3) & ~3;
  const int half = kLoupePixels / 2;
  for (int j = 0; j < kLoupePixels; ++j) {
    for (int i = 0; i < kLoupePixels; ++i) {
      const int32_t x = cx - half + i;
      const int32_t y = cy - half + j;
      QColor colour = QColor::fromRgb(kMarginColour);
      if (x >= 0 && y >= 0 && x < view_->width && y < view_->height) {
        const uint8_t* p = view_->bits + static_cast<ptrdiff_t>(y) * stride + x * 3;
        colour = QColor(p[2], p[1], p[0]);
      }
      painter.fillRect(rect.x() + i * kLoupeZoom, rect.y() + j * kLoupeZoom, kLoupeZoom, kLoupeZoom,
                       colour);
    }
  }
  const QRect centre(rect.x() + half * kLoupeZoom, rect.y() + half * kLoupeZoom, kLoupeZoom,
                     kLoupeZoom);
  painter.setPen(QPen(Qt::black, 1));
  painter.drawRect(centre.adjusted(-1, -1, 0, 0));
  painter.setPen(QPen(Qt::white, 1));
  painter.drawRect(centre.adjusted(-2, -2, 1, 1));
  const int mid_x = centre.x() + kLoupeZoom / 2;
  const int mid_y = centre.y() + kLoupeZoom / 2;
  painter.drawLine(rect.x(), mid_y, centre.x() - 3, mid_y);
  painter.drawLine(centre.right() + 3, mid_y, rect.x() + kLoupeSide - 1, mid_y);
  painter.drawLine(mid_x, rect.y(), mid_x, centre.y() - 3);
  painter.drawLine(mid_x, centre.bottom() + 3, mid_x, rect.y() + kLoupeSide - 1);
  painter.setPen(QPen(Qt::white, 1));
  painter.drawRect(rect.adjusted(0, 0, -1, -1));
  const QRect strip(outer.x(), outer.y() + kLoupeSide, outer.width(), kLoupeTextHeight);
  painter.fillRect(strip, QColor(0, 0, 0));
  painter.drawText(strip, Qt::AlignCenter, LoupeText());
}

QString ImageViewWidget::LoupeText() const {
  int32_t x, y;
  if (!loupe_on_ || !cursor_inside_ || image_ == nullptr || !ImagePixelAt(cursor_, &x, &y)) return {};
  const std::optional<std::string> text = PixelProbeText(*image_, x, y);
  return text ? QString::fromStdString(*text) : QString();
}

void ImageViewWidget::ZoomTo(const ViewZoom& zoom) {
  if (zoomed) zoomed(Settled(Area(), zoom));
  update();
}

void ImageViewWidget::Wheel(double steps, QPointF p) {
  const double scale = StepScale(Area(), Zoom(), std::pow(kZoomWheelStep, steps));
  ZoomTo(ZoomAt(Area(), Zoom(), scale, p.x(), p.y()));
}

void ImageViewWidget::Pan(QPointF delta) { ZoomTo(PanBy(Area(), Zoom(), delta.x(), delta.y())); }

bool ImageViewWidget::ZoomKey(int key) {
  // Keys zoom around the cursor while it is over the view, else the middle.
  const QPointF at = cursor_inside_ ? cursor_ : QPointF(width() / 2.0, height() / 2.0);
  switch (key) {
    case Qt::Key_0:
      ZoomTo({});
      return true;
    case Qt::Key_1:
      ZoomTo(ZoomAt(Area(), Zoom(), 1.0 / devicePixelRatioF(), at.x(), at.y()));
      return true;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      ZoomTo(ZoomAt(Area(), Zoom(), StepScale(Area(), Zoom(), kZoomKeyStep), at.x(), at.y()));
      return true;
    case Qt::Key_Minus:
      ZoomTo(ZoomAt(Area(), Zoom(), StepScale(Area(), Zoom(), 1.0 / kZoomKeyStep), at.x(), at.y()));
      return true;
    case Qt::Key_L:
      loupe_on_ = !loupe_on_;
      update();
      return true;
    default:
      return false;
  }
}

void ImageViewWidget::Forward(MouseEvent kind, QMouseEvent* event) {
  event->accept();
  const QPointF p = event->position();
  const uint32_t keys = KeyFlags(event->buttons(), event->modifiers());
  if (Zoom().fit()) {
    // Client pixels are the logical pixels the view was sized in; a
    // fractional position inside pixel n is pixel n.
    if (mouse) {
      mouse(kind, static_cast<int32_t>(std::floor(p.x())), static_cast<int32_t>(std::floor(p.y())),
            keys);
    }
  } else {
    int32_t x, y;
    if (mouse_at_image && ImagePixelAt(p, &x, &y)) mouse_at_image(kind, x, y, keys);
  }
  RefreshCursor();
}

void ImageViewWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::MiddleButton ||
      (event->button() == Qt::LeftButton && space_held_ && !Zoom().fit())) {
    panning_ = true;
    pan_from_ = event->position();
    setCursor(Qt::ClosedHandCursor);
    event->accept();
  } else if (event->button() == Qt::LeftButton) {
    Forward(MouseEvent::LeftDown, event);
  } else if (event->button() == Qt::RightButton) {
    Forward(MouseEvent::RightDown, event);
  }
}

// The view takes no double-clicks: a second press is a press.
void ImageViewWidget::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

void ImageViewWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (panning_ && (event->button() == Qt::MiddleButton || event->button() == Qt::LeftButton)) {
    panning_ = false;
    event->accept();
    RefreshCursor();
  } else if (event->button() == Qt::LeftButton) {
    Forward(MouseEvent::LeftUp, event);
  } else if (event->button() == Qt::RightButton) {
    Forward(MouseEvent::RightUp, event);
  }
}

void ImageViewWidget::mouseMoveEvent(QMouseEvent* event) {
  cursor_ = event->position();
  cursor_inside_ = true;
  if (loupe_on_) update();
  if (panning_) {
    Pan(event->position() - pan_from_);
    pan_from_ = event->position();
    event->accept();
    return;
  }
  Forward(MouseEvent::Move, event);
}

void ImageViewWidget::wheelEvent(QWheelEvent* event) {
  event->accept();
  const double steps = event->angleDelta().y() / 120.0;
  if (steps != 0.0 && wheel_first && wheel_first(steps, KeyFlags(event->buttons(), event->modifiers()))) return;
  if (steps != 0.0) Wheel(steps, event->position());
}

void ImageViewWidget::leaveEvent(QEvent*) {
  cursor_inside_ = false;
  if (loupe_on_) update();
}

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
