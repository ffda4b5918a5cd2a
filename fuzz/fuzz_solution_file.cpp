// The content of a solution file, checked in memory, then every walker that
// follows a loaded record: the ROI pull, the clamped copies, the rescale of
// the record, the overlay redraw on a small image and the DXF Trace Output
// drawing into a memory sink. No file is touched, so one core runs thousands
// of inputs a second; fuzz_solution_file_e2e goes through real files.
//
// Input, first byte bit 0x80 set: the remaining bytes are the whole file
// (shorter than a record: the loader's default takes its place).
// Otherwise a compact form that reaches deep into a 246 KiB record with a few
// bytes: a header of knobs, then patches over a built-in solution's record:
//   [0] built-in slot (low bits)     [1] image width - 8    [2] image height - 8
//   [3] mouse mode, mark size class  [4] units, calibrated, text background
//   [5] decimals of lengths          [6] decimals of angles [7] DXF scale choice
//   then { u32 offset (mod record size), u8 n, n bytes } as long as they last.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>
#include <algorithm>

#include "dxf/dxf_solutions.h"
#include "dxf/writer.h"
#include "fuzz/check.h"
#include "solutions/measurement.h"
#include "workspace/solutions.h"

namespace {

using orvane::SolutionRecord;
using orvane::SolutionTable;

constexpr size_t kHeader = 8;
constexpr double kScales[8] = {1.0 / 96, 0.5, 1.0, 2.0, 1.0e3, 1.0e-9, 1.0e300, 0.01};

struct Fixture {
  // A folder that does not exist: any file the walkers tried to write would
  // fail rather than litter the machine.
  orvane::Station station{"/nonexistent/orvane-fuzz"};
  std::unique_ptr<SolutionTable> defaults = std::make_unique<SolutionTable>();
  std::vector<uint8_t> bytes; // kept from run to run: no 246 KiB allocation a run
  std::vector<uint8_t> image;
  Fixture() { orvane::BuildDefaultSolutions(*defaults); }
};

Fixture& Shared() {
  static Fixture* f = new Fixture;
  return *f;
}

// Builds the record image of the compact form: a built-in record with the
// patches written over it.
void PatchedImage(const uint8_t* data, size_t size, const SolutionRecord& base,
                  std::vector<uint8_t>& out) {
  out.resize(sizeof(SolutionRecord));
  std::memcpy(out.data(), &base, sizeof base);
  size_t at = kHeader;
  while (at + 5 <= size) {
    uint32_t offset;
    std::memcpy(&offset, data + at, 4);
    offset %= sizeof(SolutionRecord);
    size_t n = data[at + 4];
    at += 5;
    n = std::min({n, size - at, sizeof(SolutionRecord) - offset});
    std::memcpy(out.data() + offset, data + at, n);
    at += n;
  }
}

bool Terminated(const char* text, size_t size) { return std::memchr(text, 0, size) != nullptr; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Fixture& f = Shared();
  orvane::Station& st = f.station;
  const bool raw = size > 0 && (data[0] & 0x80) != 0;
  uint8_t knob[kHeader] = {};
  if (!raw) std::memcpy(knob, data, std::min(size, kHeader));
  const uint32_t slot = knob[0] % f.defaults->count;

  std::vector<uint8_t>& bytes = f.bytes;
  if (raw) {
    bytes.assign(data + 1, data + size);
  } else {
    PatchedImage(data, size, f.defaults->slots[slot], bytes);
  }
  // Decoded straight into the working record, which the panel pulls and the
  // overlay draws.
  SolutionRecord& rec = *st.working;
  if (!orvane::SolutionRecordFromBytes(bytes, &rec)) {
    CHECK(bytes.size() < sizeof(SolutionRecord));
    rec = f.defaults->slots[slot];
  }
  CHECK(rec.roi_count <= orvane::kMaxRois && rec.entity_count <= orvane::kMaxEntities);
  CHECK(rec.meas_count <= orvane::kMaxMeasSets && rec.result_point_count <= orvane::kMaxResultPoints);
  for (uint32_t n : rec.meas_points) CHECK(n <= orvane::kMaxMeasPoints);
  for (const orvane::DrawEntity& e : rec.entities) CHECK(e.point_count <= orvane::kMaxEntityPoints);
  CHECK(Terminated(rec.name, sizeof rec.name) && Terminated(rec.result_text, sizeof rec.result_text));
  for (const orvane::SolutionParam& p : rec.params) CHECK(Terminated(p.name, sizeof p.name));

  // A small image, 8 .. 263 pixels a side.
  const uint32_t w = 8u + knob[1];
  const uint32_t h = 8u + knob[2];
  orvane::ImageState& im = st.image;
  im.width = w;
  im.height = h;
  im.stride = w * 3;
  im.size = im.stride * h;
  f.image.assign(im.size, 0);
  im.overlay = f.image.data();

  // The record as the panel loads it, then the copies pixel code gets.
  orvane::PullRoisInside(rec, w, h);
  for (uint32_t i = 0; i < rec.roi_count; ++i) {
    RoiRecord c;
    CHECK(orvane::ClampRoiToImage(rec.rois[i], w, h, &c));
    CHECK(c.left >= 0 && c.right < static_cast<int32_t>(w) && c.top >= 0 &&
          c.bottom < static_cast<int32_t>(h));
  }

  // The overlay of the record on the small image.
  st.view.mouse_mode = knob[3] & 7;
  st.mark_size_class = (knob[3] >> 3) & 3;
  orvane::Settings& s = st.settings;
  s.units = knob[4] & 1;
  s.unit_factor = s.units == 1 ? orvane::kMetricUnitFactor : 1.0;
  s.calibrated = (knob[4] >> 1) & 1;
  s.flags = (knob[4] & 4) != 0 ? orvane::kFlagTextBackground : 0;
  s.scale_x = s.scale_y = 96.0;
  s.calibration_distance = 24.0;
  s.decimals_dimensions = knob[5] % 16;
  s.decimals_angles = knob[6] % 12;
  orvane::RedrawOverlay(st);

  // The drawing of the record's entities.
  orvane::DxfStringSink sink;
  orvane::WriteTraceDrawing(sink, rec, kScales[knob[7] & 7], h);
  CHECK(sink.text().find("nan") == std::string::npos && sink.text().find("inf") == std::string::npos);

  // The record rescaled for a new image size from its relative corners.
  const uint32_t new_w = 2 * w, new_h = h + 1;
  orvane::RescaleRecordRois(rec, w, h, new_w, new_h);
  for (uint32_t i = 0; i < rec.roi_count; ++i) {
    const RoiRecord& r = rec.rois[i];
    CHECK(r.left >= 0 && r.left < static_cast<int32_t>(w) && r.right >= 0 &&
          r.right < static_cast<int32_t>(w));
    CHECK(r.top >= 0 && r.top < static_cast<int32_t>(h) && r.bottom >= 0 &&
          r.bottom < static_cast<int32_t>(h));
  }
  return 0;
}
