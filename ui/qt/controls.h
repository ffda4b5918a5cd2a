// The small widget classes of the main window: coloured texts that may act
// as buttons, and edit boxes that report losing the focus.
#pragma once

#include <cstdint>
#include <functional>

#include <QLabel>
#include <QLineEdit>

#include "station/control_surface.h"

namespace orvane::qt {

// A 0x00BBGGRR colour as Qt takes it.
QColor ColourOf(uint32_t bgr);

// Gives a widget the text and background colours of one state; `fill` paints
// the background. A disabled widget shows its text greyed towards the back.
void ApplyColours(QWidget* widget, ControlColours colours, bool fill);

// A static text. As a button it reacts to a left click (press and release on
// it) while enabled, and shows a raised frame and a hand cursor.
class StaticText : public QLabel {
 public:
  StaticText(QWidget* parent, bool button);
  std::function<void()> clicked;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool button_;
  bool pressed_ = false;
};

// An edit box that reports losing the keyboard focus to another control of
// its window (not a window switch or a popup, after which it gets the focus
// back unchanged).
class EditBox : public QLineEdit {
 public:
  explicit EditBox(QWidget* parent) : QLineEdit(parent) {}
  std::function<void()> lost_focus;

 protected:
  void focusOutEvent(QFocusEvent* event) override;
};

} // namespace orvane::qt
