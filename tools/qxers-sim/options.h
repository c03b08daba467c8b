// The command line of qxers-sim.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qxsim {

struct Options {
  enum Command { kRun, kReboot, kDiff };
  Command command = kRun;
  std::string image;   // empty: the default image of the source tree
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
};

// Parses "run [IMAGE] [--out DIR] [--restart] [--answer ok|cancel] [--drivers keep|delete]
// [--verbose] [--log] [--preview] [--cut-after N] [--timings]", "reboot [IMAGE] --out DIR [--timings]"
// or "diff A B [--verbose] [--timings]". False with a message on a usage error.
bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error);

const char* Usage();

// images/default of the source tree: found through the compiled-in source directory, or
// upwards from the executable's own directory.
std::string DefaultImage();

}  // namespace qxsim
