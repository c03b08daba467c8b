// The robustness suites' shared parts: an image run as a person runs it (OK, the preset
// driver choice, No to the restart), the clean run of each image that the storm and cut runs
// are held against, the run log's shape, and the machine compared object by object.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/run_fixture.h"
#include "tests/scenario/machine_compare.h"

namespace qx::test::robustness {

// QX_ROBUSTNESS=full asks for the long sweep (the "robustness" test preset sets it).
bool FullMode();

// The images every robustness suite runs.
const std::vector<std::string>& Images();
// A test's name for an image: "w2k-spooler-stopped" as w2k_spooler_stopped.
std::string ImageTestName(const ::testing::TestParamInfo<std::string>& info);

// An image loaded on a machine with the program's window, run through the view's dialogs.
class ImageRun {
 public:
  explicit ImageRun(const std::string& image);
  ~ImageRun();
  // The erase as a person starts it; waits for the worker.
  void Run();
  // A second start of the program on the same machine (after a restart, say).
  void RunAgain();
  // The result the view was sent (QXM_RESULT); false when the run never got that far (the
  // view refused before starting the job).
  bool Result(int& result) const;
  std::string Log() const;  // QXErs.log's bytes, "" when there is none

  std::string loadError;
  RunFixture fixture;
  sim::SimMachine& machine = fixture.machine;

 private:
  struct LaterStart;
  std::vector<std::unique_ptr<LaterStart>> later_;  // each start's job and view, as long as the machine
};

// What a clean run of an image does, computed once per image and process.
struct CleanRun {
  MachineObjects installed;  // the image as loaded
  MachineObjects after;      // run, then restart
  MachineObjects again;      // then a second run and a restart
  // A restart, the run, a restart. The restart starts the services by their start type, the
  // spooler among them where the image has it stopped: a run after a restart removes the
  // printers through the spooler, which moves other printers off the family's ports to
  // their own targets and rewrites the users' Devices and PrinterPorts entries, where the
  // registry edits of a run with the spooler stopped put them on LPT1: and leave those
  // entries. Either is sound; a run cut before it got to the printers is finished the first way.
  MachineObjects restartedFirst;
  std::vector<std::pair<std::string, DWORD>> servicesBefore;  // run states on the image as loaded
  std::vector<std::string> restartAlone;  // ids a restart changes on the image without a run
  std::uint64_t changingCalls = 0;
  std::vector<sim::PlatformCall> changingLog;
  std::uint64_t platformCalls = 0;  // every call that reached fault injection
  std::vector<std::string> logHeadings;
  std::uint64_t elapsedMs = 0;
  std::vector<FamilyObject> family;  // residue.txt
  std::string error;                 // why the clean run could not be made, "" when it was
};
const CleanRun& Clean(const std::string& image);


// Objects the run changes by design whatever happens: the run log, written afresh by every
// run, and Windows 95/98's WININIT.BAK (the WININIT.INI the restart carried out).
bool ChangedByDesign(const std::string& id, const sim::SimMachine& m);

// What a run that failed on something keeps for the next: the eraser's note of an unfinished
// run (HKEY_LOCAL_MACHINE\SOFTWARE\Qorvex Eraser) and, on Windows 95/98, the WININIT.INI it
// set aside (WININIT.QXB) to put back.
bool EraserNote(const std::string& id, const sim::SimMachine& m);

// What differs between a machine that was erased (however interrupted), restarted, erased
// again and restarted, and the clean run's machine: one line per object ("left: ID",
// "missing: ID", "changed: ID (...)"). An object that matches either the clean run and its
// restart, or a second run after those, matches; the run log and what kUnavoidable lists for
// the image are not compared.
std::vector<std::string> Differences(const std::string& image, const MachineObjects& got, const CleanRun& clean,
                                     const sim::SimMachine& m);

// The section headings of a run log in order ("＜環境情報＞" first), as code page 932 text.
std::vector<std::string> LogHeadings(const std::string& log);
// "" when the log has the run log's shape: the environment block first, the result sections
// in the order the run writes them, each at most once, and the closing line last. With
// writesFailed (a call on the log file failed) only the order of what is there is checked.
std::string LogShapeProblem(const std::string& log, bool writesFailed);

// The longest the virtual clock may run for one erase of this machine, from the engine's
// waits: every service operation polling to its limit, every program window waited for to its
// limit, and the fixed pauses. doc is the run's job (its lists say how many pauses it made).
std::uint64_t VirtualTimeBound(const CQXErsDoc& doc, std::size_t programWindows);

// Text for failure messages (UTF-8).
std::string Utf8(const std::string& cp932);
std::string Describe(const sim::PlatformCall& call);

}  // namespace qx::test::robustness
