// The measuring tools: what a plain left click of the measuring modes does
// (measurement points, or one of the gauges that Alt-clicks once were the
// only way to). Chosen from the window's menu, a key, or orvane-batch's
// `tool`; the window shows the tool in force where the extensions speak.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "results/session.h"
#include "station/station.h"

namespace orvane {

// The tools in their menu and cycle order.
inline constexpr MeasureTool kMeasureTools[] = {MeasureTool::Measure, MeasureTool::Diameter,
                                                MeasureTool::Edge, MeasureTool::Width};

// "measure", "diameter", "edge", "width": the names orvane-batch takes.
std::string_view ToolName(MeasureTool tool);
// "Measure", "Diameter", "Straight edge", "Width": the menu's words.
std::string_view ToolTitle(MeasureTool tool);
// The tool a name stands for (ToolName's words, any case).
std::optional<MeasureTool> ToolByName(std::string_view name);

// Makes `tool` the tool of plain clicks, dropping clicks gathered for
// another gauge. In the ROI mode of a solution that has the measuring modes
// it also switches to the first measuring mode, as a Ctrl-click would, so
// the next click measures.
void SetMeasureTool(Station& station, MeasureTool tool);
// The next tool in kMeasureTools' order, after Width Measure again.
void CycleMeasureTool(Station& station);
MeasureTool CurrentTool(Station& station);

// One line for the window's extension display: the tool, what it wants and
// how many of its clicks are in ("Tool: Diameter - 3 clicks near a rim (1
// of 3)"), and a word when the mouse mode is not a measuring one.
std::string ToolStatusText(Station& station);

} // namespace orvane
