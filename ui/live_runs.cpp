#include "ui/live_runs.h"

#include <optional>
#include <string>

#include "acquisition/acquisition.h"
#include "acquisition/camera_capture.h"
#include "inspect/program_session.h"
#include "solutions/measurement.h"
#include "solutions/process.h"

namespace orvane {
namespace {

// Seconds watched, from the clock's ticks (which wrap).
double Seconds(Station& st, LiveWatch& watch) {
  const uint32_t tick = st.clock().TickMs();
  if (watch.timed) watch.seconds += static_cast<uint32_t>(tick - watch.tick) / 1000.0;
  watch.timed = true;
  watch.tick = tick;
  return watch.seconds;
}

// The newest picture as a Grab takes it, the program run on it, Live kept.
void RunOnLivePicture(Station& st, bool say_not_found) {
  CommitEdits(st);
  PrepareForNewFrame(st);
  const bool acquired = AcquireFrame(st) != 0;
  ProgramOf(st).last_run.reset();
  if (!acquired) return SayAutomaticRun(st, std::nullopt, "no picture from the camera");
  std::string why;
  const std::optional<ProgramRun> run = RunOpenProgram(st, &why);
  if (run && !run->found && !say_not_found) return;
  SayAutomaticRun(st, run, why);
  RedrawOverlay(st);
  ComposeDisplay(st, st.image.frame);
}

} // namespace

bool WatchesLive(Station& st) {
  return st.program && st.program->program && (st.program->auto_folder || st.program->auto_rest);
}

void WatchLivePicture(Station& st) {
  if (!WatchesLive(st) || st.image.file_mode != 0 || !st.camera || !st.camera->device) return;
  if (!st.surface().IsVisible(ControlId::LiveVideo)) return;
  ProgramSession& session = *st.program;
  LiveWatch& watch = session.live;
  const double seconds = Seconds(st, watch);
  uint64_t scene = 0;
  bool rest = false;
  st.camera->device->UseLatestPicture([&](const video::Picture& p) {
    if (p.sequence == watch.sequence && p.stream == watch.stream) return; // watched already
    watch.sequence = p.sequence;
    watch.stream = p.stream;
    scene = p.scene;
    // The folder camera's pictures come to rest by turning: one run each.
    if (!session.auto_rest || (session.auto_folder && scene != 0)) return;
    if (p.bgrx.size() < size_t{p.width} * p.height * 4) return;
    rest = watch.rest.Feed({p.bgrx.data(), p.width, p.height, p.width * 4, 4}, seconds);
  });
  // The device's lock is let go before the run takes its own snapshot.
  const bool turned = session.auto_folder && scene != 0 && scene != watch.scene;
  if (scene != 0) watch.scene = scene;
  if (turned) return RunOnLivePicture(st, true);
  if (rest) RunOnLivePicture(st, false);
}

} // namespace orvane
