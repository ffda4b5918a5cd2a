#include "station/control_surface.h"

namespace orvane {

DialogControl* DialogModel::Find(uint32_t id) {
  for (auto& control : controls_) {
    if (control.id == id && id != 0) return &control;
  }
  return nullptr;
}

DialogControl& DialogModel::Add(DialogControl control) {
  controls_.push_back(std::move(control));
  return controls_.back();
}

std::optional<DialogResult> DialogModel::Press(uint32_t id) {
  DialogControl* control = Find(id);
  if (control == nullptr || !control->enabled || !control->visible) return std::nullopt;
  return OnCommand(id);
}

void DialogModel::Choose(DialogControlId id, int32_t index) {
  DialogControl* control = Find(id);
  if (control == nullptr || !control->enabled || index < 0 ||
      index >= static_cast<int32_t>(control->items.size())) {
    return;
  }
  control->selection = index;
  OnSelectionChange(Raw(id));
}

void DialogModel::Type(DialogControlId id, std::string_view text) {
  if (DialogControl* control = Find(id)) control->text = text;
}

} // namespace orvane
