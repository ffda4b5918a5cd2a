// The main window and its dialogs as the station's logic sees them. All logic
// talks to the window through this interface, addressed by control ids; the
// Qt front end implements it with widgets, FakeSurface with an in-memory table
// so the whole station runs headless under test.
#pragma once

#include <cstdint>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "station/control_ids.h"

namespace orvane {

struct Size {
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const Size&) const = default;
};

struct Rect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const Rect&) const = default;
};

// Text and background colour of a control, as 0x00BBGGRR values.
struct ControlColours {
  uint32_t text = 0;
  uint32_t back = 0;
  bool operator==(const ControlColours&) const = default;
};

enum class MessageButtons : uint32_t { Ok = 0, OkCancel = 1, YesNo = 4 };
enum class MessageAnswer : int32_t { Ok = 1, Cancel = 2, Yes = 6, No = 7 };
enum class DialogResult : int32_t { Ok = 1, Cancel = 2 };

enum class DialogControlKind : uint32_t { Static, Edit, Button, ComboBox, GroupBox };

// One control of a modal dialog, as the dialog's model holds it.
struct DialogControl {
  uint32_t id = 0; // 0 for plain labels
  DialogControlKind kind = DialogControlKind::Static;
  std::string text;
  std::vector<std::string> items; // combo boxes
  int32_t selection = -1;
  bool enabled = true;
  bool visible = true;
};

// A picture a dialog shows beside its controls, with marks on it.
struct DialogPicture {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> bgrx; // B, G, R, x; rows top-down
  struct Mark {
    double x = 0.0; // pixel centres count from 0
    double y = 0.0;
  };
  std::vector<Mark> marks;
};

// A modal dialog as a small model: the contents of its controls and the
// handlers of their events. A surface shows the controls, forwards the user's
// actions to the handlers, and ends the dialog when a handler says so or the
// user dismisses it (Escape, the close box: Cancel). OnClose runs exactly once,
// however the dialog ended.
// Work a dialog's button starts that may take a while (a search on a
// picture). Run() touches nothing but the task itself, so a surface may run
// it off the window's thread; Cancel() may come from any thread meanwhile
// and makes Run() end soon.
class DialogTask {
 public:
  virtual ~DialogTask() = default;
  virtual void Run() = 0;
  virtual void Cancel() = 0;
};

class DialogModel {
 public:
  virtual ~DialogModel() = default;

  const std::string& title() const { return title_; }
  std::vector<DialogControl>& controls() { return controls_; }
  const std::vector<DialogControl>& controls() const { return controls_; }
  DialogControl* Find(uint32_t id);
  DialogControl* Find(DialogControlId id) { return Find(Raw(id)); }

  // A button was pressed; a result ends the dialog.
  virtual std::optional<DialogResult> OnCommand(uint32_t /*id*/) { return std::nullopt; }
  // A combo box's selection changed (the new index is already in the control).
  virtual void OnSelectionChange(uint32_t /*id*/) {}
  // The dialog ended with this result.
  virtual void OnClose(DialogResult /*result*/) {}
  // The picture to show beside the controls; none for most dialogs.
  virtual const DialogPicture* Picture() const { return nullptr; }
  // A button whose work may take a while gives it as a task (nothing for the
  // other buttons): a surface that keeps its window answering runs the task
  // off the window's thread, offers to cancel it, and hands it back to
  // FinishTask on the window's thread. Pressing the button runs the same
  // work in place.
  virtual std::unique_ptr<DialogTask> StartTask(uint32_t /*id*/) { return nullptr; }
  virtual std::optional<DialogResult> FinishTask(std::unique_ptr<DialogTask> /*task*/) { return std::nullopt; }

  // What a user does, for surfaces and scripts alike.
  std::optional<DialogResult> Press(uint32_t id);
  std::optional<DialogResult> Press(DialogControlId id) { return Press(Raw(id)); }
  void Choose(DialogControlId id, int32_t index);
  void Type(DialogControlId id, std::string_view text);

 protected:
  explicit DialogModel(std::string title) : title_(std::move(title)) {}
  DialogControl& Add(DialogControl control);

 private:
  std::string title_;
  std::vector<DialogControl> controls_;
};

class ControlSurface {
 public:
  virtual ~ControlSurface() = default;

  virtual void SetText(ControlId id, std::string_view text) = 0;
  virtual std::string GetText(ControlId id) const = 0;
  virtual void Show(ControlId id, bool visible) = 0;
  virtual bool IsVisible(ControlId id) const = 0;
  virtual void Enable(ControlId id, bool enabled) = 0;
  virtual bool IsEnabled(ControlId id) const = 0;

  virtual void ClearCombo(ControlId id) = 0;
  virtual void AddComboItem(ControlId id, std::string_view text) = 0;
  virtual void SelectComboItem(ControlId id, int32_t index) = 0; // -1: none
  virtual int32_t ComboSelection(ControlId id) const = 0;

  virtual void SetSliderRange(ControlId id, int32_t min, int32_t max, bool redraw) = 0;
  virtual void SetSliderPos(ControlId id, int32_t pos, bool redraw) = 0;
  virtual int32_t SliderPos(ControlId id) const = 0;

  // Moves a control to a rectangle in the main window's client pixels.
  virtual void MoveControl(ControlId id, Rect rect) = 0;
  virtual Rect ControlRect(ControlId id) const = 0;

  // A coloured control's colours in its two states (0 normal, 1 active), and
  // the state it shows now.
  virtual void SetControlColours(ControlId id, ControlColours normal, ControlColours active) = 0;
  virtual void SetColourState(ControlId id, uint32_t state) = 0;

  // Repaint the whole window (erase: clear the background first) or one control.
  virtual void InvalidateWindow(bool erase) = 0;
  virtual void InvalidateControl(ControlId id, bool erase) = 0;

  // A message box; an empty caption gives the system's default title.
  virtual MessageAnswer MessageBox(std::string_view text, std::string_view caption,
                                   MessageButtons buttons) = 0;
  // Runs a dialog model modally and returns how it ended.
  virtual DialogResult RunDialog(DialogModel& dialog) = 0;

  // The main window as a whole.
  virtual void SetWindowTitle(std::string_view title) = 0;
  virtual std::string WindowTitle() const = 0;
  // The screen's size in pixels, and the main window's client area.
  virtual Size ScreenSize() const = 0;
  virtual Size ClientSize() const = 0;
  // Moves and sizes the main window (outer frame) in screen pixels.
  virtual void MoveWindow(Rect rect) = 0;
  // Ends the main window's modal run: the program ends once the handler that
  // asked for it returns.
  virtual void EndMainWindow() = 0;
  // The window's own text and background colours (0x00BBGGRR); controls
  // without an entry of the coloured-control table take them too.
  virtual void SetWindowColours(ControlColours /*colours*/) {}
  // A short note the station's extensions give (where a picture was saved,
  // why a click did nothing): shown for a moment over the picture, never in
  // a control's text, and never waited on.
  virtual void ShowNote(std::string_view /*text*/) {}
};

} // namespace orvane
