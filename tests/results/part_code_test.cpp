// Part identities: codes read from pictures drawn here (each symbology,
// turned, small, anywhere or in a region), and the identity kept with the
// rows of the table file and the CSV only where used.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "results/csv.h"
#include "results/part_code.h"
#include "results/table_file.h"
#include "tests/results/code_picture.h"

namespace orvane {
namespace {

using test::DrawCode;

TEST(PartCode, ReadsEachSymbologyTurnedAndSmall) {
  struct Case {
    ZXing::BarcodeFormat format;
    const char* name;
    double module, degrees;
  } cases[] = {
      {ZXing::BarcodeFormat::DataMatrix, "DataMatrix", 3, 0},  {ZXing::BarcodeFormat::DataMatrix, "DataMatrix", 3, 90},
      {ZXing::BarcodeFormat::DataMatrix, "DataMatrix", 2, 180}, {ZXing::BarcodeFormat::DataMatrix, "DataMatrix", 4, 33},
      {ZXing::BarcodeFormat::QRCode, "QRCode", 3, 0},          {ZXing::BarcodeFormat::QRCode, "QRCode", 2, 270},
      {ZXing::BarcodeFormat::QRCode, "QRCode", 4, 20},          {ZXing::BarcodeFormat::Code128, "Code128", 2, 0},
      {ZXing::BarcodeFormat::Code128, "Code128", 2, 90},       {ZXing::BarcodeFormat::Code128, "Code128", 2, 180},
  };
  const std::string text = "SN-2026-0042";
  for (const Case& c : cases) {
    // Off centre, to show the whole picture is searched.
    const test::CodePicture p = DrawCode(c.format, text, c.module, c.degrees, 430, 270);
    const std::optional<PartCode> code = ReadPartCode(p.bgr.data(), p.width, p.height, p.width * 3);
    ASSERT_TRUE(code) << c.name << " at " << c.degrees << " deg, module " << c.module;
    EXPECT_EQ(code->text, text);
    EXPECT_EQ(code->format, c.name);
  }
  // Large modules (16 px), away from the middle of a large picture.
  const test::CodePicture big = DrawCode(ZXing::BarcodeFormat::DataMatrix, text, 16, 0, 200, 200, 1920, 1080);
  const std::optional<PartCode> code = ReadPartCode(big.bgr.data(), big.width, big.height, big.width * 3);
  ASSERT_TRUE(code);
  EXPECT_EQ(code->text, text);
}

TEST(PartCode, RegionsAndPicturesWithoutACode) {
  const test::CodePicture p = DrawCode(ZXing::BarcodeFormat::QRCode, "P-7", 3, 0, 480, 360);
  const auto read = [&](std::optional<PixelRegion> r) {
    return ReadPartCode(p.bgr.data(), p.width, p.height, p.width * 3, r);
  };
  EXPECT_TRUE(read(PixelRegion{380, 260, 200, 200}));
  EXPECT_FALSE(read(PixelRegion{0, 0, 300, 240}));   // the code is elsewhere
  EXPECT_FALSE(read(PixelRegion{700, 500, 50, 50})); // outside the picture
  EXPECT_FALSE(read(PixelRegion{10, 10, 0, 40}));    // empty
  EXPECT_TRUE(read(PixelRegion{-100, -100, 2000, 2000})); // clipped to the picture
  const test::CodePicture blank = DrawCode(ZXing::BarcodeFormat::QRCode, "x", 3, 0, -1000, -1000);
  EXPECT_FALSE(ReadPartCode(blank.bgr.data(), blank.width, blank.height, blank.width * 3));
  EXPECT_FALSE(ReadPartCode(nullptr, 10, 10, 30));
  EXPECT_FALSE(ReadPartCode(p.bgr.data(), p.width, p.height, p.width)); // stride too short
  // A line break in a code's content never reaches the table as one.
  const test::CodePicture broken = DrawCode(ZXing::BarcodeFormat::QRCode, "A\nB", 3, 0, 320, 240);
  const std::optional<PartCode> code = ReadPartCode(broken.bgr.data(), broken.width, broken.height, broken.width * 3);
  ASSERT_TRUE(code);
  EXPECT_EQ(code->text, "A?B");
}

// The identity rides on its rows through the table file (a field of its own
// only where set, so rows without one are written as before) and into the
// CSV as a last column only once any row has one.
TEST(PartCode, IdentityKeptWithRowsOnlyWhereUsed) {
  ResultsTable table;
  ResultRow a;
  a.label = "L1";
  a.value = 1.5;
  a.unit = "mm";
  table.Add(a);
  std::string before = WriteResultsText(table);
  before = before.substr(before.find("row\t"));
  const std::string csv_before = TableCsv(table);
  EXPECT_EQ(csv_before.find("Part"), std::string::npos);
  ResultRow b = a;
  b.part = "SN\t1\\x";
  table.Add(b);
  const std::string text = WriteResultsText(table);
  EXPECT_EQ(text.substr(text.find("row\t"), before.size()), before);
  EXPECT_NE(text.find("\tSN\\t1\\\\x\n"), std::string::npos);
  ResultsTable back;
  ASSERT_TRUE(ReadResultsText(text, &back));
  ASSERT_EQ(back.rows().size(), 2u);
  EXPECT_EQ(back.rows()[0].part, "");
  EXPECT_EQ(back.rows()[1].part, "SN\t1\\x");
  EXPECT_EQ(WriteResultsText(back), text);
  const std::string csv = TableCsv(table);
  EXPECT_NE(csv.find(",Note,Part\r\n"), std::string::npos);
  EXPECT_NE(csv.find(",\r\n2,"), std::string::npos); // row 1: an empty part cell
  // A row with an empty last field is damage, not a row without a part.
  std::string empty_part = WriteResultsText(ResultsTable{}) + before;
  empty_part.insert(empty_part.size() - 1, "\t");
  EXPECT_FALSE(ReadResultsText(empty_part, &back));
}

} // namespace
} // namespace orvane
