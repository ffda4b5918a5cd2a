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
class QPushButton;
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
  // The filter row, shown while the Filter button is down: label, program,
  // part numbers from/to, days from/to (YYYY-MM-DD, UTC), and, with a
  // results server, whose rows are shown (this station's, every station's,
  // or one station's). Disabled while the table is held in memory only;
  // hiding it clears it.
  QPushButton* filter_button() const { return filter_button_; }
  QWidget* filter_row() const { return filter_row_; }
  QLineEdit* filter_field(int i) const { return filter_fields_[i]; }
  QComboBox* stations() const { return stations_; }
  // Applies what the filter row says (each field does when left).
  void ApplyFilter();
  // "Parts: N inspected, P passed, F failed, yield Y %" over the rows
  // shown; hidden without an inspected part.
  QLabel* part_counts() const { return part_counts_; }

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
  QLayout* BuildFilterRow();
  void ChooseSource();
  void ShowNarrowed();
  void ShowPartCounts();
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
  static constexpr int kFilterFields = 6;
  QLineEdit* filter_fields_[kFilterFields] = {};
  QComboBox* stations_ = nullptr;
  QPushButton* filter_button_ = nullptr;
  QWidget* filter_row_ = nullptr;
  QLabel* part_counts_ = nullptr;
  ResultsFilter filter_;
  // The database the rows are read from (null: the table in memory), and
  // whether they come from the results server.
  const void* source_db_ = nullptr;
  bool rechoose_ = true;
  bool refreshing_ = false;
};

} // namespace orvane::qt
