// A PDF's text as pdftotext lays it out (empty when it cannot be read).
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace orvane::testing {

inline std::string PdfText(const std::filesystem::path& pdf) {
  std::string out;
  if (FILE* pipe = popen(("pdftotext -layout '" + pdf.string() + "' - 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

} // namespace orvane::testing
