// The DXF export's own options, for users who take the drawing into a CAD
// program. They live in the export's own file "DXF.CFG" in the working folder
// (never in the station's settings files), one item a line:
//
//   ORVANE DXF options 1
//   units on
//
// Without the file every option is off and the drawing is written exactly as
// the station has always written it. Beside the options: a copy of the
// station's drawing under a name of the user's choice ("Save DXF as"); the
// drawing itself is still written where it always is.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "dxf/writer.h"
#include "station/station.h"

namespace orvane {

inline constexpr const char* kDxfOptionsFile = "DXF.CFG";
// A longer file is no options file.
inline constexpr size_t kMaxDxfOptionsBytes = 4096;

struct DxfOptions {
  // Name the drawing's unit in its header ($INSUNITS).
  bool units = false;
  bool operator==(const DxfOptions&) const = default;
};

std::string FormatDxfOptions(const DxfOptions& options);

// The options the text holds; nothing, with the reason in `error`, when it is
// not exactly an options file (the first line, then each option at most once,
// LF or CR LF line ends).
std::optional<DxfOptions> ParseDxfOptions(std::string_view text, std::string* error);

// The station's options: all off when the file is missing; also when it is
// not a regular file, cannot be read or is damaged, which is said once a
// session (nothing is moved or replaced).
DxfOptions LoadDxfOptions(Station& station);

// Replaces the file whole; false, said once a session, when it could not be
// written (the old file then left as it was).
bool SaveDxfOptions(Station& station, const DxfOptions& options);

// Turns the unit in the drawings on or off and keeps it in the file; false
// when the file could not be written (said once a session).
bool SetDxfUnits(Station& station, bool on);

// Prepares a sink for the station's drawing as the options say.
void ApplyDxfOptions(Station& station, DxfSink& sink);

// Copies the station's drawing "DXF/FILE.DXF" whole to `target`, which must
// name a ".dxf" file, replacing it atomically. Returns the copy's path, or
// nothing with the reason in `error`.
std::optional<std::filesystem::path> SaveDxfCopy(Station& station, const std::filesystem::path& target,
                                                 std::string* error);

// The window's "Save DXF As": the copy, then a note says where it went; why
// it could not be made is said in a message box.
void SaveDxfCopyCommand(Station& station, const std::filesystem::path& target);

} // namespace orvane
