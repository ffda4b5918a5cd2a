#include "station/window_template.h"

#include <array>

namespace orvane {

namespace {

using K = TemplateKind;
using C = ControlId;

constexpr std::array kControls = {
    TemplateControl{C::LiveVideo, K::VideoArea, "", {5, 0, 165, 118}},
    TemplateControl{C::ImageView, K::ImageView, "", {5, 10, 165, 118}},
    TemplateControl{C::CommandPanelGroup, K::GroupBox, "Command Panel", {300, 5, 90, 270}},
    TemplateControl{C::ResultLine, K::ReadOnlyEdit, "", {305, 15, 80, 15}},
    TemplateControl{C::SolutionList, K::ComboBox, "", {305, 35, 80, 195}},
    TemplateControl{C::Process, K::StaticButton, "Process", {305, 50, 80, 25}},
    TemplateControl{C::Train, K::StaticButton, "Train", {305, 80, 80, 25}},
    TemplateControl{C::Enlarge, K::StaticButton, "Enlarge", {305, 110, 80, 20}},
    TemplateControl{C::Grab, K::StaticButton, "Grab", {305, 135, 40, 15}},
    TemplateControl{C::Live, K::StaticButton, "Live", {345, 135, 40, 15}},
    TemplateControl{C::Save, K::StaticButton, "Save", {305, 150, 40, 15}},
    TemplateControl{C::File, K::StaticButton, "File", {345, 150, 40, 15}},
    TemplateControl{C::ImageStatus, K::Static, "", {305, 180, 80, 10}},
    TemplateControl{C::ModeIndicator, K::Static, "", {330, 190, 30, 10}},
    TemplateControl{C::CalibrationStatus, K::Static, "", {305, 205, 80, 25}, false},
    TemplateControl{C::CoordinateLine, K::Static, "", {305, 235, 80, 8}},
    TemplateControl{C::SetUp, K::StaticButton, "Set-Up", {305, 250, 35, 20}},
    TemplateControl{C::Exit, K::StaticButton, "Exit", {350, 250, 35, 20}},
    TemplateControl{C::DefaultButton, K::DefaultButton, "", {375, 65, 10, 10}, false},
    TemplateControl{C::SolutionGroup, K::GroupBox, "Solution", {5, 185, 290, 90}},
    TemplateControl{C::RowLabel0, K::Static, "", {10, 195, 65, 8}},
    TemplateControl{C::RowEdit0, K::Edit, "", {75, 195, 35, 12}},
    TemplateControl{C::RowSlider0, K::Slider, "", {10, 205, 65, 5}},
    TemplateControl{C::RowLabel1, K::Static, "", {10, 210, 65, 8}},
    TemplateControl{C::RowEdit1, K::Edit, "", {75, 210, 35, 12}},
    TemplateControl{C::RowSlider1, K::Slider, "", {10, 220, 65, 5}},
    TemplateControl{C::RowLabel2, K::Static, "", {10, 225, 65, 8}},
    TemplateControl{C::RowEdit2, K::Edit, "", {75, 225, 35, 12}},
    TemplateControl{C::RowSlider2, K::Slider, "", {10, 235, 65, 5}},
    TemplateControl{C::RowLabel3, K::Static, "", {10, 240, 65, 8}},
    TemplateControl{C::RowEdit3, K::Edit, "", {75, 240, 35, 12}},
    TemplateControl{C::RowSlider3, K::Slider, "", {10, 250, 65, 5}},
    TemplateControl{C::RowLabel4, K::Static, "", {10, 255, 65, 8}},
    TemplateControl{C::RowEdit4, K::Edit, "", {75, 255, 35, 12}},
    TemplateControl{C::RowSlider4, K::Slider, "", {10, 265, 65, 5}},
    TemplateControl{C::RowLabel5, K::Static, "", {115, 195, 65, 8}},
    TemplateControl{C::RowEdit5, K::Edit, "", {180, 195, 35, 12}},
    TemplateControl{C::RowSlider5, K::Slider, "", {115, 205, 65, 5}},
    TemplateControl{C::RowLabel6, K::Static, "", {115, 210, 65, 8}},
    TemplateControl{C::RowEdit6, K::Edit, "", {180, 210, 35, 12}},
    TemplateControl{C::RowSlider6, K::Slider, "", {115, 220, 65, 5}},
    TemplateControl{C::RowLabel7, K::Static, "", {115, 225, 65, 8}},
    TemplateControl{C::RowEdit7, K::Edit, "", {180, 225, 35, 12}},
    TemplateControl{C::RowSlider7, K::Slider, "", {115, 235, 65, 5}},
    TemplateControl{C::RowLabel8, K::Static, "", {115, 240, 65, 8}},
    TemplateControl{C::RowEdit8, K::Edit, "", {180, 240, 35, 12}},
    TemplateControl{C::RowSlider8, K::Slider, "", {115, 250, 65, 5}},
    TemplateControl{C::RowLabel9, K::Static, "", {115, 255, 65, 8}},
    TemplateControl{C::RowEdit9, K::Edit, "", {180, 255, 35, 12}},
    TemplateControl{C::RowSlider9, K::Slider, "", {115, 265, 65, 5}},
    TemplateControl{C::OptionList, K::ComboBox, "", {220, 195, 70, 75}},
    TemplateControl{C::RoiCount, K::Static, "", {220, 210, 70, 10}},
    TemplateControl{C::DeviceList, K::ComboBox, "", {220, 225, 70, 30}},
    TemplateControl{C::DarkLightChoice, K::ComboBox, "", {220, 240, 70, 40}, false},
    TemplateControl{C::FilterChoice, K::ComboBox, "", {220, 255, 70, 40}, false},
};

} // namespace

std::span<const TemplateControl> MainWindowTemplate() { return kControls; }

} // namespace orvane
