// "RESULTS.TAB": the results table and its options, kept across runs. A text
// file, one record a line, fields separated by tabs, backslash escapes (\t \n
// \r \\) inside fields, numbers in C notation with every digit they need to
// read back exactly:
//   ORVANE-RESULTS 1
//   option snap 0|1   option append-csv 0|1   next NUMBER
//   counter PREFIX N  tolerance LABEL NOMINAL TOL
//   limits LABEL NOMINAL UPPER LOWER UNIT  (a tolerance that is asymmetric or
//     has a unit of its own: limits NOMINAL+UPPER and NOMINAL+LOWER)
//   row NUMBER TIME SOLUTION LABEL KIND VALUE UNIT UNCERTAINTY SOURCE CALIBRATION NOTE [PART]
//     (PART, the part's identity, only on rows that have one)
// Lines may also end in CR LF. Numbers that are not finite are "nan", "inf"
// and "-inf". Anything else is damage.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "results/table.h"

namespace orvane {

inline constexpr const char* kResultsFileName = "RESULTS.TAB";
// Larger files are not read (a table of about a million rows).
inline constexpr size_t kMaxResultsFileBytes = 256u << 20;

std::string WriteResultsText(const ResultsTable& table);

// Parses a whole file into `table`; false (and `table` untouched) when the
// text is not a results file as written by WriteResultsText. Without
// `refused` the file is taken whole or not at all. With it, a file that
// begins as a results file is taken, and each line that cannot be read (a
// damaged row, a torn last line) is left out and listed there, without its
// line end; `next` is then raised above the rows read if need be.
bool ReadResultsText(std::string_view text, ResultsTable* table,
                     std::vector<std::string_view>* refused = nullptr);

} // namespace orvane
