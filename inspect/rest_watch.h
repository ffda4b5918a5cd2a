// When a live picture has come to rest after it changed: the moment an
// automatic run in Live looks for the part. The picture is watched through
// a coarse grid of cell means (every other pixel of every other row of
// each 8 x 8 cell), so that watching costs a small part of showing it.
//
// A picture is still while no more than a few cells change between two
// pictures by more than sensor noise does; it has come to rest once it was
// still for kRestSeconds and kRestFrames pictures. Each rest is reported
// once, and the next only after the picture moved away from what it was
// then (the part taken away or moved, a hand in the field): noise, a
// flicker that comes back and slow drift never report a rest again.
#pragma once

#include <cstdint>
#include <vector>

namespace orvane {

inline constexpr uint32_t kRestCell = 8;       // a cell's side, px
inline constexpr double kRestSeconds = 0.3;    // how long a picture stays still to be at rest
inline constexpr uint32_t kRestFrames = 3;     // and over how many pictures at least
inline constexpr uint32_t kRestCellStep = 10;  // a cell's change in grey levels that is no noise
inline constexpr uint32_t kRestChangedCells = 3; // changed cells that make a picture move

// A picture as the watch reads it: B, G, R (and a fourth byte) per pixel.
struct RestPicture {
  const uint8_t* pixels = nullptr;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t stride = 0;          // bytes a row
  uint32_t bytes_per_pixel = 4; // 3 or 4
};

class RestWatch {
 public:
  // The next picture, seen at `seconds` (any clock that never goes back).
  // True once when it came to rest after a change (the first rest after a
  // reset counts as one); a picture of another size starts afresh.
  bool Feed(const RestPicture& picture, double seconds);
  void Reset();

 private:
  std::vector<uint16_t> cells_, previous_, reference_;
  uint32_t width_ = 0, height_ = 0;
  double still_since_ = 0.0;
  uint32_t still_frames_ = 0;
  bool pending_ = true; // a rest is to be reported
};

// What the station keeps between live pictures for its automatic runs.
struct LiveWatch {
  RestWatch rest;
  uint64_t scene = 0;   // the folder camera's showing last run on (0: none)
  uint64_t sequence = 0, stream = 0; // the picture watched last
  bool timed = false;   // a tick was read
  uint32_t tick = 0;    // the last tick read, ms
  double seconds = 0.0; // time watched, summed from the ticks' steps
};

} // namespace orvane
