// The diagnostic log "ORVANE.LOG", written only while station.log_enabled is
// set: off by default, switched on at start-up by ORVANE_LOG=1 in the
// environment (for support cases). It stops growing once it reaches
// kLogSizeLimit bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "station/station.h"

namespace orvane {

inline constexpr const char* kLogFileName = "ORVANE.LOG";
inline constexpr int64_t kLogSizeLimit = 1000000;

// Appends text (no terminator) and returns 1, or returns 0 when the log is
// off or full. Failures to write are silent.
uint32_t AppendLog(Station& station, std::string_view text);

// Tells the user once per file and session that the file could not be read
// (writing false) or written, with the reason (an errno value or
// kNotRegularFile): "Unable to write DIR/XORVANE.CFG: No space left on device".
// A missing file (ENOENT) is not reported when reading.
void ReportFileFailure(Station& station, const std::filesystem::path& path, int error,
                       bool writing);

// Whether the environment asks for the log: ORVANE_LOG is exactly "1".
bool LogAskedFor();

} // namespace orvane
