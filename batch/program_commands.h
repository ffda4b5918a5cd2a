// orvane-batch's `program` commands: teaching and running an inspection
// program on the station's current picture.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "batch/parse.h"
#include "station/station.h"

namespace orvane::batch {

// Parses the words after `program` (words[0] is "program") into `command`;
// false with the message in `error`.
bool ParseProgramCommand(const std::vector<Word>& words, Command* command, std::string* error);

// Runs a parsed program command; false with the reason in `failure` when it
// could not do what it says. A run prints `LABEL VALUE U UNIT VERDICT` a
// dimension, then `part N pass|fail`, or `part not found`.
bool RunProgramCommand(Station& station, const Command& command, std::ostream& out, std::string* failure);

} // namespace orvane::batch
