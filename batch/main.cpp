// orvane-batch [-C DIR] [--fixed-clock] [--echo] SCRIPT|-
#include <fstream>
#include <iostream>
#include <string_view>

#include "batch/script.h"

namespace {

int Usage() {
  std::cerr << "usage: orvane-batch [-C DIR] [--fixed-clock] [--echo] SCRIPT|-\n"
               "  -C DIR         the station's working folder (default: the current one)\n"
               "  --fixed-clock  time stands still: every run reports the same times\n"
               "  --echo         print every command before it runs\n"
               "  SCRIPT         the script file, or - for standard input\n";
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
