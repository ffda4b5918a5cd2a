#include "ui/setup_dialog.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <memory>
#include <string_view>
#include <vector>

#include "acquisition/acquisition.h"
#include "acquisition/camera_capture.h"
#include "acquisition/camera_settings.h"
#include "platform/video/genicam_pixels.h"
#include "results/session.h"
#include "solutions/calibration.h"
#include "solutions/measurement.h"
#include "results/trace_file.h"
#include "solutions/process.h"
#include "station/workspace.h"
#include "ui/colours.h"
#include "ui/commands.h"
#include "ui/panel.h"
#include "ui/status.h"
#include "workspace/settings.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

using D = DialogControlId;

constexpr size_t kTextLimit = 127;

constexpr const char* kResetQuestion =
    "Warning! You are about to reset all regions of interest. Continue?";
constexpr const char* kResetCaption = "Reset ROIs";
constexpr const char* kRestartNote =
    "Note: Changes to settings marked with an asterisk (*) will not take effect until the "
    "program is restarted.";

constexpr std::array<std::string_view, 16> kColourNames = {
    "Black",     "Blue",        "Green",      "Cyan",          "Red",          "Magenta",
    "Yellow",    "Light Grey",  "Grey",       "Light Blue",    "Light Green",  "Light Cyan",
    "Light Red", "Light Magenta", "Light Yellow", "White"};

std::vector<std::string> Items(std::initializer_list<std::string_view> texts) {
  return {texts.begin(), texts.end()};
}

std::vector<std::string> ColourItems() { return {kColourNames.begin(), kColourNames.end()}; }

std::vector<std::string> DigitItems() {
  std::vector<std::string> items;
  for (int d = 0; d <= 9; ++d) items.push_back(std::to_string(d));
  return items;
}

// The index a list shows for a stored value: none when the value has no item.
int32_t SelectionOf(uint32_t value, const std::vector<std::string>& items) {
  return value < items.size() ? static_cast<int32_t>(value) : -1;
}

void SetFlag(uint32_t& flags, uint32_t bit, bool on) { flags = on ? (flags | bit) : (flags & ~bit); }

bool SameFormat(const CameraFormat& row, const Settings& s) {
  return row.width == s.requested_width && row.height == s.requested_height &&
         row.compression == s.camera_pixel_format;
}

} // namespace

namespace {

struct CameraSettingEdit {
  const char* name; // the device's setting
  D id;
  const char* label;
};
constexpr CameraSettingEdit kCameraEdits[] = {
    {"ExposureTime", kCameraExposureEdit, "Camera exposure time, microseconds"},
    {"Gain", kCameraGainEdit, "Camera gain"},
    {"FrameRate", kCameraFrameRateEdit, "Camera frame rate, pictures a second"},
};

std::string NumberText(double v) {
  char text[64];
  const auto written = std::to_chars(text, text + sizeof text, v);
  return std::string(text, written.ptr);
}

std::vector<video::DeviceControl> CameraControls(Station& st) {
  if (!st.camera || !st.camera->device || st.image.file_mode != 0) return {};
  return st.camera->device->Controls();
}

} // namespace

void SetUpDialog::AddCameraSettingEdits(Station& st) {
  for (const video::DeviceControl& c : CameraControls(st)) {
    for (const CameraSettingEdit& e : kCameraEdits) {
      if (c.name != e.name) continue;
      AddLabelledEdit(std::string(e.label) + " (" + NumberText(c.minimum) + " to " + NumberText(c.maximum) + ")",
                      e.id, NumberText(c.value));
    }
  }
}

void SetUpDialog::AddLabelledEdit(std::string title, DialogControlId id, std::string text) {
  DialogControl label;
  label.text = std::move(title);
  Add(std::move(label));
  DialogControl edit;
  edit.id = Raw(id);
  edit.kind = DialogControlKind::Edit;
  edit.text = std::move(text);
  Add(std::move(edit));
}

void SetUpDialog::AddResultsServerEdits(Station& st) {
  const std::pair<const char*, std::pair<D, std::string>> fields[] = {
      {"Results server (PostgreSQL; empty: none)",
       {kResultsServerEdit, MaskedServerUrl(ResultsServerSetting(st))}},
      {"Station name on the results server", {kStationNameEdit, ResultsStationName(st)}}};
  for (const auto& [title, field] : fields) AddLabelledEdit(title, field.first, field.second);
}

void ApplyResultsServerEdits(Station& st, DialogModel& dialog) {
  const DialogControl* server = dialog.Find(kResultsServerEdit);
  const DialogControl* name = dialog.Find(kStationNameEdit);
  if (server == nullptr || name == nullptr) return;
  SetResultsServer(st, TypedServerUrl(server->text, ResultsServerSetting(st)), name->text);
}

void ApplyCameraSettingEdits(Station& st, DialogModel& dialog) {
  const std::vector<video::DeviceControl> controls = CameraControls(st);
  CameraSettings settings;
  bool changed = false;
  for (const video::DeviceControl& c : controls) {
    double value = c.value;
    for (const CameraSettingEdit& e : kCameraEdits) {
      const DialogControl* edit = dialog.Find(e.id);
      if (c.name != e.name || edit == nullptr) continue;
      const std::string& text = edit->text;
      double typed = 0.0;
      const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), typed);
      if (ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(typed)) {
        st.surface().MessageBox("\"" + text + "\" is not a number: " + e.label + " stays " + NumberText(c.value) + ".",
                                "General Set-Up", MessageButtons::Ok);
      } else if (typed != c.value) {
        value = std::clamp(typed, c.minimum, c.maximum);
        changed = true;
      }
    }
    settings.emplace_back(c.name, value);
  }
  if (changed) SaveCameraSettings(st, settings);
}

void ApplyOperatorEdit(Station& st, DialogModel& dialog) {
  const DialogControl* edit = dialog.Find(kOperatorEdit);
  if (edit == nullptr || edit->text == KeptOperator(st)) return;
  if (std::string why; !SetOperator(st, edit->text, &why)) {
    st.surface().MessageBox("The operator is named on this session's reports but not kept: " + why + ".",
                            "General Set-Up", MessageButtons::Ok);
  }
}

std::string ResolutionText(const CameraFormat& row) {
  std::string text;
  auto append = [&text](std::string_view piece) {
    if (text.size() + piece.size() <= kTextLimit) text += piece;
  };
  append(std::to_string(row.width));
  append("x");
  append(std::to_string(row.height));
  if (row.compression == kCompressionRgb) append(" (RGB");
  if (row.compression == kCompressionYuy2) append(" (YUY2");
  if (video::IsGenicamFormat(row.compression)) {
    append(" (");
    append(video::GenicamFormatName(row.compression));
  }
  append(" format)");
  return text;
}

SetUpDialog::SetUpDialog(Station& st, const CameraFormatTable& formats)
    : DialogModel("General Set-Up"), station_(st), formats_(formats) {
  const Settings& s = st.settings;
  auto list = [this](std::string_view label, D id, std::vector<std::string> items,
                     uint32_t value) -> DialogControl& {
    DialogControl text;
    text.kind = DialogControlKind::Static;
    text.text = label;
    Add(std::move(text));
    DialogControl combo;
    combo.id = Raw(id);
    combo.kind = DialogControlKind::ComboBox;
    combo.selection = SelectionOf(value, items);
    combo.items = std::move(items);
    return Add(std::move(combo));
  };

  std::vector<std::string> rows;
  const uint32_t count = std::min(formats.count, kMaxCameraFormats);
  for (uint32_t i = 0; i < count; ++i) {
    rows.push_back(ResolutionText(formats.rows[i]));
    if (SameFormat(formats.rows[i], s)) chosen_row_ = i;
  }
  DialogControl& resolution =
      list("Camera/Video Device Resolution", D::Resolution, std::move(rows), chosen_row_);
  resolution.enabled = st.image.file_mode == 0;
  AddCameraSettingEdits(st);
  AddLabelledEdit("Operator (named on inspection reports)", kOperatorEdit, KeptOperator(st));

  list("When a new function is selected", D::OnFunctionChange,
       Items({"Do nothing", "Show Live Preview", "Show Image and ROIs"}), s.on_function_change);
  list("Measurement standard", D::MeasurementStandard, Items({"English", "Metric"}), s.units);
  list("Window background color", D::BackgroundColour, ColourItems(), s.background_colour_index);
  list("Window foreground color", D::ForegroundColour, ColourItems(), s.foreground_colour_index);
  list("Expand window at start-up *", D::ExpandWindow, Items({"No", "Yes"}),
       (s.flags & kFlagExpandWindow) ? 1 : 0);
  std::vector<std::string> dimensions = DigitItems();
  for (std::string_view f : {"Fractional 1/4", "Fractional 1/8", "Fractional 1/16",
                             "Fractional 1/32", "Fractional 1/64"}) {
    dimensions.emplace_back(f);
  }
  list("Decimal places, dimensions", D::DecimalsDimensions, std::move(dimensions),
       s.decimals_dimensions);
  list("Decimal places, angles", D::DecimalsAngles, DigitItems(), s.decimals_angles);
  list("Image save preferences", D::ImageSavePreference,
       Items({"BMP Image", "JPEG Image", "HQ JPEG Image", "BMP Image & Overlay",
              "JPEG Image & Overlay", "HQ JPEG Image & Overlay"}),
       s.image_save_preference);
  list("Text background color", D::TextBackground, Items({"Transparent", "Black"}),
       (s.flags & kFlagTextBackground) ? 1 : 0);
  AddResultsServerEdits(st);

  DialogControl reset_label;
  reset_label.text = "Reset all Regions of Interest";
  Add(std::move(reset_label));
  DialogControl reset;
  reset.id = Raw(D::ResetRois);
  reset.kind = DialogControlKind::Button;
  reset.text = "Reset ROIs";
  Add(std::move(reset));
  DialogControl note;
  note.text = kRestartNote;
  Add(std::move(note));
  DialogControl ok;
  ok.id = Raw(D::Ok);
  ok.kind = DialogControlKind::Button;
  ok.text = "OK";
  Add(std::move(ok));
  DialogControl cancel;
  cancel.id = Raw(D::Cancel);
  cancel.kind = DialogControlKind::Button;
  cancel.text = "Cancel";
  cancel.visible = false;
  cancel.enabled = false;
  Add(std::move(cancel));
}

std::optional<DialogResult> SetUpDialog::OnCommand(uint32_t id) {
  if (id == Raw(D::Ok)) return DialogResult::Ok;
  if (id == Raw(D::ResetRois)) {
    const MessageAnswer answer =
        station_.surface().MessageBox(kResetQuestion, kResetCaption, MessageButtons::YesNo);
    if (answer == MessageAnswer::Yes) {
      ResetAllRois(station_);
      rois_reset_ = true;
    }
  }
  return std::nullopt;
}

void SetUpDialog::OnSelectionChange(uint32_t id) {
  const DialogControl* list = Find(id);
  if (list == nullptr || list->selection < 0) return;
  const uint32_t index = static_cast<uint32_t>(list->selection);
  Settings& s = station_.settings;
  switch (static_cast<D>(id)) {
    case D::Resolution:
      if (index < std::min(formats_.count, kMaxCameraFormats)) {
        const CameraFormat& row = formats_.rows[index];
        s.requested_width = row.width;
        s.requested_height = row.height;
        s.camera_pixel_format = row.compression;
        chosen_row_ = index;
      }
      break;
    case D::OnFunctionChange:
      s.on_function_change = index;
      break;
    case D::MeasurementStandard:
      s.units = index;
      break;
    case D::BackgroundColour:
      s.background_colour_index = index;
      break;
    case D::ForegroundColour:
      s.foreground_colour_index = index;
      break;
    case D::ExpandWindow:
      SetFlag(s.flags, kFlagExpandWindow, index == 1);
      break;
    case D::DecimalsDimensions:
      s.decimals_dimensions = index;
      break;
    case D::DecimalsAngles:
      s.decimals_angles = index;
      break;
    case D::ImageSavePreference:
      s.image_save_preference = index;
      break;
    case D::TextBackground:
      SetFlag(s.flags, kFlagTextBackground, index == 1);
      break;
    default:
      break;
  }
}

void ConvertUnits(SolutionRecord& rec, double factor) {
  for (SolutionParam& p : rec.params) {
    if (p.kind == static_cast<int32_t>(ParamKind::Length)) {
      p.value = static_cast<float>(p.value * factor);
    } else if (p.kind == static_cast<int32_t>(ParamKind::Area)) {
      const double side = std::sqrt(static_cast<double>(p.value)) * factor;
      p.value = static_cast<float>(side * side);
    }
  }
}

void RunSetUpDialog(Station& st) {
  Settings& s = st.settings;
  const uint32_t old_width = s.requested_width;
  const uint32_t old_height = s.requested_height;
  const uint32_t old_format = s.camera_pixel_format;
  const uint32_t old_units = s.units;
  // As every command does: a value typed and not yet left is the value the
  // working record saves, rather than one the reload after the dialog drops.
  CommitEdits(st);
  SaveSolution(st, *st.working);

  SetUpDialog dialog(st, CameraFormats(st));
  const DialogResult result = st.surface().RunDialog(dialog);
  if (result == DialogResult::Ok) {
    ApplyCameraSettingEdits(st, dialog);
    ApplyOperatorEdit(st, dialog);
    ApplyResultsServerEdits(st, dialog);
  }

  s.foreground_colour = ColourOf(s.foreground_colour_index);
  s.background_colour = ColourOf(s.background_colour_index);
  ApplyWindowColours(st);
  RegisterButtonColours(st);
  st.surface().InvalidateWindow(true);

  bool stored_changed = dialog.rois_reset();
  if (s.units != old_units) {
    const bool metric = s.units == 1;
    s.unit_factor = metric ? kMetricUnitFactor : 1.0;
    const double factor = metric ? kMetricUnitFactor : kInchesPerMetricUnit;
    auto record = std::make_unique<SolutionRecord>();
    for (uint32_t index = 0; index < st.table->count; ++index) {
      if (LoadSolution(st, index, record.get()) != 0) continue;
      ConvertUnits(*record, factor);
      SaveSolution(st, *record);
    }
    stored_changed = true;
    const ImageState& im = st.image;
    SetEngineSettings(st.engine, im.width, im.height, im.stride, im.bytes_per_pixel, im.frame,
                      im.overlay, s.units, s.unit_factor, s.scale_x, s.scale_y, s.scale_third,
                      s.calibration_distance, s.decimals_dimensions);
    ShowCalibrationStatus(st);
    RedrawOverlay(st);
    ComposeDisplay(st, st.image.frame);
  }
  // The working record was saved before the dialog; taking it back from its
  // file keeps a reset or a conversion from being undone by the next save.
  if (stored_changed) LoadSolution(st, st.current_solution, st.working.get());
  SaveSettings(st);

  if (s.requested_width != old_width || s.requested_height != old_height ||
      s.camera_pixel_format != old_format) {
    if (st.image.no_camera == 0) {
      // Reopens the camera at the chosen row, publishes its geometry, rescales
      // the ROIs, rewrites the status line and goes Live.
      ChangeCameraResolution(st, dialog.chosen_row());
    } else {
      RescaleAllRois(st, st.image.width, st.image.height);
      UpdateStatusLine(st);
    }
    s.requested_width = st.image.width;
    s.requested_height = st.image.height;
    SaveSettings(st);
    // The view and the live area take the new image's shape, as at start-up.
    SizeView(st);
    if (st.image.no_camera == 0) RepositionVideo(st);
  }
  RefreshPanel(st);
}

} // namespace orvane
