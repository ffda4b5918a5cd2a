// The ring target search and its two rims' gauging on arbitrary pictures:
// size, bytes a pixel, stride, pixels and the search box from the input.
// Promises: no crash and no read outside the picture; a ring found has a
// positive, finite scale and uncertainty, and a reason is given otherwise.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/check.h"
#include "results/ring_gauge.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 12) return 0;
    const int w = 1 + data[0] % 128, h = 1 + data[1] % 128;
    const int bpp = data[2] % 3 == 0 ? 1 : data[2] % 3 == 1 ? 3 : 4;
    const int stride = w * bpp + data[3] % 8;
    orvane::RingSearchBox box;
    if (data[4] & 1) box = {int8_t(data[5]), int8_t(data[6]), data[7], data[8]};
    data += 12;
    size -= 12;
    // Exactly the bytes the picture needs, so any read beyond is caught; the
    // input repeats to fill them.
    std::vector<uint8_t> pixels(size_t(stride) * size_t(h - 1) + size_t(w) * size_t(bpp));
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = size ? data[i % size] : 0;
    const qgImage image{pixels.data(), w, h, stride, bpp};
    std::string why;
    const std::optional<orvane::RingCalibration> ring = orvane::MeasureRing(image, box, &why);
    if (ring) {
        CHECK(std::isfinite(ring->scale) && ring->scale > 0);
        CHECK(ring->sigma >= 0);
    } else {
        CHECK(!why.empty());
    }
    return 0;
}
