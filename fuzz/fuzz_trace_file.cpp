// Arbitrary bytes as the traceability settings file: the reader takes them
// whole or refuses them naming a line, never crashes; what it takes writes a
// text that reads back to the same settings and writes the same text again.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/check.h"
#include "results/trace_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const std::optional<orvane::TraceSettings> read = orvane::ParseTraceSettings(text, &error);
  if (!read) {
    CHECK(error.rfind("line ", 0) == 0 || error == "the file is too large");
    return 0;
  }
  const std::string written = orvane::TraceSettingsText(*read);
  const std::optional<orvane::TraceSettings> again = orvane::ParseTraceSettings(written, &error);
  CHECK(again && *again == *read);
  CHECK(orvane::TraceSettingsText(*again) == written);
  return 0;
}
