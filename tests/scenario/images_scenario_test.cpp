// Every machine image, run and restarted: nothing the family installed is left (the image's
// residue.txt, object by object), everything else is as a restart alone would leave it, the
// run asks for the restart exactly when something waited for it, and a second run on the
// restarted machine finds nothing left to do.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "platform/sim/encoding.h"
#include "platform/sim/image/image.h"
#include "platform/sim/sim_text.h"
#include "support/run_fixture.h"
#include "tests/scenario/machine_compare.h"

namespace qx::test {
namespace {

struct Scenario {
  const char* image;
  int restartNeeded;
  std::vector<std::string> logHolds;
};

// Objects that the run changes by design, besides the family's.
bool ChangedByDesign(const std::string& id, const sim::SimMachine& m) {
  const std::string folded = sim::cp932::Fold(id);
  // The run log, written afresh by every run.
  if (folded == sim::cp932::Fold("file " + m.settings().tempPath + "QXErs.log")) return true;
  // Windows 95/98 keeps the WININIT.INI it carried out at start-up as WININIT.BAK, so the
  // deletions the run left for the restart show there.
  return folded == sim::cp932::Fold("file " + m.settings().windowsDirectory + "\\WININIT.BAK");
}

std::string Utf8(const std::string& cp932) { return sim::Cp932ToUtf8Lossy(cp932); }

std::string Load(RunFixture& run, const std::string& image) {
  std::string error;
  sim::LoadImage(std::string(QX_SOURCE_DIR) + "/images/" + image, run.machine, error);
  return error;
}

// A second start of the program on the same machine, as after the restart.
struct SecondStart {
  explicit SecondStart(sim::SimMachine& m) : machine(m) {
    HWND window = m.AddWindow("QXErsView", "", [this](HWND, UINT message, WPARAM wParam, LPARAM lParam) {
      return view.OnMessage(message, wParam, lParam);
    });
    view.window = window;
  }
  void Run() {
    doc.StartErase(view.window, view.driverChoice);
    machine.JoinThreads();
  }
  sim::SimMachine& machine;
  CQXErsDoc doc{machine.platform()};
  ScriptedDialogs dialogs;
  CQXErsView view{doc, dialogs};
};

class ImageScenario : public ::testing::TestWithParam<Scenario> {};

TEST_P(ImageScenario, TheFamilyGoesAndNothingElseChanges) {
  const Scenario& s = GetParam();
  std::vector<FamilyObject> family;
  std::string error;
  ASSERT_TRUE(ReadResidueList(std::string(QX_SOURCE_DIR) + "/images/" + s.image + "/residue.txt", family, error)) << error;

  // The same machine restarted without the run: what Windows itself changes at a restart.
  RunFixture base;
  ASSERT_EQ(Load(base, s.image), "");
  const MachineObjects installed = TakeObjects(base.machine);
  base.machine.Reboot();
  const MachineObjects restarted = TakeObjects(base.machine);

  RunFixture run;
  ASSERT_EQ(Load(run, s.image), "");
  run.Run();
  const MachineObjects beforeRestart = TakeObjects(run.machine);
  run.machine.Reboot();
  const MachineObjects after = TakeObjects(run.machine);

  // Nothing of the family remains, object by object; every listed object was installed.
  for (const FamilyObject& f : family) {
    SCOPED_TRACE("residue.txt:" + std::to_string(f.line) + " " + f.kind + " " + Utf8(f.object));
    if (f.kind == "pulled" || f.kind == "ini") {
      EXPECT_EQ(CompareShared(f, installed, after), "");
      continue;
    }
    int owned = 0, remaining = 0;
    for (const auto& [id, _] : installed) owned += Owns(f, id);
    EXPECT_GT(owned, 0) << "not installed on the image";
    for (const auto& [id, _] : after) {
      remaining += Owns(f, id);
      if (!f.left && !f.rewritten) {
        EXPECT_FALSE(Owns(f, id)) << "left behind: " << Utf8(id);
      }
    }
    if (f.left || f.rewritten) {
      EXPECT_GT(remaining, 0) << (f.left ? "no longer left behind: move it to the family's objects"
                                         : "another program's object is gone");
    }
  }

  // Every other object is as the restart alone leaves it.
  for (const std::string& id : Changed(restarted, after)) {
    bool family_ = false;
    for (const FamilyObject& f : family) family_ = family_ || Owns(f, id);
    if (family_ || ChangedByDesign(id, run.machine)) continue;
    if (std::optional<std::string> shared = CompareSharedObject(family, id, restarted, after)) {
      EXPECT_EQ(*shared, "") << Utf8(id);
      continue;
    }
    auto b = restarted.find(id), a = after.find(id);
    ADD_FAILURE() << (b == restarted.end() ? "added: " : a == after.end() ? "removed: " : "changed: ") << Utf8(id)
                  << (b != restarted.end() ? "\n  was: " + Utf8(b->second).substr(0, 200) : "")
                  << (a != after.end() ? "\n  now: " + Utf8(a->second).substr(0, 200) : "");
  }

  // The restart is asked for exactly when the restart carried out something of the run's:
  // what it changed on this machine beyond what it changes on the machine without the run
  // (service run states following their start types aside).
  int waited = 0;
  std::vector<std::string> restartAlone = Changed(installed, restarted);
  for (const std::string& id : Changed(beforeRestart, after)) {
    if (id.rfind("service ", 0) == 0 && beforeRestart.count(id) && after.count(id)) continue;
    if (std::find(restartAlone.begin(), restartAlone.end(), id) == restartAlone.end()) ++waited;
  }
  EXPECT_EQ(run.doc.restartNeeded, s.restartNeeded);
  EXPECT_EQ(run.doc.restartNeeded == 1, waited > 0) << waited << " objects changed by the restart";

  const std::string log = run.Log();
  for (const std::string& text : s.logHolds) EXPECT_NE(log.find(text), std::string::npos) << Utf8(text);
  EXPECT_EQ(run.machine.HungSends(), 0);
  EXPECT_EQ(run.machine.ComInitializations(), 0);

  // A second run on the restarted machine changes nothing but its log, and deletes nothing:
  // only what the list says the first run leaves may go now.
  SecondStart second(run.machine);
  second.Run();
  bool secondRemovedLeftovers = false;
  for (const std::string& id : Changed(after, TakeObjects(run.machine))) {
    bool left = false;
    for (const FamilyObject& f : family) left = left || (f.left && Owns(f, id));
    secondRemovedLeftovers = secondRemovedLeftovers || left;
    if (!left && !ChangedByDesign(id, run.machine)) ADD_FAILURE() << "the second run changed " << Utf8(id);
  }
  if (!secondRemovedLeftovers) {
    EXPECT_EQ(run.Log().find("削除成功"), std::string::npos) << Utf8(run.Log());
  }
  EXPECT_EQ(second.doc.restartNeeded, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Images, ImageScenario,
    ::testing::Values(
        Scenario{"default", 1,
                 {"＜その他削除＞\r\nＲＣＭ サービス削除成功\r\nＰＪＲ サービス削除成功\r\nＰＱＳ サービス削除成功\r\n"
                  "ＰＭＮ サービス削除成功\r\nＮＱＳ サービスなし\r\nＳＤＳ サービス削除成功\r\n",
                  "Migrate作成Iniファイル削除\r\nIniファイル削除成功\r\n"}},
        Scenario{"w2k-spooler-stopped", 1, {}},
        Scenario{"nt351", 1, {"ＳＤＳ サービス削除成功\r\nＰＣＤ サービス削除成功\r\n"}},
        Scenario{"win98", 1, {"＜再起動要因＞", "C:\\WINDOWS\\SYSTEM\\ZOVSRM.DLL の削除に失敗"}}),
    [](const ::testing::TestParamInfo<Scenario>& info) {
      std::string name = info.param.image;
      for (char& c : name)
        if (c == '-') c = '_';
      return name;
    });

}  // namespace
}  // namespace qx::test
