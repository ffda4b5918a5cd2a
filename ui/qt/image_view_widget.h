// The image view: paints the view's display pixels stretched over its whole
// client area (nearest neighbour), shows the cursor the mouse code chose,
// forwards the mouse with the station's key flags, and takes dropped files.
#pragma once

#include <cstdint>
#include <functional>

#include <QWidget>

#include "station/image_view.h"
#include "view/mouse.h"

namespace orvane::qt {

// The Qt shape of a station cursor id; Qt::ArrowCursor for unknown ids.
Qt::CursorShape CursorShapeOf(uint32_t cursor_id);

// The station's key flags of a mouse event's buttons and modifiers.
uint32_t KeyFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);

class ImageViewWidget : public QWidget {
 public:
  explicit ImageViewWidget(QWidget* parent);

  // The view whose pixels and cursor this widget shows (owned by the station).
  void SetView(const ImageView* view) { view_ = view; }
  // Takes the cursor the mouse code left in the view.
  void RefreshCursor();

  // One mouse message in client pixels (the logical pixels the view was
  // sized in, whatever the screen's scale).
  std::function<void(MouseEvent, int32_t x, int32_t y, uint32_t keys)> mouse;
  // A file dropped on the view.
  std::function<void(const QString& path)> dropped;

  // Milliseconds the last paint of an image took (stretch and draw).
  double last_paint_ms() const { return last_paint_ms_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void Forward(MouseEvent kind, QMouseEvent* event);

  const ImageView* view_ = nullptr;
  double last_paint_ms_ = 0.0;
};

} // namespace orvane::qt
