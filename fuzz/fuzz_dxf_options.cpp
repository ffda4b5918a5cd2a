// Feeds arbitrary bytes to the DXF options reader: it either refuses them
// with a reason or gives options that write back to a text it reads again to
// the same options.
#include <cstdint>
#include <string>
#include <string_view>

#include "dxf/dxf_options.h"
#include "fuzz/check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const auto options = ParseDxfOptions(text, &error);
  if (!options) {
    CHECK(!error.empty());
    return 0;
  }
  CHECK(error.empty());
  CHECK(size <= kMaxDxfOptionsBytes);
  const std::string again = FormatDxfOptions(*options);
  const auto reread = ParseDxfOptions(again, &error);
  CHECK(reread.has_value() && *reread == *options);
  return 0;
}
