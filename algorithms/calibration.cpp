// Standard calibration from the ring target, and the direction between two
// points.
#include "internal.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

using namespace qlx;

namespace {

constexpr uint32_t kListSize = 1000;
constexpr int32_t kNotFound = 1001;

struct Sweep {
    const uint8_t* image;
    uint32_t regionCount;
    const RoiRecord* regions;
    const uint8_t* plane;
    BlobRecord* list;
};

int64_t search(const Sweep& w, uint32_t low, uint32_t high, bool paint) {
    BlobSearch s;
    s.image = w.image;
    s.regionCount = w.regionCount;
    s.regions = w.regions;
    s.low = low;
    s.high = high;
    s.minPixels = 10;
    s.maxPixels = 9999999;
    s.mark = 1;
    s.blobs = w.list;
    s.maxBlobs = kListSize;
    s.paint = paint;
    s.plane = w.plane;
    return findBlobs(s);
}

// One threshold: the dark search, the ring, the bright search and the walk
// for a centre. Returns true and the scale when the target is found.
bool tryThreshold(const Sweep& w, uint32_t t, bool paint, double* scale) {
    const int64_t dark = search(w, 0, t, paint);
    if (dark <= 0) return false;
    sortBlobs(1, w.list, uint32_t(dark));
    const BlobRecord ring = w.list[0];
    const int64_t bright = search(w, t, 255, paint);
    for (int64_t i = 0; i < bright; ++i) {
        const BlobRecord& c = w.list[i];
        if (c.pixelCount == 0) continue;
        if (!(std::fabs(c.cogX - ring.cogX) < 16.0) || !(std::fabs(c.cogY - ring.cogY) < 16.0)) continue;
        const double ratio = double(ring.pixelCount) / double(c.pixelCount);
        if (ratio >= 2.5 && ratio <= 3.2) {
            // sqrt(area / 3.1415927) is the outer radius; the target's outer
            // radius is 3 units.
            *scale = std::sqrt(double(ring.pixelCount + c.pixelCount) * 0.31830988148145367) *
                     0.3333333333333333;
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" QLX_API int32_t qlxStandardCalibration(const uint8_t* image, uint32_t imageSize,
                                                  uint32_t regionCount, const RoiRecord* regions,
                                                  double, int32_t, double* outScaleX,
                                                  double* outScaleY, double* outThird) {
    if (!usable() || !image) return kNotFound;
    std::unique_ptr<BlobRecord[]> list(new (std::nothrow) BlobRecord[kListSize]);
    if (!list) return kNotFound;

    // The intensity plane is read by all 80 searches; extract it once.
    std::unique_ptr<uint8_t[]> plane;
    if (image == g_reg.frame) {
        plane.reset(new (std::nothrow) uint8_t[size_t(g_reg.width) * g_reg.height]);
        if (plane) extractPlane(image, plane.get(), 0, g_reg.height - 1);
    }
    const Sweep w{image, regionCount, regions, plane.get(), list.get()};

    // Only the overlay of the last threshold tried survives its clearing, so
    // the sweep runs unpainted and that threshold is run again with paint.
    uint32_t last = 40;
    double scale = 0;
    bool found = false;
    for (uint32_t t = 40; t < 240 && !found; t += 5) {
        last = t;
        found = tryThreshold(w, t, false, &scale);
    }
    std::memset(g_reg.overlay, 0, std::min<size_t>(imageSize, imageBytes()));
    double again = 0;
    tryThreshold(w, last, true, &again);

    if (!found) return kNotFound;
    if (outScaleX) *outScaleX = scale;
    if (outScaleY) *outScaleY = scale;
    if (outThird) *outThird = 0.0;
    return 0;
}

extern "C" QLX_API int32_t qlxCalculateAngle(double x1, double y1, double x2, double y2,
                                             double* outAngle) {
    const double H = double(g_reg.height);
    const double A = H - y1, B = H - y2;
    double angle;
    if (x1 == x2 && A == B) {
        angle = 0;
    } else if (x1 == x2) {
        angle = B > A ? 90 : 270;
    } else if (A == B) {
        angle = x2 > x1 ? 0 : 180;
    } else {
        angle = std::atan((B - A) / (x2 - x1)) * 57.29577791868204;
        if (x1 > x2) angle += 180;
        else if (A > B) angle += 360;
    }
    if (outAngle) *outAngle = angle;
    return 0;
}
