#include "results/window_file.h"

#include <charconv>
#include <vector>

#include "results/units.h"
#include "workspace/files.h"

namespace orvane {
namespace {

constexpr std::string_view kMagic = "ORVANE-RESULTS-WINDOW\t1\n";

bool Int(std::string_view s, int32_t lo, int32_t hi, int32_t* out) {
  const auto r = std::from_chars(s.data(), s.data() + s.size(), *out);
  return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size() && *out >= lo && *out <= hi;
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> f;
  for (size_t start = 0;;) {
    const size_t tab = line.find('\t', start);
    f.push_back(line.substr(start, tab == std::string_view::npos ? line.npos : tab - start));
    if (tab == std::string_view::npos) return f;
    start = tab + 1;
  }
}

} // namespace

std::string WriteResultsWindowText(const ResultsWindowState& s) {
  std::string out(kMagic);
  if (s.has_geometry) {
    out += "geometry\t" + std::to_string(s.x) + '\t' + std::to_string(s.y) + '\t' +
           std::to_string(s.width) + '\t' + std::to_string(s.height) + '\n';
  }
  if (!s.show_unit.empty()) out += "show\t" + s.show_unit + '\n';
  return out;
}

bool ReadResultsWindowText(std::string_view text, ResultsWindowState* state) {
  if (text.size() > kMaxResultsWindowFileBytes || !text.starts_with(kMagic)) return false;
  text.remove_prefix(kMagic.size());
  ResultsWindowState read;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos) return false;
    const std::vector<std::string_view> f = Fields(text.substr(0, end));
    text.remove_prefix(end + 1);
    if (f[0] == "geometry" && f.size() == 5) {
      read.has_geometry = Int(f[1], -kMaxWindowSide, kMaxWindowSide, &read.x) &&
                          Int(f[2], -kMaxWindowSide, kMaxWindowSide, &read.y) &&
                          Int(f[3], 1, kMaxWindowSide, &read.width) &&
                          Int(f[4], 1, kMaxWindowSide, &read.height);
      if (!read.has_geometry) return false;
    } else if (f[0] == "show" && f.size() == 2 && (f[1] == kMillimetre || f[1] == kMicrometre)) {
      read.show_unit = std::string(f[1]);
    } else {
      return false;
    }
  }
  *state = read;
  return true;
}

ResultsWindowState LoadResultsWindowState(const std::filesystem::path& folder) {
  ResultsWindowState state;
  const std::filesystem::path path = folder / kResultsWindowFileName;
  const int64_t length = FileLength(path);
  std::vector<uint8_t> bytes;
  if (length > 0 && static_cast<uint64_t>(length) <= kMaxResultsWindowFileBytes &&
      ReadWholeFile(path, bytes) == static_cast<uint64_t>(length)) {
    ReadResultsWindowText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                          &state);
  }
  return state;
}

bool SaveResultsWindowState(const std::filesystem::path& folder, const ResultsWindowState& state) {
  const std::string text = WriteResultsWindowText(state);
  return WriteWholeFile(folder / kResultsWindowFileName, text.data(),
                        static_cast<uint32_t>(text.size())) == text.size();
}

} // namespace orvane
