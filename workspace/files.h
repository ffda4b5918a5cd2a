// Whole-file reads and writes by plain file name. They report only whether
// the file could be opened (0 when it could not), as every caller expects:
// a short read or write is not an error of its own.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

namespace orvane {

// A station file name resolved against its folder. Backslashes in names such
// as "Saved\IMAGE3.BMP" separate folders.
std::filesystem::path PathIn(const std::filesystem::path& folder, std::string_view name);

// Reads up to n bytes into buffer. Returns 0 when the file cannot be opened,
// n otherwise; bytes past the end of a shorter file are left as they were.
uint32_t ReadFileInto(const std::filesystem::path& path, void* buffer, uint32_t n);

// Reads the whole file into out and returns its length (0 when it cannot be
// opened, or is empty, or too large to hold).
uint32_t ReadWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& out);

// Replaces the file with n bytes of buffer. The bytes go to a temporary file
// in the same folder, which is then renamed over the old one, so a failed or
// interrupted write never leaves a short or mixed file behind. A symbolic
// link is written through: the temporary file goes beside the file it names,
// and the link stays. Where no temporary file can be created (a folder the
// user may not write to), the file is rewritten in place instead. Returns n,
// or 0 when the file could not be opened for writing, created or fully
// written; an existing file the user may not write is left as it was.
uint32_t WriteWholeFile(const std::filesystem::path& path, const void* buffer, uint32_t n);

// Appends n bytes, creating the file if needed, never truncating it. Returns 0
// when the file cannot be opened, n otherwise.
uint32_t AppendToFile(const std::filesystem::path& path, const void* buffer, uint32_t n);

// Length of the file in bytes, or -1 when it cannot be opened.
int64_t FileLength(const std::filesystem::path& path);

} // namespace orvane
