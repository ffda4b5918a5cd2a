// The station files are byte images: these tests read them back by offset,
// independently of the structs that wrote them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <span>

#include "station/workspace.h"
#include "support/station_fixture.h"
#include "workspace/settings.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

using testing::ReadBytes;
using testing::StationFixture;
using testing::WriteBytes;

// Expected bytes at given offsets; every byte not listed must be zero.
class ByteImage {
 public:
  void U32(size_t at, uint32_t v) { Put(at, &v, 4); }
  void I32(size_t at, int32_t v) { Put(at, &v, 4); }
  void F32Bits(size_t at, uint32_t bits) { Put(at, &bits, 4); }
  void F64(size_t at, double v) { Put(at, &v, 8); }
  void Text(size_t at, const char* s) { Put(at, s, std::strlen(s)); }

  void Check(const std::vector<uint8_t>& file, size_t size) const {
    ASSERT_EQ(file.size(), size);
    for (size_t i = 0; i < size; ++i) {
      auto it = bytes_.find(i);
      uint8_t want = it == bytes_.end() ? 0 : it->second;
      ASSERT_EQ(file[i], want) << "byte " << i;
    }
  }

 private:
  void Put(size_t at, const void* p, size_t n) {
    for (size_t i = 0; i < n; ++i) bytes_[at + i] = static_cast<const uint8_t*>(p)[i];
  }
  std::map<size_t, uint8_t> bytes_;
};

uint32_t F32(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  return bits;
}

void Param(ByteImage& img, int slot, const char* name, int32_t kind, float value, uint32_t min_bits,
           float max) {
  size_t at = 92 + 80 * slot;
  img.Text(at, name);
  img.I32(at + 64, kind);
  img.F32Bits(at + 68, F32(value));
  img.F32Bits(at + 72, min_bits);
  img.F32Bits(at + 76, F32(max));
}

ByteImage Solution(const char* name, uint32_t id, uint32_t option, uint32_t ui, uint32_t roi_max) {
  ByteImage img;
  img.Text(0, name);
  img.U32(24, id);
  img.U32(32, 1);
  img.U32(76, option);
  img.U32(80, ui);
  img.U32(84, 3);
  img.U32(896, roi_max);
  img.U32(5304, 8);
  img.U32(5432, 3);
  return img;
}

TEST(FirstStart, WritesDefaultSettingsAndSixSolutionFiles) {
  StationFixture f;
  OpenWorkspace(f.station);

  ByteImage settings;
  settings.U32(0, 230);
  settings.U32(8, 320);
  settings.U32(12, 240);
  settings.U32(96, 1);
  settings.U32(104, 2);
  settings.U32(108, 3);
  settings.U32(112, 2);
  settings.F64(120, 1.0);
  settings.U32(128, 1);
  settings.U32(204, 15);
  settings.U32(208, 0xFFFFFF);
  settings.Check(ReadBytes(f.dir.path() / "XORVANE.CFG"), 17400);

  const uint32_t tiny = 0x3727C5AC; // 0.00001 in single precision
  std::map<std::string, ByteImage> files;
  files["XModule1.CFG"] = Solution("Auto Calibration", 1, 4, 0xA0, 1);
  Param(files["XModule1.CFG"], 0, "Distance", 2, 24.0f, tiny, 999.0f);
  files["XModule2.CFG"] = Solution("Manual Calibration", 2, 4, 0xA0, 1);
  Param(files["XModule2.CFG"], 0, "Distance", 2, 24.0f, tiny, 999.0f);
  Param(files["XModule2.CFG"], 1, "Reference Width", 2, 6.0f, tiny, 999.0f);
  files["XModule101.CFG"] = Solution("Manual Measurement", 101, 4, 0x190, 0);
  files["XModule201.CFG"] = Solution("DXF Auto Output", 201, 0, 0xB0, 100);
  Param(files["XModule201.CFG"], 0, "Distance", 2, 24.0f, F32(1.0f), 999.0f);
  Param(files["XModule201.CFG"], 1, "Edge Find Threshold", 4, 16.0f, F32(1.0f), 999.0f);
  Param(files["XModule201.CFG"], 2, "Background Type", 5, 1.0f, F32(0.0f), 1.0f);
  Param(files["XModule201.CFG"], 3, "Threshold", 1, 128.0f, F32(0.0f), 255.0f);
  files["XModule202.CFG"] = Solution("DXF Simple Output", 202, 0, 0xB0, 100);
  Param(files["XModule202.CFG"], 0, "Distance", 2, 24.0f, F32(1.0f), 999.0f);
  Param(files["XModule202.CFG"], 1, "Edge Find Threshold", 4, 16.0f, F32(1.0f), 999.0f);
  files["XModule203.CFG"] = Solution("DXF Trace Output", 203, 0, 0x290, 0);
  Param(files["XModule203.CFG"], 0, "Distance", 2, 24.0f, F32(1.0f), 999.0f);

  for (const auto& [name, image] : files) {
    SCOPED_TRACE(name);
    image.Check(ReadBytes(f.dir.path() / name), 251920);
  }
  EXPECT_EQ(f.station.current_solution, 0u);
  EXPECT_STREQ(f.station.working->name, "Auto Calibration");
}

TEST(SettingsFile, ShortFileIsReplacedByDefaults) {
  StationFixture f;
  std::vector<uint8_t> junk(100, 0xAB);
  WriteBytes(f.dir.path() / "XORVANE.CFG", junk.data(), junk.size());
  LoadSettings(f.station);
  EXPECT_EQ(f.station.settings.format_tag, 230u);
  EXPECT_EQ(f.station.settings.requested_width, 320u);
  EXPECT_EQ(ReadBytes(f.dir.path() / "XORVANE.CFG").size(), 17400u);
}

TEST(SettingsFile, UnusableUnitFactorStartsAsOne) {
  for (double bad : {-1.0, 0.0, std::nan(""), HUGE_VAL}) {
    StationFixture f;
    Settings s;
    SetDefaultSettings(s);
    s.unit_factor = bad;
    s.calibration_distance = 30.0;
    s.requested_width = 640;
    s.requested_height = 480;
    WriteBytes(f.dir.path() / "XORVANE.CFG", &s, sizeof s);
    LoadSettings(f.station);
    EXPECT_EQ(f.station.settings.unit_factor, 1.0) << bad;
    EXPECT_EQ(f.station.current_distance, 30.0);
    EXPECT_EQ(f.station.image.width, 640u);
    EXPECT_EQ(f.station.image.height, 480u);
  }
}

TEST(SettingsFile, StoredFileIsTakenAsItIsAndPathIsTerminated) {
  StationFixture f;
  Settings s;
  SetDefaultSettings(s);
  s.units = 1;
  s.unit_factor = kMetricUnitFactor;
  std::memset(s.last_file_path, 'A', sizeof s.last_file_path);
  WriteBytes(f.dir.path() / "XORVANE.CFG", &s, sizeof s);
  LoadSettings(f.station);
  EXPECT_EQ(f.station.settings.units, 1u);
  EXPECT_EQ(f.station.settings.unit_factor, kMetricUnitFactor);
  EXPECT_EQ(std::strlen(f.station.settings.last_file_path), 259u);
}

// Bytes the station neither shows nor uses go back to the file unchanged,
// whatever they hold: here every byte of the reserved text at 140 to 203 and
// of the reserved block at 492.
TEST(SettingsFile, ReservedBytesAreWrittenBackByteForByte) {
  StationFixture f;
  Settings s;
  SetDefaultSettings(s);
  std::vector<uint8_t> file(sizeof s);
  std::memcpy(file.data(), &s, sizeof s);
  for (size_t i = 140; i < 204; ++i) file[i] = static_cast<uint8_t>(0x41 + i % 26);
  for (size_t i = 492; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 7 + 1);
  WriteBytes(f.dir.path() / "XORVANE.CFG", file.data(), file.size());
  LoadSettings(f.station);
  ASSERT_EQ(SaveSettings(f.station), sizeof(Settings));
  const std::vector<uint8_t> back = ReadBytes(f.dir.path() / "XORVANE.CFG");
  ASSERT_EQ(back.size(), file.size());
  for (size_t i = 0; i < file.size(); ++i) ASSERT_EQ(back[i], file[i]) << "byte " << i;
}

TEST(SolutionFile, LongerFileIsAcceptedAndExtraBytesIgnored) {
  StationFixture f;
  BuildDefaultSolutions(*f.station.table);
  SolutionRecord r = f.station.table->slots[3];
  std::strcpy(r.name, "Renamed");
  r.roi_count = 2;
  std::vector<uint8_t> bytes(sizeof r + 500, 0x5A);
  std::memcpy(bytes.data(), &r, sizeof r);
  WriteBytes(f.dir.path() / "XModule201.CFG", bytes.data(), bytes.size());

  auto out = std::make_unique<SolutionRecord>();
  EXPECT_EQ(LoadSolution(f.station, 3, out.get()), 0u);
  EXPECT_STREQ(out->name, "Renamed");
  EXPECT_EQ(out->roi_count, 2u);
  EXPECT_EQ(ReadBytes(f.dir.path() / "XModule201.CFG").size(), sizeof r + 500);
}

TEST(SolutionFile, IndexOutOfRangeLeavesOutputUntouched) {
  StationFixture f;
  ASSERT_EQ(BuildDefaultSolutions(*f.station.table), 6u);
  auto out = std::make_unique<SolutionRecord>();
  std::memset(out.get(), 0x77, sizeof *out);
  EXPECT_EQ(LoadSolution(f.station, 6, out.get()), 100u);
  for (size_t i = 0; i < sizeof *out; ++i) {
    ASSERT_EQ(reinterpret_cast<uint8_t*>(out.get())[i], 0x77);
  }
}

TEST(SolutionFile, ShortFileGivesDefaultAndIsRewritten) {
  StationFixture f;
  BuildDefaultSolutions(*f.station.table);
  std::vector<uint8_t> partial(251919, 0x11);
  WriteBytes(f.dir.path() / "XModule2.CFG", partial.data(), partial.size());
  auto out = std::make_unique<SolutionRecord>();
  EXPECT_EQ(LoadSolution(f.station, 1, out.get()), 0u);
  EXPECT_STREQ(out->name, "Manual Calibration");
  EXPECT_EQ(ReadBytes(f.dir.path() / "XModule2.CFG").size(), 251920u);
}

// A file of the right length with hostile counts must load with every count
// bounded, and the code that walks the record must stay inside it (the
// sanitizer build checks the latter).
TEST(SolutionFile, CorruptedCountsAreBoundedOnLoad) {
  StationFixture f;
  BuildDefaultSolutions(*f.station.table);
  auto evil = std::make_unique<SolutionRecord>(f.station.table->slots[3]);
  evil->roi_count = 4000000;
  evil->roi_max = 0xFFFFFFFF;
  evil->entity_count = 70000;
  evil->meas_count = 9;
  evil->meas_max = 1000;
  evil->meas_points[5] = 4;
  evil->meas_points_max = 77;
  evil->result_point_count = 3;
  for (DrawEntity& e : evil->entities) e.point_count = 101;
  evil->entities[4].point_count = 100;
  evil->meas_points[2] = 3;
  std::memset(evil->name, 'N', sizeof evil->name);
  std::memset(evil->result_text, 'R', sizeof evil->result_text);
  std::memset(evil->params[9].name, 'P', sizeof evil->params[9].name);
  for (RoiRecord& r : evil->rois) {
    r = RoiRecord{-5, -7, 900000, 2000000000, 0, 0, 3, std::nanf(""), -1e30f, 1e30f, 0.5f};
  }
  WriteBytes(f.dir.path() / "XModule201.CFG", evil.get(), sizeof *evil);

  auto out = std::make_unique<SolutionRecord>();
  ASSERT_EQ(LoadSolution(f.station, 3, out.get()), 0u);
  EXPECT_EQ(out->roi_count, 100u);
  EXPECT_EQ(out->roi_max, 100u);
  EXPECT_EQ(out->entity_count, 100u);
  EXPECT_EQ(out->meas_count, 8u);
  EXPECT_EQ(out->meas_max, 8u);
  EXPECT_EQ(out->meas_points[5], 3u);
  EXPECT_EQ(out->meas_points[2], 3u);
  EXPECT_EQ(out->meas_points_max, 3u);
  EXPECT_EQ(out->result_point_count, 2u);
  EXPECT_EQ(out->entities[0].point_count, 100u);
  EXPECT_EQ(std::strlen(out->name), 23u);
  EXPECT_EQ(std::strlen(out->result_text), 127u);
  EXPECT_EQ(std::strlen(out->params[9].name), 63u);
  // Corners are kept as stored; only a clamped copy is walked.
  EXPECT_EQ(out->rois[0].left, -5);

  *f.station.working = *out;
  PullRoisInside(*out, 640, 480);
  f.station.image.width = 640;
  f.station.image.height = 480;
  RescaleAllRois(f.station, 640, 480);
  ASSERT_EQ(LoadSolution(f.station, 3, out.get()), 0u);
  for (uint32_t i = 0; i < out->roi_count; ++i) {
    const RoiRecord& r = out->rois[i];
    ASSERT_TRUE(r.left >= 0 && r.left < 640 && r.right >= 0 && r.right < 640) << i;
    ASSERT_TRUE(r.top >= 0 && r.top < 480 && r.bottom >= 0 && r.bottom < 480) << i;
  }
}

// The in-memory check is the loader's own rule: what it accepts and what the
// file gives are the same record, and fewer bytes than a record change nothing.
TEST(SolutionFile, BytesInMemoryFollowTheLoadersRule) {
  StationFixture f;
  BuildDefaultSolutions(*f.station.table);
  auto stored = std::make_unique<SolutionRecord>(f.station.table->slots[3]);
  stored->roi_count = 5000;
  std::memset(stored->name, 'N', sizeof stored->name);
  std::vector<uint8_t> bytes(sizeof *stored + 3, 0xEE);
  std::memcpy(bytes.data(), stored.get(), sizeof *stored);

  auto out = std::make_unique<SolutionRecord>();
  std::memset(out.get(), 0x77, sizeof *out);
  const std::span<const uint8_t> all(bytes);
  EXPECT_FALSE(SolutionRecordFromBytes(all.first(sizeof *stored - 1), out.get()));
  EXPECT_FALSE(SolutionRecordFromBytes({}, out.get()));
  EXPECT_EQ(out->id, 0x77777777u);

  ASSERT_TRUE(SolutionRecordFromBytes(all, out.get()));
  EXPECT_EQ(out->roi_count, 100u);
  EXPECT_EQ(std::strlen(out->name), 23u);
  WriteBytes(f.dir.path() / "XModule201.CFG", bytes.data(), bytes.size());
  auto loaded = std::make_unique<SolutionRecord>();
  ASSERT_EQ(LoadSolution(f.station, 3, loaded.get()), 0u);
  EXPECT_EQ(std::memcmp(loaded.get(), out.get(), sizeof *out), 0);
}

} // namespace
} // namespace orvane
