#include "rectify/rectification_file.h"

#include <charconv>
#include <cmath>
#include <system_error>
#include <vector>

namespace orvane::rectify {
namespace {

constexpr std::string_view kHeader = "ORVANE rectification 1";
constexpr size_t kMaxCameraName = 255;

void Put(std::string& out, double v) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
  out += ' ';
  out.append(buffer, ec == std::errc() ? end : buffer);
}

// The words of one line.
std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

bool Number(std::string_view word, double* out) {
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), *out);
  return ec == std::errc() && end == word.data() + word.size() && std::isfinite(*out);
}

bool Count(std::string_view word, uint32_t* out) {
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), *out);
  return ec == std::errc() && end == word.data() + word.size();
}

// Reads `n` numbers after the line's key.
bool Numbers(const std::vector<std::string_view>& words, std::string_view key, size_t n, double* out) {
  if (words.size() != n + 1 || words[0] != key) return false;
  for (size_t i = 0; i < n; ++i) {
    if (!Number(words[i + 1], &out[i])) return false;
  }
  return true;
}

} // namespace

std::string FormatRectification(const RectificationRecord& r) {
  const LensModel& m = r.model;
  const GridFigures& g = r.figures;
  std::string out(kHeader);
  out += "\ncamera " + r.camera;
  out += "\nsize " + std::to_string(m.width) + ' ' + std::to_string(m.height);
  out += r.on ? "\nstate on" : "\nstate off";
  out += "\ngrid " + std::string(GridKindName(r.grid.kind)) + ' ' + std::to_string(r.grid.rows) + ' ' +
         std::to_string(r.grid.cols);
  Put(out, r.grid.pitch);
  out += "\nfigures";
  for (double v : {g.rms, g.held_out_rms, g.largest}) Put(out, v);
  out += ' ' + std::to_string(g.fitted) + ' ' + std::to_string(g.held_out) + ' ' + std::to_string(g.views);
  out += "\nintrinsics";
  for (double v : {m.fx, m.fy, m.cx, m.cy}) Put(out, v);
  out += "\ndistortion";
  for (double v : {m.k1, m.k2, m.k3, m.p1, m.p2}) Put(out, v);
  out += "\nrotation";
  for (double v : m.rotation) Put(out, v);
  out += "\ntranslation";
  for (double v : m.translation) Put(out, v);
  out += '\n';
  return out;
}

std::optional<RectificationRecord> ParseRectification(std::string_view text, std::string* error) {
  *error = "The rectification file is damaged.";
  if (text.size() > kMaxRectificationFileBytes) return std::nullopt;
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos) return std::nullopt; // the last line was cut off
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end + 1);
  }
  if (lines.size() != 10 || lines[0] != kHeader) return std::nullopt;
  RectificationRecord r;
  if (lines[1].substr(0, 7) != "camera ") return std::nullopt;
  r.camera = std::string(lines[1].substr(7));
  if (r.camera.size() > kMaxCameraName || r.camera.find('\r') != std::string::npos) return std::nullopt;

  std::vector<std::string_view> w = Words(lines[2]);
  LensModel& m = r.model;
  if (w.size() != 3 || w[0] != "size" || !Count(w[1], &m.width) || !Count(w[2], &m.height)) return std::nullopt;
  if (m.width == 0 || m.height == 0 || m.width > 16384 || m.height > 16384) return std::nullopt;
  if (lines[3] == "state on") {
    r.on = true;
  } else if (lines[3] == "state off") {
    r.on = false;
  } else {
    return std::nullopt;
  }
  w = Words(lines[4]);
  if (w.size() != 5 || w[0] != "grid") return std::nullopt;
  const std::optional<GridKind> kind = GridKindByName(std::string(w[1]));
  if (!kind || !Count(w[2], &r.grid.rows) || !Count(w[3], &r.grid.cols) || !Number(w[4], &r.grid.pitch)) {
    return std::nullopt;
  }
  r.grid.kind = *kind;
  if (CheckGridSpec(r.grid)) return std::nullopt;
  w = Words(lines[5]);
  GridFigures& g = r.figures;
  if (w.size() != 7 || w[0] != "figures" || !Number(w[1], &g.rms) || !Number(w[2], &g.held_out_rms) ||
      !Number(w[3], &g.largest) || !Count(w[4], &g.fitted) || !Count(w[5], &g.held_out) || !Count(w[6], &g.views)) {
    return std::nullopt;
  }
  double intrinsics[4], distortion[5];
  if (!Numbers(Words(lines[6]), "intrinsics", 4, intrinsics) ||
      !Numbers(Words(lines[7]), "distortion", 5, distortion) ||
      !Numbers(Words(lines[8]), "rotation", 9, m.rotation) ||
      !Numbers(Words(lines[9]), "translation", 3, m.translation)) {
    return std::nullopt;
  }
  m.fx = intrinsics[0];
  m.fy = intrinsics[1];
  m.cx = intrinsics[2];
  m.cy = intrinsics[3];
  m.k1 = distortion[0];
  m.k2 = distortion[1];
  m.k3 = distortion[2];
  m.p1 = distortion[3];
  m.p2 = distortion[4];
  OutputFrame frame;
  if (!IsUsable(m) || !FrameOf(m, &frame)) {
    *error = "The rectification file holds no usable lens model.";
    return std::nullopt;
  }
  if (const char* problem = PictureMappingProblem(m)) {
    *error = std::string("The rectification file holds no usable lens model: ") + problem + ".";
    return std::nullopt;
  }
  error->clear();
  return r;
}

} // namespace orvane::rectify
