// What one machine's erase came to, read from a run of its image or from the result file a
// real machine's run wrote (QXErs.exe /report): the row of `fleet` and the object of
// `run --json`. Every text is UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/qxers-sim/erase.h"
#include "platform/sim/summary/summary.h"

namespace qxsim {

// The log's sections by the result file's names, in the log's order.
inline constexpr const char* kFailureSections[] = {"Files",  "Registry", "PartialRegistry", "Folders",
                                                   "Others", "Drivers",  "SpoolerStopped",  "RestartCauses"};

struct FailureSection {
  std::string name;  // one of kFailureSections
  int count = 0;
  std::vector<std::string> lines;  // the log lines that report the failures
};

struct MachineResult {
  enum class Source { kImage, kReport };
  Source source = Source::kImage;
  std::string name;  // the computer's name, else the image folder's or result file's name
  std::string path;  // the image folder or the result file
  std::string computer, windows, start, end;
  std::optional<int> result;    // the run's result (kResult*); none when it did not run
  std::optional<int> exitCode;  // the Windows Installer's code; none when nothing is known
  bool restartNeeded = false, restartStarted = false;
  std::string log;  // where the run wrote QXErs.log on the machine
  int failures = 0;
  std::vector<FailureSection> sections;
  std::optional<Summary> changes;  // images only: what the run changed
  std::optional<std::string> logText;  // run --json --log: the log's text
  std::string error;  // why nothing more is known (an image that does not load, an unreadable file)

  // 0 needs attention (failures, an error, an end other than done or restart), 1 waits for a
  // restart (3010), 2 the rest.
  int Group() const;
};

// Reads a result file's text (CP932, CR LF) into r. False with a message when the text is not
// a result file (no [Result] section with an exit code).
bool ParseReport(std::string_view text, MachineResult& r, std::string& error);

// The row of an image's run: the result file the view handed over, the summary of changes.
MachineResult ImageResult(const std::string& folder, const EraseOutcome& outcome);

// The JSON object of one machine (result_json.cpp); verbose adds the objects that changed
// and the failure lines. indent < 0: one line.
std::string JsonObject(const MachineResult& r, bool verbose, int indent);
// The array of them, one line per machine.
std::string JsonArray(const std::vector<MachineResult>& rows, bool verbose);

}  // namespace qxsim
