#include "batch/program_commands.h"

#include <charconv>
#include <cmath>

#include "cad/session.h"
#include "inspect/program_session.h"
#include "ui/commands.h"

namespace orvane::batch {
namespace {

constexpr const char* kUsage =
    "expected new NAME | save | load NAME | circle LABEL X1 Y1 X2 Y2 X3 Y3 | "
    "width|line|point LABEL X0 Y0 X1 Y1 | distance|angle LABEL A B | profile LABEL TOL [minmax] | run | "
    "auto [folder|rest] on|off | part-id X Y W H|off|required on|off";

bool Coordinate(const std::string& w, double* out) {
  const auto r = std::from_chars(w.data(), w.data() + w.size(), *out);
  return r.ec == std::errc() && r.ptr == w.data() + w.size() && std::isfinite(*out);
}

// The run's lines: one a dimension, then the part's verdict.
void PrintRun(const Program& program, const ProgramRun& run, uint32_t part, std::ostream& out) {
  if (!run.found) {
    out << "part not found\n";
    return;
  }
  for (const DimensionResult& d : run.dimensions) {
    out << d.label << ' ' << ProgramNumber(d.value, d.unit) << ' ' << ProgramNumber(d.u, d.unit) << ' ' << d.unit << ' '
        << VerdictWord(d.verdict) << (d.note.empty() ? "" : ": " + d.note) << '\n';
  }
  if (program.code_region) out << (run.code ? "part-id \"" + run.identity + "\"\n" : std::string("part-id none\n"));
  if (!run.identity_problem.empty()) out << "not passed: " << run.identity_problem << '\n';
  out << "part " << part << (run.pass ? " pass" : " fail") << '\n';
}

} // namespace

bool ParseProgramCommand(const std::vector<Word>& words, Command* c, std::string* error) {
  c->verb = Verb::Program;
  auto fail = [&](std::string text) {
    *error = words[0].text + ": " + std::move(text);
    return false;
  };
  if (words.size() < 2) return fail(kUsage);
  const std::string sub = words[1].text;
  const size_t args = words.size() - 2;
  c->texts.push_back(sub);
  if (sub == "save" || sub == "run") return args == 0 || fail(sub + " takes no arguments");
  if (sub == "auto") {
    // "auto folder on": the runs in Live, beside the runs on new pictures.
    const bool live = args == 2 && (words[2].text == "folder" || words[2].text == "rest");
    const std::string& state = words.back().text;
    if ((args != 1 && !live) || (state != "on" && state != "off")) return fail("auto [folder|rest] on|off");
    if (live) c->texts.push_back(words[2].text);
    c->on = state == "on";
    return true;
  }
  if (sub == "part-id") {
    if (args == 1 && words[2].text == "off") return c->texts.push_back("off"), true;
    if (args == 2 && words[2].text == "required" && (words[3].text == "on" || words[3].text == "off")) {
      c->texts.push_back("required");
      c->on = words[3].text == "on";
      return true;
    }
    if (args != 4) return fail("part-id X Y W H | part-id off | part-id required on|off");
    for (size_t i = 2; i < 6; ++i) {
      double v = 0.0;
      if (!Coordinate(words[i].text, &v)) return fail("\"" + words[i].text + "\" is not a number");
      c->values.push_back(v);
    }
    return true;
  }
  if (sub == "new" || sub == "load") {
    if (args != 1) return fail(sub + " NAME");
    c->texts.push_back(words[2].text);
    return true;
  }
  if (sub == "profile") {
    double t = 0.0;
    const bool minmax = args == 3 && words[4].text == "minmax";
    if ((args != 2 && !minmax) || !Coordinate(words[3].text, &t)) return fail("profile LABEL TOL [minmax]");
    c->texts.push_back(words[2].text);
    c->values.push_back(t);
    c->on = minmax;
    return true;
  }
  if (sub == "distance" || sub == "angle") {
    if (args != 3) return fail(sub + " LABEL A B");
    for (size_t i = 2; i < 5; ++i) c->texts.push_back(words[i].text);
    return true;
  }
  const std::optional<StepKind> kind = StepKindByName(sub);
  if (!kind || PointsOf(*kind) == 0) return fail(kUsage);
  const size_t coordinates = 2 * PointsOf(*kind);
  if (args != 1 + coordinates) {
    return fail(sub + " LABEL and " + std::to_string(coordinates) + " coordinates");
  }
  c->texts.push_back(words[2].text);
  for (size_t i = 3; i < words.size(); ++i) {
    double v = 0.0;
    if (!Coordinate(words[i].text, &v)) return fail("\"" + words[i].text + "\" is not a number");
    c->values.push_back(v);
  }
  return true;
}

bool RunProgramCommand(Station& station, const Command& c, std::ostream& out, std::string* failure) {
  const std::string& sub = c.texts[0];
  std::string why;
  bool done = true;
  if (sub == "auto") {
    const std::string_view which = c.texts.size() > 1 ? std::string_view(c.texts[1]) : "";
    (which == "folder" ? ProgramOf(station).auto_folder
     : which == "rest" ? ProgramOf(station).auto_rest
                       : ProgramOf(station).auto_run) = c.on;
  } else if (sub == "new") {
    done = NewProgram(station, c.texts[1], &why);
  } else if (sub == "save") {
    done = SaveProgram(station, &why);
  } else if (sub == "load") {
    done = LoadProgram(station, c.texts[1], &why);
  } else if (sub == "distance" || sub == "angle") {
    done = AddDimension(station, *StepKindByName(sub), c.texts[1], c.texts[2], c.texts[3], &why);
  } else if (sub == "profile") {
    done = AddProfileStep(station, c.texts[1], c.values[0], c.on, &why);
  } else if (sub == "part-id") {
    const std::string what = c.texts.size() > 1 ? c.texts[1] : "";
    if (what == "required") {
      done = SetIdentityRequired(station, c.on, &why);
    } else {
      std::optional<CodeRegion> r;
      if (what.empty()) r = CodeRegion{c.values[0], c.values[1], c.values[2], c.values[3]};
      done = SetCodeRegion(station, r, &why);
    }
  } else if (sub == "run") {
    const std::optional<ProgramRun> run = RunProgramCommand(station, &why);
    if (run) PrintRun(*ProgramOf(station).program, *run, ProgramOf(station).last_part, out);
    done = run.has_value();
  } else {
    qgPoint points[3] = {};
    for (size_t i = 0; i + 1 < c.values.size() && i / 2 < 3; i += 2) {
      points[i / 2] = {c.values[i], c.values[i + 1]};
    }
    done = AddFeature(station, *StepKindByName(sub), c.texts[1], points, &why);
  }
  if (!done) *failure = "program " + sub + ": " + why;
  return done;
}

} // namespace orvane::batch
