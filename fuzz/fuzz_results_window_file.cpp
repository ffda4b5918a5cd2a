// Arbitrary bytes as the Results window's own file: read whole or refused
// (the state untouched), never a crash; what is read writes back the same.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/check.h"
#include "results/window_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  orvane::ResultsWindowState state;
  state.width = 7;
  if (!orvane::ReadResultsWindowText(text, &state)) {
    CHECK(state.width == 7 && !state.has_geometry);
    return 0;
  }
  CHECK(!state.has_geometry || (state.width >= 1 && state.height >= 1));
  const std::string written = orvane::WriteResultsWindowText(state);
  orvane::ResultsWindowState again;
  CHECK(orvane::ReadResultsWindowText(written, &again));
  CHECK(orvane::WriteResultsWindowText(again) == written);
  return 0;
}
