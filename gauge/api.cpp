// Version and default settings.
#include "internal.h"

extern "C" QG_API int32_t qgVersion(void) { return QG_VERSION; }

extern "C" QG_API int32_t qgCaliperDefaults(qgCaliperParams* params) {
    if (!params) return QG_ERR_NULL;
    params->sigma = 1.0;
    params->threshold = 20.0;
    params->polarity = QG_POLARITY_EITHER;
    params->select = QG_SELECT_STRONGEST;
    params->noise = 0.0;
    return QG_OK;
}

extern "C" QG_API int32_t qgFitDefaults(qgFitParams* params) {
    if (!params) return QG_ERR_NULL;
    return qg::resolveFit(nullptr, *params);
}
