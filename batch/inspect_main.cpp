// orvane-inspect [-C DIR] [--jobs N] [--report DIR] PROGRAM IMAGE...
//                --help | --version
#include <charconv>
#include <iostream>
#include <string_view>

#include "batch/inspect_run.h"

namespace {

#ifndef ORVANE_VERSION
#define ORVANE_VERSION "unknown"
#endif

constexpr const char* kUsage =
    "usage: orvane-inspect [-C DIR] [--jobs N] [--report DIR] PROGRAM IMAGE...\n"
    "       orvane-inspect --help | --version\n"
    "  -C DIR     the station's working folder, with the program, the\n"
    "             calibration (default: the current one)\n"
    "  --jobs N   inspect N pictures at once (1 to 64; default 1)\n"
    "  --report DIR  a PDF inspection report of each picture's part into DIR\n"
    "             (an existing folder; a file there is never written over)\n"
    "  PROGRAM    the inspection program's name (NAME or NAME.OIP in DIR)\n"
    "  IMAGE      BMP or JPEG pictures, relative to the current folder\n"
    "Prints CSV: picture, part, label, value, u, unit, nominal, tolerance,\n"
    "verdict. Exit status: 0 every part passed, 1 a part failed or was not\n"
    "found, 2 a picture or the program could not be read, or usage.\n";

int Usage() {
  std::cerr << kUsage;
  return orvane::batch::kInspectError;
}

} // namespace

int main(int argc, char** argv) {
  orvane::batch::InspectOptions options;
  bool have_program = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-C" && i + 1 < argc) {
      options.folder = argv[++i];
    } else if (arg == "--jobs" && i + 1 < argc) {
      const std::string_view n = argv[++i];
      uint32_t jobs = 0;
      const auto r = std::from_chars(n.data(), n.data() + n.size(), jobs);
      if (r.ec != std::errc() || r.ptr != n.data() + n.size() || jobs < 1 ||
          jobs > orvane::batch::kMaxInspectJobs) {
        return Usage();
      }
      options.jobs = jobs;
    } else if (arg == "--report" && i + 1 < argc && *argv[i + 1] != '\0') {
      options.report_folder = argv[++i];
    } else if (arg == "--help") {
      std::cout << kUsage;
      return orvane::batch::kInspectPassed;
    } else if (arg == "--version") {
      std::cout << "orvane-inspect " ORVANE_VERSION "\n";
      return orvane::batch::kInspectPassed;
    } else if (arg.substr(0, 1) == "-" && arg != "-") {
      return Usage();
    } else if (!have_program) {
      options.program = argv[i];
      have_program = true;
    } else {
      options.pictures.emplace_back(argv[i]);
    }
  }
  if (!have_program || options.pictures.empty()) return Usage();
  return orvane::batch::RunInspect(options, std::cout, std::cerr);
}
