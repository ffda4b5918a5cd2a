// The results files under hostile conditions: damaged tables, nodes and
// links in their place, a full disk, a table at its limits, exports aimed at
// the station's own files. Nothing recorded is lost without a word.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>

#include "results/csv.h"
#include "results/session.h"
#include "results/table_file.h"
#include "support/station_fixture.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::StationFixture;
using testing::WriteBytes;

ResultRow Measured(double v) {
  ResultRow r;
  r.kind = kKindLength;
  r.value = v;
  r.unit = "px";
  return r;
}

std::string Text(const fs::path& path) {
  const std::vector<uint8_t> bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

void Put(const fs::path& path, const std::string& text) { WriteBytes(path, text.data(), text.size()); }

// The messages shown since `from`, as one text.
std::string Said(const FakeSurface& surface, size_t from = 0) {
  std::string all;
  for (size_t i = from; i < surface.message_boxes().size(); ++i) all += surface.message_boxes()[i].text + "\n";
  return all;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The table as "RESULTS.DB" holds it, in the old table file's text.
std::string Stored(const fs::path& folder) {
  const std::vector<uint8_t> bytes = testing::StoredResults(folder);
  return std::string(bytes.begin(), bytes.end());
}

// The rows' numbers in an appended CSV file whose every record must be whole
// (14 cells, CR LF) and numbered above the one before.
std::vector<uint32_t> CsvNumbers(const std::string& text) {
  std::vector<uint32_t> numbers;
  EXPECT_TRUE(text.empty() || text.ends_with("\r\n"));
  size_t at = text.find("\r\n") + 2; // past the header
  while (at < text.size()) {
    const size_t end = text.find("\r\n", at);
    const std::string line = text.substr(at, end - at);
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), 13) << line;
    numbers.push_back(static_cast<uint32_t>(std::stoul(line)));
    EXPECT_TRUE(numbers.size() == 1 || numbers.back() > numbers[numbers.size() - 2]) << text;
    at = end + 2;
  }
  return numbers;
}

TEST(ResultsFiles, InfiniteValuesSurviveARestart) {
  StationFixture f;
  const double inf = std::numeric_limits<double>::infinity();
  ResultRow tiny_hole = Measured(inf);
  tiny_hole.uncertainty = inf;
  AddResult(f.station, tiny_hole);
  AddResult(f.station, Measured(2.5));
  Station again(f.dir.path(), &f.surface, &f.clock);
  ASSERT_EQ(ResultsOf(again).table.rows().size(), 2u);
  EXPECT_EQ(ResultsOf(again).table.rows()[0].value, inf);
  EXPECT_TRUE(f.surface.message_boxes().empty()) << Said(f.surface);
  EXPECT_FALSE(fs::exists(f.dir.path() / "RESULTS.TAB.bad"));
}

// One damaged row of a table file being migrated costs that row only: the
// file as it was goes aside, the other rows stay and are stored, and
// numbering goes on above them.
TEST(ResultsFiles, ADamagedRowIsSetAsideAndTheOthersKept) {
  StationFixture f;
  ResultsTable written;
  for (double v : {1.0, 2.0, 3.0}) written.Add(Measured(v));
  const fs::path path = f.station.PathOf(kResultsFileName);
  std::string text = WriteResultsText(written);
  const size_t row2 = text.find("row\t2\t");
  text.replace(text.find("\t2\tpx", row2), 2, "\ttwo");
  Put(path, text);
  Station again(f.dir.path(), &f.surface, &f.clock);
  const ResultsTable& table = ResultsOf(again).table;
  ASSERT_EQ(table.rows().size(), 2u);
  EXPECT_EQ(table.rows()[1].number, 3u);
  ASSERT_EQ(f.surface.message_boxes().size(), 1u);
  EXPECT_TRUE(Contains(Said(f.surface), "1 damaged line")) << Said(f.surface);
  EXPECT_TRUE(Contains(Said(f.surface), "set aside as RESULTS.TAB.bad")) << Said(f.surface);
  EXPECT_EQ(Text(f.dir.path() / "RESULTS.TAB.bad"), text);
  ResultsTable saved;
  ASSERT_TRUE(ReadResultsText(Stored(f.dir.path()), &saved));
  EXPECT_EQ(saved.rows().size(), 2u);
  EXPECT_EQ(AddResult(again, Measured(4.0)).number, 4u);
}

// A pipe, a folder, a link to nothing where the database belongs, or a table
// file too large to read: said as what it is, moved nowhere, never written;
// results stay in memory and the end of the program says how many are lost.
TEST(ResultsFiles, WhatCannotBeReadIsLeftAloneAndNeverWritten) {
  const struct {
    const char* what;
    const char* name;
    void (*make)(const fs::path& path);
    const char* reason;
  } cases[] = {
      {"pipe", kResultsDbName, [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); }, "Not a regular file"},
      {"folder", kResultsDbName, [](const fs::path& p) { fs::create_directory(p); }, "Not a regular file"},
      {"link to nothing", kResultsDbName, [](const fs::path& p) { fs::create_symlink(p.parent_path() / "gone.tab", p); },
       "Not a regular file"},
      {"too large", kResultsFileName, [](const fs::path& p) {
         Put(p, "ORVANE-RESULTS\t1\n");
         fs::resize_file(p, kMaxResultsFileBytes + 1);
       }, "File too large"},
  };
  for (const auto& c : cases) {
    StationFixture f;
    const fs::path path = f.station.PathOf(c.name);
    c.make(path);
    const auto type = fs::symlink_status(path).type();
    AddResult(f.station, Measured(1.0));
    AddResult(f.station, Measured(2.0));
    ASSERT_EQ(f.surface.message_boxes().size(), 1u) << c.what << "\n" << Said(f.surface);
    EXPECT_TRUE(Contains(Said(f.surface), "Unable to read " + path.string() + ": " + c.reason)) << Said(f.surface);
    EXPECT_EQ(fs::symlink_status(path).type(), type) << c.what;
    EXPECT_FALSE(fs::exists(f.dir.path() / "RESULTS.TAB.bad")) << c.what;
    EXPECT_FALSE(fs::exists(f.dir.path() / "RESULTS.DB.bad")) << c.what;
    EXPECT_FALSE(fs::exists(f.dir.path() / "gone.tab")) << c.what;
    EXPECT_EQ(ResultsOf(f.station).table.rows().size(), 2u) << c.what;
    EXPECT_FALSE(SaveResults(f.station)) << c.what;
    FinishResults(f.station);
    ASSERT_EQ(f.surface.message_boxes().size(), 2u) << c.what;
    EXPECT_TRUE(Contains(Said(f.surface, 1), "2 results recorded since the last save")) << Said(f.surface, 1);
  }
}

// A full disk: the table's save failure is said once with the reason, no
// CSV row goes ahead of the table (whose `next` numbers it), the end of the
// program says what is lost, and once there is room everything is written.
TEST(ResultsFiles, FullDiskIsSaidOnceAndWhatIsLostAtTheEnd) {
  StationFixture f;
  ResultsOf(f.station).table.append_csv = true;
  AddResult(f.station, Measured(1.0));
  AddResult(f.station, Measured(2.0));
  const fs::path tab = f.station.PathOf(kResultsDbName), csv = f.station.PathOf(kResultsCsvName);
  const std::string tab_before = Stored(f.dir.path()), csv_before = Text(csv);
  {
    // The database's journal is the file that grows.
    fs::path wal = tab;
    wal += "-wal";
    testing::FileSizeLimit full_disk(std::max(fs::file_size(tab), fs::file_size(wal)) + 10);
    for (double v : {3.0, 4.0, 5.0}) AddResult(f.station, Measured(v));
    FinishResults(f.station);
  }
  ASSERT_EQ(f.surface.message_boxes().size(), 2u) << Said(f.surface);
  EXPECT_EQ(f.surface.message_boxes()[0].text, "Unable to write " + tab.string() + ": File too large");
  EXPECT_TRUE(Contains(Said(f.surface, 1), "3 results recorded since the last save")) << Said(f.surface);
  EXPECT_TRUE(Contains(Said(f.surface, 1), "3 results were not appended to " + csv.string())) << Said(f.surface);
  EXPECT_EQ(Stored(f.dir.path()), tab_before);
  EXPECT_EQ(Text(csv), csv_before);
  EXPECT_TRUE(SaveResults(f.station));
  EXPECT_EQ(CsvNumbers(Text(csv)), (std::vector<uint32_t>{1, 2, 3, 4, 5}));
  FinishResults(f.station);
  EXPECT_EQ(f.surface.message_boxes().size(), 2u) << Said(f.surface);
}

// An append that does not fit is cut back: the CSV file stays as it was, so
// the next row cannot run into half a row.
TEST(ResultsFiles, AHalfWrittenCsvRowIsCutBack) {
  StationFixture f;
  ResultsOf(f.station).table.append_csv = true;
  const fs::path csv = f.station.PathOf(kResultsCsvName);
  std::string before = CsvRecord(ResultColumns());
  // Larger than what the database writes meanwhile, so only the CSV file meets the limit.
  while (before.size() < 600000) before += CsvRecord({"0", "", "", "old row", "length", "1"});
  Put(csv, before);
  {
    testing::FileSizeLimit full_disk(before.size() + 20);
    AddResult(f.station, Measured(1.0));
    AddResult(f.station, Measured(2.0));
  }
  EXPECT_EQ(Text(csv), before);
  ASSERT_EQ(f.surface.message_boxes().size(), 1u) << Said(f.surface);
  EXPECT_EQ(f.surface.message_boxes()[0].text, "Unable to write " + csv.string() + ": File too large");
  AddResult(f.station, Measured(3.0));
  const std::string after = Text(csv);
  ASSERT_EQ(after.substr(0, before.size()), before);
  const std::string appended = after.substr(before.size());
  EXPECT_EQ(std::count(appended.begin(), appended.end(), '\n'), 3);
  EXPECT_EQ(appended.substr(0, 2), "1,");
}

// A CSV file whose last row was cut off (by a kill, or an older writer on a
// full disk) is closed before the next row, so that row stays a record of
// its own.
TEST(ResultsFiles, ACutOffCsvRowIsClosedFirst) {
  const std::string header = CsvRecord(ResultColumns());
  const struct {
    std::string tail;
    std::string closing;
  } cases[] = {
      {"", ""},
      {"7,x,y\r\n", ""},
      {"7,x,y", "\r\n"},
      {"7,x,y\r", "\n"},
      {"7,x,\"a note, cut", "\"\r\n"},
      {"7,x,\"two\r\nlines\"", "\r\n"},
  };
  for (const auto& c : cases) {
    StationFixture f;
    ResultsOf(f.station).table.append_csv = true;
    const fs::path csv = f.station.PathOf(kResultsCsvName);
    Put(csv, header + c.tail);
    const ResultRow row = AddResult(f.station, Measured(1.0));
    EXPECT_EQ(Text(csv), header + c.tail + c.closing + CsvRecord(ResultCells(ResultsOf(f.station).table, row)))
        << c.tail;
  }
}

// Links in the CSV file's place are treated as for the other station files:
// a link to a file is written through; a link to nothing creates nothing.
TEST(ResultsFiles, CsvLinksAreFollowedToFilesOnly) {
  StationFixture f;
  ResultsOf(f.station).table.append_csv = true;
  const fs::path csv = f.station.PathOf(kResultsCsvName), target = f.dir.path() / "elsewhere.csv";
  fs::create_symlink(target, csv);
  AddResult(f.station, Measured(1.0));
  EXPECT_FALSE(fs::exists(target));
  ASSERT_EQ(f.surface.message_boxes().size(), 1u);
  EXPECT_EQ(f.surface.message_boxes()[0].text, "Unable to write " + csv.string() + ": Not a regular file");
  Put(target, "");
  AddResult(f.station, Measured(2.0));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(csv)));
  EXPECT_EQ(CsvNumbers(Text(target)), (std::vector<uint32_t>{1, 2}));
}

// The table never numbers a row past the last number.
TEST(ResultsFiles, TheTableStopsAtItsLimits) {
  StationFixture f;
  ResultsSession& session = ResultsOf(f.station);
  session.table.Restore({}, {}, {}, std::numeric_limits<uint32_t>::max() - 1);
  EXPECT_EQ(AddResult(f.station, Measured(1.0)).number, 4294967294u);
  const std::string full = Stored(f.dir.path());
  EXPECT_EQ(AddResult(f.station, Measured(2.0)).number, 0u);
  EXPECT_TRUE(Contains(Said(f.surface), "used every row number")) << Said(f.surface);
  EXPECT_EQ(Stored(f.dir.path()), full);
  {
    Station again(f.dir.path(), &f.surface, &f.clock);
    EXPECT_EQ(ResultsOf(again).table.rows().size(), 1u);
  }
}

// The export never replaces one of the station's own files, by name or
// through a link.
TEST(ResultsFiles, ExportRefusesTheStationsOwnFiles) {
  StationFixture f;
  AddResult(f.station, Measured(1.0));
  fs::create_directory(f.dir.path() / "DXF");
  fs::create_symlink(f.dir.path() / "RESULTS.DB", f.dir.path() / "link.csv");
  fs::create_symlink(f.dir.path() / "XORVANE.CFG", f.dir.path() / "dangling.csv");
  const std::string tab = Stored(f.dir.path());
  for (const char* name : {"RESULTS.TAB", "RESULTS.CSV", "RESULTS.TAB.bad2", "RESULTS.DB", "RESULTS.DB-wal",
                           "RESULTS.DB-shm", "RESULTS.DB.new", "RESULTS.DB.bad1", "RESULTS.TAB.migrated",
                           "XORVANE.CFG", "XModule12.CFG",
                           "RECTIFY.CFG", "RESULTSWINDOW.CFG", "DXF.CFG", ".ORVANE.LOCK", "VIDRANE.BIN", "ORVANE.LOG",
                           "DXF/FILE.DXF", "Saved/IMAGE3.BMP",
                           "link.csv", "dangling.csv", "./DXF/../RESULTS.TAB"}) {
    std::string why;
    EXPECT_FALSE(ExportResultsCsv(f.station, f.dir.path() / name, &why)) << name;
    EXPECT_TRUE(Contains(why, "station's own files")) << why;
  }
  EXPECT_EQ(Stored(f.dir.path()), tab);
  EXPECT_FALSE(fs::exists(f.dir.path() / "XORVANE.CFG"));
  for (const char* name : {"export.csv", "RESULTS.TAB.csv", "DXF/FILE.csv"}) {
    EXPECT_TRUE(ExportResultsCsv(f.station, f.dir.path() / name)) << name;
  }
  EXPECT_TRUE(f.surface.message_boxes().empty()) << Said(f.surface);
}

} // namespace
} // namespace orvane
