#include "paper/gui_application.h"

#include <QGuiApplication>

namespace orvane::paper {

void EnsureGuiApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  // Painting to files needs no display: never try to reach one.
  static int argc = 3;
  static char name[] = "orvane-batch", option[] = "-platform", platform[] = "offscreen";
  static char* argv[] = {name, option, platform, nullptr};
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  (void)app;
}

} // namespace orvane::paper
