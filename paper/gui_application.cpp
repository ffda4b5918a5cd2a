#include "paper/gui_application.h"

#include <QGuiApplication>

#include "workspace/files.h"

namespace orvane::paper {

bool SaveWhole(const QByteArray& bytes, const std::filesystem::path& path, std::string* why) {
  int error = 0;
  if (WriteWholeFile(path, bytes.constData(), static_cast<uint32_t>(bytes.size()), &error) ==
      static_cast<uint32_t>(bytes.size())) {
    return true;
  }
  if (why != nullptr) *why = "cannot write " + path.string() + ": " + FileErrorText(error);
  return false;
}

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
