#include "workspace/log.h"

#include <cstdlib>
#include <cstring>

#include "workspace/files.h"

namespace orvane {

uint32_t AppendLog(const std::filesystem::path& folder, std::string_view text) {
  auto path = PathIn(folder, kLogFileName);
  // The size is tested before the append, so one text may take the log past
  // the limit; every later one is refused.
  if (FileLength(path) >= kLogSizeLimit) return 0;
  AppendToFile(path, text.data(), static_cast<uint32_t>(text.size()));
  return 1;
}

bool LogAskedFor() {
  const char* value = std::getenv("ORVANE_LOG");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

} // namespace orvane
