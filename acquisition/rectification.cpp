#include "acquisition/rectification.h"

#include <cerrno>
#include <charconv>
#include <cstring>

#include "acquisition/camera_capture.h"
#include "station/station.h"
#include "workspace/files.h"

namespace orvane {
namespace {

using rectify::FileState;
using rectify::RectificationRecord;

// Numbers for people, the same in every locale.
std::string Fixed(double v, int decimals) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, decimals);
  return ec == std::errc() ? std::string(buffer, end) : std::string("?");
}

std::string SizeText(uint32_t w, uint32_t h) { return std::to_string(w) + " x " + std::to_string(h); }

// The open camera's name as the file keeps it: one line, no control bytes.
std::string CameraName(Station& st) {
  CameraCapture& cam = CaptureOf(st);
  const std::vector<std::string> names = cam.backend().DeviceNames();
  if (cam.device_index < 0 || static_cast<size_t>(cam.device_index) >= names.size()) return {};
  std::string name = names[static_cast<size_t>(cam.device_index)].substr(0, 255);
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  }
  return name;
}

void NotifyStatus(Station& st) {
  if (st.hooks.update_status_line) st.hooks.update_status_line();
}

bool SameSize(const SharedRemapTables& t, uint32_t w, uint32_t h) { return t.width() == w && t.height() == h; }

constexpr std::string_view kTheFile = "The rectification file";

// The status line's words for a file refused: "The rectification file is
// damaged." becomes "Rectification off: RECTIFY.CFG is damaged".
std::string OffNote(std::string error) {
  if (error.starts_with(kTheFile)) error.replace(0, kTheFile.size(), rectify::kRectificationFile);
  if (!error.empty() && error.back() == '.') error.pop_back();
  return "Rectification off: " + error;
}

} // namespace

rectify::FileState LoadRectificationFile(const std::filesystem::path& path, RectificationRecord* record,
                                         std::string* error) {
  int why = 0;
  int64_t length = FileLength(path, &why);
  if (length < 0 && why == ENOENT) return FileState::Missing;
  std::string text;
  if (length > static_cast<int64_t>(rectify::kMaxRectificationFileBytes)) {
    *error = std::string(kTheFile) + " is damaged.";
    return FileState::Damaged;
  }
  if (length > 0) {
    text.resize(static_cast<size_t>(length));
    if (ReadFileInto(path, text.data(), static_cast<uint32_t>(length), &why) == 0) length = -1;
  }
  if (length < 0) {
    *error = std::string(kTheFile) + " could not be read: " + FileErrorText(why) + ".";
    return FileState::Unreadable;
  }
  std::optional<RectificationRecord> parsed = rectify::ParseRectification(text, error);
  if (!parsed) return FileState::Damaged;
  *record = std::move(*parsed);
  return FileState::Loaded;
}

bool SaveRectificationFile(const std::filesystem::path& path, const RectificationRecord& record,
                           std::string* error) {
  const std::string text = rectify::FormatRectification(record);
  int why = 0;
  const auto n = static_cast<uint32_t>(text.size());
  if (WriteWholeFile(path, text.data(), n, &why) == n) return true;
  *error = std::string(kTheFile) + " could not be written: " + FileErrorText(why) + ".";
  return false;
}

void LoadRectification(Station& st) {
  CameraCapture& cam = CaptureOf(st);
  RectificationState& r = cam.rectification;
  r.record.reset();
  r.tables = rectify::RemapTables();
  r.note.clear();
  if (!cam.device) return;
  RectificationRecord record;
  std::string error;
  switch (LoadRectificationFile(st.PathOf(rectify::kRectificationFile), &record, &error)) {
    case FileState::Missing:
      return;
    case FileState::Damaged:
    case FileState::Unreadable:
      r.note = OffNote(error);
      return;
    case FileState::Loaded:
      break;
  }
  if (record.camera != CameraName(st) || record.model.width != cam.native_width ||
      record.model.height != cam.native_height) {
    r.note = "Rectification off: made for " + record.camera + " at " +
             SizeText(record.model.width, record.model.height);
    return;
  }
  r.record = std::move(record);
  if (!r.record->on) return;
  if (!r.tables.Build(r.record->model)) {
    r.note = "Rectification off: the lens model does not fit the picture";
    return;
  }
  r.note = "Rectified";
}

void RectifySnapshot(Station& st, std::vector<uint8_t>& snapshot) {
  if (!st.camera) return;
  RectificationState& r = st.camera->rectification;
  if (!r.active() || snapshot.size() < video::kBitmapHeaderSize) return;
  const uint32_t w = r.tables.width(), h = r.tables.height();
  const size_t row = size_t{w} * 4;
  uint32_t header_w = 0, header_h = 0;
  std::memcpy(&header_w, snapshot.data() + 4, 4);
  std::memcpy(&header_h, snapshot.data() + 8, 4);
  if (header_w != w || header_h != h || snapshot.size() < video::kBitmapHeaderSize + row * h) return;
  // The tables count rows top-down; the bitmap keeps them bottom-up.
  r.scratch.resize(row * h);
  r.scratch2.resize(row * h);
  uint8_t* rows = snapshot.data() + video::kBitmapHeaderSize;
  for (uint32_t y = 0; y < h; ++y) std::memcpy(r.scratch.data() + row * y, rows + row * (h - 1 - y), row);
  r.tables.Apply(r.scratch.data(), r.scratch2.data());
  for (uint32_t y = 0; y < h; ++y) std::memcpy(rows + row * (h - 1 - y), r.scratch2.data() + row * y, row);
}

bool RectifyPictureInto(Station& st, const video::Picture& picture, std::vector<uint8_t>* dest) {
  if (!st.camera) return false;
  const RectificationState& r = st.camera->rectification;
  if (!r.active() || !SameSize(r.tables, picture.width, picture.height)) return false;
  const size_t row = size_t{picture.width} * 4;
  if (picture.bgrx.size() < row * picture.height) return false;
  dest->resize(picture.bgrx.size());
  r.tables.Apply(picture.bgrx.data(), dest->data());
  return true;
}

void RectifyPicture(Station& st, video::Picture& picture) {
  if (!st.camera) return;
  RectificationState& r = st.camera->rectification;
  if (RectifyPictureInto(st, picture, &r.scratch)) picture.bgrx.swap(r.scratch);
}

std::string RectificationNote(const Station& st) {
  return st.camera ? st.camera->rectification.note : std::string();
}

bool RawCameraPicture(Station& st, video::Picture* out) {
  if (!st.camera || !st.camera->device) return false;
  // A snapshot waits a moment for the first picture of a camera just opened.
  std::vector<uint8_t> bitmap;
  if (!st.camera->device->Snapshot(&bitmap) || bitmap.size() < video::kBitmapHeaderSize) return false;
  uint32_t w = 0, h = 0;
  std::memcpy(&w, bitmap.data() + 4, 4);
  std::memcpy(&h, bitmap.data() + 8, 4);
  const size_t row = size_t{w} * 4;
  if (w == 0 || h == 0 || bitmap.size() < video::kBitmapHeaderSize + row * h) return false;
  out->width = w;
  out->height = h;
  out->bgrx.resize(row * h);
  const uint8_t* rows = bitmap.data() + video::kBitmapHeaderSize;
  for (uint32_t y = 0; y < h; ++y) std::memcpy(out->bgrx.data() + row * y, rows + row * (h - 1 - y), row);
  return true;
}

std::optional<std::string> GrabGridPicture(Station& st, video::Picture* picture) {
  if (!RawCameraPicture(st, picture)) return "No camera picture to calibrate on.";
  if (picture->width != st.camera->native_width || picture->height != st.camera->native_height) {
    return "The camera delivers another picture size than it was opened at.";
  }
  return std::nullopt;
}

std::optional<std::string> GrabGridView(Station& st, const rectify::GridSpec& spec,
                                        std::vector<std::vector<rectify::Point2>>* views,
                                        video::Picture* shown) {
  if (auto bad = rectify::CheckGridSpec(spec)) return bad;
  video::Picture picture;
  if (auto problem = GrabGridPicture(st, &picture)) return problem;
  std::vector<rectify::Point2> found;
  if (!rectify::DetectGrid(picture.bgrx.data(), picture.width, picture.height, size_t{picture.width} * 4, spec,
                           &found)) {
    return kGridNotFound;
  }
  views->push_back(std::move(found));
  if (shown) *shown = std::move(picture);
  return std::nullopt;
}

std::optional<std::string> AcceptGridCalibration(Station& st, const rectify::GridSpec& spec,
                                                 const rectify::GridFit& fit) {
  CameraCapture& cam = CaptureOf(st);
  if (!cam.device) return "No camera is open.";
  if (fit.model.width != cam.native_width || fit.model.height != cam.native_height) {
    return "The calibration is for another picture size.";
  }
  RectificationRecord record;
  record.camera = CameraName(st);
  record.on = true;
  record.grid = spec;
  record.figures = fit.figures;
  record.model = fit.model;
  std::string error;
  if (!SaveRectificationFile(st.PathOf(rectify::kRectificationFile), record, &error)) return error;
  LoadRectification(st);
  NotifyStatus(st);
  return std::nullopt;
}

std::optional<std::string> SetRectification(Station& st, bool on) {
  CameraCapture& cam = CaptureOf(st);
  RectificationState& r = cam.rectification;
  if (!r.record) {
    if (!on) return std::nullopt; // off already: there is nothing to apply
    return r.note.empty() ? "No grid calibration for this camera." : r.note + ".";
  }
  RectificationRecord record = *r.record;
  record.on = on;
  std::string error;
  if (!SaveRectificationFile(st.PathOf(rectify::kRectificationFile), record, &error)) return error;
  LoadRectification(st);
  NotifyStatus(st);
  return std::nullopt;
}

std::string FiguresText(const rectify::GridFigures& g) {
  return "RMS " + Fixed(g.rms, 3) + " px, held out " + Fixed(g.held_out_rms, 3) + " px, largest " +
         Fixed(g.largest, 3) + " px, " + std::to_string(g.fitted) + " + " + std::to_string(g.held_out) +
         " points, " + std::to_string(g.views) + (g.views == 1 ? " view" : " views");
}

std::string DescribeRectification(const Station& st) {
  const RectificationState* r = st.camera ? &st.camera->rectification : nullptr;
  if (r == nullptr || !r->record) {
    const std::string note = r ? r->note : std::string();
    return note.empty() ? "Rectification: none" : note;
  }
  const RectificationRecord& rec = *r->record;
  const rectify::LensModel& m = rec.model;
  std::string text = std::string("Rectification: ") + (r->active() ? "on" : "off") + "\n";
  text += "Camera: " + rec.camera + ", " + SizeText(m.width, m.height) + "\n";
  text += std::string("Grid: ") + rectify::GridKindName(rec.grid.kind) + " " + std::to_string(rec.grid.rows) +
          " x " + std::to_string(rec.grid.cols) + ", pitch " + Fixed(rec.grid.pitch, 4) + "\n";
  text += "Figures: " + FiguresText(rec.figures) + "\n";
  text += "Lens: f " + Fixed(m.fx, 1) + " px, centre " + Fixed(m.cx, 1) + " " + Fixed(m.cy, 1) + ", k1 " +
          Fixed(m.k1, 4) + ", k2 " + Fixed(m.k2, 4) + ", k3 " + Fixed(m.k3, 4) + ", p1 " + Fixed(m.p1, 5) +
          ", p2 " + Fixed(m.p2, 5);
  return text;
}

} // namespace orvane
