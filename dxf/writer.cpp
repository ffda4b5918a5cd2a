#include "dxf/writer.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <system_error>

#include "draw/format.h"
#include "workspace/records.h"
#include "workspace/files.h"

namespace orvane {
namespace {

constexpr std::string_view kHeaderOpen = "0\r\nSECTION\r\n2\r\nHEADER\r\n";
constexpr std::string_view kHeaderClose =
    "0\r\nENDSEC\r\n"
    "999\r\nCreated by Lumivor DXF\r\n"
    "0\r\nSECTION\r\n2\r\nENTITIES\r\n";
constexpr std::string_view kEnd = "0\r\nENDSEC\r\n0\r\nEOF\r\n";
constexpr int32_t kDecimals = 9;

// One entity record, built in a fixed buffer: the longest (a LINE) has six
// numbers of at most 127 characters each and about 80 bytes of fixed text.
class Record {
 public:
  Record& Text(std::string_view text) {
    std::memcpy(end_, text.data(), text.size());
    end_ += text.size();
    return *this;
  }
  // The group code line, the number and its line end.
  Record& Value(std::string_view code, double value) {
    Text(code);
    end_ += FormatNumberTo(end_, value, kDecimals);
    return Text("\r\n");
  }
  std::string_view view() const { return {buffer_, static_cast<size_t>(end_ - buffer_)}; }

 private:
  char buffer_[1024];
  char* end_ = buffer_;
};

}  // namespace

DxfFileSink::DxfFileSink(std::filesystem::path path) : path_(std::move(path)) {}

void DxfFileSink::Replace(std::string_view text) { text_.assign(text); }

void DxfFileSink::Append(std::string_view text) { text_.append(text); }

void DxfFileSink::Finish() {
  std::error_code ignored;
  std::filesystem::create_directory(path_.parent_path(), ignored);
  error_ = 0;
  if (WriteWholeFile(path_, text_.data(), static_cast<uint32_t>(text_.size()), &error_) !=
      text_.size()) {
    if (error_ == 0) error_ = EFBIG;  // a drawing beyond 4 GiB
  } else {
    error_ = 0;
  }
}

std::optional<double> DxfScale(double distance, double pixels_per_inch,
                               double calibration_distance, double unit_factor) {
  if (distance == 0.0 || calibration_distance == 0.0 || unit_factor == 0.0) return std::nullopt;
  if (pixels_per_inch == 0.0 || !std::isfinite(pixels_per_inch)) return std::nullopt;
  const double scale = (pixels_per_inch * (1.0 / unit_factor)) /
                       ((distance * (1.0 / unit_factor)) / calibration_distance);
  if (!std::isfinite(scale) || scale == 0.0) return std::nullopt;
  const double k = 1.0 / scale;
  if (!std::isfinite(k)) return std::nullopt;
  return k;
}

int32_t DxfUnitsCode(double unit_factor) {
  if (unit_factor == 1.0) return kDxfInches;
  if (unit_factor == kMetricUnitFactor) return kDxfCentimetres;
  return kDxfUnitless;
}

void DxfBegin(DxfSink& sink) {
  sink.points = sink.lines = sink.circles = 0;
  std::string header(kHeaderOpen);
  if (sink.units) header += "9\r\n$INSUNITS\r\n70\r\n" + std::to_string(*sink.units) + "\r\n";
  header += kHeaderClose;
  sink.Replace(header);
}

void DxfPoint(DxfSink& sink, double x, double y, double z) {
  Record r;
  r.Text("0\r\nPOINT\r\n8\r\nLayer1\r\n").Value("10\r\n", x).Value("20\r\n", y).Value("30\r\n", z);
  ++sink.points;
  sink.Append(r.view());
}

void DxfLine(DxfSink& sink, double x1, double y1, double z1, double x2, double y2, double z2) {
  Record r;
  r.Text("0\r\nLINE\r\n8\r\nLayer1\r\n")
      .Value("10\r\n", x1)
      .Value("20\r\n", y1)
      .Value("30\r\n", z1)
      .Value("11\r\n", x2)
      .Value("21\r\n", y2)
      .Value("31\r\n", z2);
  ++sink.lines;
  sink.Append(r.view());
}

void DxfCircle(DxfSink& sink, double x, double y, double z, double radius) {
  Record r;
  r.Text("0\r\nCIRCLE\r\n8\r\nLayer1\r\n")
      .Value("10\r\n", x)
      .Value("20\r\n", y)
      .Value("30\r\n", z)
      .Value("40\r\n", radius);
  ++sink.circles;
  sink.Append(r.view());
}

void DxfEnd(DxfSink& sink) {
  sink.Append(kEnd);
  sink.Finish();
}

}  // namespace orvane
