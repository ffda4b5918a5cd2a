#include "acquisition/acquisition.h"

#include <cstring>

#include "acquisition/pixels.h"
#include "algorithms/include/quellix.h"
#include "workspace/solutions.h"

namespace orvane {

void PublishGeometry(Station& st) {
  ImageState& im = st.image;
  st.view.SetFormat(static_cast<int32_t>(im.width), static_cast<int32_t>(im.height),
                    static_cast<int32_t>(im.bits_per_pixel));
  qlxSetUp(im.width, im.height, im.stride, im.bytes_per_pixel, im.frame, im.overlay);
  const Settings& s = st.settings;
  SetEngineSettings(st.engine, im.width, im.height, im.stride, im.bytes_per_pixel, im.frame,
                    im.overlay, s.units, s.unit_factor, s.scale_x, s.scale_y, s.scale_third,
                    s.calibration_distance, s.decimals_dimensions);
}

uint32_t AcquireFrame(Station& st) {
  const auto& source = st.image.file_mode ? st.hooks.reload_still : st.hooks.camera_snapshot;
  return source ? source() : 0;
}

namespace {

void ShowDisplay(Station& st) {
  st.view.bits = st.image.display;
  st.surface().InvalidateControl(ControlId::ImageView, false);
}

} // namespace

void ComposeDisplay(Station& st, const uint8_t* source) {
  ImageState& im = st.image;
  if (source == nullptr || im.display == nullptr || im.overlay == nullptr) return;
  ComposeBytes(source, im.overlay, im.display, im.size);
  ShowDisplay(st);
}

void ShowFrameRaw(Station& st, const uint8_t* source) {
  ImageState& im = st.image;
  if (source == nullptr || im.display == nullptr) return;
  if (source != im.display) std::copy(source, source + im.size, im.display);
  ShowDisplay(st);
}

void SetAcquisitionMode(Station& st, AcquisitionMode mode) {
  ControlSurface& ui = st.surface();
  const bool live = mode == AcquisitionMode::Live;
  ui.Show(ControlId::LiveVideo, live);
  ui.Show(ControlId::ImageView, !live);
  ui.SetText(ControlId::ModeIndicator, live ? "Live" : mode == AcquisitionMode::Still ? "Still" : "File");
  ui.SetColourState(ControlId::ModeIndicator, live ? 0 : 1);
  ui.SetColourState(ControlId::Live, live ? 1 : 0);
}

bool ClearOverlay(Station& st) {
  ImageState& im = st.image;
  if (im.overlay == nullptr) return false;
  std::memset(im.overlay, 0, im.size);
  st.overlay_texts.clear();
  return true;
}

OverlayCanvas CanvasOf(Station& st) {
  OverlayCanvas canvas;
  canvas.pixels = st.image.overlay;
  canvas.width = st.image.width;
  canvas.height = st.image.height;
  canvas.stride = st.image.stride;
  canvas.mark_size_class = st.mark_size_class;
  canvas.text_background = (st.settings.flags & kFlagTextBackground) != 0;
  // Texts are drawn by the overlay's one drawing thread (the entities that
  // two threads draw have none), so the record needs no lock.
  canvas.text_observer = [&st](int32_t x, int32_t y, std::string_view text, Rgb colour) {
    st.overlay_texts.push_back({x, y, std::string(text), colour, st.mark_size_class});
    if (st.overlay_text_observer) st.overlay_text_observer(x, y, text, colour);
  };
  return canvas;
}

} // namespace orvane
