// The Results window's charts of one label: its individuals chart and its
// histogram side by side, painted as the exported files are, each with a
// button that saves it as PNG, SVG or PDF.
#pragma once

#include <string>

#include <QWidget>

#include "paper/chart_painter.h"
#include "station/station.h"

class QLabel;
class QPushButton;

namespace orvane::qt {

// One chart, painted from the series it was last given.
class ChartView : public QWidget {
 public:
  ChartView(paper::ChartKind kind, QWidget* parent);
  void Show(const LabelSeries& series);
  const LabelSeries& series() const { return series_; }
  paper::ChartKind kind() const { return kind_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  paper::ChartKind kind_;
  LabelSeries series_;
};

class ChartPanel : public QWidget {
 public:
  ChartPanel(Station& station, QWidget* parent);

  // Shows the charts of `label` (empty: none) as the table has it now.
  void ShowLabel(const std::string& label);
  // Paints the charts again from the table (after a change).
  void Refresh();
  // Saves one chart (0 individuals, 1 histogram) at `path`; false with the
  // reason shown in the panel's line.
  bool SaveTo(int chart, const QString& path);

  const std::string& label() const { return label_; }
  ChartView* individuals() const { return views_[0]; }
  ChartView* histogram() const { return views_[1]; }
  QLabel* line() const { return line_; }

 private:
  Station& station_;
  std::string label_;
  ChartView* views_[2] = {};
  QPushButton* save_[2] = {};
  QLabel* line_ = nullptr;
};

} // namespace orvane::qt
