#include "ui/live_feed.h"

#include <utility>

namespace orvane {

LiveFeed::LiveFeed(Station& station, LiveArea area) : station_(station), area_(std::move(area)) {
  station_.hooks.live_picture_arrived = [this] { Arrived(); };
}

void LiveFeed::Arrived() {
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
  if (ended_ || !shown_ || station_.image.no_camera != 0 || !area_.visible()) return;
  ShowLatestPicture(station_, &held_, area_.show);
}

} // namespace orvane
