#include "inspect/part.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "workspace/files.h"

namespace orvane {
namespace {

constexpr double kPi = 3.14159265358979323846;
// Larger than any model the library writes (QG_PART_MAX_POINTS points of 32
// bytes and a short header): a longer file is no model.
constexpr int64_t kMaxModelFileBytes = int64_t{1} << 20;

// Why the rectangle cannot be taught in a w x h picture; empty when it can.
std::string RectProblem(const PartRect& r, uint32_t w, uint32_t h) {
  for (double v : {r.x0, r.y0, r.x1, r.y1}) {
    if (!std::isfinite(v)) return "the rectangle's corners must be numbers";
  }
  if (r.x1 <= r.x0 || r.y1 <= r.y0) return "the rectangle is empty: X1 must exceed X0 and Y1 Y0";
  if (r.x0 < 0.0 || r.y0 < 0.0 || r.x1 > w || r.y1 > h) {
    return "the rectangle reaches outside the " + std::to_string(w) + " x " + std::to_string(h) +
           " picture";
  }
  return {};
}

std::string LibraryProblem(int32_t code) {
  switch (code) {
    case QG_NOT_FOUND: return "too few edges in the rectangle to make a model of";
    case QG_ERR_OUTSIDE:
    case QG_ERR_ARGUMENT: return "the rectangle must be at least 8 pixels each way";
    case QG_ERR_TOO_LARGE: return "the rectangle is too large for a model";
    case QG_ERR_MEMORY: return "not enough memory";
    default: return "the gauge library refused it (code " + std::to_string(code) + ")";
  }
}

// The bytes of the model file: 0 and the bytes, ENOENT when there is none,
// or why what is there cannot be taken.
int ReadModelFile(const std::filesystem::path& path, std::vector<uint8_t>* bytes) {
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return ENOENT;
  int error = 0;
  const int64_t length = FileLength(path, &error);
  if (length < 0) return error == ENOENT ? kNotRegularFile : error;
  if (length > kMaxModelFileBytes) return EFBIG;
  if (length > 0 && ReadWholeFile(path, *bytes) != static_cast<uint64_t>(length)) return EIO;
  return 0;
}

std::vector<uint8_t> Serialised(const qgPartModel* model) {
  size_t size = 0;
  if (model == nullptr || qgPartModelSize(model, &size) != QG_OK) return {};
  std::vector<uint8_t> bytes(size);
  if (qgPartModelSave(model, bytes.data(), bytes.size()) != QG_OK) return {};
  return bytes;
}

bool Refuse(std::string* why, std::string text) {
  *why = std::move(text);
  return false;
}

// An angle in degrees brought into (-180, 180].
double Wrapped(double deg) {
  double a = std::fmod(deg, 360.0);
  if (a <= -180.0) a += 360.0;
  if (a > 180.0) a -= 360.0;
  return a;
}

} // namespace

PartSession::PartSession(Station& station) : station_(station) {}

const qgPartModel* PartSession::model() {
  if (loaded_) return model_.get();
  loaded_ = true;
  const std::filesystem::path path = station_.PathOf(kPartModelName);
  std::vector<uint8_t> bytes;
  const int error = ReadModelFile(path, &bytes);
  if (error == ENOENT) return nullptr;
  if (error != 0 && error != EFBIG) {
    unreadable_ = true;
    station_.surface().ShowNote("Unable to read " + path.string() + ": " + FileErrorText(error) +
                                ". The part is not taught, and the file is left as it is.");
    return nullptr;
  }
  qgPartModel* loaded = nullptr;
  if (error == EFBIG || qgPartModelLoad(bytes.data(), bytes.size(), &loaded) != QG_OK) {
    damaged_ = true;
    station_.surface().ShowNote(std::string("The part model ") + kPartModelName +
                                " is damaged and is not used; it is kept as it is until a part "
                                "is taught again.");
    return nullptr;
  }
  model_.reset(loaded);
  return model_.get();
}

bool PartSession::Teach(PartRect rect, std::string* why) {
  model(); // a damaged or unreadable file is known before it could be replaced
  const ImageState& im = station_.image;
  if (!IsGaugePicture(im)) return Refuse(why, "no picture");
  if (std::string problem = RectProblem(rect, im.width, im.height); !problem.empty()) {
    return Refuse(why, std::move(problem));
  }
  if (unreadable_) return Refuse(why, std::string(kPartModelName) + " cannot be read and is left as it is");
  const qgImage image = GaugePicture(im);
  const qgBox box{rect.x0, rect.y0, rect.x1, rect.y1};
  qgPartModel* taught = nullptr;
  if (const int32_t rc = qgPartTrain(&image, &box, nullptr, &taught); rc != QG_OK) {
    return Refuse(why, LibraryProblem(rc));
  }
  PartModelPtr fresh(taught);
  if (!Store(fresh.get(), why)) return false;
  model_ = std::move(fresh);
  int32_t flags = 0;
  qgPartModelInfo(model_.get(), nullptr, &flags, nullptr, nullptr);
  for (const std::string& warning : PartWarnings(flags)) station_.surface().ShowNote(warning);
  return true;
}

// Writes the model's file whole; a damaged one is set aside first, never
// written over unseen.
bool PartSession::Store(const qgPartModel* fresh, std::string* why) {
  const std::vector<uint8_t> bytes = Serialised(fresh);
  if (bytes.empty()) return Refuse(why, "the model could not be written out");
  const std::filesystem::path path = station_.PathOf(kPartModelName);
  if (damaged_) {
    std::error_code error;
    const std::filesystem::path aside = MoveAside(path, error);
    if (aside.empty()) {
      return Refuse(why, std::string("the damaged ") + kPartModelName +
                             " could not be set aside; it is left as it is");
    }
    damaged_ = false;
    station_.surface().ShowNote(std::string("The damaged part model was set aside as ") +
                                aside.filename().string() + ".");
  }
  int error = 0;
  if (WriteWholeFile(path, bytes.data(), static_cast<uint32_t>(bytes.size()), &error) != bytes.size()) {
    return Refuse(why, "unable to write " + path.string() + ": " + FileErrorText(error != 0 ? error : EIO));
  }
  return true;
}

std::vector<PartPose> PartSession::Find(bool all) {
  std::string why;
  return Find(all, &why);
}

std::vector<PartPose> PartSession::Find(bool all, std::string* why) {
  why->clear();
  const qgPartModel* m = model();
  if (m == nullptr) {
    *why = "no part is taught";
    return {};
  }
  const ImageState& im = station_.image;
  if (!IsGaugePicture(im)) {
    *why = "no picture";
    return {};
  }
  qgPartFindParams params;
  qgPartFindDefaults(&params);
  params.maxInstances = all ? QG_PART_MAX_INSTANCES : 1;
  std::vector<qgPartInstance> found(static_cast<size_t>(params.maxInstances));
  int32_t count = 0;
  const qgImage image = GaugePicture(im);
  const int32_t rc = qgPartFind(&image, m, &params, found.data(), params.maxInstances, &count);
  if (rc != QG_OK && rc != QG_NOT_FOUND) {
    *why = "the gauge library refused the search (code " + std::to_string(rc) + ")";
    return {};
  }
  std::vector<PartPose> poses;
  for (int32_t i = 0; rc == QG_OK && i < count && i < params.maxInstances; ++i) {
    const qgPartInstance& f = found[static_cast<size_t>(i)];
    poses.push_back({f.x, f.y, Wrapped(f.angle), f.score, f.ux, f.uy, f.uangle});
  }
  return poses;
}

std::vector<uint8_t> PartSession::ModelBytes() { return Serialised(model()); }

PartSession& PartOf(Station& station) {
  if (!station.part) station.part = std::make_shared<PartSession>(station);
  return *station.part;
}

uint64_t PictureFingerprint(const ImageState& im) {
  if (!IsGaugePicture(im)) return 0;
  // FNV-1a over the size and the pixels, eight bytes a step.
  uint64_t h = 0xcbf29ce484222325ull;
  auto mix = [&h](uint64_t v) { h = (h ^ v) * 0x100000001b3ull; };
  mix(im.width);
  mix(im.height);
  const size_t row = size_t{im.width} * im.bytes_per_pixel;
  for (uint32_t y = 0; y < im.height; ++y) {
    const uint8_t* p = im.frame + size_t{y} * im.stride;
    size_t x = 0;
    for (; x + 8 <= row; x += 8) {
      uint64_t v = 0;
      std::memcpy(&v, p + x, 8);
      mix(v);
    }
    for (; x < row; ++x) mix(p[x]);
  }
  return h;
}

std::vector<std::string> PartWarnings(int32_t flags) {
  std::vector<std::string> out;
  if (flags & QG_PART_NO_ANGLE) {
    out.emplace_back("The taught part's edges cannot fix its turn (a round part): found angles mean nothing.");
  }
  if (flags & QG_PART_NO_POSITION) {
    out.emplace_back("The taught part's edges run nearly all one way (a straight bar): "
                     "found positions along them mean nothing.");
  }
  if (flags & QG_PART_GRID_ALIGNED) {
    out.emplace_back("Nearly all the taught part's edges run along the pixel grid: "
                     "teach it turned for a more precise model.");
  }
  return out;
}

qgImage GaugePicture(const ImageState& im) {
  return {im.frame, static_cast<int32_t>(im.width), static_cast<int32_t>(im.height),
          static_cast<int32_t>(im.stride), static_cast<int32_t>(im.bytes_per_pixel)};
}

bool IsGaugePicture(const ImageState& im) {
  return im.frame != nullptr && im.width > 0 && im.height > 0 &&
         (im.bytes_per_pixel == 3 || im.bytes_per_pixel == 4);
}

void PartToPicture(const PartPose& pose, double px, double py, double* x, double* y) {
  const double a = pose.angle_deg * kPi / 180.0;
  const double c = std::cos(a), s = std::sin(a);
  *x = pose.x + c * px - s * py;
  *y = pose.y + s * px + c * py;
}

void PictureToPart(const PartPose& pose, double x, double y, double* px, double* py) {
  const double a = pose.angle_deg * kPi / 180.0;
  const double c = std::cos(a), s = std::sin(a);
  const double dx = x - pose.x, dy = y - pose.y;
  *px = c * dx + s * dy;
  *py = -s * dx + c * dy;
}

std::string PartPoseWords(const PartPose& pose) {
  // Three decimals each; a value that rounds to zero prints without a sign,
  // and an angle that rounds to -180 prints as 180, so the text is stable.
  auto fixed = [](double v) {
    double r = std::round(v * 1000.0) / 1000.0;
    if (r == 0.0) r = 0.0;
    char text[48];
    std::snprintf(text, sizeof text, "%.3f", r);
    return std::string(text);
  };
  double angle = std::round(pose.angle_deg * 1000.0) / 1000.0;
  if (angle <= -180.0) angle += 360.0;
  return fixed(pose.x) + ' ' + fixed(pose.y) + ' ' + fixed(angle) + ' ' + fixed(pose.score);
}

} // namespace orvane
