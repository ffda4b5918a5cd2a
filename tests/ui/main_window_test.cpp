// Start-up, the window layout and its expansion, the status lines, Exit and
// the next start, driven headless through the fake surface.
#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "algorithms/include/quellix.h"
#include "station/window_template.h"
#include "station/workspace.h"
#include "support/station_fixture.h"
#include "ui/layout.h"
#include "ui/status.h"
#include "ui/ui_support.h"
#include "ui/window_state.h"
#include "workspace/log.h"
#include "workspace/settings.h"

namespace orvane {
namespace {

using testing::AttachImage;
using testing::ReadBytes;
using testing::Started;
using testing::StationFixture;

Settings StoredSettings(const Started& s) {
  Settings stored{};
  const auto bytes = ReadBytes(s.dir->path() / "XORVANE.CFG");
  EXPECT_EQ(bytes.size(), sizeof stored);
  if (bytes.size() == sizeof stored) std::memcpy(&stored, bytes.data(), sizeof stored);
  return stored;
}

TEST(CommandLine, DeviceOptionsAreSearchedInOrderAnywhere) {
  EXPECT_EQ(DeviceIndexOf("/usr/bin/orvane"), 0);
  EXPECT_EQ(DeviceIndexOf("orvane -d2"), 2);
  EXPECT_EQ(DeviceIndexOf("orvane -d3 -d1"), 1); // "-d1" is looked for before "-d3"
  EXPECT_EQ(DeviceIndexOf("orvane -d12"), 1);
  EXPECT_EQ(DeviceIndexOf("/opt/x-d3/orvane"), 3); // the program path counts too
  EXPECT_EQ(DeviceIndexOf("orvane -d0 -d3"), 0);
  EXPECT_EQ(DeviceIndexOf("orvane -d4 -D1"), 0);
}

// The library's version is signed: a negative one is older than any.
TEST(StartUp, VisionLibraryOlderThanSevenIsRefused) {
  const struct {
    int32_t version;
    bool accepted;
  } cases[] = {{INT32_MIN, false}, {-1, false}, {0, false}, {6, false},
               {7, true},          {8, true},   {INT32_MAX, true}};
  for (const auto& c : cases) EXPECT_EQ(VisionLibraryAccepted(c.version), c.accepted) << c.version;
}

// ORVANE_LOG=1, and nothing else, switches the diagnostic log on.
TEST(StartUp, OrvaneLogOneSwitchesTheLogOn) {
  const struct {
    const char* value; // nullptr: not set
    bool logged;
  } cases[] = {{nullptr, false}, {"1", true}, {"0", false}, {"yes", false}, {"", false}};
  for (const auto& c : cases) {
    if (c.value != nullptr) {
      setenv("ORVANE_LOG", c.value, 1);
    } else {
      unsetenv("ORVANE_LOG");
    }
    Started s;
    unsetenv("ORVANE_LOG");
    const char* name = c.value ? c.value : "(unset)";
    EXPECT_EQ(AppendLog(*s.station, "--\r\n"), c.logged ? 1u : 0u) << name;
    EXPECT_EQ(std::filesystem::exists(s.dir->path() / "ORVANE.LOG"), c.logged) << name;
  }
}

TEST(StartUp, EmptyFolderStartsInFileModeWithDefaults) {
  Started s;
  ASSERT_TRUE(s.started);
  Station& st = *s.station;
  uint8_t scratch[4] = {};
  EXPECT_EQ(s.surface.WindowTitle(),
            "Lumivor DXF Build 230.107." + std::to_string(qlxVersion(scratch)));
  EXPECT_TRUE(std::filesystem::exists(s.dir->path() / "XORVANE.CFG"));
  const FakeControl& list = s.surface.control(ControlId::SolutionList);
  ASSERT_EQ(list.items.size(), 6u);
  EXPECT_EQ(list.items[0], "Auto Calibration");
  EXPECT_EQ(list.items[5], "DXF Trace Output");
  EXPECT_EQ(list.selection, 0);
  EXPECT_EQ(s.surface.control(ControlId::OptionList).items.size(), 5u);
  EXPECT_EQ(s.surface.control(ControlId::FilterChoice).items[2], "Sharp");

  // No camera: File mode on the blank image, File disabled for the run.
  EXPECT_EQ(st.image.no_camera, 1u);
  EXPECT_EQ(st.image.file_mode, 1u);
  EXPECT_FALSE(s.surface.IsEnabled(ControlId::File));
  EXPECT_EQ(s.Text(ControlId::ModeIndicator), "File");
  EXPECT_EQ(s.Text(ControlId::ImageStatus), "800 x 600 (4:3)");
  EXPECT_EQ(s.Text(ControlId::CalibrationStatus), "Not Calibrated");
  EXPECT_TRUE(s.surface.IsVisible(ControlId::CalibrationStatus));
  EXPECT_EQ(s.Text(ControlId::ResultLine), "----------------");
  EXPECT_EQ(s.Text(ControlId::RowLabel0), "Distance (in.)");
  EXPECT_EQ(s.Text(ControlId::RowEdit0), "24.00000");

  // A click on the disabled File button does nothing.
  OnCommand(st, ControlId::File);
  EXPECT_EQ(st.image.file_mode, 1u);

  // The colours of the table reach the surface.
  const FakeControl& exit = s.surface.control(ControlId::Exit);
  EXPECT_EQ(exit.normal, (ControlColours{0xFFFFFF, 0x0000FF}));
  EXPECT_EQ(s.surface.window_colours(), (ControlColours{0xFFFFFF, 0x000000}));
}

TEST(StartUp, LastFilePathBecomesTheStillPath) {
  Started first;
  std::strcpy(first.station->settings.last_file_path, "part.bmp");
  SaveSettings(*first.station);
  auto second = first.Restart();
  EXPECT_EQ(second->station->image.still_path, "part.bmp");
}

TEST(ExpandWindow, FillsA1024By768ScreenAndMovesByAnchor) {
  Started s({1024, 768});
  const WindowState& w = WindowOf(*s.station);
  const int32_t client_w = kTemplateClient.width, client_h = kTemplateClient.height;
  EXPECT_EQ(w.client_right, client_w - 1);
  const int32_t dx = 1024 - (client_w - 1), dy = 768 - (client_h - 1);
  EXPECT_EQ(w.dx, dx);
  EXPECT_EQ(w.dy, dy);
  EXPECT_EQ(s.surface.window_rect(), (Rect{0, 0, 1024, 768}));

  const Rect process = UnitsToPixels({305, 50, 80, 25});
  EXPECT_EQ(s.surface.ControlRect(ControlId::Process),
            (Rect{process.x + dx, process.y, process.width, process.height}));
  const Rect edit = UnitsToPixels({75, 195, 35, 12});
  EXPECT_EQ(s.surface.ControlRect(ControlId::RowEdit0),
            (Rect{edit.x, edit.y + dy, edit.width, edit.height}));
  const Rect exit = UnitsToPixels({350, 250, 35, 20});
  EXPECT_EQ(s.surface.ControlRect(ControlId::Exit),
            (Rect{exit.x + dx, exit.y + dy, exit.width, exit.height}));
  const Rect panel = UnitsToPixels({300, 5, 90, 270});
  EXPECT_EQ(s.surface.ControlRect(ControlId::CommandPanelGroup),
            (Rect{panel.x + dx, panel.y, panel.width, panel.height + dy}));
  const Rect group = UnitsToPixels({5, 185, 290, 90});
  EXPECT_EQ(s.surface.ControlRect(ControlId::SolutionGroup),
            (Rect{group.x, group.y + dy, group.width + dx, group.height}));
  // The view is left alone, and placed by its own rule.
  const LayoutEntry* entry = FindLayout(w, ControlId::SolutionGroup);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->top, group.y);
  EXPECT_EQ(entry->current_top, group.y + dy);

  // The blank 800 x 600 image (4:3) in the room the expansion gives.
  const uint32_t k = std::min((panel.x + dx - 16) / 4, (group.y + dy - 16) / 3);
  EXPECT_EQ(s.station->image.view_width, 4 * k);
  EXPECT_EQ(s.station->image.view_height, 3 * k);
  EXPECT_EQ(s.surface.ControlRect(ControlId::ImageView),
            (Rect{12, 16, int32_t(4 * k), int32_t(3 * k)}));
}

TEST(ExpandWindow, NothingMovesOnAn800By600Screen) {
  Started s({800, 600});
  EXPECT_EQ(s.surface.window_rect(), Rect{});
  EXPECT_EQ(WindowOf(*s.station).dx, 0);
  EXPECT_EQ(s.surface.ControlRect(ControlId::Process), UnitsToPixels({305, 50, 80, 25}));
  EXPECT_EQ(s.surface.ControlRect(ControlId::SolutionGroup), UnitsToPixels({5, 185, 290, 90}));
  // Without expansion the view fits the template: (525 - 16) x (370 - 16).
  EXPECT_EQ(s.station->image.view_width, 4u * 118);
  EXPECT_EQ(s.station->image.view_height, 3u * 118);
}

TEST(ExpandWindow, SettingOffKeepsTheTemplateOnALargeScreen) {
  Started first;
  first.station->settings.flags = 0;
  SaveSettings(*first.station);
  auto second = first.Restart();
  EXPECT_EQ(second->surface.window_rect(), Rect{});
  EXPECT_EQ(second->surface.ControlRect(ControlId::Exit), UnitsToPixels({350, 250, 35, 20}));
}

// A resize moves the controls by their anchors from the size the layout was
// made for (the template, or the screen after the expansion); back at that
// size everything stands where the start-up put it.
TEST(ResizeWindow, ControlsFollowTheirAnchorsAndTheViewTakesTheRoom) {
  struct Case {
    Size screen;
    Size base; // the client size after start-up
  };
  for (const Case& c : {Case{{800, 600}, kTemplateClient}, Case{{1024, 768}, {1024, 768}}}) {
    Started s(c.screen);
    const WindowState& w = WindowOf(*s.station);
    const Rect process = s.surface.ControlRect(ControlId::Process);
    const Rect exit = s.surface.ControlRect(ControlId::Exit);
    const Rect group = s.surface.ControlRect(ControlId::SolutionGroup);
    const uint32_t view_width = s.station->image.view_width;
    ResizeWindow(*s.station, c.base); // Qt's resize event at show changes nothing
    EXPECT_EQ(s.surface.ControlRect(ControlId::Process), process);

    ResizeWindow(*s.station, {1366, 900});
    const int32_t gx = 1366 - c.base.width, gy = 900 - c.base.height;
    EXPECT_EQ(w.resize_dx, gx);
    EXPECT_EQ(s.surface.ControlRect(ControlId::Process),
              (Rect{process.x + gx, process.y, process.width, process.height}));
    EXPECT_EQ(s.surface.ControlRect(ControlId::Exit),
              (Rect{exit.x + gx, exit.y + gy, exit.width, exit.height}));
    EXPECT_EQ(s.surface.ControlRect(ControlId::SolutionGroup),
              (Rect{group.x, group.y + gy, group.width + gx, group.height}));
    EXPECT_GT(s.station->image.view_width, view_width);
    EXPECT_LE(int32_t(s.station->image.view_width) + 16,
              s.surface.ControlRect(ControlId::CommandPanelGroup).x);
    EXPECT_LE(int32_t(s.station->image.view_height) + 16,
              s.surface.ControlRect(ControlId::SolutionGroup).y);

    ResizeWindow(*s.station, c.base);
    EXPECT_EQ(s.surface.ControlRect(ControlId::Exit), exit);
    EXPECT_EQ(s.station->image.view_width, view_width);
  }
}

// The expansion setting is read at start-up: changing it in Set-Up leaves
// the window as it is, and the view keeps the size that window gives it.
TEST(ExpandWindow, SettingChangedInSetUpKeepsTheViewUntilTheNextStart) {
  for (const uint32_t flags : {static_cast<uint32_t>(kFlagExpandWindow), 0u}) {
    Started first({1024, 768});
    first.station->settings.flags = flags;
    SaveSettings(*first.station);
    auto s = first.Restart();
    Station& st = *s->station;
    const Rect view = s->surface.ControlRect(ControlId::ImageView);
    s->surface.QueueDialog([flags](DialogModel& d) {
      d.Choose(DialogControlId::ExpandWindow, flags ? 0 : 1);
      return *d.Press(DialogControlId::Ok);
    });
    OnCommand(st, ControlId::SetUp);
    OnCommand(st, ControlId::Enlarge);
    OnCommand(st, ControlId::Enlarge); // both resize the view
    EXPECT_EQ(s->surface.ControlRect(ControlId::ImageView), view) << flags;
    EXPECT_EQ(st.image.view_width, uint32_t(view.width)) << flags;
    EXPECT_NE(st.settings.flags & kFlagExpandWindow, flags) << flags;
  }
}

TEST(Layout, RecordsEveryControlOnceInItsOrder) {
  Started s;
  const WindowState& w = WindowOf(*s.station);
  ASSERT_EQ(w.layout.size(), 50u);
  EXPECT_EQ(w.layout.front().control_id, ControlId::Exit);
  EXPECT_EQ(w.layout.back().control_id, ControlId::DeviceList);
  WindowState full;
  for (size_t i = 0; i < kMaxLayoutEntries + 5; ++i) {
    RecordControl(full, ControlId::Exit, {}, Anchor::Right);
  }
  EXPECT_EQ(full.layout.size(), kMaxLayoutEntries);
}

TEST(StatusLine, SizeAspectFormatAndMarkClass) {
  StationFixture f;
  AttachImage(f.station, 640, 480);
  f.station.camera_compression = 0;
  UpdateStatusLine(f.station);
  EXPECT_EQ(f.surface.GetText(ControlId::ImageStatus), "640 x 480 (4:3) RGB");
  EXPECT_EQ(f.station.mark_size_class, 1u);

  AttachImage(f.station, 320, 240);
  f.station.camera_compression = 0x32595559;
  UpdateStatusLine(f.station);
  // No step of 5 from 900 to 100 divides both sides: 320 / 50 and 240 / 50.
  EXPECT_EQ(f.surface.GetText(ControlId::ImageStatus), "320 x 240 (6:4) YUY2");
  EXPECT_EQ(f.station.mark_size_class, 0u);

  EXPECT_EQ(AspectUnits(1280, 1024), (std::pair<uint32_t, uint32_t>{25, 20}));
  EXPECT_EQ(AspectUnits(800, 600), (std::pair<uint32_t, uint32_t>{4, 3}));
}

TEST(SizeView, TinyImagesHaveAViewAndNoDivisionByZero) {
  StationFixture f;
  AttachImage(f.station, 1, 1);
  f.station.hooks.size_view();
  EXPECT_GT(f.station.image.view_width, 0u);
  EXPECT_EQ(f.station.image.view_width, f.station.image.view_height);
}

TEST(Exit, SavesTheSelectionAndTheNextStartSelectsIt) {
  Started s;
  s.SelectSolution(3);
  s.Type(3, "77"); // typed, not left: Exit commits it
  OnCommand(*s.station, ControlId::Exit);
  EXPECT_TRUE(s.surface.ended());
  EXPECT_EQ(s.surface.control(ControlId::Exit).colour_state, 1u);
  EXPECT_EQ(StoredSettings(s).last_solution, 3u);
  EXPECT_EQ(testing::StoredSolution(*s.station, 3).params[3].value, 77.0f);

  auto next = s.Restart();
  EXPECT_EQ(next->station->current_solution, 3u);
  EXPECT_EQ(next->surface.ComboSelection(ControlId::SolutionList), 3);
  EXPECT_EQ(next->Text(ControlId::RowLabel3), "Threshold");
  EXPECT_EQ(next->Text(ControlId::RowEdit3), "77");
}

TEST(Exit, CancelEndsWithoutSaving) {
  Started s;
  s.SelectSolution(2);
  OnCancel(*s.station);
  EXPECT_TRUE(s.surface.ended());
  EXPECT_EQ(StoredSettings(s).last_solution, 0u);
  EndProgram(*s.station);
  EndProgram(*s.station); // twice is harmless
  auto next = s.Restart();
  EXPECT_EQ(next->station->current_solution, 0u);
}

TEST(About, TitleLineAndExitButton) {
  Started s;
  s.surface.QueueDialog([](DialogModel& d) {
    EXPECT_EQ(d.controls().front().text, "Lumivor 2D Machine Vision Platform");
    EXPECT_EQ(d.Find(DialogControlId::Ok)->text, "E&xit");
    return *d.Press(DialogControlId::Ok);
  });
  ShowAbout(*s.station);
  ASSERT_EQ(s.surface.dialogs().size(), 1u);
  EXPECT_EQ(s.surface.dialogs()[0].title, "Lumivor 2D");
  EXPECT_EQ(s.surface.dialogs()[0].result, DialogResult::Ok);
}

} // namespace
} // namespace orvane
