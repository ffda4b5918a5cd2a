// The window's Teach part and Find part, which orvane-batch's part commands
// run as well: each says on the result line what came of it, and Find part
// shows what it found on the overlay.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inspect/part.h"
#include "station/station.h"

namespace orvane {

// The working solution's newest ROI (the last one drawn) as a rectangle of
// the gauge library: its inclusive pixel corners widened to whole pixels,
// clamped into the picture. None without an ROI.
std::optional<PartRect> CurrentRoiRect(const Station& station);

// Teaches the part in `rect` of the current picture: "Part taught: N
// points" on the result line, or false with the reason in `why`, "Part not
// taught" there and the reason in a note. A model that cannot fix a pose is
// taught with a note saying so (PartWarnings).
bool TeachPart(Station& station, PartRect rect, std::string* why);

// Teach part: from the current ROI.
void TeachPartCommand(Station& station);

// Finds the taught part (every instance with `all`, else the best) and shows
// the instances found on the overlay, replacing those shown before. The
// result line says "Part found: score S" (a note gives the best one's pose:
// "Part found at X, Y, turned ANGLE deg, score S") or "Part not found" (a
// note says why when no search could run: `why`, as PartSession::Find has
// it).
std::vector<PartPose> FindPart(Station& station, bool all, std::string* why);

// Find part: the best instance.
void FindPartCommand(Station& station);

// Where the open program reads the part's code: the newest ROI, as
// orvane-batch's `program part-id X Y W H` gives a rectangle; false with
// the reason without an ROI or where SetCodeRegion refuses it.
bool CodeRegionFromRoi(Station& station, std::string* why);

// The next running number of `prefix` made the part's identity, as
// orvane-batch's `part-id next PREFIX` does; none, with the reason, when
// NextRunningIdentity gives none.
std::optional<std::string> UseNextRunningIdentity(Station& station, std::string_view prefix, std::string* why);

} // namespace orvane
