#include "workspace/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <regex>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace orvane {
namespace {

// A file descriptor that closes itself.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

size_t ReadAll(int fd, uint8_t* out, size_t n) {
  size_t done = 0;
  while (done < n) {
    ssize_t got = ::read(fd, out + done, n - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

// Writes all n bytes; on failure errno holds the reason.
bool WriteAll(int fd, const uint8_t* in, size_t n) {
  size_t done = 0;
  while (done < n) {
    ssize_t put = ::write(fd, in + done, n - done);
    if (put < 0 && errno == EINTR) continue;
    if (put == 0) errno = EIO;
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

// Opens a regular file (following links) and nothing else. The type is
// checked before the open, so that a device is never opened, and again on
// the open file, which cannot block: a pipe gives no writer to wait for.
int OpenRegular(const char* path, int flags, int& error, mode_t mode = 0) {
  struct stat st {};
  if (::stat(path, &st) == 0 && !S_ISREG(st.st_mode)) {
    error = kNotRegularFile;
    return -1;
  }
  Fd fd(OpenRetrying(path, flags | O_NONBLOCK | O_NOCTTY, mode));
  if (!fd.ok()) {
    error = errno;
    return -1;
  }
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    error = kNotRegularFile;
    return -1;
  }
  ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  return fd.release();
}

// Flushes the file, then closes it; false (errno set) when either fails.
bool SyncAndClose(Fd& fd) {
  bool ok = ::fsync(fd.get()) == 0;
  const int sync_error = errno;
  ok = (::close(fd.release()) == 0) && ok;
  if (!ok && sync_error != 0) errno = sync_error;
  return ok;
}

// Flushes a folder, so that a rename in it survives a power loss. Failures
// are not reported: some file systems cannot flush a folder.
void SyncFolder(const std::filesystem::path& file) {
  const std::filesystem::path parent = file.parent_path();
  Fd dir(OpenRetrying(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY));
  if (dir.ok()) ::fsync(dir.get());
}

// The file a path names once symbolic links are followed (at most 40, as the
// kernel does); a relative link counts from the folder of the link. The path
// itself when it is not a link.
std::filesystem::path LinkTarget(const std::filesystem::path& path) {
  std::filesystem::path p = path;
  for (int hop = 0; hop < 40; ++hop) {
    std::error_code error;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(p, error))) break;
    const std::filesystem::path next = std::filesystem::read_symlink(p, error);
    if (error) break;
    p = next.is_absolute() ? next : p.parent_path() / next;
  }
  return p;
}

constexpr mode_t kNewFileMode = S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH;

} // namespace

std::string FileErrorText(int error) {
  if (error == kNotRegularFile) return "Not a regular file";
  return std::strerror(error);
}

std::filesystem::path PathIn(const std::filesystem::path& folder, std::string_view name) {
  std::string local(name);
  for (char& c : local) {
    if (c == '\\') c = '/';
  }
  return folder / local;
}

uint32_t ReadFileInto(const std::filesystem::path& path, void* buffer, uint32_t n, int* error) {
  int ignored = 0;
  Fd fd(OpenRegular(path.c_str(), O_RDONLY, error != nullptr ? *error : ignored));
  if (!fd.ok()) return 0;
  ReadAll(fd.get(), static_cast<uint8_t*>(buffer), n);
  return n;
}

int64_t FileLength(const std::filesystem::path& path, int* error) {
  int ignored = 0;
  int& why = error != nullptr ? *error : ignored;
  Fd fd(OpenRegular(path.c_str(), O_RDONLY, why));
  if (!fd.ok()) return -1;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    why = errno;
    return -1;
  }
  return static_cast<int64_t>(st.st_size);
}

uint32_t ReadWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& out) {
  int ignored = 0;
  Fd fd(OpenRegular(path.c_str(), O_RDONLY, ignored));
  if (!fd.ok()) return 0;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return 0;
  if (st.st_size <= 0 || static_cast<uint64_t>(st.st_size) > UINT32_MAX) return 0;
  try {
    out.assign(static_cast<size_t>(st.st_size), 0);
  } catch (const std::bad_alloc&) {
    out.clear();
    return 0;
  }
  // A file that shrank while being read keeps its first bytes and zeros after.
  ReadAll(fd.get(), out.data(), out.size());
  return static_cast<uint32_t>(out.size());
}

uint32_t WriteWholeFile(const std::filesystem::path& path, const void* buffer, uint32_t n,
                        int* error) {
  int ignored = 0;
  int& why = error != nullptr ? *error : ignored;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  const std::filesystem::path target = LinkTarget(path);
  // A file that exists but cannot be opened for writing (no permission, a
  // folder, a device, a pipe, a loop of links) is not replaced: the plain
  // write would fail too, and a rename would put a file in place of a node.
  {
    Fd existing(OpenRegular(target.c_str(), O_RDWR, why));
    if (!existing.ok() && why != ENOENT) return 0;
  }
  std::string temp = target.string() + ".tmpXXXXXX";
  int raw = ::mkstemp(temp.data());
  if (raw < 0) {
    // No temporary file beside it (a folder this user may not write to):
    // rewrite the file in place, created or truncated as a plain write does.
    Fd fd(OpenRegular(target.c_str(), O_RDWR | O_CREAT | O_TRUNC, why, kNewFileMode));
    if (!fd.ok()) return 0;
    const bool ok = WriteAll(fd.get(), bytes, n) && SyncAndClose(fd);
    if (!ok) why = errno;
    return ok ? n : 0;
  }
  Fd fd(raw);
  // Keep the permissions an existing file has; a new one is owner read/write.
  struct stat old {};
  mode_t mode = ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : kNewFileMode;
  ::fchmod(fd.get(), mode);
  bool ok = WriteAll(fd.get(), bytes, n) && SyncAndClose(fd);
  if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    // Nothing replaced the old file, so say so rather than claim n bytes.
    why = errno;
    ::unlink(temp.c_str());
    return 0;
  }
  SyncFolder(target);
  return n;
}

uint32_t AppendToFile(const std::filesystem::path& path, const void* buffer, uint32_t n) {
  int ignored = 0;
  Fd fd(OpenRegular(path.c_str(), O_RDWR | O_CREAT | O_APPEND, ignored, kNewFileMode));
  if (!fd.ok()) return 0;
  WriteAll(fd.get(), static_cast<const uint8_t*>(buffer), n);
  return n;
}

namespace {

// Opens a regular file to append to (following links to one, as the other
// writes do), creating it only where nothing is at the path: never through a
// link, since a dangling one would create its target wherever it points.
int OpenToAppend(const char* path, int& why) {
  const int fd = OpenRegular(path, O_WRONLY | O_APPEND, why);
  if (fd >= 0 || why != ENOENT) return fd;
  const int created =
      OpenRetrying(path, O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW, kNewFileMode);
  if (created >= 0 || errno != EEXIST) {
    if (created < 0) why = errno;
    return created;
  }
  // A dangling link, unless the file appeared meanwhile.
  const int again = OpenRegular(path, O_WRONLY | O_APPEND, why);
  if (again < 0 && why == ENOENT) why = kNotRegularFile;
  return again;
}

} // namespace

uint32_t AppendWholeToFile(const std::filesystem::path& path, const void* buffer, uint32_t n,
                           int* error) {
  int ignored = 0;
  int& why = error != nullptr ? *error : ignored;
  Fd fd(OpenToAppend(path.c_str(), why));
  if (!fd.ok()) return 0;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    why = errno;
    return 0;
  }
  if (!WriteAll(fd.get(), static_cast<const uint8_t*>(buffer), n)) {
    why = errno;
    // Cut a part-written append off, so the next one does not run into it.
    while (::ftruncate(fd.get(), st.st_size) != 0 && errno == EINTR) {
    }
    return 0;
  }
  return n;
}

uint32_t RemoveLeftoverTemporaries(const std::filesystem::path& folder) {
  // The station's own file names, with the suffix a temporary file of
  // WriteWholeFile or of an image conversion gives them.
  static const std::string kNames =
      R"((XORVANE\.CFG|XModule[0-9]+\.CFG|RESULTS\.TAB|RECTIFY\.CFG|RESULTSWINDOW\.CFG|DXF\.CFG|)"
      R"(PART\.QGM|[A-Za-z0-9_-]{1,32}\.OIP|TEMPIMAGE\.BMP|FILE\.DXF|IMAGE[0-9]+\.(BMP|JPG)))";
  static const std::regex kTemporary(kNames + R"(\.tmp[A-Za-z0-9]{6}|\.)" + kNames +
                                     R"(\.pixora-[0-9]+-[0-9]+-[0-9]+\.tmp)");
  uint32_t removed = 0;
  for (const char* sub : {"", "DXF", "Saved"}) {
    std::error_code error;
    const std::filesystem::path dir = *sub != '\0' ? folder / sub : folder;
    for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end;
         it.increment(error)) {
      const std::string name = it->path().filename().string();
      if (!std::regex_match(name, kTemporary)) continue;
      std::error_code status_error;
      if (!it->is_regular_file(status_error) || it->is_symlink(status_error)) continue;
      if (std::filesystem::remove(it->path(), status_error)) ++removed;
    }
  }
  return removed;
}

std::filesystem::path MoveAside(const std::filesystem::path& path, std::error_code& error,
                                const std::vector<std::string>& companions) {
  for (int i = 0; i < 1000; ++i) {
    std::filesystem::path aside = path;
    aside += i == 0 ? ".bad" : ".bad" + std::to_string(i);
    if (std::filesystem::exists(std::filesystem::symlink_status(aside, error))) continue;
    std::filesystem::rename(path, aside, error);
    if (error) return {};
    for (const std::string& suffix : companions) {
      std::filesystem::path from = path, to = aside;
      from += suffix;
      to += suffix;
      std::error_code ignored;
      if (std::filesystem::exists(std::filesystem::symlink_status(from, ignored))) {
        std::filesystem::rename(from, to, ignored);
      }
    }
    return aside;
  }
  if (!error) error = std::make_error_code(std::errc::file_exists);
  return {};
}

bool IsStationFile(const std::filesystem::path& folder, const std::filesystem::path& path) {
  // By their path in the folder, with '/' between folders.
  static const std::regex kStationFiles(
      R"((XORVANE\.CFG|XModule[0-9]+\.CFG|RESULTS\.(TAB|CSV)|RESULTS\.TAB\.bad[0-9]*|)"
      R"(RESULTS\.TAB\.migrated|RESULTS\.DB(\.new|\.bad[0-9]*)?(-wal|-shm|-journal)?|)"
      R"(RECTIFY\.CFG(\.new)?|RESULTSWINDOW\.CFG|DXF\.CFG|TRACE\.CFG|\.ORVANE\.LOCK|VIDRANE\.BIN|ORVANE\.LOG|)"
      R"(TEMPIMAGE\.BMP|DXF/FILE\.DXF|PART\.QGM(\.bad[0-9]*)?|[A-Za-z0-9_-]{1,32}\.OIP|)"
      R"(Saved/IMAGE[0-9]+\.(BMP|JPG)))");
  std::error_code error;
  const std::filesystem::path base = std::filesystem::weakly_canonical(folder.empty() ? "." : folder, error);
  if (error) return false;
  // A link is judged by the file it names, dangling or not.
  const std::filesystem::path target = std::filesystem::weakly_canonical(LinkTarget(path), error);
  if (error) return false;
  return std::regex_match(target.lexically_relative(base).generic_string(), kStationFiles);
}

namespace {

// The process holding a whole-file lock on the file with this device and
// inode, as the kernel lists it; 0 when it is not listed.
long LockHolder(dev_t device, ino_t inode) {
  std::FILE* locks = std::fopen("/proc/locks", "re");
  if (locks == nullptr) return 0;
  long holder = 0;
  char line[256];
  while (holder == 0 && std::fgets(line, sizeof line, locks) != nullptr) {
    if (std::strstr(line, "->") != nullptr) continue;  // a waiter, not the holder
    long pid = 0;
    unsigned major_id = 0, minor_id = 0;
    unsigned long node = 0;
    if (std::sscanf(line, "%*d: %*s %*s %*s %ld %x:%x:%lu", &pid, &major_id, &minor_id, &node) ==
            4 &&
        major_id == major(device) && minor_id == minor(device) && node == inode) {
      holder = pid;
    }
  }
  std::fclose(locks);
  return holder;
}

// Takes an exclusive lock without waiting; 0, or the reason it was not taken.
int TryLock(int fd) {
  int result;
  do {
    result = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  return result == 0 ? 0 : errno;
}

// The lock file of a folder that cannot be opened, opened (created when
// `create`) only when it is a regular file; -1 otherwise.
int OpenLockFile(const std::filesystem::path& folder, bool create) {
  const std::filesystem::path path = (folder.empty() ? std::filesystem::path(".") : folder) / kFolderLockFile;
  const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | (create ? O_CREAT : 0);
  Fd fd(OpenRetrying(path.c_str(), flags, S_IRUSR | S_IRGRP | S_IROTH));
  struct stat st {};
  if (!fd.ok() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return fd.release();
}

// Locks `fd` for good (it stays open, and the lock with it); false with the
// holder when another process has it. Any other failure counts as taken.
bool Hold(int fd, long* holder) {
  const int why = TryLock(fd);
  if (why == 0) return true;
  struct stat st {};
  if (why == EWOULDBLOCK && ::fstat(fd, &st) == 0) *holder = LockHolder(st.st_dev, st.st_ino);
  ::close(fd);
  return why != EWOULDBLOCK;
}

} // namespace

int LockFolder(const std::filesystem::path& folder, long* holder) {
  *holder = 0;
  const char* name = folder.empty() ? "." : folder.c_str();
  const int fd = OpenRetrying(name, O_RDONLY | O_DIRECTORY);
  if (fd >= 0) {
    if (!Hold(fd, holder)) return kFolderLocked;
    // A station that could not open the folder holds its lock file instead.
    const int file = OpenLockFile(folder, false);
    if (file < 0 || Hold(file, holder)) return kFolderLockTaken;
    ::close(fd);
    return kFolderLocked;
  }
  // A folder this user may write but not list (mode 0300) cannot be opened:
  // lock a file in it, and honour a lock another user holds on the folder.
  if (errno != EACCES) return kFolderLockTaken;
  const int file = OpenLockFile(folder, true);
  if (file < 0) return kFolderLockTaken;
  if (!Hold(file, holder)) return kFolderLocked;
  struct stat st {};
  if (::stat(name, &st) == 0) *holder = LockHolder(st.st_dev, st.st_ino);
  if (*holder == 0 || *holder == ::getpid()) return kFolderLockTaken;
  ::close(file);
  return kFolderLocked;
}

std::string LockHolderText(long holder) {
  return holder > 0 ? "process " + std::to_string(holder) : "a process that cannot be told";
}

} // namespace orvane
