#include "workspace/files.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
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

bool WriteAll(int fd, const uint8_t* in, size_t n) {
  size_t done = 0;
  while (done < n) {
    ssize_t put = ::write(fd, in + done, n - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
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

std::filesystem::path PathIn(const std::filesystem::path& folder, std::string_view name) {
  std::string local(name);
  for (char& c : local) {
    if (c == '\\') c = '/';
  }
  return folder / local;
}

uint32_t ReadFileInto(const std::filesystem::path& path, void* buffer, uint32_t n) {
  Fd fd(OpenRetrying(path.c_str(), O_RDONLY));
  if (!fd.ok()) return 0;
  ReadAll(fd.get(), static_cast<uint8_t*>(buffer), n);
  return n;
}

int64_t FileLength(const std::filesystem::path& path) {
  Fd fd(OpenRetrying(path.c_str(), O_RDONLY));
  if (!fd.ok()) return -1;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

uint32_t ReadWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& out) {
  Fd fd(OpenRetrying(path.c_str(), O_RDONLY));
  if (!fd.ok()) return 0;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
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

uint32_t WriteWholeFile(const std::filesystem::path& path, const void* buffer, uint32_t n) {
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  const std::filesystem::path target = LinkTarget(path);
  // A file that exists but cannot be opened for writing (no permission, a
  // folder, a loop of links) is not replaced: the plain write would fail too.
  {
    Fd existing(OpenRetrying(target.c_str(), O_RDWR));
    if (!existing.ok() && errno != ENOENT) return 0;
  }
  std::string temp = target.string() + ".tmpXXXXXX";
  int raw = ::mkstemp(temp.data());
  if (raw < 0) {
    // No temporary file beside it (a folder this user may not write to):
    // rewrite the file in place, created or truncated as a plain write does.
    Fd fd(OpenRetrying(target.c_str(), O_RDWR | O_CREAT | O_TRUNC, kNewFileMode));
    if (!fd.ok()) return 0;
    bool ok = WriteAll(fd.get(), bytes, n);
    ok = (::close(fd.release()) == 0) && ok;
    return ok ? n : 0;
  }
  Fd fd(raw);
  // Keep the permissions an existing file has; a new one is owner read/write.
  struct stat old {};
  mode_t mode = ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : kNewFileMode;
  ::fchmod(fd.get(), mode);
  bool ok = WriteAll(fd.get(), bytes, n);
  ok = (::close(fd.release()) == 0) && ok;
  if (!ok || ::rename(temp.c_str(), target.c_str()) != 0) {
    // Nothing replaced the old file, so say so rather than claim n bytes.
    ::unlink(temp.c_str());
    return 0;
  }
  return n;
}

uint32_t AppendToFile(const std::filesystem::path& path, const void* buffer, uint32_t n) {
  Fd fd(OpenRetrying(path.c_str(), O_RDWR | O_CREAT | O_APPEND, kNewFileMode));
  if (!fd.ok()) return 0;
  WriteAll(fd.get(), static_cast<const uint8_t*>(buffer), n);
  return n;
}

} // namespace orvane
