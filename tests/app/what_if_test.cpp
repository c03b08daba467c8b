// A what-if run: a machine taken into a simulation through its facets and erased there. The
// machine itself must stay as it was, and what the simulation says the run removes must be
// what the run really removes.
#include <algorithm>

#include <gtest/gtest.h>

#include "app/CQXErsDoc.h"
#include "app/ui/run_report.h"
#include "app/whatif/what_if.h"
#include "support/run_fixture.h"
#include "platform/sim/image/image.h"
#include "platform/sim/snapshot.h"
#include "platform/sim/summary/summary.h"

namespace qx::test {
namespace {

int Erase(sim::SimMachine& m) {
  CQXErsDoc doc(m.platform());
  return doc.RunNow(1);
}

TEST(WhatIf, AnEraseOfTheSnapshotLeavesTheMachineAndForetellsTheRealErase) {
  const std::string image = std::string(QX_SOURCE_DIR) + "/images/default";
  std::string error;
  sim::SimMachine live, real;
  ASSERT_TRUE(sim::LoadImage(image, live, error)) << error;
  ASSERT_TRUE(sim::LoadImage(image, real, error)) << error;
  live.platform();
  qxsim::MachineView liveBefore = qxsim::Capture(live);
  std::vector<std::string> liveCalls = live.Calls();

  sim::SimMachine run, before;
  sim::SnapshotCounts counts = sim::TakeSnapshot(live.platform(), run);
  sim::TakeSnapshot(live.platform(), before);
  EXPECT_GT(counts.keys, 100u);
  EXPECT_GT(counts.services, 3u);
  int result = Erase(run);
  before.ReplayOutsideReads(run.OutsideReads());
  qxsim::Summary whatIf = qxsim::Compare(qxsim::Capture(before), qxsim::Capture(run));

  qxsim::MachineView realBefore = qxsim::Capture(real);
  int realResult = Erase(real);
  qxsim::Summary truth = qxsim::Compare(realBefore, qxsim::Capture(real));

  EXPECT_TRUE(qxsim::Compare(liveBefore, qxsim::Capture(live)).empty()) << qxsim::FormatSummary(qxsim::Compare(liveBefore, qxsim::Capture(live)), true);
  EXPECT_EQ(live.Calls(), liveCalls);  // nothing loaded, started or sent
  EXPECT_EQ(result, realResult);
  // The one thing a snapshot cannot know is what the family's libraries do when the run calls
  // them: the classes they unregister stay in the what-if run.
  for (int k = 0; k < qxsim::kKindCount; ++k) {
    const qxsim::KindChange &w = whatIf.kinds[k], &t = truth.kinds[k];
    SCOPED_TRACE(qxsim::KindName(static_cast<qxsim::Kind>(k)));
    EXPECT_EQ(w.added, t.added);
    EXPECT_EQ(w.changed, t.changed);
    std::vector<std::string> unforeseen;
    for (const std::string& name : t.removed)
      if (std::find(w.removed.begin(), w.removed.end(), name) == w.removed.end()) unforeseen.push_back(name);
    EXPECT_EQ(w.removed.size() + unforeseen.size(), t.removed.size());
    for (const std::string& name : unforeseen) EXPECT_EQ(name.rfind("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\", 0), 0u) << name;
  }
  EXPECT_FALSE(whatIf.kinds[static_cast<int>(qxsim::Kind::kFiles)].removed.empty());
}

// QXErs.exe /quiet /whatif on a machine: the result file and the log copy are the only
// things written on it, and the file tells what the erase would remove.
TEST(WhatIf, AQuietWhatIfRunWritesOnlyItsResultFileAndLogCopy) {
  std::string error;
  sim::SimMachine live;
  ASSERT_TRUE(sim::LoadImage(std::string(QX_SOURCE_DIR) + "/images/default", live, error)) << error;
  live.AddDirectory("C:\\reports");
  live.platform();
  qxsim::MachineView before = qxsim::Capture(live);

  WhatIfRun whatIf(live.platform());
  CQXErsDoc doc(whatIf.platform());
  ScriptedDialogs dialogs;
  CQXErsView view(doc, dialogs);
  std::string line = "/quiet /whatif /report:C:\\reports\\r.ini /log:C:\\reports\\r.log";
  ASSERT_TRUE(ParseSwitches(SplitCommandLine(line), view.switches, error));
  view.whatIf = CQXErsView::WhatIfEnd{[&] { return whatIf.ReportSection(); }, [&] { return whatIf.ShortText(); },
                                      [&](const std::string& path) { return whatIf.CopyOut(path); }};
  view.reportWriter = [&](const std::string& path, const std::string& text) {
    return WriteFileWhole(live.platform().files, path, text);
  };
  view.OnTimer();

  EXPECT_EQ(view.exitCode, 3010);
  EXPECT_TRUE(dialogs.boxes.empty());
  qxsim::Summary changed = qxsim::Compare(before, qxsim::Capture(live));
  const qxsim::KindChange& files = changed.kinds[static_cast<int>(qxsim::Kind::kFiles)];
  EXPECT_EQ(files.added, (std::vector<std::string>{"C:\\reports\\r.ini", "C:\\reports\\r.log"}));
  for (int k = 0; k < qxsim::kKindCount; ++k) {
    if (k == static_cast<int>(qxsim::Kind::kFiles)) continue;
    EXPECT_TRUE(changed.kinds[k].empty()) << k;
  }
  EXPECT_TRUE(files.removed.empty() && files.changed.empty());

  std::string report = live.File("C:\\reports\\r.ini")->contents;
  for (const char* expected : {"\r\nLog=\r\n", "\r\nLogCopyWritten=1\r\n", "[WhatIf]\r\n", "\r\nServices=5 removed, 0 added, 3 changed\r\n",
                               "\r\nRestart=0 removed, 1 added, 0 changed\r\n", "=- HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\Qorvex\r\n"})
    EXPECT_NE(report.find(expected), std::string::npos) << expected << "\n" << report;
  EXPECT_EQ(live.File("C:\\reports\\r.log")->contents.rfind(std::string(70, '='), 0), 0u);
}

}  // namespace
}  // namespace qx::test
