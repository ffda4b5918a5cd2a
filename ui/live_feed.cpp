#include "ui/live_feed.h"

#include <utility>

#include "ui/live_runs.h"
#include "ui/status.h"

namespace orvane {

LiveFeed::LiveFeed(Station& station, LiveArea area) : station_(station), area_(std::move(area)) {
  station_.hooks.live_picture_arrived = [this] { Arrived(); };
}

void LiveFeed::Arrived() {
  if (shown_ && !ended_) Rectify();
  if (request_waiting_.exchange(true)) return;
  area_.post([this] {
    request_waiting_ = false;
    ShowNewPicture();
  });
}

void LiveFeed::Show() {
  shown_ = true;
  ShowNewPicture();
}

void LiveFeed::ShowNewPicture() {
  // A camera that was lost or came back sends no picture, only this request.
  if (!ended_ && shown_) RefreshCameraNote(station_);
  if (ended_ || !shown_ || station_.image.no_camera != 0 || !area_.visible()) return;
  if (!ShowRectified()) {
    const bool shown = ShowLatestPicture(station_, &held_, area_.show);
    if (shown && !held_.bgrx.empty()) ++window_remaps_;
  }
  // The automatic runs in Live watch what was just shown.
  WatchLivePicture(station_);
}

void LiveFeed::Rectify() {
  // The camera cannot go while its own thread reports a picture: closing it
  // waits for that thread first.
  if (!station_.camera || !station_.camera->device) return;
  const std::shared_ptr<const rectify::RemapTables> tables = station_.camera->rectification.tables.Get();
  if (!tables) return;
  station_.camera->device->UseLatestPicture([&](const video::Picture& p) {
    if (p.width != tables->width() || p.height != tables->height() ||
        p.bgrx.size() < size_t{p.width} * p.height * 4) {
      // Not for these tables: the window's thread shows it as it is.
      std::lock_guard lock(ready_mutex_);
      ready_tables_.reset();
      ready_.bgrx.clear();
      return;
    }
    work_.resize(size_t{p.width} * p.height * 4);
    tables->Apply(p.bgrx.data(), work_.data());
    std::lock_guard lock(ready_mutex_);
    ready_.width = p.width;
    ready_.height = p.height;
    ready_.sequence = p.sequence;
    ready_.stream = p.stream;
    ready_.bgrx.swap(work_);
    ready_tables_ = tables;
  });
}

bool LiveFeed::ShowRectified() {
  const std::shared_ptr<const rectify::RemapTables> tables =
      station_.camera ? station_.camera->rectification.tables.Get() : nullptr;
  std::lock_guard lock(ready_mutex_);
  if (!tables || ready_tables_ != tables) return false;
  // Nothing new handed over yet: the camera's thread hands the next one.
  if (ready_.bgrx.empty() || (ready_.stream == held_.stream && ready_.sequence == held_.sequence)) return true;
  held_.bgrx.swap(ready_.bgrx);
  ready_.bgrx.clear();
  held_.width = ready_.width;
  held_.height = ready_.height;
  held_.sequence = ready_.sequence;
  held_.stream = ready_.stream;
  area_.show(held_.bgrx.data(), held_.width, held_.height);
  return true;
}

} // namespace orvane
