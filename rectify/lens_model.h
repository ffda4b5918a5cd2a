// The camera model behind rectification: a pinhole camera with radial (k1,
// k2, k3) and tangential (p1, p2) lens distortion looking at a flat measuring
// plane, and the output frame that shows that plane face-on in a picture of
// the camera's size, at the camera's own scale at the picture's centre.
//
// Pixel coordinates count pixel centres: the top-left pixel is (0, 0), the
// picture's centre is ((width - 1) / 2, (height - 1) / 2).
#pragma once

#include <cstdint>

namespace orvane::rectify {

struct Point2 {
  double x = 0.0;
  double y = 0.0;
};

struct LensModel {
  uint32_t width = 0; // the picture size the model was made for
  uint32_t height = 0;
  double fx = 0.0, fy = 0.0, cx = 0.0, cy = 0.0; // pixels
  double k1 = 0.0, k2 = 0.0, k3 = 0.0, p1 = 0.0, p2 = 0.0;
  // Pose of the measuring plane: a plane point (X, Y) lies at
  // rotation * (X, Y, 0) + translation in camera coordinates (rotation
  // row-major, plane units).
  double rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  double translation[3] = {0, 0, 1};
};

// Whether every number is finite, the focal lengths positive, the size
// non-zero and the plane in front of the camera.
bool IsUsable(const LensModel& model);

// Where the plane point appears in the camera picture.
Point2 ProjectPlanePoint(const LensModel& model, Point2 plane);

// The plane point a camera pixel sees; false when its ray misses the plane.
bool PlanePointOf(const LensModel& model, Point2 pixel, Point2* plane);

// The face-on view: output pixel = centre + S * (plane - plane_centre), where
// S is a similarity [[p, -q], [q, p]] (mirrored: [[p, q], [q, -p]]) closest to
// the camera's own view at the picture's centre, so the output keeps the
// camera's scale and orientation there.
struct OutputFrame {
  Point2 plane_centre; // the plane point the camera sees at the picture's centre
  double p = 1.0;
  double q = 0.0;
  bool mirrored = false;
};

// False when the picture's centre does not see the plane.
bool FrameOf(const LensModel& model, OutputFrame* frame);

// Output pixel of a plane point, and the plane point of an output pixel.
Point2 OutputOfPlane(const LensModel& model, const OutputFrame& frame, Point2 plane);
Point2 PlaneOfOutput(const LensModel& model, const OutputFrame& frame, Point2 output);

// Pixels of the output picture per plane unit.
double OutputScale(const OutputFrame& frame);

// Why the model does not rectify its picture sensibly, or nullptr when it
// does. Finite but absurd numbers pass IsUsable and still give a black or
// folded picture; this looks at where a grid of the rectified picture's
// points comes from in the camera's: steadily left to right and top to
// bottom, never folding back, the corners near the picture, most of it
// inside the picture, and each point found again through the inverse.
const char* PictureMappingProblem(const LensModel& model);

} // namespace orvane::rectify
