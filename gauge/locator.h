// The part locator's shared pieces: the model, the picture pyramid of
// quantised gradient orientations, and the pose refinement.
#pragma once

#include "internal.h"

#include <vector>

struct qgPartModel {
    struct Point {
        double x, y, nx, ny;  // model frame; normal towards rising intensity
    };
    double width = 0, height = 0;  // the taught box
    double contrast = 0;           // typical edge contrast, grey levels
    int32_t flags = 0;
    std::vector<Point> points;
    // Derived, not stored: the points of each pyramid level (level l in
    // units of 2^l pixels), thinned to one a level pixel.
    std::vector<std::vector<Point>> levels;
    double radius = 0;  // largest distance of a point from the origin
};

namespace qg {

constexpr int kBins = 16;  // gradient orientation bins over the whole turn

// Fills the derived members (pyramid levels, radius) and the warning flags.
void finishModel(qgPartModel& m);

// One pyramid level of the picture.
struct Level {
    int w = 0, h = 0;
    std::vector<float> grey;
    std::vector<uint16_t> exact;  // the pixel's own orientation bit, 0 when weak
    std::vector<uint16_t> mask;   // orientation bits present in the 3x3 around
};

// Grey levels of the image as floats.
void greyOf(const qgImage& image, Level& out);
// The next coarser level by 2x2 averaging (odd last row/column dropped).
void halve(const Level& in, Level& out);
// Sobel gradients above `threshold` (grey levels a pixel) quantised into
// kBins orientation bins, spread over each pixel's 3x3 neighbourhood.
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
};

// Share of the level's model points whose picture orientation matches at
// the pose (level coordinates); stops early below `floor`. With `fine`,
// the mean of that share and the share matched on the point's own pixel,
// which peaks where the spread share is flat.
double scorePose(const Level& lv, const std::vector<qgPartModel::Point>& pts, double x, double y,
                 double angle, bool either, double floor, bool fine = false);

// Least-squares refinement of a full-resolution pose on caliper edges along
// the model normals; false when too few edges were found.
bool refinePose(const qgImage& image, const qgPartModel& m, bool either, Pose& pose);

}  // namespace qg
