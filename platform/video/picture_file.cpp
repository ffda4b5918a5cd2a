#include "platform/video/picture_file.h"

#include <turbojpeg.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace orvane::video {
namespace {

constexpr uintmax_t kMaxFileBytes = 256u << 20;

#ifdef TJFLAG_LIMITSCANS
constexpr int kScanLimitFlag = TJFLAG_LIMITSCANS;
#else
constexpr int kScanLimitFlag = 0;
#endif

// The bytes of a regular file of 2 to kMaxFileBytes bytes; nothing for any
// other file. The open cannot block on a pipe, and a device is never read.
std::vector<uint8_t> ReadPictureBytes(const std::filesystem::path& path) {
  std::vector<uint8_t> data;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return data;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return data;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 2 &&
      static_cast<uintmax_t>(st.st_size) <= kMaxFileBytes) {
    data.resize(static_cast<size_t>(st.st_size));
    size_t filled = 0;
    while (filled < data.size()) {
      const ssize_t got = ::read(fd, data.data() + filled, data.size() - filled);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      filled += static_cast<size_t>(got);
    }
    data.resize(filled);
  }
  ::close(fd);
  return data;
}

uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool DecodeBmp(const std::vector<uint8_t>& d, Picture* out) {
  if (d.size() < 54 || d[0] != 'B' || d[1] != 'M') return false;
  const uint32_t offset = U32(&d[10]);
  const int32_t w = static_cast<int32_t>(U32(&d[18]));
  const int32_t h = static_cast<int32_t>(U32(&d[22]));
  const uint32_t bits = uint32_t(d[28]) | uint32_t(d[29]) << 8;
  if (U32(&d[30]) != 0 || (bits != 24 && bits != 32)) return false;
  if (w <= 0 || h == 0 || h == INT32_MIN) return false;
  const uint32_t width = static_cast<uint32_t>(w);
  const uint32_t height = static_cast<uint32_t>(h < 0 ? -h : h);
  if (width > kPictureFileMaxSide || height > kPictureFileMaxSide) return false;
  const size_t bpp = bits / 8;
  const size_t row = (width * bpp + 3) & ~size_t{3};
  if (offset > d.size() || d.size() - offset < row * height) return false;
  out->width = width;
  out->height = height;
  out->bgrx.assign(size_t{width} * height * 4, 0);
  for (uint32_t y = 0; y < height; ++y) {
    const uint32_t file_row = h > 0 ? height - 1 - y : y;
    const uint8_t* src = d.data() + offset + row * file_row;
    uint8_t* dst = out->bgrx.data() + size_t{width} * 4 * y;
    for (uint32_t x = 0; x < width; ++x) {
      std::memcpy(dst + x * 4, src + x * bpp, 3);
    }
  }
  return true;
}

bool DecodeJpeg(const std::vector<uint8_t>& d, Picture* out) {
  tjhandle tj = tjInitDecompress();
  if (tj == nullptr) return false;
  int w = 0, h = 0, subsamp = 0, colourspace = 0;
  bool ok = tjDecompressHeader3(tj, d.data(), static_cast<unsigned long>(d.size()), &w, &h,
                                &subsamp, &colourspace) == 0 &&
            w > 0 && h > 0 && uint32_t(w) <= kPictureFileMaxSide &&
            uint32_t(h) <= kPictureFileMaxSide;
  if (ok) {
    out->width = static_cast<uint32_t>(w);
    out->height = static_cast<uint32_t>(h);
    out->bgrx.assign(size_t(w) * size_t(h) * 4, 0);
    // As for a dropped picture, a progressive file may not have an unbounded
    // number of scans: a hostile one would take a minute to decode.
    ok = tjDecompress2(tj, d.data(), static_cast<unsigned long>(d.size()), out->bgrx.data(), w,
                       w * 4, h, TJPF_BGRX, kScanLimitFlag) == 0;
  }
  tjDestroy(tj);
  return ok;
}

} // namespace

bool LoadPictureFile(const std::filesystem::path& path, Picture* out) {
  const std::vector<uint8_t> data = ReadPictureBytes(path);
  if (data.size() < 2) return false;
  if (data[0] == 0xFF && data[1] == 0xD8) return DecodeJpeg(data, out);
  return DecodeBmp(data, out);
}

void ScalePicture(const Picture& in, uint32_t width, uint32_t height, Picture* out) {
  out->width = width;
  out->height = height;
  out->bgrx.resize(size_t{width} * height * 4);
  if (in.width == 0 || in.height == 0) {
    std::fill(out->bgrx.begin(), out->bgrx.end(), 0);
    return;
  }
  std::vector<uint32_t> columns(width);
  for (uint32_t x = 0; x < width; ++x) columns[x] = uint32_t(uint64_t{x} * in.width / width);
  for (uint32_t y = 0; y < height; ++y) {
    const uint32_t sy = uint32_t(uint64_t{y} * in.height / height);
    const uint8_t* src = in.bgrx.data() + size_t{in.width} * 4 * sy;
    uint8_t* dst = out->bgrx.data() + size_t{width} * 4 * y;
    for (uint32_t x = 0; x < width; ++x) std::memcpy(dst + x * 4, src + columns[x] * 4, 4);
  }
}

} // namespace orvane::video
