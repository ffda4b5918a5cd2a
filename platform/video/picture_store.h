// The hand-over of pictures from a capture thread to the station's thread:
// the thread fills a back buffer and publishes it; the newest published
// picture is what the live area and a snapshot read. The lock is held only
// to hand pictures over: readers use the picture outside it, so the
// capture thread never waits for a reader.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/video/video.h"

namespace orvane::video {

class PictureStore {
 public:
  PictureStore();
  // Capture thread: the buffer to fill next, sized for width x height. Only
  // the capture thread touches it until Publish.
  Picture& Back(uint32_t width, uint32_t height);
  // Capture thread: the back buffer becomes the newest picture.
  void Publish();
  // The device is gone: snapshots fail from now on, the last picture stays
  // for the live area.
  void MarkLost();
  bool lost() const;
  // Streaming starts or stops; stopping wakes a snapshot that waits.
  void SetStreaming(bool streaming);
  // Forgets every picture (a new format).
  void Clear();

  // Only while no capture thread runs: called after every Publish.
  void SetListener(std::function<void()> listener) { listener_ = std::move(listener); }
  // Capture thread: runs the listener without a new picture (the device was
  // lost or came back, which the station shows too).
  void Notify() {
    if (listener_) listener_();
  }

  // The newest picture into `out`; copies nothing when `out` already holds
  // it (same stream and sequence).
  bool Latest(Picture* out);
  // `use` sees the newest picture itself, outside the lock: the capture
  // thread fills other buffers until it returns. False while there is none.
  bool UseLatest(const std::function<void(const Picture&)>& use);
  // The newest picture as a snapshot bitmap, waiting at most `wait` for the
  // first one.
  bool Snapshot(std::vector<uint8_t>* out, std::chrono::milliseconds wait);
  // The same wait, then `use` sees the newest picture as UseLatest does.
  bool UseNewest(const std::function<void(const Picture&)>& use, std::chrono::milliseconds wait);
  // Waits at most `wait` for the first picture published from now on whose
  // reception began at or after `not_before_ns` (pictures that do not say
  // when count as begun), then `use` sees it as UseLatest does. False when
  // none came in time, the device was lost or stopped streaming.
  bool UseNext(uint64_t not_before_ns, const std::function<void(const Picture&)>& use,
               std::chrono::milliseconds wait);
  // Pictures published since the last Clear.
  uint64_t published() const;

 private:
  // `use` sees the held picture, then the hold is released under the lock.
  void UseHeld(std::shared_ptr<const Picture> held, const std::function<void(const Picture&)>& use);

  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  // Shared with a reader that uses the newest picture outside the lock;
  // the capture thread never fills a buffer a reader still holds. Never null.
  std::shared_ptr<Picture> front_;
  std::shared_ptr<Picture> back_;
  std::shared_ptr<Picture> spare_;
  uint64_t sequence_ = 0;
  uint64_t stream_;
  std::function<void()> listener_;
  bool streaming_ = false;
  bool lost_ = false;
};

} // namespace orvane::video
