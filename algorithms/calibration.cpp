// Standard calibration from the ring target, and the direction between two
// points.
#include "internal.h"

#include <algorithm>
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
    BlobRecord* brightList;
    // below[v]: pixels of the searched regions (in the image and, when it is
    // another buffer, in the frame) whose intensity is below v.
    uint64_t below[257];
    bool mayAbort;  // no region holds more pixels than a blob may have
};

constexpr uint32_t kMinPixels = 10, kMaxPixels = 9999999;

int64_t search(const Sweep& w, BlobRecord* list, uint32_t low, uint32_t high, bool paint,
               uint32_t abortAbove = UINT32_MAX, const RoiRecord* within = nullptr) {
    BlobSearch s;
    s.image = w.image;
    s.regionCount = within ? 1 : w.regionCount;
    s.regions = within ? within : w.regions;
    s.low = low;
    s.high = high;
    s.minPixels = kMinPixels;
    s.maxPixels = kMaxPixels;
    s.mark = 1;
    s.blobs = list;
    s.maxBlobs = kListSize;
    s.paint = paint;
    s.plane = w.plane;
    s.abortAbove = abortAbove;
    return findBlobs(s);
}

// The walk for a centre among the bright blobs, in list order.
bool findCentre(const BlobRecord& ring, const BlobRecord* bright, int64_t count, double* scale) {
    for (int64_t i = 0; i < count; ++i) {
        const BlobRecord& c = bright[i];
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

// One threshold as specified: the dark search, the ring (the first largest
// dark blob), the bright search and the walk for a centre. Returns true and
// the scale when the target is found.
bool tryThreshold(const Sweep& w, uint32_t t, bool paint, double* scale) {
    const int64_t dark = search(w, w.list, 0, t, paint);
    if (dark <= 0) return false;
    sortBlobs(1, w.list, uint32_t(dark));
    const BlobRecord ring = w.list[0];
    const int64_t bright = search(w, w.list, t, 255, paint);
    return findCentre(ring, w.list, bright, scale);
}

// The same outcome as tryThreshold without painting, with the cheaper band
// searched first. When the bright blobs are known first, the dark search is
// given up as soon as a dark blob is so large that every bright blob's ratio
// to the ring would exceed 3.2 (the ring is at least that large).
bool tryThresholdFast(const Sweep& w, uint32_t t, double* scale) {
    const uint64_t darkPixels = w.below[t + 1], brightPixels = w.below[256] - w.below[t];
    if (darkPixels <= brightPixels) return tryThreshold(w, t, false, scale);
    const int64_t bright = search(w, w.brightList, t, 255, false);
    if (bright <= 0) return false;
    uint32_t largest = 0;
    for (int64_t i = 0; i < bright; ++i) largest = std::max(largest, w.brightList[i].pixelCount);
    // A ring above 3.2 * largest + 1 pixels gives every ratio above 3.2 by
    // far more than any rounding.
    const uint32_t limit =
        w.mayAbort ? uint32_t(std::min(3.2 * largest + 1.0, double(UINT32_MAX - 1))) : UINT32_MAX;
    const int64_t dark = search(w, w.list, 0, t, false, limit);
    if (dark <= 0) return false;  // none, or a ring too large for any centre
    sortBlobs(1, w.list, uint32_t(dark));
    return findCentre(w.list[0], w.brightList, bright, scale);
}

// What the groups of one band (found by runs) tell about its blob list. A
// group of at most kFillDepth pixels is one blob exactly, so when none of the
// groups that fill the list can have been cut, the list is known without a
// fill. Otherwise the first cut group starts with a blob of at least
// kFillDepth pixels, which bounds the largest blob from below.
struct BandSummary {
    const std::vector<Component>* groups = nullptr;
    std::vector<uint32_t> accepted;  // indices of the groups a blob can be kept from
    bool exact = false;
    uint32_t largestAtLeast = 0;     // the largest listed blob has at least this many pixels
    Rect bounds{};                   // of the groups a blob can be kept from
};

void summarise(const std::vector<Component>& groups, BandSummary& b) {
    b.groups = &groups;
    b.accepted.clear();
    b.exact = true;
    b.largestAtLeast = 0;
    b.bounds = {UINT32_MAX, UINT32_MAX, 0, 0};
    for (uint32_t i = 0; i < groups.size(); ++i) {
        const uint32_t n = groups[i].count;
        if (n < kMinPixels) continue;
        const Component& g = groups[i];
        b.bounds = {std::min(b.bounds.left, g.minX), std::min(b.bounds.top, g.minY),
                    std::max(b.bounds.right, g.maxX), std::max(b.bounds.bottom, g.maxY)};
        if (b.exact && b.accepted.size() < kListSize) {
            if (n > kFillDepth) {
                b.exact = false;
                b.largestAtLeast = std::max(b.largestAtLeast, kFillDepth);
            } else {
                b.largestAtLeast = std::max(b.largestAtLeast, n);
            }
        }
        b.accepted.push_back(i);
    }
}

// The list of an exact band: one record per group, as the search fills it.
int64_t listOf(const BandSummary& b, BlobRecord* list) {
    const uint32_t n = uint32_t(std::min<size_t>(b.accepted.size(), kListSize));
    for (uint32_t i = 0; i < n; ++i) {
        const Component& g = (*b.groups)[b.accepted[i]];
        BlobRecord& r = list[i];
        r = BlobRecord{};
        r.pixelCount = g.count;
        r.weightX = r.weightY = double(g.count);
        r.cogX = double(g.sumX) / r.weightX;
        r.cogY = double(g.sumY) / r.weightY;
        r.minX = g.minX;
        r.minY = g.minY;
        r.maxX = g.maxX;
        r.maxY = g.maxY;
        r.index = i;
    }
    return n;
}

// The first of the largest blobs: the one the exchange sort puts first.
BlobRecord ringOf(const BlobRecord* list, int64_t count) {
    int64_t best = 0;
    for (int64_t i = 1; i < count; ++i)
        if (list[i].pixelCount > list[best].pixelCount) best = i;
    return list[best];
}

// A blob of a group lies inside the group's bounds, and so does its centre
// of gravity. The margins keep the tests on the safe side of rounding.
bool mayLieNear(double x, double y, const Component& g) {
    return x > double(g.minX) - 17.0 && x < double(g.maxX) + 17.0 && y > double(g.minY) - 17.0 &&
           y < double(g.maxY) + 17.0;
}

// Whether any bright blob can be the centre for this ring.
bool centrePossible(const BlobRecord& ring, const BandSummary& bright) {
    const double R = ring.pixelCount;
    if (R / 2.5 + 1.0 < kMinPixels) return false;
    for (uint32_t i : bright.accepted) {
        const Component& g = (*bright.groups)[i];
        if (double(g.count) + 1.0 >= R / 3.2 && mayLieNear(ring.cogX, ring.cogY, g)) return true;
    }
    return false;
}

// Whether any dark blob can be the ring for one of these bright blobs.
bool ringPossible(const BlobRecord* bright, int64_t count, const BandSummary& dark) {
    const double low = dark.largestAtLeast;
    for (int64_t i = 0; i < count; ++i) {
        const double c = bright[i].pixelCount;
        if (c == 0 || 3.2 * c + 1.0 < low) continue;
        const double need = std::max(low, 2.5 * c - 1.0);
        for (uint32_t j : dark.accepted) {
            const Component& g = (*dark.groups)[j];
            if (double(g.count) >= need && mayLieNear(bright[i].cogX, bright[i].cogY, g)) return true;
        }
    }
    return false;
}

// One threshold, unpainted, with the same outcome as tryThreshold: bands
// whose groups give their blob lists exactly need no fill, and the second
// search is left out when no blob of its band can complete the target.
struct GroupedSweep {
    ComponentLabelling dark, bright;
    BandSummary darkSummary, brightSummary;
};

bool tryThresholdGrouped(const Sweep& w, const Rect& area, uint32_t t, GroupedSweep& g,
                         bool* ok, double* scale) {
    *ok = labelComponents(w.plane, g_reg.width, area, 0, uint8_t(t), g.dark) &&
          labelComponents(w.plane, g_reg.width, area, uint8_t(t), 255, g.bright);
    if (!*ok) return false;
    summarise(g.dark.groups, g.darkSummary);
    summarise(g.bright.groups, g.brightSummary);
    const BandSummary& D = g.darkSummary;
    const BandSummary& B = g.brightSummary;

    // A fill search need only scan the bounds of the groups that can give
    // kept blobs, plus the column and row the fill never enters (groups of
    // fewer pixels give blobs that are dropped, and nothing else is seen).
    auto within = [&](const BandSummary& b) {
        RoiRecord r{};
        r.left = int32_t(b.bounds.left);
        r.top = int32_t(b.bounds.top);
        r.right = int32_t(std::min(b.bounds.right + 1, area.right + 1));
        r.bottom = int32_t(std::min(b.bounds.bottom + 1, area.bottom + 1));
        return r;
    };
    const RoiRecord darkArea = within(D), brightArea = within(B);
    auto darkByFill = [&](uint32_t abortAbove) {
        const int64_t n = search(w, w.list, 0, t, false, abortAbove, &darkArea);
        if (n > 0) sortBlobs(1, w.list, uint32_t(n));
        return n;
    };
    const uint64_t darkPixels = w.below[t + 1], brightPixels = w.below[256] - w.below[t];
    const bool darkFirst = D.exact || (!B.exact && darkPixels <= brightPixels);
    if (darkFirst) {
        const int64_t dark = D.exact ? listOf(D, w.list) : darkByFill(UINT32_MAX);
        if (dark <= 0) return false;
        const BlobRecord ring = D.exact ? ringOf(w.list, dark) : w.list[0];
        if (!B.exact && !centrePossible(ring, B)) return false;
        const int64_t bright =
            B.exact ? listOf(B, w.brightList) : search(w, w.brightList, t, 255, false, UINT32_MAX, &brightArea);
        return findCentre(ring, w.brightList, bright, scale);
    }
    const int64_t bright =
        B.exact ? listOf(B, w.brightList) : search(w, w.brightList, t, 255, false, UINT32_MAX, &brightArea);
    if (bright <= 0) {
        // Without bright blobs no centre; only an empty dark list differs,
        // and it fails as well.
        return false;
    }
    if (!ringPossible(w.brightList, bright, D)) return false;
    uint32_t largest = 0;
    for (int64_t i = 0; i < bright; ++i) largest = std::max(largest, w.brightList[i].pixelCount);
    const uint32_t limit = uint32_t(std::min(3.2 * largest + 1.0, double(UINT32_MAX - 1)));
    const int64_t dark = darkByFill(limit);
    if (dark <= 0) return false;
    return findCentre(w.list[0], w.brightList, bright, scale);
}

// Counts the intensities of the searched regions into w.below.
bool countIntensities(Sweep& w) {
    uint64_t hist[256] = {};
    const bool whole = w.regionCount == 0 || !w.regions;
    const uint32_t count = whole ? 1 : w.regionCount;
    std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[g_reg.width]);
    if (!row) return false;
    w.mayAbort = true;
    for (uint32_t i = 0; i < count; ++i) {
        Rect r;
        if (!clipUnsigned(whole ? wholeImage() : w.regions[i], r)) continue;
        const uint32_t cols = r.right - r.left + 1;
        if (uint64_t(cols) * (r.bottom - r.top + 1) > kMaxPixels) w.mayAbort = false;
        for (uint32_t y = r.top; y <= r.bottom; ++y) {
            const uint8_t* v;
            if (w.plane) {
                v = w.plane + size_t(y) * g_reg.width + r.left;
            } else {
                extractRow(w.image, r.left, y, cols, row.get());
                v = row.get();
            }
            for (uint32_t x = 0; x < cols; ++x) ++hist[v[x]];
            if (w.image != g_reg.frame) {
                extractRow(g_reg.frame, r.left, y, cols, row.get());
                for (uint32_t x = 0; x < cols; ++x) ++hist[row[x]];
            }
        }
    }
    w.below[0] = 0;
    for (int v = 0; v < 256; ++v) w.below[v + 1] = w.below[v] + hist[v];
    return true;
}

}  // namespace

extern "C" QLX_API int32_t qlxStandardCalibration(const uint8_t* image, uint32_t imageSize,
                                                  uint32_t regionCount, const RoiRecord* regions,
                                                  double, int32_t, double* outScaleX,
                                                  double* outScaleY, double* outThird) {
    if (!usable() || !image) return kNotFound;
    std::unique_ptr<BlobRecord[]> list(new (std::nothrow) BlobRecord[2 * kListSize]);
    if (!list) return kNotFound;

    // The intensity plane is read by all 80 searches; extract it once.
    std::unique_ptr<uint8_t[]> plane;
    if (image == g_reg.frame) {
        plane.reset(new (std::nothrow) uint8_t[size_t(g_reg.width) * g_reg.height]);
        if (plane) extractPlane(image, plane.get(), 0, g_reg.height - 1);
    }
    Sweep w{image, regionCount, regions, plane.get(), list.get(), list.get() + kListSize, {}, false};
    const bool counted = countIntensities(w);

    double scale = 0;
    bool found = false;
    if (imageSize < imageBytes()) {
        // A short size clears only the start of the overlay, and the rest
        // keeps the paint of every threshold tried: run them all painted.
        for (uint32_t t = 40; t < 240 && !found; t += 5) {
            std::memset(g_reg.overlay, 0, imageSize);
            found = tryThreshold(w, t, true, &scale);
        }
    } else {
        // Only the overlay of the last threshold tried survives its
        // clearing, so the sweep runs unpainted and that threshold is run
        // again with paint. A threshold whose two bands hold the same pixels
        // as those of the last threshold searched (no pixel at an intensity
        // between the two) gives the same blob lists and so fails again
        // without a search.
        // With one region read from the registered frame, the bands are
        // first labelled by runs (see tryThresholdGrouped).
        Rect area{};
        const bool whole = regionCount == 0 || !regions;
        bool grouped = counted && w.plane && w.mayAbort && (whole || regionCount == 1) &&
                       clipUnsigned(whole ? wholeImage() : regions[0], area) &&
                       area.right > area.left && area.bottom > area.top;
        // The fill never enters the region's last column or row.
        area.right -= 1;
        area.bottom -= 1;
        GroupedSweep groups;  // working memory of this call only
        uint32_t last = 40, searched = 0;
        bool anySearched = false;
        for (uint32_t t = 40; t < 240 && !found; t += 5) {
            last = t;
            if (!counted) {
                found = tryThreshold(w, t, false, &scale);
                continue;
            }
            if (anySearched && w.below[t + 1] == w.below[searched]) continue;
            searched = t;
            anySearched = true;
            if (grouped) {
                bool ok = true;
                found = tryThresholdGrouped(w, area, t, groups, &ok, &scale);
                if (ok) continue;
                grouped = false;
            }
            found = tryThresholdFast(w, t, &scale);
        }
        std::memset(g_reg.overlay, 0, imageBytes());
        double again = 0;
        tryThreshold(w, last, true, &again);
    }

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
