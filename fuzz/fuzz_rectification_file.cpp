// Feeds arbitrary bytes to the rectification file reader: it either refuses
// them with a reason or gives a usable model (one that rectifies its
// picture sensibly) that writes back to text it
// reads again to the same record, and whose output frame is finite.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/check.h"
#include "rectify/rectification_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane::rectify;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const auto record = ParseRectification(text, &error);
  if (!record) {
    CHECK(!error.empty());
    return 0;
  }
  CHECK(error.empty());
  CHECK(IsUsable(record->model));
  CHECK(PictureMappingProblem(record->model) == nullptr);
  OutputFrame frame;
  CHECK(FrameOf(record->model, &frame));
  const Point2 corner = PlaneOfOutput(record->model, frame, {0.0, 0.0});
  CHECK(std::isfinite(corner.x) && std::isfinite(corner.y));
  const std::string again = FormatRectification(*record);
  const auto reread = ParseRectification(again, &error);
  CHECK(reread.has_value());
  CHECK(FormatRectification(*reread) == again);
  return 0;
}
