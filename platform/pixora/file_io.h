// Whole-file reads and all-or-nothing writes for the conversions.
#ifndef PIXORA_FILE_IO_H
#define PIXORA_FILE_IO_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace pixora {

// Reads the regular file at path into out. Returns PIXORA_OK,
// PIXORA_ERR_READ (missing, unreadable, not a regular file) or
// PIXORA_ERR_TOO_LARGE (longer than max_bytes, checked before reading).
int ReadWholeFile(const char* path, std::size_t max_bytes, std::vector<std::uint8_t>& out);

// Writes the concatenation of parts to path: first to a new temporary file
// in the same folder, then renamed over path. On any failure the temporary
// file is removed and path is left as it was. Returns PIXORA_OK or
// PIXORA_ERR_WRITE.
int WriteFileAtomically(const char* path, std::span<const std::span<const std::uint8_t>> parts);

}  // namespace pixora

#endif
