// QtSurface: the ControlSurface of real widgets. It builds the main window
// from the window template (one widget per control id, at the template's
// rectangle converted by UnitsToPixels), applies what the logic asks of the
// controls, and hands the user's actions to the callbacks in `events`.
#pragma once

#include <cstdint>
#include <functional>
#include <map>

#include <QWidget>

#include "station/control_surface.h"
#include "station/window_template.h"

class QComboBox;
class QLabel;
class QMenu;
class QMenuBar;
class QSlider;
class QTimer;

namespace orvane::qt {

class ImageViewWidget;
class LiveVideoWidget;

// What the user does to the window, for the front end to pass on.
struct SurfaceEvents {
  std::function<void(ControlId)> command;          // a button clicked; Enter: DefaultButton
  std::function<void(ControlId)> selection_change; // a combo box's selection changed
  std::function<void(ControlId)> edit_lost_focus;
  std::function<void(ControlId, int32_t)> slider;  // every move of a slider
  std::function<void()> cancel;                    // Escape, the close box
  std::function<void()> about;                     // F1, the context menu's entry
  std::function<void()> results;                   // F2, the context menu's entry
  std::function<void()> program;                   // F3, the context menu's entry: the Program window
  std::function<void()> grid_calibration;          // the context menu's entry
  std::function<void()> save_annotated;            // the context menu's entry
  std::function<void()> save_dxf_as;               // the context menu's entry
  std::function<void(bool)> dxf_units;             // the context menu's check box ...
  std::function<bool()> dxf_units_on;              // ... and its state
  std::function<void()> teach_part;                // P, the context menu's entry
  std::function<void()> find_part;                 // F, the context menu's entry
  std::function<void()> compare_drawing;           // the context menu's entry
  std::function<void()> open_file;                 // Ctrl+O
  // Ctrl+Z, Ctrl+Shift+Z, Ctrl+Y: the letter and kKeyShift/kKeyControl/kKeyAlt
  std::function<void(int key, uint32_t modifiers)> edit_key;
  std::function<void()> end;                       // the logic ended the window
  std::function<void(int, int)> resized;           // the user resized the window
  // A plain key the window and the view left alone (the tool keys); true
  // when it was taken.
  std::function<bool(int key)> extension_key;
};

// The menus of the menu bar, in their order.
enum class MenuId : uint32_t { Measure = 0, Calibration = 1, View = 2, Help = 3 };

// The main window widget: the menu bar above the client area, whose
// controls stand where the template puts them; keys, resizing and close box
// as events; the zoom and loupe keys go to the image view.
class MainWindowWidget : public QWidget {
 public:
  explicit MainWindowWidget(SurfaceEvents* events);
  void SetImageView(ImageViewWidget* view) { view_ = view; }
  QWidget* client() const { return client_; }
  QMenuBar* menu_bar() const { return menu_bar_; }
  // The menu bar's height: what the window adds to the client area.
  int MenuHeight() const;
  // The menu bar and the client area laid out for the window's size (a
  // hidden window gets its resize event only when shown).
  void LayOut();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  SurfaceEvents* events_;
  ImageViewWidget* view_ = nullptr;
  QMenuBar* menu_bar_ = nullptr;
  QWidget* client_ = nullptr;
};

class QtSurface : public ControlSurface {
 public:
  QtSurface();
  ~QtSurface() override;

  MainWindowWidget* window() { return window_; }
  // The client area: the template's controls, below the menu bar.
  QWidget* client() const { return window_->client(); }
  QMenuBar* menu_bar() const { return window_->menu_bar(); }
  QMenu* menu(MenuId id) const;
  QWidget* widget(ControlId id) const;
  ImageViewWidget* image_view() const { return image_view_; }
  LiveVideoWidget* live_video() const { return live_video_; }
  SurfaceEvents& events() { return events_; }
  bool ended() const { return ended_; }

  // Shows the main window: full screen when the logic gave it the screen
  // (the client area then takes what the menu bar leaves of it).
  void ShowWindow();
  bool full_screen() const { return full_screen_; }

  // The window's own text and background colours.
  void SetWindowColours(ControlColours colours);
  // A note for a few seconds at the foot of the picture (live or still).
  void ShowNote(std::string_view text) override;
  QLabel* note() const { return note_; }

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
  void SetWindowTitle(std::string_view title) override;
  std::string WindowTitle() const override;
  Size ScreenSize() const override;
  Size ClientSize() const override;
  void MoveWindow(Rect rect) override;
  void EndMainWindow() override;

 private:
  struct Control {
    TemplateKind kind = TemplateKind::Static;
    QWidget* widget = nullptr;
    Rect rect;          // as the logic placed it (combo boxes: with their list)
    std::string text;   // as the logic set it
    ControlColours normal;
    ControlColours active;
    bool coloured = false;
    uint32_t state = 0;
  };

  void Build();
  Control* Find(ControlId id);
  const Control* Find(ControlId id) const;
  void Place(Control& control);
  void Paint(Control& control);

  SurfaceEvents events_;
  MainWindowWidget* window_ = nullptr;
  std::map<uint32_t, QMenu*> menus_;
  std::map<uint32_t, Control> controls_;
  ImageViewWidget* image_view_ = nullptr;
  LiveVideoWidget* live_video_ = nullptr;
  QLabel* note_ = nullptr;
  QTimer* note_timer_ = nullptr;
  int quiet_ = 0; // >0 while the surface itself changes a control: no events
  bool ended_ = false;
  bool full_screen_ = false;
};

} // namespace orvane::qt
