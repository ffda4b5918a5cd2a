// A stand-in for the vision library's version query, preloaded before the
// real library: it reports a version older than any (negative), so the
// programs must refuse to start.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) int32_t qlxVersion(uint8_t* /*buffer*/) {
  return -1;
}
