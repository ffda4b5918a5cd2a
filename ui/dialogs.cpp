#include "ui/dialogs.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>

#include "draw/format.h"

namespace orvane {
namespace {

constexpr size_t kDialogTextMax = 127;
constexpr int32_t kDistanceDecimals = 5;

const char kDistancePrompt[] =
    "Please enter the distance from camera to these new measurement points on the surface of "
    "the object.";
// A negative distance turns every length negative: OK does not take it.
const char kNegativeDistance[] = "The distance from the camera cannot be negative.";

DialogControl Control(uint32_t id, DialogControlKind kind, std::string text) {
  DialogControl c;
  c.id = id;
  c.kind = kind;
  c.text = std::move(text);
  return c;
}

DialogControl Hidden(DialogControl c) {
  c.visible = false;
  c.enabled = false;
  return c;
}

// A unit factor that cannot divide by zero or flip the sign.
double UsableFactor(double unit_factor) { return unit_factor > 0.0 ? unit_factor : 1.0; }

} // namespace

EntityTypeDialog::EntityTypeDialog() : DialogModel("Define Entity Type") {
  Add(Control(0, DialogControlKind::GroupBox, "Entity"));
  Add(Control(Raw(DialogControlId::EntityPoints), DialogControlKind::Button, "Points"));
  Add(Control(Raw(DialogControlId::EntityLine), DialogControlKind::Button, "Line"));
  Add(Control(Raw(DialogControlId::EntityCircle), DialogControlKind::Button, "Circle"));
  Add(Hidden(Control(Raw(DialogControlId::Ok), DialogControlKind::Button, "OK")));
  Add(Hidden(Control(Raw(DialogControlId::Cancel), DialogControlKind::Button, "Cancel")));
}

std::optional<DialogResult> EntityTypeDialog::OnCommand(uint32_t id) {
  switch (static_cast<DialogControlId>(id)) {
    case DialogControlId::EntityPoints:
      choice_ = RoiEntity::Points;
      break;
    case DialogControlId::EntityLine:
      choice_ = RoiEntity::Line;
      break;
    case DialogControlId::EntityCircle:
      choice_ = RoiEntity::Circle;
      break;
    default:
      return std::nullopt;
  }
  return DialogResult::Ok;
}

AboutDialog::AboutDialog() : DialogModel("Lumivor 2D") {
  Add(Control(0, DialogControlKind::Static, "Lumivor 2D Machine Vision Platform"));
  Add(Control(Raw(DialogControlId::Ok), DialogControlKind::Button, "E&xit"));
}

std::optional<DialogResult> AboutDialog::OnCommand(uint32_t id) {
  if (id == Raw(DialogControlId::Ok)) return DialogResult::Ok;
  return std::nullopt;
}

DistanceDialog::DistanceDialog(const Settings& settings, double current_distance)
    : DialogModel("Distance From Camera"), unit_factor_(UsableFactor(settings.unit_factor)) {
  Add(Control(0, DialogControlKind::Static, kDistancePrompt));
  Add(Control(Raw(DialogControlId::DistanceEdit), DialogControlKind::Edit,
              FormatNumber(current_distance * settings.unit_factor, kDistanceDecimals)));
  Add(Control(Raw(DialogControlId::UnitLabel), DialogControlKind::Static,
              settings.units == 1 ? "cm" : "inches"));
  Add(Control(Raw(DialogControlId::Ok), DialogControlKind::Button, "OK"));
  Add(Control(Raw(DialogControlId::Cancel), DialogControlKind::Button, "Cancel"));
}

double DistanceDialog::Entered() {
  const DialogControl* edit = Find(DialogControlId::DistanceEdit);
  std::string text = edit != nullptr ? edit->text : std::string();
  if (text.size() > kDialogTextMax) text.resize(kDialogTextMax);
  return ParseDialogNumber(text) / unit_factor_;
}

std::optional<DialogResult> DistanceDialog::OnCommand(uint32_t id) {
  if (id == Raw(DialogControlId::Ok)) {
    if (!(Entered() < 0.0)) return DialogResult::Ok;
    controls().front().text = std::string(kNegativeDistance) + " " + kDistancePrompt;
    return std::nullopt;
  }
  if (id == Raw(DialogControlId::Cancel)) return DialogResult::Cancel;
  return std::nullopt;
}

void DistanceDialog::OnClose(DialogResult /*result*/) { inches_ = Entered(); }

namespace {

// The standard decimal reading, whatever it gives (infinities, NaN).
double ParseDecimal(const std::string& text) {
  // The front end may have switched the process to the user's locale; a dialog
  // number always reads with a point.
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  // The reading is decimal: in "0x1A" it stops at the 'x', so the text gives
  // its leading 0 (the library's reading would take the hexadecimal 26).
  std::string decimal = text;
  size_t at = decimal.find_first_not_of(" \t\n\v\f\r");
  if (at != std::string::npos && (decimal[at] == '+' || decimal[at] == '-')) ++at;
  if (at != std::string::npos && at + 1 < decimal.size() && decimal[at] == '0' &&
      (decimal[at + 1] == 'x' || decimal[at + 1] == 'X')) {
    decimal.resize(at + 1);
  }
  return c_locale == static_cast<locale_t>(0) ? std::strtod(decimal.c_str(), nullptr)
                                              : strtod_l(decimal.c_str(), nullptr, c_locale);
}

} // namespace

double ParseDialogNumber(const std::string& text) {
  const double v = ParseDecimal(text);
  // "nan", "inf" and "1e999" read as numbers but are none: a NaN would pass
  // every range check and spoil each length, scale and coordinate after it.
  return std::isfinite(v) ? v : 0.0;
}

double ParseEditNumber(const std::string& text) {
  const double v = ParseDecimal(text);
  // An overflow ("1e999", "inf") stays infinite for the clamp that follows;
  // only a NaN, which no clamp would catch, is no number.
  return std::isnan(v) ? 0.0 : v;
}

RoiEntity AskEntityType(Station& station) {
  EntityTypeDialog dialog;
  station.surface().RunDialog(dialog);
  const std::optional<RoiEntity> choice = dialog.choice();
  if (!choice) return RoiEntity::None;
  station.shared_dialog_value = static_cast<double>(*choice);
  return *choice;
}

DialogResult AskDistance(Station& station) {
  DistanceDialog dialog(station.settings, station.current_distance);
  const DialogResult result = station.surface().RunDialog(dialog);
  // However the dialog closed, a negative distance is not taken.
  if (dialog.inches() < 0.0) return DialogResult::Cancel;
  station.shared_dialog_value = dialog.inches();
  station.current_distance = dialog.inches();
  return result;
}

} // namespace orvane
