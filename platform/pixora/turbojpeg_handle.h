// Ownership helpers around the TurboJPEG API, which reports every libjpeg
// error and warning as a return code instead of ending the process.
#ifndef PIXORA_TURBOJPEG_HANDLE_H
#define PIXORA_TURBOJPEG_HANDLE_H

#include <memory>
#include <new>

#include <turbojpeg.h>

#include "pixora.h"

namespace pixora {

struct TjHandleDeleter {
  void operator()(void* handle) const { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjHandleDeleter>;

struct TjBufferDeleter {
  void operator()(unsigned char* buffer) const { tjFree(buffer); }
};
using TjBuffer = std::unique_ptr<unsigned char, TjBufferDeleter>;

// Decoding flags: libjpeg warnings (a truncated file, corrupt data) count as
// errors, and a progressive file may not have an unbounded number of scans.
inline constexpr int kDecodeFlags = TJFLAG_STOPONWARNING | TJFLAG_ACCURATEDCT
#ifdef TJFLAG_LIMITSCANS
                                    | TJFLAG_LIMITSCANS
#endif
    ;

// Runs a conversion body behind the C boundary: no exception may leave it.
template <typename Body>
int RunGuarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return PIXORA_ERR_MEMORY;
  } catch (...) {
    return PIXORA_ERR_MEMORY;
  }
}

}  // namespace pixora

#endif
