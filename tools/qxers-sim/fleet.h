// `qxers-sim fleet DIR`: one table of many machines, from the result files real machines
// wrote and from erases of image folders, run side by side.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tools/qxers-sim/machine_result.h"
#include "tools/qxers-sim/options.h"

namespace qxsim {

// The rows of DIR: every *.ini result file read, every image folder erased quietly with the
// defaults (jobs at a time, 0: one per core); sorted, those needing attention first. False
// with a message when DIR cannot be read.
bool FleetRows(const std::string& dir, unsigned jobs, std::vector<MachineResult>& rows, std::string& error);

// The table for a terminal (columns aligned), and the same as CSV (RFC 4180, CR LF).
std::string FormatFleetTable(const std::vector<MachineResult>& rows);
std::string FormatFleetCsv(const std::vector<MachineResult>& rows);

// The command: prints the table (or the JSON array), writes the CSV; the exit status.
int Fleet(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace qxsim
