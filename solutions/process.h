// The Process and Train commands and the solution dispatchers.
#pragma once

#include <cstdint>

#include "station/station.h"

namespace orvane {

inline constexpr uint32_t kSolutionNone = 0xFFFFFFFF;

// Runs the routine of record.id on the current image, timing it with the
// station's clock. Unknown ids run nothing and return 0.
int32_t RunSolution(Station& station, SolutionRecord& record, uint32_t* elapsed_ms);

// Training resets the result of every solution.
int32_t TrainSolution(Station& station, SolutionRecord& record);

// The Process button (and the Enter key).
void ProcessCommand(Station& station);

// The Train button.
void TrainCommand(Station& station);

// Commits the parameter edit boxes into the working record (the command
// panel installs the commit as a hook).
void CommitEdits(Station& station);

// Sets a coloured control's state: 0 normal, 1 active (or alert).
void SetButtonState(Station& station, ControlId id, uint32_t state);

// Prepares the working record and the view for a new frame: empties the
// measurement sets when the solution asks for it, completes the current set
// and sets the mouse mode the solution starts in.
void PrepareForNewFrame(Station& station);

} // namespace orvane
