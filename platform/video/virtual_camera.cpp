#include "platform/video/virtual_camera.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <pthread.h>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/video/picture_file.h"
#include "platform/video/picture_store.h"

namespace orvane::video {
namespace {

constexpr auto kFirstPictureWait = std::chrono::milliseconds(1000);
constexpr uint32_t kFramesPerFolderImage = 90; // three seconds at 30 a second
constexpr size_t kMaxFolderImages = 64;
constexpr size_t kNoiseTableSize = 1 << 16;

void Fill(Picture* p, uint8_t grey) {
  for (size_t i = 0; i < p->bgrx.size(); i += 4) {
    p->bgrx[i] = p->bgrx[i + 1] = p->bgrx[i + 2] = grey;
    p->bgrx[i + 3] = 0;
  }
}

template <typename Inside>
void Paint(Picture* p, double x0, double y0, double x1, double y1, uint8_t grey, Inside inside) {
  const int32_t w = int32_t(p->width), h = int32_t(p->height);
  const int32_t ya = std::max(0, int32_t(std::floor(y0))), yb = std::min(h - 1, int32_t(std::ceil(y1)));
  const int32_t xa = std::max(0, int32_t(std::floor(x0))), xb = std::min(w - 1, int32_t(std::ceil(x1)));
  for (int32_t y = ya; y <= yb; ++y) {
    for (int32_t x = xa; x <= xb; ++x) {
      if (!inside(x + 0.5, y + 0.5)) continue;
      uint8_t* px = p->bgrx.data() + (size_t(y) * p->width + size_t(x)) * 4;
      px[0] = px[1] = px[2] = grey;
    }
  }
}

void PaintDisc(Picture* p, double cx, double cy, double r, uint8_t grey) {
  Paint(p, cx - r, cy - r, cx + r, cy + r, grey,
        [=](double x, double y) { return std::hypot(x - cx, y - cy) < r; });
}

void PaintRect(Picture* p, double cx, double cy, double half_w, double half_h, uint8_t grey) {
  Paint(p, cx - half_w, cy - half_h, cx + half_w, cy + half_h, grey, [=](double x, double y) {
    return std::abs(x - cx) < half_w && std::abs(y - cy) < half_h;
  });
}

constexpr size_t kNoiseStart = 7919;       // how far each picture moves its first step
constexpr size_t kInverseOfThree = 43691; // 3 x 43691 = 2 x 65536 + 1

// Small signed steps, drawn once; each picture reads them from another start
// so the noise moves from picture to picture at the cost of an addition.
std::vector<int8_t> MakeNoiseTable() {
  std::vector<int8_t> table(kNoiseTableSize);
  uint32_t s = 0x9E3779B9u;
  for (auto& v : table) {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    v = static_cast<int8_t>(int(s % (2 * kSceneNoise + 1)) - kSceneNoise);
  }
  return table;
}

const std::vector<int8_t>& NoiseSteps() {
  static const std::vector<int8_t> steps = MakeNoiseTable();
  return steps;
}

// The steps in threes, one entry of 4 bytes a pixel: entry q holds steps
// 3q, 3q + 1 and 3q + 2 (around the end) and 0. Byte c of pixel p of a picture
// whose noise starts at step k0 takes step k0 + 3p + c, which is byte c of
// entry p + k0 / 3 (mod 65536: 3 has an inverse), so a picture's noise is one
// run of this table, read from entry k0 / 3 on and starting over at its end.
const std::vector<int8_t>& PixelNoise() {
  static const std::vector<int8_t> table = [] {
    const std::vector<int8_t>& steps = NoiseSteps();
    std::vector<int8_t> t(kNoiseTableSize * 4);
    for (size_t q = 0; q < kNoiseTableSize; ++q) {
      for (size_t c = 0; c < 3; ++c) t[q * 4 + c] = steps[(3 * q + c) % kNoiseTableSize];
    }
    return t;
  }();
  return table;
}

size_t FirstNoiseStep(uint64_t sequence) { return size_t(sequence * kNoiseStart) % kNoiseTableSize; }

uint8_t AddStep(uint8_t value, int8_t step) { return static_cast<uint8_t>(std::clamp(value + step, 0, 255)); }

// `pixels` pixels of `in` plus their noise entries into `out`, the fourth
// bytes 0. Offset by 128 the bytes become signed, and the signed saturating
// add clamps to 0..255 exactly as AddStep does.
void AddNoiseRun(const uint8_t* in, const int8_t* noise, uint8_t* out, size_t pixels) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i offset = _mm_set1_epi8(static_cast<char>(0x80));
  const __m128i colours = _mm_set1_epi32(0x00FFFFFF);
  for (; i + 4 <= pixels; i += 4) {
    const __m128i v = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i * 4)), offset);
    const __m128i n = _mm_loadu_si128(reinterpret_cast<const __m128i*>(noise + i * 4));
    const __m128i sum = _mm_xor_si128(_mm_adds_epi8(v, n), offset);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i * 4), _mm_and_si128(sum, colours));
  }
#endif
  for (; i < pixels; ++i) {
    for (size_t c = 0; c < 3; ++c) out[i * 4 + c] = AddStep(in[i * 4 + c], noise[i * 4 + c]);
    out[i * 4 + 3] = 0;
  }
}

class VirtualDevice final : public VideoDevice {
 public:
  explicit VirtualDevice(const VirtualCameraConfig& config) : config_(config) {}
  ~VirtualDevice() override { Stop(); }

  bool Formats(std::vector<VideoFormat>* out) override {
    *out = config_.formats;
    return true;
  }
  bool SetFormat(const VideoFormat& f) override {
    if (f.width == 0 || f.height == 0) return false;
    width_ = f.width;
    height_ = f.height;
    return true;
  }
  uint32_t CurrentWidth() const override { return width_; }
  uint32_t CurrentHeight() const override { return height_; }

  int32_t Start() override {
    Stop();
    if (width_ == 0 && !config_.formats.empty()) SetFormat(config_.formats.front());
    if (width_ == 0) return -1;
    PrepareSources();
    store_.Clear();
    store_.SetStreaming(true);
    running_ = true;
    thread_ = std::thread([this] {
      // Named so that its CPU can be told apart from the station's own.
      pthread_setname_np(pthread_self(), kVirtualCameraThreadName);
      Run();
    });
    return 0;
  }

  void Stop() override {
    running_ = false;
    if (thread_.joinable()) thread_.join();
    store_.SetStreaming(false);
  }

  bool LatestPicture(Picture* out) override { return store_.Latest(out); }
  bool UseLatestPicture(const std::function<void(const Picture&)>& use) override {
    return store_.UseLatest(use);
  }
  bool Snapshot(std::vector<uint8_t>* out) override {
    return store_.Snapshot(out, kFirstPictureWait);
  }
  bool SnapshotPicture(const std::function<void(const Picture&)>& use) override {
    return store_.UseNewest(use, kFirstPictureWait);
  }
  void SetPictureListener(std::function<void()> listener) override {
    store_.SetListener(std::move(listener));
  }

 private:
  void PrepareSources() {
    sources_.clear();
    const bool synthetic = config_.source == kVirtualSceneSource || config_.source == kVirtualGridSource ||
                           config_.source == kVirtualBarsSource;
    if (!synthetic) {
      std::error_code ec;
      std::vector<std::filesystem::path> files;
      for (const auto& entry : std::filesystem::directory_iterator(config_.source, ec)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        if (ext == ".bmp" || ext == ".jpg" || ext == ".jpeg") files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
      for (const auto& file : files) {
        if (sources_.size() == kMaxFolderImages) break;
        Picture loaded;
        if (!LoadPictureFile(file, &loaded)) continue;
        sources_.emplace_back();
        ScalePicture(loaded, width_, height_, &sources_.back());
      }
    }
    // The scene stands in for a folder without a picture it can show.
    folder_ = !sources_.empty();
    noisy_ = sources_.empty() && config_.noise;
    if (sources_.empty()) {
      sources_.emplace_back();
      if (!DrawSyntheticScene(config_.source, config_.lens, width_, height_, &sources_.back())) {
        DrawScene(width_, height_, &sources_.back());
      }
    }
  }

  void Run() {
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / std::max(1.0, config_.frames_per_second)));
    // Sleeps until `until` in short steps, so that Stop never waits a whole
    // period; false once stopped.
    auto sleep_until = [this](Clock::time_point until) {
      while (running_ && Clock::now() < until) {
        std::this_thread::sleep_for(std::min<Clock::duration>(until - Clock::now(), std::chrono::milliseconds(5)));
      }
      return running_.load();
    };
    auto next = Clock::now();
    Clock::duration drawing{};
    uint64_t count = 0;
    while (running_) {
      // Each picture is drawn shortly before its instant and handed over at
      // it, so pictures arrive at an even rhythm whatever the drawing takes,
      // as a real camera's do, and the drawing does not take the processor
      // from the reader just woken by the picture before.
      if (!sleep_until(next - std::min<Clock::duration>(2 * drawing + std::chrono::milliseconds(2), period))) break;
      const auto started = Clock::now();
      const Picture& base = sources_[(count / kFramesPerFolderImage) % sources_.size()];
      Picture& back = store_.Back(width_, height_);
      back.scene = folder_ ? count / kFramesPerFolderImage + 1 : 0;
      if (noisy_) {
        AddSensorNoise(base, count, &back);
      } else {
        back.bgrx = base.bgrx;
      }
      drawing = Clock::now() - started;
      if (!sleep_until(next)) break;
      store_.Publish();
      ++count;
      next += period;
    }
  }

  VirtualCameraConfig config_;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  std::vector<Picture> sources_;
  bool noisy_ = false;
  bool folder_ = false; // the pictures are a folder's
  PictureStore store_;
  std::atomic<bool> running_{false};
  std::thread thread_;
};

class VirtualBackend final : public VideoBackend {
 public:
  explicit VirtualBackend(VirtualCameraConfig config) : config_(std::move(config)) {}
  std::vector<std::string> DeviceNames() override { return {kVirtualCameraName}; }
  std::unique_ptr<VideoDevice> Open(int32_t index, OpenError* error) override {
    if (index != 0) {
      *error = OpenError::NoDevice;
      return nullptr;
    }
    *error = OpenError::None;
    return std::make_unique<VirtualDevice>(config_);
  }

 private:
  VirtualCameraConfig config_;
};

bool ParseNumber(std::string_view text, uint32_t* out) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return ec == std::errc() && end == text.data() + text.size() && *out > 0 && *out <= 16384;
}

} // namespace

void AddSensorNoise(const Picture& base, uint64_t sequence, Picture* out) {
  const std::vector<int8_t>& table = PixelNoise();
  const size_t pixels = base.bgrx.size() / 4;
  size_t entry = FirstNoiseStep(sequence) * kInverseOfThree % kNoiseTableSize;
  for (size_t done = 0; done < pixels;) {
    const size_t run = std::min(pixels - done, kNoiseTableSize - entry);
    AddNoiseRun(base.bgrx.data() + done * 4, table.data() + entry * 4, out->bgrx.data() + done * 4, run);
    done += run;
    entry = 0;
  }
}

void AddSensorNoiseByteByByte(const Picture& base, uint64_t sequence, Picture* out) {
  const std::vector<int8_t>& steps = NoiseSteps();
  size_t k = FirstNoiseStep(sequence);
  for (size_t i = 0; i + 4 <= base.bgrx.size(); i += 4) {
    for (size_t c = 0; c < 3; ++c) {
      out->bgrx[i + c] = AddStep(base.bgrx[i + c], steps[k]);
      if (++k == steps.size()) k = 0;
    }
    out->bgrx[i + 3] = 0;
  }
}

VideoFormat MakeVirtualFormat(uint32_t width, uint32_t height, uint32_t compression) {
  const uint32_t bits = compression == kCompressionYuy2 ? 16 : 24;
  return VideoFormat{width, height, bits, compression, width * height * (bits / 8)};
}

std::vector<VideoFormat> DefaultVirtualFormats() {
  return {MakeVirtualFormat(640, 480, kCompressionRgb),   MakeVirtualFormat(640, 480, kCompressionYuy2),
          MakeVirtualFormat(800, 600, kCompressionRgb),   MakeVirtualFormat(1024, 768, kCompressionRgb),
          MakeVirtualFormat(1280, 720, kCompressionYuy2), MakeVirtualFormat(1280, 720, FourCc('M', 'J', 'P', 'G')),
          MakeVirtualFormat(1920, 1080, kCompressionRgb), MakeVirtualFormat(1920, 1080, kCompressionYuy2)};
}

bool ParseFormatList(std::string_view text, std::vector<VideoFormat>* out) {
  std::vector<VideoFormat> formats;
  while (!text.empty()) {
    const size_t comma = text.find(',');
    const std::string_view entry = text.substr(0, comma);
    text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    const size_t x = entry.find('x');
    const size_t colon = entry.find(':');
    if (x == std::string_view::npos || colon == std::string_view::npos || colon < x) return false;
    uint32_t w = 0, h = 0;
    if (!ParseNumber(entry.substr(0, x), &w) || !ParseNumber(entry.substr(x + 1, colon - x - 1), &h)) {
      return false;
    }
    const std::string_view code = entry.substr(colon + 1);
    uint32_t compression = 0;
    if (code == "RGB") {
      compression = kCompressionRgb;
    } else if (code == "YUY2") {
      compression = kCompressionYuy2;
    } else if (code.size() == 4) {
      compression = FourCc(code[0], code[1], code[2], code[3]);
    } else {
      return false;
    }
    formats.push_back(MakeVirtualFormat(w, h, compression));
  }
  if (formats.empty()) return false;
  *out = std::move(formats);
  return true;
}

SceneLayout LayoutScene(uint32_t width, uint32_t height) {
  // The scene keeps its horizontal field of view, as a sensor cropped to
  // another aspect does: its scale follows the width, and its 4:3 frame
  // (0.75 of the width high) is cut or extended about the middle row.
  const double w = width, h = height;
  const double frame_h = 0.75 * w;
  const double top = (h - frame_h) / 2.0;
  SceneLayout s{};
  s.target_radius = w / 8.0;
  s.unit = s.target_radius / 3.0;
  s.target_x = 0.28 * w;
  s.target_y = top + 0.5 * frame_h;
  s.bar_x = 0.72 * w;
  s.bar_y = top + 0.28 * frame_h;
  s.disc_x = 0.62 * w;
  s.disc_y = top + 0.72 * frame_h;
  s.square_x = 0.86 * w;
  s.square_y = top + 0.72 * frame_h;
  return s;
}

namespace {

// One shape of a synthetic scene, in the picture's continuous coordinates
// (pixel x covers x to x + 1).
struct Shape {
  bool disc;
  double cx, cy, a, b; // disc: radius a; rectangle: half width a, half height b
  uint8_t grey;
  bool Inside(double x, double y) const {
    return disc ? std::hypot(x - cx, y - cy) < a : std::abs(x - cx) < a && std::abs(y - cy) < b;
  }
};

std::vector<Shape> SceneShapes(uint32_t width, uint32_t height, std::string_view name) {
  std::vector<Shape> shapes;
  if (name == kVirtualSceneSource) {
    const SceneLayout s = LayoutScene(width, height);
    shapes.push_back({true, s.target_x, s.target_y, s.target_radius, 0, kSceneRing});
    shapes.push_back({true, s.target_x, s.target_y, s.target_radius / 2.0, 0, kSceneCentre});
    shapes.push_back({false, s.bar_x, s.bar_y, 3.0 * s.unit, 1.5 * s.unit, kScenePart});
    shapes.push_back({true, s.disc_x, s.disc_y, 2.0 * s.unit, 0, kScenePart});
    shapes.push_back({false, s.square_x, s.square_y, 1.5 * s.unit, 1.5 * s.unit, kScenePart});
  } else if (name == kVirtualGridSource) {
    const GridLayout g = LayoutGrid(width, height);
    for (uint32_t r = 0; r < kGridRows; ++r) {
      for (uint32_t c = 0; c < kGridCols; ++c) {
        shapes.push_back({true, g.first_x + c * g.pitch, g.first_y + r * g.pitch, g.radius, 0, kSceneRing});
      }
    }
  } else if (name == kVirtualBarsSource) {
    const double unit = LayoutScene(width, height).unit;
    for (const BarCentre& b : LayoutBars(width, height)) {
      shapes.push_back({false, b.x, b.y, 3.0 * unit, 1.5 * unit, kScenePart});
    }
  }
  return shapes;
}

} // namespace

void DrawScene(uint32_t width, uint32_t height, Picture* out) {
  DrawSyntheticScene(kVirtualSceneSource, VirtualLens{}, width, height, out);
}

GridLayout LayoutGrid(uint32_t width, uint32_t height) {
  const double pitch = std::min(0.8 * width / (kGridCols - 1), 0.8 * height / (kGridRows - 1));
  return {width / 2.0 - pitch * (kGridCols - 1) / 2.0, height / 2.0 - pitch * (kGridRows - 1) / 2.0, pitch,
          0.12 * pitch};
}

std::vector<BarCentre> LayoutBars(uint32_t width, uint32_t height) {
  std::vector<BarCentre> bars;
  for (double fy : {0.15, 0.5, 0.85}) {
    for (double fx : {0.17, 0.5, 0.83}) bars.push_back({fx * width, fy * height});
  }
  return bars;
}

bool DrawSyntheticScene(std::string_view name, const VirtualLens& lens, uint32_t width, uint32_t height,
                        Picture* out) {
  if (name != kVirtualSceneSource && name != kVirtualGridSource && name != kVirtualBarsSource) return false;
  const std::vector<Shape> shapes = SceneShapes(width, height, name);
  if (!IsPlainLens(lens)) {
    // Shapes by the cells of a coarse grid their boxes touch, in painting
    // order, so a point tests only its own cell's few shapes.
    constexpr double kCell = 32.0;
    const int cols = int(width / kCell) + 1, rows = int(height / kCell) + 1;
    std::vector<std::vector<uint32_t>> cells(size_t(cols) * size_t(rows));
    for (uint32_t i = 0; i < shapes.size(); ++i) {
      const Shape& s = shapes[i];
      const double half_h = s.disc ? s.a : s.b;
      const int xa = std::clamp(int((s.cx - s.a) / kCell), 0, cols - 1);
      const int xb = std::clamp(int((s.cx + s.a) / kCell), 0, cols - 1);
      const int ya = std::clamp(int((s.cy - half_h) / kCell), 0, rows - 1);
      const int yb = std::clamp(int((s.cy + half_h) / kCell), 0, rows - 1);
      for (int y = ya; y <= yb; ++y) {
        for (int x = xa; x <= xb; ++x) cells[size_t(y) * size_t(cols) + size_t(x)].push_back(i);
      }
    }
    const auto grey = [&](double sx, double sy) {
      // Lens coordinates count pixel centres; the shapes count pixel edges.
      const double x = sx + 0.5, y = sy + 0.5;
      if (!(x >= 0.0 && y >= 0.0 && x < cols * kCell && y < rows * kCell)) return kSceneBackground;
      uint8_t g = kSceneBackground;
      for (uint32_t i : cells[size_t(y / kCell) * size_t(cols) + size_t(x / kCell)]) {
        if (shapes[i].Inside(x, y)) g = shapes[i].grey;
      }
      return g;
    };
    RenderThroughLens(lens, width, height, grey, kSceneBackground, out);
    return true;
  }
  out->width = width;
  out->height = height;
  out->bgrx.assign(size_t{width} * height * 4, 0);
  Fill(out, kSceneBackground);
  for (const Shape& s : shapes) {
    if (s.disc) {
      PaintDisc(out, s.cx, s.cy, s.a, s.grey);
    } else {
      PaintRect(out, s.cx, s.cy, s.a, s.b, s.grey);
    }
  }
  return true;
}

std::unique_ptr<VideoBackend> MakeVirtualBackend(VirtualCameraConfig config) {
  return std::make_unique<VirtualBackend>(std::move(config));
}

} // namespace orvane::video
