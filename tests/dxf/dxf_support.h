// Helpers of the DXF tests: an image attached to a station, a calibrated
// station, records from the default table, golden files and a small reader
// of the DXF files the writer produces.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "station/image_state.h"
#include "station/station.h"
#include "support/station_fixture.h"
#include "workspace/records.h"

namespace orvane::testing {

// Owns the buffers of a W x H image and makes it the station's current image
// (registered with the vision library). Pixels start at `grey`.
class TestImage {
 public:
  TestImage(Station& station, uint32_t width, uint32_t height, uint8_t grey = 0);
  void SetGrey(int32_t x, int32_t y, uint8_t value);
  uint8_t Byte2(int32_t x, int32_t y) const;
  uint8_t OverlayByte2(int32_t x, int32_t y) const;
  uint8_t* frame() { return station_.image.frame; }

 private:
  Station& station_;
};

// Calibrates the station: scale_x pixels per inch at calibration_distance
// inches, with the given unit factor, and hands it to the engine.
void Calibrate(Station& station, double scale_x, double calibration_distance,
               double unit_factor = 1.0);

// The default record of solution `id`, with `distance` in parameter slot 0.
SolutionRecord& DefaultRecord(Station& station, uint32_t id, float distance = 24.0f);

// Appends an ROI (inclusive corners) of the given DXF entity type.
void AddRoi(SolutionRecord& record, int32_t left, int32_t top, int32_t right, int32_t bottom,
            int32_t entity_type = 0);

// The station's drawing file, or "" when there is none.
std::string DrawingText(const Station& station);
bool DrawingExists(const Station& station);

// tests/fixtures/dxf_<name>/expected.dxf; a missing file fails the test.
std::string Golden(const std::string& name);

// One entity of the ENTITIES section: its type and its groups by code
// (every group but 0).
struct DxfEntity {
  std::string type;
  std::map<int, std::string> groups;
  double Number(int code) const;
};

// The entities of a DXF text; a malformed text fails the test.
std::vector<DxfEntity> ParseEntities(const std::string& text);

size_t CountType(const std::vector<DxfEntity>& entities, const std::string& type);

} // namespace orvane::testing
