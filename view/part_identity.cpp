#include "view/part_identity.h"

#include "results/session.h"
#include "view/mouse_modes.h"

namespace orvane {

void SetPartIdentity(Station& st, std::string_view text) {
  ResultsOf(st).part_id = PartIdentityText(text);
  if (st.working) mouse::Refresh(st);
}

std::optional<PartCode> ReadPartIdentity(Station& st, std::optional<PixelRegion> region) {
  const ImageState& im = st.image;
  std::optional<PartCode> code;
  if (im.frame != nullptr && im.bytes_per_pixel == 3 && uint64_t{im.stride} * im.height <= im.size) {
    code = ReadPartCode(im.frame, im.width, im.height, im.stride, region);
  }
  SetPartIdentity(st, code ? code->text : std::string());
  if (code) code->text = ResultsOf(st).part_id;
  return code;
}

std::string PartIdentityLegend(const Station& st) {
  if (!st.results || st.results->part_id.empty()) return {};
  return "Part: " + st.results->part_id;
}

} // namespace orvane
