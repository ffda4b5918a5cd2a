// A station started as the program starts it, in a fresh folder on the fake
// surface, and small helpers to act as its user.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "support/station_fixture.h"
#include "ui/main_window.h"

namespace orvane::testing {

struct Started {
  using Prepare = std::function<void(Station&)>;
  // A station in a fresh folder on a screen of that size, started with the
  // command line; `prepare` runs on the station just before start-up (to
  // stage video devices, say).
  explicit Started(Size screen = {1280, 1024}, std::string_view command_line = "orvane",
                   const Prepare& prepare = {});
  ~Started();
  // A second station on the same folder, started after this one ended.
  std::unique_ptr<Started> Restart(std::string_view command_line = "orvane");

  std::shared_ptr<TempDir> dir;
  FakeSurface surface;
  ManualClock clock;
  std::unique_ptr<Station> station;
  bool started = false;

  // Chooses solution `index` in the solution list as the user does.
  void SelectSolution(uint32_t index);
  // Types into a row's edit box without leaving it.
  void Type(uint32_t row, std::string_view text);
  // Types and leaves the edit box.
  void Enter(uint32_t row, std::string_view text);
  std::string Text(ControlId id) const { return surface.GetText(id); }
  const SolutionRecord& working() const { return *station->working; }

 private:
  Started(std::shared_ptr<TempDir> dir, Size screen, std::string_view command_line,
          const Prepare& prepare);
};

// The solution stored in the folder's file for table slot `index`.
SolutionRecord StoredSolution(Station& station, uint32_t index);

} // namespace orvane::testing
