// The results table as text: CSV (RFC 4180: comma-separated, fields with a
// comma, quote, CR or LF quoted with quotes doubled, CR LF after every record,
// UTF-8) and tab-separated text for the clipboard. Numbers are written with
// '.' whatever the locale; an unknown number is an empty field.
#pragma once

#include <string>
#include <vector>

#include "results/table.h"

namespace orvane {

// The column titles; the Unit column names the unit of Value, Uncertainty,
// Nominal and Tolerance of its row (rows of one table mix lengths, angles
// and scales).
const std::vector<std::string>& ResultColumns();

// The cells of one row under ResultColumns(), as shown and exported: the
// nominal and tolerance in the row's unit (empty, with no verdict, where the
// label's tolerance does not convert to it). With `unit`, a row whose unit
// converts to it is shown in that unit instead (the window's display).
std::vector<std::string> ResultCells(const ResultsTable& table, const ResultRow& row,
                                     std::string_view unit = {});

// A tolerance's deviations as a cell: "0.05" for +-0.05, "+0.02/-0.01".
std::string DeviationsCell(const Tolerance& t);

// A number as text: up to 10 significant digits, '.' decimals, no locale;
// empty for NaN.
std::string ResultNumber(double v);

// "2026-12-07T14:38:19Z".
std::string ResultTime(int64_t seconds);

// The title of the column of part identities, after the others, present
// only where a row has an identity (so a table that never used one is
// exported as it always was).
inline constexpr const char* kPartColumn = "Part";
// Whether any row carries a part identity.
bool UsesPartIdentity(const ResultsTable& table);
// ResultColumns(), with the part column when `parts`.
std::vector<std::string> ResultColumnsWith(bool parts);

// One CSV record with its CR LF. Cells are made safe to open: ill-formed
// UTF-8 and NUL bytes become U+FFFD, and a cell a spreadsheet would take for a
// formula (starting with = + - @, a tab or a CR, and not a number) gets a
// leading quote.
std::string CsvRecord(const std::vector<std::string>& cells);
// The header record and every row.
std::string TableCsv(const ResultsTable& table);
// The header and the rows with these numbers (all rows when empty), tab-separated,
// one line each (tabs and line breaks inside a cell become blanks).
std::string TableTabText(const ResultsTable& table, const std::vector<uint32_t>& numbers = {});

} // namespace orvane
