// Records that cannot be written or read: what is in memory is never lost,
// and each file's failure is said once, with the system's reason.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "station/workspace.h"
#include "support/station_fixture.h"
#include "workspace/settings.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Messages(const testing::StationFixture& f) {
  std::vector<std::string> texts;
  for (const LoggedMessageBox& box : f.surface.message_boxes()) texts.push_back(box.text);
  return texts;
}

// A parameter typed and an ROI drawn just before saves start to fail (a full
// disk) survive every later save and reload of the working record, the
// rescale of File mode included, and reach the file once a save succeeds.
TEST(SaveFailure, EditsSurviveFailedSavesAndEachFileIsReportedOnce) {
  testing::StationFixture f;
  Station& st = f.station;
  OpenWorkspace(st);
  const fs::path solution = st.PathOf(SolutionFileName(st.working->id));
  const fs::path settings = st.PathOf(kSettingsFileName);
  st.working->params[0].value = 40.0f;
  st.working->roi_count = 1;
  st.working->rois[0] = RoiRecord{10, 20, 110, 220, 100, 200, 0, 0, 0, 0, 0};
  SetRelativeCorners(st.working->rois[0], st.image.width, st.image.height);
  {
    testing::FileSizeLimit full_disk(1000);
    SaveSolution(st, *st.working);
    EXPECT_EQ(SaveSettings(st), 0u);
    LoadSolution(st, st.current_solution, st.working.get());
    RescaleAllRois(st, st.image.width, st.image.height);
    SaveSolution(st, *st.working);
    EXPECT_EQ(SaveSettings(st), 0u);
  }
  EXPECT_EQ(st.working->params[0].value, 40.0f);
  ASSERT_EQ(st.working->roi_count, 1u);
  EXPECT_EQ(st.working->rois[0].right, 110);
  // Each file once: the working record's, the settings, then the other
  // solution files the rescale saved.
  const std::vector<std::string> said = Messages(f);
  ASSERT_EQ(said.size(), st.table->count + 1);
  EXPECT_EQ(said[0], "Unable to write " + solution.string() + ": File too large");
  EXPECT_EQ(said[1], "Unable to write " + settings.string() + ": File too large");
  SaveSolution(st, *st.working);
  EXPECT_EQ(st.unsaved_solutions.count(st.working->id), 0u);
  auto stored = std::make_unique<SolutionRecord>();
  const std::vector<uint8_t> bytes = testing::ReadBytes(solution);
  ASSERT_EQ(bytes.size(), sizeof(SolutionRecord));
  std::memcpy(stored.get(), bytes.data(), sizeof(SolutionRecord));
  EXPECT_EQ(stored->params[0].value, 40.0f);
  EXPECT_EQ(stored->roi_count, 1u);
}

// Station files that are there but cannot be read are said before the
// defaults take their place (once, though the default is then written back
// and fails too); a short file stays silent. A pipe is never waited on.
TEST(SaveFailure, UnreadableFilesAtStartUpAreReportedBeforeTheDefaults) {
  testing::StationFixture f;
  Station& st = f.station;
  BuildDefaultSolutions(*st.table);
  const fs::path settings = st.PathOf(kSettingsFileName);
  const fs::path first = st.PathOf(SolutionFileName(st.table->slots[0].id));
  const fs::path second = st.PathOf(SolutionFileName(st.table->slots[1].id));
  ASSERT_EQ(::mkfifo(settings.c_str(), 0644), 0);
  fs::create_directory(first);
  testing::WriteBytes(second, "short", 5);
  OpenWorkspace(st);
  EXPECT_EQ(Messages(f),
            (std::vector<std::string>{"Unable to read " + settings.string() + ": Not a regular file",
                                      "Unable to read " + first.string() + ": Not a regular file"}));
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(settings)));
  EXPECT_TRUE(fs::is_directory(first));
  EXPECT_EQ(fs::file_size(second), sizeof(SolutionRecord));  // the default, written back
  EXPECT_EQ(st.settings.requested_width, 320u);
}

// The workspace itself touches no station: it hands each failure's reason to
// its caller, and a load that only finds a short file gives none.
TEST(SaveFailure, WorkspaceGivesTheReasonsToItsCaller) {
  testing::StationFixture f;
  const fs::path folder = f.station.folder();
  auto table = std::make_unique<SolutionTable>();
  BuildDefaultSolutions(*table);
  auto record = std::make_unique<SolutionRecord>();
  Settings settings{};
  LoadFailure failure;
  LoadSettings(folder, settings, &failure);
  EXPECT_EQ(failure.read_error, ENOENT);  // missing (the station stays silent on it)
  EXPECT_EQ(failure.write_error, 0);      // the defaults were written
  fs::remove(PathIn(folder, kSettingsFileName));
  ASSERT_EQ(::mkfifo(PathIn(folder, kSettingsFileName).c_str(), 0644), 0);
  fs::create_directory(PathIn(folder, SolutionFileName(table->slots[0].id)));
  testing::WriteBytes(PathIn(folder, SolutionFileName(table->slots[1].id)), "short", 5);
  failure = {};
  LoadSettings(folder, settings, &failure);
  EXPECT_EQ(failure.read_error, kNotRegularFile);
  EXPECT_EQ(failure.write_error, kNotRegularFile);  // the pipe is not replaced
  failure = {};
  EXPECT_EQ(LoadSolution(folder, *table, 1, record.get(), &failure), 0u);
  EXPECT_EQ(failure.read_error, 0);
  EXPECT_EQ(failure.write_error, 0);
  int error = -2;
  {
    testing::FileSizeLimit full_disk(1000);
    failure = {};
    EXPECT_EQ(LoadSolution(folder, *table, 0, record.get(), &failure), 0u);
    EXPECT_EQ(failure.read_error, kNotRegularFile);
    EXPECT_EQ(failure.write_error, kNotRegularFile);
    EXPECT_EQ(SaveSolution(folder, *record, &error), 0u);
    EXPECT_EQ(error, kNotRegularFile);
    record->id = table->slots[1].id;
    SaveSolution(folder, *record, &error);
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(SaveSettings(folder, settings, &error), 0u);
    EXPECT_EQ(error, kNotRegularFile);
  }
  SaveSolution(folder, *record, &error);
  EXPECT_EQ(error, 0);
}

}  // namespace
}  // namespace orvane
