// What the drawing comparison's session files share.
#pragma once

#include <string>

#include "qgauge.h"
#include "station/station.h"

namespace orvane::cad_session {

// `v` with `decimals` decimals; a value that rounds to zero has no sign.
std::string Fixed(double v, int decimals);
// The station's picture as the gauge library reads it.
qgImage PictureOf(const Station& st);
bool HavePicture(const Station& st);

}  // namespace orvane::cad_session
