// Arbitrary bytes as the results table's file: the reader takes them whole or
// refuses them, never crashes; a table it takes writes back to a text that
// reads to the same table, and exports as CSV.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/check.h"
#include "results/csv.h"
#include "results/statistics_text.h"
#include "results/table_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  orvane::ResultsTable table;
  if (!orvane::ReadResultsText(text, &table)) {
    CHECK(table.rows().empty());
    return 0;
  }
  const std::string written = orvane::WriteResultsText(table);
  orvane::ResultsTable again;
  CHECK(orvane::ReadResultsText(written, &again));
  CHECK(orvane::WriteResultsText(again) == written);
  CHECK(!orvane::TableCsv(table).empty());
  for (const orvane::LabelStatistics& s : table.Statistics()) {
    CHECK(!orvane::StatisticsWords(table, s.label).empty());
  }
  return 0;
}
