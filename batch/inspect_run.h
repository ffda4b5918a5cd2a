// orvane-inspect: a program of the working folder run over pictures, with
// the folder's calibration, on as many threads as asked; CSV out.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <qgauge.h>

#include "inspect/program.h"
#include "workspace/records.h"

namespace orvane::batch {

// Exit statuses.
inline constexpr int kInspectPassed = 0; // every part found and passed
inline constexpr int kInspectFailed = 1; // a part failed or was not found
inline constexpr int kInspectError = 2;  // a picture or the program could not be read, or bad usage

// The most threads --jobs takes.
inline constexpr uint32_t kMaxInspectJobs = 64;

struct InspectOptions {
  std::filesystem::path folder = ".";
  std::string program;               // its name in the folder (NAME or NAME.OIP)
  std::vector<std::string> pictures; // BMP or JPEG files, as given
  uint32_t jobs = 1;
  // Where each picture's inspection report goes (one PDF a picture whose part
  // is found); empty: none.
  std::filesystem::path report_folder;
};

// Runs the program over the pictures: the CSV header and one record a
// picture and dimension (a picture whose part is not found, or that cannot
// be read, has one record saying so) on `out`, in the pictures' order; why a
// picture or the program could not be read on `errors`. Returns one of the
// exit statuses.
int RunInspect(const InspectOptions& options, std::ostream& out, std::ostream& errors);

// The steps of RunInspect, for the other front ends that run programs on a
// folder's pictures (the Python module).

// A folder of our own for JPEG conversions, removed with everything in it.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  // Empty when none could be made.
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The settings of the folder, read without writing anything there.
Settings FolderSettings(const std::filesystem::path& folder);
// A dimension's tolerance in the unit of its value; nothing without one or
// when its unit does not convert.
std::optional<Tolerance> ToleranceInUnit(const DimensionResult& d);
// A program's name as given (NAME or NAME.OIP) without the extension.
std::string ProgramName(std::string name);

// One picture's run: `error` says why the picture could not be read.
struct PictureOutcome {
  std::string error;
  ProgramRun run;
};
// The program on a picture: the folder's settings rescaled to its size.
ProgramRun InspectImage(const Program& program, const ProgramModel& model, Settings settings, const qgImage& image);
// The program on a BMP or JPEG file (JPEG converted in `temp`, under a name
// made from `index`, so that threads sharing `temp` never meet).
PictureOutcome InspectFile(const Program& program, const ProgramModel& model, const Settings& settings,
                           const std::string& picture, const std::filesystem::path& temp, size_t index);

} // namespace orvane::batch
