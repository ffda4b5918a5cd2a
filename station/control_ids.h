// Ids of the main window's controls and of the dialogs' controls. The logic
// addresses every control by these numbers; the front end builds its widgets
// under the same ids.
#pragma once

#include <array>
#include <cstdint>

namespace orvane {

enum class ControlId : uint32_t {
  DefaultButton = 1, // hidden; Enter runs Process
  LiveVideo = 1000,
  ImageView = 1001,
  DeviceList = 1003,
  SolutionList = 1004,
  OptionList = 1005,      // colour mode of new frames
  DarkLightChoice = 1006, // "Dark", "Light"
  FilterChoice = 1007,    // "None", "Even", "Sharp"
  CommandPanelGroup = 1011,
  RowLabel0 = 1062,
  RowEdit0 = 1063,
  RowLabel6 = 1064,
  RowLabel7 = 1065,
  RowLabel8 = 1066,
  RowLabel1 = 1067,
  RowLabel2 = 1068,
  RowLabel3 = 1069,
  RowLabel4 = 1070,
  RowLabel5 = 1071,
  RowEdit1 = 1072,
  RowEdit2 = 1073,
  RowEdit3 = 1074,
  RowEdit4 = 1075,
  RowEdit5 = 1076,
  RowLabel9 = 1077,
  RowEdit6 = 1080,
  RowEdit7 = 1081,
  RowEdit8 = 1082,
  RowEdit9 = 1083,
  ResultLine = 1086,
  ImageStatus = 1087,
  SolutionGroup = 1091,
  Exit = 1094,
  SetUp = 1095,
  Grab = 1097,
  Save = 1098,
  Live = 1099,
  File = 1100,
  Process = 1101,
  Train = 1102,
  Enlarge = 1110,
  CalibrationStatus = 1111,
  ModeIndicator = 1118,
  RowSlider0 = 1119,
  RowSlider1 = 1120,
  RowSlider2 = 1121,
  RowSlider3 = 1122,
  RowSlider4 = 1123,
  RowSlider5 = 1124,
  RowSlider6 = 1125,
  RowSlider7 = 1126,
  RowSlider8 = 1127,
  RowSlider9 = 1128,
  CoordinateLine = 1131,
  RoiCount = 1132,
};

inline constexpr uint32_t kParamRows = 10;

// Parameter row i: its label, edit box and slider.
inline constexpr std::array<ControlId, kParamRows> kRowLabels = {
    ControlId::RowLabel0, ControlId::RowLabel1, ControlId::RowLabel2, ControlId::RowLabel3,
    ControlId::RowLabel4, ControlId::RowLabel5, ControlId::RowLabel6, ControlId::RowLabel7,
    ControlId::RowLabel8, ControlId::RowLabel9};
inline constexpr std::array<ControlId, kParamRows> kRowEdits = {
    ControlId::RowEdit0, ControlId::RowEdit1, ControlId::RowEdit2, ControlId::RowEdit3,
    ControlId::RowEdit4, ControlId::RowEdit5, ControlId::RowEdit6, ControlId::RowEdit7,
    ControlId::RowEdit8, ControlId::RowEdit9};
inline constexpr std::array<ControlId, kParamRows> kRowSliders = {
    ControlId::RowSlider0, ControlId::RowSlider1, ControlId::RowSlider2, ControlId::RowSlider3,
    ControlId::RowSlider4, ControlId::RowSlider5, ControlId::RowSlider6, ControlId::RowSlider7,
    ControlId::RowSlider8, ControlId::RowSlider9};

// Controls of the modal dialogs.
enum class DialogControlId : uint32_t {
  Ok = 1,
  Cancel = 2,
  ResetRois = 3, // General Set-Up
  UnitLabel = 1012,     // Distance From Camera
  DistanceEdit = 1133,  // Distance From Camera
  OnFunctionChange = 1136,
  MeasurementStandard = 1137,
  BackgroundColour = 1139,
  ForegroundColour = 1141,
  ExpandWindow = 1144,
  DecimalsDimensions = 1146,
  DecimalsAngles = 1148,
  Resolution = 1150,
  ImageSavePreference = 1153,
  TextBackground = 1156,
  EntityPoints = 1160, // Define Entity Type
  EntityLine = 1161,
  EntityCircle = 1162,
  GridType = 2301, // Grid Calibration
  GridRows = 2302,
  GridCols = 2303,
  GridPitch = 2304,
  GridGrab = 2305,
  GridFigures = 2306,
};

// Cursor ids of the image view (0 leaves the front end's default).
enum class CursorId : uint32_t {
  Default = 0,
  Arrow = 32512,
  Cross = 32515,
  SizeNwse = 32642,
  SizeNesw = 32643,
  SizeWe = 32644,
  SizeNs = 32645,
  SizeAll = 32646,
};

constexpr uint32_t Raw(ControlId id) { return static_cast<uint32_t>(id); }
constexpr uint32_t Raw(DialogControlId id) { return static_cast<uint32_t>(id); }

} // namespace orvane
