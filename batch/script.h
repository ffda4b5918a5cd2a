// orvane-batch: the whole station headless, driven by a line-based script.
//
// RunScript parses the whole script first (a line that does not parse runs
// nothing), then runs its commands one by one on a station in the working
// folder, on an in-memory control surface. Message boxes and dialogs are
// answered from what the script queued, or by their default, and every one is
// reported on `out`; nothing ever waits for input. The run is deterministic
// with `fixed_clock`, and no number in a script makes it loop or allocate
// without bound.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>

namespace orvane::batch {

// Exit statuses of a run.
inline constexpr int kScriptOk = 0;          // ran to its end, every check held
inline constexpr int kScriptCheckFailed = 1; // an expect failed or a command could not run
inline constexpr int kScriptParseError = 2;  // a line does not parse, or the script is too long; nothing ran
inline constexpr int kFolderInUse = 3;       // another station holds the working folder; nothing ran

// The longest script read: a longer one (or an endless input) is refused as
// soon as it passes this size, before anything runs.
inline constexpr size_t kMaxScriptBytes = size_t{64} << 20;

struct Options {
  // The station's working folder (its settings, solution files, saved images,
  // DXF files); relative paths of the script count from here.
  std::filesystem::path folder = ".";
  // The program path that `start` puts before its arguments on the command
  // line the station sees.
  std::string program = "orvane";
  // Time stands still, so every solution reports the same elapsed time and
  // two runs of one script print the same.
  bool fixed_clock = false;
  // Echo every command before it runs, with its line number.
  bool echo = false;
  // --camera NAME: added to every start's command line, after the script's
  // own arguments, so a start that names a camera keeps its own.
  std::string camera;
  // Take the working folder's lock before anything runs (the program does;
  // tests running many scripts in one process do not).
  bool lock_folder = false;
  // Where the station's notes go (where Save put the picture), one a line as
  // `note "TEXT"`: apart from the output, which stays as it always was.
  // Nothing: standard error.
  std::ostream* notes = nullptr;
};

// Runs the script read from `in` to its end. Returns kScriptOk,
// kScriptCheckFailed, kScriptParseError or kFolderInUse.
int RunScript(std::istream& in, std::ostream& out, const Options& options);

} // namespace orvane::batch
