// Helpers of the Qt tests: screenshots into the build folder, acting on the
// next modal window, the German locale of the locale runs.
#pragma once

#include <functional>
#include <string>

#include <QString>

class QWidget;

namespace orvane::testing {

// Writes widget->grab() to <build>/qt_screenshots/<name>.png (with the scale
// factor of the run in the name) and returns the path.
QString Screenshot(QWidget* widget, const std::string& name);

// Acts on the next modal window (dialog, message box, file chooser) once it
// is shown, from inside its event loop. The action must close it. Fails the
// test if none appears within a few seconds.
void WhenModal(std::function<void(QWidget*)> action);

// True when this run asked for a German locale and got it; `why` says why
// not otherwise.
bool GermanLocaleActive(std::string* why);

} // namespace orvane::testing
