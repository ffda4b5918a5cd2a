#include "ui/qt/dialog_runner.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <thread>

#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QImage>
#include <QPainter>
#include <QVBoxLayout>

namespace orvane::qt {

namespace {

// A static longer than this is a paragraph of its own, not a row label.
constexpr qsizetype kLabelMax = 48;

QString Shown(const std::string& text) {
  QString s = QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return s;
}

bool IsCloseButton(uint32_t id) {
  return id == Raw(DialogControlId::Ok) || id == Raw(DialogControlId::Cancel);
}

// The model's picture, scaled to fit and never smoothed, with its marks as
// small red circles at their true (sub-pixel) places.
class PictureView : public QWidget {
 public:
  PictureView(QWidget* parent, const DialogModel& model) : QWidget(parent), model_(model) {
    setMinimumSize(480, 270);
    setObjectName(QStringLiteral("picture"));
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const DialogPicture* p = model_.Picture();
    if (p == nullptr || p->width == 0 || p->bgrx.size() < size_t{p->width} * p->height * 4) return;
    const QImage image(p->bgrx.data(), static_cast<int>(p->width), static_cast<int>(p->height),
                       static_cast<qsizetype>(p->width) * 4, QImage::Format_RGB32);
    const double scale = std::min(double(width()) / p->width, double(height()) / p->height);
    const QRectF target(0, 0, p->width * scale, p->height * scale);
    painter.drawImage(target, image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::red, 1.5));
    for (const DialogPicture::Mark& m : p->marks) {
      painter.drawEllipse(QPointF((m.x + 0.5) * scale, (m.y + 0.5) * scale), 3.0, 3.0);
    }
  }

 private:
  const DialogModel& model_;
};

// Builds the widgets of one model and keeps them in step with it.
class ModelDialog : public QDialog {
 public:
  ModelDialog(QWidget* parent, DialogModel& model) : QDialog(parent), model_(model) {
    setWindowTitle(Shown(model.title()));
    setModal(true);
    Build();
    Sync();
  }
  ~ModelDialog() override { StopTask(); }

  QLineEdit* first_edit() const { return first_edit_; }

  // However the dialog ends, a task still running is cancelled first.
  void done(int result) override {
    StopTask();
    QDialog::done(result);
  }

 private:
  void Build();
  void Sync();
  void Finish(std::optional<DialogResult> result);
  QWidget* MakeWidget(const DialogControl& control, int index);
  void Clicked(uint32_t id, QPushButton* button);
  void StartTask(std::unique_ptr<DialogTask> task, QPushButton* button);
  void TaskEnded();
  void StopTask();

  DialogModel& model_;
  // A button's task running off the window's thread; its button says
  // "Cancel" meanwhile, and every other control but the dialog's own
  // Cancel waits.
  std::unique_ptr<DialogTask> task_;
  std::thread worker_;
  QPushButton* task_button_ = nullptr;
  QString task_button_text_;
  std::map<int, QWidget*> widgets_; // by index into the model's controls
  QWidget* picture_ = nullptr;
  QLineEdit* first_edit_ = nullptr;
  int quiet_ = 0;
};

QWidget* ModelDialog::MakeWidget(const DialogControl& c, int index) {
  const uint32_t id = c.id;
  QWidget* w = nullptr;
  switch (c.kind) {
    case DialogControlKind::Static: {
      auto* label = new QLabel(Shown(c.text), this);
      label->setWordWrap(c.text.size() > static_cast<size_t>(kLabelMax));
      w = label;
      break;
    }
    case DialogControlKind::Edit: {
      auto* edit = new QLineEdit(Shown(c.text), this);
      connect(edit, &QLineEdit::textEdited, this, [this, index](const QString& text) {
        model_.controls()[static_cast<size_t>(index)].text = text.toLocal8Bit().toStdString();
      });
      if (first_edit_ == nullptr) first_edit_ = edit;
      w = edit;
      break;
    }
    case DialogControlKind::Button: {
      auto* button = new QPushButton(Shown(c.text), this);
      button->setAutoDefault(false);
      connect(button, &QPushButton::clicked, this, [this, id, button] { Clicked(id, button); });
      w = button;
      break;
    }
    case DialogControlKind::ComboBox: {
      auto* combo = new QComboBox(this);
      for (const std::string& item : c.items) combo->addItem(Shown(item));
      connect(combo, &QComboBox::currentIndexChanged, this, [this, index](int selection) {
        if (quiet_ > 0) return;
        const auto choice = static_cast<DialogControlId>(model_.controls()[static_cast<size_t>(index)].id);
        model_.Choose(choice, selection);
        Sync();
      });
      w = combo;
      break;
    }
    case DialogControlKind::GroupBox:
      w = new QGroupBox(Shown(c.text), this);
      break;
  }
  if (id != 0) w->setObjectName(QString::number(id));
  widgets_[index] = w;
  return w;
}

void ModelDialog::Build() {
  auto* outer = new QVBoxLayout;
  if (model_.Picture() != nullptr) {
    auto* sides = new QHBoxLayout(this);
    sides->addLayout(outer);
    picture_ = new PictureView(this, model_);
    sides->addWidget(picture_, 1);
  } else {
    setLayout(outer);
  }
  auto* grid = new QGridLayout;
  grid->setColumnStretch(1, 1);
  outer->addLayout(grid);
  auto* closing = new QHBoxLayout;
  closing->addStretch(1);

  const std::vector<DialogControl>& controls = model_.controls();
  const int count = static_cast<int>(controls.size());
  int row = 0;
  // Whether control `k` is a short label that names the control after it.
  const auto row_label = [&](int k) {
    if (k + 1 >= count) return false;
    const DialogControl& label = controls[static_cast<size_t>(k)];
    const DialogControl& named = controls[static_cast<size_t>(k) + 1];
    return label.kind == DialogControlKind::Static && label.text.size() <= static_cast<size_t>(kLabelMax) &&
           (named.kind == DialogControlKind::ComboBox || named.kind == DialogControlKind::Edit ||
            (named.kind == DialogControlKind::Button && !IsCloseButton(named.id)));
  };
  for (int i = 0; i < count; ++i) {
    const DialogControl& c = controls[static_cast<size_t>(i)];
    const DialogControl* next = i + 1 < count ? &controls[static_cast<size_t>(i) + 1] : nullptr;
    if (c.kind == DialogControlKind::Button && IsCloseButton(c.id)) {
      auto* button = static_cast<QPushButton*>(MakeWidget(c, i));
      if (c.id == Raw(DialogControlId::Ok)) button->setDefault(true);
      closing->addWidget(button);
      continue;
    }
    if (c.kind == DialogControlKind::GroupBox) {
      auto* group = static_cast<QGroupBox*>(MakeWidget(c, i));
      auto* inner = new QHBoxLayout(group);
      while (i + 1 < count && controls[static_cast<size_t>(i) + 1].kind == DialogControlKind::Button &&
             !IsCloseButton(controls[static_cast<size_t>(i) + 1].id)) {
        ++i;
        inner->addWidget(MakeWidget(controls[static_cast<size_t>(i)], i));
      }
      grid->addWidget(group, row++, 0, 1, 3);
      continue;
    }
    if (row_label(i)) {
      grid->addWidget(MakeWidget(c, i), row, 0);
      ++i;
      grid->addWidget(MakeWidget(controls[static_cast<size_t>(i)], i), row, 1);
      // The unit label that follows an edit box (not the next row's label).
      if (controls[static_cast<size_t>(i)].kind == DialogControlKind::Edit && i + 1 < count &&
          controls[static_cast<size_t>(i) + 1].kind == DialogControlKind::Static && !row_label(i + 1)) {
        ++i;
        grid->addWidget(MakeWidget(controls[static_cast<size_t>(i)], i), row, 2);
      }
      ++row;
      continue;
    }
    if (c.kind == DialogControlKind::Edit) {
      grid->addWidget(MakeWidget(c, i), row, 0, 1, 2);
      if (next != nullptr && next->kind == DialogControlKind::Static) {
        ++i;
        grid->addWidget(MakeWidget(*next, i), row, 2);
      }
      ++row;
      continue;
    }
    grid->addWidget(MakeWidget(c, i), row++, 0, 1, 3);
  }
  outer->addLayout(closing);
}

// Shows the model's state: texts, selections, what is enabled and visible.
void ModelDialog::Sync() {
  ++quiet_;
  const std::vector<DialogControl>& controls = model_.controls();
  for (auto& [index, w] : widgets_) {
    const DialogControl& c = controls[static_cast<size_t>(index)];
    w->setVisible(c.visible);
    w->setEnabled(c.enabled);
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
      combo->setCurrentIndex(c.selection >= 0 && c.selection < combo->count() ? c.selection : -1);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
      label->setText(Shown(c.text));
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
      group->setTitle(Shown(c.text));
    }
  }
  --quiet_;
  if (picture_ != nullptr) picture_->update();
}

void ModelDialog::Finish(std::optional<DialogResult> result) {
  Sync();
  if (result) done(static_cast<int>(*result));
}

void ModelDialog::Clicked(uint32_t id, QPushButton* button) {
  if (task_ && button == task_button_) {
    task_->Cancel();
    return;
  }
  if (std::unique_ptr<DialogTask> task = model_.StartTask(id)) return StartTask(std::move(task), button);
  Finish(model_.Press(id));
}

void ModelDialog::StartTask(std::unique_ptr<DialogTask> task, QPushButton* button) {
  Sync();
  // The dialog's own Cancel stays: it ends the task and the dialog.
  const std::vector<DialogControl>& controls = model_.controls();
  for (auto& [index, w] : widgets_) {
    const bool dismiss = controls[static_cast<size_t>(index)].id == Raw(DialogControlId::Cancel);
    w->setEnabled(w == button || dismiss || qobject_cast<QLabel*>(w) != nullptr);
  }
  task_button_ = button;
  task_button_text_ = button->text();
  button->setText(QStringLiteral("Cancel"));
  task_ = std::move(task);
  DialogTask* running = task_.get();
  worker_ = std::thread([this, running] {
    running->Run();
    QMetaObject::invokeMethod(this, [this] { TaskEnded(); }, Qt::QueuedConnection);
  });
}

void ModelDialog::TaskEnded() {
  if (!worker_.joinable()) return;  // stopped as the dialog ended
  worker_.join();
  task_button_->setText(task_button_text_);
  Finish(model_.FinishTask(std::move(task_)));
}

void ModelDialog::StopTask() {
  if (!worker_.joinable()) return;
  task_->Cancel();
  worker_.join();
  task_.reset();
}

} // namespace

MessageAnswer ShowMessageBox(QWidget* parent, const QString& text, const QString& caption,
                             MessageButtons buttons) {
  QMessageBox box(parent);
  box.setWindowTitle(caption.isEmpty() ? QString::fromLatin1(kDefaultMessageCaption) : caption);
  box.setText(text);
  box.setTextFormat(Qt::PlainText);
  switch (buttons) {
    case MessageButtons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case MessageButtons::OkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
    case MessageButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Ok:
      return MessageAnswer::Ok;
    case QMessageBox::Yes:
      return MessageAnswer::Yes;
    case QMessageBox::No:
      return MessageAnswer::No;
    case QMessageBox::Cancel:
      return MessageAnswer::Cancel;
    default:
      // Closed without a button: a box with only OK answers OK, the others
      // their negative answer.
      if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
      return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Cancel;
  }
}

DialogResult RunModelDialog(QWidget* parent, DialogModel& model) {
  ModelDialog dialog(parent, model);
  if (QLineEdit* edit = dialog.first_edit()) {
    edit->selectAll();
    edit->setFocus(Qt::OtherFocusReason);
  }
  const int code = dialog.exec();
  const DialogResult result =
      code == static_cast<int>(DialogResult::Ok) ? DialogResult::Ok : DialogResult::Cancel;
  model.OnClose(result);
  return result;
}

} // namespace orvane::qt
