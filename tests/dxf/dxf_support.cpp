#include "dxf/dxf_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "acquisition/acquisition.h"
#include "dxf/writer.h"
#include "workspace/solutions.h"

namespace orvane::testing {

TestImage::TestImage(Station& station, uint32_t width, uint32_t height, uint8_t grey)
    : station_(station) {
  AttachImage(station, width, height, grey);
}

void TestImage::SetGrey(int32_t x, int32_t y, uint8_t value) {
  uint8_t* p = station_.image.frame + static_cast<size_t>(y) * station_.image.stride + x * 3;
  p[0] = p[1] = p[2] = value;
}

uint8_t TestImage::Byte2(int32_t x, int32_t y) const {
  return station_.image.frame[static_cast<size_t>(y) * station_.image.stride + x * 3 + 2];
}

uint8_t TestImage::OverlayByte2(int32_t x, int32_t y) const {
  return station_.image.overlay[static_cast<size_t>(y) * station_.image.stride + x * 3 + 2];
}

void Calibrate(Station& station, double scale_x, double calibration_distance,
               double unit_factor) {
  Settings& s = station.settings;
  s.calibrated = 1;
  s.scale_x = scale_x;
  s.scale_y = scale_x;
  s.calibration_distance = calibration_distance;
  s.unit_factor = unit_factor;
  s.units = unit_factor == 1.0 ? 0 : 1;
  PublishGeometry(station);
}

SolutionRecord& DefaultRecord(Station& station, uint32_t id, float distance) {
  const uint32_t count = BuildDefaultSolutions(*station.table);
  SolutionRecord& record = *station.working;
  for (uint32_t i = 0; i < count; ++i) {
    if (station.table->slots[i].id == id) record = station.table->slots[i];
  }
  EXPECT_EQ(record.id, id);
  record.params[0].value = distance;
  record.roi_count = 0;
  record.entity_count = 0;
  return record;
}

void AddRoi(SolutionRecord& record, int32_t left, int32_t top, int32_t right, int32_t bottom,
            int32_t entity_type) {
  RoiRecord& roi = record.rois[record.roi_count++];
  roi = RoiRecord{};
  roi.left = left;
  roi.top = top;
  roi.right = right;
  roi.bottom = bottom;
  roi.width = right - left;
  roi.height = bottom - top;
  roi.entity_type = entity_type;
}

std::string DrawingText(const Station& station) {
  std::ifstream in(station.PathOf(kDxfFileName), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool DrawingExists(const Station& station) {
  return std::filesystem::exists(station.PathOf(kDxfFileName));
}

std::string Golden(const std::string& name) {
  const auto path = std::filesystem::path(ORVANE_FIXTURES) / ("dxf_" + name) / "expected.dxf";
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "missing golden file " << path;
    return "<missing golden file>";
  }
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

double DxfEntity::Number(int code) const {
  auto it = groups.find(code);
  if (it == groups.end()) {
    ADD_FAILURE() << type << " has no group " << code;
    return 0.0;
  }
  return std::strtod(it->second.c_str(), nullptr);
}

std::vector<DxfEntity> ParseEntities(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "text does not end with CR LF";
      return {};
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  std::vector<DxfEntity> entities;
  bool in_entities = false;
  for (size_t i = 0; i + 1 < lines.size(); i += 2) {
    const int code = std::atoi(lines[i].c_str());
    const std::string& value = lines[i + 1];
    if (code == 2 && value == "ENTITIES") in_entities = true;
    if (!in_entities) continue;
    if (code == 0) {
      if (value == "ENDSEC") break;
      entities.push_back({value, {}});
    } else if (!entities.empty()) {
      entities.back().groups[code] = value;
    }
  }
  return entities;
}

size_t CountType(const std::vector<DxfEntity>& entities, const std::string& type) {
  size_t n = 0;
  for (const auto& e : entities) n += e.type == type;
  return n;
}

} // namespace orvane::testing
