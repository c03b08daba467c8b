// The stage that stops the companion programs: what their windows, the status manager, the
// termination event and the services received, the progress steps, and the virtual time.
#include <gtest/gtest.h>

#include "companion_machine.h"

namespace qx::test {
namespace {

using Close = sim::WindowBehaviour::Close;

class StopCompanions : public CompanionMachine, public ::testing::Test {
 protected:
  StopCompanions() { doc.stepTotal = 1000; }
  std::uint64_t Stop() {
    std::uint64_t before = machine.ElapsedMs();
    doc.StopCompanionPrograms();
    return machine.ElapsedMs() - before;
  }
};

TEST_F(StopCompanions, NothingRunningTakesTwelveStepsAndNoTimeAndOnlyWithTheProductKind) {
  for (int flags : {kDelProduct, kDelDrivers | kDelNetPort}) {
    SCOPED_TRACE(flags);
    doc.delFlags = flags;
    doc.stepPos = 0;
    EXPECT_EQ(Stop(), 0u);
    EXPECT_EQ(doc.stepPos, flags & kDelProduct ? 12u : 0u);
  }
  EXPECT_TRUE(machine.ServiceCalls().empty());
}

TEST_F(StopCompanions, EverythingRunningWaitsTheFixedTimesAndNoWindowHoldsTheRun) {
  doc.spoolerRunning = true;
  Window("ZREPRNWndClass", "Qorvex リプリント2");
  HWND reprintA = Window("#32770", "Qorvex リプリント");
  HWND reprintB = Window("#32770", "Qorvex リプリント", Closes(Close::kAfter, 1500));
  HWND reprintC = Window("#32770", "Qorvex リプリント");
  Window("#32770", "Qorvex リプリント設定", Closes(Close::kNever));           // 10 s
  Window("ZOVQXEXP", "Qorvex プリンタ管理ユーティリティ", Hangs());      // never answers
  HWND panelHalf = Window("ZOVRPNL", "Qorvex PS - ﾘﾓｰﾄﾊﾟﾈﾙ");
  HWND panelFull = Window("ZOVRPNL", "事務所 - リモートパネル");
  HWND help = Window("HH Parent", "- ﾘﾓｰﾄﾊﾟﾈﾙ の使い方");
  HWND manager = Window("PSPWndClass", "Qorvex", ClosesOn(1030));
  machine.AddHeldEvent({"ZOVSRM:TerminateManager", "C:\\Program Files\\Qorvex\\ZOVPSP.EXE"});
  Module("C:\\WINNT\\System32\\ZOVSRM.DLL", sim::ModuleSpec::Kind::kStatusManager);
  Service("ZOVRCM", SERVICE_RUNNING, {.pollsToStop = 2});  // 2 polls and a second
  Service("ZOVSDS", SERVICE_RUNNING);                      // a second

  EXPECT_EQ(Stop(), 1500u + 10000u + 5000u + 21000u + 2000u + 1000u);
  EXPECT_EQ(doc.stepPos, 12u);
  // The third reprint window stays: two lookups close two. The help window only has the
  // text in the middle of its title.
  EXPECT_EQ(machine.Messages(reprintC).size() + machine.Messages(reprintA).size() + machine.Messages(reprintB).size(),
            2u);
  EXPECT_TRUE(machine.Messages(help).empty());
  for (HWND panel : {panelHalf, panelFull}) {
    ASSERT_EQ(machine.Messages(panel).size(), 1u);
    EXPECT_EQ(machine.Messages(panel)[0].message, WM_COMMAND);
    EXPECT_EQ(machine.Messages(panel)[0].wParam, 5005u);
  }
  EXPECT_EQ(machine.Messages(manager).at(0).message, 1030u);
  EXPECT_EQ(machine.HungSends(), 0);
  EXPECT_EQ(machine.LoadedLibraries(), 0);
  EXPECT_TRUE(machine.EventSignaled("ZOVSRM:TerminateManager"));
  EXPECT_EQ(machine.ServiceState("ZOVRCM"), SERVICE_STOPPED);
  EXPECT_EQ(machine.ServiceState("ZOVSDS"), SERVICE_STOPPED);
}

TEST_F(StopCompanions, TheManagerLibraryComesFromTheSystemDirectoryAndOnlyTheListedDriversPrintersAreTold) {
  doc.spoolerRunning = true;
  doc.DEL_PRINTER_NAME = {"Qorvex PS Driver"};
  Service("Spooler", SERVICE_RUNNING);
  const std::string printers = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
  for (auto [printer, driver] : {std::pair{"QX1", "Qorvex PS Driver"}, {"QX2", "qorvex ps driver"}, {"HP", "HP LaserJet 4"}}) {
    machine.SetString(printers + printer, "Name", printer);
    machine.SetString(printers + printer, "Printer Driver", driver);
    machine.SetString(printers + printer, "Port", "LPT1:");
  }
  Window("PSPWndClass", "Qorvex", ClosesOn(1030));
  // A copy planted beside the program is never the one loaded.
  for (const char* path : {"C:\\QXErs\\zovsrm.dll", "C:\\WINNT\\System32\\ZOVSRM.DLL"}) {
    Module(path, sim::ModuleSpec::Kind::kStatusManager);
  }
  Stop();
  EXPECT_EQ(Calls("LoadLibraryA"), std::vector<std::string>{
                                       "LoadLibraryA(\"C:\\WINNT\\System32\\zovsrm.dll\") = C:\\WINNT\\System32\\ZOVSRM.DLL"});
  EXPECT_EQ(Calls("OpenManagerExA"), std::vector<std::string>{"OpenManagerExA(\"QX1\", 0, 1) = 0, manager QX1"});
  EXPECT_EQ(Calls("UpdatePrinterStatusA"),
            std::vector<std::string>{"UpdatePrinterStatusA(manager QX1, \"ServerConnection\", 00 00 00 00, 4) = 0"});
  EXPECT_EQ(Calls("CloseManager").size(), 1u);
  EXPECT_EQ(machine.OpenStatusManagers(), 0);
}

TEST_F(StopCompanions, WithTheSpoolerStoppedTheLibraryIsNotLoadedAndTheManagerStillCloses) {
  doc.spoolerRunning = false;
  HWND manager = Window("PSPWndClass", "Qorvex", ClosesOn(1030));
  Module("C:\\WINNT\\System32\\ZOVSRM.DLL", sim::ModuleSpec::Kind::kStatusManager);
  EXPECT_EQ(Stop(), 0u);
  EXPECT_TRUE(Calls("LoadLibraryA").empty());
  ASSERT_EQ(machine.Messages(manager).size(), 1u);
  EXPECT_EQ(machine.Messages(manager)[0].message, 1030u);
}

TEST_F(StopCompanions, EachSystemStopsItsOwnServicesOrWindows) {
  struct Case {
    int osType;
    std::vector<std::string> stopped;  // services asked to stop, in order
    std::vector<UINT> windowMessages;  // what the 9x service windows received, in table order
  };
  const Case cases[] = {
      {0, {}, {1025, 1026, 1024, WM_COMMAND, WM_CLOSE}},
      {1, {"ZOVRCM", "ZOVNQSNT", "ZOVPMN", "ZOVPQS", "ZOVPJR", "ZOVSDS", "Par1284"}, {}},
      {2, {"ZOVRCM", "ZOVNQSNT", "ZOVPMN", "ZOVPQS", "ZOVPJR", "ZOVSDS"}, {}},
      {3, {"ZOVRCM", "ZOVNQSNT", "ZOVPMN", "ZOVPQS", "ZOVPJR", "ZOVSDS"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.osType);
    CompanionMachine m;
    m.doc.osType = c.osType;
    m.doc.stepTotal = 100;
    for (const char* s : {"Par1284", "ZOVSDS", "ZOVNQSNT", "ZOVPMN", "ZOVPQS", "ZOVPJR", "ZOVRCM"}) {
      m.Service(s, SERVICE_RUNNING);
    }
    const char* windows[][2] = {{"RCM95WndClass", "ZOVRCM95"}, {"NQS95WndClass", "ZOVNQS95"},
                                {"PMN95WndClass", "ZOVPMN95"}, {"PQS95WndClass", "ZOVPQS95"},
                                {"SDS95WndClass", "ZOVSDS95"}};
    std::vector<HWND> handles;
    for (auto& w : windows) handles.push_back(m.Window(w[0], w[1], Closes(Close::kNever)));
    m.doc.StopCompanionPrograms();
    EXPECT_EQ(m.doc.stepPos, 12u);
    std::vector<std::string> stopped;
    for (const sim::ServiceCall& call : m.machine.ServiceCalls())
      if (call.call == "ControlService") stopped.push_back(call.service);
    EXPECT_EQ(stopped, c.stopped);
    std::vector<UINT> received;
    for (HWND h : handles)
      for (const sim::ReceivedMessage& msg : m.machine.Messages(h)) received.push_back(msg.message);
    EXPECT_EQ(received, c.windowMessages);
    if (c.osType == kWindows9x) {
      EXPECT_EQ(m.machine.Messages(handles[3]).at(0).wParam, 40002u);
    }
  }
}

}  // namespace
}  // namespace qx::test
