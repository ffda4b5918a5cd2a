// The station's traceability settings, kept in the working folder as
// "TRACE.CFG" beside the settings record: who measures, the running numbers
// given as part identities (the last one a prefix took), and where and
// whether a report is written after each program run. Plain text, one record
// a line:
//
//   # any comment (and blank lines) are skipped
//   orvane-trace 1              first record: the format and its version
//   operator TEXT               the rest of the line
//   counter PREFIX N            the last number PREFIX took (0 .. 99999999)
//   report-folder PATH          the rest of the line
//   report-auto on              a report after each program run
//
// A file that breaks this is refused whole with "line N: ..." and left as it
// is; no file is the empty settings.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "station/station.h"

namespace orvane {

inline constexpr const char* kTraceFileName = "TRACE.CFG";
inline constexpr size_t kMaxTraceFileBytes = 64 * 1024;
inline constexpr uint32_t kMaxRunningNumber = 99999999;

struct TraceSettings {
  std::string operator_name;
  std::map<std::string, uint32_t, std::less<>> counters;
  std::string report_folder;
  bool report_auto = false;
  bool operator==(const TraceSettings&) const = default;
};

std::optional<TraceSettings> ParseTraceSettings(std::string_view text, std::string* error);
std::string TraceSettingsText(const TraceSettings& settings);

// A running number's prefix: 1 to 32 letters, digits, '-', '_', '.' or '/'.
bool IsCounterPrefix(std::string_view prefix);
// PREFIX and the number, at least four digits: "LOT7-0001".
std::string RunningIdentity(std::string_view prefix, uint32_t number);

// The station's settings, read from the working folder on first use (a
// damaged or unreadable file is said once through a notice and the settings
// start empty, the file left as it is and never written over).
TraceSettings& TraceOf(Station& station);
// Writes the file whole; false with the reason in `why`.
bool SaveTrace(Station& station, std::string* why);

// The next number of `prefix`, kept in the file before it is given (so a
// number is never given twice, even when the station stops at once), and
// set as the part's identity; nothing, with the reason, when the prefix is
// not one or the file cannot be written.
std::optional<std::string> NextRunningIdentity(Station& station, std::string_view prefix, std::string* why);

// The file of `folder` read without writing anything; nothing when it is
// not there, not whole or damaged.
std::optional<TraceSettings> ReadTraceFile(const std::filesystem::path& folder);

// The operator named on reports: the session's once the results are open,
// else the one the file keeps (read without opening anything).
std::string KeptOperator(Station& station);

// Who measures: named on this session's reports, and kept in the file
// (false with the reason when it could not be).
bool SetOperator(Station& station, std::string_view name, std::string* why);

} // namespace orvane
