#include "view/measure_tools.h"

#include <algorithm>
#include <cctype>

#include "view/measure_results.h"
#include "view/mouse.h"
#include "view/mouse_modes.h"

namespace orvane {
namespace {

bool IsMeasuringMode(uint32_t mode) {
  return mode == static_cast<uint32_t>(MouseMode::Measure) ||
         mode == static_cast<uint32_t>(MouseMode::Measure2);
}

std::string_view WhatItWants(MeasureTool tool) {
  switch (tool) {
    case MeasureTool::Measure:
      return "click the points";
    case MeasureTool::Diameter:
      return "3 clicks near a rim";
    case MeasureTool::Edge:
      return "2 clicks along an edge";
    case MeasureTool::Width:
      return "2 clicks across a bar";
  }
  return {};
}

} // namespace

std::string_view ToolName(MeasureTool tool) {
  switch (tool) {
    case MeasureTool::Measure:
      return "measure";
    case MeasureTool::Diameter:
      return "diameter";
    case MeasureTool::Edge:
      return "edge";
    case MeasureTool::Width:
      return "width";
  }
  return {};
}

std::string_view ToolTitle(MeasureTool tool) {
  switch (tool) {
    case MeasureTool::Measure:
      return "Measure";
    case MeasureTool::Diameter:
      return "Diameter";
    case MeasureTool::Edge:
      return "Straight edge";
    case MeasureTool::Width:
      return "Width";
  }
  return {};
}

std::optional<MeasureTool> ToolByName(std::string_view name) {
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (MeasureTool t : kMeasureTools) {
    if (ToolName(t) == lower) return t;
  }
  return std::nullopt;
}

MeasureTool CurrentTool(Station& st) { return ResultsOf(st).tool; }

void SetMeasureTool(Station& st, MeasureTool tool) {
  ResultsSession& session = ResultsOf(st);
  session.tool = tool;
  session.gauge_clicks.clear();
  if (!st.working) return;
  if (st.view.mouse_mode == static_cast<uint32_t>(MouseMode::Roi)) {
    SwitchMouseMode(st); // the ROI mode's next mode is the first measuring one
  } else {
    mouse::Refresh(st); // the pending clicks' rings go
  }
}

void CycleMeasureTool(Station& st) {
  const MeasureTool* end = std::end(kMeasureTools);
  const MeasureTool* at = std::find(std::begin(kMeasureTools), end, CurrentTool(st));
  SetMeasureTool(st, (at == end || at + 1 == end) ? kMeasureTools[0] : at[1]);
}

std::string ToolStatusText(Station& st) {
  const ResultsSession& session = ResultsOf(st);
  std::string text = "Tool: " + std::string(ToolTitle(session.tool)) + " - " +
                     std::string(WhatItWants(session.tool));
  const uint32_t needed = ClicksOf(session.gauge_tool);
  if (!session.gauge_clicks.empty() && needed > 0) {
    text += " (" + std::string(ToolTitle(session.gauge_tool)) + " " +
            std::to_string(session.gauge_clicks.size()) + " of " + std::to_string(needed) + ")";
  }
  if (!IsMeasuringMode(st.view.mouse_mode)) text += "; acts in the measuring modes (Ctrl-click)";
  return text;
}

} // namespace orvane
