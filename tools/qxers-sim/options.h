// The command line of qxers-sim.
#pragma once

#include <string>

namespace qxsim {

struct Options {
  enum Command { kRun, kReboot };
  Command command = kRun;
  std::string image;   // empty: the default image of the source tree
  std::string outDir;  // empty: no output files
  bool restart = false;  // answer Yes when the run asks to restart Windows
  std::string answer;    // "ok", "cancel", or "" when not given
  std::string drivers;   // "keep", "delete", or "" when not given
};

// Parses "run [IMAGE] [--out DIR] [--restart] [--answer ok|cancel] [--drivers keep|delete]" or "reboot [IMAGE] --out DIR". False with a
// message on a usage error.
bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error);

const char* Usage();

// images/default of the source tree: found through the compiled-in source directory, or
// upwards from the executable's own directory.
std::string DefaultImage();

}  // namespace qxsim
