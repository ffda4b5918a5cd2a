#include "ui/qt/chart_panel.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "results/session.h"

namespace orvane::qt {

ChartView::ChartView(paper::ChartKind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
  // Small enough that the window keeps the smallest size it had before.
  setMinimumSize(200, 60);
}

void ChartView::Show(const LabelSeries& series) {
  series_ = series;
  update();
}

void ChartView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (series_.label.empty()) {
    p.fillRect(rect(), palette().window());
    return;
  }
  paper::PaintChart(p, QRectF(rect()), series_, kind_);
}

ChartPanel::ChartPanel(Station& station, QWidget* parent) : QWidget(parent), station_(station) {
  auto* charts = new QHBoxLayout;
  auto* buttons = new QHBoxLayout;
  const char* names[] = {"Save individuals chart...", "Save histogram..."};
  for (int i = 0; i < 2; ++i) {
    views_[i] = new ChartView(static_cast<paper::ChartKind>(i), this);
    charts->addWidget(views_[i], 1);
    save_[i] = new QPushButton(QString::fromLatin1(names[i]), this);
    save_[i]->setEnabled(false);
    buttons->addWidget(save_[i]);
    QObject::connect(save_[i], &QPushButton::clicked, this, [this, i] {
      const QString path = QFileDialog::getSaveFileName(
          this, QStringLiteral("Save chart"), QString::fromStdString(label_) + ".png",
          QStringLiteral("Pictures (*.png);;Drawings (*.svg);;PDF (*.pdf)"));
      if (!path.isEmpty()) SaveTo(i, path);
    });
  }
  line_ = new QLabel(QStringLiteral("Charts: choose a label in the statistics."), this);
  buttons->addWidget(line_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(charts, 1);
  layout->addLayout(buttons);
}

void ChartPanel::ShowLabel(const std::string& label) {
  label_ = label;
  Refresh();
}

void ChartPanel::Refresh() {
  const LabelSeries series = label_.empty() ? LabelSeries{} : SeriesOf(ResultsOf(station_).table, label_);
  for (ChartView* view : views_) view->Show(series);
  for (QPushButton* save : save_) save->setEnabled(!label_.empty());
  if (!label_.empty()) {
    line_->setText(QString("Charts of %1: %2 values").arg(QString::fromStdString(label_)).arg(series.values.size()));
  }
}

bool ChartPanel::SaveTo(int chart, const QString& path) {
  std::string why;
  if (paper::ExportChart(views_[chart]->series(), views_[chart]->kind(), path.toStdString(), &why)) {
    line_->setText("Chart saved: " + path);
    return true;
  }
  line_->setText("Chart not saved: " + QString::fromStdString(why));
  return false;
}

} // namespace orvane::qt
