// The Results window's line for reports: the identity of the part now
// measured (typed, or read from a code in the picture), the operator named on
// reports, the inspection report of the selected rows (or of the last part)
// as a PDF, and whether each program run writes its part's report itself.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <QWidget>

#include "station/station.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orvane::qt {

class ReportStrip : public QWidget {
 public:
  // `selected` gives the numbers of the rows selected in the window.
  ReportStrip(Station& station, std::function<std::vector<uint32_t>()> selected, QWidget* parent);

  // Shows the identity and the operator as the station has them.
  void Refresh();
  // Reads a code in the picture; the line says what was read.
  void ReadCode();
  // Writes the report of the selected rows (none selected: the last part's).
  bool WriteReport(const QString& path);
  // Writes the summary report of the selected rows (none selected: all).
  bool WriteSummary(const QString& path);

  QLineEdit* part() const { return part_; }
  QLineEdit* operator_name() const { return operator_; }
  QPushButton* read() const { return read_; }
  QPushButton* report() const { return report_; }
  QPushButton* summary() const { return summary_; }
  QCheckBox* auto_report() const { return auto_; }
  // Reports after each run into `folder` (kept in TRACE.CFG).
  void ChooseReportFolder(const QString& folder);
  QLabel* line() const { return line_; }

 private:
  Station& station_;
  std::function<std::vector<uint32_t>()> selected_;
  QLineEdit* part_;
  QLineEdit* operator_;
  QPushButton* read_;
  QPushButton* report_;
  QPushButton* summary_;
  QCheckBox* auto_;
  QPushButton* folder_;
  QLabel* line_;
};

} // namespace orvane::qt
