// The two small dialogs the image view asks: the kind of a new ROI in DXF
// Auto Output, and the distance from the camera of a new measurement set.
// Both leave their answer in the station's shared dialog value.
#pragma once

#include <optional>
#include <string>

#include "station/control_surface.h"
#include "station/station.h"
#include "workspace/records.h"

namespace orvane {

// "Define Entity Type": three buttons, Points, Line and Circle; a press
// chooses and closes with OK. The OK and Cancel buttons are neither visible
// nor enabled, so Escape is the only other way out.
class EntityTypeDialog : public DialogModel {
 public:
  EntityTypeDialog();
  std::optional<DialogResult> OnCommand(uint32_t id) override;
  // The kind chosen, or nothing when the dialog was closed without a choice.
  std::optional<RoiEntity> choice() const { return choice_; }

 private:
  std::optional<RoiEntity> choice_;
};

// "Distance From Camera": an edit box with the current distance in the user's
// unit and its unit label, OK and Cancel. However it closes, the text is read
// back as a number (0 when it is none) and converted to inches. OK refuses a
// negative distance: the dialog stays open and its text says why.
class DistanceDialog : public DialogModel {
 public:
  // The edit box shows current_distance (inches) in the settings' unit.
  DistanceDialog(const Settings& settings, double current_distance);
  std::optional<DialogResult> OnCommand(uint32_t id) override;
  void OnClose(DialogResult result) override;
  // The distance entered, in inches; valid once the dialog has closed.
  double inches() const { return inches_; }

 private:
  double Entered();

  double unit_factor_;
  double inches_ = 0.0;
};

// The About box: the product line and an "E&xit" button that closes it.
class AboutDialog : public DialogModel {
 public:
  AboutDialog();
  std::optional<DialogResult> OnCommand(uint32_t id) override;
};

// Shows "Define Entity Type" and returns the chosen kind, also stored as
// 1.0, 2.0 or 3.0 in the shared dialog value. Closed without a choice, it
// returns RoiEntity::None and the shared value is left as it was.
RoiEntity AskEntityType(Station& station);

// Shows "Distance From Camera" and returns how it closed. On OK and on Cancel
// alike, the shared dialog value and the current distance take the entered
// distance in inches; a negative one leaves both as they were and counts as
// Cancel.
DialogResult AskDistance(Station& station);

// The standard text-to-double reading of a dialog's or an edit box's number,
// independent of the locale: leading blanks skipped, the longest decimal
// number prefix taken ("0x1A" gives 0), 0 when there is none or when it is no
// finite number ("nan", "inf", "1e999").
double ParseDialogNumber(const std::string& text);

// The same reading for a parameter's edit box, whose value is clamped to its
// range next: an overflow keeps its infinity (so "1e999" clamps to the
// maximum, "-1e999" to the minimum), only NaN text gives 0.
double ParseEditNumber(const std::string& text);

} // namespace orvane
