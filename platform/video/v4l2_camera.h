// The V4L2 backend: the system's /dev/video* capture devices. It reaches the
// kernel only through a table of system calls, so that tests can play a
// device by replacing the table.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/video/video.h"

struct pollfd;

namespace orvane::video {

// The system calls the backend uses. Each returns what the call of the same
// name returns and reports failures through errno.
struct SystemCallTable {
  std::function<std::vector<std::string>()> list_nodes; // "/dev/video0", ... in order
  std::function<int(const char* path, int flags)> open;
  std::function<int(int fd)> close;
  std::function<int(int fd, unsigned long request, void* arg)> ioctl;
  std::function<void*(void* addr, size_t length, int prot, int flags, int fd, off_t offset)> mmap;
  std::function<int(void* addr, size_t length)> munmap;
  std::function<int(struct pollfd* fds, unsigned long n, int timeout_ms)> poll;
};

// The table of the real kernel.
SystemCallTable SystemCalls();

std::unique_ptr<VideoBackend> MakeV4l2Backend(SystemCallTable calls);

// Pixel conversions into B, G, R, x of `pixels` pixels. YUYV is Y0 U Y1 V
// per pixel pair (an odd last pixel is dropped), BT.601 limited range.
void YuyvToBgrx(const uint8_t* yuyv, uint8_t* bgrx, size_t pixels);
void Bgr24ToBgrx(const uint8_t* bgr, uint8_t* bgrx, size_t pixels);
void Rgb24ToBgrx(const uint8_t* rgb, uint8_t* bgrx, size_t pixels);
// YUYV to 3-byte B, G, R (the frame layout), same arithmetic.
void YuyvToBgr(const uint8_t* yuyv, uint8_t* bgr, size_t pixels);

} // namespace orvane::video
