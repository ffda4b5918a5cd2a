#include "inspect/program_session.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <system_error>
#include <utility>

#include "inspect/program_file.h"
#include "results/csv.h"
#include "results/session.h"
#include "results/snap.h"
#include "workspace/files.h"

namespace orvane {
namespace {

bool Refuse(std::string* why, std::string text) {
  *why = std::move(text);
  return false;
}

Program* OpenProgram(Station& st, std::string* why) {
  ProgramSession& session = ProgramOf(st);
  if (!session.program) {
    *why = "no program is open (program new NAME or program load NAME)";
    return nullptr;
  }
  return &*session.program;
}

// The program's part model and its profiles' drawings, read from the
// working folder.
std::shared_ptr<const ProgramModel> ModelOf(const Station& st, const Program& program) {
  return std::make_shared<const ProgramModel>(program, st.folder(),
                                              ScaleOf(st.settings, st.settings.calibration_distance));
}

void Open(Station& st, Program program, bool unsaved) {
  ProgramSession& session = ProgramOf(st);
  session.model = ModelOf(st, program);
  session.program = std::move(program);
  session.unsaved = unsaved;
  session.last_run.reset();
}

// The open program changed: unsaved, and its last run no longer drawn.
void Edited(Station& st) {
  ProgramOf(st).unsaved = true;
  ProgramOf(st).last_run.reset();
}

// Why a new step may not take this label; empty when it may.
std::string LabelProblem(const Program& program, const std::string& label) {
  if (!IsStepLabel(label)) {
    return "\"" + label + "\" is not a label: 1 to 32 characters, no blank, quote, # or backslash";
  }
  if (FindStep(program, label) != nullptr) return "the program has a step " + label + " already";
  if (program.steps.size() >= kMaxProgramSteps) return "the program has as many steps as it can hold";
  return {};
}

// The first dimension that uses `label`, or null.
const ProgramStep* UserOf(const Program& program, const std::string& label) {
  for (const ProgramStep& s : program.steps) {
    if (PointsOf(s.kind) == 0 && (s.a == label || s.b == label)) return &s;
  }
  return nullptr;
}

// The highest part number the results table's notes carry ("part N ...").
uint32_t HighestPart(const ResultsTable& table) {
  uint32_t highest = 0;
  for (const ResultRow& row : table.rows()) {
    if (row.note.rfind("part ", 0) != 0) continue;
    uint32_t n = 0;
    const char* first = row.note.data() + 5;
    const auto r = std::from_chars(first, row.note.data() + row.note.size(), n);
    if (r.ec == std::errc() && r.ptr != first) highest = std::max(highest, n);
  }
  return highest;
}

std::string_view FeatureWord(StepKind kind) {
  switch (kind) {
    case StepKind::Point: return "no edge on the caliper along the segment";
    case StepKind::Line: return "no straight edge along the segment";
    case StepKind::Circle: return "no rim near the three points";
    case StepKind::Width: return "no pair of edges across the segment";
    default: return "nothing";
  }
}

} // namespace

ProgramSession& ProgramOf(Station& station) {
  if (!station.program) station.program = std::make_shared<ProgramSession>();
  return *station.program;
}

LengthScale ScaleOf(const Settings& s, double depth) {
  if (s.calibrated == 0) return {};
  LengthScale scale{s.unit_factor, LengthUnit(s)};
  if (s.calibration_distance != 0.0 && s.scale_x != 0.0) {
    const double at_depth = s.scale_x / (depth / s.calibration_distance);
    scale.per_pixel = at_depth == 0.0 ? 0.0 : s.unit_factor / at_depth;
  }
  return scale;
}

std::filesystem::path ProgramPath(const std::filesystem::path& folder, const std::string& name) {
  return folder / (name + kProgramExtension);
}

std::vector<std::string> ProgramNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::filesystem::path p = it->path();
    if (p.extension() != kProgramExtension || !it->is_regular_file(ec)) continue;
    if (const std::string name = p.stem().string(); IsProgramName(name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<Program> ReadProgramFile(const std::filesystem::path& folder, const std::string& name,
                                       std::string* why) {
  if (!IsProgramName(name)) {
    return Refuse(why, "\"" + name + "\" is not a program name: 1 to 32 letters, digits, - and _"), std::nullopt;
  }
  const std::filesystem::path path = ProgramPath(folder, name);
  int error = 0;
  const int64_t length = FileLength(path, &error);
  if (length < 0) return Refuse(why, "cannot read " + path.filename().string() + ": " + FileErrorText(error)), std::nullopt;
  if (static_cast<uint64_t>(length) > kMaxProgramFileBytes) {
    return Refuse(why, path.filename().string() + " is too large for a program"), std::nullopt;
  }
  std::vector<uint8_t> bytes;
  if (length > 0 && ReadWholeFile(path, bytes) != static_cast<uint64_t>(length)) {
    return Refuse(why, "cannot read " + path.filename().string()), std::nullopt;
  }
  Program program;
  program.name = name;
  std::string problem;
  if (!ParseProgram({reinterpret_cast<const char*>(bytes.data()), bytes.size()}, &program, &problem)) {
    return Refuse(why, path.filename().string() + " is damaged and was not loaded: " + problem), std::nullopt;
  }
  return program;
}

bool NewProgram(Station& st, const std::string& name, std::string* why) {
  if (!IsProgramName(name)) return Refuse(why, "\"" + name + "\" is not a program name: 1 to 32 letters, digits, - and _");
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::symlink_status(ProgramPath(st.folder(), name), ec))) {
    return Refuse(why, "program " + name + " exists: load it");
  }
  Program program;
  program.name = name;
  program.model = PartOf(st).ModelBytes();
  Open(st, std::move(program), true);
  return true;
}

bool SaveProgram(Station& st, std::string* why) {
  Program* program = OpenProgram(st, why);
  if (program == nullptr) return false;
  const std::string text = ProgramText(*program);
  const std::filesystem::path path = ProgramPath(st.folder(), program->name);
  int error = 0;
  if (WriteWholeFile(path, text.data(), static_cast<uint32_t>(text.size()), &error) != text.size()) {
    return Refuse(why, "unable to write " + path.filename().string() + ": " + FileErrorText(error != 0 ? error : EIO));
  }
  ProgramOf(st).unsaved = false;
  return true;
}

bool LoadProgram(Station& st, const std::string& name, std::string* why) {
  std::optional<Program> program = ReadProgramFile(st.folder(), name, why);
  if (!program) return false;
  Open(st, std::move(*program), false);
  return true;
}

bool AddFeature(Station& st, StepKind kind, const std::string& label, const qgPoint (&points)[3],
                std::string* why) {
  Program* program = OpenProgram(st, why);
  if (program == nullptr) return false;
  if (std::string problem = LabelProblem(*program, label); !problem.empty()) return Refuse(why, problem);
  if (!IsGaugePicture(st.image)) return Refuse(why, "no picture");
  const ProgramSession& session = ProgramOf(st);
  if (!session.model->problem().empty()) return Refuse(why, session.model->problem());
  const qgImage image = GaugePicture(st.image);
  const std::optional<PartPose> pose = LocatePart(*session.model, program->model.empty(), image);
  if (!pose) return Refuse(why, "the part is not found in the picture");
  if (!GaugeFeature(image, kind, points).ok) return Refuse(why, std::string(FeatureWord(kind)));
  ProgramStep step;
  step.kind = kind;
  step.label = label;
  for (uint32_t k = 0; k < PointsOf(kind); ++k) {
    PictureToPart(*pose, points[k].x, points[k].y, &step.points[k].x, &step.points[k].y);
  }
  program->steps.push_back(std::move(step));
  Edited(st);
  return true;
}

void RecordGaugeStep(Station& st, StepKind kind, const double (&xs)[3], const double (&ys)[3]) {
  if (!st.program || !st.program->recording || !st.program->program) return;
  qgPoint points[3];
  for (int k = 0; k < 3; ++k) points[k] = {xs[k] + 0.5, ys[k] + 0.5};
  std::string why;
  const std::string label = NextStepLabel(*st.program->program, kind);
  st.program->record_problem = AddFeature(st, kind, label, points, &why) ? "" : label + ": " + why;
}

namespace {

// Half the lengths a snapped point's caliper is tried with, longest first:
// the snap's own caliper, then shorter ones that leave out a stronger
// neighbouring edge the snap passed over for a nearer one.
constexpr double kSnapHalfLengths[] = {10.0, 6.0, 4.0};
// How far the step's edge may lie from the snapped one and still be it, px.
constexpr double kSnapAgreement = 0.5;

// The segment (gauge library coordinates) of a point step that finds the
// snapped edge again in this picture; false when no caliper does.
bool SnapSegment(const Station& st, const SnapCaliper& snapped, qgPoint (&points)[3]) {
  const double ex = snapped.edge.x + 0.5, ey = snapped.edge.y + 0.5;
  const double dx = std::cos(snapped.angle), dy = std::sin(snapped.angle);
  for (const double h : kSnapHalfLengths) {
    points[0] = {ex - h * dx, ey - h * dy};
    points[1] = {ex + h * dx, ey + h * dy};
    const FeatureResult f = GaugeFeature(GaugePicture(st.image), StepKind::Point, points);
    if (f.ok && std::hypot(f.x - ex, f.y - ey) <= kSnapAgreement) return true;
  }
  return false;
}

} // namespace

void RecordSnapStep(Station& st, const SnapCaliper* snapped, bool starts_set) {
  if (!st.program) return;
  ProgramSession& session = *st.program;
  // A click not recorded breaks the chain: the next length is not between steps.
  if (!session.recording || !session.program) return session.snap_chain.clear();
  const std::string previous = std::exchange(session.snap_chain, "");
  const std::string label = NextStepLabel(*session.program, StepKind::Point);
  qgPoint points[3] = {};
  if (snapped == nullptr) {
    session.record_problem =
        label + (ResultsOf(st).table.snap ? ": the click found no edge to snap to" : ": snapping is off");
    return;
  }
  if (!IsGaugePicture(st.image) || !SnapSegment(st, *snapped, points)) {
    session.record_problem = label + ": no caliper finds the snapped edge again";
    return;
  }
  std::string why;
  if (!AddFeature(st, StepKind::Point, label, points, &why)) {
    session.record_problem = label + ": " + why;
    return;
  }
  session.record_problem.clear();
  session.snap_chain = label;
  if (starts_set || previous.empty() || FindStep(*session.program, previous) == nullptr) return;
  const std::string length = NextStepLabel(*session.program, StepKind::Distance);
  if (!AddDimension(st, StepKind::Distance, length, previous, label, &why)) {
    session.record_problem = length + ": " + why;
  }
}

bool AddDimension(Station& st, StepKind kind, const std::string& label, const std::string& a,
                  const std::string& b, std::string* why) {
  Program* program = OpenProgram(st, why);
  if (program == nullptr) return false;
  if (std::string problem = LabelProblem(*program, label); !problem.empty()) return Refuse(why, problem);
  if (std::string problem = DimensionProblem(*program, kind, a, b); !problem.empty()) return Refuse(why, problem);
  ProgramStep step;
  step.kind = kind;
  step.label = label;
  step.a = a;
  step.b = b;
  program->steps.push_back(std::move(step));
  Edited(st);
  return true;
}

bool AddStep(Station& st, ProgramStep step, std::string* why) {
  Program* program = OpenProgram(st, why);
  if (program == nullptr) return false;
  if (std::string problem = LabelProblem(*program, step.label); !problem.empty()) return Refuse(why, problem);
  program->steps.push_back(std::move(step));
  ProgramOf(st).model = ModelOf(st, *program);
  Edited(st);
  return true;
}

bool SetStepTolerance(Station& st, const std::string& label, const Tolerance& tolerance) {
  ProgramSession& session = ProgramOf(st);
  if (!session.program) return false;
  for (ProgramStep& s : session.program->steps) {
    if (s.label != label || !IsDimension(s.kind)) continue;
    s.tolerance = tolerance;
    Edited(st);
    return true;
  }
  return false;
}

bool RenameStep(Station& st, const std::string& label, const std::string& to, std::string* why) {
  Program* program = OpenProgram(st, why);
  if (program == nullptr) return false;
  if (FindStep(*program, label) == nullptr) return Refuse(why, "no step is called " + label);
  if (label == to) return true;
  if (std::string problem = LabelProblem(*program, to); !problem.empty()) return Refuse(why, problem);
  for (ProgramStep& s : program->steps) {
    if (s.label == label) s.label = to;
    if (s.a == label) s.a = to;
    if (s.b == label) s.b = to;
  }
  Edited(st);
  return true;
}

bool DeleteStep(Station& st, const std::string& label, std::string* why) {
  Program* program = OpenProgram(st, why);
  if (program == nullptr) return false;
  const ProgramStep* step = FindStep(*program, label);
  if (step == nullptr) return Refuse(why, "no step is called " + label);
  if (const ProgramStep* user = UserOf(*program, label)) return Refuse(why, user->label + " uses " + label);
  program->steps.erase(program->steps.begin() + (step - program->steps.data()));
  Edited(st);
  return true;
}

bool MoveStep(Station& st, const std::string& label, int delta, std::string* why) {
  Program* program = OpenProgram(st, why);
  if (program == nullptr) return false;
  const ProgramStep* step = FindStep(*program, label);
  if (step == nullptr) return Refuse(why, "no step is called " + label);
  const ptrdiff_t i = step - program->steps.data();
  const ptrdiff_t j = i + (delta < 0 ? -1 : 1);
  if (j < 0 || j >= static_cast<ptrdiff_t>(program->steps.size())) return Refuse(why, label + " cannot move further");
  const ProgramStep& upper = program->steps[std::min(i, j)];
  const ProgramStep& lower = program->steps[std::max(i, j)];
  if (lower.a == upper.label || lower.b == upper.label) {
    return Refuse(why, lower.label + " uses " + upper.label + ", which stays above it");
  }
  std::swap(program->steps[i], program->steps[j]);
  Edited(st);
  return true;
}

bool SetCodeRegion(Station& st, const std::optional<CodeRegion>& r, std::string* why) {
  Program* program = OpenProgram(st, why);
  if (program == nullptr) return false;
  if (!r) {
    program->code_region.reset();
    Edited(st);
    return true;
  }
  if (!(r->width > 0) || !(r->height > 0)) return Refuse(why, "the region has no size");
  if (!IsGaugePicture(st.image)) return Refuse(why, "no picture");
  const ProgramSession& session = ProgramOf(st);
  if (!session.model->problem().empty()) return Refuse(why, session.model->problem());
  const std::optional<PartPose> pose = LocatePart(*session.model, program->model.empty(), GaugePicture(st.image));
  if (!pose) return Refuse(why, "the part is not found in the picture");
  // The box in the part's frame around the picture's rectangle (the same
  // rectangle for a part found as taught).
  program->code_region = PosedBox(*r, *pose, false);
  Edited(st);
  return true;
}

bool SetIdentityRequired(Station& st, bool required, std::string* why) {
  Program* program = OpenProgram(st, why);
  if (program == nullptr) return false;
  if (program->identity_required != required) {
    program->identity_required = required;
    Edited(st);
  }
  return true;
}

std::optional<ProgramRun> RunOpenProgram(Station& st, std::string* why) {
  ProgramSession& session = ProgramOf(st);
  if (!OpenProgram(st, why)) return std::nullopt;
  if (!IsGaugePicture(st.image)) return Refuse(why, "no picture"), std::nullopt;
  if (!session.model->problem().empty()) return Refuse(why, session.model->problem()), std::nullopt;
  ProgramRun run =
      RunProgram(*session.program, *session.model, GaugePicture(st.image),
                 ScaleOf(st.settings, st.settings.calibration_distance));
  std::string& identity = ResultsOf(st).part_id;
  JudgeIdentity(*session.program, identity, &run);
  // The code read on this part is its identity, none when it could not be
  // read: never the part's before it.
  if (session.program->code_region && run.found) identity = PartIdentityText(run.identity);
  run.identity = identity;
  if (run.found) session.last_part = RecordPart(st, *session.program, run);
  session.last_run = run;
  return run;
}

void PictureArrived(Station& st, bool loaded) {
  if (!st.program) return;
  ProgramSession& session = *st.program;
  session.last_run.reset();
  if (!loaded || !session.auto_run || !session.program) return;
  std::string why;
  const std::optional<ProgramRun> run = RunOpenProgram(st, &why);
  SayAutomaticRun(st, run, why);
}

void SayAutomaticRun(Station& st, const std::optional<ProgramRun>& run, const std::string& why) {
  std::string said = "program run: ";
  if (!run) {
    said += why;
  } else {
    said += run->found ? "part " + std::to_string(ProgramOf(st).last_part) + (run->pass ? " pass" : " fail")
                       : "part not found";
    if (!run->identity_problem.empty()) said += " (" + run->identity_problem + ")";
  }
  ResultsOf(st).pending_notices.push_back(std::move(said));
}

uint32_t RecordPart(Station& st, const Program& program, const ProgramRun& run) {
  ProgramSession& session = ProgramOf(st);
  ResultsSession& results = ResultsOf(st);
  if (!session.part_numbers_read) {
    session.last_part = std::max(session.last_part, HighestPart(results.table));
    session.part_numbers_read = true;
  }
  const uint32_t part = ++session.last_part;
  const std::string tail = std::string(run.pass ? " pass" : " fail") + ", program " + program.name;
  std::vector<ResultRow> rows;
  for (const DimensionResult& d : run.dimensions) {
    if (d.tolerance && results.table.ToleranceOf(d.label) != d.tolerance) {
      results.table.SetTolerance(d.label, *d.tolerance);
    }
    ResultRow& row = rows.emplace_back();
    row.label = d.label;
    row.kind = std::string(d.kind);
    row.value = d.measured ? d.value : kUnknown;
    row.unit = d.unit;
    row.uncertainty = d.u;
    row.note = "part " + std::to_string(part) + tail + (d.measured ? "" : ", not measured");
    if (!d.note.empty()) row.note += ", " + d.note;
  }
  if (results.db) {
    // The part and its dimensions in one transaction, the part's row with
    // its number, program, verdict and identity.
    PartRecord record{0, std::to_string(part), program.name, run.pass ? "pass" : "fail", results.part_id, 0};
    AddPart(st, std::move(record), std::move(rows));
    return part;
  }
  // No database to write (a folder the station may not write in): the rows
  // are kept in memory, as every other result then is.
  for (ResultRow& row : rows) {
    results.table.SetNextLabel(row.label);
    AddResult(st, std::move(row));
  }
  return part;
}

std::string ProgramNumber(double v, std::string_view unit) { return DecimalText(v, UnitDecimals(unit)); }

std::vector<StepRow> ProgramRows(Station& st) {
  std::vector<StepRow> rows;
  if (!st.program || !st.program->program) return rows;
  const ProgramSession& session = *st.program;
  for (const ProgramStep& s : session.program->steps) {
    StepRow row{s.label, std::string(StepKindName(s.kind)), "", "", "", Verdict::None, IsDimension(s.kind)};
    if (s.tolerance) {
      row.nominal = ResultNumber(s.tolerance->nominal);
      row.tolerance = DeviationsText(*s.tolerance) + (s.tolerance->unit.empty() ? "" : " " + s.tolerance->unit);
    }
    rows.push_back(std::move(row));
  }
  if (!session.last_run) return rows;
  for (const DimensionResult& d : session.last_run->dimensions) {
    if (d.step >= rows.size() || rows[d.step].label != d.label) continue;
    rows[d.step].value = d.measured ? ProgramNumber(d.value, d.unit) + " " + d.unit : "not measured";
    rows[d.step].verdict = d.verdict;
  }
  return rows;
}

bool SetStepToleranceText(Station& st, const std::string& label, const std::string& nominal,
                          const std::string& deviations, std::string* why) {
  Program* program = OpenProgram(st, why);
  if (program == nullptr) return false;
  const ProgramStep* step = FindStep(*program, label);
  if (step == nullptr || !IsDimension(step->kind)) return Refuse(why, label + " is not a dimension");
  Tolerance t;
  const auto r = std::from_chars(nominal.data(), nominal.data() + nominal.size(), t.nominal);
  if (r.ec != std::errc() || r.ptr != nominal.data() + nominal.size() || !std::isfinite(t.nominal)) {
    return Refuse(why, "\"" + nominal + "\" is not a number");
  }
  if (!ParseDeviations(deviations, &t)) return Refuse(why, "\"" + deviations + "\" is not 0.05 or +0.02/-0.01");
  t.unit = step->tolerance ? step->tolerance->unit : std::string();
  SetStepTolerance(st, label, t);
  return true;
}

bool AddDimensionOf(Station& st, StepKind kind, const std::string& a, const std::string& b, std::string* why) {
  Program* program = OpenProgram(st, why);
  return program != nullptr && AddDimension(st, kind, NextStepLabel(*program, kind), a, b, why);
}

std::string_view VerdictWord(Verdict v) {
  return v == Verdict::Pass ? "pass" : v == Verdict::Fail ? "fail" : "-";
}

} // namespace orvane
