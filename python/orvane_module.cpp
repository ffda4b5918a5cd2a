// The Python module orvane: a station's working folder from Python, to run
// its inspection programs on pictures (files or numpy arrays) with its
// calibration, as orvane-inspect runs them.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "batch/inspect_run.h"
#include "gauge_args.h"
#include "inspect/program.h"
#include "inspect/program_session.h"
#include "result_types.h"

namespace py = pybind11;
using namespace py::literals;
using namespace orvane_py;

namespace {

struct Types {
  PyObject* dimension = nullptr;
  PyObject* inspection = nullptr;
  PyObject* calibration = nullptr;
  PyObject* pose = nullptr;
} g_types;

py::object Optional(double v) { return std::isnan(v) ? py::object(py::none()) : py::object(py::float_(v)); }

py::object DimensionTuple(const orvane::DimensionResult& d) {
  const std::optional<orvane::Tolerance> t = orvane::batch::ToleranceInUnit(d);
  py::object nominal = py::none(), tolerance = py::none();
  if (t) {
    nominal = py::float_(t->nominal);
    tolerance = py::make_tuple(t->upper, t->lower);
  }
  py::object verdict = py::none();
  if (d.verdict != orvane::Verdict::None) verdict = py::str(std::string(orvane::VerdictWord(d.verdict)));
  return MakeResult(g_types.dimension, py::make_tuple(d.label, Optional(d.value), Optional(d.u), d.unit, nominal,
                                                      tolerance, verdict));
}

py::object InspectionTuple(const orvane::ProgramRun& run) {
  py::list dimensions;
  for (const orvane::DimensionResult& d : run.dimensions) dimensions.append(DimensionTuple(d));
  py::object pose = py::none();
  if (run.found) {
    const orvane::PartPose& p = run.pose;
    pose = MakeResult(g_types.pose, py::make_tuple(p.x, p.y, p.angle_deg, p.score, p.u_x, p.u_y, p.u_angle_deg));
  }
  return MakeResult(g_types.inspection, py::make_tuple(run.found && run.pass, run.found, pose, dimensions));
}

// A working folder, only read: its settings are read afresh for every
// picture (the station may recalibrate meanwhile); each program is read once.
class Station {
 public:
  explicit Station(const py::object& folder) {
    folder_ = py::str(py::module_::import("os").attr("fspath")(folder)).cast<std::string>();
    std::error_code ec;
    if (!std::filesystem::is_directory(folder_, ec)) RaiseText("Station: " + folder_.string() + " is not a folder");
  }

  std::vector<std::string> Programs() const { return orvane::ProgramNames(folder_); }

  py::object Calibration() const {
    const orvane::Settings settings = orvane::batch::FolderSettings(folder_);
    const orvane::LengthScale scale = orvane::ScaleOf(settings, settings.calibration_distance);
    return MakeResult(g_types.calibration, py::make_tuple(settings.calibrated != 0, scale.per_pixel, scale.unit));
  }

  py::object Inspect(const py::object& picture, const std::string& name) {
    const std::shared_ptr<const Loaded> program = ProgramNamed(name);
    const orvane::Settings settings = orvane::batch::FolderSettings(folder_);
    orvane::ProgramRun run;
    if (py::isinstance<py::str>(picture) || py::hasattr(picture, "__fspath__")) {
      const std::string path = py::str(py::module_::import("os").attr("fspath")(picture)).cast<std::string>();
      orvane::batch::PictureOutcome outcome;
      {
        py::gil_scoped_release unlocked;
        const orvane::batch::TempFolder temp;
        outcome = orvane::batch::InspectFile(program->program, *program->model, settings, path, temp.path(), 0);
      }
      if (!outcome.error.empty()) RaiseText("Station.inspect: " + path + ": " + outcome.error);
      run = std::move(outcome.run);
    } else {
      const ImageArg image = ImageOf(picture, "Station.inspect");
      py::gil_scoped_release unlocked;
      run = orvane::batch::InspectImage(program->program, *program->model, settings, image.image);
    }
    if (!run.problem.empty()) RaiseText("Station.inspect: program " + name + ": " + run.problem);
    return InspectionTuple(run);
  }

  std::string Repr() const { return "Station(" + py::repr(py::str(folder_.string())).cast<std::string>() + ")"; }

 private:
  struct Loaded {
    orvane::Program program;
    std::unique_ptr<orvane::ProgramModel> model;
  };

  std::shared_ptr<const Loaded> ProgramNamed(const std::string& name) {
    const std::string key = orvane::batch::ProgramName(name);
    auto it = programs_.find(key);
    if (it != programs_.end()) return it->second;
    std::string why;
    std::optional<orvane::Program> program = orvane::ReadProgramFile(folder_, key, &why);
    if (!program) RaiseText("Station.inspect: program " + key + ": " + why);
    auto loaded = std::make_shared<Loaded>();
    loaded->program = std::move(*program);
    const orvane::Settings settings = orvane::batch::FolderSettings(folder_);
    loaded->model = std::make_unique<orvane::ProgramModel>(
        loaded->program, folder_, orvane::ScaleOf(settings, settings.calibration_distance));
    if (std::string problem = loaded->model->ProfileProblem(loaded->program); !problem.empty()) {
      RaiseText("Station.inspect: program " + key + ": " + problem);
    }
    programs_[key] = loaded;
    return loaded;
  }

  std::filesystem::path folder_;
  std::map<std::string, std::shared_ptr<const Loaded>> programs_;
};

void DefineTypes(py::module_& m) {
  g_types.dimension = MakeResultType(m, "orvane", "Dimension",
      {{"label", "the step's label in the program"},
       {"value", "the measured value in unit, or None when it could not be measured"},
       {"u", "its standard uncertainty in unit, or None"},
       {"unit", "\"px\" until the folder is calibrated, then \"in\" or \"cm\"; \"deg\" for angles; a profile (drawing compare) in its drawing's unit"},
       {"nominal", "the nominal value in unit, or None without a tolerance"},
       {"tolerance", "(upper, lower) deviations from nominal in unit, or None"},
       {"verdict", "\"pass\", \"fail\", or None without a tolerance"}},
      "One dimension of an inspection program, measured on a picture.");
  g_types.inspection = MakeResultType(m, "orvane", "Inspection",
      {{"passed", "the part was found, every dimension measured and none failed"},
       {"found", "the part was found (always, for a fixtured program)"},
       {"pose", "where the part lies (a Pose), or None when it was not found"},
       {"dimensions", "the program's dimensions in its order: a list of Dimension"}},
      "The run of an inspection program on one picture.");
  g_types.pose = MakeResultType(m, "orvane", "Pose",
      {{"x", "x where the taught region's centre lies, px"}, {"y", "y of that point, px"},
       {"angle_deg", "how far the part turned: degrees from +x towards +y, in (-180, 180]"},
       {"score", "share of the model's edge points matched"},
       {"u_x", "standard uncertainty of x, px"}, {"u_y", "standard uncertainty of y, px"},
       {"u_angle_deg", "standard uncertainty of angle_deg, degrees"}},
      "Where the program's part was found.");
  g_types.calibration = MakeResultType(m, "orvane", "Calibration",
      {{"calibrated", "the folder holds a calibration"},
       {"per_pixel", "units per pixel at the calibrated picture size and distance (1 uncalibrated)"},
       {"unit", "\"in\", \"cm\", or \"px\" uncalibrated"}},
      "The working folder's calibration, as the programs' lengths use it.");
}

constexpr const char* kModuleDoc = R"doc(A station's working folder from Python: its inspection programs run on
pictures with its calibration, the same numbers as orvane-inspect gives.

    station = orvane.Station("/path/to/station")
    station.programs()                        # ['BRACKET', ...]
    result = station.inspect("part.bmp", "BRACKET")
    for d in result.dimensions:
        print(d.label, d.value, d.u, d.unit, d.verdict)

Pictures are BMP or JPEG files (a path) or numpy uint8 arrays as qgauge takes
them (H x W grey, H x W x 3 / 4 blue, green, red[, x]). Lengths are in the
folder's unit, rescaled to the picture's size as the station does; angles in
degrees. Errors raise orvane.Error (a ValueError). Runs release the GIL.)doc";

} // namespace

PYBIND11_MODULE(orvane, m) {
  m.doc() = kModuleDoc;
  m.attr("__version__") = ORVANE_VERSION;
  RegisterError(m, "orvane.Error",
                "A folder, program or picture the station cannot use (a ValueError; the message says why).");
  DefineTypes(m);
  py::class_<Station>(m, "Station", "A station's working folder, only read.")
      .def(py::init<const py::object&>(), "folder"_a, "The station in `folder` (a path).")
      .def("programs", &Station::Programs, "The names of the folder's inspection programs, sorted.")
      .def("calibration", &Station::Calibration, "The folder's calibration: Calibration(calibrated, per_pixel, unit).")
      .def("inspect", &Station::Inspect, "picture"_a, "program"_a,
           R"doc(Runs the program (its name, with or without .OIP) on a picture.

picture: a BMP or JPEG file's path, or a numpy uint8 image. Returns
Inspection(passed, found, pose, dimensions); a part not found gives found
False and no values. orvane.Error when the program or the picture cannot be
read.)doc")
      .def("__repr__", &Station::Repr);
}
