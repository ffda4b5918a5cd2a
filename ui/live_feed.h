// The live video area's pictures as they arrive. The camera's thread reports
// every new picture; at most one request to show one waits for the window's
// thread at a time, so the pictures that arrive while it waits are shown
// once, as the newest. On the window's thread the request hands the latest
// picture to the area, unless the window has not shown yet, the feed has
// ended, there is no camera or the area is hidden; a picture already shown is
// not shown again. Nothing here waits or counts time: the front end supplies
// how a request reaches its thread. Each picture shown is then watched for
// the automatic runs in Live (ui/live_runs.h).
//
// With rectification on, the camera's thread rectifies each new picture as
// it reports it and hands the result over; the window's thread only paints
// it. It rectifies a picture itself only when the tables changed since the
// last one handed over (the first picture after rectification is turned on).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "acquisition/camera_capture.h"
#include "station/station.h"

namespace orvane {

// What the feed needs of the front end's live area.
struct LiveArea {
  // Runs `task` later on the window's thread, never during the call.
  std::function<void(std::function<void()> task)> post;
  // Whether the live area is visible now.
  std::function<bool()> visible;
  // Takes a picture to paint (see PictureSink).
  PictureSink show;
};

class LiveFeed {
 public:
  // Installs itself as the station's live_picture_arrived hook, which a
  // camera opened from now on runs; it must outlive the camera.
  LiveFeed(Station& station, LiveArea area);
  LiveFeed(const LiveFeed&) = delete;
  LiveFeed& operator=(const LiveFeed&) = delete;

  // Any thread: the camera has a new picture.
  void Arrived();
  // The window shows: its latest picture now, every new one from then on.
  void Show();
  // The window ends: nothing is shown any more.
  void End() { ended_ = true; }
  // The latest picture to the area when it is new and may be shown.
  void ShowNewPicture();

  // Pictures the window's thread had to rectify itself (for measurements).
  uint64_t window_remaps() const { return window_remaps_; }

 private:
  // The camera's thread: the newest picture rectified into the hand-over.
  void Rectify();
  // The window's thread: paints the rectified picture handed over, when it
  // was made with the tables in force and is not painted yet.
  bool ShowRectified();

  Station& station_;
  LiveArea area_;
  LivePicture held_; // names the picture shown last
  std::atomic<bool> request_waiting_{false};
  std::atomic<bool> shown_{false};
  std::atomic<bool> ended_{false};

  // The hand-over from the camera's thread: the last rectified picture and
  // the tables it was made with.
  std::mutex ready_mutex_;
  LivePicture ready_;
  // Held, so that tables made later never share its address.
  std::shared_ptr<const rectify::RemapTables> ready_tables_;
  std::vector<uint8_t> work_; // the camera's thread rectifies into this
  uint64_t window_remaps_ = 0;
};

} // namespace orvane
