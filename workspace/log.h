// The diagnostic log "ORVANE.LOG" of a folder. It stops growing once it
// reaches kLogSizeLimit bytes. Whether it is written at all is the station's
// switch (station/workspace.h).
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

} // namespace orvane
