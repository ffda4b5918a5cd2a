// orvane: the station's desktop program. Runs one station in the current
// folder; the only option of the station selects the video device ("-d0" to
// "-d3"). --help and --version answer and end before any window opens.

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QIcon>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QTimer>

#include "ui/qt/front_end.h"
#include "ui/qt/live_video_widget.h"
#include "workspace/files.h"

namespace {

int64_t EpochMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// With ORVANE_TIMING set, reports on stderr when the window first painted
// and, every five seconds, how the live area painted.
class FirstPaint : public QObject {
 public:
  explicit FirstPaint(const QElapsedTimer* since_main) : since_main_(since_main) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !seen_) {
      seen_ = true;
      std::fprintf(stderr, "orvane timing: first paint at epoch %lld ms, %.1f ms after main\n",
                   static_cast<long long>(EpochMs()),
                   static_cast<double>(since_main_->nsecsElapsed()) / 1e6);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  const QElapsedTimer* since_main_;
  bool seen_ = false;
};

// The program's icon, a calibration target: a dark ring around a bright disc.
QIcon StationIcon() {
  QPixmap pixmap(64, 64);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x1e, 0x6b, 0x2e));
  p.drawRoundedRect(2, 2, 60, 60, 8, 8);
  p.setBrush(QColor(0xf2, 0xf2, 0xf2));
  p.drawEllipse(QPointF(32, 32), 22, 22);
  p.setBrush(QColor(0x1a, 0x1a, 0x1a));
  p.drawEllipse(QPointF(32, 32), 17, 17);
  p.setBrush(QColor(0xf2, 0xf2, 0xf2));
  p.drawEllipse(QPointF(32, 32), 8, 8);
  return QIcon(pixmap);
}

#ifndef ORVANE_VERSION
#define ORVANE_VERSION "unknown"
#endif

constexpr const char* kUsage =
    "usage: orvane [-d0|-d1|-d2|-d3] [--camera NAME] [Qt options]\n"
    "       orvane --help | --version\n"
    "Runs the measuring station with the current folder as its working folder\n"
    "(settings, solutions, log, saved images and DXF output live there).\n"
    "  -d0 .. -d3   the video device to open (default: the first)\n"
    "  --camera NAME  the camera of that name in the device list (any back end)\n"
    "  --help       print this text and end\n"
    "  --version    print the version and end\n"
    "Environment:\n"
    "  ORVANE_VIRTUAL_CAMERA   scene, or a folder of BMP/JPEG files: a virtual camera\n"
    "                          takes the place of the video devices\n"
    "  ORVANE_VIRTUAL_FORMATS  the virtual camera's formats, WIDTHxHEIGHT:CODE,...\n"
    "  ORVANE_GENICAM          off: leave the GenICam cameras out of the device list\n"
    "  ORVANE_LOG              1: write the diagnostic log ORVANE.LOG\n"
    "  ORVANE_TIMING           set: print start-up and live-area timings on stderr\n"
    "  QUELLIX_BASELINE        1: the vision library uses only its baseline code\n"
    "See orvane(1).\n";

// --help and --version, looked for as whole arguments after the program
// name; anything else is left to Qt and the station's own command line.
// Returns true when the program has answered and must end.
bool AnswerInformationOption(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return true;
    }
    if (arg == "--version") {
      std::fputs("orvane " ORVANE_VERSION "\n", stdout);
      return true;
    }
  }
  return false;
}

} // namespace

int main(int argc, char** argv) {
  if (AnswerInformationOption(argc, argv)) return 0;
  QElapsedTimer since_main;
  since_main.start();
  QApplication app(argc, argv);
  // Qt took the user's locale for the whole process; the station reads and
  // writes its numbers with a point, whatever the locale.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setStyle(QStringLiteral("Fusion"));
  QGuiApplication::setDesktopFileName(QStringLiteral("orvane"));
  QApplication::setWindowIcon(StationIcon());

  std::string command_line;
  for (int i = 0; i < argc; ++i) {
    if (i > 0) command_line += ' ';
    // A camera's name may hold blanks: it stays one word of the line.
    const bool blank = std::strpbrk(argv[i], " \t") != nullptr;
    command_line += blank ? "\"" + std::string(argv[i]) + "\"" : std::string(argv[i]);
  }

  // One station a folder: a second one would overwrite the first one's files.
  long holder = 0;
  if (orvane::LockFolder(std::filesystem::current_path(), &holder) == orvane::kFolderLocked) {
    const std::string text = "This folder is in use by another station (" +
                             orvane::LockHolderText(holder) + "); this one ends.";
    std::fprintf(stderr, "orvane: %s\n", text.c_str());
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal")) {
      QMessageBox::critical(nullptr, QStringLiteral("orvane"), QString::fromStdString(text));
    }
    return 3;
  }

  const bool timing = std::getenv("ORVANE_TIMING") != nullptr;
  orvane::qt::FrontEnd front(std::filesystem::current_path());
  front.on_end = [] { QCoreApplication::exit(0); };
  FirstPaint first_paint(&since_main);
  if (timing) front.surface().window()->installEventFilter(&first_paint);
  if (!front.Start(command_line)) return 0;
  front.Show();
  // Every five seconds: how the live area painted since the last report.
  QTimer report;
  if (timing) {
    QObject::connect(&report, &QTimer::timeout, &report, [&front] {
      orvane::qt::LiveVideoWidget* live = front.surface().live_video();
      const orvane::qt::LivePaintStats s = live->stats();
      live->ResetStats();
      const double span = s.last_ms - s.first_ms;
      std::fprintf(stderr,
                   "orvane timing: live area %llu pictures, %.1f per second, worst gap %.1f ms, "
                   "stretch %.2f ms a picture\n",
                   static_cast<unsigned long long>(s.frames),
                   s.frames > 1 && span > 0 ? static_cast<double>(s.frames - 1) * 1000.0 / span : 0.0,
                   s.worst_gap_ms,
                   s.frames ? s.stretch_ms_total / static_cast<double>(s.frames) : 0.0);
    });
    report.start(5000);
  }
  app.exec();
  return 0;
}
