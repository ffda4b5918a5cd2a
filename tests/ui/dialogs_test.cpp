#include "ui/dialogs.h"

#include <gtest/gtest.h>

#include <string>

#include "support/station_fixture.h"
#include "ui/panel.h"

namespace orvane {
namespace {

using testing::StationFixture;

std::string TextOf(DialogModel& d, DialogControlId id) {
  const DialogControl* c = d.Find(id);
  return c != nullptr ? c->text : "<missing>";
}

TEST(EntityTypeDialog, ButtonsChooseAndHiddenOkCancelDoNothing) {
  EntityTypeDialog d;
  EXPECT_EQ(d.title(), "Define Entity Type");
  EXPECT_EQ(TextOf(d, DialogControlId::EntityPoints), "Points");
  EXPECT_EQ(TextOf(d, DialogControlId::EntityLine), "Line");
  EXPECT_EQ(TextOf(d, DialogControlId::EntityCircle), "Circle");
  EXPECT_EQ(d.controls().front().text, "Entity");
  EXPECT_FALSE(d.Find(DialogControlId::Ok)->visible);
  EXPECT_FALSE(d.Press(DialogControlId::Ok).has_value());
  EXPECT_FALSE(d.Press(DialogControlId::Cancel).has_value());
  EXPECT_FALSE(d.choice().has_value());
  EXPECT_EQ(d.Press(DialogControlId::EntityCircle), DialogResult::Ok);
  EXPECT_EQ(d.choice(), RoiEntity::Circle);
}

TEST(AskEntityType, ChoiceGoesToSharedValueEscapeLeavesIt) {
  StationFixture f;
  f.surface.QueueDialog([](DialogModel& d) { return *d.Press(DialogControlId::EntityPoints); });
  EXPECT_EQ(AskEntityType(f.station), RoiEntity::Points);
  EXPECT_EQ(f.station.shared_dialog_value, 1.0);
  f.station.shared_dialog_value = 24.0; // a distance entered since
  EXPECT_EQ(AskEntityType(f.station), RoiEntity::None);
  EXPECT_EQ(f.station.shared_dialog_value, 24.0);
}

TEST(AskDistance, ShowsCurrentDistanceInInchesAndReadsBackOnOk) {
  StationFixture f;
  f.station.settings.units = 0;
  f.station.settings.unit_factor = 1.0;
  f.station.current_distance = 24.0;
  f.surface.QueueDialog([](DialogModel& d) {
    EXPECT_EQ(d.title(), "Distance From Camera");
    EXPECT_EQ(TextOf(d, DialogControlId::DistanceEdit), "24.00000");
    EXPECT_EQ(TextOf(d, DialogControlId::UnitLabel), "inches");
    EXPECT_EQ(d.controls().front().text,
              "Please enter the distance from camera to these new measurement points on the "
              "surface of the object.");
    d.Type(DialogControlId::DistanceEdit, "10");
    return *d.Press(DialogControlId::Ok);
  });
  EXPECT_EQ(AskDistance(f.station), DialogResult::Ok);
  EXPECT_EQ(f.station.shared_dialog_value, 10.0);
  EXPECT_EQ(f.station.current_distance, 10.0);
}

TEST(AskDistance, MetricCancelStillStoresTheDistanceInInches) {
  StationFixture f;
  f.station.settings.units = 1;
  f.station.settings.unit_factor = kMetricUnitFactor;
  f.station.current_distance = 10.0;
  f.surface.QueueDialog([](DialogModel& d) {
    EXPECT_EQ(TextOf(d, DialogControlId::UnitLabel), "cm");
    EXPECT_EQ(TextOf(d, DialogControlId::DistanceEdit), "25.40000");
    d.Type(DialogControlId::DistanceEdit, "10");
    return *d.Press(DialogControlId::Cancel);
  });
  EXPECT_EQ(AskDistance(f.station), DialogResult::Cancel);
  EXPECT_EQ(f.station.current_distance, 10.0 / 2.5399999618530273);
  EXPECT_EQ(f.station.shared_dialog_value, 10.0 / 2.5399999618530273);
}

TEST(AskDistance, EscapeAndTextThatIsNoNumber) {
  StationFixture f;
  f.station.settings.unit_factor = 1.0;
  f.station.current_distance = 24.0;
  EXPECT_EQ(AskDistance(f.station), DialogResult::Cancel); // Escape: the shown text reads back
  EXPECT_EQ(f.station.current_distance, 24.0);
  f.surface.QueueDialog([](DialogModel& d) {
    d.Type(DialogControlId::DistanceEdit, "abc");
    return *d.Press(DialogControlId::Ok);
  });
  EXPECT_EQ(AskDistance(f.station), DialogResult::Ok);
  EXPECT_EQ(f.station.current_distance, 0.0);
  // Only the first 127 characters are read: a 1 and 126 zeros.
  f.surface.QueueDialog([](DialogModel& d) {
    d.Type(DialogControlId::DistanceEdit, "1" + std::string(200, '0'));
    return *d.Press(DialogControlId::Ok);
  });
  AskDistance(f.station);
  EXPECT_DOUBLE_EQ(f.station.current_distance, 1e126);
}

// A negative distance made every length negative. OK refuses it and says
// why, the dialog staying open; closed anyway (Cancel, Escape, or a script
// that presses OK regardless), it leaves the distance as it was. Zero and
// every other number are taken as before.
TEST(AskDistance, ANegativeDistanceIsRefusedAndChangesNothing) {
  struct Case {
    const char* text;
    double inches; // the distance afterwards
    DialogResult result;
  };
  const Case cases[] = {
      {"-5", 24.0, DialogResult::Cancel}, {"-1e-9", 24.0, DialogResult::Cancel},
      {"-0", 0.0, DialogResult::Ok},      {"0", 0.0, DialogResult::Ok},
      {"abc", 0.0, DialogResult::Ok},     {"12.5", 12.5, DialogResult::Ok},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    StationFixture f;
    f.station.settings.unit_factor = 1.0;
    f.station.current_distance = 24.0;
    f.station.shared_dialog_value = 24.0;
    bool stayed_open = false;
    f.surface.QueueDialog([&](DialogModel& d) {
      d.Type(DialogControlId::DistanceEdit, c.text);
      const std::optional<DialogResult> ok = d.Press(DialogControlId::Ok);
      stayed_open = !ok;
      if (stayed_open) {
        EXPECT_EQ(d.controls().front().text.rfind("The distance from the camera cannot be negative. Please enter", 0),
                  0u);
      }
      return ok.value_or(DialogResult::Ok);
    });
    EXPECT_EQ(AskDistance(f.station), c.result);
    EXPECT_EQ(stayed_open, c.result == DialogResult::Cancel);
    EXPECT_EQ(f.station.current_distance, c.inches);
    EXPECT_EQ(f.station.shared_dialog_value, c.inches);
  }
  // Cancel with a negative text: nothing stored either.
  StationFixture f;
  f.station.current_distance = 24.0;
  f.surface.QueueDialog([](DialogModel& d) {
    d.Type(DialogControlId::DistanceEdit, "-3");
    return *d.Press(DialogControlId::Cancel);
  });
  EXPECT_EQ(AskDistance(f.station), DialogResult::Cancel);
  EXPECT_EQ(f.station.current_distance, 24.0);
}

TEST(ParseDialogNumber, StandardConversionIndependentOfLocale) {
  EXPECT_EQ(ParseDialogNumber("  12.5cm"), 12.5);
  EXPECT_EQ(ParseDialogNumber("+3e1"), 30.0);
  EXPECT_EQ(ParseDialogNumber("-0.25"), -0.25);
  EXPECT_EQ(ParseDialogNumber("1,5"), 1.0);
  EXPECT_EQ(ParseDialogNumber(""), 0.0);
  EXPECT_EQ(ParseDialogNumber("."), 0.0);
  // Decimal only: a hexadecimal text reads as its leading 0.
  EXPECT_EQ(ParseDialogNumber("0x1A"), 0.0);
  EXPECT_EQ(ParseDialogNumber("\t-0X1p4"), 0.0);
  EXPECT_EQ(ParseDialogNumber("0"), 0.0);
  EXPECT_EQ(ParseDialogNumber("10x2"), 10.0);
}

TEST(ShowRoiCount, WritesTheCountLine) {
  StationFixture f;
  f.station.working->roi_count = 7;
  ShowRoiCount(f.station);
  EXPECT_EQ(f.surface.GetText(ControlId::RoiCount), "Regions of Interest: 7");
}

TEST(AskDistance, TextThatIsNoFiniteNumberCountsAsNone) {
  StationFixture f;
  for (const char* typed : {"nan", "inf", "-inf", "1e999", "NAN(1)"}) {
    f.station.current_distance = 24.0;
    f.surface.QueueDialog([typed](DialogModel& d) {
      d.Type(DialogControlId::DistanceEdit, typed);
      return *d.Press(DialogControlId::Ok);
    });
    AskDistance(f.station);
    EXPECT_EQ(f.station.current_distance, 0.0) << typed;
    EXPECT_EQ(f.station.shared_dialog_value, 0.0) << typed;
  }
  EXPECT_EQ(ParseDialogNumber("1e308"), 1e308); // large but finite stays
}

} // namespace
} // namespace orvane
