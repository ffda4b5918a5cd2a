// Drives the gauge library's whole interface from arbitrary bytes: image
// size, bytes a pixel, stride and pixels, then rectangles, settings and
// points read as raw doubles (NaN, infinities and huge values included).
// Promises: every call returns a documented code; a refusal writes nothing;
// a success writes finite results inside the image.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/check.h"
#include "gauge/include/qgauge.h"

namespace {

struct Reader {
    const uint8_t* p;
    size_t n;
    template <class T>
    T take() {
        T v{};
        size_t k = n < sizeof v ? n : sizeof v;
        std::memcpy(&v, p, k);
        p += k;
        n -= k;
        return v;
    }
    // Mostly small, sensible numbers; now and then the raw bytes of a double.
    double number(double scale) {
        uint8_t mode = take<uint8_t>();
        if (mode < 200) return (take<int16_t>() / 32768.0) * scale;
        return take<double>();
    }
};

bool known(int32_t rc) { return rc >= QG_ERR_MEMORY && rc <= QG_NOT_FOUND; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    const int w = 1 + in.take<uint8_t>() % 64, h = 1 + in.take<uint8_t>() % 64;
    const int bppChoice = in.take<uint8_t>() % 4;
    const int bpp = bppChoice == 0 ? 1 : bppChoice == 1 ? 3 : bppChoice == 2 ? 4 : 2;
    const int stride = w * bpp + in.take<uint8_t>() % 8 - (in.take<uint8_t>() % 16 == 0 ? 1 : 0);
    // Exactly the bytes the header promises, so any read beyond is caught.
    const size_t bytes = stride > 0 ? static_cast<size_t>(stride) * (h - 1) + static_cast<size_t>(w) * bpp : 1;
    std::vector<uint8_t> pixels(bytes);
    for (size_t i = 0; i < bytes; ++i) pixels[i] = in.take<uint8_t>();
    const qgImage image{pixels.data(), w, h, stride, bpp};

    qgRect rect{in.number(w), in.number(h), in.number(2 * w), in.number(h), in.number(7)};
    qgCaliperParams cp;
    qgCaliperDefaults(&cp);
    if (in.take<uint8_t>() & 1) {
        cp.sigma = in.number(8);
        cp.threshold = in.number(100);
        cp.noise = in.number(10);
    }
    cp.polarity = in.take<uint8_t>() % 4;
    cp.select = in.take<uint8_t>() % 5;

    qgEdge edges[4];
    std::memset(edges, 0x7F, sizeof edges);
    std::vector<uint8_t> before(reinterpret_cast<uint8_t*>(edges), reinterpret_cast<uint8_t*>(edges) + sizeof edges);
    int32_t count = -99;
    int32_t rc = qgEdgeCaliper(&image, &rect, &cp, edges, 4, &count);
    CHECK(known(rc));
    if (rc < 0) {
        CHECK(count == -99);
        CHECK(std::memcmp(edges, before.data(), sizeof edges) == 0);
    } else if (rc == QG_NOT_FOUND) {
        CHECK(count == 0);
    } else {
        CHECK(count >= 1);
        for (int i = 0; i < (count < 4 ? count : 4); ++i) {
            const qgEdge& e = edges[i];
            CHECK(std::isfinite(e.x) && std::isfinite(e.y) && std::isfinite(e.uncertainty));
            CHECK(e.x >= -1e-6 && e.y >= -1e-6 && e.x <= w + 1e-6 && e.y <= h + 1e-6);
            CHECK(std::fabs(e.position) <= rect.length / 2 + 1e-6);
            CHECK(e.uncertainty >= 0 && e.contrast != 0);
        }
    }
    qgEdgePairResult pair;
    rc = qgEdgePair(&image, &rect, &cp, &pair);
    CHECK(known(rc));
    if (rc == QG_OK) CHECK(std::isfinite(pair.width) && pair.width > 0 && pair.uncertainty >= 0);

    // Points for the fits.
    const int n = in.take<uint8_t>() % 40;
    std::vector<qgPoint> pts(static_cast<size_t>(n));
    for (qgPoint& p : pts) p = {in.number(100), in.number(100)};
    qgFitParams fp;
    qgFitDefaults(&fp);
    if (in.take<uint8_t>() & 1) {
        fp.robust = in.take<uint8_t>() % 3;
        fp.tuning = in.number(10);
        fp.minScale = in.number(1);
    }
    std::vector<double> weights(static_cast<size_t>(n) + 1);
    qgLine line;
    rc = qgFitLine(pts.data(), n, &fp, &line, weights.data());
    CHECK(known(rc));
    if (rc == QG_OK) CHECK(std::isfinite(line.x) && std::isfinite(line.angle) && line.inliers >= 2 && line.inliers <= n);
    qgCircle circle;
    rc = qgFitCircle(pts.data(), n, &fp, &circle, weights.data());
    CHECK(known(rc));
    if (rc == QG_OK) CHECK(std::isfinite(circle.cx) && std::isfinite(circle.r) && circle.r > 0 && circle.inliers >= 3);

    qgCircleGaugeParams g{};
    g.cx = in.number(w);
    g.cy = in.number(h);
    g.r = in.number(w);
    g.spokes = in.take<uint8_t>() % 70;
    g.spokeLength = in.number(w);
    g.spokeWidth = in.number(8);
    g.caliper = cp;
    g.fit = fp;
    std::vector<qgSpoke> spokes(static_cast<size_t>(g.spokes > 0 ? g.spokes : 1));
    rc = qgCircleGauge(&image, &g, &circle, spokes.data());
    CHECK(known(rc));
    if (rc == QG_OK) CHECK(std::isfinite(circle.cx) && std::isfinite(circle.cy) && circle.r > 0);
    return 0;
}
