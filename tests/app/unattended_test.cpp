// Unattended runs: the command line, the exit codes and restarts each mode gives, and a quiet
// run on the default image with its result file and log copy.
#include <gtest/gtest.h>

#include "app/text.h"
#include "app/ui/run_report.h"
#include "platform/sim/image/image.h"
#include "support/run_fixture.h"

namespace qx::test {
namespace {

RunSwitches Parse(const std::string& line, bool& ok) {
  RunSwitches s;
  std::string error;
  ok = ParseSwitches(SplitCommandLine(line), s, error);
  return s;
}

TEST(CommandLine, SwitchesAreReadAsDeploymentToolsWriteThem) {
  using M = RunSwitches::Mode;
  using R = RunSwitches::Restart;
  struct Case {
    const char* line;
    bool ok;
    M mode = M::Interactive;
    int drivers = -1;
    R restart = R::Prompt;
    const char* log = "";
    const char* report = "";
  } cases[] = {
      {"", true, M::Interactive, -1, R::Prompt, "", ""},
      {"/QUIET -KeepDrivers", true, M::Quiet, 0, R::Never, "", ""},
      {"-passive /removedrivers /forcerestart", true, M::Passive, 1, R::Force, "", ""},
      {"/norestart /report:C:\\r.ini", true, M::Interactive, -1, R::Never, "", "C:\\r.ini"},
      {"/log:\"C:\\Program Files\\a b.log\" /passive /passive", true, M::Passive, -1, R::Never, "C:\\Program Files\\a b.log", ""},
      {"/log:\"C:\\ソ\" /quiet", true, M::Quiet, -1, R::Never, "C:\\ソ", ""},  // a trail byte 0x5C before the quote
      {"\"/report:\\\\srv\\share\\%COMPUTERNAME%.ini\"", true, M::Interactive, -1, R::Prompt, "", "\\\\srv\\share\\%COMPUTERNAME%.ini"},
      {"/quiet /promptrestart", false},
      {"/passive /quiet", false},
      {"/keepdrivers /removedrivers", false},
      {"/norestart /forcerestart", false},
      {"/log", false},
      {"/report:", false},
      {"/quiet:1", false},
      {"/whatever", false},
      {"quiet", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    bool ok = false;
    RunSwitches s = Parse(c.line, ok);
    ASSERT_EQ(ok, c.ok);
    if (!ok) continue;
    EXPECT_EQ(s.mode, c.mode);
    EXPECT_EQ(s.drivers, c.drivers);
    EXPECT_EQ(s.EffectiveRestart(), c.restart);
    EXPECT_EQ(s.logPath, c.log);
    EXPECT_EQ(s.reportPath, c.report);
  }
  bool ok = false;
  EXPECT_TRUE(Parse("/?", ok).help && ok);
}

TEST(Unattended, EachModeAsksWhatItMayAndExitsWithTheInstallersCode) {
  const char* kBase = "[ENVIRONMENT]\r\nAP=QXERASER\r\nSUPPORTOS=N4\r\nDEFAULT_DELPRINTER=1\r\n";
  struct Case {
    const char* line;
    const char* config;  // nullptr: no QXErs.ini
    int delFlags;        // -1: the run never started
    std::vector<int> templates;
    std::size_t boxes;
    int exitCode;
  } cases[] = {
      {"/quiet", kBase, 7, {}, 0, 0},
      {"/passive /keepdrivers", kBase, 5, {131}, 0, 0},
      {"/quiet", nullptr, -1, {}, 0, 1619},
      {"/passive", "[ENVIRONMENT]\r\nAP=QXERASER\r\nSUPPORTOS=95\r\n", -1, {}, 0, 1633},
      {"/keepdrivers /report:C:\\r.ini", kBase, 5, {130, 134, 131}, 2, 0},  // asked as always; the preset is the switch's
      {"/keepdrivers", kBase, 5, {130, 134, 131}, 2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    RunFixture run;
    if (c.config) run.machine.AddFile("C:\\QXErs\\QXErs.ini", c.config);
    bool ok = false;
    run.view.switches = Parse(c.line, ok);
    ASSERT_TRUE(ok);
    run.view.OnTimer();
    run.machine.JoinThreads();
    EXPECT_EQ(run.dialogs.templates, c.templates);
    EXPECT_EQ(run.dialogs.boxes.size(), c.boxes);
    EXPECT_EQ(run.dialogs.closed, 1);
    EXPECT_EQ(run.view.exitCode, c.exitCode);
    if (c.delFlags >= 0) {
      EXPECT_EQ(run.doc.delFlags, c.delFlags);
    }
    EXPECT_EQ(run.machine.HasFile("C:\\r.ini"), std::string(c.line).find("/report") != std::string::npos);
  }
}

// Every end of a run in every mode: the exit code, the message boxes shown and whether Windows
// was asked to restart. kSecond: a second instance, which runs nothing.
TEST(Unattended, EachEndGivesItsExitCodeAndShowsOnlyWhatItsModeAllows) {
  constexpr int kSecond = 100;
  struct Case {
    const char* line;
    int result;
    int answer;  // to a question, when one is asked
    std::size_t boxes;
    bool restarted;
    int exitCode;
  } cases[] = {
      {"", kResultDone, kIdOk, 1, false, 0},
      {"", kResultRestart, kIdNo, 1, false, 0},
      {"", kSecond, kIdOk, 0, false, 0},
      {"/report:C:\\r.ini", kResultCancelled, kIdOk, 1, false, 1602},
      {"/report:C:\\r.ini", kResultNoConfiguration, kIdOk, 1, false, 1619},
      {"/passive", kResultDone, kIdOk, 0, false, 0},
      {"/passive", kResultRestart, kIdYes, 0, false, 3010},
      {"/passive", kResultCancelled, kIdOk, 0, false, 1602},
      {"/passive", kResultUnsupportedSystem, kIdOk, 0, false, 1633},
      {"/passive", 2, kIdOk, 0, false, 1603},
      {"/quiet", kResultNoRights, kIdOk, 0, false, 5},
      {"/quiet /report:C:\\r.ini", kSecond, kIdOk, 0, false, 1618},
      {"/quiet /forcerestart", kResultRestart, kIdNo, 0, true, 1641},
      {"/passive /promptrestart", kResultRestart, kIdYes, 1, true, 1641},
      {"/passive /promptrestart", kResultRestart, kIdNo, 1, false, 3010},
      {"/norestart /report:C:\\r.ini", kResultRestart, kIdYes, 1, false, 3010},  // the person hears it is done
      {"/forcerestart", kResultRestart, kIdNo, 0, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.line) + " " + std::to_string(c.result));
    RunFixture run;
    bool ok = false;
    run.view.switches = Parse(c.line, ok);
    ASSERT_TRUE(ok);
    run.dialogs.answers = {c.answer};
    if (c.result == kSecond) run.view.EndAsSecondInstance();
    else run.view.OnMessage(QXM_RESULT, static_cast<WPARAM>(static_cast<LPARAM>(c.result)), 0);
    EXPECT_EQ(run.dialogs.boxes.size(), c.boxes);
    EXPECT_EQ(run.machine.ShutdownRequests().size(), c.restarted ? 1u : 0u);
    EXPECT_EQ(run.view.exitCode, c.exitCode);
    EXPECT_EQ(run.dialogs.closed, c.result == kSecond ? 0 : 1);
    EXPECT_EQ(run.machine.HasFile("C:\\r.ini"), std::string(c.line).find("/report") != std::string::npos);
  }
}

// The default image: the family's status-manager library is held open, so the run waits for a
// restart; its log has failure lines in several sections.
TEST(Unattended, AQuietRunOnTheDefaultImageReportsWhatItsLogSays) {
  struct Case {
    bool logOn;
    const char* copy;
    bool copyWritten;
  } cases[] = {{true, "C:\\logs\\copy.log", true}, {false, "C:\\logs\\copy.log", true}, {true, "C:\\missing\\copy.log", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.copy) + (c.logOn ? " LOG=1" : " LOG=0"));
    RunFixture run;
    std::string error;
    ASSERT_TRUE(sim::LoadImage(std::string(QX_SOURCE_DIR) + "/images/default", run.machine, error)) << error;
    run.machine.AddDirectory("C:\\logs");
    run.machine.AddFile("C:\\r.ini", "an older report");
    if (!c.logOn) {
      std::string ini = run.machine.File("C:\\QXErs\\QXErs.ini")->contents;
      std::size_t at = ini.find("LOG=1");
      ASSERT_NE(at, std::string::npos);
      run.machine.AddFile("C:\\QXErs\\QXErs.ini", ini.replace(at, 5, "LOG=0"));
    }
    bool ok = false;
    run.view.switches = Parse(std::string("/quiet /report:C:\\r.ini /log:") + c.copy, ok);
    run.view.OnTimer();
    run.machine.JoinThreads();
    EXPECT_TRUE(run.dialogs.templates.empty() && run.dialogs.boxes.empty());
    for (const std::string& m : run.Messages()) EXPECT_FALSE(std::stoi(m) >= 1035 && std::stoi(m) <= 1044) << m;  // none of the run's
    EXPECT_EQ(run.view.exitCode, 3010);

    auto value = [&](const char* section, const std::string& key) {
      char buffer[1024] = {};
      run.machine.platform().profile.GetPrivateProfileStringA(section, key.c_str(), "?", buffer, sizeof buffer, "C:\\r.ini");
      return std::string(buffer);
    };
    EXPECT_EQ(value("Result", "ExitCode"), "3010");
    EXPECT_EQ(value("Result", "RestartNeeded"), "1");
    EXPECT_EQ(value("Result", "Log"), c.logOn ? "C:\\TEMP\\QXErs.log" : "");
    EXPECT_EQ(value("Result", "LogCopyWritten"), c.copyWritten ? "1" : "0");
    EXPECT_FALSE(run.machine.HasFile("C:\\r.ini.part"));
    std::string log = c.logOn ? run.machine.File("C:\\TEMP\\QXErs.log")->contents : run.machine.File(c.copy)->contents;
    if (c.copyWritten && c.logOn) {
      EXPECT_EQ(run.machine.File(c.copy)->contents, log);
    }
    EXPECT_EQ(run.machine.HasFile("C:\\TEMP\\QXErs.log"), c.logOn);

    // Every line of the log that says 失敗 is counted in its section and listed.
    const char* keys[] = {"Files", "Registry", "PartialRegistry", "Folders", "Others", "Drivers", "SpoolerStopped", "RestartCauses"};
    std::size_t section = 0, total = 0;
    std::vector<std::size_t> counted(8, 0);
    std::size_t begin = 0;
    bool inHeader = true;
    for (std::size_t end; (end = log.find("\r\n", begin)) != std::string::npos; begin = end + 2) {
      std::string line = log.substr(begin, end - begin);
      if (line.rfind("＜", 0) == 0) {
        inHeader = line == "＜環境情報＞";
        for (std::size_t i = 0; i < 8; ++i)
          if (run.doc.Sections()[i].first == line) section = i;
        continue;
      }
      if (inHeader || !ContainsText(line, "失敗") || ContainsText(line, "失敗 or なし")) continue;
      EXPECT_EQ(value("Failures", std::string(keys[section]) + "." + std::to_string(++counted[section])), line);
      ++total;
    }
    EXPECT_GT(total, 3u);
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(value("Result", std::string("Failures.") + keys[i]), std::to_string(counted[i]));
    EXPECT_EQ(value("Result", "Failures"), std::to_string(total));
  }
}

}  // namespace
}  // namespace qx::test
