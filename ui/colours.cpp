#include "ui/colours.h"

#include <initializer_list>

#include "ui/window_state.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

using C = ControlId;

enum ColourIndex : uint32_t {
  kBlack = 0,
  kNavy = 1,
  kGreen = 2,
  kDarkYellow = 6,
  kBlue = 9,
  kLime = 10,
  kRed = 12,
  kYellow = 14,
  kWhite = 15,
};

// Appends an entry and gives the control its colours; `keep_state` leaves the
// state (normal or active) the control shows as it is.
void AddColouredControl(Station& st, const ColouredControl& entry, bool keep_state) {
  WindowOf(st).coloured.push_back(entry);
  st.surface().SetControlColours(entry.control_id, entry.normal, entry.active);
  if (!keep_state) st.surface().SetColourState(entry.control_id, 0);
}

} // namespace

void RegisterControlColour(Station& st, ControlId id, uint32_t text, uint32_t back,
                           uint32_t text_active, uint32_t back_active) {
  AddColouredControl(st, {id, {text, back}, {text_active, back_active}}, false);
}

void RegisterButtonColours(Station& st) {
  // Registered again (after the Set-Up dialog), the controls take the new
  // colours and keep their states: the File button and the mode indicator
  // still show the mode the station is in.
  const bool again = !WindowOf(st).coloured.empty();
  WindowOf(st).coloured.clear();
  const uint32_t fg = st.settings.foreground_colour;
  const uint32_t bg = st.settings.background_colour;
  auto reg = [&st, again](std::initializer_list<C> ids, uint32_t text, uint32_t back,
                          uint32_t text_active, uint32_t back_active) {
    for (C id : ids) AddColouredControl(st, {id, {text, back}, {text_active, back_active}}, again);
  };
  auto c = ColourOf;
  reg({C::Exit, C::SetUp}, c(kWhite), c(kRed), c(kWhite), c(kRed));
  reg({C::RowEdit0, C::RowEdit1, C::RowEdit2, C::RowEdit3, C::RowEdit4, C::RowEdit5, C::RowEdit6,
       C::RowEdit7, C::RowEdit8, C::RowEdit9},
      c(kLime), c(kBlack), c(kRed), c(kWhite));
  reg({C::Grab}, c(kBlack), c(kDarkYellow), c(kBlack), c(kYellow));
  reg({C::Live}, c(kBlack), c(kDarkYellow), c(kBlack), c(kLime));
  reg({C::Save}, c(kBlack), c(kDarkYellow), c(kBlack), c(kYellow));
  reg({C::File}, c(kBlack), c(kDarkYellow), c(kBlack), c(kLime));
  reg({C::Process}, c(kWhite), c(kGreen), c(kBlack), c(kLime));
  reg({C::Train}, c(kWhite), c(kDarkYellow), c(kBlack), c(kYellow));
  reg({C::ResultLine}, c(kWhite), c(kGreen), c(kWhite), c(kRed));
  reg({C::Enlarge}, c(kWhite), c(kNavy), c(kWhite), c(kBlue));
  reg({C::ModeIndicator}, c(kLime), bg, c(kWhite), c(kRed));
  reg({C::RoiCount, C::CoordinateLine, C::CalibrationStatus, C::ImageStatus, C::RowLabel0,
       C::RowLabel1, C::RowLabel2, C::RowLabel3, C::RowLabel4, C::RowLabel5, C::RowLabel6,
       C::RowLabel7, C::RowLabel8, C::RowLabel9, C::RowSlider0, C::RowSlider1, C::RowSlider2,
       C::RowSlider3, C::RowSlider4, C::RowSlider5, C::RowSlider6, C::RowSlider7, C::RowSlider8,
       C::RowSlider9},
      fg, bg, fg, bg);
  reg({C::OptionList, C::DarkLightChoice, C::FilterChoice}, c(kLime), c(kBlack), c(kLime),
      c(kBlack));
  reg({C::SolutionGroup, C::CommandPanelGroup}, fg, bg, fg, bg);
}

void ApplyWindowColours(Station& st) {
  WindowState& w = WindowOf(st);
  w.window_colours = {st.settings.foreground_colour, st.settings.background_colour};
  st.surface().SetWindowColours(w.window_colours);
}

} // namespace orvane
