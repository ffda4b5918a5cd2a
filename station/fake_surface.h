// An in-memory control surface: every control is a row of a table, message
// boxes are logged and answered from a script, dialogs are played by scripted
// users. The station runs on it headless, in tests and in tools.
#pragma once

#include <deque>
#include <functional>
#include <map>

#include "station/control_surface.h"

namespace orvane {

struct FakeControl {
  std::string text;
  bool visible = true;
  bool enabled = true;
  std::vector<std::string> items;
  int32_t selection = -1;
  int32_t slider_min = 0;
  int32_t slider_max = 100;
  int32_t slider_pos = 0;
  Rect rect;
  ControlColours normal;
  ControlColours active;
  uint32_t colour_state = 0;
  uint32_t invalidations = 0;
};

struct LoggedMessageBox {
  std::string text;
  std::string caption;
  MessageButtons buttons = MessageButtons::Ok;
  MessageAnswer answer = MessageAnswer::Ok;
};

struct LoggedDialog {
  std::string title;
  DialogResult result = DialogResult::Cancel;
};

class FakeSurface : public ControlSurface {
 public:
  // Plays the user of one dialog: acts on the model and returns how the user
  // closed it (a result from Press, or Cancel for Escape).
  using DialogScript = std::function<DialogResult(DialogModel&)>;

  // Every control of the main window template at its pixel rectangle, with
  // its caption and visibility; the client area is the template's.
  FakeSurface();

  void SetText(ControlId id, std::string_view text) override;
  std::string GetText(ControlId id) const override;
  void Show(ControlId id, bool visible) override;
  bool IsVisible(ControlId id) const override;
  void Enable(ControlId id, bool enabled) override;
  bool IsEnabled(ControlId id) const override;
  void ClearCombo(ControlId id) override;
  void AddComboItem(ControlId id, std::string_view text) override;
  void SelectComboItem(ControlId id, int32_t index) override;
  int32_t ComboSelection(ControlId id) const override;
  void SetSliderRange(ControlId id, int32_t min, int32_t max, bool redraw) override;
  void SetSliderPos(ControlId id, int32_t pos, bool redraw) override;
  int32_t SliderPos(ControlId id) const override;
  void MoveControl(ControlId id, Rect rect) override;
  Rect ControlRect(ControlId id) const override;
  void SetControlColours(ControlId id, ControlColours normal, ControlColours active) override;
  void SetColourState(ControlId id, uint32_t state) override;
  void InvalidateWindow(bool erase) override;
  void InvalidateControl(ControlId id, bool erase) override;
  MessageAnswer MessageBox(std::string_view text, std::string_view caption,
                           MessageButtons buttons) override;
  DialogResult RunDialog(DialogModel& dialog) override;
  void SetWindowTitle(std::string_view title) override { title_ = title; }
  std::string WindowTitle() const override { return title_; }
  Size ScreenSize() const override { return screen_; }
  Size ClientSize() const override { return client_; }
  void MoveWindow(Rect rect) override;
  void EndMainWindow() override { ended_ = true; }
  void SetWindowColours(ControlColours colours) override { window_colours_ = colours; }
  void ShowNote(std::string_view text) override { notes_.emplace_back(text); }

  // The screen start-up sees (1280 x 1024 unless set) and the window's client
  // area (the main window template's size unless set).
  void set_screen(Size size) { screen_ = size; }
  void set_client(Size size) { client_ = size; }
  const Rect& window_rect() const { return window_rect_; }
  bool ended() const { return ended_; }
  const ControlColours& window_colours() const { return window_colours_; }

  // The control's row (created on first use, visible and enabled).
  FakeControl& control(ControlId id) { return controls_[Raw(id)]; }
  const FakeControl* find(ControlId id) const;

  // Answers for the next message boxes, in order; without one, a box is
  // answered with its first button (Ok or Yes).
  void QueueAnswer(MessageAnswer answer) { answers_.push_back(answer); }
  // Users for the next dialogs, in order; without one, a dialog is dismissed
  // with Escape (Cancel).
  void QueueDialog(DialogScript script) { dialogs_.push_back(std::move(script)); }

  const std::vector<LoggedMessageBox>& message_boxes() const { return message_boxes_; }
  const std::vector<LoggedDialog>& dialogs() const { return dialog_log_; }
  uint32_t window_invalidations() const { return window_invalidations_; }
  // Every note shown, oldest first.
  const std::vector<std::string>& notes() const { return notes_; }

 private:
  std::map<uint32_t, FakeControl> controls_;
  std::deque<MessageAnswer> answers_;
  std::deque<DialogScript> dialogs_;
  std::vector<LoggedMessageBox> message_boxes_;
  std::vector<LoggedDialog> dialog_log_;
  uint32_t window_invalidations_ = 0;
  std::vector<std::string> notes_;
  std::string title_;
  Size screen_{1280, 1024};
  Size client_;
  Rect window_rect_;
  bool ended_ = false;
  ControlColours window_colours_;
};

} // namespace orvane
