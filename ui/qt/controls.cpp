#include "ui/qt/controls.h"

#include <QFocusEvent>
#include <QMouseEvent>

namespace orvane::qt {

QColor ColourOf(uint32_t bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

void ApplyColours(QWidget* widget, ControlColours colours, bool fill) {
  const QColor text = ColourOf(colours.text);
  const QColor back = ColourOf(colours.back);
  // Halfway between text and back reads as "not available" on any pair.
  const QColor grey((text.red() + back.red() * 2) / 3, (text.green() + back.green() * 2) / 3,
                    (text.blue() + back.blue() * 2) / 3);
  QPalette p = widget->palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    const QColor& fore = group == QPalette::Disabled ? grey : text;
    p.setColor(group, QPalette::WindowText, fore);
    p.setColor(group, QPalette::Text, fore);
    p.setColor(group, QPalette::ButtonText, fore);
    p.setColor(group, QPalette::Window, back);
    p.setColor(group, QPalette::Base, back);
    p.setColor(group, QPalette::Button, back);
  }
  widget->setPalette(p);
  widget->setAutoFillBackground(fill);
}

StaticText::StaticText(QWidget* parent, bool button) : QLabel(parent), button_(button) {
  if (button_) {
    setAlignment(Qt::AlignCenter);
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
    setCursor(Qt::PointingHandCursor);
  }
}

void StaticText::mousePressEvent(QMouseEvent* event) {
  if (button_ && event->button() == Qt::LeftButton) {
    pressed_ = true;
    event->accept();
    return;
  }
  QLabel::mousePressEvent(event);
}

void StaticText::mouseReleaseEvent(QMouseEvent* event) {
  if (button_ && event->button() == Qt::LeftButton) {
    const bool inside = rect().contains(event->position().toPoint());
    const bool was_pressed = pressed_;
    pressed_ = false;
    event->accept();
    if (was_pressed && inside && isEnabled() && clicked) clicked();
    return;
  }
  QLabel::mouseReleaseEvent(event);
}

void EditBox::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  const Qt::FocusReason reason = event->reason();
  if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return;
  if (lost_focus) lost_focus();
}

} // namespace orvane::qt
