// A label's statistics as one line of words, for scripts to read:
//   n N mean M sd S unit U min X max X range X cp X cpk X left-out K [left-out-units U,...]
// Numbers as the CSV writes them (up to 10 significant digits, '.'
// decimals), "-" for a number not known (sd of one value, Cp without a
// tolerance) and for a label without a unit.
#pragma once

#include <string>

#include "results/table.h"

namespace orvane {

// The words after the label; a label without a finite value gives n 0.
std::string StatisticsWords(const ResultsTable& table, const std::string& label);

} // namespace orvane
