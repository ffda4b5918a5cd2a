// The batch runner's script language: one command a line, words split on
// blanks, double quotes around texts that hold blanks, C-style escapes inside
// quotes. Parsing is pure (no station, no files), so a whole script is checked
// before the first command runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "station/control_ids.h"
#include "station/control_surface.h"
#include "view/mouse.h"

namespace orvane::batch {

// Longest script line taken; a longer line is a parse error.
inline constexpr size_t kMaxLineBytes = 65536;
// Largest screen side `screen` accepts.
inline constexpr int32_t kMaxScreenSide = 16384;
// The longest `wait`, in seconds.
inline constexpr double kMaxWaitSeconds = 600.0;
// Mouse positions are clamped to +-kMaxCoordinate.
inline constexpr int32_t kMaxCoordinate = 1000000;

struct Word {
  std::string text;
  bool quoted = false; // any part of the word was inside double quotes
};

// Splits one line into words. Blanks (space, tab) separate words; a '#'
// outside quotes ends the line; a word may mix plain and quoted parts
// ("a"b is one word). Inside quotes \r \n \t \\ \" and \xHH (two hex digits)
// stand for their bytes; any other escape, or a quote left open, is an error.
// Returns the error text, or nothing on success.
std::optional<std::string> SplitLine(std::string_view line, std::vector<Word>* words);

// The text in double quotes with the escapes SplitLine reads: CR, LF, tab,
// backslash and quote by their letters, every other byte below 0x20, 0x7F and
// every byte from 0x80 as \xHH. SplitLine of the result gives `bytes` back.
std::string QuoteText(std::string_view bytes);

enum class Verb : uint32_t {
  Start,
  Screen,
  Solution,
  Param,
  Slider,
  Option,
  Choice,
  Click,
  Drop,
  Mouse,
  MouseView,
  Key,
  Answer,
  Entity,
  Distance,
  Setup,
  SetupReset,
  SetupClose,
  Print,
  Expect,
  ExpectFile,
  Texts,
  SaveDisplay,
  Results,
  ResultsCsv,
  Label,
  Tolerance,
  ResultsStats,
  ResultsClear,
  Snap,
  Zoom,
  Pan,
  GridCalibrate,
  Rectify,
  DxfUnits,
  DxfSaveAs,
  SaveAnnotated,
  PreciseCalibrate, // a: 0 ring, 1 grid, 2 use the offer
  PreciseOption,
  Relabel,
  ResultsDelete,
  Undo,
  Redo,
  Tool,
  PartTeach,
  PartFind, // on: every instance
  CadLoad,    // texts: path, unit if given; with layers: path, unit or "", the layers' names
  CadFit,     // texts: nothing, "minmax", or "datum" and its references
  CadCompare, // number: the profile tolerance
  CadReport,  // texts: path
  Wait,
  Grr,
  Chart,
  PartId, // on: read (numbers: the region X Y W H, if given); a 1: next (texts[0] the prefix); else texts[0]
  Report,    // texts[0] PATH; a: 0 by locale, 1 A4, 2 Letter
  SummaryReport, // as Report
  ChartSave, // texts: LABEL, PATH; a: 0 individuals, 1 histogram
  Operator,  // texts[0]
  Program, // texts[0] the sub-command, then its words; values: coordinates
  ResultsSync, // factor: seconds to wait at most
  CadMove,     // values: DX DY ANGLE
  ReportAuto, // on; texts[0] the folder, if given
};

// What print and expect read: a control of the main window, or its title.
struct Target {
  std::string name;    // as the script spelled it, for messages
  ControlId id{};      // when !title
  bool title = false;  // the window title
  bool rectification = false; // print only: the grid calibration's state and figures
  bool camera = false;        // print only: the open camera and its picture counts
  bool results_db = false;     // print only: the results database's path, rows and pending rows
  bool part_counts = false;    // print only: the inspected parts, passed, failed and the yield
};

struct Command {
  Verb verb = Verb::Texts;
  uint32_t line = 0;
  std::string source; // the line as written
  std::vector<std::string> texts; // start: arguments; solution name; param text; grid-calibrate kind, unit;
                                  // drop/expect-file/save-display path; expect text
  int32_t a = 0;                  // screen W, row, index, x
  int32_t b = 0;                  // screen H, slider pos, index, y; grid-calibrate ROWS, COLS
  double factor = 0.0;            // zoom: view pixels per image pixel; 0 fit
  bool at = false;                // zoom: centred on image pixel (a, b)
  double number = 0.0;            // grid-calibrate PITCH; wait SECONDS
  bool by_name = false;           // solution: texts[0] is the name
  ControlId control{};            // option/choice combo box, click button
  Target target;                  // print, expect
  MouseEvent mouse = MouseEvent::Move;
  uint32_t modifiers = 0;         // kKeyShift | kKeyControl | kKeyAlt
  MessageAnswer answer = MessageAnswer::Ok;
  DialogResult result = DialogResult::Ok;
  std::optional<DialogControlId> entity; // entity: the button, none = Escape
  bool escape = false;            // key: escape (else enter)
  std::vector<std::pair<DialogControlId, int32_t>> choices; // setup
  std::vector<std::pair<DialogControlId, std::string>> edits; // setup: the camera's settings typed
  double nominal = 0.0;           // tolerance: nominal, limit deviations; texts[1] its unit if given
  double tolerance = 0.0;         // the upper deviation (+-tolerance when symmetric)
  double lower = 0.0;             // the lower deviation: -tolerance when symmetric
  bool on = false;                // snap, rectify, dxf-units on; part-find all
  std::vector<double> values;     // part-teach: X0 Y0 X1 Y1; program circle|width|line|point: X Y ...
  std::vector<uint32_t> numbers;  // results-delete, relabel: row numbers
};

struct ParseResult {
  std::vector<Command> commands;
  uint32_t error_line = 0; // 0: no error
  std::string error;
};

// Parses one line (1-based number `line`); an empty or comment line gives
// nothing and no error.
std::optional<Command> ParseLine(std::string_view text, uint32_t line, std::string* error);

// The name of every command the parser knows, in the order it tries them.
std::vector<std::string> CommandNames();

// Parses a whole script; stops at the first line that does not parse.
ParseResult ParseScript(std::string_view script);

// The control a script names: a button, status line, combo box or parameter
// row part by name (case-insensitive), or any control by its decimal id.
std::optional<ControlId> ControlByName(std::string_view name);
// The list of the General Set-Up dialog a script names, by name or decimal id.
std::optional<DialogControlId> SetupListByName(std::string_view name);

} // namespace orvane::batch
