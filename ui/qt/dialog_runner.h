// Message boxes and the modal dialogs of the core's DialogModels as real Qt
// dialogs.
#pragma once

#include <QString>

#include "station/control_surface.h"

class QWidget;

namespace orvane::qt {

// The title of a message box given no caption of its own.
inline constexpr const char* kDefaultMessageCaption = "Error";

// A modal message box with exactly this text, caption and buttons.
MessageAnswer ShowMessageBox(QWidget* parent, const QString& text, const QString& caption,
                             MessageButtons buttons);

// Runs the model as a modal dialog: a label before a list or an edit box
// shares its row, an edit box's trailing label follows it, a group box
// frames the buttons after it, OK and Cancel close the dialog at the bottom.
// The first edit box takes the focus with its whole text selected. Every
// user action goes to the model at once; the model's answer ends the
// dialog, Escape and the close box end it with Cancel. OnClose runs once.
DialogResult RunModelDialog(QWidget* parent, DialogModel& model);

} // namespace orvane::qt
