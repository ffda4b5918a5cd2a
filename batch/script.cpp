#include "batch/script.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <deque>
#include <exception>
#include <functional>
#include <iostream>
#include <istream>
#include <iterator>
#include <memory>
#include <ostream>
#include <thread>
#include <variant>

#include "acquisition/acquisition.h"
#include "acquisition/bmp_file.h"
#include "acquisition/file_mode.h"
#include "acquisition/camera_capture.h"
#include "acquisition/pixels.h"
#include "acquisition/rectification.h"
#include "batch/parse.h"
#include "cad/session.h"
#include "batch/program_commands.h"
#include "inspect/program_session.h"
#include "dxf/dxf_options.h"
#include "results/charts.h"
#include "results/csv.h"
#include "results/grr.h"
#include "results/query.h"
#include "results/session.h"
#include "results/statistics_text.h"
#include "station/clock.h"
#include "station/fake_surface.h"
#include "station/station.h"
#include "solutions/measurement.h"
#include "solutions/precise_calibration.h"
#include "ui/commands.h"
#include "ui/grid_scale.h"
#include "ui/live_runs.h"
#include "ui/main_window.h"
#include "ui/part_commands.h"
#include "ui/status.h"
#include "ui/save_image.h"
#include "view/measure_tools.h"
#include "view/mouse.h"
#include "view/part_identity.h"
#include "ui/inspection_report.h"
#ifdef ORVANE_PAPER
#include "paper/chart_painter.h"
#include "paper/report_pdf.h"
#include "paper/summary_pdf.h"
#endif
#include "view/undo.h"
#include "view/zoom.h"
#include "workspace/files.h"

namespace orvane::batch {
namespace {

// The most overlay texts kept between two redraws.
constexpr size_t kMaxTexts = 10000;

const char* AnswerName(MessageAnswer a) {
  switch (a) {
    case MessageAnswer::Ok: return "ok";
    case MessageAnswer::Cancel: return "cancel";
    case MessageAnswer::Yes: return "yes";
    case MessageAnswer::No: return "no";
  }
  return "?";
}

const char* ButtonsName(MessageButtons b) {
  switch (b) {
    case MessageButtons::Ok: return "ok";
    case MessageButtons::OkCancel: return "ok/cancel";
    case MessageButtons::YesNo: return "yes/no";
  }
  return "?";
}

// A label as one word of the output: bare when it reads back as one word,
// quoted as a script would write it otherwise.
std::string LabelWord(const std::string& label) {
  const bool bare = !label.empty() && std::none_of(label.begin(), label.end(), [](char ch) {
    const auto b = static_cast<unsigned char>(ch);
    return b <= 0x20 || b == 0x7F || ch == '"' || ch == '#' || ch == '\\';
  });
  return bare ? label : QuoteText(label);
}

const char* ResultName(DialogResult r) { return r == DialogResult::Ok ? "ok" : "cancel"; }

bool IsCombo(ControlId id) {
  return id == ControlId::SolutionList || id == ControlId::OptionList ||
         id == ControlId::DeviceList || id == ControlId::DarkLightChoice ||
         id == ControlId::FilterChoice;
}

bool IsSlider(ControlId id) {
  return std::find(kRowSliders.begin(), kRowSliders.end(), id) != kRowSliders.end();
}

// One step of a scripted visit of the General Set-Up dialog.
struct SetupChoice {
  DialogControlId list;
  int32_t index;
};
struct SetupReset {
  MessageAnswer answer;
};
struct SetupEdit {
  DialogControlId edit;
  std::string text;
};
using SetupStep = std::variant<SetupChoice, SetupReset, SetupEdit>;

struct DrawnText {
  int32_t x;
  int32_t y;
  std::string text;
  Rgb colour;
};

// What the script has queued for the message boxes and dialogs still to come.
// Each kind of dialog has its own queue, so a script that queues an entity
// choice and a Set-Up visit gets each played on its own dialog.
struct Queues {
  std::deque<MessageAnswer> answers;
  // A message box raised inside a scripted dialog (Reset ROIs) takes this.
  std::optional<MessageAnswer> inner_answer;
  std::deque<FakeSurface::DialogScript> entity;
  std::deque<FakeSurface::DialogScript> distance;
  std::deque<FakeSurface::DialogScript> setup;
};

// The fake surface with the script's answers, reporting every message box
// and dialog as it appears.
class BatchSurface final : public FakeSurface {
 public:
  BatchSurface(std::ostream& out, Queues& queues, std::ostream& notes)
      : out_(out), queues_(queues), notes_(notes) {}

  void ShowNote(std::string_view text) override { notes_ << "note " << QuoteText(text) << '\n'; }

  MessageAnswer MessageBox(std::string_view text, std::string_view caption,
                           MessageButtons buttons) override {
    std::optional<MessageAnswer> queued;
    if (queues_.inner_answer) {
      queued = queues_.inner_answer;
      queues_.inner_answer.reset();
    } else if (!queues_.answers.empty()) {
      queued = queues_.answers.front();
      queues_.answers.pop_front();
    }
    if (queued) QueueAnswer(*queued);
    const MessageAnswer answer = FakeSurface::MessageBox(text, caption, buttons);
    out_ << "message box " << QuoteText(caption) << ' ' << QuoteText(text) << ' '
         << ButtonsName(buttons) << " -> " << AnswerName(answer)
         << (queued ? "" : " (default: no answer queued)") << '\n';
    return answer;
  }

  DialogResult RunDialog(DialogModel& dialog) override {
    std::deque<FakeSurface::DialogScript>* queue = nullptr;
    if (dialog.Find(DialogControlId::EntityPoints) != nullptr) {
      queue = &queues_.entity;
    } else if (dialog.Find(DialogControlId::DistanceEdit) != nullptr) {
      queue = &queues_.distance;
    } else if (dialog.Find(DialogControlId::MeasurementStandard) != nullptr) {
      queue = &queues_.setup;
    }
    const bool scripted = queue != nullptr && !queue->empty();
    if (scripted) {
      QueueDialog(std::move(queue->front()));
      queue->pop_front();
    }
    const DialogResult result = FakeSurface::RunDialog(dialog);
    out_ << "dialog " << QuoteText(dialog.title()) << " -> " << ResultName(result)
         << (scripted ? "" : " (escape: nothing queued)") << '\n';
    return result;
  }

 private:
  std::ostream& out_;
  Queues& queues_;
  std::ostream& notes_;
};

class Runner {
 public:
  Runner(std::ostream& out, const Options& options) : out_(out), options_(options) {
    if (options.fixed_clock) {
      clock_ = std::make_unique<ManualClock>();
    } else {
      clock_ = std::make_unique<SteadyClock>();
    }
  }
  ~Runner() { EndStation(); }
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;

  void Run(const Command& c) {
    command_ = &c;
    if (options_.echo) out_ << "> " << c.line << ": " << c.source << '\n';
    try {
      Dispatch(c);
    } catch (const std::exception& e) {
      Fail(std::string("failed: ") + e.what());
    }
    PrintNotices();
    if (running_ && surface_->ended()) {
      // The window's modal run is over: the program ends as the window goes.
      EndProgram(*station_);
      running_ = false;
      out_ << "program ended\n";
    }
  }

  // A station still running at the end of the script goes as the close box
  // ends it: nothing is saved.
  void EndStation() {
    if (station_ && running_) {
      try {
        EndProgram(*station_);
      } catch (const std::exception& e) {
        out_ << "end of program failed: " << e.what() << '\n';
        failed_ = true;
      }
    }
    running_ = false;
  }

  int status() const { return failed_ ? kScriptCheckFailed : kScriptOk; }

 private:
  void Fail(const std::string& message) {
    out_ << "line " << command_->line << ": " << message << '\n';
    failed_ = true;
  }
  void Note(const std::string& message) { out_ << "line " << command_->line << ": " << message << '\n'; }

  // The command needs a running station; says so when there is none.
  bool Running() {
    if (running_) return true;
    Fail(station_ ? "the program has ended; start it again first" : "no station: start first");
    return false;
  }
  // The command reads the station's results; the program may have ended.
  bool HaveStation() {
    if (station_) return true;
    Fail("no station: start first");
    return false;
  }
  // The command reads the window; it may have ended.
  bool HaveSurface() {
    if (surface_) return true;
    Fail("no station: start first");
    return false;
  }
  // A user can only use a control that is shown and enabled.
  bool Usable(ControlId id, const std::string& what) {
    if (surface_->IsVisible(id) && surface_->IsEnabled(id)) return true;
    Note(what + " is " + (surface_->IsVisible(id) ? "disabled" : "hidden") + "; ignored");
    return false;
  }
  std::filesystem::path PathOf(const std::string& name) {
    if (name.find('\0') != std::string::npos) throw std::invalid_argument("path holds a NUL byte");
    const std::filesystem::path p(name);
    return p.is_absolute() ? p : options_.folder / p;
  }

  void Dispatch(const Command& c) {
    switch (c.verb) {
      case Verb::Start: Start(c); break;
      case Verb::Screen:
        screen_ = {c.a, c.b};
        if (running_) Note("the screen size takes effect at the next start");
        break;
      case Verb::Solution: Solution(c); break;
      case Verb::Param: Param(c); break;
      case Verb::Slider: Slider(c); break;
      case Verb::Option:
      case Verb::Choice: Combo(c); break;
      case Verb::Click: Click(c); break;
      case Verb::Drop: Drop(c); break;
      case Verb::Mouse:
      case Verb::MouseView: Mouse(c); break;
      case Verb::Key:
        if (!Running()) return;
        if (c.escape) {
          OnCancel(*station_);
        } else {
          OnCommand(*station_, ControlId::DefaultButton);
        }
        break;
      case Verb::Answer: queues_.answers.push_back(c.answer); break;
      case Verb::Entity: QueueEntity(c); break;
      case Verb::Distance: QueueDistance(c); break;
      case Verb::Setup:
        for (const auto& [list, index] : c.choices) setup_plan_.push_back(SetupChoice{list, index});
        for (const auto& [edit, text] : c.edits) setup_plan_.push_back(SetupEdit{edit, text});
        break;
      case Verb::SetupReset: setup_plan_.push_back(SetupReset{c.answer}); break;
      case Verb::SetupClose: QueueSetup(); break;
      case Verb::Print:
        if (c.target.camera) {
          if (HaveStation()) out_ << "camera " << QuoteText(DescribeCamera(*station_)) << '\n';
        } else if (c.target.rectification) {
          if (HaveSurface()) out_ << DescribeRectification(*station_) << '\n';
        } else if (c.target.results_db) {
          if (HaveStation()) out_ << "results-db " << QuoteText(ResultsDbStatus(*station_)) << '\n';
        } else if (c.target.part_counts) {
          if (HaveStation()) out_ << "part-counts " << QuoteText(StationPartCounts(*station_)) << '\n';
        } else if (HaveSurface()) {
          out_ << c.target.name << ' ' << QuoteText(TextOf(c.target)) << '\n';
        }
        break;
      case Verb::Expect: Expect(c); break;
      case Verb::ExpectFile: ExpectFile(c); break;
      case Verb::Texts: Texts(); break;
      case Verb::SaveDisplay: SaveDisplay(c); break;
      case Verb::Results:
      case Verb::ResultsCsv:
      case Verb::Label:
      case Verb::Tolerance:
      case Verb::ResultsStats:
      case Verb::Relabel:
      case Verb::ResultsDelete:
      case Verb::ResultsClear:
      case Verb::Snap:
      case Verb::PreciseOption:
      case Verb::Grr:
      case Verb::Chart: ResultsCommand(c); break;
      default: ExtensionCommand(c); break;
    }
  }

  // The commands of the station's extensions: the undo history, the tools,
  // zoom, rectification, the taught part, programs, drawings, reports.
  void ExtensionCommand(const Command& c) {
    switch (c.verb) {
      case Verb::Undo:
      case Verb::Redo: UndoOrRedo(c.verb == Verb::Redo); break;
      case Verb::Tool:
        if (!Running()) return;
        SetMeasureTool(*station_, ToolByName(c.texts[0]).value_or(MeasureTool::Measure));
        out_ << "tool " << QuoteText(ToolStatusText(*station_)) << "\n";
        break;
      case Verb::Zoom:
      case Verb::Pan: ZoomOrPan(c); break;
      case Verb::GridCalibrate: GridCalibrate(c); break;
      case Verb::Rectify:
        if (!Running()) return;
        if (auto problem = SetRectification(*station_, c.on)) Fail(*problem);
        break;
      case Verb::DxfUnits:
      case Verb::DxfSaveAs: DxfOption(c); break;
      case Verb::SaveAnnotated: SaveAnnotated(c); break;
      case Verb::PartId: PartId(c); break;
      case Verb::Report:
      case Verb::SummaryReport:
      case Verb::ChartSave: Paper(c); break;
      case Verb::ReportAuto:
        if (std::string why; HaveStation() && !SetReportAuto(*station_, c.on, c.texts, &why)) Fail("report-auto: " + why);
        break;
      case Verb::Operator:
        if (std::string why; HaveStation() && !SetOperator(*station_, c.texts[0], &why)) Fail("operator: " + why);
        break;
      case Verb::PreciseCalibrate: PreciseCalibrate(c); break;
      case Verb::PartTeach:
      case Verb::PartFind: PartCommand(c); break;
      case Verb::Program:
        if (std::string failure; Running() && !RunProgramCommand(*station_, c, out_, &failure)) Fail(failure);
        break;
      case Verb::CadLoad:
      case Verb::CadFit:
      case Verb::CadCompare:
      case Verb::CadReport:
      case Verb::CadMove: CadCommand(c); break;
      case Verb::Wait: Wait(c.number); break;
      case Verb::ResultsSync:
        if (HaveStation() && !SyncResults(*station_, c.factor)) {
          Note("results-sync: " + ResultsDbStatus(*station_));
        }
        break;
      default: break;
    }
  }

  static CadFitChoice FitChoice(const Command& c) {
    CadFitChoice choice;
    choice.minmax = !c.texts.empty() && c.texts[0] == "minmax";
    for (size_t i = 1; i < c.texts.size(); ++i) {
      cad::DatumRef ref;
      if (ParseDatumRef(c.texts[i], &ref)) choice.datum.push_back(ref);
    }
    return choice;
  }

  // The comparison with a drawing: load, fit, compare (its lines, and the
  // overlay redrawn with the deviations), and the report of every point.
  void CadCommand(const Command& c) {
    if (!Running()) return;
    std::optional<std::string> problem;
    std::vector<std::string> lines;
    std::string line;
    const char* name = "cad-load";
    switch (c.verb) {
      case Verb::CadLoad:
        problem = LoadCadDrawing(*station_, PathOf(c.texts[0]), c.texts.size() > 1 ? c.texts[1] : "", &lines,
                                 {c.texts.begin() + std::min<size_t>(c.texts.size(), 2), c.texts.end()});
        break;
      case Verb::CadFit:
        name = "cad-fit";
        problem = FitCadDrawing(*station_, &line, FitChoice(c));
        if (!problem) lines.push_back(line);
        break;
      case Verb::CadMove:
        name = "cad-move";
        problem = MoveCadDrawing(*station_, c.values[0], c.values[1], c.values[2], &line);
        if (!problem) lines.push_back(line);
        break;
      case Verb::CadCompare:
        name = "cad-compare";
        problem = CompareCadDrawing(*station_, c.number, &lines);
        break;
      default:
        name = "cad-report";
        problem = WriteCadReport(*station_, PathOf(c.texts[0]));
        break;
    }
    if (problem) return Fail(std::string(name) + ": " + *problem);
    for (const std::string& l : lines) out_ << l << '\n';
    if (c.verb == Verb::CadFit || c.verb == Verb::CadCompare || c.verb == Verb::CadMove) {
      RedrawOverlay(*station_);
      ComposeDisplay(*station_, station_->image.frame);
    }
  }

  // Teaches the part in a rectangle of the current picture, or finds it
  // there (shown on the overlay as the window's Find part shows it): one
  // line a found instance, best first.
  void PartCommand(const Command& c) {
    if (!Running()) return;
    std::string why;
    if (c.verb == Verb::PartTeach) {
      if (!TeachPart(*station_, {c.values[0], c.values[1], c.values[2], c.values[3]}, &why)) {
        return Fail("part-teach: " + why);
      }
      int32_t points = 0;
      qgPartModelInfo(PartOf(*station_).model(), &points, nullptr, nullptr, nullptr);
      out_ << "part taught " << points << " points\n";
      return;
    }
    const std::vector<PartPose> poses = FindPart(*station_, c.on, &why);
    if (!why.empty()) return Fail("part-find: " + why);
    if (poses.empty()) out_ << "part not found\n";
    for (const PartPose& pose : poses) out_ << "part found " << PartPoseWords(pose) << '\n';
  }

  // The commands of the results table and its options.
  void ResultsCommand(const Command& c) {
    if (!HaveStation()) return;
    ResultsTable& table = ResultsOf(*station_).table;
    switch (c.verb) {
      case Verb::Results:
        out_ << TableCsv(table);
        break;
      case Verb::ResultsCsv:
        if (std::string why; !ExportResultsCsv(*station_, PathOf(c.texts[0]), &why)) {
          Fail("results-csv: cannot write " + QuoteText(c.texts[0]) + ": " + why);
        }
        break;
      case Verb::Label:
        table.SetNextLabel(c.texts[0]);
        break;
      case Verb::Tolerance:
      {
        const Tolerance t(c.nominal, c.tolerance, c.lower, c.texts.size() > 1 ? c.texts[1] : "");
        SetResultTolerance(*station_, c.texts[0], t);
        SetStepTolerance(*station_, c.texts[0], t);
        break;
      }
      case Verb::ResultsStats:
        out_ << LabelWord(c.texts[0]) << ' ' << StatisticsWords(table, c.texts[0]) << '\n';
        break;
      case Verb::Relabel:
        if (!RelabelResult(*station_, c.numbers[0], c.texts[0])) {
          Note("relabel: row " + std::to_string(c.numbers[0]) + " is not in the table or has that label");
        }
        break;
      case Verb::ResultsDelete:
        if (!DeleteResults(*station_, c.numbers)) Note("results-delete: no such row");
        break;
      case Verb::ResultsClear:
        ClearResults(*station_);
        break;
      case Verb::Grr:
        if (std::string why; const std::optional<GrrStudy> study = GrrOfLabel(table, c.texts[0], &why)) {
          out_ << GrrText(LabelWord(c.texts[0]), *study);
        } else {
          Fail("grr " + LabelWord(c.texts[0]) + ": " + why);
        }
        break;
      case Verb::Chart: {
        const std::string words = ChartWords(SeriesOf(table, c.texts[0]));
        for (size_t start = 0; start < words.size();) {
          const size_t end = words.find('\n', start);
          out_ << LabelWord(c.texts[0]) << ' ' << words.substr(start, end + 1 - start);
          start = end + 1;
        }
        break;
      }
      case Verb::Snap:
        table.snap = c.on;
        SaveResults(*station_);
        break;
      case Verb::PreciseOption:
        table.precise_calibration = c.on;
        SaveResults(*station_);
        break;
      default: break;
    }
  }

  // dxf-units: the option kept in the DXF options file; dxf-save-as: a copy
  // of the drawing.
  void DxfOption(const Command& c) {
    if (!HaveStation()) return;
    if (c.verb == Verb::DxfUnits) {
      if (!SetDxfUnits(*station_, c.on)) Fail(std::string("dxf-units: cannot write ") + kDxfOptionsFile);
      return;
    }
    std::string error;
    if (!SaveDxfCopy(*station_, PathOf(c.texts[0]), &error)) Fail("dxf-save-as: " + error);
  }

  // The picture with its overlay under its own name (or PATH), and where it went.
  void SaveAnnotated(const Command& c) {
    if (!HaveSurface()) return;
    std::optional<std::filesystem::path> path;
    if (!c.texts.empty()) path = PathOf(c.texts[0]);
    std::string error;
    const std::optional<std::filesystem::path> saved = SaveAnnotatedPicture(*station_, path, &error);
    if (!saved) return Fail("save-annotated: " + error);
    std::filesystem::path shown = saved->lexically_relative(options_.folder);
    if (shown.empty() || *shown.begin() == "..") shown = *saved;
    out_ << "saved " << QuoteText(shown.generic_string()) << '\n';
  }

  // The inspection report of the last part, or a chart, as a file.
  void Paper(const Command& c) {
    if (!HaveStation()) return;
    const std::string& name = c.verb == Verb::ChartSave ? c.texts[1] : c.texts[0];
    const std::string verb = c.verb == Verb::Report ? "report" : c.verb == Verb::ChartSave ? "chart-save" : "summary-report";
    const std::filesystem::path path = PathOf(name);
    if (IsStationFile(options_.folder, path)) {
      return Fail(verb + ": " + QuoteText(name) + " is one of the station's own files");
    }
#ifdef ORVANE_PAPER
    std::string why;
    if (c.verb == Verb::ChartSave) {
      const auto kind = c.a == 0 ? paper::ChartKind::Individuals : paper::ChartKind::Histogram;
      if (!paper::ExportChart(SeriesOf(ResultsOf(*station_).table, c.texts[0]), kind, path, &why)) {
        return Fail(verb + ": " + why);
      }
      out_ << "saved " << QuoteText(c.texts[1]) << '\n';
      return;
    }
    if (c.verb == Verb::SummaryReport) {
      const ResultsTable& table = ResultsOf(*station_).table;
      if (!paper::WriteSummaryPdf(table, StationName(), static_cast<paper::PaperSize>(c.a), path, &why)) {
        return Fail(verb + ": " + why);
      }
      const PartYield yield = YieldOf(table);
      out_ << "summary-report " << QuoteText(name) << " labels " << table.Statistics().size() << " passed "
           << yield.passed << " failed " << yield.failed << '\n';
      return;
    }
    const InspectionReport report = StationReport(*station_);
    if (!paper::WriteReportPdf(report, static_cast<paper::PaperSize>(c.a), path, &why)) {
      return Fail(verb + ": " + why);
    }
    out_ << "report " << QuoteText(c.texts[0]) << " dimensions " << report.lines.size() << " verdict "
         << ReportVerdictWord(report.verdict) << '\n';
#else
    Fail("this orvane-batch was built without Qt: no reports or charts");
#endif
  }

  // Sets the part's identity, or reads it from a code in the picture and
  // says what it read.
  void PartId(const Command& c) {
    if (!Running()) return;
    if (c.a == 1) {
      std::string why;
      const std::optional<std::string> identity = UseNextRunningIdentity(*station_, c.texts[0], &why);
      if (!identity) return Fail("part-id next: " + why);
      out_ << "part-id " << QuoteText(*identity) << '\n';
      return;
    }
    if (!c.on) return SetPartIdentity(*station_, c.texts[0]);
    std::optional<PixelRegion> region;
    if (c.numbers.size() == 4) {
      region = PixelRegion{int32_t(c.numbers[0]), int32_t(c.numbers[1]), int32_t(c.numbers[2]),
                           int32_t(c.numbers[3])};
    }
    const std::optional<PartCode> code = ReadPartIdentity(*station_, region);
    out_ << "part-id " << (code ? QuoteText(code->text) : std::string("none")) << '\n';
  }

  // The precise ring calibration on the current picture, the grid's scale,
  // or the precise value the last Auto Calibration offered; then the new
  // calibration as print calibration gives it, and its scale.
  void PreciseCalibrate(const Command& c) {
    if (!Running()) return;
    std::optional<std::string> problem;
    if (c.a == 0) problem = PreciseRingCalibration(*station_);
    if (c.a == 1) problem = GridScaleCalibration(*station_, grid_pitch_unit_);
    if (c.a == 2) problem = UsePreciseOffer(*station_);
    if (problem) return Fail("precise-calibrate: " + *problem);
    out_ << "calibration " << QuoteText(surface_->GetText(ControlId::CalibrationStatus)) << '\n';
    out_ << ScaleLine(*station_) << '\n';
  }

  // What the station said where the extensions speak, each on a line.
  void PrintNotices() {
    // Only a session already open can hold notices: none is loaded here.
    if (!station_ || !station_->results) return;
    ResultsSession& session = *station_->results;
    for (const std::string& n : session.pending_notices) out_ << n << '\n';
    session.pending_notices.clear();
  }

  // The keys Ctrl+Z and Ctrl+Shift+Z, as the window takes them.
  void UndoOrRedo(bool redo) {
    if (!Running()) return;
    const uint32_t keys = redo ? kKeyControl | kKeyShift : kKeyControl;
    if (const std::optional<UndoStep> step = OnEditKey(*station_, 'Z', keys)) {
      out_ << UndoStepText(*step) << '\n';
    }
  }

  // Finds the grid on the camera's picture, fits one view, prints the
  // figures and accepts the calibration.
  void GridCalibrate(const Command& c) {
    if (!Running()) return;
    rectify::GridSpec spec;
    spec.kind = c.texts[0] == "chessboard" ? rectify::GridKind::Chessboard : rectify::GridKind::Dots;
    spec.rows = static_cast<uint32_t>(c.a);
    spec.cols = static_cast<uint32_t>(c.b);
    spec.pitch = c.number;
    grid_pitch_unit_ = c.texts[1];
    std::vector<std::vector<rectify::Point2>> views;
    if (auto problem = GrabGridView(*station_, spec, &views)) return Fail(*problem);
    std::string error;
    const std::optional<rectify::GridFit> fit =
        rectify::FitGrid(spec, views, station_->camera->native_width, station_->camera->native_height, &error);
    if (!fit) return Fail(error);
    out_ << "grid calibration: " << FiguresText(fit->figures) << '\n';
    if (auto problem = AcceptGridCalibration(*station_, spec, *fit)) Fail(*problem);
  }

  // Real time passes (a live camera streams meanwhile); then the status
  // line says what the camera's state has become.
  void Wait(double seconds) {
    if (running_ && WatchesLive(*station_)) {
      WatchLive(seconds);
    } else {
      std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    }
    if (running_) RefreshCameraNote(*station_);
  }

  // The wait as the window's live area spends it: each picture watched for
  // the program's automatic runs in Live, the script's own clock moved on.
  void WatchLive(double seconds) {
    constexpr auto kStep = std::chrono::milliseconds(20);
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(kStep);
      if (options_.fixed_clock) static_cast<ManualClock&>(*clock_).Advance(kStep.count());
      WatchLivePicture(*station_);
    }
  }

  void Start(const Command& c) {
    if (station_) {
      if (running_) {
        OnCommand(*station_, ControlId::Exit);
        EndProgram(*station_);
        running_ = false;
      }
      station_.reset();
      surface_.reset();
    }
    left_held_ = right_held_ = false;
    texts_.clear();
    surface_ = std::make_unique<BatchSurface>(out_, queues_, options_.notes ? *options_.notes : std::cerr);
    surface_->set_screen(screen_);
    std::filesystem::create_directories(options_.folder);
    station_ = std::make_unique<Station>(options_.folder, surface_.get(), clock_.get());
    station_->overlay_text_observer = [this](int32_t x, int32_t y, std::string_view text,
                                             Rgb colour) { ObserveText(x, y, text, colour); };
    std::string line = options_.program;
    for (const std::string& arg : c.texts) {
      const bool blank = arg.find_first_of(" \t") != std::string::npos;
      line += ' ';
      line += blank ? "\"" + arg + "\"" : arg;
    }
    if (!options_.camera.empty()) line += " --camera \"" + options_.camera + "\"";
    // Results made during start-up (a notice) take the script's clock too.
    if (options_.fixed_clock) station_->results_clock = [] { return int64_t{0}; };
    running_ = StartUp(*station_, line);
    if (running_) {
      ResultsSession& results = ResultsOf(*station_);
      if (options_.fixed_clock) results.now = [] { return int64_t{0}; };
#ifdef ORVANE_PAPER
      results.report_writer = paper::WriteLocaleReportPdf;
#endif
    }
    if (!running_) {
      EndProgram(*station_);
      out_ << "program ended at start-up\n";
    }
  }

  // Texts drawn since the overlay was last cleared: a text drawn into a blank
  // overlay starts a new redraw.
  void ObserveText(int32_t x, int32_t y, std::string_view text, Rgb colour) {
    const ImageState& im = station_->image;
    if (im.overlay != nullptr &&
        std::all_of(im.overlay, im.overlay + im.size, [](uint8_t b) { return b == 0; })) {
      texts_.clear();
    }
    if (texts_.size() < kMaxTexts) texts_.push_back({x, y, std::string(text), colour});
  }

  void Solution(const Command& c) {
    if (!Running() || !Usable(ControlId::SolutionList, "the solution list")) return;
    const FakeControl& list = surface_->control(ControlId::SolutionList);
    int32_t index = c.a;
    if (c.by_name) {
      auto it = std::find(list.items.begin(), list.items.end(), c.texts[0]);
      if (it == list.items.end()) return Fail("no solution is called " + QuoteText(c.texts[0]));
      index = static_cast<int32_t>(it - list.items.begin());
    } else if (index < 0 || index >= static_cast<int32_t>(list.items.size())) {
      return Fail("solution " + std::to_string(index) + " is not in the list of " +
                  std::to_string(list.items.size()));
    }
    surface_->SelectComboItem(ControlId::SolutionList, index);
    OnSelectionChange(*station_, ControlId::SolutionList);
  }

  void Combo(const Command& c) {
    if (!Running() || !Usable(c.control, "combo box " + std::to_string(Raw(c.control)))) return;
    const FakeControl& combo = surface_->control(c.control);
    if (c.a < 0 || c.a >= static_cast<int32_t>(combo.items.size())) {
      return Fail("item " + std::to_string(c.a) + " is not in the list of " +
                  std::to_string(combo.items.size()));
    }
    surface_->SelectComboItem(c.control, c.a);
    OnSelectionChange(*station_, c.control);
  }

  void Param(const Command& c) {
    const ControlId edit = kRowEdits[c.a];
    if (!Running() || !Usable(edit, "the edit box of row " + std::to_string(c.a))) return;
    surface_->SetText(edit, c.texts[0]);
    OnEditLostFocus(*station_, edit);
  }

  void Slider(const Command& c) {
    const ControlId slider = kRowSliders[c.a];
    if (!Running() || !Usable(slider, "the slider of row " + std::to_string(c.a))) return;
    surface_->SetSliderPos(slider, c.b, true);
    OnSlider(*station_, slider, surface_->SliderPos(slider));
  }

  void Click(const Command& c) {
    if (!Running() || !Usable(c.control, "control " + std::to_string(Raw(c.control)))) return;
    OnCommand(*station_, c.control);
  }

  void Drop(const Command& c) {
    if (!Running()) return;
    if (c.texts[0].find('\0') != std::string::npos) return Fail("path holds a NUL byte");
    if (!DropStillFile(*station_, c.texts[0])) Note("drop ignored: not in File mode");
  }

  // The view client position whose mapping gives `target` on one axis: the
  // smallest exact one, else the nearest; -1 or the view size (outside the
  // view, so the handlers ignore it) for a target outside the image.
  int32_t ClientFor(int32_t target, uint32_t image_size, uint32_t view_size, bool x_axis,
                    int32_t* reached) {
    *reached = target;
    if (target < 0) return -1;
    if (view_size == 0 || static_cast<uint32_t>(target) >= image_size) {
      return static_cast<int32_t>(std::min<uint32_t>(view_size, kMaxCoordinate));
    }
    auto map = [&](int32_t client) {
      ImagePoint p;
      const bool in = x_axis ? MapToImage(*station_, client, 0, &p)
                             : MapToImage(*station_, 0, client, &p);
      return in ? (x_axis ? p.x : p.y) : -1;
    };
    const double guess = std::ceil(double(target) * double(view_size) / double(image_size));
    const int32_t first = std::max<int32_t>(0, static_cast<int32_t>(guess) - 2);
    const int32_t last = std::min<int32_t>(static_cast<int32_t>(view_size) - 1, first + 4);
    int32_t best = first;
    int32_t best_error = INT32_MAX;
    for (int32_t client = first; client <= last; ++client) {
      const int32_t mapped = map(client);
      if (mapped < 0) continue;
      const int32_t error = std::abs(mapped - target);
      if (error < best_error) {
        best = client;
        best_error = error;
        *reached = mapped;
      }
    }
    return best;
  }

  // Zooms (about the view's middle, or centred on an image pixel) or pans
  // (the picture dragged by view pixels), then says what the view shows.
  void ZoomOrPan(const Command& c) {
    if (!Running()) return;
    const ZoomArea area = AreaOf(station_->image);
    ViewZoom& zoom = station_->view.zoom;
    if (c.verb == Verb::Pan) {
      zoom = PanBy(area, zoom, c.a, c.b);
    } else if (c.factor <= 0.0) {
      zoom = {};
    } else if (c.at) {
      zoom = CentreOn(area, c.factor, c.a + 0.5, c.b + 0.5);
    } else {
      zoom = ZoomAt(area, zoom, c.factor, area.view_width / 2.0, area.view_height / 2.0);
    }
    zoom = Settled(area, zoom);
    const ImageSpan part = VisiblePart(area, zoom);
    char factor[32];
    const auto end = std::to_chars(factor, factor + sizeof factor, zoom.fit() ? 0.0 : zoom.scale).ptr;
    out_ << "zoom " << (zoom.fit() ? std::string("fit") : std::string(factor, end)) << ": image ("
         << static_cast<int64_t>(std::floor(part.x)) << ","
         << static_cast<int64_t>(std::floor(part.y)) << ")-("
         << static_cast<int64_t>(std::ceil(part.x + part.width)) - 1 << ","
         << static_cast<int64_t>(std::ceil(part.y + part.height)) - 1 << ") in view\n";
  }

  void Mouse(const Command& c) {
    if (!Running()) return;
    uint32_t keys = c.modifiers;
    switch (c.mouse) {
      case MouseEvent::LeftDown: left_held_ = true; break;
      case MouseEvent::LeftUp: left_held_ = false; break;
      case MouseEvent::RightDown: right_held_ = true; break;
      case MouseEvent::RightUp: right_held_ = false; break;
      case MouseEvent::Move: break;
    }
    if (left_held_) keys |= kKeyLeftButton;
    if (right_held_) keys |= kKeyRightButton;
    int32_t x = c.a;
    int32_t y = c.b;
    const ViewZoom zoom = Settled(AreaOf(station_->image), station_->view.zoom);
    if (c.verb == Verb::Mouse && !zoom.fit()) {
      // Zoomed in, the pixel itself is the position, as the desktop sends it.
      const ImageSpan part = VisiblePart(AreaOf(station_->image), zoom);
      if (x < part.x || y < part.y || x >= part.x + part.width || y >= part.y + part.height) {
        Note("image pixel (" + std::to_string(x) + "," + std::to_string(y) +
             ") is outside the zoomed view");
      }
      OnMouseAtImage(*station_, c.mouse, x, y, keys);
      return;
    }
    if (c.verb == Verb::Mouse) {
      const ImageState& im = station_->image;
      int32_t rx = 0;
      int32_t ry = 0;
      x = ClientFor(c.a, im.width, im.view_width, true, &rx);
      y = ClientFor(c.b, im.height, im.view_height, false, &ry);
      if (rx != c.a || ry != c.b) {
        Note("image pixel (" + std::to_string(c.a) + "," + std::to_string(c.b) +
             ") cannot be hit in a " + std::to_string(im.view_width) + " x " +
             std::to_string(im.view_height) + " view of a " + std::to_string(im.width) + " x " +
             std::to_string(im.height) + " image; the mouse is at image pixel (" +
             std::to_string(rx) + "," + std::to_string(ry) + ")");
      }
    }
    OnMouse(*station_, c.mouse, x, y, keys);
  }

  void QueueEntity(const Command& c) {
    const std::optional<DialogControlId> button = c.entity;
    queues_.entity.push_back([this, button](DialogModel& dialog) {
      if (!button) return DialogResult::Cancel;
      const std::optional<DialogResult> result = dialog.Press(*button);
      if (!result) out_ << "entity: the button is not there; the dialog is left with Escape\n";
      return result.value_or(DialogResult::Cancel);
    });
  }

  void QueueDistance(const Command& c) {
    const std::string text = c.texts[0];
    const DialogResult wanted = c.result;
    queues_.distance.push_back([this, text, wanted](DialogModel& dialog) {
      dialog.Type(DialogControlId::DistanceEdit, text);
      const DialogControlId button =
          wanted == DialogResult::Ok ? DialogControlId::Ok : DialogControlId::Cancel;
      const std::optional<DialogResult> result = dialog.Press(button);
      if (result) return *result;
      out_ << "distance: a negative distance is refused; the dialog is left with Cancel\n";
      return DialogResult::Cancel;
    });
  }

  void QueueSetup() {
    std::vector<SetupStep> plan = std::move(setup_plan_);
    setup_plan_.clear();
    queues_.setup.push_back([this, plan](DialogModel& dialog) {
      for (const SetupStep& step : plan) {
        if (const auto* choice = std::get_if<SetupChoice>(&step)) {
          PlayChoice(dialog, *choice);
        } else if (const auto* edit = std::get_if<SetupEdit>(&step)) {
          PlayEdit(dialog, *edit);
        } else {
          // The button keeps the dialog open, so Press gives no result.
          const DialogControl* reset = dialog.Find(DialogControlId::ResetRois);
          if (reset == nullptr || !reset->enabled || !reset->visible) {
            out_ << "setup: Reset ROIs is not there to press\n";
            failed_ = true;
            continue;
          }
          queues_.inner_answer = std::get<SetupReset>(step).answer;
          dialog.Press(DialogControlId::ResetRois);
          queues_.inner_answer.reset();
        }
      }
      return dialog.Press(DialogControlId::Ok).value_or(DialogResult::Ok);
    });
  }

  // Types into one of the camera's settings; a camera without them has none.
  void PlayEdit(DialogModel& dialog, const SetupEdit& edit) {
    DialogControl* box = dialog.Find(edit.edit);
    if (box == nullptr) {
      out_ << "setup: the camera has no setting " << Raw(edit.edit) << '\n';
      failed_ = true;
      return;
    }
    box->text = edit.text;
  }

  void PlayChoice(DialogModel& dialog, const SetupChoice& choice) {
    const DialogControl* list = dialog.Find(choice.list);
    const std::string name = "setup: list " + std::to_string(Raw(choice.list));
    if (list == nullptr) {
      out_ << name << " is not in the dialog\n";
      failed_ = true;
    } else if (!list->enabled) {
      out_ << name << " is disabled; choice ignored\n";
    } else if (choice.index < 0 || choice.index >= static_cast<int32_t>(list->items.size())) {
      out_ << name << ": item " << choice.index << " is not in the list of "
           << list->items.size() << '\n';
      failed_ = true;
    } else {
      dialog.Choose(choice.list, choice.index);
    }
  }

  std::string TextOf(const Target& target) const {
    if (target.title) return surface_->WindowTitle();
    if (IsCombo(target.id)) {
      const FakeControl* combo = surface_->find(target.id);
      if (combo == nullptr || combo->selection < 0 ||
          combo->selection >= static_cast<int32_t>(combo->items.size())) {
        return {};
      }
      return combo->items[combo->selection];
    }
    if (IsSlider(target.id)) return std::to_string(surface_->SliderPos(target.id));
    return surface_->GetText(target.id);
  }

  void Expect(const Command& c) {
    if (!HaveSurface()) return;
    const std::string got = TextOf(c.target);
    if (got != c.texts[0]) {
      Fail("expect " + c.target.name + ": got " + QuoteText(got) + ", expected " +
           QuoteText(c.texts[0]));
    }
  }

  void ExpectFile(const Command& c) {
    const std::filesystem::path path = PathOf(c.texts[0]);
    std::error_code ec;
    const bool file = std::filesystem::is_regular_file(path, ec);
    const uintmax_t size = file ? std::filesystem::file_size(path, ec) : 0;
    if (!file || ec) return Fail("expect-file " + QuoteText(c.texts[0]) + ": no such file");
    if (size == 0) Fail("expect-file " + QuoteText(c.texts[0]) + ": the file is empty");
  }

  void Texts() {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const DrawnText& t : texts_) {
      std::string colour = "#";
      for (const uint8_t v : {t.colour.r, t.colour.g, t.colour.b}) {
        colour += kHex[v >> 4];
        colour += kHex[v & 15];
      }
      out_ << "text " << t.x << ' ' << t.y << ' ' << colour << ' ' << QuoteText(t.text) << '\n';
    }
  }

  void SaveDisplay(const Command& c) {
    if (!HaveSurface()) return;
    int error = 0;
    if (WriteShownPicture(*station_, PathOf(c.texts[0]), &error)) return;
    Fail(error == ENODATA ? std::string("save-display: nothing is shown")
                          : "save-display: cannot write " + QuoteText(c.texts[0]));
  }

  std::ostream& out_;
  Options options_;
  const Command* command_ = nullptr;
  Queues queues_;
  std::vector<SetupStep> setup_plan_;
  Size screen_{1280, 1024};
  std::unique_ptr<Clock> clock_;
  std::unique_ptr<BatchSurface> surface_;
  std::unique_ptr<Station> station_; // last: it goes before its surface and clock
  bool running_ = false;
  bool left_held_ = false;
  bool right_held_ = false;
  std::vector<DrawnText> texts_;
  bool failed_ = false;
  std::string grid_pitch_unit_; // of the last grid-calibrate: in, cm, mm or the station's
};

} // namespace

int RunScript(std::istream& in, std::ostream& out, const Options& options) {
  std::string script;
  std::vector<char> chunk(size_t{1} << 16);
  while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
    script.append(chunk.data(), static_cast<size_t>(in.gcount()));
    if (script.size() > kMaxScriptBytes) {
      out << "script longer than " << kMaxScriptBytes << " bytes\n";
      return kScriptParseError;
    }
  }
  const ParseResult parsed = ParseScript(script);
  if (parsed.error_line != 0) {
    out << "line " << parsed.error_line << ": " << parsed.error << '\n';
    return kScriptParseError;
  }
  if (options.lock_folder) {
    std::error_code ignored;
    std::filesystem::create_directories(options.folder, ignored);
    long holder = 0;
    if (LockFolder(options.folder, &holder) == kFolderLocked) {
      std::cerr << "orvane-batch: " << options.folder.string()
                << " is in use by another station (" << LockHolderText(holder) << ")\n";
      return kFolderInUse;
    }
  }
  Runner runner(out, options);
  for (const Command& command : parsed.commands) runner.Run(command);
  runner.EndStation();
  return runner.status();
}

} // namespace orvane::batch
