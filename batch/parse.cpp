#include "batch/parse.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "batch/program_commands.h"
#include "cad/session.h"
#include "results/table.h"
#include "ui/setup_dialog.h"
#include "view/zoom.h"

namespace orvane::batch {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// A decimal integer with an optional sign, nothing else.
std::optional<int64_t> ParseInteger(std::string_view s) {
  if (s.empty()) return std::nullopt;
  const char* first = s.data();
  if (*first == '+') ++first;
  int64_t value = 0;
  auto [ptr, ec] = std::from_chars(first, s.data() + s.size(), value);
  if (ec != std::errc() || ptr != s.data() + s.size() || first == s.data() + s.size()) {
    return std::nullopt;
  }
  return value;
}

int32_t Clamp32(int64_t v, int32_t lo, int32_t hi) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, lo, hi));
}

struct NamedControl {
  const char* name;
  ControlId id;
};

constexpr NamedControl kControlNames[] = {
    {"grab", ControlId::Grab},
    {"live", ControlId::Live},
    {"save", ControlId::Save},
    {"file", ControlId::File},
    {"process", ControlId::Process},
    {"train", ControlId::Train},
    {"enlarge", ControlId::Enlarge},
    {"reduce", ControlId::Enlarge},
    {"set-up", ControlId::SetUp},
    {"setup", ControlId::SetUp},
    {"exit", ControlId::Exit},
    {"result", ControlId::ResultLine},
    {"image-status", ControlId::ImageStatus},
    {"calibration", ControlId::CalibrationStatus},
    {"mode", ControlId::ModeIndicator},
    {"coordinates", ControlId::CoordinateLine},
    {"roi-count", ControlId::RoiCount},
    {"solution", ControlId::SolutionList},
    {"option", ControlId::OptionList},
    {"device", ControlId::DeviceList},
    {"dark-light", ControlId::DarkLightChoice},
    {"filter", ControlId::FilterChoice},
    {"solution-group", ControlId::SolutionGroup},
};

struct NamedList {
  const char* name;
  DialogControlId id;
};

constexpr NamedList kSetupLists[] = {
    {"resolution", DialogControlId::Resolution},
    {"on-function-change", DialogControlId::OnFunctionChange},
    {"units", DialogControlId::MeasurementStandard},
    {"measurement-standard", DialogControlId::MeasurementStandard},
    {"background", DialogControlId::BackgroundColour},
    {"foreground", DialogControlId::ForegroundColour},
    {"expand", DialogControlId::ExpandWindow},
    {"decimals", DialogControlId::DecimalsDimensions},
    {"angle-decimals", DialogControlId::DecimalsAngles},
    {"save-preference", DialogControlId::ImageSavePreference},
    {"text-background", DialogControlId::TextBackground},
};

// The camera's settings in the General Set-Up dialog, typed as numbers.
std::optional<DialogControlId> SetupEditByName(std::string_view name) {
  const std::string lower = Lower(name);
  if (lower == "exposure") return kCameraExposureEdit;
  if (lower == "gain") return kCameraGainEdit;
  if (lower == "frame-rate") return kCameraFrameRateEdit;
  return std::nullopt;
}

// "edit3", "label0", "slider9": a part of a parameter row.
std::optional<ControlId> RowPart(std::string_view name) {
  struct Part {
    const char* prefix;
    const std::array<ControlId, kParamRows>* ids;
  };
  static constexpr Part kParts[] = {
      {"edit", &kRowEdits}, {"param", &kRowEdits}, {"label", &kRowLabels}, {"slider", &kRowSliders}};
  for (const Part& part : kParts) {
    const std::string_view prefix = part.prefix;
    if (name.size() == prefix.size() + 1 && name.substr(0, prefix.size()) == prefix &&
        name.back() >= '0' && name.back() <= '9') {
      return (*part.ids)[name.back() - '0'];
    }
  }
  return std::nullopt;
}

// The command word of a line. The dispatch compares it with each command's
// name in turn; given a list, every comparison also adds the name to it, so
// the list of commands is read off the dispatch itself and no second list
// can fall behind it.
class VerbWord {
 public:
  VerbWord(std::string word, std::vector<std::string>* names)
      : word_(std::move(word)), names_(names) {}
  bool operator==(std::string_view name) const {
    if (names_ != nullptr) names_->emplace_back(name);
    return word_ == name;
  }

 private:
  std::string word_;
  std::vector<std::string>* names_;
};

class LineParser {
 public:
  LineParser(std::vector<Word> words, uint32_t line, std::vector<std::string>* names = nullptr)
      : words_(std::move(words)), names_(names) {
    command_.line = line;
  }

  std::optional<Command> Parse(std::string* error) {
    const VerbWord verb(Lower(words_[0].text), names_);
    bool ok = false;
    if (verb == "start") {
      ok = Start();
    } else if (verb == "screen") {
      ok = Screen();
    } else if (verb == "solution") {
      ok = Solution();
    } else if (verb == "param") {
      ok = Row(Verb::Param, true);
    } else if (verb == "slider") {
      ok = Row(Verb::Slider, false);
    } else if (verb == "option" || verb == "choice") {
      ok = Combo(verb == "option" ? Verb::Option : Verb::Choice);
    } else if (verb == "click") {
      ok = Click();
    } else if (verb == "drop" || verb == "expect-file" || verb == "save-display") {
      ok = Path(verb == "drop" ? Verb::Drop
                               : verb == "expect-file" ? Verb::ExpectFile : Verb::SaveDisplay);
    } else if (verb == "mouse" || verb == "mouse-view") {
      ok = Mouse(verb == "mouse" ? Verb::Mouse : Verb::MouseView);
    } else if (verb == "key") {
      ok = Key();
    } else if (verb == "answer") {
      ok = Answer();
    } else if (verb == "entity") {
      ok = Entity();
    } else if (verb == "distance") {
      ok = Distance();
    } else if (verb == "setup") {
      ok = Setup();
    } else if (verb == "setup-reset") {
      ok = SetupReset();
    } else if (verb == "setup-close") {
      ok = Bare(Verb::SetupClose);
    } else if (verb == "print") {
      ok = PrintOrExpect(Verb::Print);
    } else if (verb == "expect") {
      ok = PrintOrExpect(Verb::Expect);
    } else if (verb == "zoom") {
      ok = Zoom();
    } else if (verb == "pan") {
      ok = Pan();
    } else if (verb == "texts") {
      ok = Bare(Verb::Texts);
    } else if (!Extension(verb, &ok)) {
      error_ = "unknown command \"" + words_[0].text + "\"";
    }
    if (!ok) {
      *error = error_.empty() ? "cannot parse \"" + words_[0].text + "\"" : error_;
      return std::nullopt;
    }
    return std::move(command_);
  }

  // The extensions' commands; false for a word that is none of them.
  bool Extension(const VerbWord& verb, bool* ok) {
    if (verb == "results") {
      *ok = Bare(Verb::Results);
    } else if (verb == "results-csv") {
      *ok = Path(Verb::ResultsCsv);
    } else if (verb == "label") {
      *ok = Label(Verb::Label);
    } else if (verb == "relabel") {
      *ok = Relabel();
    } else if (verb == "results-delete") {
      *ok = ResultsDelete();
    } else if (verb == "undo" || verb == "redo") {
      *ok = Bare(verb == "undo" ? Verb::Undo : Verb::Redo);
    } else if (verb == "tolerance") {
      *ok = Tolerance();
    } else if (verb == "results-stats") {
      *ok = Label(Verb::ResultsStats);
    } else if (verb == "grr") {
      *ok = Label(Verb::Grr);
    } else if (verb == "chart") {
      *ok = Label(Verb::Chart);
    } else if (verb == "part-id") {
      *ok = PartId();
    } else if (verb == "report" || verb == "summary-report") {
      *ok = Report(verb == "report" ? Verb::Report : Verb::SummaryReport);
    } else if (verb == "report-auto") {
      *ok = ReportAuto();
    } else if (verb == "chart-save") {
      *ok = ChartSave();
    } else if (verb == "operator") {
      command_.verb = Verb::Operator;
      *ok = Count(1, "TEXT");
      if (*ok) command_.texts.push_back(Arg(0));
    } else if (verb == "results-clear") {
      *ok = Bare(Verb::ResultsClear);
    } else if (verb == "snap") {
      *ok = OnOff(Verb::Snap);
    } else if (verb == "dxf-units") {
      *ok = OnOff(Verb::DxfUnits);
    } else if (verb == "dxf-save-as") {
      *ok = Path(Verb::DxfSaveAs);
    } else if (verb == "save-annotated") {
      *ok = OptionalPath(Verb::SaveAnnotated);
    } else if (verb == "tool") {
      size_t k = 0;
      *ok = OneWord(Verb::Tool, {"measure", "diameter", "edge", "width"}, &k);
      if (*ok) command_.texts.push_back(Lower(Arg(0)));
    } else if (verb == "grid-calibrate") {
      *ok = GridCalibrate();
    } else if (verb == "precise-calibrate") {
      size_t k = 0;
      *ok = OneWord(Verb::PreciseCalibrate, {"ring", "grid", "use"}, &k);
      command_.a = static_cast<int32_t>(k);
    } else if (verb == "precise-calibration") {
      *ok = OnOff(Verb::PreciseOption);
    } else if (verb == "rectify") {
      *ok = OnOff(Verb::Rectify);
    } else if (verb == "results-sync") {
      *ok = ResultsSync();
    } else if (verb == "wait") {
      *ok = Wait();
    } else if (verb == "part-teach") {
      *ok = PartTeach();
    } else if (verb == "part-find") {
      *ok = PartFind();
    } else if (verb == "program") {
      *ok = ParseProgramCommand(words_, &command_, &error_);
    } else if (!CadCommand(verb, ok)) {
      return false;
    }
    return true;
  }

  // The drawing comparison's commands; false for a word that is none of them.
  bool CadCommand(const VerbWord& verb, bool* ok) {
    if (verb == "cad-load") {
      *ok = CadLoad();
    } else if (verb == "cad-fit") {
      *ok = CadFit();
    } else if (verb == "cad-move") {
      command_.verb = Verb::CadMove;
      *ok = (Args() == 2 || Args() == 3) ? true : Fail("expected DX DY [ANGLE]");
      command_.values.assign(3, 0.0);
      for (size_t i = 0; *ok && i < Args(); ++i) *ok = Number(i, &command_.values[i]);
    } else if (verb == "cad-compare") {
      command_.verb = Verb::CadCompare;
      *ok = Count(1, "TOLERANCE") && Number(0, &command_.number);
      if (*ok && !(command_.number > 0)) *ok = Fail("the profile tolerance must be above 0");
    } else if (verb == "cad-report") {
      *ok = Path(Verb::CadReport);
    } else {
      return false;
    }
    return true;
  }

  // cad-load PATH [UNIT] [layer NAME...]: texts PATH, then UNIT; with
  // layers, UNIT ("" when not given) and the layers' names.
  bool CadLoad() {
    command_.verb = Verb::CadLoad;
    const char* usage = "expected PATH [UNIT] [layer NAME...]";
    size_t layer = 1;
    while (layer < Args() && !(Lower(Arg(layer)) == "layer" && !words_[layer + 1].quoted)) ++layer;
    if (Args() < 1 || layer > 2 || (layer < Args() && layer + 1 == Args())) return Fail(usage);
    if (Arg(0).empty()) return Fail("empty path");
    command_.texts.push_back(Arg(0));
    if (layer == 2 || layer < Args()) command_.texts.push_back(layer == 2 ? Lower(Arg(1)) : "");
    for (size_t i = layer + 1; i < Args(); ++i) command_.texts.push_back(Arg(i));
    return true;
  }

  // cad-fit [minmax | datum REF [REF]]: texts the words after cad-fit.
  bool CadFit() {
    command_.verb = Verb::CadFit;
    const char* usage = "expected nothing, minmax, or datum ENTITY [ENTITY] (a datum edge: ENTITY or ENTITY.PIECE)";
    if (Args() == 0) return true;
    const std::string kind = Lower(Arg(0));
    if (kind == "minmax" && Args() == 1) {
      command_.texts.push_back(kind);
      return true;
    }
    if (kind != "datum" || Args() < 2 || Args() > 3) return Fail(usage);
    command_.texts.push_back(kind);
    for (size_t i = 1; i < Args(); ++i) {
      cad::DatumRef ref;
      if (!ParseDatumRef(Arg(i), &ref)) return Fail("\"" + Arg(i) + "\" names no entity: " + usage);
      command_.texts.push_back(Arg(i));
    }
    return true;
  }

 private:
  size_t Args() const { return words_.size() - 1; }
  const std::string& Arg(size_t i) const { return words_[i + 1].text; }

  bool Fail(std::string message) {
    error_ = words_[0].text + ": " + std::move(message);
    return false;
  }
  bool Count(size_t n, const char* usage) {
    if (Args() == n) return true;
    return Fail(std::string("expected ") + usage);
  }
  bool Integer(size_t i, int32_t lo, int32_t hi, int32_t* out) {
    std::optional<int64_t> v = ParseInteger(Arg(i));
    if (!v) return Fail("\"" + Arg(i) + "\" is not a whole number");
    *out = Clamp32(*v, lo, hi);
    return true;
  }
  // One of the words; its index in `choices`.
  bool OneOf(size_t i, std::initializer_list<const char*> choices, size_t* out) {
    const std::string w = Lower(Arg(i));
    size_t k = 0;
    for (const char* c : choices) {
      if (w == c) {
        *out = k;
        return true;
      }
      ++k;
    }
    std::string list;
    for (const char* c : choices) {
      if (!list.empty()) list += '|';
      list += c;
    }
    return Fail("\"" + Arg(i) + "\" is not one of " + list);
  }

  bool Bare(Verb verb) {
    command_.verb = verb;
    return Count(0, "no arguments");
  }
  bool Start() {
    command_.verb = Verb::Start;
    for (size_t i = 0; i < Args(); ++i) command_.texts.push_back(Arg(i));
    return true;
  }
  bool Screen() {
    command_.verb = Verb::Screen;
    return Count(2, "W H") && Integer(0, 1, kMaxScreenSide, &command_.a) &&
           Integer(1, 1, kMaxScreenSide, &command_.b);
  }
  bool Solution() {
    command_.verb = Verb::Solution;
    if (!Count(1, "INDEX or \"NAME\"")) return false;
    std::optional<int64_t> index = ParseInteger(Arg(0));
    if (index && !words_[1].quoted) {
      command_.a = Clamp32(*index, -1, INT32_MAX);
    } else {
      command_.by_name = true;
      command_.texts.push_back(Arg(0));
    }
    return true;
  }
  bool Row(Verb verb, bool text) {
    command_.verb = verb;
    if (!Count(2, text ? "ROW TEXT" : "ROW POS")) return false;
    if (!Integer(0, INT32_MIN, INT32_MAX, &command_.a)) return false;
    if (command_.a < 0 || command_.a >= static_cast<int32_t>(kParamRows)) {
      return Fail("row " + Arg(0) + " is not 0 to 9");
    }
    if (text) {
      command_.texts.push_back(Arg(1));
      return true;
    }
    return Integer(1, INT32_MIN, INT32_MAX, &command_.b);
  }
  bool Combo(Verb verb) {
    command_.verb = verb;
    if (!Count(2, "ID INDEX")) return false;
    std::optional<ControlId> id = ControlByName(Arg(0));
    constexpr ControlId kCombos[] = {ControlId::OptionList, ControlId::DarkLightChoice,
                                     ControlId::FilterChoice, ControlId::DeviceList,
                                     ControlId::SolutionList};
    if (!id || std::find(std::begin(kCombos), std::end(kCombos), *id) == std::end(kCombos)) {
      return Fail("\"" + Arg(0) + "\" is not a combo box of the panel");
    }
    command_.control = *id;
    return Integer(1, -1, INT32_MAX, &command_.a);
  }
  bool Click() {
    command_.verb = Verb::Click;
    if (!Count(1, "NAME or ID")) return false;
    std::optional<ControlId> id = ControlByName(Arg(0));
    if (!id) return Fail("no control is called \"" + Arg(0) + "\"");
    command_.control = *id;
    return true;
  }
  bool Path(Verb verb) {
    command_.verb = verb;
    if (!Count(1, "PATH")) return false;
    if (Arg(0).empty()) return Fail("empty path");
    command_.texts.push_back(Arg(0));
    return true;
  }
  bool Mouse(Verb verb) {
    command_.verb = verb;
    // The usage text predates alt, which scripts read from the manual.
    if (Args() < 3 || Args() > 6) return Fail("expected down|up|move|rdown|rup X Y [shift] [ctrl]");
    size_t kind = 0;
    if (!OneOf(0, {"down", "up", "move", "rdown", "rup"}, &kind)) return false;
    constexpr MouseEvent kEvents[] = {MouseEvent::LeftDown, MouseEvent::LeftUp, MouseEvent::Move,
                                      MouseEvent::RightDown, MouseEvent::RightUp};
    command_.mouse = kEvents[kind];
    if (!Integer(1, -kMaxCoordinate, kMaxCoordinate, &command_.a) ||
        !Integer(2, -kMaxCoordinate, kMaxCoordinate, &command_.b)) {
      return false;
    }
    for (size_t i = 3; i < Args(); ++i) {
      size_t m = 0;
      if (!OneOf(i, {"shift", "ctrl", "alt"}, &m)) return false;
      const uint32_t bit = m == 0 ? kKeyShift : m == 1 ? kKeyControl : kKeyAlt;
      if (command_.modifiers & bit) return Fail("\"" + Arg(i) + "\" given twice");
      command_.modifiers |= bit;
    }
    return true;
  }
  bool Label(Verb verb) {
    command_.verb = verb;
    if (!Count(1, verb == Verb::Label ? "TEXT" : "LABEL")) return false;
    if (Arg(0).empty()) return Fail("empty label");
    command_.texts.push_back(Arg(0));
    return true;
  }
  // A results row's number: 1 to 4294967295.
  bool RowNumber(size_t i, uint32_t* out) {
    const std::optional<int64_t> v = ParseInteger(Arg(i));
    if (!v || *v < 1 || *v > int64_t{UINT32_MAX}) return Fail("\"" + Arg(i) + "\" is not a row number");
    *out = static_cast<uint32_t>(*v);
    return true;
  }
  bool Relabel() {
    command_.verb = Verb::Relabel;
    command_.numbers.resize(1);
    if (!Count(2, "NUMBER TEXT") || !RowNumber(0, &command_.numbers[0])) return false;
    if (Arg(1).empty()) return Fail("empty label");
    command_.texts.push_back(Arg(1));
    return true;
  }
  bool ResultsDelete() {
    command_.verb = Verb::ResultsDelete;
    if (Args() == 0) return Fail("expected NUMBER [NUMBER...]");
    command_.numbers.resize(Args());
    for (size_t i = 0; i < Args(); ++i) {
      if (!RowNumber(i, &command_.numbers[i])) return false;
    }
    return true;
  }
  bool Number(size_t i, double* out) {
    const std::string& w = Arg(i);
    const auto r = std::from_chars(w.data(), w.data() + w.size(), *out);
    if (r.ec != std::errc() || r.ptr != w.data() + w.size() || !std::isfinite(*out)) {
      return Fail("\"" + w + "\" is not a number");
    }
    return true;
  }
  // tolerance LABEL NOMINAL TOL|+UPPER/-LOWER [UNIT]
  bool Tolerance() {
    command_.verb = Verb::Tolerance;
    if (Args() != 3 && Args() != 4) return Fail("expected LABEL NOMINAL TOL|+UPPER/-LOWER [UNIT]");
    if (Arg(0).empty()) return Fail("empty label");
    command_.texts.push_back(Arg(0));
    if (Args() == 4) {
      if (Arg(3).empty()) return Fail("empty unit");
      command_.texts.push_back(CanonicalUnit(Arg(3)));
    }
    if (!Number(1, &command_.nominal)) return false;
    if (Arg(2).find('/') == std::string::npos) {
      if (!Number(2, &command_.tolerance)) return false;
      if (command_.tolerance < 0.0) return Fail("a tolerance is not negative");
      command_.lower = -command_.tolerance;
      return true;
    }
    orvane::Tolerance t;
    if (!ParseDeviations(Arg(2), &t)) {
      return Fail("\"" + Arg(2) + "\" is not +UPPER/-LOWER with the upper above the lower");
    }
    command_.tolerance = t.upper;
    command_.lower = t.lower;
    return true;
  }
  // part-teach X0 Y0 X1 Y1: the rectangle [X0, X1) x [Y0, Y1).
  bool PartTeach() {
    command_.verb = Verb::PartTeach;
    if (!Count(4, "X0 Y0 X1 Y1")) return false;
    command_.values.resize(4);
    for (size_t i = 0; i < 4; ++i) {
      if (!Number(i, &command_.values[i])) return false;
    }
    if (command_.values[2] <= command_.values[0] || command_.values[3] <= command_.values[1]) {
      return Fail("the rectangle is empty: X1 must exceed X0 and Y1 Y0");
    }
    return true;
  }
  // part-find [all]
  bool PartFind() {
    command_.verb = Verb::PartFind;
    if (Args() > 1) return Fail("expected nothing or all");
    size_t k = 0;
    command_.on = Args() == 1;
    return Args() == 0 || OneOf(0, {"all"}, &k);
  }
  // PATH or nothing.
  // report PATH [a4|letter], summary-report PATH [a4|letter]
  bool Report(Verb verb) {
    command_.verb = verb;
    if (Args() != 1 && Args() != 2) return Fail("expected PATH [a4|letter]");
    if (Arg(0).empty()) return Fail("empty path");
    command_.texts.push_back(Arg(0));
    size_t k = 0;
    if (Args() == 2 && !OneOf(1, {"a4", "letter"}, &k)) return false;
    command_.a = Args() == 2 ? static_cast<int32_t>(k) + 1 : 0;
    return true;
  }
  // report-auto on [DIR] | report-auto off
  bool ReportAuto() {
    command_.verb = Verb::ReportAuto;
    size_t k = 0;
    if (Args() < 1 || Args() > 2) return Fail("expected on [DIR]|off");
    if (!OneOf(0, {"on", "off"}, &k)) return false;
    command_.on = k == 0;
    if (Args() == 2) {
      if (!command_.on) return Fail("expected on [DIR]|off");
      if (Arg(1).empty()) return Fail("empty folder");
      command_.texts.push_back(Arg(1));
    }
    return true;
  }
  // chart-save LABEL individuals|histogram PATH
  bool ChartSave() {
    command_.verb = Verb::ChartSave;
    if (!Count(3, "LABEL individuals|histogram PATH")) return false;
    size_t k = 0;
    if (Arg(0).empty()) return Fail("empty label");
    if (!OneOf(1, {"individuals", "histogram"}, &k)) return false;
    if (Arg(2).empty()) return Fail("empty path");
    command_.texts = {Arg(0), Arg(2)};
    command_.a = static_cast<int32_t>(k);
    return true;
  }
  // part-id TEXT, part-id read [X Y W H], part-id next PREFIX; a quoted
  // "read" or "next" is a text.
  bool PartId() {
    command_.verb = Verb::PartId;
    if (Args() >= 1 && Lower(Arg(0)) == "read" && !words_[1].quoted) {
      if (Args() != 1 && Args() != 5) return Fail("expected read [X Y W H]");
      command_.on = true;
      for (size_t i = 1; i < Args(); ++i) {
        int32_t v = 0;
        if (!Integer(i, 0, kMaxCoordinate, &v)) return false;
        command_.numbers.push_back(static_cast<uint32_t>(v));
      }
      return true;
    }
    if (Args() >= 1 && Lower(Arg(0)) == "next" && !words_[1].quoted) {
      if (!Count(2, "next PREFIX")) return false;
      command_.a = 1;
      command_.texts.push_back(Arg(1));
      return true;
    }
    if (!Count(1, "TEXT|read [X Y W H]|next PREFIX")) return false;
    command_.texts.push_back(Arg(0));
    return true;
  }
  bool OptionalPath(Verb verb) {
    command_.verb = verb;
    if (Args() == 0) return true;
    return Path(verb);
  }
  bool OnOff(Verb verb) {
    size_t k = 0;
    if (!OneWord(verb, {"on", "off"}, &k)) return false;
    command_.on = k == 0;
    return true;
  }
  // One argument, one of `words` (its index in *k).
  bool OneWord(Verb verb, std::initializer_list<const char*> words, size_t* k) {
    command_.verb = verb;
    std::string expected;
    for (const char* w : words) expected += (expected.empty() ? "" : "|") + std::string(w);
    return Count(1, expected.c_str()) && OneOf(0, words, k);
  }
  bool Zoom() {
    command_.verb = Verb::Zoom;
    if (Args() != 1 && Args() != 3) return Fail("expected fit|FACTOR [X Y]");
    if (Lower(Arg(0)) != "fit") {
      const std::string& w = Arg(0);
      double f = 0.0;
      auto [ptr, ec] = std::from_chars(w.data(), w.data() + w.size(), f);
      if (ec != std::errc() || ptr != w.data() + w.size() || !(f > 0.0) || f > kMaxZoom) {
        return Fail("\"" + w + "\" is not fit or a factor above 0 up to 16");
      }
      command_.factor = f;
    }
    command_.at = Args() == 3;
    return !command_.at || (Integer(1, -kMaxCoordinate, kMaxCoordinate, &command_.a) &&
                            Integer(2, -kMaxCoordinate, kMaxCoordinate, &command_.b));
  }
  bool Pan() {
    command_.verb = Verb::Pan;
    return Count(2, "X Y") && Integer(0, -kMaxCoordinate, kMaxCoordinate, &command_.a) &&
           Integer(1, -kMaxCoordinate, kMaxCoordinate, &command_.b);
  }
  bool Key() {
    command_.verb = Verb::Key;
    size_t k = 0;
    if (!Count(1, "escape|enter") || !OneOf(0, {"escape", "enter"}, &k)) return false;
    command_.escape = k == 0;
    return true;
  }
  bool Answer() {
    command_.verb = Verb::Answer;
    size_t k = 0;
    if (!Count(1, "ok|cancel|yes|no") || !OneOf(0, {"ok", "cancel", "yes", "no"}, &k)) {
      return false;
    }
    constexpr MessageAnswer kAnswers[] = {MessageAnswer::Ok, MessageAnswer::Cancel,
                                          MessageAnswer::Yes, MessageAnswer::No};
    command_.answer = kAnswers[k];
    return true;
  }
  bool Entity() {
    command_.verb = Verb::Entity;
    size_t k = 0;
    if (!Count(1, "1|2|3|points|line|circle|none") ||
        !OneOf(0, {"1", "2", "3", "points", "line", "circle", "none"}, &k)) {
      return false;
    }
    constexpr DialogControlId kButtons[] = {DialogControlId::EntityPoints,
                                            DialogControlId::EntityLine,
                                            DialogControlId::EntityCircle};
    if (k < 6) command_.entity = kButtons[k % 3];
    return true;
  }
  bool Distance() {
    command_.verb = Verb::Distance;
    size_t k = 0;
    if (!Count(2, "TEXT ok|cancel") || !OneOf(1, {"ok", "cancel"}, &k)) return false;
    command_.texts.push_back(Arg(0));
    command_.result = k == 0 ? DialogResult::Ok : DialogResult::Cancel;
    return true;
  }
  bool Setup() {
    command_.verb = Verb::Setup;
    if (Args() == 0 || Args() % 2 != 0) return Fail("expected ID INDEX [ID INDEX ...]");
    for (size_t i = 0; i < Args(); i += 2) {
      if (std::optional<DialogControlId> edit = SetupEditByName(Arg(i))) {
        double value = 0.0;
        if (!Number(i + 1, &value)) return false;
        command_.edits.emplace_back(*edit, Arg(i + 1));
        continue;
      }
      std::optional<DialogControlId> id = SetupListByName(Arg(i));
      if (!id) return Fail("\"" + Arg(i) + "\" is not a list of the Set-Up dialog");
      int32_t index = 0;
      if (!Integer(i + 1, -1, INT32_MAX, &index)) return false;
      command_.choices.emplace_back(*id, index);
    }
    return true;
  }
  bool SetupReset() {
    command_.verb = Verb::SetupReset;
    size_t k = 0;
    if (!Count(1, "yes|no") || !OneOf(0, {"yes", "no"}, &k)) return false;
    command_.answer = k == 0 ? MessageAnswer::Yes : MessageAnswer::No;
    return true;
  }
  // grid-calibrate dots|chessboard ROWS COLS PITCH [in|cm|mm]
  bool GridCalibrate() {
    command_.verb = Verb::GridCalibrate;
    size_t kind = 0;
    size_t unit = 0;
    if (Args() == 5 && !OneOf(4, {"in", "cm", "mm"}, &unit)) return false;
    if ((Args() != 5 && !Count(4, "dots|chessboard ROWS COLS PITCH [in|cm|mm]")) ||
        !OneOf(0, {"dots", "chessboard"}, &kind) || !Integer(1, 0, 1000, &command_.a) ||
        !Integer(2, 0, 1000, &command_.b)) {
      return false;
    }
    command_.texts.push_back(kind == 0 ? "dots" : "chessboard");
    // The pitch's unit (none: the station's unit at calibration).
    command_.texts.push_back(Args() == 5 ? Lower(Arg(4)) : std::string());
    const std::string& pitch = Arg(3);
    double v = 0.0;
    const auto [end, ec] = std::from_chars(pitch.data(), pitch.data() + pitch.size(), v);
    if (pitch.empty() || ec != std::errc() || end != pitch.data() + pitch.size() || !std::isfinite(v)) {
      return Fail("\"" + pitch + "\" is not a number");
    }
    command_.number = v;
    return true;
  }
  // wait SECONDS: real time, 0 to kMaxWaitSeconds.
  bool Wait() {
    command_.verb = Verb::Wait;
    if (!Count(1, "SECONDS") || !Number(0, &command_.number)) return false;
    if (command_.number < 0.0 || command_.number > kMaxWaitSeconds) {
      return Fail("a wait is 0 to " + std::to_string(static_cast<int>(kMaxWaitSeconds)) + " seconds");
    }
    return true;
  }

  // results-sync [SECONDS]: 10 s unless said, at most a day.
  bool ResultsSync() {
    command_.verb = Verb::ResultsSync;
    command_.factor = 10.0;
    if (Args() > 1) return Fail("expected [SECONDS]");
    if (Args() == 0) return true;
    const std::string& text = Arg(0);
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !(seconds >= 0.0) || seconds > 86400.0) {
      return Fail("\"" + text + "\" is not a number of seconds from 0 to 86400");
    }
    command_.factor = seconds;
    return true;
  }

  bool PrintOrExpect(Verb verb) {
    command_.verb = verb;
    if (!Count(verb == Verb::Print ? 1 : 2, verb == Verb::Print ? "ID or NAME" : "ID or NAME \"TEXT\"")) {
      return false;
    }
    command_.target.name = Arg(0);
    if (verb == Verb::Print && Lower(Arg(0)) == "rectification") {
      command_.target.rectification = true;
    } else if (verb == Verb::Print && Lower(Arg(0)) == "camera") {
      command_.target.camera = true;
    } else if (verb == Verb::Print && Lower(Arg(0)) == "results-db") {
      command_.target.results_db = true;
    } else if (verb == Verb::Print && Lower(Arg(0)) == "part-counts") {
      command_.target.part_counts = true;
    } else if (Lower(Arg(0)) == "title") {
      command_.target.title = true;
    } else if (std::optional<ControlId> id = ControlByName(Arg(0))) {
      command_.target.id = *id;
    } else {
      return Fail("no control is called \"" + Arg(0) + "\"");
    }
    if (verb == Verb::Expect) command_.texts.push_back(Arg(1));
    return true;
  }

  std::vector<Word> words_;
  std::vector<std::string>* names_;
  Command command_;
  std::string error_;
};

} // namespace

std::optional<std::string> SplitLine(std::string_view line, std::vector<Word>* words) {
  words->clear();
  size_t i = 0;
  const size_t n = line.size();
  while (i < n) {
    while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= n || line[i] == '#') break;
    Word word;
    while (i < n && line[i] != ' ' && line[i] != '\t' && line[i] != '#') {
      if (line[i] != '"') {
        word.text += line[i++];
        continue;
      }
      word.quoted = true;
      ++i;
      bool closed = false;
      while (i < n) {
        const char c = line[i++];
        if (c == '"') {
          closed = true;
          break;
        }
        if (c != '\\') {
          word.text += c;
          continue;
        }
        if (i >= n) break;
        const char e = line[i++];
        switch (e) {
          case 'r': word.text += '\r'; break;
          case 'n': word.text += '\n'; break;
          case 't': word.text += '\t'; break;
          case '\\': word.text += '\\'; break;
          case '"': word.text += '"'; break;
          case 'x': {
            const int hi = i < n ? HexValue(line[i]) : -1;
            const int lo = i + 1 < n ? HexValue(line[i + 1]) : -1;
            if (hi < 0 || lo < 0) return "\\x needs two hex digits";
            word.text += static_cast<char>(hi * 16 + lo);
            i += 2;
            break;
          }
          default:
            return std::string("unknown escape \\") + e;
        }
      }
      if (!closed) return "a quote is left open";
    }
    words->push_back(std::move(word));
  }
  return std::nullopt;
}

std::string QuoteText(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      default:
        if (u < 0x20 || u >= 0x7F) {
          out += "\\x";
          out += kHex[u >> 4];
          out += kHex[u & 15];
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

std::optional<ControlId> ControlByName(std::string_view name) {
  const std::string lower = Lower(name);
  for (const NamedControl& c : kControlNames) {
    if (lower == c.name) return c.id;
  }
  if (std::optional<ControlId> row = RowPart(lower)) return row;
  std::optional<int64_t> id = ParseInteger(name);
  if (id && *id >= 0 && *id <= UINT32_MAX) return static_cast<ControlId>(*id);
  return std::nullopt;
}

std::optional<DialogControlId> SetupListByName(std::string_view name) {
  const std::string lower = Lower(name);
  for (const NamedList& l : kSetupLists) {
    if (lower == l.name) return l.id;
  }
  std::optional<int64_t> id = ParseInteger(name);
  if (id) {
    for (const NamedList& l : kSetupLists) {
      if (*id == static_cast<int64_t>(Raw(l.id))) return l.id;
    }
  }
  return std::nullopt;
}

std::optional<Command> ParseLine(std::string_view text, uint32_t line, std::string* error) {
  if (text.size() > kMaxLineBytes) {
    *error = "line longer than " + std::to_string(kMaxLineBytes) + " bytes";
    return std::nullopt;
  }
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  std::vector<Word> words;
  if (std::optional<std::string> split_error = SplitLine(text, &words)) {
    *error = *split_error;
    return std::nullopt;
  }
  if (words.empty()) return std::nullopt;
  return LineParser(std::move(words), line).Parse(error);
}

std::vector<std::string> CommandNames() {
  std::vector<std::string> compared;
  std::string ignored;
  // An empty word is no command's name, so the dispatch tries every name.
  LineParser({Word{}}, 0, &compared).Parse(&ignored);
  std::vector<std::string> names;
  for (std::string& name : compared) {
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
  }
  return names;
}

ParseResult ParseScript(std::string_view script) {
  ParseResult result;
  uint32_t line = 0;
  size_t pos = 0;
  while (pos < script.size()) {
    size_t end = script.find('\n', pos);
    if (end == std::string_view::npos) end = script.size();
    ++line;
    std::string error;
    std::optional<Command> command = ParseLine(script.substr(pos, end - pos), line, &error);
    if (!error.empty()) {
      result.error_line = line;
      result.error = std::move(error);
      return result;
    }
    if (command) {
      command->source = script.substr(pos, end - pos);
      if (!command->source.empty() && command->source.back() == '\r') command->source.pop_back();
      result.commands.push_back(std::move(*command));
    }
    pos = end + 1;
  }
  return result;
}

} // namespace orvane::batch
