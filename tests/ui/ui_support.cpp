#include "ui/ui_support.h"

#include <gtest/gtest.h>

#include "station/workspace.h"
#include "workspace/solutions.h"

namespace orvane::testing {

Started::Started(Size screen, std::string_view command_line, const Prepare& prepare)
    : Started(std::make_shared<TempDir>(), screen, command_line, prepare) {}

Started::Started(std::shared_ptr<TempDir> folder, Size screen, std::string_view command_line,
                 const Prepare& prepare)
    : dir(std::move(folder)) {
  surface.set_screen(screen);
  station = std::make_unique<Station>(dir->path(), &surface, &clock);
  if (prepare) prepare(*station);
  started = StartUp(*station, command_line);
}

Started::~Started() {
  if (station) EndProgram(*station);
}

std::unique_ptr<Started> Started::Restart(std::string_view command_line) {
  EndProgram(*station);
  return std::unique_ptr<Started>(new Started(dir, surface.ScreenSize(), command_line, {}));
}

void Started::SelectSolution(uint32_t index) {
  surface.SelectComboItem(ControlId::SolutionList, static_cast<int32_t>(index));
  OnSelectionChange(*station, ControlId::SolutionList);
}

void Started::Type(uint32_t row, std::string_view text) { surface.SetText(kRowEdits[row], text); }

void Started::Enter(uint32_t row, std::string_view text) {
  Type(row, text);
  OnEditLostFocus(*station, kRowEdits[row]);
}

SolutionRecord StoredSolution(Station& station, uint32_t index) {
  SolutionRecord record{};
  EXPECT_EQ(LoadSolution(station, index, &record), 0u);
  return record;
}

} // namespace orvane::testing
