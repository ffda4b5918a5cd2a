// The DXF drawing writer: an ASCII DXF file with an empty HEADER section, one
// comment and an ENTITIES section of POINT, LINE and CIRCLE records on the
// layer "Layer1". Every line ends with CR LF; every number is FormatNumber's
// text with 9 decimals. A record is built whole and handed to the sink in one
// piece, so a record is never split across two writes.
//
// Callers use the operations in this order for one run: DxfScale, DxfBegin,
// any number of DxfPoint / DxfLine / DxfCircle, DxfEnd (which finishes the
// sink).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// The drawing file of every DXF run, replaced by each run.
inline constexpr const char* kDxfFileName = "DXF\\FILE.DXF";

// Where the DXF text goes. Replace starts a new content; Append adds one
// piece at the end; Finish closes the drawing. Sinks never stop a run: a
// drawing that cannot be written is reported by the caller, not by the sink.
class DxfSink {
 public:
  virtual ~DxfSink() = default;
  virtual void Replace(std::string_view text) = 0;
  virtual void Append(std::string_view text) = 0;
  virtual void Finish() {}

  // When set, DxfBegin names the drawing's unit in the header ($INSUNITS
  // with this code); unset, the header section stays empty.
  std::optional<int32_t> units;
  // Entities written since DxfBegin.
  uint32_t points = 0;
  uint32_t lines = 0;
  uint32_t circles = 0;
};

// Keeps the text in memory.
class DxfStringSink final : public DxfSink {
 public:
  void Replace(std::string_view text) override { text_.assign(text); }
  void Append(std::string_view text) override { text_.append(text); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// Writes to a file, whole or not at all: the drawing is gathered in memory
// and Finish replaces the file with it through a temporary file beside it
// that is renamed over the old one, so an interrupted or failed run leaves
// the previous drawing as it was. Finish first creates the file's folder (one
// level; a failure, such as a folder that already exists, is ignored). A sink
// destroyed before Finish writes nothing.
class DxfFileSink final : public DxfSink {
 public:
  explicit DxfFileSink(std::filesystem::path path);
  DxfFileSink(const DxfFileSink&) = delete;
  DxfFileSink& operator=(const DxfFileSink&) = delete;

  void Replace(std::string_view text) override;
  void Append(std::string_view text) override;
  void Finish() override;

  const std::filesystem::path& path() const { return path_; }
  // 0 while nothing failed; after a failed Finish, the reason (an errno
  // value, or kNotRegularFile for a drawing path that is not a regular file).
  int error() const { return error_; }

 private:
  std::filesystem::path path_;
  std::string text_;
  int error_ = 0;
};

// The size k of one pixel in drawing units (inches, or centimetres with the
// metric unit factor), for an object at `distance` (user units) from the
// camera: S = (Pc * (1 / u)) / ((D * (1 / u)) / Dc) pixels per unit, evaluated
// in that order, and k = 1 / S. No scale (nullopt) when the distance, the
// calibration distance or the unit factor is 0, and also when the calibrated
// density is 0 or not finite or S or k is not finite, which would otherwise
// fill the drawing with "inf" and "nan".
std::optional<double> DxfScale(double distance, double pixels_per_inch,
                               double calibration_distance, double unit_factor);

// Drawing coordinates of image position (x, y) in an image `height` rows
// high: X = x * k, Y = (height - y) * k (y up; the top row is at height * k).
inline double DxfX(double x, double k) { return x * k; }
inline double DxfY(double y, uint32_t height, double k) {
  return (static_cast<double>(height) - y) * k;
}

// $INSUNITS codes of the units a drawing can be in.
inline constexpr int32_t kDxfUnitless = 0;
inline constexpr int32_t kDxfInches = 1;
inline constexpr int32_t kDxfCentimetres = 5;

// The code of the unit a drawing made with `unit_factor` is in: 1 draws in
// inches, the metric factor in centimetres; any other factor (only a damaged
// settings file holds one) is no unit a CAD program could scale by.
int32_t DxfUnitsCode(double unit_factor);

// Header section (with the sink's unit, when it has one), comment and start
// of entities, as the new content.
void DxfBegin(DxfSink& sink);
void DxfPoint(DxfSink& sink, double x, double y, double z);
void DxfLine(DxfSink& sink, double x1, double y1, double z1, double x2, double y2, double z2);
void DxfCircle(DxfSink& sink, double x, double y, double z, double radius);
// End of the entities section and of the file.
void DxfEnd(DxfSink& sink);

}  // namespace orvane
