// The engine at its limits: names at and past the 260-byte buffers it reads them into,
// double-byte text cut at a buffer's edge, and services, windows, Program Manager and the web
// server that never answer. Every run ends, within the virtual time its waits allow, and acts
// on the objects meant and on no other.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/directories.h"
#include "app/text.h"
#include "companions/companion_programs.h"
#include "companions/companions.h"
#include "app/services.h"
#include "platform/sim/image/image.h"
#include "support/run_fixture.h"
#include "support/stage_machine.h"

namespace qx::test {
namespace {

constexpr const char* kHklm = "HKEY_LOCAL_MACHINE\\";
constexpr const char* kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr const char* kPrinters = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";

// A name of exactly bytes bytes: ASCII up to the tail, then as many double-byte characters
// as the tail asks for. Registry key names stay under Windows' 255 characters this way.
std::string Name(std::size_t bytes, std::size_t doubleByteChars, char ascii = 'A') {
  const std::string wide = "ア";  // two bytes in code page 932
  std::string name(bytes - 2 * doubleByteChars, ascii);
  for (std::size_t i = 0; i < doubleByteChars; ++i) name += wide;
  return name;
}

struct LongName {
  const char* what;
  std::string name;
};

// Names that fit a 260-byte buffer with their zero and names that do not, the double-byte
// ones of at most 150 characters as a real key, printer or entry name can be.
std::vector<LongName> KeyNames() {
  return {
      {"259 bytes: fits", Name(259, 129)},
      {"260 bytes", Name(260, 129)},
      {"261 bytes, a double-byte character across the buffer's edge", Name(261, 130)},
      {"300 bytes", Name(300, 149)},
  };
}

// ---------------------------------------------------------------- enumerations

TEST(LongNames, AnEnumerationGoesOnPastANameTooLongForItsBuffer) {
  struct Site {
    const char* what;
    // Puts a name before the object the step must find (enumerations run in name order).
    std::function<void(StageMachine&, const std::string& longName)> make;
    std::function<void(StageMachine&)> step;
    std::function<bool(StageMachine&)> found;
  };
  const std::string tree = std::string(kHklm) + "SOFTWARE\\ZOV\\Tree\\";
  const std::string printers = std::string(kHklm) + kPrinters;
  const std::string uninstall = std::string(kHklm) + kUninstall;
  const Site sites[] = {
      {"a configured key's subkeys",
       [&](StageMachine& s, const std::string& n) {
         s.machine.AddKey(tree + n);
         s.machine.AddKey(tree + "Zed");
         s.doc.DEL_REG_QX = {"HKEY_LOCAL_MACHINE,SOFTWARE\\ZOV\\Tree"};
       },
       [](StageMachine& s) { s.doc.RemoveRegistryEntries(); },
       [&](StageMachine& s) { return !s.machine.HasKey(tree + "Zed"); }},
      {"the spooler's printer keys",
       [&](StageMachine& s, const std::string& n) {
         s.machine.SetString(printers + n, "Printer Driver", "Other Driver");
         s.machine.SetString(printers + "Zed Printer", "Printer Driver", "Qorvex PS Driver");
         s.doc.DEL_PRINTER_NAME = {"Qorvex PS Driver"};
       },
       [](StageMachine& s) { s.doc.GatherPrinterNames(); },
       [](StageMachine& s) { return s.doc.printerNames == StringList{"Zed Printer"}; }},
      {"the uninstall entries",
       [&](StageMachine& s, const std::string& n) {
         s.machine.SetString(uninstall + n, "UninstallString", "C:\\Other\\Uninst.exe");
         s.machine.SetString(uninstall + "ZOVPLS", "ApplicationName", "ZOVPLS.exe");
         s.machine.SetString(uninstall + "ZOVPLS", "UninstallString",
                             "C:\\WINNT\\IsUninst.exe -nC:\\Program Files\\Qorvex PLS\\ZOVPLS.exe");
       },
       [](StageMachine& s) { s.doc.AddCompanionProgramDirs(); },
       [](StageMachine& s) { return ListHoldsNoCase(s.doc.productDirs, "C:\\Program Files\\Qorvex PLS\\"); }},
  };
  for (const Site& site : sites) {
    for (const LongName& n : KeyNames()) {
      SCOPED_TRACE(std::string(site.what) + ", " + n.what);
      StageMachine s;
      site.make(s, n.name);
      site.step(s);
      EXPECT_TRUE(site.found(s));
    }
  }
}

// ---------------------------------------------------------------- registry texts

TEST(LongNames, AnUninstallStringLongerThanTheBufferStillNamesItsDirectory) {
  const std::string dir = "C:\\Program Files\\Qorvex 印刷管理\\";
  const std::string head = "\"" + dir + "Uninst.exe\" /x ";
  // The whole value, its zero not counted.
  const LongName commands[] = {
      {"259 bytes: fits", head + std::string(259 - head.size(), 'a')},
      {"260 bytes", head + std::string(260 - head.size(), 'a')},
      {"261 bytes, a double-byte character across the buffer's edge", head + std::string(259 - head.size(), 'a') + "ア"},
      {"300 bytes", head + Name(300 - head.size(), 20, 'a')},
  };
  for (const LongName& c : commands) {
    SCOPED_TRACE(c.what);
    StageMachine s;
    s.machine.SetString(std::string(kHklm) + kUninstall + "Qorvex 1.2", "UninstallString", c.name);
    s.doc.FindProductDirFromUninstallEntry();
    EXPECT_EQ(s.doc.productDirs, StringList{dir});
  }
}

// ---------------------------------------------------------------- window titles

TEST(LongNames, ARemotePanelIsKnownByTheEndOfItsWholeTitle) {
  const std::string half = "- ﾘﾓｰﾄﾊﾟﾈﾙ";       // 10 bytes
  const std::string full = "- リモートパネル";  // 16 bytes
  auto title = [](std::size_t bytes, const std::string& end) { return std::string(bytes - end.size(), 'x') + end; };
  struct Case {
    const char* what;
    std::string title;
    bool panel;
  } cases[] = {
      {"259 bytes: fits", title(259, half), true},
      {"260 bytes", title(260, half), true},
      {"261 bytes, full-width", title(261, full), true},
      {"a double-byte character across the buffer's edge", std::string(258, 'x') + "事務所" + full, true},
      {"300 bytes", title(300, full), true},
      // Cut by the buffer right after the text, the title would seem to end in it.
      {"the text ends at byte 259 and more follows", title(259, half) + " の使い方", false},
      {"the full-width text ends at byte 259 and more follows", title(259, full) + " の使い方", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StageMachine s;
    sim::WindowBehaviour closesOnCommand;
    closesOnCommand.onMessage = WM_COMMAND;
    closesOnCommand.onWParam = 5005;
    HWND window =
        s.machine.AddProgramWindow({"ZOVRPNLWndClass", c.title, "C:\\Program Files\\Qorvex\\ZOVRPNL.EXE", closesOnCommand});
    s.doc.StopCompanionPrograms();
    std::size_t commands = 0;
    for (const sim::ReceivedMessage& m : s.machine.Messages(window)) commands += m.message == WM_COMMAND && m.wParam == 5005;
    EXPECT_EQ(commands, c.panel ? 1u : 0u);
  }
}

// ---------------------------------------------------------------- the unfinished run's note

TEST(UnfinishedRunNote, AnItemTooLongToReadBackIsNeitherLostNorOverwritten) {
  const std::string key = std::string(kHklm) + "SOFTWARE\\Qorvex Eraser\\Unfinished Run";
  // A spool folder with a Japanese name of 150 characters: a valid path, 300 bytes.
  const std::string longDir = "C:\\" + Name(296, 148, 'Q') + "\\";
  StageMachine s;
  s.machine.SetString(key, "SPOOL.0", longDir);
  s.machine.SetString(key, "SPOOL.1", "C:\\Keep\\SPOOL\\");
  s.doc.spoolDirs = {"C:\\New\\SPOOL\\"};  // found by this run
  s.doc.TakeUpUnfinishedRun();
  s.doc.NoteUnfinishedRun();
  EXPECT_TRUE(ListHoldsNoCase(s.doc.spoolDirs, longDir));
  StringList noted;
  for (const sim::RegValue& v : s.machine.Values(key)) noted.push_back(FromBuffer(v.data.data(), v.data.size()));
  for (const std::string& dir : {longDir, std::string("C:\\Keep\\SPOOL\\"), std::string("C:\\New\\SPOOL\\")}) {
    EXPECT_TRUE(ListHoldsNoCase(noted, dir)) << "not noted: " << dir;
  }
}

// ---------------------------------------------------------------- waits

// The longest each of the engine's waits lasts on the virtual clock (the wait table of the
// review): a service stop polls to its limit and rests a second, a start or a deletion polls
// to its limit, the spooler is started three times five seconds apart, a program window is
// given ten seconds to answer and ten to go, a Program Manager entry two transactions of ten
// seconds and a pause, the metabase one time-out, a broadcast one second per window.
constexpr std::uint64_t kPollingMs = std::uint64_t{kServicePollLimit} * kServicePollMs;
constexpr std::uint64_t kStopMs = kPollingMs + 1000;
constexpr std::uint64_t kSpoolerAgainMs =
    kSpoolerStartAttempts * kPollingMs + (kSpoolerStartAttempts - 1) * std::uint64_t{kSpoolerRetryMs};
constexpr std::uint64_t kWindowMs = kWindowAnswerTimeoutMs + std::uint64_t{kWindowClosePolls} * kWindowClosePollMs;
constexpr std::uint64_t kMenuEntryMs = 2 * 10000 + 500;
constexpr std::uint64_t kMetabaseMs = 60000;

std::uint64_t WaitBound(const CQXErsDoc& doc, std::size_t programWindows) {
  const bool nt = doc.osType != kWindows9x;
  // ZOVRCM, ZOVNQSNT, ZOVPMN, ZOVPQS, ZOVPJR, ZOVSDS, and Par1284 on NT 3.51: stopped, then deleted.
  const std::uint64_t companions = nt ? (doc.osType == kWindowsNT351 ? 7 : 6) : 0;
  std::uint64_t bound = companions * (kStopMs + kPollingMs);
  // The spooler around the deferred files and at the end; the web service; the metabase.
  if (nt) bound += 2 * (kStopMs + kSpoolerAgainMs) + kStopMs + kPollingMs;
  bound += kMetabaseMs;
  // Windows looked for by name (7 on the NT family, 12 on Windows 95/98), remote panels in
  // both of their passes, the status manager's rest and the terminate event's.
  bound += ((nt ? 7 : 12) + 2 * programWindows) * kWindowMs + 5000 + 21000;
  // Around the driver deletions, and per monitor deleted (twice on Windows 2000).
  bound += 4000 + 500 * doc.DEL_LM_NAME.size() * (doc.osType == kWindows2000 ? 2 : 1);
  const std::size_t menuEntries = doc.DEL_FOLDER_QX.size() + doc.migrationLists[kMigMenuItems].size() +
                                  doc.migrationLists[kMigDrivers + kMigMenuItems].size();
  bound += menuEntries * kMenuEntryMs;
  // The default printer's announcement, one second for each window that does not answer.
  return bound + programWindows * 1000;
}

TEST(Waits, ASpoolerThatNeverRunsAgainIsLeftToTheRestart) {
  struct Case {
    const char* what;
    sim::ServiceBehaviour behaviour;
    bool leftToRestart;
  } cases[] = {
      {"starts at once", {}, false},
      {"starts after three polls", {.pollsToStart = 3}, false},
      {"stays start-pending", {.neverStarts = true}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StageMachine s;
    s.machine.SetDword(std::string(kHklm) + "SYSTEM\\CurrentControlSet\\Services\\Spooler", "Start", 2);
    s.machine.SetServiceState("Spooler", SERVICE_STOPPED);
    s.machine.SetServiceBehaviour("Spooler", c.behaviour);
    s.doc.StartSpoolerAgain();
    EXPECT_EQ(s.doc.restartNeeded == 1, c.leftToRestart);
    EXPECT_EQ(s.doc.logRestartCauses.size(), c.leftToRestart ? 1u : 0u);
    EXPECT_LE(s.machine.ElapsedMs(), kSpoolerAgainMs);
  }
}

TEST(Waits, NothingThatNeverAnswersHoldsTheRunPastItsBound) {
  auto never = [](sim::SimMachine& m, const char* service, bool stops, bool starts) {
    sim::ServiceBehaviour b = m.GetServiceBehaviour(service);
    b.neverStops = b.neverStops || !stops;
    b.neverStarts = b.neverStarts || !starts;
    m.SetServiceBehaviour(service, b);
  };
  auto servicesNeverStop = [&](sim::SimMachine& m) {
    for (const char* s : {"ZOVSDS", "ZOVPMN", "ZOVPQS", "ZOVRCM"}) never(m, s, false, true);
  };
  auto spoolerNeverStarts = [&](sim::SimMachine& m) { never(m, "Spooler", true, false); };
  auto windowsNeverAnswer = [](sim::SimMachine& m) {
    sim::WindowBehaviour busy;
    busy.waitsEvent = "QX:NeverSet";
    sim::WindowBehaviour hung;
    hung.hangs = true;
    m.AddProgramWindow({"ZOVQXEXP", "Qorvex プリンタ一覧", "C:\\Busy\\ZOVQXEXP.EXE", busy});
    m.AddProgramWindow({"ZOVRPNLWndClass", "Busy - ﾘﾓｰﾄﾊﾟﾈﾙ", "C:\\Busy\\ZOVRPNL.EXE", busy});
    m.AddProgramWindow({"Notepad", "hung - メモ帳", "C:\\WINNT\\System32\\notepad.exe", hung});
  };
  auto programManagerNeverAnswers = [](sim::SimMachine& m) {
    m.AddFault({"DdeClientTransaction", "", 0, DMLERR_EXECACKTIMEOUT});
  };
  auto webServerNeverAnswers = [&](sim::SimMachine& m) {
    sim::WebServer web = m.GetWebServer();
    web.kind = sim::WebServer::Kind::kUnreachable;
    m.SetWebServer(web);
    never(m, "W3SVC", false, false);
  };
  struct Case {
    const char* what;
    std::function<void(sim::SimMachine&)> make;
    std::uint64_t atLeastMs;  // more than the run of the image as it is
  } cases[] = {
      {"the image as it is", [](sim::SimMachine&) {}, 0},
      {"companion services that never stop", servicesNeverStop, 59000},
      {"a spooler that never starts again", spoolerNeverStarts, 60000},
      {"program windows that never answer", windowsNeverAnswer, 15000},
      // Each transaction would wait its ten seconds on Windows; the simulation charges none.
      {"a Program Manager that never answers", programManagerNeverAnswers, 0},
      {"a web server that cannot be reached, its service never stopping", webServerNeverAnswers, 59000},
      {"all of them at once",
       [&](sim::SimMachine& m) {
         servicesNeverStop(m);
         spoolerNeverStarts(m);
         windowsNeverAnswer(m);
         programManagerNeverAnswers(m);
         webServerNeverAnswers(m);
       },
       180000},
  };
  std::uint64_t asItIs = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunFixture run;
    std::string error;
    ASSERT_TRUE(sim::LoadImage(std::string(QX_SOURCE_DIR) + "/images/default", run.machine, error)) << error;
    c.make(run.machine);
    const std::size_t windows = run.machine.ProgramWindows().size();
    run.machine.SetRunawayLimit(2000000);
    run.Run();
    ASSERT_FALSE(run.machine.RanAway());
    const std::vector<std::string> messages = run.Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().rfind(std::to_string(QXM_RESULT) + " ", 0), 0u) << messages.back();  // the result came
    EXPECT_EQ(run.machine.HungSends(), 0);
    const std::uint64_t elapsed = run.machine.ElapsedMs();
    EXPECT_LE(elapsed, WaitBound(run.doc, windows));
    // Each case must really cost its waits, or it proves nothing about them.
    if (&c == &cases[0]) asItIs = elapsed;
    EXPECT_GE(elapsed, asItIs + c.atLeastMs);
  }
}

}  // namespace
}  // namespace qx::test
