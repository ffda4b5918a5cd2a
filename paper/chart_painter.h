// A label's two charts painted with Qt's painter: the individuals chart
// (values in table order, centre line and control limits, points beyond them
// marked in red, tolerance limits) and the histogram (bins, tolerance limits,
// the fitted normal curve). The same painting serves the window, the
// exported files and the summary report.
#pragma once

#include <filesystem>
#include <string>

#include <QRectF>

#include "results/charts.h"

class QPainter;

namespace orvane::paper {

enum class ChartKind : uint32_t { Individuals = 0, Histogram = 1 };

// Paints the chart into `area` (device units of the painter).
void PaintChart(QPainter& painter, const QRectF& area, const LabelSeries& series, ChartKind kind);

// The chart as a file chosen by its name's ending: ".png" (1000 x 600
// pixels), ".svg" or ".pdf" (vector, 1000 x 600 points); written whole or not
// at all. False, with the reason in *why, for another ending or a failed write.
bool ExportChart(const LabelSeries& series, ChartKind kind, const std::filesystem::path& path,
                 std::string* why);

} // namespace orvane::paper
