// Whole-file reads and writes by plain file name. They report only whether
// the file could be opened (0 when it could not), as every caller expects:
// a short read or write is not an error of its own. Only regular files are
// read or written (symbolic links to them are followed): a pipe, a device or
// a folder is refused at once, never waited on. Where a caller passes
// `error`, a failure stores its reason there: an errno value, or
// kNotRegularFile; a missing file is ENOENT.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// The reason given for a file that exists but is not a regular one.
inline constexpr int kNotRegularFile = -1;

// The text of a failure reason ("No space left on device").
std::string FileErrorText(int error);

// What went wrong with the file of a load: the reason the file that is there
// could not be read (0 when it was read, or is missing), and the reason the
// default written in its place could not be written (0 when written or not
// needed). The station reports them.
struct LoadFailure {
  int read_error = 0;
  int write_error = 0;
};

// A station file name resolved against its folder. Backslashes in names such
// as "Saved\IMAGE3.BMP" separate folders.
std::filesystem::path PathIn(const std::filesystem::path& folder, std::string_view name);

// Reads up to n bytes into buffer. Returns 0 when the file cannot be opened,
// n otherwise; bytes past the end of a shorter file are left as they were.
uint32_t ReadFileInto(const std::filesystem::path& path, void* buffer, uint32_t n,
                      int* error = nullptr);

// Reads the whole file into out and returns its length (0 when it cannot be
// opened, or is empty, or too large to hold).
uint32_t ReadWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& out);

// Replaces the file with n bytes of buffer. The bytes go to a temporary file
// in the same folder ("<name>.tmpXXXXXX"), which is flushed to the disk and
// then renamed over the old one, the folder flushed after, so a failed or
// interrupted write never leaves a short or mixed file behind. A symbolic
// link is written through: the temporary file goes beside the file it names,
// and the link stays. Where no temporary file can be created (a folder the
// user may not write to), the file is rewritten in place instead. Returns n,
// or 0 when the file could not be opened for writing, created or fully
// written; an existing file the user may not write is left as it was, and so
// is anything that is not a regular file.
uint32_t WriteWholeFile(const std::filesystem::path& path, const void* buffer, uint32_t n,
                        int* error = nullptr);

// Appends n bytes, creating the file if needed, never truncating it. Returns 0
// when the file cannot be opened, n otherwise.
uint32_t AppendToFile(const std::filesystem::path& path, const void* buffer, uint32_t n);

// Appends n bytes whole or not at all: an append that fails part way (a full
// disk) is cut back to the file's old length. A symbolic link to a regular
// file is written through, as WriteWholeFile does; the file is created only
// where nothing is at the path, never through a link. Returns n, or 0 with
// the reason in *error (kNotRegularFile for a dangling link).
uint32_t AppendWholeToFile(const std::filesystem::path& path, const void* buffer, uint32_t n,
                           int* error = nullptr);

// True when `path`, once links are followed, is one of the files a station
// keeps in `folder` ("XORVANE.CFG", "RESULTS.TAB", "DXF/FILE.DXF" ...), which
// an export must not overwrite.
bool IsStationFile(const std::filesystem::path& folder, const std::filesystem::path& path);

// Moves a damaged file aside to the first free name of "NAME.bad",
// "NAME.bad1" ... "NAME.bad999", so that nothing of it is lost and a new one
// can start. The files that belong to it (`companions`: suffixes such as
// "-wal", present or not) go along under the new name. Returns the new name;
// empty, with the reason in `error`, when it cannot be moved.
std::filesystem::path MoveAside(const std::filesystem::path& path, std::error_code& error,
                                const std::vector<std::string>& companions = {});

// Length of the file in bytes, or -1 when it cannot be opened.
int64_t FileLength(const std::filesystem::path& path, int* error = nullptr);

// Removes the temporary files an interrupted WriteWholeFile or image
// conversion can leave behind in the station's folder, its "DXF" and its
// "Saved" folder: only regular files named after a station file
// ("XORVANE.CFG.tmpAb12Cd", "RESULTS.TAB.tmpAb12Cd",
// ".IMAGE3.JPG.pixora-...tmp"). Returns how many.
uint32_t RemoveLeftoverTemporaries(const std::filesystem::path& folder);

// Takes the lock of a working folder for this process (held until it ends).
// Returns kFolderLocked when another process holds it, with its id in
// *holder (0 when it cannot be told); kFolderLockTaken otherwise, also where
// the file system offers no locks. The lock is on the folder itself: no file
// is created. Only a folder this user may write but not list (mode 0300),
// which cannot be opened to lock, gets a lock file (kFolderLockFile) to lock
// instead; a lock on either keeps every other station out.
inline constexpr const char* kFolderLockFile = ".ORVANE.LOCK";
inline constexpr int kFolderLockTaken = 0;
inline constexpr int kFolderLocked = 1;
int LockFolder(const std::filesystem::path& folder, long* holder);

// "process 1234", or "a process that cannot be told" for holder 0.
std::string LockHolderText(long holder);

} // namespace orvane
