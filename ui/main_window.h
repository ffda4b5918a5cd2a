// The main window's logic: start-up, the command buttons, the panel's
// controls, the end of the program. A front end (the Qt window, the batch
// runner) turns its events into these calls; all of them run on one thread,
// one at a time.
#pragma once

#include <cstdint>
#include <string_view>

#include "station/station.h"

namespace orvane {

// Start-up with the whole command line (program path included), in the
// station's folder: hooks, title, settings, solutions, camera or File mode,
// layout, status lines. The screen size comes from the surface. Returns false
// when the program must end at once (a vision library that is too old).
bool StartUp(Station& station, std::string_view command_line);

// Whether the vision library's version (qlxVersion) is new enough to run:
// 7 or later.
bool VisionLibraryAccepted(int32_t version);

// The video device the command line asks for: "-d0", "-d1", "-d2", "-d3"
// searched anywhere in it in that order, the first found wins; 0 without.
int32_t DeviceIndexOf(std::string_view command_line);

// The camera the command line names with "--camera NAME" (NAME in double
// quotes when it holds blanks); empty without one. Start-up then picks the
// device of that name, whatever "-dN" says.
std::string CameraNameOf(std::string_view command_line);

// A command button or the hidden default button (Enter: Process) was clicked.
void OnCommand(Station& station, ControlId id);
// A combo box's selection changed (the solution, option and choice lists).
void OnSelectionChange(Station& station, ControlId id);
// An edit box of a parameter row lost the keyboard focus.
void OnEditLostFocus(Station& station, ControlId id);
// A parameter row's slider moved to `pos`.
void OnSlider(Station& station, ControlId id, int32_t pos);
// Escape or the window's close box: ends the window without saving.
void OnCancel(Station& station);
// The About box (the window menu's entry, F1).
void ShowAbout(Station& station);

// The window is going away, whichever way it ended: leaves File mode when a
// camera is in use, closes the camera, and says what of the results table
// could not be saved. Safe to call twice.
void EndProgram(Station& station);

} // namespace orvane
