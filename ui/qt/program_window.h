// The Program window: the inspection program open for teaching and
// running. New, load (the programs of the working folder), save; recording
// the gauges measured into steps; the steps with their label, kind, nominal
// and tolerance (editable) and the last run's values; rename, delete, move;
// a distance or an angle from two selected features; Run and automatic
// runs; the part's identity (the code region from the newest ROI, whether
// one is required, the next running number of a prefix). A tool window of
// the main window; every decision is the core's.
#pragma once

#include <functional>

#include <QWidget>

#include "station/station.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTableWidget;

namespace orvane::qt {

class ProgramWindow : public QWidget {
 public:
  // `run` runs a station action as the main window's events do (and
  // refreshes the picture after it).
  ProgramWindow(Station& station, std::function<void(std::function<void()>)> run, QWidget* parent = nullptr);

  // Shows the station's program as it is now.
  void Refresh();
  // The Run button and key.
  void Run();
  void NewProgram(const QString& name);
  void LoadProgram(const QString& name);

  QTableWidget* steps() const { return steps_; }
  QCheckBox* record() const { return record_; }
  QCheckBox* automatic() const { return auto_; }
  QCheckBox* folder() const { return folder_; }
  QCheckBox* rest() const { return rest_; }
  QComboBox* programs() const { return programs_; }
  QLabel* message() const { return message_; }
  QCheckBox* required() const { return required_; }
  QLineEdit* prefix() const { return prefix_; }

 private:
  void Build();
  QWidget* BuildButtons();
  QWidget* BuildIdentity();
  void NextIdentity();
  void Act(const std::function<bool(std::string*)>& action);
  QString SelectedLabel(int which = 0) const;
  void CellEdited(int row, int column);

  Station& station_;
  std::function<void(std::function<void()>)> run_;
  QComboBox* programs_ = nullptr;
  QCheckBox* record_ = nullptr;
  QCheckBox* auto_ = nullptr;
  QCheckBox* folder_ = nullptr;
  QCheckBox* rest_ = nullptr;
  QCheckBox* required_ = nullptr;
  QLineEdit* prefix_ = nullptr;
  QTableWidget* steps_ = nullptr;
  QLabel* message_ = nullptr;
  QLabel* title_ = nullptr;
  bool refreshing_ = false;
};

} // namespace orvane::qt
