// The identity of the part under measurement: typed, or read from a code on
// the part in the picture. Every result recorded while it is set carries it,
// and the overlay shows it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "results/part_code.h"
#include "station/station.h"

namespace orvane {

// Sets the identity (empty: none) and redraws the picture.
void SetPartIdentity(Station& station, std::string_view text);

// Reads a code in the frame (the camera's picture or the still, without the
// overlay), in `region` or anywhere; a code read becomes the identity. Nothing
// read leaves the identity as none: a part whose code cannot be read is not
// taken for the one before it.
std::optional<PartCode> ReadPartIdentity(Station& station, std::optional<PixelRegion> region = {});

// What the overlay shows: "Part: TEXT"; empty without an identity.
std::string PartIdentityLegend(const Station& station);

} // namespace orvane
