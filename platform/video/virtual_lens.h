// The virtual camera's lens: renders a flat scene as a real camera would see
// it through a lens with radial and tangential distortion, tilted about the
// horizontal axis, so rectification has ground truth to be checked against.
//
// ORVANE_VIRTUAL_LENS=k1=-0.2,tilt=10     keys k1 k2 k3 p1 p2 (the distortion
//                                         in normalised coordinates), tilt
//                                         (degrees, top edge away from the
//                                         camera) and focal (pixels; 0 or
//                                         absent: the picture's width)
//
// The flat scene is the picture the virtual camera draws without a lens: a
// point (sx, sy) of it lies at (sx - cx, sy - cy) on the measuring plane, cx
// and cy the picture's centre, in pixels at the scene's own scale.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "platform/video/video.h"

namespace orvane::video {

inline constexpr const char* kVirtualLensVariable = "ORVANE_VIRTUAL_LENS";

struct VirtualLens {
  double k1 = 0.0, k2 = 0.0, k3 = 0.0, p1 = 0.0, p2 = 0.0;
  double tilt_degrees = 0.0;
  double focal = 0.0; // pixels; 0: the picture's width
  bool operator==(const VirtualLens&) const = default;
};

// Parses "key=value[,key=value...]"; false (and `out` untouched) on an unknown
// key, a value that is no finite number, a tilt beyond +-60 degrees or a
// negative focal length.
bool ParseVirtualLens(std::string_view text, VirtualLens* out);

// Whether the lens leaves the scene as it is.
bool IsPlainLens(const VirtualLens& lens);

// Where a flat-scene point appears in a width x height camera picture, and
// the flat-scene point a camera pixel sees (false when its ray misses the
// plane). Pixel coordinates count pixel centres.
void LensForward(const VirtualLens& lens, uint32_t width, uint32_t height, double sx, double sy, double* u,
                 double* v);
bool LensBackward(const VirtualLens& lens, uint32_t width, uint32_t height, double u, double v, double* sx,
                  double* sy);

// Renders the camera's picture of a scene given as the grey at a flat-scene
// point (`background` where the ray misses the plane), averaging 4 x 4
// samples a pixel so edges fall where the lens puts them to a fraction of a
// pixel.
void RenderThroughLens(const VirtualLens& lens, uint32_t width, uint32_t height,
                       const std::function<uint8_t(double sx, double sy)>& scene, uint8_t background,
                       Picture* out);

} // namespace orvane::video
