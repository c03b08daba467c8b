// One erase on a loaded simulated machine, as `run` and `fleet` both make it: the view on the
// console dialogs, the restart it asks for, the result file it hands over and what changed.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/ui/command_line.h"
#include "platform/sim/sim_machine.h"
#include "tools/qxers-sim/console_dialogs.h"
#include "platform/sim/summary/summary.h"

namespace qxsim {

struct EraseSetup {
  bool preview = false;     // files the image lacks are unknown
  qx::RunSwitches switches;  // reportPath: the host file the result file is written to ("" none)
  // The result file's text is wanted even without a file to write it to (it is the only
  // place a quiet run's result is told).
  bool keepReport = false;
  std::optional<std::uint64_t> cutAfter;
  bool powerBack = false;  // after a power cut the power comes back (--restart)
};

struct EraseOutcome {
  std::vector<qx::sim::ReceivedMessage> messages;  // what the view's window received
  std::optional<int> result;  // the run's result (kResult*); none when it never started
  int msiExitCode = 0;        // the view's Windows Installer code; 1603 when the view never ended
  bool ended = false;         // the view reached its end (closed the application)
  bool restarted = false;     // the machine restarted before the summary was taken
  Summary summary;
  std::string report;         // the result file's text (CP932) when it was asked for
  std::string reportError;    // why the result file could not be written to the host
  std::uint64_t elapsedMs = 0;  // the virtual time the run waited
};

// Runs the erase on m, the loaded machine. The view's dialogs are dialogs (which print to
// out); the [cut] and [restart] lines go to out. lap(part) is called when a part of the
// work ends ("summary", "run"), for the timings; it may be empty.
EraseOutcome Erase(qx::sim::SimMachine& m, const EraseSetup& setup, ConsoleDialogs& dialogs, std::ostream& out,
                   const std::function<void(const char*)>& lap = {});

// Writes text to path whole: a temporary file beside it, renamed over it. False with a message.
bool WriteWhole(const std::string& path, const std::string& text, std::string& error);

}  // namespace qxsim
