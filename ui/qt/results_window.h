// The Results window: the station's results table, per-label statistics with
// their unit, nominal and tolerance, the label for the next result, and the
// buttons that copy, export, delete and clear. A tool window of the main
// window (it stays above it), placed and sized where it was last, showing
// the table as the station changes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QLabel>
#include <QWidget>

#include "results/window_file.h"
#include "station/station.h"
#include "ui/qt/results_models.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QTableView;

namespace orvane::qt {

class CalibrationStrip;
class ChartPanel;
class ReportStrip;

class ResultsWindow : public QWidget {
 public:
  // Shows `station`'s table; the window must go before the station. With a
  // parent (the main window) it is that window's tool window.
  explicit ResultsWindow(Station& station, QWidget* parent = nullptr);
  ~ResultsWindow() override;

  // Catches up with the station's table: new rows are added, their labels'
  // statistics updated; after any other edit both tables are shown again.
  void Refresh();

  QTableView* rows() const { return rows_; }
  QTableView* statistics() const { return statistics_; }
  ResultRowsModel* rows_model() const { return rows_model_; }
  LabelStatisticsModel* statistics_model() const { return statistics_model_; }
  QCheckBox* snap() const { return snap_; }
  QCheckBox* append() const { return append_; }
  QLineEdit* next_label() const { return next_label_; }
  // Lengths shown as measured (0), in mm (1) or in µm (2).
  QComboBox* show_unit() const { return show_unit_; }
  CalibrationStrip* calibration() const { return calibration_; }
  ChartPanel* charts() const { return charts_; }
  ReportStrip* report() const { return report_; }
  // How many results wait for the results server, and why; hidden while
  // none waits.
  QLabel* server_status() const { return server_status_; }

  // The buttons' actions. Clear asks first.
  void DeleteSelected();
  void Clear();
  void Copy();
  void ExportTo(const QString& path);

 protected:
  void hideEvent(QHideEvent* event) override;

 private:
  void Build();
  void Connect();
  void Place();
  void ShowUnitChosen(int index);
  void SaveState();
  void AddEditKeys();
  void ShowServerStatus();
  std::vector<uint32_t> SelectedNumbers() const;

  Station& station_;
  ResultRowsModel* rows_model_;
  LabelStatisticsModel* statistics_model_;
  QTableView* rows_ = nullptr;
  QTableView* statistics_ = nullptr;
  QCheckBox* snap_ = nullptr;
  QCheckBox* append_ = nullptr;
  QLineEdit* next_label_ = nullptr;
  QComboBox* show_unit_ = nullptr;
  QWidget* buttons_[4] = {};
  ResultsWindowState state_;
  CalibrationStrip* calibration_ = nullptr;
  ChartPanel* charts_ = nullptr;
  ReportStrip* report_ = nullptr;
  QLabel* server_status_ = nullptr;
  bool refreshing_ = false;
};

} // namespace orvane::qt
