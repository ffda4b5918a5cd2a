// The menu bar's entries: every extension in one place (the measuring
// tools, the Results window, grid calibration and rectification, zoom and
// loupe, the keyboard and mouse help), and the extension display in the bar's
// corner. The entries ask the core for their state each time a menu opens.
#pragma once

#include <functional>
#include <map>

#include <QString>

#include "results/session.h"
#include "station/station.h"
#include "ui/qt/qt_surface.h"

class QAction;
class QLabel;
class QPlainTextEdit;

namespace orvane::qt {

class MainMenu {
 public:
  // `run` runs a station action as the window's own events do (and
  // refreshes what follows from it).
  MainMenu(QtSurface& surface, Station& station, std::function<void(std::function<void()>)> run);

  // The check marks, texts and the corner's display brought up to date.
  void Refresh();
  // The tool keys (T, M, D, E, W); true when `key` was one.
  bool ToolKey(int key);
  // The keyboard and mouse help, made on first use.
  void ShowHelp();

  QLabel* status() const { return status_; }
  QAction* rectification() const { return rectification_; }
  QAction* loupe() const { return loupe_; }
  QAction* tool(MeasureTool tool) const { return tools_.at(static_cast<uint32_t>(tool)); }
  QPlainTextEdit* help() const { return help_; }

 private:
  void BuildMeasure();
  void BuildCalibration();
  void BuildView();
  void BuildHelp();
  QAction* Add(MenuId menu, const QString& text, std::function<void()> action);

  QtSurface& surface_;
  Station& station_;
  std::function<void(std::function<void()>)> run_;
  std::map<uint32_t, QAction*> tools_;
  QAction* rectification_ = nullptr;
  QAction* loupe_ = nullptr;
  QLabel* status_ = nullptr;
  QPlainTextEdit* help_ = nullptr;
};

} // namespace orvane::qt
