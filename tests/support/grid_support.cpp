#include "support/grid_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "acquisition/camera_capture.h"
#include "acquisition/rectification.h"
#include "platform/video/virtual_camera.h"

namespace orvane::testing {

bool CalibrateVirtualGrid(Station& st) {
  const rectify::GridSpec spec{rectify::GridKind::Dots, video::kGridRows, video::kGridCols, 1.0};
  std::vector<std::vector<rectify::Point2>> views;
  if (const auto problem = GrabGridView(st, spec, &views)) {
    ADD_FAILURE() << *problem;
    return false;
  }
  std::string error;
  const auto fit = rectify::FitGrid(spec, views, st.camera->native_width, st.camera->native_height, &error);
  if (!fit) {
    ADD_FAILURE() << error;
    return false;
  }
  if (const auto problem = AcceptGridCalibration(st, spec, *fit)) {
    ADD_FAILURE() << *problem;
    return false;
  }
  return true;
}

} // namespace orvane::testing
