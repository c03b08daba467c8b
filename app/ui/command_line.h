// QXErs.exe's command line: the switches of an unattended run, as deployment tools pass them.
// Without any switch the program is the interactive one it always was.
#pragma once

#include <string>
#include <vector>

namespace qx {

struct RunSwitches {
  enum class Mode { Interactive, Passive, Quiet };
  enum class Restart { Default, Never, Force, Prompt };
  Mode mode = Mode::Interactive;
  int drivers = -1;  // -1: QXErs.ini's DEFAULT_DELPRINTER preset; 0 keep the printer drivers, 1 remove them
  Restart restart = Restart::Default;
  std::string logPath;     // /log: the run log written here as well
  std::string reportPath;  // /report: the result file
  bool whatIf = false;     // /whatif: the run made on a snapshot of the machine, which stays as it is
  bool help = false;
  bool any = false;  // a switch was given

  bool Unattended() const { return mode != Mode::Interactive; }
  // Deployment tools read the Windows Installer's exit codes: the unattended modes and a run
  // asked for a result file give them; an interactive run without one exits as it always did.
  bool MsiExitCodes() const { return Unattended() || !reportPath.empty(); }
  // Whether the run restarts Windows without asking, asks, or never does, once it needs to.
  Restart EffectiveRestart() const {
    if (whatIf) return Restart::Never;
    if (restart != Restart::Default) return restart;
    return Unattended() ? Restart::Never : Restart::Prompt;
  }
};

// The words of a command line as Windows programs split them: blanks separate, double quotes
// group, backslashes are literal except before a quote (2n backslashes and a quote give n and
// the quote groups; 2n+1 give n and a literal quote). Shift-JIS characters whose second byte is
// a backslash are kept whole.
std::vector<std::string> SplitCommandLine(const std::string& line);

// Reads the switches (case-insensitive, "/" or "-"). False with error set for an unknown
// switch, a value missing or given where none belongs, or switches that contradict each other.
bool ParseSwitches(const std::vector<std::string>& words, RunSwitches& switches, std::string& error);

// The usage text (CP932), shown with /? and after a bad command line.
const std::string& UsageText();

}  // namespace qx
