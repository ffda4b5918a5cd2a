// What the drawing comparison's session files share.
#pragma once

#include <string>

#include "cadfit/fit.h"
#include "qgauge.h"
#include "station/station.h"

namespace orvane::cad_session {

using cad::Fixed;
// The station's picture as the gauge library reads it.
qgImage PictureOf(const Station& st);
bool HavePicture(const Station& st);

}  // namespace orvane::cad_session
