// The image view: paints the view's display pixels stretched over its whole
// client area (nearest neighbour), or zoomed in with an overview of where it
// is, shows the cursor the mouse code chose, forwards the mouse with the
// station's key flags, pans and zooms, shows the loupe, and takes dropped
// files.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <QStringList>
#include <QWidget>

#include "station/image_view.h"
#include "view/mouse.h"
#include "view/zoom.h"

namespace orvane::qt {

// The Qt shape of a station cursor id; Qt::ArrowCursor for unknown ids.
Qt::CursorShape CursorShapeOf(uint32_t cursor_id);

// The station's key flags of a mouse event's buttons and modifiers.
uint32_t KeyFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);

class ImageViewWidget : public QWidget {
 public:
  explicit ImageViewWidget(QWidget* parent);

  // The view whose pixels, zoom and cursor this widget shows (owned by the
  // station), and the image whose frame the loupe reads.
  void SetView(const ImageView* view) { view_ = view; }
  void SetImage(const ImageState* image) { image_ = image; }
  // The texts the overlay holds (owned by the station): zoomed in, the ones
  // the view cannot show whole are pinned to its bottom-left corner.
  void SetOverlayTexts(const std::vector<OverlayText>* texts) { overlay_texts_ = texts; }
  // Takes the cursor the mouse code left in the view.
  void RefreshCursor();

  // One mouse message in client pixels (the logical pixels the view was
  // sized in, whatever the screen's scale).
  std::function<void(MouseEvent, int32_t x, int32_t y, uint32_t keys)> mouse;
  // One mouse message at an image pixel: the view is zoomed in and mapped
  // the position at the screen's device pixels itself.
  std::function<void(MouseEvent, int32_t x, int32_t y, uint32_t keys)> mouse_at_image;
  // Offered each wheel step before it zooms: true when it took the step.
  std::function<bool(double steps, uint32_t keys)> wheel_first;
  // A file dropped on the view.
  std::function<void(const QString& path)> dropped;
  // The user zoomed or panned: the new zoom, for the station to keep.
  std::function<void(const ViewZoom&)> zoomed;

  // The zoom as it stands for this widget's size (fit when the view's zoom
  // cannot apply).
  ViewZoom Zoom() const;
  // Zoom keys: 0 fit, 1 one image pixel per device pixel, + and - a step;
  // L the loupe. True when the key was one of them.
  bool ZoomKey(int key);
  // One wheel turn of `steps` notches (positive: in) around view position p.
  void Wheel(double steps, QPointF p);
  // The picture dragged by `delta` view pixels (zoomed in only).
  void Pan(QPointF delta);
  // Space held: a left drag pans.
  void SetSpaceHeld(bool held) { space_held_ = held; }
  bool loupe_on() const { return loupe_on_; }
  // The loupe's rectangle in view pixels; empty while it is not shown.
  QRect LoupeRect() const;
  // The loupe's line: the position and frame value of the pixel under the
  // cursor, "(x,y) R,G,B"; empty while the loupe is not shown.
  QString LoupeText() const;
  // The texts pinned to the view's corner and the box they are drawn in;
  // empty at fit and while every text is in view.
  QStringList PinnedLines() const;
  QRect PinnedRect() const;
  // Milliseconds the last paint of an image took (stretch and draw).
  double last_paint_ms() const { return last_paint_ms_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void Forward(MouseEvent kind, QMouseEvent* event);
  void ZoomTo(const ViewZoom& zoom);
  ZoomArea Area() const;
  // The image pixel under view position p; false outside the image.
  bool ImagePixelAt(QPointF p, int32_t* x, int32_t* y) const;
  void PaintOverview(QPainter& painter, const ViewZoom& zoom);
  void PaintLoupe(QPainter& painter);
  void PaintPinned(QPainter& painter);
  // The overview and its zoom factor's box, in view pixels (zoomed in).
  QRectF OverviewBounds(const ViewZoom& zoom) const;
  std::vector<const OverlayText*> Pinned() const;

  const ImageView* view_ = nullptr;
  const ImageState* image_ = nullptr;
  const std::vector<OverlayText>* overlay_texts_ = nullptr;
  double last_paint_ms_ = 0.0;
  bool space_held_ = false;
  bool panning_ = false;
  QPointF pan_from_;
  bool loupe_on_ = false;
  bool cursor_inside_ = false;
  QPointF cursor_;
};

} // namespace orvane::qt
