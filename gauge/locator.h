// The part locator's shared pieces: the model, windows of the picture
// pyramid with their quantised gradient orientations, and the pose
// refinement.
#pragma once

#include "internal.h"

#include <vector>

struct qgPartModel {
    struct Point {
        double x, y, nx, ny;  // model frame; normal towards rising intensity
        double theta = 0;     // the normal's direction, radians (derived)
    };
    double width = 0, height = 0;  // the taught box
    double contrast = 0;           // typical edge contrast, grey levels
    int32_t flags = 0;
    std::vector<Point> points;
    // Derived, not stored: the points of each pyramid level (level l in
    // units of 2^l pixels), thinned for the coarse scan and the descent.
    std::vector<std::vector<Point>> levels;
    double radius = 0;  // largest distance of a point from the origin
};

namespace qg {

constexpr int kBins = 16;        // gradient orientation bins over the whole turn
constexpr size_t kScanPoints = 64;  // points a level, the coarse counts fit a byte

// Fills the derived members (pyramid levels, radius, normal directions)
// and the warning flags.
void finishModel(qgPartModel& m);

// A window of one pyramid level: level pixel (i, j) averages the picture's
// 2^level x 2^level block at (i 2^level, j 2^level).
struct Level {
    int level = 0;
    int x0 = 0, y0 = 0;  // the window's first level pixel
    int w = 0, h = 0;
    std::vector<float> grey;
    std::vector<uint16_t> exact;  // the pixel's own orientation bit, 0 when weak
    std::vector<uint16_t> mask;   // orientation bits present in the 3x3 around
};

// Level pixels [x0, x1) x [y0, y1) of the image's level `level`, clipped to
// the whole blocks of the image; grey only.
void levelWindow(const qgImage& image, int level, int x0, int y0, int x1, int y1, Level& out);
// Sobel gradients above `threshold` (grey levels a pixel) quantised into
// kBins orientation bins, spread over each pixel's 3x3 neighbourhood. The
// window's outermost pixels have no gradient of their own.
void orientations(Level& lv, double threshold);
// Bin of a direction angle in radians.
int binOf(double angle);
// Bins a direction matches: its own and the two beside it (and, for either
// polarity, the opposite three).
uint16_t wantMask(double angle, bool either);

struct Pose {
    double x = 0, y = 0, angle = 0;  // radians here
    double score = 0;
    double ux = 0, uy = 0, uangle = 0;
    double scale = 1, uscale = 0;  // the part's size against the model's
};

// Share of the level's model points whose picture orientation matches at
// the pose (level coordinates, its score unused). With `fine`, the mean of
// that share and the share matched on the point's own pixel, which peaks
// where the spread share is flat.
double scorePose(const Level& lv, const std::vector<qgPartModel::Point>& pts, const Pose& pose, bool either,
                 bool fine = false);

// Where the coarse scan looks: origins in level pixels [xa, xb) x [ya, yb)
// of its level window (whose origin is at 0, 0), angles a0 .. a1 radians.
struct ScanArea {
    int xa, xb, ya, yb;
    double a0, a1;
    bool either;
};

// Best count and angle at every origin of the area over the angle steps
// (1 / radius apart, radius in level pixels) for the points grown by
// `scale`, then its local maxima whose share of matched points reaches
// `floor`, best first. At most kScanPoints points.
std::vector<Pose> coarseScan(const Level& lv, const std::vector<qgPartModel::Point>& pts, double radius,
                             double scale, const ScanArea& area, double floor);

// Caliper profiles reach this far (pixels) beyond the searched stretch, so
// that the plateau levels beside an edge lie off its blurred flanks.
constexpr double kPlateauReach = 3;

// Least-squares refinement of a full-resolution pose (with `fitScale`, its
// scale too) on caliper edges along the model normals; false when too few
// edges were found.
bool refinePose(const qgImage& image, const qgPartModel& m, bool either, bool fitScale, Pose& pose);

}  // namespace qg
