#include "file_io.h"

#include <atomic>
#include <cerrno>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "pixora.h"

namespace pixora {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { Close(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Returns false when close reports a failed write-back.
  bool Close() {
    if (fd_ < 0) return true;
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// A name in the destination's folder so that the final rename never crosses
// file systems. The leading dot keeps it out of ordinary listings while it
// exists; process id and counter keep concurrent conversions apart.
std::string TemporaryNameFor(const std::string& path, unsigned attempt) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  return folder + "." + base + ".pixora-" + std::to_string(::getpid()) + "-" +
         std::to_string(counter.fetch_add(1)) + "-" + std::to_string(attempt) + ".tmp";
}

}  // namespace

int ReadWholeFile(const char* path, std::size_t max_bytes, std::vector<std::uint8_t>& out) {
  out.clear();
  // Opening cannot block: a pipe with no writer is refused below, not waited on.
  FileDescriptor file(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!file.valid()) return PIXORA_ERR_READ;
  struct stat info {};
  // Devices and pipes could block or never end; only regular files are images.
  if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return PIXORA_ERR_READ;
  if (info.st_size < 0) return PIXORA_ERR_READ;
  if (static_cast<std::uint64_t>(info.st_size) > max_bytes) return PIXORA_ERR_TOO_LARGE;
  out.resize(static_cast<std::size_t>(info.st_size));
  std::size_t filled = 0;
  while (filled < out.size()) {
    const ssize_t got = ::read(file.get(), out.data() + filled, out.size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      out.clear();
      return PIXORA_ERR_READ;
    }
    if (got == 0) break;  // the file shrank while being read
    filled += static_cast<std::size_t>(got);
  }
  out.resize(filled);
  return PIXORA_OK;
}

int WriteFileAtomically(const char* path, std::span<const std::span<const std::uint8_t>> parts) {
  const std::string target(path);
  if (target.empty() || target.back() == '/') return PIXORA_ERR_WRITE;
  // A device, pipe or folder in the destination's place is never renamed over.
  struct stat existing {};
  if (::stat(path, &existing) == 0 && !S_ISREG(existing.st_mode)) {
    errno = EEXIST;
    return PIXORA_ERR_WRITE;
  }

  std::string temporary;
  int fd = -1;
  for (unsigned attempt = 0; attempt < 8 && fd < 0; ++attempt) {
    temporary = TemporaryNameFor(target, attempt);
    // 0666 lets the process's umask decide the final permissions, as for any
    // newly created file.
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return PIXORA_ERR_WRITE;
  }
  if (fd < 0) return PIXORA_ERR_WRITE;

  FileDescriptor file(fd);
  bool ok = true;
  for (const auto& part : parts) {
    if (!WriteAll(file.get(), part.data(), part.size())) {
      ok = false;
      break;
    }
  }
  // Flushed before the rename, and the folder after it, so that the name
  // never points at bytes a power loss could take back.
  ok = ok && ::fsync(file.get()) == 0;
  const int saved = errno;
  ok = file.Close() && ok;
  if (ok && ::rename(temporary.c_str(), target.c_str()) == 0) {
    const std::size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) ::fsync(dir.get());
    return PIXORA_OK;
  }
  const int reason = ok ? errno : saved;
  ::unlink(temporary.c_str());
  errno = reason;
  return PIXORA_ERR_WRITE;
}

}  // namespace pixora
