#include "ui/inspection_report.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "acquisition/rectification.h"
#include "results/session.h"

namespace orvane {
namespace {

// The rectification's description as one line ("on; Camera: ...; Grid:
// ..."), empty without a calibration.
std::string RectificationLine(const Station& st) {
  std::string text = DescribeRectification(st);
  if (text.rfind("Rectification: none", 0) == 0) return {};
  const std::string prefix = "Rectification: ";
  if (text.rfind(prefix, 0) == 0) text.erase(0, prefix.size());
  std::string line;
  for (char c : text) {
    if (c == '\r') continue;
    line += c == '\n' ? std::string("; ") : std::string(1, c);
  }
  while (line.size() >= 2 && line.compare(line.size() - 2, 2, "; ") == 0) line.resize(line.size() - 2);
  return line;
}

ReportPicture ShownPicture(const Station& st) {
  ReportPicture pic;
  const ImageState& im = st.image;
  if (im.display == nullptr || st.view.bits == nullptr || im.bytes_per_pixel != 3 ||
      uint64_t{im.stride} * im.height > im.size || im.stride < im.width * 3) {
    return pic;
  }
  pic.width = im.width;
  pic.height = im.height;
  pic.bgr.resize(size_t{im.width} * 3 * im.height);
  for (uint32_t y = 0; y < im.height; ++y) {
    std::memcpy(pic.bgr.data() + size_t{y} * im.width * 3, im.display + size_t{y} * im.stride, size_t{im.width} * 3);
  }
  return pic;
}

} // namespace

std::string StationName() {
  if (const char* name = std::getenv("ORVANE_STATION"); name != nullptr && *name != '\0') return name;
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) return {};
  return host;
}

InspectionReport StationReport(Station& st, std::vector<uint32_t> numbers) {
  ResultsSession& session = ResultsOf(st);
  if (numbers.empty()) numbers = LastPartRows(session.table);
  ReportContext context;
  context.station = StationName();
  context.operator_name = session.operator_name;
  context.rectification = RectificationLine(st);
  InspectionReport report = BuildReport(session.table, numbers, context);
  report.picture = ShownPicture(st);
  return report;
}

} // namespace orvane
