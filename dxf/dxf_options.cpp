#include "dxf/dxf_options.h"

#include <cerrno>
#include <vector>

#include "station/workspace.h"
#include "workspace/files.h"

namespace orvane {
namespace {

constexpr std::string_view kFirstLine = "ORVANE DXF options 1";

// The next line of `text` from `*pos`, without its LF or CR LF.
std::string_view NextLine(std::string_view text, size_t* pos) {
  size_t end = text.find('\n', *pos);
  if (end == std::string_view::npos) end = text.size();
  std::string_view line = text.substr(*pos, end - *pos);
  *pos = end + 1;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

bool EndsWithDxf(const std::filesystem::path& path) {
  std::string ext = path.extension().string();
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return ext == ".dxf";
}

// Says once a session what is wrong with the options file; the options are off.
void ReportDamaged(Station& station, const std::filesystem::path& path, const std::string& reason) {
  if (!station.reported_file_failures.insert(path.string()).second) return;
  station.surface().MessageBox("The DXF options file " + path.string() + " is damaged (" + reason +
                                   "); the DXF options are off.",
                               ApplicationTitle(), MessageButtons::Ok);
}

} // namespace

std::string FormatDxfOptions(const DxfOptions& options) {
  return std::string(kFirstLine) + "\nunits " + (options.units ? "on" : "off") + "\n";
}

std::optional<DxfOptions> ParseDxfOptions(std::string_view text, std::string* error) {
  if (text.size() > kMaxDxfOptionsBytes) {
    *error = "longer than " + std::to_string(kMaxDxfOptionsBytes) + " bytes";
    return std::nullopt;
  }
  size_t pos = 0;
  if (NextLine(text, &pos) != kFirstLine) {
    *error = "line 1 is not \"" + std::string(kFirstLine) + "\"";
    return std::nullopt;
  }
  DxfOptions options;
  bool units_seen = false;
  for (uint32_t number = 2; pos < text.size(); ++number) {
    const std::string_view line = NextLine(text, &pos);
    if (line.empty() && pos >= text.size()) break; // the last line's end
    const bool on = line == "units on";
    if ((!on && line != "units off") || units_seen) {
      *error = "line " + std::to_string(number) + " is not an option this station knows, or repeats one";
      return std::nullopt;
    }
    units_seen = true;
    options.units = on;
  }
  error->clear();
  return options;
}

DxfOptions LoadDxfOptions(Station& station) {
  const std::filesystem::path path = station.PathOf(kDxfOptionsFile);
  int error = 0;
  const int64_t length = FileLength(path, &error);
  if (length < 0) {
    if (error == kNotRegularFile) {
      ReportDamaged(station, path, "not a regular file");
    } else {
      ReportFileFailure(station, path, error, false);
    }
    return {};
  }
  if (length > static_cast<int64_t>(kMaxDxfOptionsBytes)) {
    ReportDamaged(station, path, "longer than " + std::to_string(kMaxDxfOptionsBytes) + " bytes");
    return {};
  }
  std::string text(static_cast<size_t>(length), '\0');
  if (length > 0 && ReadFileInto(path, text.data(), static_cast<uint32_t>(length), &error) == 0) {
    ReportFileFailure(station, path, error, false);
    return {};
  }
  std::string reason;
  const std::optional<DxfOptions> options = ParseDxfOptions(text, &reason);
  if (!options) {
    ReportDamaged(station, path, reason);
    return {};
  }
  return *options;
}

bool SaveDxfOptions(Station& station, const DxfOptions& options) {
  const std::filesystem::path path = station.PathOf(kDxfOptionsFile);
  const std::string text = FormatDxfOptions(options);
  int error = 0;
  if (WriteWholeFile(path, text.data(), static_cast<uint32_t>(text.size()), &error) == text.size()) {
    return true;
  }
  ReportFileFailure(station, path, error != 0 ? error : EIO, true);
  return false;
}

bool SetDxfUnits(Station& station, bool on) {
  DxfOptions options = LoadDxfOptions(station);
  options.units = on;
  return SaveDxfOptions(station, options);
}

void ApplyDxfOptions(Station& station, DxfSink& sink) {
  if (LoadDxfOptions(station).units) sink.units = DxfUnitsCode(station.engine.unit_factor);
}

std::optional<std::filesystem::path> SaveDxfCopy(Station& station, const std::filesystem::path& target,
                                                 std::string* error) {
  if (!EndsWithDxf(target)) {
    *error = "A DXF copy needs a name ending in .dxf.";
    return std::nullopt;
  }
  std::vector<uint8_t> drawing;
  if (ReadWholeFile(station.PathOf(kDxfFileName), drawing) == 0) {
    *error = "There is no DXF drawing to copy yet: run a DXF solution first.";
    return std::nullopt;
  }
  int why = 0;
  if (WriteWholeFile(target, drawing.data(), static_cast<uint32_t>(drawing.size()), &why) != drawing.size()) {
    *error = "Unable to write " + target.string() + ": " + FileErrorText(why != 0 ? why : EIO);
    return std::nullopt;
  }
  return target;
}

void SaveDxfCopyCommand(Station& station, const std::filesystem::path& target) {
  std::string error;
  if (const std::optional<std::filesystem::path> copy = SaveDxfCopy(station, target, &error)) {
    station.surface().ShowNote("DXF drawing copied to " + copy->string());
  } else {
    station.surface().MessageBox(error, ApplicationTitle(), MessageButtons::Ok);
  }
}

} // namespace orvane
