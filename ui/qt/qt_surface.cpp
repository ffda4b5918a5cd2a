#include "ui/qt/qt_surface.h"

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QFontMetrics>
#include <QScreen>
#include <QSlider>
#include <QTimer>

#include "ui/qt/controls.h"
#include "ui/qt/dialog_runner.h"
#include "ui/qt/image_view_widget.h"
#include "ui/qt/live_video_widget.h"
#include "view/mouse.h"

namespace orvane::qt {

namespace {

// A drop-down list is as tall as one edit line; the rest of its rectangle
// is the room its list may open into.
constexpr int kComboHeight = UnitsToPixelsY(12);

// The window's text face: 11 pixels fits the template's 8-unit label rows
// (16 pixels) with room for descenders.
constexpr int kFontPixels = 11;

// The note's room beside its text, left and right.
constexpr int kNotePadding = 8;

// Sliders of the parameter rows are 5 units (10 pixels) tall: a thin groove
// and a small handle that fit them.
const char kSliderStyle[] =
    "QSlider::groove:horizontal { height: 4px; background: #707070; border-radius: 2px; }"
    "QSlider::handle:horizontal { width: 8px; margin: -3px 0; background: #e0e0e0;"
    " border: 1px solid #303030; border-radius: 2px; }";

// The option lists are 70 units (122 pixels) wide: one pixel less of face
// leaves room beside the arrow for their longest item, "Monochrome(RGB)".
constexpr int kComboFontPixels = kFontPixels - 1;

// What the command buttons do, with their keys, for the pointer's tooltip.
const char* ToolTipOf(ControlId id) {
  switch (id) {
    case ControlId::Process:
      return "Run the selected solution on a fresh image (Enter)";
    case ControlId::Train:
      return "Train the selected solution on a fresh image";
    case ControlId::Enlarge:
      return "Enlarge the image and hide the parameters, or reduce it again";
    case ControlId::Grab:
      return "Take one image from the camera, or reload the still file";
    case ControlId::Live:
      return "Show the camera's live picture";
    case ControlId::Save:
      return "Save the current image into Saved/";
    case ControlId::File:
      return "Switch between the camera and a still image file (Ctrl+O opens one)";
    case ControlId::SetUp:
      return "Station settings: resolution, units, colours, decimals, saving";
    case ControlId::Exit:
      return "Save the solution and the settings, and end (Escape ends without saving)";
    default:
      return nullptr;
  }
}

QString FromStation(std::string_view text) {
  QString s = QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return s;
}

std::string ToStation(const QString& text) { return text.toLocal8Bit().toStdString(); }

bool IsCombo(TemplateKind kind) { return kind == TemplateKind::ComboBox; }

// The template sizes texts for a narrower face than ours: a text wider than
// its control is shown a pixel or two smaller, never cut.
constexpr int kSmallestFontPixels = 8;

void FitText(QLabel* label) {
  QFont font = label->font();
  const int room = label->contentsRect().width() - 2;
  for (int pixels = kFontPixels; pixels >= kSmallestFontPixels; --pixels) {
    font.setPixelSize(pixels);
    const QFontMetrics metrics(font);
    int widest = 0;
    for (const QString& line : label->text().split('\n')) {
      widest = std::max(widest, metrics.horizontalAdvance(line));
    }
    if (widest <= room || pixels == kSmallestFontPixels) break;
  }
  label->setFont(font);
}

} // namespace

MainWindowWidget::MainWindowWidget(SurfaceEvents* events) : events_(events) {
  setFocusPolicy(Qt::StrongFocus);
  menu_bar_ = new QMenuBar(this);
  // A desktop's global menu would take the bar out of the window, where the
  // extensions would be harder to find, and change the window's height.
  menu_bar_->setNativeMenuBar(false);
  client_ = new QWidget(this);
}

int MainWindowWidget::MenuHeight() const { return menu_bar_->sizeHint().height(); }

void MainWindowWidget::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if ((key == Qt::Key_Return || key == Qt::Key_Enter) && events_->command) {
    events_->command(ControlId::DefaultButton);
  } else if (key == Qt::Key_Escape && events_->cancel) {
    events_->cancel();
  } else if (key == Qt::Key_F1 && events_->about) {
    events_->about();
  } else if (key == Qt::Key_F2 && events_->results) {
    events_->results();
  } else if (key == Qt::Key_F3 && events_->program) {
    events_->program();
  } else if (key == Qt::Key_O && (event->modifiers() & Qt::ControlModifier) && events_->open_file) {
    events_->open_file();
  } else if ((key == Qt::Key_Z || key == Qt::Key_Y) && (event->modifiers() & Qt::ControlModifier) &&
             events_->edit_key) {
    uint32_t modifiers = kKeyControl;
    if (event->modifiers() & Qt::ShiftModifier) modifiers |= kKeyShift;
    if (event->modifiers() & Qt::AltModifier) modifiers |= kKeyAlt;
    events_->edit_key(key == Qt::Key_Z ? 'Z' : 'Y', modifiers);
  } else if (key == Qt::Key_Space && view_ != nullptr) {
    if (!event->isAutoRepeat()) view_->SetSpaceHeld(true);
  } else {
    // The view's zoom and loupe keys and the tool keys, without Ctrl or Alt.
    const bool plain = (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0;
    const bool taken = plain && ((view_ != nullptr && view_->ZoomKey(key)) ||
                                 (events_->extension_key && events_->extension_key(key)));
    if (!taken) {
      QWidget::keyPressEvent(event);
      return;
    }
  }
  event->accept();
}

void MainWindowWidget::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && !event->isAutoRepeat() && view_ != nullptr) {
    view_->SetSpaceHeld(false);
    event->accept();
    return;
  }
  QWidget::keyReleaseEvent(event);
}

void MainWindowWidget::LayOut() {
  const int menu = MenuHeight();
  menu_bar_->setGeometry(0, 0, width(), menu);
  client_->setGeometry(0, menu, width(), std::max(0, height() - menu));
}

void MainWindowWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
  if (events_->resized) events_->resized(client_->width(), client_->height());
}

void MainWindowWidget::closeEvent(QCloseEvent* event) {
  // The logic decides: Cancel ends the window through EndMainWindow.
  event->ignore();
  if (events_->cancel) events_->cancel();
}

void MainWindowWidget::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* about = menu.addAction(QStringLiteral("Lumivor\tF1"));
  QAction* results = menu.addAction(QStringLiteral("Results\tF2"));
  QAction* program = menu.addAction(QStringLiteral("Inspection Program\tF3"));
  QAction* grid = menu.addAction(QStringLiteral("Grid Calibration..."));
  menu.addSeparator();
  QAction* annotated = menu.addAction(QStringLiteral("Save Picture with Overlay"));
  QAction* dxf_copy = menu.addAction(QStringLiteral("Save DXF As..."));
  QAction* units = menu.addAction(QStringLiteral("Units in DXF Drawings"));
  units->setCheckable(true);
  units->setChecked(events_->dxf_units_on && events_->dxf_units_on());
  menu.addSeparator();
  QAction* teach = menu.addAction(QStringLiteral("Teach Part\tP"));
  QAction* find = menu.addAction(QStringLiteral("Find Part\tF"));
  QAction* compare = menu.addAction(QStringLiteral("Compare with Drawing..."));
  QAction* chosen = menu.exec(event->globalPos());
  if (chosen == teach && events_->teach_part) events_->teach_part();
  if (chosen == find && events_->find_part) events_->find_part();
  if (chosen == about && events_->about) events_->about();
  if (chosen == results && events_->results) events_->results();
  if (chosen == program && events_->program) events_->program();
  if (chosen == grid && events_->grid_calibration) events_->grid_calibration();
  if (chosen == annotated && events_->save_annotated) events_->save_annotated();
  if (chosen == dxf_copy && events_->save_dxf_as) events_->save_dxf_as();
  if (chosen == units && events_->dxf_units) events_->dxf_units(units->isChecked());
  if (chosen == compare && events_->compare_drawing) events_->compare_drawing();
}

QtSurface::QtSurface() {
  window_ = new MainWindowWidget(&events_);
  window_->setAttribute(Qt::WA_DeleteOnClose, false);
  QFont font = window_->font();
  font.setPixelSize(kFontPixels);
  window_->setFont(font);
  for (const auto& [id, title] : {std::pair{MenuId::Measure, "&Measure"}, {MenuId::Calibration, "&Calibration"},
                                  {MenuId::View, "&View"}, {MenuId::Help, "&Help"}}) {
    menus_[static_cast<uint32_t>(id)] = window_->menu_bar()->addMenu(QString::fromLatin1(title));
  }
  // The window can grow (the controls follow their anchors) but not shrink
  // below the template, where controls would overlap; the menu bar comes on
  // top of the template's client area.
  const int menu = window_->MenuHeight();
  window_->setMinimumSize(kTemplateClient.width, kTemplateClient.height + menu);
  window_->resize(kTemplateClient.width, kTemplateClient.height + menu);
  window_->LayOut();
  Build();
  window_->SetImageView(image_view_);
  note_ = new QLabel(window_);
  note_->setObjectName(QStringLiteral("note"));
  note_->setStyleSheet(QStringLiteral("QLabel { background: rgba(0, 0, 0, 180); color: white; "
                                      "padding: 4px %1px; border-radius: 4px; }")
                           .arg(kNotePadding));
  note_->setAttribute(Qt::WA_TransparentForMouseEvents);
  note_->setWordWrap(true);
  note_->hide();
  note_timer_ = new QTimer(window_);
  note_timer_->setSingleShot(true);
  QObject::connect(note_timer_, &QTimer::timeout, note_, &QWidget::hide);
}

// Notes sit at the foot of the picture shown, clear of the status lines, and
// go by themselves: they never wait for the user.
void QtSurface::ShowNote(std::string_view text) {
  constexpr int kMargin = 8;
  constexpr int kShownMs = 4000;
  const QWidget* area = live_video_ != nullptr && !live_video_->isHidden() ? static_cast<QWidget*>(live_video_)
                                                                           : image_view_;
  const QRect room = area != nullptr ? area->geometry() : window_->rect();
  note_->setText(FromStation(text));
  // One line where it fits; a long path wraps within the picture.
  const int one_line = note_->fontMetrics().horizontalAdvance(note_->text()) + 2 * kNotePadding + 4;
  note_->setFixedWidth(std::clamp(one_line, 1, std::max(1, room.width() - 2 * kMargin)));
  note_->setFixedHeight(std::max(note_->heightForWidth(note_->width()), note_->fontMetrics().height()));
  note_->move(room.left() + kMargin, room.bottom() - kMargin - note_->height());
  note_->show();
  note_->raise();
  note_timer_->start(kShownMs);
}

QtSurface::~QtSurface() { delete window_; }

void QtSurface::Build() {
  for (const TemplateControl& t : MainWindowTemplate()) {
    Control c;
    c.kind = t.kind;
    c.rect = UnitsToPixels(t.units);
    c.text = std::string(t.caption);
    const ControlId id = t.id;
    switch (t.kind) {
      case TemplateKind::Static:
      case TemplateKind::StaticButton: {
        auto* label = new StaticText(client(), t.kind == TemplateKind::StaticButton);
        label->setText(FromStation(t.caption));
        if (t.kind == TemplateKind::StaticButton) {
          label->clicked = [this, id] {
            if (events_.command) events_.command(id);
          };
          if (const char* tip = ToolTipOf(id)) label->setToolTip(QString::fromLatin1(tip));
        } else if (id == ControlId::ModeIndicator) {
          label->setAlignment(Qt::AlignCenter);
        } else {
          label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        }
        c.widget = label;
        break;
      }
      case TemplateKind::Edit:
      case TemplateKind::ReadOnlyEdit: {
        auto* edit = new EditBox(client());
        edit->setReadOnly(t.kind == TemplateKind::ReadOnlyEdit);
        if (t.kind == TemplateKind::ReadOnlyEdit) {
          edit->setFocusPolicy(Qt::NoFocus);
          edit->setAlignment(Qt::AlignCenter);
        }
        edit->setText(FromStation(t.caption));
        if (t.kind == TemplateKind::Edit) {
          edit->lost_focus = [this, id] {
            if (quiet_ == 0 && events_.edit_lost_focus) events_.edit_lost_focus(id);
          };
        }
        c.widget = edit;
        break;
      }
      case TemplateKind::ComboBox: {
        auto* combo = new QComboBox(client());
        combo->setMaxVisibleItems(std::max(1, c.rect.height / kComboHeight));
        QFont small = window_->font();
        small.setPixelSize(kComboFontPixels);
        combo->setFont(small);
        QObject::connect(combo, &QComboBox::currentIndexChanged, combo, [this, id](int) {
          if (quiet_ == 0 && events_.selection_change) events_.selection_change(id);
        });
        c.widget = combo;
        break;
      }
      case TemplateKind::Slider: {
        auto* slider = new QSlider(Qt::Horizontal, client());
        slider->setStyleSheet(QString::fromLatin1(kSliderStyle));
        slider->setFocusPolicy(Qt::NoFocus);
        QObject::connect(slider, &QSlider::valueChanged, slider, [this, id](int value) {
          if (quiet_ == 0 && events_.slider) events_.slider(id, value);
        });
        c.widget = slider;
        break;
      }
      case TemplateKind::GroupBox:
        c.widget = new QGroupBox(FromStation(t.caption), client());
        break;
      case TemplateKind::VideoArea:
        live_video_ = new LiveVideoWidget(client());
        c.widget = live_video_;
        break;
      case TemplateKind::ImageView:
        image_view_ = new ImageViewWidget(client());
        c.widget = image_view_;
        break;
      case TemplateKind::DefaultButton: {
        auto* button = new QPushButton(client());
        QObject::connect(button, &QPushButton::clicked, button, [this] {
          if (events_.command) events_.command(ControlId::DefaultButton);
        });
        c.widget = button;
        break;
      }
    }
    c.widget->setObjectName(QString::number(Raw(id)));
    c.widget->setVisible(t.visible);
    Control& stored = controls_[Raw(id)] = c;
    Place(stored);
  }
}

QtSurface::Control* QtSurface::Find(ControlId id) {
  auto it = controls_.find(Raw(id));
  return it == controls_.end() ? nullptr : &it->second;
}

const QtSurface::Control* QtSurface::Find(ControlId id) const {
  auto it = controls_.find(Raw(id));
  return it == controls_.end() ? nullptr : &it->second;
}

QMenu* QtSurface::menu(MenuId id) const {
  auto it = menus_.find(static_cast<uint32_t>(id));
  return it == menus_.end() ? nullptr : it->second;
}

QWidget* QtSurface::widget(ControlId id) const {
  const Control* c = Find(id);
  return c ? c->widget : nullptr;
}

void QtSurface::Place(Control& c) {
  const int height = IsCombo(c.kind) ? std::min(c.rect.height, kComboHeight) : c.rect.height;
  c.widget->setGeometry(c.rect.x, c.rect.y, std::max(0, c.rect.width), std::max(0, height));
  if (auto* label = qobject_cast<QLabel*>(c.widget)) FitText(label);
}

void QtSurface::Paint(Control& c) {
  if (!c.coloured) return;
  const ControlColours& colours = c.state == 1 ? c.active : c.normal;
  // Group boxes and slider tracks show the window through them.
  const bool fill = c.kind != TemplateKind::GroupBox && c.kind != TemplateKind::Slider;
  ApplyColours(c.widget, colours, fill);
}

void QtSurface::SetWindowColours(ControlColours colours) { ApplyColours(window_, colours, true); }

void QtSurface::SetText(ControlId id, std::string_view text) {
  Control* c = Find(id);
  if (c == nullptr) return;
  c->text = std::string(text);
  const QString shown = FromStation(text);
  ++quiet_;
  if (auto* label = qobject_cast<QLabel*>(c->widget)) {
    label->setText(shown);
    FitText(label);
  } else if (auto* edit = qobject_cast<QLineEdit*>(c->widget)) {
    edit->setText(shown);
    edit->setCursorPosition(0);
  } else if (auto* group = qobject_cast<QGroupBox*>(c->widget)) {
    group->setTitle(shown);
  } else if (auto* button = qobject_cast<QPushButton*>(c->widget)) {
    button->setText(shown);
  }
  --quiet_;
}

std::string QtSurface::GetText(ControlId id) const {
  const Control* c = Find(id);
  if (c == nullptr) return {};
  // What the user typed or chose is the text; elsewhere what the logic set.
  if (auto* edit = qobject_cast<QLineEdit*>(c->widget)) {
    QString text = edit->text();
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return ToStation(text);
  }
  if (auto* combo = qobject_cast<QComboBox*>(c->widget)) return ToStation(combo->currentText());
  return c->text;
}

void QtSurface::Show(ControlId id, bool visible) {
  if (Control* c = Find(id)) c->widget->setVisible(visible);
}

bool QtSurface::IsVisible(ControlId id) const {
  const Control* c = Find(id);
  return c ? !c->widget->isHidden() : true;
}

void QtSurface::Enable(ControlId id, bool enabled) {
  if (Control* c = Find(id)) c->widget->setEnabled(enabled);
}

bool QtSurface::IsEnabled(ControlId id) const {
  const Control* c = Find(id);
  return c ? c->widget->isEnabledTo(client()) : true;
}

void QtSurface::ClearCombo(ControlId id) {
  Control* c = Find(id);
  auto* combo = c ? qobject_cast<QComboBox*>(c->widget) : nullptr;
  if (combo == nullptr) return;
  ++quiet_;
  combo->clear();
  --quiet_;
}

void QtSurface::AddComboItem(ControlId id, std::string_view text) {
  Control* c = Find(id);
  auto* combo = c ? qobject_cast<QComboBox*>(c->widget) : nullptr;
  if (combo == nullptr) return;
  ++quiet_;
  const int before = combo->currentIndex();
  combo->addItem(FromStation(text));
  // A list shows no choice until one is made, as the logic expects.
  if (before < 0) combo->setCurrentIndex(-1);
  --quiet_;
}

void QtSurface::SelectComboItem(ControlId id, int32_t index) {
  Control* c = Find(id);
  auto* combo = c ? qobject_cast<QComboBox*>(c->widget) : nullptr;
  if (combo == nullptr) return;
  ++quiet_;
  combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
  --quiet_;
}

int32_t QtSurface::ComboSelection(ControlId id) const {
  const Control* c = Find(id);
  auto* combo = c ? qobject_cast<QComboBox*>(c->widget) : nullptr;
  return combo ? combo->currentIndex() : -1;
}

void QtSurface::SetSliderRange(ControlId id, int32_t min, int32_t max, bool) {
  Control* c = Find(id);
  auto* slider = c ? qobject_cast<QSlider*>(c->widget) : nullptr;
  if (slider == nullptr) return;
  ++quiet_;
  slider->setRange(min, std::max(min, max));
  --quiet_;
}

void QtSurface::SetSliderPos(ControlId id, int32_t pos, bool) {
  Control* c = Find(id);
  auto* slider = c ? qobject_cast<QSlider*>(c->widget) : nullptr;
  if (slider == nullptr) return;
  ++quiet_;
  slider->setValue(pos);
  --quiet_;
}

int32_t QtSurface::SliderPos(ControlId id) const {
  const Control* c = Find(id);
  auto* slider = c ? qobject_cast<QSlider*>(c->widget) : nullptr;
  return slider ? slider->value() : 0;
}

void QtSurface::MoveControl(ControlId id, Rect rect) {
  Control* c = Find(id);
  if (c == nullptr) return;
  c->rect = rect;
  Place(*c);
}

Rect QtSurface::ControlRect(ControlId id) const {
  const Control* c = Find(id);
  return c ? c->rect : Rect{};
}

void QtSurface::SetControlColours(ControlId id, ControlColours normal, ControlColours active) {
  Control* c = Find(id);
  if (c == nullptr) return;
  c->normal = normal;
  c->active = active;
  c->coloured = true;
  Paint(*c);
}

void QtSurface::SetColourState(ControlId id, uint32_t state) {
  Control* c = Find(id);
  if (c == nullptr) return;
  c->state = state;
  Paint(*c);
}

void QtSurface::InvalidateWindow(bool) { window_->update(); }

void QtSurface::InvalidateControl(ControlId id, bool) {
  Control* c = Find(id);
  if (c == nullptr) return;
  c->widget->update();
  if (c->widget == image_view_) image_view_->RefreshCursor();
}

MessageAnswer QtSurface::MessageBox(std::string_view text, std::string_view caption,
                                    MessageButtons buttons) {
  return ShowMessageBox(window_, FromStation(text), FromStation(caption), buttons);
}

DialogResult QtSurface::RunDialog(DialogModel& dialog) { return RunModelDialog(window_, dialog); }

void QtSurface::SetWindowTitle(std::string_view title) {
  window_->setWindowTitle(FromStation(title));
}

std::string QtSurface::WindowTitle() const { return ToStation(window_->windowTitle()); }

Size QtSurface::ScreenSize() const {
  const QScreen* screen = window_->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return {};
  // The room a client area has: the menu bar takes its strip of the screen.
  return {screen->size().width(), screen->size().height() - window_->MenuHeight()};
}

Size QtSurface::ClientSize() const { return {client()->width(), client()->height()}; }

void QtSurface::MoveWindow(Rect rect) {
  const Size screen = ScreenSize();
  if (rect.x == 0 && rect.y == 0 && rect.width == screen.width && rect.height == screen.height) {
    // The whole screen: a full-screen window, so the client area is the
    // screen exactly and no frame takes a strip of the laid-out controls.
    full_screen_ = true;
    window_->setMinimumSize(0, 0);
    window_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    window_->setGeometry(0, 0, rect.width, rect.height + window_->MenuHeight());
    window_->LayOut();
    if (window_->isVisible()) window_->showFullScreen();
    return;
  }
  full_screen_ = false;
  // The rectangle is the outer frame; the client area is what the frame's
  // decorations leave of it (nothing to leave before the window is shown).
  const QRect frame = window_->frameGeometry();
  const QRect client = window_->geometry();
  const int extra_width = frame.width() - client.width();
  const int extra_height = frame.height() - client.height();
  const int width = std::max(1, rect.width - extra_width);
  const int height = std::max(1, rect.height - extra_height);
  const int menu = window_->MenuHeight();
  window_->setMinimumSize(std::min(width, kTemplateClient.width),
                          std::min(height, kTemplateClient.height) + menu);
  window_->resize(width, height + menu);
  window_->LayOut();
  window_->move(rect.x, rect.y);
}

void QtSurface::ShowWindow() {
  if (full_screen_) {
    window_->showFullScreen();
  } else {
    window_->show();
  }
}

void QtSurface::EndMainWindow() {
  if (ended_) return;
  ended_ = true;
  if (events_.end) events_.end();
}

} // namespace orvane::qt
