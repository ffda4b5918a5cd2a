// The diagnostic log "ORVANE.LOG" of a folder. It stops growing once it
// reaches kLogSizeLimit bytes. Whether it is written at all is the station's
// switch (station.log_enabled, station/workspace.h): off by default, switched
// on at start-up by ORVANE_LOG=1 in the environment (for support cases).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace orvane {

inline constexpr const char* kLogFileName = "ORVANE.LOG";
inline constexpr int64_t kLogSizeLimit = 1000000;

// Appends text (no terminator) and returns 1, or returns 0 when the log is
// full. Failures to write are silent.
uint32_t AppendLog(const std::filesystem::path& folder, std::string_view text);

// Whether the environment asks for the log: ORVANE_LOG is exactly "1".
bool LogAskedFor();

} // namespace orvane
