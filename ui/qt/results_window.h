// The Results window: the station's results table, per-label statistics with
// their nominal and tolerance, and the buttons that copy, export, delete and
// clear. Non-modal; it shows the table as the station changes it.
#pragma once

#include <cstdint>
#include <vector>

#include <QWidget>

#include "station/station.h"

class QCheckBox;
class QTableWidget;
class QTableWidgetItem;

namespace orvane::qt {

class ResultsWindow : public QWidget {
 public:
  // Shows `station`'s table; the window must go before the station.
  explicit ResultsWindow(Station& station, QWidget* parent = nullptr);
  ~ResultsWindow() override;

  // Rebuilds both tables and the check boxes from the station's table.
  void Refresh();

  QTableWidget* rows() const { return rows_; }
  QTableWidget* statistics() const { return statistics_; }
  QCheckBox* snap() const { return snap_; }
  QCheckBox* append() const { return append_; }

  // The buttons' actions.
  void DeleteSelected();
  void Clear();
  void Copy();
  void ExportTo(const QString& path);

 private:
  void AddEditKeys();
  std::vector<uint32_t> SelectedNumbers() const;
  void RowEdited(QTableWidgetItem* item);
  void StatisticEdited(QTableWidgetItem* item);

  Station& station_;
  QTableWidget* rows_;
  QTableWidget* statistics_;
  QCheckBox* snap_;
  QCheckBox* append_;
  bool refreshing_ = false;
};

} // namespace orvane::qt
