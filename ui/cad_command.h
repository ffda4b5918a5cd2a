// The window's comparison with a drawing, from the context menu: the drawing
// read (in its own unit, or the one the user chose), placed on the picture,
// fitted and compared with the profile tolerance; the figures said in one
// message box, the deviations drawn over the picture.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "station/station.h"
#include "view/mouse.h"

namespace orvane {

// True when the drawing at `path` names its unit ($INSUNITS), so that the
// window need not ask for one. False also for a file it cannot read (the
// comparison then says why).
bool DrawingNamesUnit(const std::filesystem::path& path);

// The drawing's layers with the curves on each (empty for a file it cannot
// read: the comparison then says why).
std::map<std::string, uint32_t> DrawingLayers(const std::filesystem::path& path);

// Loads, fits and compares; every outcome, figures or problem, is told in a
// message box. `unit` may be empty for a drawing that names its own;
// `layers` empty takes every layer.
void CompareWithDrawing(Station& station, const std::filesystem::path& path, std::string_view unit,
                        double tolerance, const std::vector<std::string>& layers = {});

// The drawing moved by hand on the picture, before the picture's own mouse
// handling: with Ctrl+Alt held, a left drag moves it, and with Shift too
// turns it about its centre by the angle the pointer sweeps round it. True
// when the event was the drawing's. Each step goes through MoveCadDrawing.
bool CadDragMouse(Station& station, MouseEvent event, ImagePoint at, uint32_t keys);
// Ctrl+Alt+wheel turns a placed drawing by kCadWheelDegrees a step (a tenth
// of that with Shift); true when the wheel was the drawing's.
inline constexpr double kCadWheelDegrees = 1.0;
bool CadWheel(Station& station, double steps, uint32_t keys);

}  // namespace orvane
