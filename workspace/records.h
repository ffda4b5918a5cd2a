// The workspace records. Each is the byte image of a station file
// ("XORVANE.CFG" holds Settings, "XModule<id>.CFG" a SolutionRecord), so every
// field, reserved gap and size below is part of the file format and pinned
// by static_assert. Files are little-endian; so is every host we build for.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "station files are little-endian byte images of these records");

// The region record is shared with the vision library, which takes lists of
// them; whichever header comes first defines it.
#ifndef QLX_ROI_RECORD_DEFINED
#define QLX_ROI_RECORD_DEFINED
typedef struct RoiRecord {
  int32_t left;   // inclusive corners in image pixels
  int32_t top;
  int32_t right;
  int32_t bottom;
  int32_t width;  // right - left
  int32_t height; // bottom - top
  int32_t entity_type; // DXF Auto Output: 1 Points, 2 Line, 3 Circle
  float rel_left;      // corners relative to the image size they were drawn at
  float rel_top;
  float rel_right;
  float rel_bottom;
} RoiRecord;
#endif

namespace orvane {

using ::RoiRecord;

inline constexpr uint32_t kMaxSolutions = 20;
inline constexpr uint32_t kMaxParams = 10;
inline constexpr uint32_t kMaxRois = 100;
inline constexpr uint32_t kMaxMeasSets = 8;
inline constexpr uint32_t kMaxMeasPoints = 3;
inline constexpr uint32_t kMaxResultPoints = 2;
inline constexpr uint32_t kMaxEntities = 100;
inline constexpr uint32_t kMaxEntityPoints = 100;

// How a parameter slot is shown and edited.
enum class ParamKind : int32_t {
  Unused = 0,
  Integer = 1,   // edit box and slider
  Length = 2,    // in the current unit (in. or cm)
  Area = 3,      // in the current unit squared
  Number = 4,    // plain number
  DarkLight = 5, // choice "Dark", "Light"
  Filter = 6,    // choice "None", "Even", "Sharp"
};

struct SolutionParam {
  char name[64];
  int32_t kind; // ParamKind
  float value;
  float min;
  float max;
};

struct MeasPoint {
  double x;
  double y;
  double depth; // distance from the camera of the point's set, inches
  uint8_t reserved[24];
};

struct ResultPoint {
  double x;
  double y;
  uint8_t reserved[32];
};

struct EntityPoint {
  double x;
  double y;
  double z;
};

// Kinds of drawn entity (DrawEntity::type): the number of the mouse mode that
// draws them.
enum class EntityType : uint32_t {
  Circle = 3,
  Line = 4,
  Polyline = 5,
};

// Kinds of ROI in DXF Auto Output (RoiRecord::entity_type).
enum class RoiEntity : int32_t {
  None = 0,
  Points = 1,
  Line = 2,
  Circle = 3,
};

struct DrawEntity {
  uint32_t type;
  uint32_t flag;
  uint32_t point_count;
  uint32_t reserved;
  EntityPoint points[kMaxEntityPoints];
};

// SolutionRecord::ui_flags bits.
enum UiFlag : uint32_t {
  kUiNeedsCalibration = 0x10,
  kUiShowRoiCount = 0x20,
  kUiClearMeasOnFrame = 0x80,
  kUiMouseModeMeasure = 0x100,
  kUiMouseModeDraw = 0x200,
};

// SolutionRecord::button_flags bits.
enum ButtonFlag : uint32_t {
  kButtonsAcquire = 0x1, // Grab, Live, Save, File
  kButtonProcess = 0x2,
  kButtonTrain = 0x4,
};

struct SolutionRecord {
  char name[24];
  uint32_t id;
  uint32_t settings_kind;
  uint32_t active;
  uint8_t reserved_36[40];
  uint32_t option_index;
  uint32_t ui_flags;
  uint32_t button_flags;
  uint32_t reserved_88;
  SolutionParam params[kMaxParams];
  uint32_t roi_count;
  uint32_t roi_max;
  RoiRecord rois[kMaxRois];
  uint32_t meas_count;
  uint32_t meas_max;
  uint32_t reserved_5308;
  double meas_depth[kMaxMeasSets];
  uint8_t reserved_5376[16];
  uint32_t meas_points[kMaxMeasSets];
  uint8_t reserved_5424[8];
  uint32_t meas_points_max;
  uint32_t reserved_5436;
  MeasPoint meas_point[kMaxMeasSets][kMaxMeasPoints];
  uint8_t reserved_6592[288];
  uint32_t result_point_count;
  uint32_t reserved_6884;
  ResultPoint result_points[kMaxResultPoints];
  char result_text[128];
  float result_value;
  uint32_t entity_count;
  DrawEntity entities[kMaxEntities];
  uint8_t reserved_248720[3200];
};

struct Settings {
  uint32_t format_tag;
  uint32_t reserved_4;
  uint32_t requested_width;
  uint32_t requested_height;
  uint32_t calibrated;
  uint32_t reserved_20;
  double scale_x; // pixels per inch at the current image size
  double scale_y;
  double scale_third;
  double calibration_distance; // inches
  uint32_t calibrated_width;
  uint32_t calibrated_height;
  double calibrated_scale_x;
  double calibrated_scale_y;
  double calibrated_third;
  double calibrated_distance;
  uint32_t flags;
  uint32_t last_solution;
  uint32_t on_function_change;
  uint32_t decimals_dimensions;
  uint32_t decimals_angles;
  uint32_t units; // 0 English, 1 Metric
  double unit_factor;
  uint32_t image_save_preference;
  uint32_t save_counter;
  uint32_t reserved_136;
  char reserved_140[64];
  uint32_t foreground_colour_index;
  uint32_t foreground_colour; // 0x00BBGGRR
  uint32_t background_colour_index;
  uint32_t background_colour;
  uint32_t background_brush; // run-time only; the stored value is ignored
  uint32_t camera_pixel_format;
  uint32_t reserved_228;
  char last_file_path[260];
  uint8_t reserved_492[16908];
};

// Settings::flags bits.
enum SettingsFlag : uint32_t {
  kFlagExpandWindow = 0x1,
  kFlagTextBackground = 0x2,
};

inline constexpr uint32_t kSettingsFormatTag = 230;
inline constexpr double kMetricUnitFactor = 2.5399999618530273; // 2.54f widened
inline constexpr double kInchesPerMetricUnit = 0.39370079331436747;

#define ORVANE_PIN(type, field, offset) static_assert(offsetof(type, field) == (offset), #type "." #field)

static_assert(sizeof(RoiRecord) == 44);
ORVANE_PIN(RoiRecord, left, 0);
ORVANE_PIN(RoiRecord, top, 4);
ORVANE_PIN(RoiRecord, right, 8);
ORVANE_PIN(RoiRecord, bottom, 12);
ORVANE_PIN(RoiRecord, width, 16);
ORVANE_PIN(RoiRecord, height, 20);
ORVANE_PIN(RoiRecord, entity_type, 24);
ORVANE_PIN(RoiRecord, rel_left, 28);
ORVANE_PIN(RoiRecord, rel_top, 32);
ORVANE_PIN(RoiRecord, rel_right, 36);
ORVANE_PIN(RoiRecord, rel_bottom, 40);

static_assert(sizeof(SolutionParam) == 80);
ORVANE_PIN(SolutionParam, name, 0);
ORVANE_PIN(SolutionParam, kind, 64);
ORVANE_PIN(SolutionParam, value, 68);
ORVANE_PIN(SolutionParam, min, 72);
ORVANE_PIN(SolutionParam, max, 76);

static_assert(sizeof(MeasPoint) == 48);
ORVANE_PIN(MeasPoint, x, 0);
ORVANE_PIN(MeasPoint, y, 8);
ORVANE_PIN(MeasPoint, depth, 16);
static_assert(sizeof(ResultPoint) == 48);
ORVANE_PIN(ResultPoint, y, 8);
static_assert(sizeof(EntityPoint) == 24);
static_assert(sizeof(DrawEntity) == 2416);
ORVANE_PIN(DrawEntity, flag, 4);
ORVANE_PIN(DrawEntity, point_count, 8);
ORVANE_PIN(DrawEntity, points, 16);

static_assert(sizeof(SolutionRecord) == 251920);
ORVANE_PIN(SolutionRecord, name, 0);
ORVANE_PIN(SolutionRecord, id, 24);
ORVANE_PIN(SolutionRecord, settings_kind, 28);
ORVANE_PIN(SolutionRecord, active, 32);
ORVANE_PIN(SolutionRecord, reserved_36, 36);
ORVANE_PIN(SolutionRecord, option_index, 76);
ORVANE_PIN(SolutionRecord, ui_flags, 80);
ORVANE_PIN(SolutionRecord, button_flags, 84);
ORVANE_PIN(SolutionRecord, params, 92);
ORVANE_PIN(SolutionRecord, roi_count, 892);
ORVANE_PIN(SolutionRecord, roi_max, 896);
ORVANE_PIN(SolutionRecord, rois, 900);
ORVANE_PIN(SolutionRecord, meas_count, 5300);
ORVANE_PIN(SolutionRecord, meas_max, 5304);
ORVANE_PIN(SolutionRecord, meas_depth, 5312);
ORVANE_PIN(SolutionRecord, meas_points, 5392);
ORVANE_PIN(SolutionRecord, meas_points_max, 5432);
ORVANE_PIN(SolutionRecord, meas_point, 5440);
ORVANE_PIN(SolutionRecord, result_point_count, 6880);
ORVANE_PIN(SolutionRecord, result_points, 6888);
ORVANE_PIN(SolutionRecord, result_text, 6984);
ORVANE_PIN(SolutionRecord, result_value, 7112);
ORVANE_PIN(SolutionRecord, entity_count, 7116);
ORVANE_PIN(SolutionRecord, entities, 7120);
ORVANE_PIN(SolutionRecord, reserved_248720, 248720);

static_assert(sizeof(Settings) == 17400);
ORVANE_PIN(Settings, format_tag, 0);
ORVANE_PIN(Settings, requested_width, 8);
ORVANE_PIN(Settings, requested_height, 12);
ORVANE_PIN(Settings, calibrated, 16);
ORVANE_PIN(Settings, scale_x, 24);
ORVANE_PIN(Settings, scale_y, 32);
ORVANE_PIN(Settings, scale_third, 40);
ORVANE_PIN(Settings, calibration_distance, 48);
ORVANE_PIN(Settings, calibrated_width, 56);
ORVANE_PIN(Settings, calibrated_height, 60);
ORVANE_PIN(Settings, calibrated_scale_x, 64);
ORVANE_PIN(Settings, calibrated_scale_y, 72);
ORVANE_PIN(Settings, calibrated_third, 80);
ORVANE_PIN(Settings, calibrated_distance, 88);
ORVANE_PIN(Settings, flags, 96);
ORVANE_PIN(Settings, last_solution, 100);
ORVANE_PIN(Settings, on_function_change, 104);
ORVANE_PIN(Settings, decimals_dimensions, 108);
ORVANE_PIN(Settings, decimals_angles, 112);
ORVANE_PIN(Settings, units, 116);
ORVANE_PIN(Settings, unit_factor, 120);
ORVANE_PIN(Settings, image_save_preference, 128);
ORVANE_PIN(Settings, save_counter, 132);
ORVANE_PIN(Settings, reserved_140, 140);
ORVANE_PIN(Settings, foreground_colour_index, 204);
ORVANE_PIN(Settings, foreground_colour, 208);
ORVANE_PIN(Settings, background_colour_index, 212);
ORVANE_PIN(Settings, background_colour, 216);
ORVANE_PIN(Settings, background_brush, 220);
ORVANE_PIN(Settings, camera_pixel_format, 224);
ORVANE_PIN(Settings, last_file_path, 232);
ORVANE_PIN(Settings, reserved_492, 492);

#undef ORVANE_PIN

// The measurement engine's own copy of geometry, buffers, units and
// calibration, handed over by SetEngineSettings.
struct EngineSettings {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t stride = 0;
  uint32_t bytes_per_pixel = 0;
  uint8_t* frame = nullptr;
  uint8_t* overlay = nullptr;
  uint32_t units = 0;
  double unit_factor = 1.0;
  double scale_x = 0.0;
  double scale_y = 0.0;
  double scale_third = 0.0;
  double calibration_distance = 0.0;
  uint32_t decimals_dimensions = 0;
};

} // namespace orvane
