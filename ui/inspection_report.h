// The inspection report of rows of the station's results table: the rows'
// figures with what the station knows beside them (its name, the operator,
// the rectification in force and its figures, the picture as shown).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inspect/program.h"
#include "results/report.h"
#include "station/station.h"

namespace orvane {

// The station's name on reports: ORVANE_STATION when set, else the host's
// name.
std::string StationName();

// The report of the rows with these numbers (the last part's rows when
// empty), with the picture as the view shows it (overlay and all) when one is
// shown.
InspectionReport StationReport(Station& station, std::vector<uint32_t> numbers = {});

// A run that did not pass its part for want of an identity: the report
// fails, saying why (its rows may all pass).
void MarkIdentityProblem(InspectionReport* report, const ProgramRun& run);

// The rows the program run recorded as part `part` ("part N ..." notes), in
// table order.
std::vector<uint32_t> ProgramPartRows(const ResultsTable& table, uint32_t part);

// A file for a part's report in `folder`, never one that is there: NAME.pdf
// from the identity (characters other than letters, digits, '-', '_' and '.'
// as '_') or "part-N" without one, then NAME-2.pdf, NAME-3.pdf ...; nothing
// when 999 are taken.
std::optional<std::filesystem::path> FreeReportPath(const std::filesystem::path& folder,
                                                    std::string_view identity, uint32_t part);

// After a recorded program run, with automatic reports on (TRACE.CFG): the
// part's report through the front end's writer into the report folder (a
// relative one in the working folder's), said in a notice: report saved
// "PATH" or report not saved: WHY. Nothing while automatic reports are off.
void AutoReport(Station& station);

// Turns automatic reports on (into `folder` when one is given, else the one
// kept) or off, kept in TRACE.CFG; false with the reason when it could not be
// kept (the choice holds for this session all the same).
bool SetReportAuto(Station& station, bool on, const std::vector<std::string>& folder, std::string* why);

} // namespace orvane
