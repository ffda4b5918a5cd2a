// Automatic runs of the open inspection program in Live: on every picture
// the folder camera turns to, and once each time a part comes to rest (the
// live picture still for a moment, inspect/rest_watch.h). A run takes the
// picture into the frame as Grab does, stays in Live, records the part and
// says what it gave as the other automatic runs do; a part that comes to
// rest but is not found is not said (an empty stage comes to rest too).
#pragma once

#include "station/station.h"

namespace orvane {

// Whether the live pictures are watched for automatic runs: a program is
// open and one of the Live choices is made.
bool WatchesLive(Station& station);

// The camera's newest picture, while Live shows: runs the open program
// when the folder camera turned to a new picture or a part came to rest
// (time from the station's clock). Call it for every live picture shown.
void WatchLivePicture(Station& station);

} // namespace orvane
