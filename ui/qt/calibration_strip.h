// The Results window's calibration line: what the extensions last said (the
// precise ring calibration's reading after an Auto Calibration, a
// calibration rescaled for another picture size), the precise calibrations
// at one click, and the option that makes Auto Calibration use the precise
// value.
#pragma once

#include <optional>
#include <string>

#include <QWidget>

#include "station/station.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace orvane::qt {

class CalibrationStrip : public QWidget {
 public:
  CalibrationStrip(Station& station, QWidget* parent);

  // Shows the newest notice, the offer and the option as the station has them.
  void Refresh();

  QLabel* notice() const { return notice_; }
  QPushButton* use() const { return use_; }
  QPushButton* ring() const { return ring_; }
  QPushButton* grid() const { return grid_; }
  QCheckBox* always() const { return always_; }

 private:
  // Runs a precise calibration; a reason it could not is said in the line.
  void Run(const std::optional<std::string>& problem);

  Station& station_;
  QLabel* notice_;
  QPushButton* use_;
  QPushButton* ring_;
  QPushButton* grid_;
  QCheckBox* always_;
  bool refreshing_ = false;
};

} // namespace orvane::qt
