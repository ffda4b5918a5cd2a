// The Qt tests' main: a QApplication (offscreen), the numeric locale reset as
// the program does it, and GoogleTest. A run with ORVANE_TEST_LOCALE set
// starts the whole process in that locale, generating it when it is missing.
#include <clocale>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "tests/qt/qt_support.h"

namespace orvane::testing {
namespace {

std::string g_locale_problem = "this run did not ask for a locale (set ORVANE_TEST_LOCALE)";
bool g_locale_active = false;

bool LocaleExists(const char* name) {
  const char* before = std::setlocale(LC_ALL, nullptr);
  const std::string saved = before ? before : "C";
  const bool ok = std::setlocale(LC_ALL, name) != nullptr;
  std::setlocale(LC_ALL, saved.c_str());
  return ok;
}

// Makes sure the locale exists (localedef from the locales package), then
// puts it into the environment Qt reads.
void PrepareLocale(const std::string& name) {
  if (!LocaleExists(name.c_str())) {
    const std::string base = name.substr(0, name.find('.'));
    const std::string command =
        "localedef -i " + base + " -f UTF-8 " + name + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0 || !LocaleExists(name.c_str())) {
      g_locale_problem = "the locale " + name +
                         " is missing and could not be generated (needs the locales package "
                         "and write access to the locale archive)";
      return;
    }
  }
  setenv("LC_ALL", name.c_str(), 1);
  g_locale_active = true;
}

} // namespace

QString Screenshot(QWidget* widget, const std::string& name) {
  const QString folder = QStringLiteral(ORVANE_BUILD_DIR "/qt_screenshots");
  QDir().mkpath(folder);
  QString scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1"));
  scale.replace('.', '_');
  const QString path = folder + '/' + QString::fromStdString(name) + "_x" + scale + ".png";
  widget->grab().save(path);
  return path;
}

void WhenModal(std::function<void(QWidget*)> action) {
  auto* timer = new QTimer;
  auto* clock = new QElapsedTimer;
  clock->start();
  QObject::connect(timer, &QTimer::timeout, [timer, clock, action] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal->isVisible()) {
      timer->stop();
      timer->deleteLater();
      delete clock;
      action(modal);
      // An action that failed to close its window must not hang the run.
      QPointer<QWidget> left(modal);
      QTimer::singleShot(3000, [left] {
        if (left && left->isVisible()) {
          ADD_FAILURE() << "the modal window was left open";
          left->close();
        }
      });
      return;
    }
    if (clock->elapsed() > 5000) {
      timer->stop();
      timer->deleteLater();
      delete clock;
      ADD_FAILURE() << "no modal window appeared";
    }
  });
  timer->start(10);
}

bool GermanLocaleActive(std::string* why) {
  if (!g_locale_active && why != nullptr) *why = g_locale_problem;
  return g_locale_active;
}

} // namespace orvane::testing

int main(int argc, char** argv) {
  if (const char* wanted = std::getenv("ORVANE_TEST_LOCALE")) {
    orvane::testing::PrepareLocale(wanted);
  }
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setStyle(QStringLiteral("Fusion"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
