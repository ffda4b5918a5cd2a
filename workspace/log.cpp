#include "workspace/log.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "workspace/files.h"

namespace orvane {

uint32_t AppendLog(Station& station, std::string_view text) {
  if (station.log_enabled == 0) return 0;
  auto path = station.PathOf(kLogFileName);
  // The size is tested before the append, so one text may take the log past
  // the limit; every later one is refused.
  if (FileLength(path) >= kLogSizeLimit) return 0;
  AppendToFile(path, text.data(), static_cast<uint32_t>(text.size()));
  return 1;
}

void ReportFileFailure(Station& station, const std::filesystem::path& path, int error,
                       bool writing) {
  if (!writing && error == ENOENT) return;
  if (!station.reported_file_failures.insert(path.string()).second) return;
  const std::string text = std::string(writing ? "Unable to write " : "Unable to read ") +
                           path.string() + ": " + FileErrorText(error);
  station.surface().MessageBox(text, ApplicationTitle(), MessageButtons::Ok);
}

bool LogAskedFor() {
  const char* value = std::getenv("ORVANE_LOG");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

} // namespace orvane
