// The commands the buttons run (Grab, Live, File, the Set-Up dialog's
// resolution change, a file dropped on the view): each combines acquisition
// with the solutions (commit the edits, prepare the working record, redraw the
// overlay). The Save button's command is in ui/save_image.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "inspect/program.h"
#include "station/station.h"

namespace orvane {

// The resolution change of the Set-Up dialog with the chosen table row (row 0
// when beyond the table): reopens the camera at that row's size when a camera
// is in use, keeping File mode's saved image set consistent.
void ChangeCameraResolution(Station& station, uint32_t row);

// The Grab and Live buttons.
void GrabCommand(Station& station);
void LiveCommand(Station& station);

// The File button: commits the edits, then leaves File mode when it is on and
// enters it otherwise, and repaints the window. Without a camera (no_camera)
// File mode is never left.
void FileCommand(Station& station);

// A file dropped on the image view. Outside File mode nothing changes and the
// result is false (the drop is not ours). In File mode the path (at most 259
// characters) becomes the still path and the last file path of the settings,
// the working record is prepared for a new frame, the file is loaded and,
// when it loaded, shown with the overlay redrawn over it.
bool DropStillFile(Station& station, std::string_view path);

// Run (the Program window's button and key, orvane-batch's `program run`):
// the open inspection program on the current picture, recorded, and the
// overlay redrawn with the run on it. Nothing, with the reason in `why`,
// when no program is open or there is no picture.
std::optional<ProgramRun> RunProgramCommand(Station& station, std::string* why);

} // namespace orvane
