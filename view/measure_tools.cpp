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

struct ToolWords {
  std::string_view name;  // orvane-batch's
  std::string_view title; // the menu's
  std::string_view wants; // what its clicks are
};

// In MeasureTool's order.
constexpr ToolWords kToolWords[] = {
    {"measure", "Measure", "click the points"},
    {"diameter", "Diameter", "3 clicks near a rim"},
    {"edge", "Straight edge", "2 clicks along an edge"},
    {"width", "Width", "2 clicks across a bar"},
};

const ToolWords& WordsOf(MeasureTool tool) {
  const auto i = static_cast<size_t>(tool);
  return kToolWords[i < std::size(kToolWords) ? i : 0];
}

} // namespace

std::string_view ToolName(MeasureTool tool) { return WordsOf(tool).name; }
std::string_view ToolTitle(MeasureTool tool) { return WordsOf(tool).title; }

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
                     std::string(WordsOf(session.tool).wants);
  const uint32_t needed = ClicksOf(session.gauge_tool);
  if (!session.gauge_clicks.empty() && needed > 0) {
    text += " (" + std::string(ToolTitle(session.gauge_tool)) + " " +
            std::to_string(session.gauge_clicks.size()) + " of " + std::to_string(needed) + ")";
  }
  if (!IsMeasuringMode(st.view.mouse_mode)) text += "; acts in the measuring modes (Ctrl-click)";
  return text;
}

} // namespace orvane
