#include "inspect/program_session.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <map>

#include "acquisition/acquisition.h"
#include "acquisition/pixels.h"
#include "inspect/program_draw.h"
#include "inspect/program_file.h"
#include "view/measure_results.h"
#include "results/session.h"
#include "workspace/files.h"
#include "support/station_fixture.h"
#include "tests/inspect/plate_station.h"
#include "tests/results/code_picture.h"

namespace orvane::testing {
namespace {

// The rows a query on the station's database answers, "a|b" a line.
std::string Query(const std::filesystem::path& path, const char* sql) {
  sqlite3* db = nullptr;
  sqlite3_stmt* s = nullptr;
  std::string out;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK) {
    while (sqlite3_step(s) == SQLITE_ROW) {
      for (int i = 0; i < sqlite3_column_count(s); ++i) {
        const unsigned char* t = sqlite3_column_text(s, i);
        out += (i ? "|" : "") + (t ? std::string(reinterpret_cast<const char*>(t)) : "NULL");
      }
      out += "\n";
    }
  }
  sqlite3_finalize(s);
  sqlite3_close(db);
  return out;
}

TEST(ProgramSession, TeachSaveLoadRunAndRecordParts) {
  StationFixture f;
  Station& st = f.station;
  TeachPlateProgram(st);
  ASSERT_TRUE(SetStepTolerance(st, "W2", Tolerance(220.0, 0.2)));
  ASSERT_TRUE(SetStepTolerance(st, "W1", Tolerance(121.0, 0.2)));
  EXPECT_FALSE(SetStepTolerance(st, "E1", Tolerance(1.0, 0.2))) << "a feature has no tolerance";
  std::string why;
  ASSERT_TRUE(SaveProgram(st, &why)) << why;
  EXPECT_EQ(ProgramNames(st.folder()), std::vector<std::string>{"PLATE"});
  EXPECT_FALSE(NewProgram(st, "PLATE", &why)) << "a program's file is never overwritten by a new one";

  ProgramOf(st).program.reset();
  ASSERT_TRUE(LoadProgram(st, "PLATE", &why)) << why;
  ShowPlate(st, 300, 250, 140);
  const ResultsTable& table = ResultsOf(st).table;
  for (uint32_t part = 1; part <= 2; ++part) {
    const std::optional<ProgramRun> run = RunOpenProgram(st, &why);
    ASSERT_TRUE(run && run->found) << why;
    EXPECT_FALSE(run->pass) << "W1 is out of its tolerance";
    EXPECT_EQ(ProgramOf(st).last_part, part);
  }
  ASSERT_EQ(table.rows().size(), 22u);
  // Each run a part of the database, its dimensions with it.
  const std::filesystem::path db = st.PathOf(kResultsDbName);
  EXPECT_EQ(Query(db, "SELECT number, program, verdict FROM parts ORDER BY id"), "1|PLATE|fail\n2|PLATE|fail\n");
  EXPECT_EQ(Query(db, "SELECT count(*), min(label) FROM measurements WHERE part = '2' AND program = 'PLATE'"),
            "11|A1\n");
  const ResultRow& second = table.rows()[11]; // the second part's first row
  EXPECT_EQ(second.label, "D1");
  EXPECT_EQ(second.note, "part 2 fail, program PLATE");
  for (const ResultRow& row : table.rows()) {
    if (row.label == "W2") {
      EXPECT_EQ(table.VerdictOf(row), Verdict::Pass);
    } else if (row.label == "W1") {
      EXPECT_EQ(table.VerdictOf(row), Verdict::Fail);
    } else if (row.label == "A1") {
      EXPECT_EQ(row.unit, "deg");
    }
  }

  // No part in the picture: said, and nothing recorded.
  ShowPlate(st, 0, 0, 0, false);
  const std::optional<ProgramRun> absent = RunOpenProgram(st, &why);
  ASSERT_TRUE(absent);
  EXPECT_FALSE(absent->found);
  EXPECT_EQ(table.rows().size(), 22u);

  // A new session reads the part numbers on from the table.
  ProgramOf(st) = ProgramSession{};
  ASSERT_TRUE(LoadProgram(st, "PLATE", &why));
  ShowPlate(st, 320, 240, 0);
  ASSERT_TRUE(RunOpenProgram(st, &why));
  EXPECT_EQ(ProgramOf(st).last_part, 3u);
}

TEST(ProgramSession, RefusalsLeaveTheProgramAsItWas) {
  StationFixture f;
  Station& st = f.station;
  std::string why;
  qgPoint pts[3] = {{100, 100}, {200, 100}, {0, 0}};
  EXPECT_FALSE(AddFeature(st, StepKind::Line, "E1", pts, &why));
  EXPECT_NE(why.find("no program is open"), std::string::npos);
  EXPECT_FALSE(RunOpenProgram(st, &why));
  EXPECT_FALSE(NewProgram(st, "../escape", &why));
  TeachPlateProgram(st);
  const Program before = *ProgramOf(st).program;
  // Not on an edge, a label taken, a bad label, a dimension of a width.
  const qgPoint nowhere[3] = {{20, 20}, {60, 20}, {0, 0}};
  EXPECT_FALSE(AddFeature(st, StepKind::Line, "E9", nowhere, &why));
  EXPECT_FALSE(AddFeature(st, StepKind::Line, "E1", pts, &why));
  EXPECT_FALSE(AddFeature(st, StepKind::Line, "two words", pts, &why));
  EXPECT_FALSE(AddDimension(st, StepKind::Distance, "L9", "W1", "E1", &why));
  EXPECT_FALSE(DeleteStep(st, "E1", &why)) << "L3 uses E1";
  EXPECT_FALSE(MoveStep(st, "D1", -1, &why));
  EXPECT_FALSE(RenameStep(st, "E1", "E2", &why));
  // The part gone from the picture: nothing is taught.
  ShowPlate(st, 0, 0, 0, false);
  EXPECT_FALSE(AddFeature(st, StepKind::Line, "E9", pts, &why));
  EXPECT_EQ(why, "the part is not found in the picture");
  EXPECT_EQ(*ProgramOf(st).program, before);

  ASSERT_TRUE(RenameStep(st, "E1", "Left", &why)) << why;
  EXPECT_EQ(FindStep(*ProgramOf(st).program, "L3")->a, "Left");
  ASSERT_TRUE(MoveStep(st, "W3", -1, &why)) << why;
  EXPECT_EQ(ProgramOf(st).program->steps[8].label, "W3");
  // A dimension moves up until the feature it uses.
  int moves = 0;
  while (MoveStep(st, "L1", -1, &why)) ++moves;
  EXPECT_EQ(moves, 8);
  EXPECT_EQ(why, "L1 uses D2, which stays above it");
  ASSERT_TRUE(DeleteStep(st, "A2", &why)) << why;
  EXPECT_EQ(FindStep(*ProgramOf(st).program, "A2"), nullptr);
}

// A damaged program file is refused with its line; the open program and
// the file stay as they were.
TEST(ProgramSession, DamagedFileRefused) {
  StationFixture f;
  Station& st = f.station;
  TeachPlateProgram(st);
  std::string why;
  ASSERT_TRUE(SaveProgram(st, &why));
  const std::filesystem::path path = ProgramPath(st.folder(), "PLATE");
  std::vector<uint8_t> bytes = ReadBytes(path);
  const std::string damaged = "orvane-program 1\nstep circle D1 1 2\nend\n";
  WriteBytes(st.PathOf("BROKEN.OIP"), damaged.data(), damaged.size());
  const Program before = *ProgramOf(st).program;
  EXPECT_FALSE(LoadProgram(st, "BROKEN", &why));
  EXPECT_EQ(why, "BROKEN.OIP is damaged and was not loaded: line 2: a circle takes 6 coordinates");
  EXPECT_EQ(*ProgramOf(st).program, before);
  EXPECT_EQ(ReadBytes(st.PathOf("BROKEN.OIP")).size(), damaged.size());
  EXPECT_EQ(ReadBytes(path), bytes);
  // A program is one of the station's files: an export never overwrites it.
  EXPECT_TRUE(IsStationFile(st.folder(), path));
  EXPECT_FALSE(IsStationFile(st.folder(), st.PathOf("PLATE.OIP.csv")));
}

} // namespace
} // namespace orvane::testing

namespace orvane::testing {
namespace {

// With automatic runs on, a new picture runs the program and says so; the
// overlay shows the verdict and each value in its verdict's colour; a
// picture that failed to load leaves no run drawn.
TEST(ProgramSession, AutomaticRunAndOverlay) {
  StationFixture f;
  Station& st = f.station;
  TeachPlateProgram(st);
  ASSERT_TRUE(SetStepTolerance(st, "W2", Tolerance(220.0, 0.2)));
  ASSERT_TRUE(SetStepTolerance(st, "W1", Tolerance(121.0, 0.2)));
  ShowPlate(st, 330, 230, -75);
  PictureArrived(st, true);
  EXPECT_FALSE(ProgramOf(st).last_run) << "automatic runs are off until chosen";
  ProgramOf(st).auto_run = true;
  PictureArrived(st, true);
  ASSERT_TRUE(ProgramOf(st).last_run);
  EXPECT_EQ(ResultsOf(st).pending_notices.back(), "program run: part 1 fail");

  std::map<std::string, Rgb> drawn;
  st.overlay_text_observer = [&](int32_t, int32_t, std::string_view text, Rgb colour) {
    drawn[std::string(text.substr(0, text.find(' ')))] = colour;
  };
  DrawProgramRun(st);
  auto same = [](Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; };
  EXPECT_TRUE(drawn.count("FAIL"));
  EXPECT_TRUE(same(drawn.at("W1"), kFailColour));
  EXPECT_TRUE(same(drawn.at("W2"), kPassColour));
  EXPECT_TRUE(same(drawn.at("D1"), kNoToleranceColour));
  // A report made without a station draws the run into its picture as the
  // overlay lies over the frame.
  st.mark_size_class = MarkSizeClass(st.image.width, st.image.height);
  ClearOverlay(st);
  DrawProgramRun(st);
  std::vector<uint8_t> shown(st.image.size), drawn_in(st.image.frame, st.image.frame + st.image.size);
  ComposeBytes(st.image.frame, st.image.overlay, shown.data(), shown.size());
  DrawRunOnPicture(drawn_in.data(), st.image.width, st.image.height, st.image.stride, *ProgramOf(st).program,
                   *ProgramOf(st).last_run);
  EXPECT_TRUE(shown == drawn_in);
  EXPECT_FALSE(std::equal(shown.begin(), shown.end(), st.image.frame)) << "the run draws something";

  drawn.clear();
  PictureArrived(st, false);
  DrawProgramRun(st);
  EXPECT_TRUE(drawn.empty());
  EXPECT_EQ(ResultsOf(st).table.rows().size(), 11u) << "a picture that did not load runs nothing";
}

// While recording, each gauge the operator measures with becomes a step
// (the plate's centre at 320, 240 in station coordinates 319.5, 239.5).
TEST(ProgramSession, RecordingTakesGaugesAsSteps) {
  StationFixture f;
  Station& st = f.station;
  TeachPlateProgram(st);
  const size_t before = ProgramOf(st).program->steps.size();
  ToolClick(st, MeasureTool::Diameter, 277.5, 239.5);
  ToolClick(st, MeasureTool::Diameter, 259.5, 257.5);
  ToolClick(st, MeasureTool::Diameter, 241.5, 239.5);
  EXPECT_EQ(ProgramOf(st).program->steps.size(), before) << "not recording";
  ProgramOf(st).recording = true;
  for (const auto& [x, y] : {std::pair{277.5, 239.5}, {259.5, 257.5}, {241.5, 239.5}}) {
    ToolClick(st, MeasureTool::Diameter, x, y);
  }
  ToolClick(st, MeasureTool::Width, 289.5, 164.5);
  ToolClick(st, MeasureTool::Width, 289.5, 314.5);
  ToolClick(st, MeasureTool::Edge, 20, 20);
  ToolClick(st, MeasureTool::Edge, 60, 20);
  const Program& program = *ProgramOf(st).program;
  ASSERT_EQ(program.steps.size(), before + 2);
  EXPECT_EQ(program.steps[before].label, "D3");
  EXPECT_NEAR(program.steps[before].points[0].x, -42.0, 0.1) << "kept in the part's frame";
  EXPECT_EQ(program.steps[before + 1].label, "W4");
  EXPECT_EQ(ProgramOf(st).record_problem, "E5: no straight edge along the segment");
}

// The identity read from a code printed beside the plate where the program's
// region puts it, however the plate lies; a part whose code cannot be read
// has none (never the part's before it) and, with an identity required, is
// not passed, saying why; without a region the typed identity serves.
TEST(ProgramSession, IdentityFromTheCodeRegionAndRequired) {
  StationFixture f;
  Station& st = f.station;
  TeachPlateProgram(st);
  std::string why;
  // The plate, and the code 150 px right of its centre in its own frame.
  const auto show = [&](double x, double y, double deg, const char* code) {
    ShowPlate(st, x, y, deg);
    const std::optional<PartPose> pose = LocatePart(*ProgramOf(st).model, false, GaugePicture(st.image));
    ASSERT_TRUE(pose);
    double cx = 0.0, cy = 0.0;
    PartToPicture(*pose, 150, 0, &cx, &cy);
    if (code) test::StampCode(st.image.frame, 640, 480, ZXing::BarcodeFormat::DataMatrix, code, 3, -pose->angle_deg, cx, cy);
  };
  show(320, 240, 0, "SN-1");
  ASSERT_TRUE(SetCodeRegion(st, CodeRegion{320 + 150 - 45, 240 - 45, 90, 90}, &why)) << why;
  const struct {
    double x, y, deg;
    const char* code; // printed on the part
    bool required;
    const char* typed;
    const char* identity; // the run's
    const char* problem;
  } cases[] = {
      {320, 240, 0, "SN-1", false, "", "SN-1", ""},
      {300, 255, 25, "SN-2", true, "", "SN-2", ""},
      {330, 230, -15, nullptr, false, "SN-2", "", ""},
      {330, 230, -15, nullptr, true, "TYPED", "", "no code read in the part-id region"},
  };
  for (const auto& c : cases) {
    show(c.x, c.y, c.deg, c.code);
    ASSERT_TRUE(SetIdentityRequired(st, c.required, &why));
    ResultsOf(st).part_id = c.typed;
    const std::optional<ProgramRun> run = RunOpenProgram(st, &why);
    ASSERT_TRUE(run && run->found) << why;
    EXPECT_EQ(run->identity, c.identity) << c.x;
    EXPECT_EQ(ResultsOf(st).part_id, c.identity);
    EXPECT_EQ(ResultsOf(st).table.rows().back().part, c.identity);
    EXPECT_EQ(run->identity_problem, c.problem);
    EXPECT_EQ(run->pass, *c.problem == '\0');
  }
  // Without a region the typed identity is the part's, and none is none.
  ASSERT_TRUE(SetCodeRegion(st, std::nullopt, &why));
  for (const char* typed : {"T-9", ""}) {
    ResultsOf(st).part_id = typed;
    const std::optional<ProgramRun> run = RunOpenProgram(st, &why);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->identity, typed);
    EXPECT_EQ(run->identity_problem, *typed ? "" : "no part identity");
  }
  ShowPlate(st, 0, 0, 0, false);
  EXPECT_FALSE(SetCodeRegion(st, CodeRegion{0, 0, 10, 10}, &why));
  EXPECT_EQ(why, "the part is not found in the picture");
}

} // namespace
} // namespace orvane::testing
