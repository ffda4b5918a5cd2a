// A station with an image and the image view set up for mouse tests. The view
// is twice the image's width and four times its height, so every client
// position maps through both scales; the helpers take image coordinates.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/station_fixture.h"
#include "view/mouse.h"

namespace orvane::testing {

// Table slots of the default solutions.
enum SolutionSlot : uint32_t {
  kAutoCalibration = 0,
  kManualCalibration = 1,
  kManualMeasurement = 2,
  kDxfAutoOutput = 3,
  kDxfSimpleOutput = 4,
  kDxfTraceOutput = 5,
};

struct ViewStation : StationFixture {
  explicit ViewStation(uint32_t slot, uint32_t width = 320, uint32_t height = 240);

  // Selects another solution as the working record.
  void Select(uint32_t slot);

  void Press(int32_t x, int32_t y, uint32_t keys = kKeyLeftButton);
  void Move(int32_t x, int32_t y, uint32_t keys = kKeyLeftButton);
  void Release(int32_t x, int32_t y, uint32_t keys = 0);
  void RightPress(int32_t x, int32_t y, uint32_t keys = kKeyRightButton);
  void RightRelease(int32_t x, int32_t y, uint32_t keys = 0);
  void Drag(int32_t x0, int32_t y0, int32_t x1, int32_t y1);

  // The distance dialog's user: types a number and presses OK or Cancel.
  void AnswerDistance(const std::string& text, bool ok = true);

  SolutionRecord& rec() { return *station.working; }
  RoiRecord& AddRoi(int32_t left, int32_t top, int32_t right, int32_t bottom);

  // How often the view was shown anew (each ComposeDisplay invalidates it).
  uint32_t shows() { return surface.control(ControlId::ImageView).invalidations; }
  // The overlay pixel at (x, y) as R, G, B.
  Rgb OverlayAt(int32_t x, int32_t y) const;
  std::string coordinate_line() { return surface.GetText(ControlId::CoordinateLine); }

  // Legends drawn into the overlay, one per redraw.
  std::vector<std::string> legends;
  int32_t view_scale_x = 2;
  int32_t view_scale_y = 4;
};

} // namespace orvane::testing
