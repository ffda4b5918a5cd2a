// Registration of the current image and the library version.
#include "internal.h"

#include <cstdlib>

namespace qlx {
Registration g_reg;

bool wideVectors() {
    static const bool on = [] {
        const char* baseline = std::getenv("QUELLIX_BASELINE");
        if (baseline && *baseline && *baseline != '0') return false;
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return on;
}
}

extern "C" QLX_API int32_t qlxSetUp(uint32_t width, uint32_t height, uint32_t rowStride,
                                    uint32_t bytesPerPixel, uint8_t* frameImage,
                                    uint8_t* overlayImage) {
    qlx::g_reg = {width, height, rowStride, bytesPerPixel, frameImage, overlayImage};
    return 0;
}

extern "C" QLX_API int32_t qlxVersion(uint8_t* versionBuffer) {
    constexpr int32_t version = 8;
    if (versionBuffer) {
        versionBuffer[0] = uint8_t(version);
        versionBuffer[1] = 0;
        versionBuffer[2] = 0;
    }
    return version;
}
