// The live video area's pictures as they arrive. The camera's thread reports
// every new picture; at most one request to show one waits for the window's
// thread at a time, so the pictures that arrive while it waits are shown
// once, as the newest. On the window's thread the request hands the latest
// picture to the area, unless the window has not shown yet, the feed has
// ended, there is no camera or the area is hidden; a picture already shown is
// not shown again. Nothing here waits or counts time: the front end supplies
// how a request reaches its thread.
#pragma once

#include <atomic>
#include <functional>

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

 private:
  Station& station_;
  LiveArea area_;
  LivePicture held_; // names the picture shown last
  std::atomic<bool> request_waiting_{false};
  bool shown_ = false;
  bool ended_ = false;
};

} // namespace orvane
