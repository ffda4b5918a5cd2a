// Undo and redo of the user's edits: the drawing on the image view (ROIs,
// measuring points, gauge clicks, circles, lines and polylines) and the
// results table (rows deleted, relabelled, tolerances, Clear).
//
// One history, newest last, up to kUndoSteps edits. An edit of the view runs
// from a press to its release and keeps the state it changed as it was
// before (the working record's ROI, measurement and entity arrays, the view's
// open measurement set, the gauge marks and the rows of the measurement
// sets), together with the rows it entered or changed. A results edit keeps
// its reverse: the rows it took out, the labels and tolerances it replaced.
// Undo swaps the kept state with the present one, so the same entry redoes.
//
// The history reaches back to the last change made outside it: when Process,
// Train, a new picture that empties the measurements, another solution or a
// result a solution enters has changed what an entry would restore, the
// history is dropped at the next edit, undo or redo. An undone result's
// number is never given again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "results/table.h"
#include "station/station.h"

namespace orvane {

// The edits kept; the oldest goes first.
inline constexpr size_t kUndoSteps = 100;

// The mouse code's hooks: a press opens an edit of the view, the release
// closes it; an edit that changed nothing is not kept. A press whose release
// never came closes the edit left open first.
void BeginViewEdit(Station& station);
void EndViewEdit(Station& station);

// Results edits through the history; each saves "RESULTS.TAB".
// False when none of the rows is in the table (nothing is kept then).
bool DeleteResults(Station& station, const std::vector<uint32_t>& numbers);
// False when there is no such row or it has that label already.
bool RelabelResult(Station& station, uint32_t number, std::string label);
// A label's tolerance; nothing clears it.
void SetResultTolerance(Station& station, const std::string& label,
                        std::optional<Tolerance> tolerance);
// Empties the table once the user says yes (ConfirmClearResults); numbering
// and default labels start again. True when it was emptied (or already empty).
bool ClearResults(Station& station);

// What an undo or redo did.
struct UndoStep {
  bool redo = false;
  std::string what; // the edit's name ("ROI drawn"); empty: there was nothing to do
};

// Undoes the last edit, or redoes the last undone one: the state restored,
// the view redrawn and the table saved as the edit did.
UndoStep Undo(Station& station);
UndoStep Redo(Station& station);
size_t UndoDepth(const Station& station);
size_t RedoDepth(const Station& station);

// The keys: Ctrl+Z undoes, Ctrl+Shift+Z and Ctrl+Y redo. `key` is the
// letter's upper-case ASCII code, `modifiers` the kKeyShift, kKeyControl and
// kKeyAlt flags of view/mouse.h. Nothing for every other key.
std::optional<UndoStep> OnEditKey(Station& station, int key, uint32_t modifiers);

// "undo: ROI drawn", "redo: nothing to redo": the step as a front end says it.
std::string UndoStepText(const UndoStep& step);

} // namespace orvane
