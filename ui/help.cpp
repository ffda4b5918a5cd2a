#include "ui/help.h"

#include <string_view>

namespace orvane {
namespace {

struct HelpLine {
  std::string_view keys; // empty: `text` is a heading
  std::string_view text;
};

constexpr HelpLine kHelp[] = {
    {"", "Mouse on the image"},
    {"Drag (ROI mode)", "draws a region of interest"},
    {"Drag a corner, side, centre", "resizes or moves the ROI"},
    {"Shrink an ROI below 8 px", "deletes it"},
    {"Ctrl+click", "next mouse mode: ROI, 2PT, 3PT"},
    {"Ctrl+click (DXF Trace Output)", "next mouse mode: CIR, LIN, MLIN"},
    {"Click (2PT, 3PT)", "a measuring point; a new set asks the distance"},
    {"Drag a point", "moves a point, or a drawn end, centre or rim"},
    {"Right-click (2PT)", "ends the open set"},
    {"Right-click (CIR, LIN, MLIN)", "deletes the entity under the cursor"},
    {"Shift+click", "arrow or cross cursor; MLIN: closes the polyline"},
    {"Alt+click", "a diameter click, whatever the tool"},
    {"Wheel", "zooms around the cursor"},
    {"Middle drag, Space+drag", "pans the zoomed picture"},
    {"", "Measuring tools (Measure menu; they act in 2PT and 3PT)"},
    {"T", "next tool"},
    {"M", "Measure: measuring points"},
    {"D", "Diameter: 3 clicks near a hole's or disc's rim"},
    {"E", "Straight edge: 2 clicks along an edge, its angle"},
    {"W", "Width: 2 clicks across a bar, its width"},
    {"", "The taught part"},
    {"P", "Teach part: the part inside the newest ROI"},
    {"F", "Find part: its frame, edges and score drawn"},
    {"", "Keys"},
    {"Enter", "Process; it clears the measurements"},
    {"Escape", "ends without saving (Exit saves)"},
    {"+  -", "zoom in, zoom out"},
    {"0  1", "whole image; one image pixel per screen pixel"},
    {"L", "the loupe"},
    {"Ctrl+Z  Ctrl+Shift+Z", "undo, redo"},
    {"Ctrl+O", "opens a picture"},
    {"F1", "About"},
    {"F2", "the Results window"},
    {"F3", "the Inspection Program window (F5 there: Run)"},
};

// The key column's width: the longest keys and two blanks. With texts of at
// most 48 characters a line fits 80 columns.
constexpr size_t kKeyColumn = 32;

} // namespace

std::string KeyboardAndMouseHelp() {
  std::string text;
  for (const HelpLine& line : kHelp) {
    if (!text.empty()) text += '\n';
    if (line.keys.empty()) {
      text += line.text;
      continue;
    }
    std::string keys = "  " + std::string(line.keys);
    keys.resize(kKeyColumn, ' ');
    text += keys + std::string(line.text);
  }
  return text;
}

} // namespace orvane
