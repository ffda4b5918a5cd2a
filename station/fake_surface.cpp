#include "station/fake_surface.h"

#include <algorithm>

#include "station/window_template.h"

namespace orvane {

FakeSurface::FakeSurface() : client_(kTemplateClient) {
  for (const TemplateControl& t : MainWindowTemplate()) {
    FakeControl& c = control(t.id);
    c.text = t.caption;
    c.rect = UnitsToPixels(t.units);
    c.visible = t.visible;
  }
}

const FakeControl* FakeSurface::find(ControlId id) const {
  auto it = controls_.find(Raw(id));
  return it == controls_.end() ? nullptr : &it->second;
}

void FakeSurface::SetText(ControlId id, std::string_view text) { control(id).text = text; }

std::string FakeSurface::GetText(ControlId id) const {
  const FakeControl* c = find(id);
  return c ? c->text : std::string();
}

void FakeSurface::Show(ControlId id, bool visible) { control(id).visible = visible; }

bool FakeSurface::IsVisible(ControlId id) const {
  const FakeControl* c = find(id);
  return c ? c->visible : true;
}

void FakeSurface::Enable(ControlId id, bool enabled) { control(id).enabled = enabled; }

bool FakeSurface::IsEnabled(ControlId id) const {
  const FakeControl* c = find(id);
  return c ? c->enabled : true;
}

void FakeSurface::ClearCombo(ControlId id) {
  FakeControl& c = control(id);
  c.items.clear();
  c.selection = -1;
}

void FakeSurface::AddComboItem(ControlId id, std::string_view text) {
  control(id).items.emplace_back(text);
}

void FakeSurface::SelectComboItem(ControlId id, int32_t index) {
  FakeControl& c = control(id);
  c.selection = (index >= 0 && index < static_cast<int32_t>(c.items.size())) ? index : -1;
}

int32_t FakeSurface::ComboSelection(ControlId id) const {
  const FakeControl* c = find(id);
  return c ? c->selection : -1;
}

void FakeSurface::SetSliderRange(ControlId id, int32_t min, int32_t max, bool) {
  FakeControl& c = control(id);
  c.slider_min = min;
  c.slider_max = max;
  c.slider_pos = std::clamp(c.slider_pos, min, std::max(min, max));
}

void FakeSurface::SetSliderPos(ControlId id, int32_t pos, bool) {
  FakeControl& c = control(id);
  // A slider cannot stand outside its range, whatever it is asked.
  c.slider_pos = std::clamp(pos, c.slider_min, std::max(c.slider_min, c.slider_max));
}

int32_t FakeSurface::SliderPos(ControlId id) const {
  const FakeControl* c = find(id);
  return c ? c->slider_pos : 0;
}

void FakeSurface::MoveControl(ControlId id, Rect rect) { control(id).rect = rect; }

Rect FakeSurface::ControlRect(ControlId id) const {
  const FakeControl* c = find(id);
  return c ? c->rect : Rect{};
}

void FakeSurface::SetControlColours(ControlId id, ControlColours normal, ControlColours active) {
  FakeControl& c = control(id);
  c.normal = normal;
  c.active = active;
}

void FakeSurface::SetColourState(ControlId id, uint32_t state) { control(id).colour_state = state; }

void FakeSurface::InvalidateWindow(bool) { ++window_invalidations_; }

void FakeSurface::InvalidateControl(ControlId id, bool) { ++control(id).invalidations; }

MessageAnswer FakeSurface::MessageBox(std::string_view text, std::string_view caption,
                                      MessageButtons buttons) {
  MessageAnswer answer = buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  }
  message_boxes_.push_back({std::string(text), std::string(caption), buttons, answer});
  return answer;
}

DialogResult FakeSurface::RunDialog(DialogModel& dialog) {
  DialogResult result = DialogResult::Cancel;
  if (!dialogs_.empty()) {
    DialogScript script = std::move(dialogs_.front());
    dialogs_.pop_front();
    result = script(dialog);
  }
  dialog.OnClose(result);
  dialog_log_.push_back({dialog.title(), result});
  return result;
}

void FakeSurface::MoveWindow(Rect rect) {
  window_rect_ = rect;
  // The fake window has no frame: its client area is the whole window.
  client_ = {rect.width, rect.height};
}

} // namespace orvane
