// The script language of orvane-batch: words, quotes and escapes, the
// commands and their arguments, and where a script stops parsing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "batch/parse.h"

namespace orvane::batch {
namespace {

std::vector<std::string> Words(std::string_view line) {
  std::vector<Word> words;
  std::optional<std::string> error = SplitLine(line, &words);
  EXPECT_FALSE(error) << line << ": " << error.value_or("");
  std::vector<std::string> out;
  for (const Word& w : words) out.push_back(w.text);
  return out;
}

std::string SplitError(std::string_view line) {
  std::vector<Word> words;
  return SplitLine(line, &words).value_or("");
}

Command Parse(std::string_view line) {
  std::string error;
  std::optional<Command> c = ParseLine(line, 7, &error);
  EXPECT_TRUE(c) << line << ": " << error;
  return c.value_or(Command{});
}

std::string ParseError(std::string_view line) {
  std::string error;
  std::optional<Command> c = ParseLine(line, 1, &error);
  EXPECT_FALSE(c) << line;
  return error;
}

using V = std::vector<std::string>;

TEST(ScriptWords, BlanksQuotesAndComments) {
  EXPECT_EQ(Words("click  Process\t"), (V{"click", "Process"}));
  EXPECT_EQ(Words("solution \"DXF Auto Output\""), (V{"solution", "DXF Auto Output"}));
  EXPECT_EQ(Words("drop a\"b c\"d"), (V{"drop", "ab cd"}));
  EXPECT_EQ(Words("param 0 \"\""), (V{"param", "0", ""}));
  EXPECT_EQ(Words("click Grab # then Process"), (V{"click", "Grab"}));
  EXPECT_EQ(Words("click Grab#x"), (V{"click", "Grab"}));
  EXPECT_EQ(Words("expect result \"# not a comment\""), (V{"expect", "result", "# not a comment"}));
  EXPECT_EQ(Words("   # only a comment"), V{});
  EXPECT_EQ(Words(""), V{});
  // Outside quotes a backslash is an ordinary byte (Saved\IMAGE1.BMP).
  EXPECT_EQ(Words("drop Saved\\IMAGE1.BMP"), (V{"drop", "Saved\\IMAGE1.BMP"}));
}

TEST(ScriptWords, EscapesInsideQuotes) {
  EXPECT_EQ(Words(R"(x "a\r\nb\tc\\d\"e")"), (V{"x", "a\r\nb\tc\\d\"e"}));
  EXPECT_EQ(Words(R"(x "90.00\xB0" "\x00\xff")"), (V{"x", "90.00\xB0", std::string("\0\xFF", 2)}));
  EXPECT_EQ(SplitError(R"(x "open)"), "a quote is left open");
  EXPECT_EQ(SplitError(R"(x "trailing\)"), "a quote is left open");
  EXPECT_EQ(SplitError(R"(x "\q")"), "unknown escape \\q");
  EXPECT_EQ(SplitError(R"(x "\x4")"), "\\x needs two hex digits");
  EXPECT_EQ(SplitError(R"(x "\x4g")"), "\\x needs two hex digits");
}

TEST(ScriptWords, QuoteTextReadsBackEveryByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string quoted = QuoteText(all);
  std::vector<Word> words;
  ASSERT_FALSE(SplitLine(quoted, &words));
  ASSERT_EQ(words.size(), 1u);
  EXPECT_EQ(words[0].text, all);
  EXPECT_TRUE(words[0].quoted);
  // Only printable ASCII stands for itself, so the output is one clean line.
  for (const char c : quoted) EXPECT_TRUE(c >= 0x20 && c < 0x7F);
  EXPECT_EQ(QuoteText("Warning! auto \r\nor \"x\"\t\\ 90\xB0"),
            R"("Warning! auto \r\nor \"x\"\t\\ 90\xB0")");
}

TEST(ScriptCommands, ArgumentsAndNumbers) {
  Command c = Parse("start -d1 \"a b\"");
  EXPECT_EQ(c.verb, Verb::Start);
  EXPECT_EQ(c.texts, (V{"-d1", "a b"}));
  EXPECT_EQ(c.line, 7u);
  EXPECT_EQ(Parse("start").texts, V{});

  c = Parse("screen 1024 768");
  EXPECT_EQ(c.a, 1024);
  EXPECT_EQ(c.b, 768);
  c = Parse("screen 99999999999 0");  // clamped, never a huge allocation
  EXPECT_EQ(c.a, kMaxScreenSide);
  EXPECT_EQ(c.b, 1);

  c = Parse("solution 3");
  EXPECT_FALSE(c.by_name);
  EXPECT_EQ(c.a, 3);
  c = Parse("solution \"3\"");  // quoted: a name, even when it looks like a number
  EXPECT_TRUE(c.by_name);
  EXPECT_EQ(c.texts, V{"3"});
  EXPECT_EQ(Parse("solution Manual").texts, V{"Manual"});

  c = Parse("param 9 \"1e999\"");
  EXPECT_EQ(c.verb, Verb::Param);
  EXPECT_EQ(c.a, 9);
  EXPECT_EQ(c.texts, V{"1e999"});
  c = Parse("slider 0 -40");
  EXPECT_EQ(c.b, -40);
  c = Parse("option 1005 +2");
  EXPECT_EQ(c.control, ControlId::OptionList);
  EXPECT_EQ(c.a, 2);
  EXPECT_EQ(Parse("choice filter 1").control, ControlId::FilterChoice);
  EXPECT_EQ(Parse("choice DARK-LIGHT 0").control, ControlId::DarkLightChoice);
}

TEST(ScriptCommands, ControlsByNameOrId) {
  EXPECT_EQ(Parse("click Set-Up").control, ControlId::SetUp);
  EXPECT_EQ(Parse("click setup").control, ControlId::SetUp);
  EXPECT_EQ(Parse("click REDUCE").control, ControlId::Enlarge);
  EXPECT_EQ(Parse("click 1101").control, ControlId::Process);
  EXPECT_EQ(Parse("print edit3").target.id, ControlId::RowEdit3);
  EXPECT_EQ(Parse("print label6").target.id, ControlId::RowLabel6);
  EXPECT_EQ(Parse("print slider9").target.id, ControlId::RowSlider9);
  EXPECT_TRUE(Parse("print Title").target.title);
  Command c = Parse("expect calibration \"Not Calibrated\"");
  EXPECT_EQ(c.target.id, ControlId::CalibrationStatus);
  EXPECT_EQ(c.target.name, "calibration");
  EXPECT_EQ(c.texts, V{"Not Calibrated"});
  EXPECT_FALSE(ControlByName("edit10"));
  EXPECT_FALSE(ControlByName("-1"));
  EXPECT_FALSE(ControlByName("OK"));
}

TEST(ScriptCommands, MouseKeysAndDialogs) {
  Command c = Parse("mouse down 10 20 ctrl shift");
  EXPECT_EQ(c.verb, Verb::Mouse);
  EXPECT_EQ(c.mouse, MouseEvent::LeftDown);
  EXPECT_EQ(c.modifiers, kKeyShift | kKeyControl);
  c = Parse("mouse-view rup -5 2000000000");
  EXPECT_EQ(c.verb, Verb::MouseView);
  EXPECT_EQ(c.mouse, MouseEvent::RightUp);
  EXPECT_EQ(c.a, -5);
  EXPECT_EQ(c.b, kMaxCoordinate);
  EXPECT_TRUE(Parse("key Escape").escape);
  EXPECT_FALSE(Parse("key enter").escape);
  EXPECT_EQ(Parse("answer no").answer, MessageAnswer::No);
  EXPECT_EQ(Parse("entity 2").entity, DialogControlId::EntityLine);
  EXPECT_EQ(Parse("entity circle").entity, DialogControlId::EntityCircle);
  EXPECT_FALSE(Parse("entity none").entity);
  c = Parse("distance \" 10\" cancel");
  EXPECT_EQ(c.texts, V{" 10"});
  EXPECT_EQ(c.result, DialogResult::Cancel);
  c = Parse("setup units 1 1146 12");
  ASSERT_EQ(c.choices.size(), 2u);
  EXPECT_EQ(c.choices[0].first, DialogControlId::MeasurementStandard);
  EXPECT_EQ(c.choices[1].first, DialogControlId::DecimalsDimensions);
  EXPECT_EQ(c.choices[1].second, 12);
  EXPECT_EQ(Parse("setup-reset yes").answer, MessageAnswer::Yes);
  EXPECT_EQ(Parse("setup-close").verb, Verb::SetupClose);
}

TEST(ScriptCommands, ZoomAndPan) {
  Command c = Parse("zoom 8 100 -3");
  EXPECT_EQ(c.verb, Verb::Zoom);
  EXPECT_EQ(c.factor, 8.0);
  EXPECT_TRUE(c.at);
  EXPECT_EQ(c.b, -3);
  c = Parse("zoom FIT");
  EXPECT_EQ(c.factor, 0.0);
  EXPECT_FALSE(c.at);
  EXPECT_EQ(Parse("zoom 2.5").factor, 2.5);
  c = Parse("pan -40 20");
  EXPECT_EQ(c.verb, Verb::Pan);
  EXPECT_EQ(c.a, -40);
  for (const char* bad : {"zoom", "zoom 0", "zoom 17", "zoom nan", "zoom -2", "zoom 2x",
                          "zoom 4 10", "pan 1", "pan 1 y"}) {
    EXPECT_FALSE(ParseError(bad).empty()) << bad;
  }
  EXPECT_EQ(ParseError("zoom 0"), "zoom: \"0\" is not fit or a factor above 0 up to 16");
}

TEST(ScriptCommands, LinesThatDoNotParse) {
  EXPECT_EQ(ParseError("frobnicate"), "unknown command \"frobnicate\"");
  EXPECT_EQ(ParseError("screen 640"), "screen: expected W H");
  EXPECT_EQ(ParseError("screen 640 4x3"), "screen: \"4x3\" is not a whole number");
  EXPECT_EQ(ParseError("param 10 5"), "param: row 10 is not 0 to 9");
  EXPECT_EQ(ParseError("slider 1 1.5"), "slider: \"1.5\" is not a whole number");
  EXPECT_EQ(ParseError("option 1101 0"), "option: \"1101\" is not a combo box of the panel");
  EXPECT_EQ(ParseError("click Nothing"), "click: no control is called \"Nothing\"");
  EXPECT_EQ(ParseError("mouse press 1 1"),
            "mouse: \"press\" is not one of down|up|move|rdown|rup");
  EXPECT_EQ(ParseError("mouse down 1 1 shift shift"), "mouse: \"shift\" given twice");
  EXPECT_EQ(ParseError("mouse down 1"), "mouse: expected down|up|move|rdown|rup X Y [shift] [ctrl]");
  EXPECT_EQ(ParseError("entity 4"), "entity: \"4\" is not one of 1|2|3|points|line|circle|none");
  EXPECT_EQ(ParseError("distance 10"), "distance: expected TEXT ok|cancel");
  EXPECT_EQ(ParseError("setup units"), "setup: expected ID INDEX [ID INDEX ...]");
  EXPECT_EQ(ParseError("setup 1094 0"), "setup: \"1094\" is not a list of the Set-Up dialog");
  EXPECT_EQ(ParseError("texts now"), "texts: expected no arguments");
  EXPECT_EQ(ParseError("drop \"\""), "drop: empty path");
  EXPECT_EQ(ParseError("expect result"), "expect: expected ID or NAME \"TEXT\"");
  EXPECT_EQ(ParseError("print \"unclosed"), "a quote is left open");
  EXPECT_EQ(ParseError("part-id next"), "part-id: expected next PREFIX");
  EXPECT_EQ(ParseError("report-auto off reports"), "report-auto: expected on [DIR]|off");
  EXPECT_EQ(ParseError("report-auto yes"), "report-auto: \"yes\" is not one of on|off");
  EXPECT_EQ(ParseError("program part-id 1 2 3"), "program: part-id X Y W H | part-id off | part-id required on|off");
  EXPECT_EQ(ParseError("program part-id required"), "program: part-id X Y W H | part-id off | part-id required on|off");
  EXPECT_EQ(ParseError("program part-id 1 2 x 4"), "program: \"x\" is not a number");
  EXPECT_EQ(Parse("part-id \"next\"").texts, V{"next"});
  EXPECT_EQ(ParseError(std::string(kMaxLineBytes + 1, ' ')), "line longer than 65536 bytes");
}

// Asymmetric tolerances and a unit of their own; the older form unchanged.
TEST(ScriptCommands, ToleranceFormsAndResultsStatistics) {
  const struct {
    const char* line;
    double upper, lower;
    const char* unit;
  } good[] = {
      {"tolerance w 8 0.01", 0.01, -0.01, nullptr},
      {"tolerance w 8 +0.02/-0.01", 0.02, -0.01, nullptr},
      {"tolerance w 8 +0.3/+0.1 mm", 0.3, 0.1, "mm"},
      {"tolerance w 8 0.5 um", 0.5, -0.5, "\xC2\xB5m"},
  };
  for (const auto& c : good) {
    const Command t = Parse(c.line);
    EXPECT_EQ(t.nominal, 8.0) << c.line;
    EXPECT_EQ(t.tolerance, c.upper) << c.line;
    EXPECT_EQ(t.lower, c.lower) << c.line;
    EXPECT_EQ(t.texts, (c.unit ? V{"w", c.unit} : V{"w"})) << c.line;
  }
  EXPECT_EQ(ParseError("tolerance w 8 +0.01/+0.02"),
            "tolerance: \"+0.01/+0.02\" is not +UPPER/-LOWER with the upper above the lower");
  EXPECT_EQ(ParseError("tolerance w 8 0.02/-0.01"),
            "tolerance: \"0.02/-0.01\" is not +UPPER/-LOWER with the upper above the lower");
  EXPECT_EQ(ParseError("tolerance w 8"), "tolerance: expected LABEL NOMINAL TOL|+UPPER/-LOWER [UNIT]");
  EXPECT_EQ(ParseError("tolerance w 8 0.1 \"\""), "tolerance: empty unit");
  EXPECT_EQ(Parse("results-stats \"outer width\"").texts, V{"outer width"});
  EXPECT_EQ(Parse("results-clear").verb, Verb::ResultsClear);
  EXPECT_EQ(ParseError("results-stats"), "results-stats: expected LABEL");
  EXPECT_EQ(ParseError("results-clear now"), "results-clear: expected no arguments");
}

// The precise calibrations and the grid pitch's unit: each form, and the
// words that are refused.
TEST(ScriptCommands, PreciseCalibrationCommands) {
  EXPECT_EQ(Parse("precise-calibrate ring").a, 0);
  EXPECT_EQ(Parse("precise-calibrate GRID").a, 1);
  EXPECT_EQ(Parse("precise-calibrate use").verb, Verb::PreciseCalibrate);
  EXPECT_TRUE(Parse("precise-calibration on").on);
  EXPECT_EQ(Parse("precise-calibration off").verb, Verb::PreciseOption);
  EXPECT_EQ(Parse("grid-calibrate dots 9 15 2.5").texts, (V{"dots", ""}));
  const Command mm = Parse("grid-calibrate chessboard 6 9 25 MM");
  EXPECT_EQ(mm.texts, (V{"chessboard", "mm"}));
  EXPECT_EQ(mm.number, 25.0);
  EXPECT_EQ(ParseError("precise-calibrate"), "precise-calibrate: expected ring|grid|use");
  EXPECT_EQ(ParseError("precise-calibrate disc"), "precise-calibrate: \"disc\" is not one of ring|grid|use");
  EXPECT_EQ(ParseError("precise-calibration 1"), "precise-calibration: \"1\" is not one of on|off");
  EXPECT_EQ(ParseError("grid-calibrate dots 9 15 2 ft"), "grid-calibrate: \"ft\" is not one of in|cm|mm");
  EXPECT_EQ(ParseError("grid-calibrate dots 9 15"),
            "grid-calibrate: expected dots|chessboard ROWS COLS PITCH [in|cm|mm]");
}

// The taught part's commands: decimal corners, an empty rectangle refused
// before anything runs, `all` the only word part-find takes.
TEST(ScriptCommands, PartCommands) {
  const Command teach = Parse("part-teach 110 80.25 530 4e2");
  EXPECT_EQ(teach.verb, Verb::PartTeach);
  EXPECT_EQ(teach.values, (std::vector<double>{110, 80.25, 530, 400}));
  EXPECT_FALSE(Parse("part-find").on);
  EXPECT_TRUE(Parse("part-find ALL").on);
  const struct {
    const char* line;
    const char* error;
  } bad[] = {
      {"part-teach 1 2 3", "part-teach: expected X0 Y0 X1 Y1"},
      {"part-teach 1 2 3 x", "part-teach: \"x\" is not a number"},
      {"part-teach 1 2 3 nan", "part-teach: \"nan\" is not a number"},
      {"part-teach 10 2 10 40", "part-teach: the rectangle is empty: X1 must exceed X0 and Y1 Y0"},
      {"part-teach 10 40 20 2", "part-teach: the rectangle is empty: X1 must exceed X0 and Y1 Y0"},
      {"part-find some", "part-find: \"some\" is not one of all"},
      {"part-find all all", "part-find: expected nothing or all"},
  };
  for (const auto& c : bad) EXPECT_EQ(ParseError(c.line), c.error);
}

// The automatic runs' choices: on new pictures (as always), on the folder
// camera's pictures and when a part comes to rest.
TEST(ScriptCommands, ProgramAutoChoices) {
  EXPECT_EQ(Parse("program auto on").texts, V{"auto"});
  EXPECT_EQ(Parse("program auto folder on").texts, (V{"auto", "folder"}));
  EXPECT_FALSE(Parse("program auto rest off").on);
  for (const char* line : {"program auto rest", "program auto grab on", "program auto folder rest on"}) {
    EXPECT_EQ(ParseError(line), "program: auto [folder|rest] on|off") << line;
  }
}

TEST(ScriptCommands, ResultsTableCommands) {
  EXPECT_EQ(Parse("mouse down 1 2 alt shift").modifiers, kKeyAlt | kKeyShift);
  EXPECT_EQ(Parse("results").verb, Verb::Results);
  EXPECT_EQ(Parse("results-csv \"out put.csv\"").texts, V{"out put.csv"});
  EXPECT_EQ(Parse("label \"outer width\"").texts, V{"outer width"});
  const Command c = Parse("tolerance width 8.5 -0");
  EXPECT_EQ(c.texts, V{"width"});
  EXPECT_EQ(c.nominal, 8.5);
  EXPECT_EQ(c.tolerance, 0.0);
  EXPECT_TRUE(Parse("snap ON").on);
  EXPECT_FALSE(Parse("snap off").on);
  EXPECT_EQ(ParseError("mouse down 1 1 alt alt"), "mouse: \"alt\" given twice");
  EXPECT_EQ(ParseError("tolerance w 8 -0.1"), "tolerance: a tolerance is not negative");
  EXPECT_EQ(ParseError("tolerance w 8,5 0.1"), "tolerance: \"8,5\" is not a number");
  EXPECT_EQ(ParseError("tolerance w nan 0.1"), "tolerance: \"nan\" is not a number");
  EXPECT_EQ(ParseError("label \"\""), "label: empty label");
  EXPECT_EQ(ParseError("snap maybe"), "snap: \"maybe\" is not one of on|off");
  EXPECT_EQ(ParseError("results now"), "results: expected no arguments");
  EXPECT_EQ(Parse("tool Edge").texts, V{"edge"});
  EXPECT_EQ(ParseError("tool caliper"), "tool: \"caliper\" is not one of measure|diameter|edge|width");
  EXPECT_EQ(ParseError("tool"), "tool: expected measure|diameter|edge|width");
  EXPECT_TRUE(Parse("print results-db").target.results_db);
  EXPECT_TRUE(Parse("print part-counts").target.part_counts);
  EXPECT_EQ(Parse("results-sync").factor, 10.0);
  EXPECT_EQ(Parse("results-sync 2.5").factor, 2.5);
  EXPECT_EQ(ParseError("results-sync -1"), "results-sync: \"-1\" is not a number of seconds from 0 to 86400");
  EXPECT_EQ(ParseError("results-sync nan"), "results-sync: \"nan\" is not a number of seconds from 0 to 86400");
  EXPECT_EQ(ParseError("results-sync 1 2"), "results-sync: expected [SECONDS]");
  EXPECT_EQ(ParseError("expect results-db x"), "expect: no control is called \"results-db\"");
}

TEST(ScriptCommands, PictureAndDxfExtensionCommands) {
  EXPECT_TRUE(Parse("save-annotated").texts.empty());
  EXPECT_EQ(Parse("save-annotated \"a b.bmp\"").texts, V{"a b.bmp"});
  EXPECT_TRUE(Parse("dxf-units On").on);
  EXPECT_EQ(Parse("dxf-units off").verb, Verb::DxfUnits);
  EXPECT_EQ(Parse("dxf-save-as part.dxf").texts, V{"part.dxf"});
  EXPECT_EQ(ParseError("save-annotated a b"), "save-annotated: expected PATH");
  EXPECT_EQ(ParseError("dxf-units"), "dxf-units: expected on|off");
  EXPECT_EQ(ParseError("dxf-save-as \"\""), "dxf-save-as: empty path");
}

TEST(ScriptCommands, DrawingComparisonCommands) {
  EXPECT_EQ(Parse("cad-load part.dxf").texts, V{"part.dxf"});
  EXPECT_EQ(Parse("CAD-LOAD \"my part.dxf\" MM").texts, (V{"my part.dxf", "mm"}));
  EXPECT_EQ(Parse("cad-fit").verb, Verb::CadFit);
  EXPECT_EQ(Parse("cad-compare 0.05").number, 0.05);
  EXPECT_EQ(Parse("cad-report points.csv").texts, V{"points.csv"});
  const std::string load_usage = "cad-load: expected PATH [UNIT] [layer NAME...]";
  EXPECT_EQ(ParseError("cad-load"), load_usage);
  EXPECT_EQ(ParseError("cad-load a mm extra"), load_usage);
  EXPECT_EQ(ParseError("cad-load \"\""), "cad-load: empty path");
  const std::string fit_usage =
      "expected nothing, minmax, or datum ENTITY [ENTITY] (a datum edge: ENTITY or ENTITY.PIECE)";
  EXPECT_EQ(ParseError("cad-fit now"), "cad-fit: " + fit_usage);
  EXPECT_EQ(ParseError("cad-compare"), "cad-compare: expected TOLERANCE");
  EXPECT_EQ(ParseError("cad-compare 0"), "cad-compare: the profile tolerance must be above 0");
  EXPECT_EQ(ParseError("cad-compare -1"), "cad-compare: the profile tolerance must be above 0");
  EXPECT_EQ(ParseError("cad-compare nan"), "cad-compare: \"nan\" is not a number");
  EXPECT_EQ(ParseError("cad-report"), "cad-report: expected PATH");
  // Layers, fit kinds and the hand's move: what each line gives or why not.
  struct Case {
    const char* line;
    V texts;
    const char* error;
  } cases[] = {
      {"cad-load a.dxf layer Holes", {"a.dxf", "", "Holes"}, nullptr},
      {"cad-load a.dxf IN Layer \"rim 2\" holes", {"a.dxf", "in", "rim 2", "holes"}, nullptr},
      {"cad-load a.dxf \"layer\"", {"a.dxf", "layer"}, nullptr},  // a unit, refused when run
      {"cad-load a.dxf mm layer", {}, "cad-load: expected PATH [UNIT] [layer NAME...]"},
      {"cad-load a.dxf mm in layer x", {}, "cad-load: expected PATH [UNIT] [layer NAME...]"},
      {"cad-fit MinMax", {"minmax"}, nullptr},
      {"cad-fit datum 9 10", {"datum", "9", "10"}, nullptr},
      {"cad-fit datum 1.3", {"datum", "1.3"}, nullptr},
      {"cad-fit minmax 2", {}, "cad-fit: expected nothing, minmax, or datum ENTITY [ENTITY] (a datum edge: "
                               "ENTITY or ENTITY.PIECE)"},
      {"cad-fit datum", {}, "cad-fit: expected nothing, minmax, or datum ENTITY [ENTITY] (a datum edge: "
                            "ENTITY or ENTITY.PIECE)"},
      {"cad-fit datum 0", {}, "cad-fit: \"0\" names no entity: expected nothing, minmax, or datum ENTITY "
                              "[ENTITY] (a datum edge: ENTITY or ENTITY.PIECE)"},
      {"cad-fit datum 1. 2", {}, "cad-fit: \"1.\" names no entity: expected nothing, minmax, or datum ENTITY "
                                 "[ENTITY] (a datum edge: ENTITY or ENTITY.PIECE)"},
      {"cad-move 3 -4", {}, nullptr},
      {"cad-move 3", {}, "cad-move: expected DX DY [ANGLE]"},
      {"cad-move 1 2 x", {}, "cad-move: \"x\" is not a number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    if (c.error) {
      EXPECT_EQ(ParseError(c.line), c.error);
    } else {
      EXPECT_EQ(Parse(c.line).texts, c.texts);
    }
  }
  EXPECT_EQ(Parse("cad-move 3 -4.5 12").values, (std::vector<double>{3, -4.5, 12}));
  EXPECT_EQ(Parse("cad-move 3 -4").values, (std::vector<double>{3, -4, 0}));
}

TEST(ScriptCommands, UndoAndTheTablesEdits) {
  EXPECT_EQ(Parse("undo").verb, Verb::Undo);
  EXPECT_EQ(Parse("REDO").verb, Verb::Redo);
  EXPECT_EQ(Parse("results-clear").verb, Verb::ResultsClear);
  EXPECT_EQ(Parse("results-delete 3 1 4294967295").numbers, (std::vector<uint32_t>{3, 1, 4294967295u}));
  const Command c = Parse("relabel 7 \"outer width\"");
  EXPECT_EQ(c.numbers, std::vector<uint32_t>{7});
  EXPECT_EQ(c.texts, V{"outer width"});
  EXPECT_EQ(ParseError("undo 2"), "undo: expected no arguments");
  EXPECT_EQ(ParseError("results-delete"), "results-delete: expected NUMBER [NUMBER...]");
  for (const char* bad : {"0", "-1", "4294967296", "1.5", "x"}) {
    EXPECT_EQ(ParseError(std::string("results-delete 2 ") + bad),
              std::string("results-delete: \"") + bad + "\" is not a row number");
  }
  EXPECT_EQ(ParseError("relabel 1 \"\""), "relabel: empty label");
  EXPECT_EQ(ParseError("relabel 1"), "relabel: expected NUMBER TEXT");
}

TEST(ScriptCommands, WholeScriptStopsAtTheFirstBadLine) {
  ParseResult r = ParseScript("# a station story\r\nstart -d1\r\n\r\nclick Process\nexpect result \"Success\"");
  EXPECT_EQ(r.error_line, 0u);
  ASSERT_EQ(r.commands.size(), 3u);
  EXPECT_EQ(r.commands[0].line, 2u);
  EXPECT_EQ(r.commands[0].source, "start -d1");  // CR of CRLF lines dropped
  EXPECT_EQ(r.commands[1].line, 4u);
  EXPECT_EQ(r.commands[2].texts, V{"Success"});

  r = ParseScript("start\n\nclick Process\nclick Proces\nclick Nope\n");
  EXPECT_EQ(r.error_line, 4u);
  EXPECT_EQ(r.error, "click: no control is called \"Proces\"");
  EXPECT_EQ(r.commands.size(), 2u);

  // A script without a final newline, and one of only blank lines.
  EXPECT_EQ(ParseScript("texts").commands.size(), 1u);
  EXPECT_TRUE(ParseScript("\n\n \n").commands.empty());
}

} // namespace
} // namespace orvane::batch
