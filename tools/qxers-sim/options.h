// The command line of qxers-sim.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/ui/command_line.h"

namespace qxsim {

struct Options {
  enum Command { kRun, kReboot, kDiff, kFleet };
  Command command = kRun;
  std::string image;   // empty: the default image of the source tree; fleet: the folder
  std::string outDir;  // empty: no output files
  bool restart = false;  // answer Yes when the run asks to restart Windows
  std::string answer;    // "ok", "cancel", or "" when not given
  std::string drivers;   // "keep", "delete", or "" when not given
  bool verbose = false;  // the summary lists every object
  bool log = false;      // print the run log
  bool preview = false;  // files the image lacks are unknown (always so without machine.ini)
  bool timings = false;  // say on stderr how long loading, the run, the summary and writing took
  std::string other;     // diff: the second image
  std::optional<std::uint64_t> cutAfter;  // run: the power goes off after this many changing calls
  // run: the switches QXErs.exe is given (mode, driver choice, restart; reportPath is the
  // host's file of --report, written by the shell rather than on the simulated machine).
  qx::RunSwitches switches;
  bool msiExitCodes = false;  // run: exit with the Windows Installer's code of the end
  bool json = false;          // run, fleet: JSON on stdout instead of the text
  std::string csv;            // fleet: the table as CSV into this file
  unsigned jobs = 0;          // fleet: machines run at once; 0: one per core
};

// Parses "run [IMAGE] [--out DIR] [--restart] [--answer ok|cancel] [--drivers keep|delete]
// [--verbose] [--log] [--preview] [--cut-after N] [--timings] [--quiet|--passive]
// [--keep-drivers|--remove-drivers] [--norestart|--forcerestart|--promptrestart] [--report FILE]
// [--exit-codes msi] [--json]", "reboot [IMAGE] --out DIR [--timings]", "diff A B [--verbose]
// [--timings]" or "fleet DIR [--csv FILE] [--json] [--jobs N] [--verbose] [--timings]".
// False with a message on a usage error.
bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error);

// Whether the words ask for the Windows Installer's exit codes ("--exit-codes msi"), read
// without parsing the rest: a command line that does not parse still exits with its code.
bool AsksMsiExitCodes(int argc, const char* const* argv);

const char* Usage();

// images/default of the source tree: found through the compiled-in source directory, or
// upwards from the executable's own directory.
std::string DefaultImage();

}  // namespace qxsim
