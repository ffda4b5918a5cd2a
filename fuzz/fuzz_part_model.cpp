// Reads arbitrary bytes as a serialised part model. Promises: every call
// returns a documented code and never reads outside the bytes; a refusal
// writes no model; a loaded model saves back to the very same bytes, and a
// search with it on a small picture returns a documented code with finite
// poses, also with a scale range.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/check.h"
#include "gauge/include/qgauge.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that a read past the end is caught.
    std::vector<uint8_t> bytes(data, data + size);
    qgPartModel* model = reinterpret_cast<qgPartModel*>(&bytes);
    const int32_t rc = qgPartModelLoad(bytes.data(), bytes.size(), &model);
    CHECK(rc == QG_OK || rc == QG_ERR_DAMAGED || rc == QG_ERR_NULL);
    if (rc != QG_OK) {
        CHECK(model == reinterpret_cast<qgPartModel*>(&bytes));
        return 0;
    }
    int32_t points = 0, flags = 0;
    double width = 0, height = 0;
    CHECK(qgPartModelInfo(model, &points, &flags, &width, &height) == QG_OK);
    CHECK(points >= 16 && points <= QG_PART_MAX_POINTS && std::isfinite(width) && std::isfinite(height));
    size_t need = 0;
    CHECK(qgPartModelSize(model, &need) == QG_OK && need == size);
    std::vector<uint8_t> again(need);
    CHECK(qgPartModelSave(model, again.data(), need) == QG_OK);
    CHECK(std::memcmp(again.data(), data, size) == 0);

    // A small picture with a square, searched over the whole turn.
    std::vector<uint8_t> px(48 * 40, 60);
    for (int y = 12; y < 30; ++y)
        for (int x = 14; x < 34; ++x) px[static_cast<size_t>(y) * 48 + x] = 160;
    const qgImage image{px.data(), 48, 40, 48, 1};
    qgPartInstance found[2];
    qgPartFindParams fp;
    qgPartFindDefaults(&fp);
    fp.maxInstances = 2;
    int32_t count = -1;
    const int32_t frc = qgPartFind(&image, model, &fp, found, 2, &count);
    CHECK(frc == QG_OK || frc == QG_NOT_FOUND);
    CHECK(count >= 0 && count <= 2 && (frc == QG_OK) == (count > 0));
    for (int i = 0; i < count; ++i)
        CHECK(std::isfinite(found[i].x) && std::isfinite(found[i].y) && found[i].angle > -180 &&
              found[i].angle <= 180 && found[i].score > 0 && found[i].score <= 1);
    // And with its size searched too.
    qgPartScale scales[2];
    const int32_t src = qgPartFindScaled(&image, model, &fp, 0.8, 1.25, found, scales, 2, &count);
    CHECK(src == QG_OK || src == QG_NOT_FOUND);
    CHECK(count >= 0 && count <= 2 && (src == QG_OK) == (count > 0));
    for (int i = 0; i < count; ++i)
        CHECK(std::isfinite(found[i].x) && std::isfinite(found[i].y) && scales[i].scale >= 0.79 &&
              scales[i].scale <= 1.27 && std::isfinite(scales[i].uscale));
    qgPartModelFree(model);
    return 0;
}
