#include "ui/panel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "acquisition/acquisition.h"
#include "acquisition/camera_capture.h"
#include "draw/format.h"
#include "solutions/process.h"
#include "station/workspace.h"
#include "ui/commands.h"
#include "ui/dialogs.h"
#include "ui/layout.h"
#include "ui/window_state.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

using C = ControlId;

constexpr size_t kTextLimit = 127; // the window's text buffers hold 128 bytes
constexpr int32_t kParamDecimals = 5;
constexpr int32_t kSliderDigits = 9;
constexpr const char* kNoResult = "----------------";
constexpr C kViewAreas[] = {C::LiveVideo, C::ImageView};

// A value as the window's integer controls take it: truncated toward zero,
// and held within the int range (NaN as 0) so no value from a file can make
// the conversion undefined.
int32_t TruncToInt(double v) {
  if (!(v == v)) return 0;
  if (v <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
    return std::numeric_limits<int32_t>::min();
  }
  if (v >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(v);
}

ParamKind KindOf(const SolutionParam& p) { return static_cast<ParamKind>(p.kind); }

std::string ParamName(const SolutionParam& p) {
  return std::string(p.name, strnlen(p.name, sizeof p.name)).substr(0, kTextLimit);
}

std::string LabelOf(const SolutionParam& p, bool metric) {
  std::string text = ParamName(p);
  const char* suffix = "";
  if (KindOf(p) == ParamKind::Length) suffix = metric ? " (cm)" : " (in.)";
  if (KindOf(p) == ParamKind::Area) suffix = metric ? " (cm^2)" : " (sq.in.)";
  if (text.size() + std::strlen(suffix) <= kTextLimit) text += suffix;
  return text;
}

// The control that shows a row's value: its edit box, or the choice list laid
// over it.
C ValueControlOf(const SolutionParam& p, uint32_t row) {
  if (KindOf(p) == ParamKind::DarkLight) return C::DarkLightChoice;
  if (KindOf(p) == ParamKind::Filter) return C::FilterChoice;
  return kRowEdits[row];
}

// Shows (or hides) the rows of the working record: label, value control and,
// for integers, the slider; then the ROI count line when the solution has it.
void ShowRows(Station& st, bool visible) {
  ControlSurface& ui = st.surface();
  const SolutionRecord& rec = *st.working;
  for (uint32_t i = 0; i < kParamRows; ++i) {
    const SolutionParam& p = rec.params[i];
    if (KindOf(p) == ParamKind::Unused) continue;
    ui.Show(kRowLabels[i], visible);
    ui.Show(ValueControlOf(p, i), visible);
    if (KindOf(p) == ParamKind::Integer) ui.Show(kRowSliders[i], visible);
  }
  if (rec.ui_flags & kUiShowRoiCount) ui.Show(C::RoiCount, visible);
}

void HideEveryRow(Station& st) {
  ControlSurface& ui = st.surface();
  for (uint32_t i = 0; i < kParamRows; ++i) {
    ui.Show(kRowLabels[i], false);
    ui.Show(kRowSliders[i], false);
    ui.Show(kRowEdits[i], false);
  }
  ui.Show(C::RoiCount, false);
  ui.Show(C::DarkLightChoice, false);
  ui.Show(C::FilterChoice, false);
}

void MoveViewAreas(Station& st, Size size) {
  for (C area : kViewAreas) st.surface().MoveControl(area, {12, 16, size.width, size.height});
}

} // namespace

void ShowRoiCount(Station& st) {
  st.surface().SetText(ControlId::RoiCount,
                       "Regions of Interest: " + std::to_string(st.working->roi_count));
}

bool PanelShowsRows(Station& st) {
  std::string caption = st.surface().GetText(C::Enlarge);
  std::transform(caption.begin(), caption.end(), caption.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return caption == "enlarge";
}

std::string FormatParamValue(const SolutionRecord& rec, uint32_t row, std::string_view text) {
  if (row >= kParamRows) return std::string(text);
  const SolutionParam& p = rec.params[row];
  switch (KindOf(p)) {
    case ParamKind::Integer:
    case ParamKind::DarkLight:
    case ParamKind::Filter:
      return std::to_string(TruncToInt(p.value));
    case ParamKind::Length:
    case ParamKind::Area:
    case ParamKind::Number:
      return FormatNumber(p.value, kParamDecimals);
    default:
      return std::string(text);
  }
}

void SetRowText(Station& st, uint32_t row, std::string_view text) {
  if (row < kParamRows) st.surface().SetText(kRowEdits[row], text);
}

void PlaceOver(Station& st, ControlId edit, ControlId combo) {
  const LayoutEntry* e = FindLayout(WindowOf(st), edit);
  if (e == nullptr) return;
  st.surface().MoveControl(combo, {e->current_left, e->current_top, e->width, e->height});
}

void RefreshPanel(Station& st) {
  ControlSurface& ui = st.surface();
  for (C button : {C::Grab, C::Live, C::Save, C::File, C::Process, C::Train}) ui.Show(button, false);
  HideEveryRow(st);
  ui.SetText(C::ResultLine, kNoResult);

  LoadSolution(st, st.current_solution, st.working.get());
  SolutionRecord& rec = *st.working;
  ui.SelectComboItem(C::OptionList, static_cast<int32_t>(rec.option_index));
  PullRoisInside(rec, st.image.width, st.image.height);
  if (rec.settings_kind == 0) ui.SetText(C::SolutionGroup, "Solution Settings");
  if (rec.settings_kind == 1) ui.SetText(C::SolutionGroup, "Tool Settings");
  ShowRoiCount(st);

  const bool metric = st.settings.units == 1;
  for (uint32_t i = 0; i < kParamRows; ++i) {
    const SolutionParam& p = rec.params[i];
    if (KindOf(p) == ParamKind::Unused) continue;
    ui.SetText(kRowLabels[i], LabelOf(p, metric));
    ui.SetText(kRowEdits[i], FormatParamValue(rec, i, ui.GetText(kRowEdits[i])));
    if (KindOf(p) == ParamKind::DarkLight || KindOf(p) == ParamKind::Filter) {
      const C combo = ValueControlOf(p, i);
      PlaceOver(st, kRowEdits[i], combo);
      ui.SelectComboItem(combo, TruncToInt(p.value));
    }
  }
  for (uint32_t i = 0; i < kParamRows; ++i) {
    const SolutionParam& p = rec.params[i];
    if (KindOf(p) != ParamKind::Integer) continue;
    ui.SetSliderRange(kRowSliders[i], TruncToInt(p.min), TruncToInt(p.max), false);
    ui.SetSliderPos(kRowSliders[i], TruncToInt(p.value), true);
  }

  if (PanelShowsRows(st)) ShowRows(st, true);
  const bool acquire = (rec.button_flags & kButtonsAcquire) != 0;
  for (C button : {C::Grab, C::Live, C::Save, C::File}) {
    if (acquire) ui.Show(button, true);
  }
  if (rec.button_flags & kButtonProcess) ui.Show(C::Process, true);
  if (rec.button_flags & kButtonTrain) ui.Show(C::Train, true);
  ui.InvalidateWindow(true);
}

void CommitRow(Station& st, uint32_t row) {
  if (row >= kParamRows) return;
  ControlSurface& ui = st.surface();
  std::string text = ui.GetText(kRowEdits[row]);
  if (text.size() > kTextLimit) text.resize(kTextLimit);
  SolutionParam& p = st.working->params[row];
  double v = ParseEditNumber(text);
  if (v < p.min) v = p.min;
  if (v > p.max) v = p.max;
  p.value = static_cast<float>(v);
  ui.SetText(kRowEdits[row], FormatParamValue(*st.working, row, text));
  ui.SetSliderPos(kRowSliders[row], TruncToInt(v), true);
}

void CommitPanelEdits(Station& st) {
  for (uint32_t row = 0; row < kParamRows; ++row) CommitRow(st, row);
}

uint32_t RowOfEdit(ControlId id) {
  const auto it = std::find(kRowEdits.begin(), kRowEdits.end(), id);
  return static_cast<uint32_t>(it - kRowEdits.begin());
}

uint32_t RowOfSlider(ControlId id) {
  const auto it = std::find(kRowSliders.begin(), kRowSliders.end(), id);
  return static_cast<uint32_t>(it - kRowSliders.begin());
}

void SliderMoved(Station& st, ControlId slider, int32_t pos) {
  const uint32_t row = RowOfSlider(slider);
  if (row >= kParamRows) return;
  ControlSurface& ui = st.surface();
  // The slider stands within its range; so does the value it gives.
  ui.SetSliderPos(slider, pos, false);
  pos = ui.SliderPos(slider);
  st.working->params[row].value = static_cast<float>(pos);
  ui.SetText(kRowEdits[row], FormatGeneral(pos, kSliderDigits));
}

void SolutionSelected(Station& st) {
  const int32_t selection = st.surface().ComboSelection(C::SolutionList);
  if (selection < 0 || static_cast<uint32_t>(selection) >= st.table->count) return;
  CommitEdits(st);
  st.current_solution = static_cast<uint32_t>(selection);
  SaveSolution(st, *st.working);
  RefreshPanel(st);
  // The pointer or ROI the coordinate line names belongs to the solution left.
  st.surface().SetText(C::CoordinateLine, "");
  switch (st.settings.on_function_change) {
    case 1:
      SetAcquisitionMode(st, AcquisitionMode::Live);
      break;
    case 2:
      GrabCommand(st);
      break;
    default:
      break;
  }
}

void OptionSelected(Station& st) {
  const int32_t selection = st.surface().ComboSelection(C::OptionList);
  CommitEdits(st);
  if (selection >= 0) st.working->option_index = static_cast<uint32_t>(selection);
}

void ChoiceSelected(Station& st, ControlId combo) {
  const ParamKind kind =
      combo == C::DarkLightChoice ? ParamKind::DarkLight : ParamKind::Filter;
  const int32_t selection = st.surface().ComboSelection(combo);
  if (selection < 0) return;
  for (uint32_t i = 0; i < kParamRows; ++i) {
    SolutionParam& p = st.working->params[i];
    if (KindOf(p) != kind) continue;
    p.value = static_cast<float>(selection);
    SetRowText(st, i, std::to_string(selection));
    return;
  }
}

void SizeView(Station& st) {
  const Size size = PanelShowsRows(st) ? NormalViewSize(st) : EnlargedViewSize(st);
  st.image.view_width = static_cast<uint32_t>(size.width);
  st.image.view_height = static_cast<uint32_t>(size.height);
  MoveViewAreas(st, size);
}

void EnlargeCommand(Station& st) {
  ControlSurface& ui = st.surface();
  SetButtonState(st, C::Enlarge, 1);
  ui.Enable(C::Enlarge, false);
  CommitEdits(st);
  const bool enlarged = !PanelShowsRows(st);
  const Size size = enlarged ? NormalViewSize(st) : EnlargedViewSize(st);
  st.image.view_width = static_cast<uint32_t>(size.width);
  st.image.view_height = static_cast<uint32_t>(size.height);
  MoveViewAreas(st, size);
  if (st.image.no_camera == 0) RepositionVideo(st);
  if (enlarged) {
    ui.Show(C::SolutionGroup, true);
    ShowRows(st, true);
    ui.Show(C::OptionList, true);
  } else {
    ui.Show(C::SolutionGroup, false);
    HideEveryRow(st);
    ui.Show(C::OptionList, false);
  }
  ui.SetText(C::Enlarge, enlarged ? "Enlarge" : "Reduce");
  ui.InvalidateWindow(true);
  ui.Enable(C::Enlarge, true);
  SetButtonState(st, C::Enlarge, 0);
  ui.InvalidateWindow(false);
}

} // namespace orvane
