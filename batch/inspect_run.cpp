#include "batch/inspect_run.h"

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <optional>
#include <thread>

#include "acquisition/bmp_file.h"
#include "inspect/program_draw.h"
#include "inspect/program_file.h"
#include "inspect/program_session.h"
#include "platform/pixora/include/pixora.h"
#include "results/csv.h"
#include "results/trace_file.h"
#include "ui/inspection_report.h"
#include "workspace/files.h"
#include "workspace/settings.h"
#ifdef ORVANE_PAPER
#include "paper/report_pdf.h"
#endif

namespace orvane::batch {
namespace {

struct Picture {
  ImageState image;
  ImageBuffers buffers;
};

bool IsJpeg(const std::vector<uint8_t>& data) { return data.size() >= 2 && data[0] == 0xFF && data[1] == 0xD8; }

// The picture as the station shows a still file: BMP as it is, JPEG through
// the station's converter.
std::optional<Picture> LoadPicture(const std::string& name, const std::filesystem::path& temp, size_t index,
                                   std::string* why) {
  std::vector<uint8_t> data;
  int error = 0;
  const int64_t length = FileLength(name, &error);
  if (length < 0) return *why = FileErrorText(error), std::nullopt;
  if (static_cast<uint64_t>(length) > kBmpMaxFileBytes) return *why = "too large for a picture", std::nullopt;
  if (ReadWholeFile(name, data) != static_cast<uint64_t>(length)) return *why = "cannot be read", std::nullopt;
  if (IsJpeg(data)) {
    if (temp.empty()) return *why = "no temporary folder for the JPEG conversion", std::nullopt;
    const std::filesystem::path bmp = temp / ("picture" + std::to_string(index) + ".bmp");
    const int rc = cvtJPEGTOBMP("-bmp", name.c_str(), bmp.c_str());
    data.clear();
    if (rc != PIXORA_OK || ReadWholeFile(bmp, data) == 0) return *why = "not a JPEG picture the station reads", std::nullopt;
    std::error_code ec;
    std::filesystem::remove(bmp, ec);
  }
  Picture p;
  if (!DecodeBmp(data.data(), data.size(), 0, p.image, p.buffers)) {
    return *why = "not a BMP or JPEG picture the station reads", std::nullopt;
  }
  return p;
}

// The tolerance in the value's unit: nominal and deviations cells (empty
// when there is none or it does not convert).
std::pair<std::string, std::string> ToleranceCells(const DimensionResult& d) {
  const std::optional<Tolerance> t = ToleranceInUnit(d);
  if (!t) return {};
  return {ResultNumber(t->nominal), DeviationsCell(*t)};
}

void PrintOutcome(const std::string& picture, const PictureOutcome& o, uint32_t* part, std::ostream& out) {
  if (!o.error.empty()) {
    out << CsvRecord({picture, "", "", "", "", "", "", "", "error"});
    return;
  }
  if (!o.run.found) {
    out << CsvRecord({picture, "", "", "", "", "", "", "", "not found"});
    return;
  }
  const std::string number = std::to_string(++*part);
  for (const DimensionResult& d : o.run.dimensions) {
    const auto [nominal, tolerance] = ToleranceCells(d);
    out << CsvRecord({picture, number, d.label, ResultNumber(d.value), ResultNumber(d.u), d.unit, nominal,
                      tolerance, d.verdict == Verdict::None ? "" : std::string(VerdictWord(d.verdict))});
  }
}

// The calibration a picture of that size is measured with, as a line.
std::string CalibrationLine(Settings settings, uint32_t width, uint32_t height) {
  RescaleCalibration(settings, width, height);
  const LengthScale scale = ScaleOf(settings, settings.calibration_distance);
  return scale.unit == "px" ? "none (pixels)" : ResultNumber(scale.per_pixel) + " " + scale.unit + " a pixel";
}

// The report of a picture's part: its dimensions as the rows of a table of
// their own, tolerances with them, and the picture as read.
InspectionReport PartReport(const Program& program, const ProgramRun& run, const Picture& pic,
                            const ReportContext& context) {
  ResultsTable table;
  std::vector<uint32_t> numbers;
  const int64_t now = int64_t(time(nullptr));
  for (const DimensionResult& d : run.dimensions) {
    if (const std::optional<Tolerance> t = ToleranceInUnit(d)) table.SetTolerance(d.label, *t);
    ResultRow row;
    row.time = now;
    row.solution = program.name;
    row.label = d.label;
    row.kind = std::string(d.kind);
    row.value = d.measured ? d.value : kUnknown;
    row.unit = d.unit;
    row.uncertainty = d.u;
    row.part = PartIdentityText(run.identity);
    numbers.push_back(table.Add(std::move(row)).number);
  }
  InspectionReport report = BuildReport(table, numbers, context);
  MarkIdentityProblem(&report, run);
  const ImageState& im = pic.image;
  if (im.frame != nullptr && im.bytes_per_pixel == 3 && im.stride >= im.width * 3) {
    report.picture = {im.width, im.height, std::vector<uint8_t>(size_t{im.width} * 3 * im.height)};
    for (uint32_t y = 0; y < im.height; ++y) {
      std::copy_n(im.frame + size_t{y} * im.stride, size_t{im.width} * 3, report.picture.bgr.data() + size_t{y} * im.width * 3);
    }
    // The run drawn over it, as the station's report shows its picture.
    DrawRunOnPicture(report.picture.bgr.data(), im.width, im.height, im.width * 3, program, run);
  }
  return report;
}

// Each found part's report into the folder, named from its identity or its
// picture; said on `errors` when one cannot be written. False on a failure.
bool WriteReports(const InspectOptions& options, const Program& program, const std::vector<PictureOutcome>& outcomes,
                  std::ostream& errors) {
#ifdef ORVANE_PAPER
  ReportContext context;
  context.station = StationName();
  std::string why;
  if (const std::optional<TraceSettings> trace = ReadTraceFile(options.folder)) {
    context.operator_name = trace->operator_name;
  }
  const Settings settings = FolderSettings(options.folder);
  bool ok = true;
  for (size_t i = 0; i < outcomes.size(); ++i) {
    if (!outcomes[i].error.empty() || !outcomes[i].run.found) continue;
    const TempFolder temp;
    std::optional<Picture> pic = LoadPicture(options.pictures[i], temp.path(), i, &why);
    const std::string stem = std::filesystem::path(options.pictures[i]).stem().string();
    std::optional<std::filesystem::path> path =
        FreeReportPath(options.report_folder, outcomes[i].run.identity.empty() ? stem : outcomes[i].run.identity, 0);
    if (pic && path) {
      context.calibration = CalibrationLine(settings, pic->image.width, pic->image.height);
      if (paper::WriteReportPdf(PartReport(program, outcomes[i].run, *pic, context), paper::PaperSize::ByLocale, *path,
                                &why)) {
        continue;
      }
    }
    if (!path) why = "every name for its report is taken";
    errors << "orvane-inspect: " << options.pictures[i] << ": report not saved: " << why << '\n';
    ok = false;
  }
  return ok;
#else
  (void)options, (void)program, (void)outcomes;
  errors << "orvane-inspect: this orvane-inspect was built without Qt: no reports\n";
  return false;
#endif
}

} // namespace

TempFolder::TempFolder() {
  std::error_code ec;
  std::string pattern = (std::filesystem::temp_directory_path(ec) / "orvane-inspect-XXXXXX").string();
  if (!ec && mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

// The settings of the folder, read without writing anything there: a
// settings file too short to read gives the defaults (LoadSettings would
// write them over it).
Settings FolderSettings(const std::filesystem::path& folder) {
  Settings settings{};
  const int64_t length = FileLength(PathIn(folder, kSettingsFileName));
  if (length >= static_cast<int64_t>(sizeof(Settings))) {
    LoadSettings(folder, settings);
  } else {
    SetDefaultSettings(settings);
  }
  return settings;
}

std::optional<Tolerance> ToleranceInUnit(const DimensionResult& d) {
  if (!d.tolerance) return std::nullopt;
  Tolerance t = *d.tolerance;
  if (!t.unit.empty() && t.unit != d.unit) {
    const std::optional<UnitRatio> r = UnitRatioOf(t.unit, d.unit);
    if (!r) return std::nullopt;
    t = Tolerance(r->Apply(t.nominal), r->Apply(t.upper), r->Apply(t.lower), d.unit);
  }
  return t;
}

std::string ProgramName(std::string name) {
  const std::string ext = kProgramExtension;
  if (name.size() > ext.size() && name.compare(name.size() - ext.size(), ext.size(), ext) == 0) {
    name.resize(name.size() - ext.size());
  }
  return name;
}

ProgramRun InspectImage(const Program& program, const ProgramModel& model, Settings settings, const qgImage& image) {
  RescaleCalibration(settings, static_cast<uint32_t>(image.width), static_cast<uint32_t>(image.height));
  ProgramRun run = RunProgram(program, model, image, ScaleOf(settings, settings.calibration_distance));
  // No one types an identity here: a program that requires one reads it.
  JudgeIdentity(program, {}, &run);
  return run;
}

PictureOutcome InspectFile(const Program& program, const ProgramModel& model, const Settings& settings,
                           const std::string& picture, const std::filesystem::path& temp, size_t index) {
  PictureOutcome o;
  std::optional<Picture> p = LoadPicture(picture, temp, index, &o.error);
  if (p) o.run = InspectImage(program, model, settings, GaugePicture(p->image));
  return o;
}

int RunInspect(const InspectOptions& options, std::ostream& out, std::ostream& errors) {
  std::string why;
  const std::optional<Program> program = ReadProgramFile(options.folder, ProgramName(options.program), &why);
  if (!program) {
    errors << "orvane-inspect: " << why << '\n';
    return kInspectError;
  }
  const Settings settings = FolderSettings(options.folder);
  const ProgramModel model(*program, options.folder, ScaleOf(settings, settings.calibration_distance));
  if (const std::string problem = model.ProfileProblem(*program); !problem.empty()) {
    errors << "orvane-inspect: " << ProgramName(options.program) << ": " << problem << '\n';
    return kInspectError;
  }
  const TempFolder temp;
  std::vector<PictureOutcome> outcomes(options.pictures.size());
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i = next++; i < outcomes.size(); i = next++) {
      outcomes[i] = InspectFile(*program, model, settings, options.pictures[i], temp.path(), i);
    }
  };
  const uint32_t jobs = std::clamp<uint32_t>(options.jobs, 1, kMaxInspectJobs);
  std::vector<std::thread> threads;
  for (uint32_t j = 1; j < std::min<size_t>(jobs, outcomes.size()); ++j) threads.emplace_back(work);
  work();
  for (std::thread& t : threads) t.join();
  // Painting stays on this thread: the reports are written one by one.
  const bool reported = options.report_folder.empty() || WriteReports(options, *program, outcomes, errors);

  out << CsvRecord({"picture", "part", "label", "value", "u", "unit", "nominal", "tolerance", "verdict"});
  int status = kInspectPassed;
  uint32_t part = 0;
  for (size_t i = 0; i < outcomes.size(); ++i) {
    const PictureOutcome& o = outcomes[i];
    PrintOutcome(options.pictures[i], o, &part, out);
    if (!o.error.empty()) {
      errors << "orvane-inspect: " << options.pictures[i] << ": " << o.error << '\n';
      status = kInspectError;
    } else if ((!o.run.found || !o.run.pass) && status == kInspectPassed) {
      status = kInspectFailed;
    }
    if (!o.run.identity_problem.empty()) {
      errors << "orvane-inspect: " << options.pictures[i] << ": not passed: " << o.run.identity_problem << '\n';
    }
  }
  return reported ? status : kInspectError;
}

} // namespace orvane::batch
