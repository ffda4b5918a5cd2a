#include "inspect/rest_watch.h"

#include <cstdlib>

namespace orvane {
namespace {

// Samples a cell sums: every other pixel of every other row, B + G + R.
constexpr uint32_t kSamplesPerCell = (kRestCell / 2) * (kRestCell / 2);
static_assert(kSamplesPerCell * 3 * 255 <= 0xFFFF, "a cell's sum fits its counter");
constexpr int32_t kCellStepSum = static_cast<int32_t>(kRestCellStep * 3 * kSamplesPerCell);

// The sums of the whole cells of `p` into `cells`, row by row; none when
// the picture is not one the watch reads.
void CellSums(const RestPicture& p, std::vector<uint16_t>* cells) {
  cells->clear();
  if (p.pixels == nullptr || (p.bytes_per_pixel != 3 && p.bytes_per_pixel != 4)) return;
  const uint32_t columns = p.width / kRestCell, rows = p.height / kRestCell;
  cells->assign(size_t{columns} * rows, 0);
  for (uint32_t y = 0; y < rows * kRestCell; y += 2) {
    const uint8_t* row = p.pixels + size_t{y} * p.stride;
    uint16_t* out = cells->data() + size_t{y / kRestCell} * columns;
    for (uint32_t x = 0; x < columns * kRestCell; x += 2) {
      const uint8_t* px = row + size_t{x} * p.bytes_per_pixel;
      out[x / kRestCell] = static_cast<uint16_t>(out[x / kRestCell] + px[0] + px[1] + px[2]);
    }
  }
}

// Whether more than noise tells the two grids apart.
bool Differ(const std::vector<uint16_t>& a, const std::vector<uint16_t>& b) {
  uint32_t changed = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (std::abs(int32_t{a[i]} - int32_t{b[i]}) > kCellStepSum && ++changed >= kRestChangedCells) return true;
  }
  return false;
}

} // namespace

void RestWatch::Reset() {
  previous_.clear();
  reference_.clear();
  width_ = height_ = 0;
  still_frames_ = 0;
  pending_ = true;
}

bool RestWatch::Feed(const RestPicture& picture, double seconds) {
  CellSums(picture, &cells_);
  if (cells_.empty()) return false;
  if (picture.width != width_ || picture.height != height_ || previous_.empty()) {
    Reset();
    width_ = picture.width;
    height_ = picture.height;
    previous_.swap(cells_);
    still_since_ = seconds;
    return false;
  }
  const bool moved = Differ(previous_, cells_);
  previous_.swap(cells_);
  if (moved) {
    still_since_ = seconds;
    still_frames_ = 0;
    // Only a moving picture re-arms, so that drift while still never does.
    if (!reference_.empty() && Differ(reference_, previous_)) pending_ = true;
  } else {
    ++still_frames_;
  }
  if (!pending_ || still_frames_ < kRestFrames || seconds - still_since_ < kRestSeconds) return false;
  pending_ = false;
  reference_ = previous_;
  return true;
}

} // namespace orvane
