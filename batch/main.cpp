// orvane-batch [-C DIR] [--fixed-clock] [--echo] [--camera NAME] SCRIPT|-
//              --help | --version
#include <fstream>
#include <iostream>
#include <string_view>

#include "batch/script.h"

namespace {

#ifndef ORVANE_VERSION
#define ORVANE_VERSION "unknown"
#endif

constexpr const char* kUsage =
    "usage: orvane-batch [-C DIR] [--fixed-clock] [--echo] [--camera NAME] SCRIPT|-\n"
    "       orvane-batch --help | --version\n"
    "  -C DIR         the station's working folder (default: the current one)\n"
    "  --fixed-clock  time stands still: every run reports the same times\n"
    "  --echo         print every command before it runs\n"
    "  --camera NAME  every start opens the camera of that name (unless it names one)\n"
    "  SCRIPT         the script file, or - for standard input\n"
    "  --help         print this text and end\n"
    "  --version      print the version and end\n"
    "Exit status: 0 the script ran to its end, 1 a check failed or a command\n"
    "could not run, 2 a line does not parse, the script cannot be read or the\n"
    "command line is wrong, 3 another station works in the folder (nothing ran).\n"
    "The commands of a script are described in orvane-batch(1).\n";

int Usage() {
  std::cerr << kUsage;
  return orvane::batch::kScriptParseError;
}

} // namespace

int main(int argc, char** argv) {
  orvane::batch::Options options;
  const char* script = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-C" && i + 1 < argc) {
      options.folder = argv[++i];
    } else if (arg == "--fixed-clock") {
      options.fixed_clock = true;
    } else if (arg == "--echo") {
      options.echo = true;
    } else if (arg == "--camera" && i + 1 < argc) {
      options.camera = argv[++i];
    } else if (arg == "--help") {
      std::cout << kUsage;
      return orvane::batch::kScriptOk;
    } else if (arg == "--version") {
      std::cout << "orvane-batch " ORVANE_VERSION "\n";
      return orvane::batch::kScriptOk;
    } else if (script == nullptr && (arg == "-" || arg.substr(0, 1) != "-")) {
      script = argv[i];
    } else {
      return Usage();
    }
  }
  if (script == nullptr) return Usage();
  options.lock_folder = true;
  if (std::string_view(script) == "-") {
    return orvane::batch::RunScript(std::cin, std::cout, options);
  }
  std::ifstream file(script, std::ios::binary);
  if (!file) {
    std::cerr << "orvane-batch: cannot read " << script << '\n';
    return orvane::batch::kScriptParseError;
  }
  return orvane::batch::RunScript(file, std::cout, options);
}
