// Arbitrary bytes as the results table's file: the reader takes them whole or
// refuses them, never crashes; a table it takes writes back to a text that
// reads to the same table, and exports as CSV. Read leniently, as the station
// reads its file, what is kept must write a file the strict reader takes, and
// every line left out must be one of the input's.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/check.h"
#include "results/csv.h"
#include "results/statistics_text.h"
#include "results/table_file.h"

namespace {

// The table writes a text the strict reader takes and that writes back the same.
void CheckRoundTrip(const orvane::ResultsTable& table) {
  const std::string written = orvane::WriteResultsText(table);
  orvane::ResultsTable again;
  CHECK(orvane::ReadResultsText(written, &again));
  CHECK(orvane::WriteResultsText(again) == written);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  orvane::ResultsTable lenient;
  std::vector<std::string_view> refused;
  const bool begins_well = orvane::ReadResultsText(text, &lenient, &refused);
  if (begins_well) {
    CheckRoundTrip(lenient);
    for (std::string_view line : refused) {
      CHECK(line.data() >= text.data() && line.data() + line.size() <= text.data() + text.size());
    }
  } else {
    CHECK(refused.empty() && lenient.rows().empty());
  }
  orvane::ResultsTable table;
  if (!orvane::ReadResultsText(text, &table)) {
    CHECK(table.rows().empty());
    return 0;
  }
  CHECK(begins_well && refused.empty());
  CheckRoundTrip(table);
  CHECK(!orvane::TableCsv(table).empty());
  for (const orvane::LabelStatistics& s : table.Statistics()) {
    CHECK(!orvane::StatisticsWords(table, s.label).empty());
  }
  return 0;
}
