#include "ui/extension_menu.h"

#include "acquisition/camera_capture.h"
#include "acquisition/rectification.h"
#include "view/measure_tools.h"

namespace orvane {

RectificationEntry RectificationMenuEntry(const Station& st) {
  RectificationEntry entry;
  const RectificationState* r = st.camera ? &st.camera->rectification : nullptr;
  entry.available = r != nullptr && r->record.has_value();
  entry.on = r != nullptr && r->active();
  const std::string note = RectificationNote(st);
  if (note.empty()) {
    entry.text = entry.available ? "Rectification off" : "Rectification: no grid calibration for this camera";
  } else {
    entry.text = note == "Rectified" ? "Rectification on" : note;
  }
  return entry;
}

void ToggleRectification(Station& st) {
  const RectificationEntry entry = RectificationMenuEntry(st);
  if (const std::optional<std::string> problem = SetRectification(st, !entry.on)) {
    st.surface().MessageBox(*problem, ApplicationTitle(), MessageButtons::Ok);
  }
}

std::string ExtensionStatus(Station& st) {
  std::string text = ToolStatusText(st);
  const RectificationEntry entry = RectificationMenuEntry(st);
  if (entry.available || !RectificationNote(st).empty()) {
    text += " | " + entry.text + (st.image.file_mode != 0 ? " (camera pictures; this one is a file)" : "");
  }
  return text;
}

std::string ImageStatusTip(const Station& st) {
  if (st.image.file_mode != 0) return {};
  return RectificationNote(st);
}

} // namespace orvane
