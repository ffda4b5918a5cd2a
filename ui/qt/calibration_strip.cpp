#include "ui/qt/calibration_strip.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "results/session.h"
#include "solutions/precise_calibration.h"
#include "ui/grid_scale.h"

namespace orvane::qt {

CalibrationStrip::CalibrationStrip(Station& station, QWidget* parent) : QWidget(parent), station_(station) {
  notice_ = new QLabel(this);
  notice_->setWordWrap(true);
  notice_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  use_ = new QPushButton(QStringLiteral("Use precise calibration"), this);
  use_->setToolTip(QStringLiteral("Use the precise ring calibration the last Auto Calibration read"));
  ring_ = new QPushButton(QStringLiteral("Precise ring calibration"), this);
  ring_->setToolTip(QStringLiteral("Calibrate on the ring target of the current picture, both rims gauged"));
  grid_ = new QPushButton(QStringLiteral("Grid scale calibration"), this);
  grid_->setToolTip(QStringLiteral("Calibrate on the rectified picture's scale from the grid calibration "
                                   "(its pitch in the current unit)"));
  always_ = new QCheckBox(QStringLiteral("Auto Calibration uses the precise value"), this);
  // The notice gets the whole width, the buttons a line below it.
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(notice_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ring_);
  buttons->addWidget(use_);
  buttons->addWidget(grid_);
  buttons->addWidget(always_);
  buttons->addStretch();
  layout->addLayout(buttons);
  QObject::connect(use_, &QPushButton::clicked, this, [this] { Run(UsePreciseOffer(station_)); });
  QObject::connect(ring_, &QPushButton::clicked, this, [this] { Run(PreciseRingCalibration(station_)); });
  QObject::connect(grid_, &QPushButton::clicked, this, [this] { Run(GridScaleCalibration(station_, "")); });
  QObject::connect(always_, &QCheckBox::toggled, this, [this](bool on) {
    if (refreshing_) return;
    ResultsOf(station_).table.precise_calibration = on;
    SaveResults(station_);
  });
  Refresh();
}

void CalibrationStrip::Refresh() {
  refreshing_ = true;
  const ResultsSession& session = ResultsOf(station_);
  notice_->setText(QString::fromStdString(session.notice));
  use_->setEnabled(session.precise_offer.scale > 0.0);
  always_->setChecked(session.table.precise_calibration);
  refreshing_ = false;
}

void CalibrationStrip::Run(const std::optional<std::string>& problem) {
  if (problem) {
    ResultsSession& session = ResultsOf(station_);
    session.notice = "Precise calibration: " + *problem;
  }
  Refresh();
}

} // namespace orvane::qt
