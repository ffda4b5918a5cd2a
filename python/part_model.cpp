#include "part_model.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "gauge_args.h"
#include "result_types.h"

namespace orvane_py {

namespace {

using namespace py::literals;

struct ModelDeleter {
  void operator()(qgPartModel* m) const { qgPartModelFree(m); }
};
using ModelPtr = std::unique_ptr<qgPartModel, ModelDeleter>;

// The library only reads a model once made, so one PartModel may serve any
// number of threads at once.
class PartModel {
 public:
  explicit PartModel(ModelPtr model) : model_(std::move(model)) {}

  static PartModel Teach(const ImageObject& image, std::array<double, 4> region, int32_t max_points,
                         double threshold) {
    const char* what = "PartModel";
    ImageArg im = ImageOf(image.object, what);
    const qgBox box{region[0], region[1], region[2], region[3]};
    qgPartTrainParams params;
    qgPartTrainDefaults(&params);
    params.maxPoints = max_points;
    params.threshold = threshold;
    qgPartModel* made = nullptr;
    int32_t code;
    {
      py::gil_scoped_release unlocked;
      code = qgPartTrain(&im.image, &box, &params, &made);
    }
    ModelPtr model(made);
    if (code == QG_NOT_FOUND) Raise(code, what, "fewer than 16 edge points in the region");
    Check(code, what);
    return PartModel(std::move(model));
  }

  static PartModel FromBytes(const py::buffer& data) {
    const char* what = "PartModel.from_bytes";
    const py::buffer_info info = data.request();
    if (info.ndim != 1 || info.itemsize != 1 || (info.shape[0] > 1 && info.strides[0] != 1))
      Raise(QG_ERR_ARGUMENT, what, "expected bytes (a contiguous buffer of bytes)");
    qgPartModel* made = nullptr;
    int32_t code;
    {
      py::gil_scoped_release unlocked;
      code = qgPartModelLoad(static_cast<const uint8_t*>(info.ptr), static_cast<size_t>(info.size), &made);
    }
    ModelPtr model(made);
    Check(code, what);
    return PartModel(std::move(model));
  }

  py::bytes ToBytes() const {
    size_t size = 0;
    Check(qgPartModelSize(model_.get(), &size), "PartModel.to_bytes");
    std::string bytes(size, '\0');
    Check(qgPartModelSave(model_.get(), reinterpret_cast<uint8_t*>(bytes.data()), size), "PartModel.to_bytes");
    return py::bytes(bytes);
  }

  Typed<PoseListTag> Find(const ImageObject& image, double min_score, int32_t max_count, double angle_min,
                double angle_max, bool reversed) const {
    const char* what = "PartModel.find";
    ImageArg im = ImageOf(image.object, what);
    qgPartFindParams params;
    qgPartFindDefaults(&params);
    params.minScore = min_score;
    params.maxInstances = max_count;
    params.angleMin = angle_min;
    params.angleMax = angle_max;
    if (reversed) params.polarity = QG_POLARITY_EITHER;
    // Room for what the library may report; it refuses a max_count out of range.
    std::vector<qgPartInstance> found(static_cast<size_t>(std::clamp(max_count, 1, QG_PART_MAX_INSTANCES)));
    int32_t count = 0, code;
    {
      py::gil_scoped_release unlocked;
      code = qgPartFind(&im.image, model_.get(), &params, found.data(), static_cast<int32_t>(found.size()), &count);
    }
    Check(code, what);
    py::list out;
    for (int32_t i = 0; code == QG_OK && i < count; ++i) out.append(PoseTuple(found[static_cast<size_t>(i)]));
    return {out};
  }

  int32_t Points() const { return Info().points; }
  std::pair<double, double> Size() const { return {Info().width, Info().height}; }
  std::vector<std::string> Warnings() const {
    const int32_t flags = Info().flags;
    std::vector<std::string> words;
    if (flags & QG_PART_NO_ANGLE) words.push_back("no_angle");
    if (flags & QG_PART_NO_POSITION) words.push_back("no_position");
    if (flags & QG_PART_GRID_ALIGNED) words.push_back("grid_aligned");
    return words;
  }

  std::string Repr() const {
    const ModelInfo i = Info();
    std::string text = "PartModel(points=" + std::to_string(i.points) + ", size=(" +
                       py::str(py::float_(i.width)).cast<std::string>() + ", " +
                       py::str(py::float_(i.height)).cast<std::string>() + "), warnings=[";
    const std::vector<std::string> words = Warnings();
    for (size_t k = 0; k < words.size(); ++k) text += (k ? ", '" : "'") + words[k] + "'";
    return text + "])";
  }

 private:
  struct ModelInfo {
    int32_t points = 0, flags = 0;
    double width = 0, height = 0;
  };
  ModelInfo Info() const {
    ModelInfo i;
    Check(qgPartModelInfo(model_.get(), &i.points, &i.flags, &i.width, &i.height), "PartModel");
    return i;
  }

  ModelPtr model_;
};

constexpr const char* kClassDoc = R"doc(A part taught from a region of a picture, found again at any position and turn.

PartModel(image, (x0, y0, x1, y1)) teaches the part from the pixels whose
centres lie in the axis-aligned region [x0, x1) x [y0, y1) (at least 8 pixels
each way): up to ``max_points`` sub-pixel edge points with their gradient
directions, in a frame whose origin is the region's centre. ``threshold`` is
the least gradient of an edge point in grey levels, 0 to derive it from the
region's strongest edges. Raises qgauge.Error (code 1) when the region holds
fewer than 16 edge points.

A model is only read once taught: one model may be searched from many threads
at once. It pickles, and to_bytes()/from_bytes() give the library's own
portable file format (the station's "PART.QGM").)doc";

} // namespace

void DefinePartModel(py::module_& m) {
  py::class_<PartModel>(m, "PartModel", kClassDoc)
      .def(py::init(&PartModel::Teach), "image"_a, "region"_a, py::kw_only(), "max_points"_a = 300,
           "threshold"_a = 0.0, "Teaches the part in region (x0, y0, x1, y1) of image.")
      .def("find", &PartModel::Find, "image"_a, "min_score"_a = 0.7, "max_count"_a = 1, py::kw_only(),
           "angle_min"_a = -180.0, "angle_max"_a = 180.0, "reversed"_a = false,
           R"doc(Finds the part in image: a list of Pose, best score first (empty when none).

Each Pose(x, y, angle_deg, score, u_x, u_y, u_angle_deg) says where the
centre of the taught region lies now (pixels) and how far the part turned
(degrees from +x towards +y, in (-180, 180]). min_score: the share of the
model's edge points that must match, (0, 1]. max_count: at most this many
instances, 1 .. 64. angle_min .. angle_max: the turns searched, degrees.
reversed: also accept the part with its contrast reversed.)doc")
      .def("to_bytes", &PartModel::ToBytes,
           "The model as bytes: little-endian, versioned and checksummed, the same on every machine.")
      .def_static("from_bytes", &PartModel::FromBytes, "data"_a,
                  "A model read back from to_bytes(); qgauge.Error (QG_ERR_DAMAGED) for bytes that are "
                  "not a whole, intact model.")
      .def_property_readonly("points", &PartModel::Points, "The number of edge points the model keeps.")
      .def_property_readonly("size", &PartModel::Size, "The taught region's (width, height) in pixels.")
      .def_property_readonly("warnings", &PartModel::Warnings,
                             "What the model cannot fix: 'no_angle' (a circle: no rotation), "
                             "'no_position' (a straight bar), 'grid_aligned' (edges along the pixel grid).")
      .def("__repr__", &PartModel::Repr)
      .def(py::pickle([](const PartModel& model) { return model.ToBytes(); },
                      [](const py::bytes& data) { return PartModel::FromBytes(data); }));
}

} // namespace orvane_py
