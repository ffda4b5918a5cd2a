// The command panel: the working solution's parameter rows, the choice and
// option lists, the command buttons' visibility, the ROI count line, the
// image view's size and the Enlarge/Reduce toggle.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "station/station.h"

namespace orvane {

// The ROI count line: "Regions of Interest: " and the working record's count.
void ShowRoiCount(Station& station);

// Loads the working record for current_solution and rebuilds the panel from
// it: labels with their unit suffixes, values, choice lists, sliders, which
// rows and command buttons show.
void RefreshPanel(Station& station);

// The value text of a parameter row by its kind: kinds 1, 5 and 6 the value
// truncated to an integer, kinds 2, 3 and 4 the number with 5 decimals; any
// other kind leaves `text` as it is. Rows beyond 9 give `text`.
std::string FormatParamValue(const SolutionRecord& record, uint32_t row, std::string_view text);

// Reads row `row`'s edit box into its value: text that is no finite number
// counts as 0, the result is clamped to the row's range and stored as f32;
// the edit box and the slider then show the stored value.
void CommitRow(Station& station, uint32_t row);

// Commits rows 0 to 9 in order (installed as the commit_edits hook).
void CommitPanelEdits(Station& station);

// Puts `text` into the edit box of `row` (0 to 9; others change nothing).
void SetRowText(Station& station, uint32_t row, std::string_view text);

// Moves a combo box to the current position and the recorded size of an edit
// box; nothing happens when the edit box has no layout entry.
void PlaceOver(Station& station, ControlId edit, ControlId combo);

// Places the image view and the live video area at (12, 16) with the view
// size of the panel's state, and stores it as the view size.
void SizeView(Station& station);

// The row whose edit box, slider or label is `id`; kParamRows when none.
uint32_t RowOfEdit(ControlId id);
uint32_t RowOfSlider(ControlId id);

// A slider moved: its row takes the position as its value, and the edit box
// shows it in the 9-digit general format ("200." until the next commit).
void SliderMoved(Station& station, ControlId slider, int32_t pos);

// The solution list's selection changed: the edits go into the solution
// being left, which is saved, the new one loads, and on_function_change acts.
void SolutionSelected(Station& station);

// The option list (colour mode) changed.
void OptionSelected(Station& station);

// A choice list ("Dark"/"Light" or "None"/"Even"/"Sharp") changed: the first
// row of its kind takes the selection, without a commit.
void ChoiceSelected(Station& station, ControlId combo);

// The Enlarge/Reduce button.
void EnlargeCommand(Station& station);

// True while the panel shows its rows (the Enlarge button reads "Enlarge").
bool PanelShowsRows(Station& station);

} // namespace orvane
