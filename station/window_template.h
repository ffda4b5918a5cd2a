// The main window's template: every control's kind, caption and rectangle in
// dialog units, and the one conversion from dialog units to pixels that every
// front end uses, so the recorded layout and the view sizes are the same
// whichever surface shows the window.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "station/control_surface.h"

namespace orvane {

enum class TemplateKind : uint32_t {
  Static,       // a text
  StaticButton, // a text that reacts to clicks and takes the two colour states
  Edit,
  ReadOnlyEdit,
  ComboBox,     // a drop-down list; its rectangle's height includes the list
  Slider,
  GroupBox,
  VideoArea,    // the live video area
  ImageView,
  DefaultButton, // hidden; Enter presses it
};

struct TemplateControl {
  ControlId id;
  TemplateKind kind;
  std::string_view caption;
  Rect units; // dialog units
  bool visible = true;
};

// The template measures 394 x 279 dialog units.
inline constexpr Size kTemplateUnits{394, 279};

// One dialog unit is 7/4 pixel across and 2 pixels down (the base units of a
// 10-point sans-serif face: 7-pixel average advance, 16-pixel line). Both
// front ends and the layout tests use this conversion and nothing else.
constexpr int32_t UnitsToPixelsX(int32_t units) { return (units * 7 + 2) / 4; }
constexpr int32_t UnitsToPixelsY(int32_t units) { return units * 2; }
constexpr Rect UnitsToPixels(Rect r) {
  return {UnitsToPixelsX(r.x), UnitsToPixelsY(r.y), UnitsToPixelsX(r.width),
          UnitsToPixelsY(r.height)};
}

// The main window's client size in pixels.
inline constexpr Size kTemplateClient{UnitsToPixelsX(kTemplateUnits.width),
                                      UnitsToPixelsY(kTemplateUnits.height)};

// Every control of the main window, in creation (tab) order.
std::span<const TemplateControl> MainWindowTemplate();

} // namespace orvane
