#include "station/image_view.h"

#include "station/image_state.h"

namespace orvane {

void ImageView::Create(const ImageState& image) {
  SetFormat(static_cast<int32_t>(image.width), static_cast<int32_t>(image.height),
            static_cast<int32_t>(image.bits_per_pixel));
  cursor_id = image.view_cursor;
  mouse_mode = static_cast<uint32_t>(MouseMode::Roi);
  set_complete = 1;
  edit = {};
}

BitmapInfoHeader ImageView::Header() const {
  BitmapInfoHeader h;
  h.width = width;
  h.height = -height;
  h.bit_count = static_cast<uint16_t>(bits_per_pixel);
  return h;
}

std::optional<PaintPlan> ImageView::Paint(int32_t client_width, int32_t client_height) const {
  if (bits == nullptr) return std::nullopt;
  PaintPlan plan;
  plan.bits = bits;
  plan.header = Header();
  plan.dest_width = client_width;
  plan.dest_height = client_height;
  return plan;
}

int32_t StretchSource(int32_t dest, int32_t dest_size, int32_t source_size) {
  if (dest_size <= 0 || source_size <= 0 || dest < 0) return 0;
  const int64_t s = static_cast<int64_t>(dest) * source_size / dest_size;
  return static_cast<int32_t>(s < source_size ? s : source_size - 1);
}

} // namespace orvane
