// Arbitrary text as an orvane-batch script, run on a station in a folder of
// its own (emptied before each run): lines, quotes, escapes, numbers out of
// range, unknown names and ids. The run never crashes, never waits for input
// and ends with status 0, 1 or 2.
//
// The runner takes absolute paths as they stand, so a script could drop,
// check or overwrite any file of the machine: scripts that name a path
// outside the station's folder (absolute, or climbing out with "..") are
// skipped after parsing. Everything else runs.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/bmp_file.h"
#include "batch/parse.h"
#include "batch/script.h"
#include "fuzz/temp_folder.h"
#include "pixora.h"
#include "workspace/files.h"

namespace {

namespace fs = std::filesystem;

const fs::path& Folder() {
  static const fs::path folder = [] {
    // The virtual camera's scene, so start-up finds a camera.
    ::setenv("ORVANE_VIRTUAL_CAMERA", "scene", 0);
    return fuzz::MakeTempFolder("orvane-fuzz-batch-");
  }();
  return folder;
}

// Pictures a script can drop by name: a.bmp (64 x 48, a dark square on
// light), a.jpg (the same as JPEG) and t.jpg (its first half).
struct Pictures {
  std::vector<uint8_t> bmp, jpg;
};

const Pictures& MakePictures(const fs::path& scratch) {
  static const Pictures pictures = [&] {
    Pictures p;
    constexpr uint32_t w = 64, h = 48;
    p.bmp.resize(orvane::kBmpHeaderBytes + w * 3 * h, 220);
    orvane::BuildBmpHeader(p.bmp.data(), w, h, w * 3 * h);
    for (uint32_t y = 12; y < 36; ++y) {
      std::memset(p.bmp.data() + orvane::kBmpHeaderBytes + y * w * 3 + 16 * 3, 30, 32 * 3);
    }
    const fs::path bmp = scratch / "seed.bmp", jpg = scratch / "seed.jpg";
    orvane::WriteWholeFile(bmp, p.bmp.data(), static_cast<uint32_t>(p.bmp.size()));
    if (cvtBMPTOJPEG("-quality", "90", bmp.c_str(), jpg.c_str()) != PIXORA_OK) std::abort();
    orvane::ReadWholeFile(jpg, p.jpg);
    return p;
  }();
  return pictures;
}

bool InsideTheFolder(const std::string& name) {
  const fs::path p(name);
  if (p.is_absolute() || name.find('\\') != std::string::npos) return false;
  for (const fs::path& part : p) {
    if (part == "..") return false;
  }
  return true;
}

bool StaysInside(std::string_view script) {
  const orvane::batch::ParseResult parsed = orvane::batch::ParseScript(script);
  for (const orvane::batch::Command& c : parsed.commands) {
    using orvane::batch::Verb;
    if (c.verb == Verb::Drop || c.verb == Verb::ExpectFile || c.verb == Verb::SaveDisplay) {
      if (c.texts.empty() || !InsideTheFolder(c.texts[0])) return false;
    }
  }
  return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string script(reinterpret_cast<const char*>(data), size);
  if (!StaysInside(script)) return -1; // not kept in the corpus
  const fs::path& folder = Folder();
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(folder, ignored)) fs::remove_all(entry.path(), ignored);
  const Pictures& pictures = MakePictures(folder);
  auto put = [&](const char* name, const std::vector<uint8_t>& bytes, size_t n) {
    orvane::WriteWholeFile(folder / name, bytes.data(), static_cast<uint32_t>(n));
  };
  put("a.bmp", pictures.bmp, pictures.bmp.size());
  put("a.jpg", pictures.jpg, pictures.jpg.size());
  put("t.jpg", pictures.jpg, pictures.jpg.size() / 2);

  std::istringstream in(script);
  std::ostringstream out;
  orvane::batch::Options options;
  options.folder = folder;
  options.fixed_clock = true;
  const int status = orvane::batch::RunScript(in, out, options);
  if (status != 0 && status != 1 && status != 2) {
    std::fprintf(stderr, "status %d\n", status);
    std::abort();
  }
  return 0;
}
