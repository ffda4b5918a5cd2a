#include "platform/video/picture_store.h"

#include <atomic>
#include <utility>

namespace orvane::video {
namespace {

// Every store, and every restart of one, counts its pictures in a stream of
// its own, so a picture held by a reader is never taken for the newest one
// of another stream that happens to have the same sequence number.
uint64_t NewStream() {
  static std::atomic<uint64_t> next{0};
  return ++next;
}

} // namespace

PictureStore::PictureStore()
    : front_(std::make_shared<Picture>()),
      back_(std::make_shared<Picture>()),
      spare_(std::make_shared<Picture>()),
      stream_(NewStream()) {}

Picture& PictureStore::Back(uint32_t width, uint32_t height) {
  {
    // A reader releases its hold under the lock, so a count of one seen here
    // means nobody reads the buffer any more.
    std::lock_guard lock(mutex_);
    if (back_.use_count() > 1) {
      std::swap(back_, spare_);
      if (back_.use_count() > 1) back_ = std::make_shared<Picture>();
    }
  }
  back_->width = width;
  back_->height = height;
  back_->bgrx.resize(size_t{width} * height * 4);
  return *back_;
}

void PictureStore::Publish() {
  {
    std::lock_guard lock(mutex_);
    std::swap(front_, back_);
    front_->sequence = ++sequence_;
    front_->stream = stream_;
  }
  arrived_.notify_all();
  if (listener_) listener_();
}

void PictureStore::MarkLost() {
  {
    std::lock_guard lock(mutex_);
    lost_ = true;
  }
  arrived_.notify_all();
}

bool PictureStore::lost() const {
  std::lock_guard lock(mutex_);
  return lost_;
}

void PictureStore::SetStreaming(bool streaming) {
  {
    std::lock_guard lock(mutex_);
    streaming_ = streaming;
    if (streaming) lost_ = false;
  }
  arrived_.notify_all();
}

void PictureStore::Clear() {
  std::lock_guard lock(mutex_);
  front_ = std::make_shared<Picture>();
  back_ = std::make_shared<Picture>();
  spare_ = std::make_shared<Picture>();
  sequence_ = 0;
  stream_ = NewStream();
  lost_ = false;
}

bool PictureStore::Latest(Picture* out) {
  return UseLatest([out](const Picture& newest) {
    if (out->stream == newest.stream && out->sequence == newest.sequence &&
        out->width == newest.width && out->height == newest.height &&
        out->bgrx.size() == newest.bgrx.size()) {
      return;
    }
    out->width = newest.width;
    out->height = newest.height;
    out->sequence = newest.sequence;
    out->stream = newest.stream;
    out->started_ns = newest.started_ns;
    out->scene = newest.scene;
    out->bgrx.assign(newest.bgrx.begin(), newest.bgrx.end());
  });
}

bool PictureStore::UseLatest(const std::function<void(const Picture&)>& use) {
  std::shared_ptr<const Picture> newest;
  {
    std::lock_guard lock(mutex_);
    if (sequence_ == 0) return false;
    newest = front_;
  }
  UseHeld(std::move(newest), use);
  return true;
}

bool PictureStore::Snapshot(std::vector<uint8_t>* out, std::chrono::milliseconds wait) {
  return UseNewest([out](const Picture& p) { PictureToSnapshot(p, out); }, wait);
}

bool PictureStore::UseNewest(const std::function<void(const Picture&)>& use,
                             std::chrono::milliseconds wait) {
  std::shared_ptr<const Picture> newest;
  {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, wait, [this] { return sequence_ > 0 || lost_ || !streaming_; });
    if (lost_ || !streaming_ || sequence_ == 0) return false;
    newest = front_;
  }
  UseHeld(std::move(newest), use);
  return true;
}

bool PictureStore::UseNext(uint64_t not_before_ns, const std::function<void(const Picture&)>& use,
                           std::chrono::milliseconds wait) {
  std::shared_ptr<const Picture> next;
  {
    std::unique_lock lock(mutex_);
    const uint64_t seen = sequence_;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    auto ready = [&] {
      return lost_ || !streaming_ ||
             (sequence_ > seen && (front_->started_ns == 0 || front_->started_ns >= not_before_ns));
    };
    if (!arrived_.wait_until(lock, deadline, ready) || lost_ || !streaming_) return false;
    next = front_;
  }
  UseHeld(std::move(next), use);
  return true;
}

uint64_t PictureStore::published() const {
  std::lock_guard lock(mutex_);
  return sequence_;
}

void PictureStore::UseHeld(std::shared_ptr<const Picture> held,
                           const std::function<void(const Picture&)>& use) {
  use(*held);
  // Released under the lock, where the capture thread reads the count.
  std::lock_guard lock(mutex_);
  held.reset();
}

} // namespace orvane::video
