#include "ui/live_hint.h"

namespace orvane {

std::optional<std::string> LiveClickHint(Station& st, MouseEvent event) {
  if (event != MouseEvent::LeftDown) return std::nullopt;
  ControlSurface& ui = st.surface();
  const bool live_shown = st.image.file_mode == 0 && ui.IsVisible(ControlId::LiveVideo) &&
                          !ui.IsVisible(ControlId::ImageView);
  if (!live_shown || !ui.IsVisible(ControlId::Grab) || !ui.IsEnabled(ControlId::Grab)) return std::nullopt;
  return std::string(kGrabToMeasure);
}

void OnLiveAreaMouse(Station& st, MouseEvent event) {
  if (const std::optional<std::string> hint = LiveClickHint(st, event)) st.surface().ShowNote(*hint);
}

} // namespace orvane
