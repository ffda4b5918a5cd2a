// What a CSV cell may carry into a spreadsheet: formulas become text, and
// bytes that are not UTF-8 text are replaced, while numbers stay numbers.
#include <gtest/gtest.h>

#include <string>

#include "results/csv.h"
#include "results/table.h"

namespace orvane {
namespace {

TEST(ResultsCsv, CellsAreSafeToOpen) {
  const std::string fffd = "\xEF\xBF\xBD";
  const struct {
    std::string cell;
    std::string written;
  } cases[] = {
      {"=1+2", "'=1+2"},
      {"+SUM(A1)", "'+SUM(A1)"},
      {"-2+3", "'-2+3"},
      {"@cmd", "'@cmd"},
      {"\tx", "'\tx"},
      {"\rx", "\"'\rx\""},
      {"=HYPERLINK(\"a\",\"b\")", "\"'=HYPERLINK(\"\"a\"\",\"\"b\"\")\""},
      {"-0.5", "-0.5"},     // numbers stay numbers
      {"-1e-300", "-1e-300"},
      {"-inf", "-inf"},
      {"a=b", "a=b"},       // only the first character counts
      {"", ""},
      {"Größe µm", "Größe µm"},
      {std::string("a\0b", 3), "a" + fffd + "b"},
      {"a\xFF" "b", "a" + fffd + "b"},
      {"\xE2\x82" "x", fffd + "x"},                  // a cut-off sequence: one replacement
      {"\xC0\xAF", fffd + fffd},                     // overlong
      {"\xED\xA0\x80", fffd + fffd + fffd},          // a surrogate
      {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd}, // past U+10FFFF
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},      // a four-byte character
      {"\xFF=1", fffd + "=1"},                        // replaced, then nothing to neutralise
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CsvRecord({c.cell}), c.written + "\r\n") << c.cell;
  }
}

// A label and a file name that would run as formulas are written as text in
// the export; the value column keeps its negative number.
TEST(ResultsCsv, TextColumnsAreNeutralisedAndNumbersKept) {
  ResultsTable t;
  ResultRow r;
  r.kind = kKindLength;
  r.label = "=cmd|' /C calc'!A0";
  r.value = -0.5;
  r.uncertainty = 0.25;
  r.unit = "in";
  r.source = "@evil.bmp";
  t.Add(r);
  const std::string csv = TableCsv(t);
  const std::string row = csv.substr(csv.find("\r\n") + 2);
  EXPECT_EQ(row, "1,1970-01-01T00:00:00Z,,'=cmd|' /C calc'!A0,length,-0.5,in,0.25,,,,'@evil.bmp,,\r\n");
}

} // namespace
} // namespace orvane
