// qxers-sim's summary of what changed on a machine, and its progress output.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "platform/sim/sim_machine.h"
#include "resources/resource.h"
#include "tools/qxers-sim/console_dialogs.h"
#include "platform/sim/summary/summary.h"

namespace qx::test {
namespace {

using qxsim::Kind;
using sim::SimMachine;

constexpr char kPrint[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print";
constexpr char kServices[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services";
constexpr char kPrograms[] =
    "HKEY_USERS\\S-1-5-21-1000\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

void Win98(SimMachine& m) {
  m.settings().platformId = VER_PLATFORM_WIN32_WINDOWS;
  m.settings().windowsDirectory = "C:\\WINDOWS";
}

struct KindCase {
  const char* name;
  Kind kind;
  std::function<void(SimMachine&)> both;   // the machine before
  std::function<void(SimMachine&)> after;  // what the run did
  std::string change;                      // "-" removed, "+" added, "~" changed, then the name shown
};

TEST(QxersSimSummary, EachKindTellsWhatWasRemovedAddedOrChanged) {
  std::string env = std::string(kPrint) + "\\Environments\\Windows NT x86";
  std::string monitor = std::string(kPrint) + "\\Monitors\\ZOV Network Port";
  std::string ntPorts = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
  auto file = [](SimMachine& m) { m.AddFile("C:\\Q\\A.DLL", "a"); };
  auto service = [](SimMachine& m) { m.SetDword(std::string(kServices) + "\\ZOVSDS", "Type", 16); };
  auto group = [](SimMachine& m) {
    m.SetString(kPrograms, "Programs", "C:\\P");
    m.AddFile("C:\\P\\Qorvex\\Readme.lnk", "l");
  };
  auto winIni = [](SimMachine& m) {
    Win98(m);
    m.AddFile("C:\\WINDOWS\\WIN.INI", "[windows]\r\nVPT1:=x\r\n[ports]\r\nLPT1:=\r\nVPT1:=\r\n");
  };
  const KindCase cases[] = {
      {"file removed", Kind::kFiles, file, [](SimMachine& m) { m.RemoveFile("C:\\Q\\A.DLL"); }, "-C:\\Q\\A.DLL"},
      {"file rewritten", Kind::kFiles, file, [](SimMachine& m) { m.AddFile("C:\\Q\\A.DLL", "b"); }, "~C:\\Q\\A.DLL"},
      {"file's attributes", Kind::kFiles, file,
       [](SimMachine& m) { m.SetAttributes("C:\\Q\\A.DLL", FILE_ATTRIBUTE_READONLY); }, "~C:\\Q\\A.DLL"},
      {"folder added", Kind::kFolders, file, [](SimMachine& m) { m.AddDirectory("C:\\Q\\SUB"); }, "+C:\\Q\\SUB"},
      {"key removed", Kind::kKeys, [](SimMachine& m) { m.AddKey("HKLM\\SOFTWARE\\ZOV\\Qorvex"); },
       [](SimMachine& m) { m.RemoveKey("HKLM\\SOFTWARE\\ZOV\\Qorvex"); }, "-HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\Qorvex"},
      {"value changed", Kind::kValues, [](SimMachine& m) { m.SetString("HKLM\\SOFTWARE\\ZOV", "Products", "QX,QY"); },
       [](SimMachine& m) { m.SetString("HKLM\\SOFTWARE\\ZOV", "Products", "QY"); },
       "~HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV \"Products\""},
      {"service removed", Kind::kServices, service,
       [](SimMachine& m) { m.RemoveKey(std::string(kServices) + "\\ZOVSDS"); }, "-ZOVSDS"},
      {"service stopped", Kind::kServices, [&](SimMachine& m) { service(m); m.SetServiceState("ZOVSDS", SERVICE_RUNNING); },
       [](SimMachine& m) { m.SetServiceState("ZOVSDS", SERVICE_STOPPED); }, "~ZOVSDS"},
      {"printer removed", Kind::kPrinters,
       [](SimMachine& m) { m.SetString(std::string(kPrint) + "\\Printers\\Qorvex Printer", "Port", "VPT1:"); },
       [](SimMachine& m) { m.RemoveKey(std::string(kPrint) + "\\Printers\\Qorvex Printer"); }, "-Qorvex Printer"},
      {"printer moved to another port", Kind::kPrinters,
       [](SimMachine& m) { m.SetString(std::string(kPrint) + "\\Printers\\Office", "Port", "VPT1:,LPT1:"); },
       [](SimMachine& m) { m.SetString(std::string(kPrint) + "\\Printers\\Office", "Port", "LPT1:"); }, "~Office"},
      {"NT driver", Kind::kDrivers, [&](SimMachine& m) { m.AddKey(env + "\\Drivers\\Version-2\\Qorvex PS"); },
       [&](SimMachine& m) { m.RemoveKey(env + "\\Drivers\\Version-2\\Qorvex PS"); },
       "-Qorvex PS (Windows NT x86, Version-2)"},
      {"Windows 98 driver", Kind::kDrivers,
       [](SimMachine& m) { Win98(m); m.AddKey(std::string(kPrint) + "\\Environments\\Windows 4.0\\Drivers\\Qorvex PS"); },
       [](SimMachine& m) { m.RemoveKey(std::string(kPrint) + "\\Environments\\Windows 4.0\\Drivers\\Qorvex PS"); },
       "-Qorvex PS (Windows 4.0)"},
      {"monitor", Kind::kMonitors, [&](SimMachine& m) { m.SetString(monitor, "Driver", "ZOVMON.DLL"); },
       [&](SimMachine& m) { m.RemoveKey(monitor); }, "-ZOV Network Port"},
      {"monitor's port", Kind::kPorts, [&](SimMachine& m) { m.AddKey(monitor + "\\Ports\\ZOVIP_1"); },
       [&](SimMachine& m) { m.RemoveKey(monitor + "\\Ports\\ZOVIP_1"); }, "-ZOVIP_1 (ZOV Network Port)"},
      {"NT local port", Kind::kPorts, [&](SimMachine& m) { m.SetString(ntPorts, "VPT1:", ""); },
       [&](SimMachine& m) { m.RemoveValue(ntPorts, "VPT1:"); }, "-VPT1: (Local Port)"},
      {"Windows 98 local port", Kind::kPorts, winIni,
       [](SimMachine& m) { m.AddFile("C:\\WINDOWS\\WIN.INI", "[windows]\r\nVPT1:=x\r\n[ports]\r\nLPT1:=\r\n"); },
       "-VPT1: (Local Port)"},
      {"print processor", Kind::kPrintProcessors, [&](SimMachine& m) { m.AddKey(env + "\\Print Processors\\ZOVPDD"); },
       [&](SimMachine& m) { m.RemoveKey(env + "\\Print Processors\\ZOVPDD"); }, "-ZOVPDD (Windows NT x86)"},
      {"program group", Kind::kGroups, group, [](SimMachine& m) { m.RemoveFile("C:\\P\\Qorvex"); }, "-C:\\P\\Qorvex"},
      {"shortcut", Kind::kShortcuts, group, [](SimMachine& m) { m.RemoveFile("C:\\P\\Qorvex\\Readme.lnk"); },
       "-C:\\P\\Qorvex\\Readme.lnk"},
      {"NT pending deletion", Kind::kRestart, file,
       [](SimMachine& m) {
         m.SetValue("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager", "PendingFileRenameOperations",
                    REG_MULTI_SZ, std::string("\\??\\C:\\Q\\A.DLL\0\0\0", 18));
       },
       "+delete C:\\Q\\A.DLL"},
      {"Windows 98 pending rename", Kind::kRestart, [](SimMachine& m) { Win98(m); },
       [](SimMachine& m) { m.AddFile("C:\\WINDOWS\\WININIT.INI", "[rename]\r\nC:\\Q\\A.DLL=C:\\Q\\A.NEW\r\n"); },
       "+rename C:\\Q\\A.NEW -> C:\\Q\\A.DLL"},
      {"driver waiting for its files", Kind::kRestart, [&](SimMachine& m) { m.AddKey(env + "\\Drivers\\Version-2\\Qorvex PS"); },
       [](SimMachine& m) { m.SetDriverPendingDeletion("Windows NT x86", "Qorvex PS"); },
       "+delete printer driver Qorvex PS (Windows NT x86)"},
  };
  for (const KindCase& c : cases) {
    SCOPED_TRACE(c.name);
    SimMachine before, after;
    c.both(before);
    c.both(after);
    c.after(after);
    qxsim::Summary s = qxsim::Compare(qxsim::Capture(before), qxsim::Capture(after));
    const qxsim::KindChange& k = s.kinds[static_cast<int>(c.kind)];
    std::vector<std::string> got;
    for (const auto& n : k.removed) got.push_back("-" + n);
    for (const auto& n : k.added) got.push_back("+" + n);
    for (const auto& n : k.changed) got.push_back("~" + n);
    EXPECT_EQ(got, std::vector<std::string>{c.change});
    // Unchanged machines show no change.
    EXPECT_TRUE(qxsim::Compare(qxsim::Capture(before), qxsim::Capture(before)).empty());
  }
}

// On a terminal the bar is redrawn in place and ends its line before anything else; otherwise
// a line per stage. Either way the stages' virtual waits are told.
TEST(QxersSimProgress, ABarOnATerminalLinesOtherwiseAndTheWaitsByStage) {
  for (bool terminal : {true, false}) {
    SCOPED_TRACE(terminal ? "terminal" : "plain");
    std::ostringstream out;
    std::uint64_t clock = 500;
    qxsim::ConsoleDialogs d(out, qxsim::ConsoleAnswers{});
    d.SetTerminal(terminal);
    d.SetClock([&clock] { return clock; });
    d.ShowProgress(IDD_PROGRESS);
    d.SetStatusText("Stopping");
    d.SetProgressRange(0, 4);
    d.SetProgressPosition(2);
    clock += 3000;
    d.SetStatusText("Files");
    d.SetProgressPosition(4);
    clock += 250;
    d.CloseProgress();
    clock += 1000;
    d.ShowMessageBox("done", "QX", kBoxOk);
    std::string expected =
        terminal ? "[progress] shown\n"
                   "\r\033[K[..............................] 0/0  Stopping"
                   "\r\033[K[..............................] 0/4  Stopping"
                   "\r\033[K[###############...............] 2/4  Stopping"
                   "\r\033[K[###############...............] 2/4  Files"
                   "\r\033[K[##############################] 4/4  Files"
                   "\r\033[K[##############################] 4/4  Files\n"
                   "[progress] closed at 4/4\n[message] QX: done\n"
                 : "[progress] shown\n[status] Stopping\n[range] 0..4\n[status] Files (step 2/4)\n"
                   "[progress] closed at 4/4\n[message] QX: done\n";
    EXPECT_EQ(out.str(), expected);
    auto times = d.StageTimes(clock);
    ASSERT_EQ(times.size(), 4u);
    EXPECT_EQ(times[0].ms, 500u);  // before the progress
    EXPECT_EQ(times[1].name, "Stopping");
    EXPECT_EQ(times[1].ms, 3000u);
    EXPECT_EQ(times[2].ms, 250u);
    EXPECT_EQ(times[3].ms, 1000u);  // after it closed
  }
}

}  // namespace
}  // namespace qx::test
