// A fresh folder under the system's temporary folder for one fuzz process,
// removed again when the process ends: libFuzzer ends a run with exit().
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzz {

inline std::filesystem::path MakeTempFolder(const char* prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  // Up to four folders a process; their paths in plain buffers, which outlive
  // every static object the exit handler could otherwise find destroyed.
  static char made[4][4096];
  static int count = 0;
  if (count == 4) std::abort();
  std::snprintf(made[count++], sizeof made[0], "%s", pattern.c_str());
  if (count == 1) {
    std::atexit([] {
      for (int i = 0; i < count; ++i) {
        std::error_code ignored;
        std::filesystem::remove_all(made[i], ignored);
      }
    });
  }
  return pattern;
}

} // namespace fuzz
