// "RESULTSWINDOW.CFG": where the Results window was and what it showed, kept
// in the working folder beside the table (never in the station's settings).
// Text, one record a line, fields separated by tabs:
//   ORVANE-RESULTS-WINDOW 1
//   geometry X Y WIDTH HEIGHT   (the window's frame on the desktop)
//   show UNIT                   (lengths shown in mm or µm; absent: as measured)
// A file that does not read gives the defaults: nothing in it is worth a
// message.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace orvane {

inline constexpr const char* kResultsWindowFileName = "RESULTSWINDOW.CFG";
inline constexpr size_t kMaxResultsWindowFileBytes = 4096;
// Bounds of a remembered frame: a side of 1 to kMaxWindowSide pixels, a
// corner within +-kMaxWindowSide of the desktop's origin.
inline constexpr int32_t kMaxWindowSide = 65536;

struct ResultsWindowState {
  bool has_geometry = false;
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  std::string show_unit; // "mm", "µm" or empty (as measured)
};

std::string WriteResultsWindowText(const ResultsWindowState& state);
// False, with `state` untouched, for a text WriteResultsWindowText would not write.
bool ReadResultsWindowText(std::string_view text, ResultsWindowState* state);

// The state in `folder`'s file; the defaults when it is missing or does not read.
ResultsWindowState LoadResultsWindowState(const std::filesystem::path& folder);
// Replaces the file whole; false when it could not be written.
bool SaveResultsWindowState(const std::filesystem::path& folder, const ResultsWindowState& state);

} // namespace orvane
