// The simulated spooler beyond what the contract suite can show under Wine: its data is the
// registry in Windows' layout on each system, it is out of reach while its service is not
// running, and it keeps what Windows keeps (connections' caches, drivers with open files).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace qx::sim {
namespace {

const std::string kPrint = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print";
const std::string kPrinters = kPrint + "\\Printers";
const std::string kPrinters2 = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers";
const std::string kNtDrivers = kPrint + "\\Environments\\Windows NT x86\\Drivers";
const std::string kLocalPorts = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
const std::string kShares = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Shares";
const std::string kUser = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion";
const std::string kConnection = "HKEY_CURRENT_USER\\Printers\\Connections\\,,SRV01,LaserA";
const std::string kCache = kPrint + "\\Providers\\LanMan Print Services\\Servers\\SRV01\\Printers\\LaserA";
constexpr DWORD kDelete = 0x00010000;

class SimSpoolerTest : public ::testing::Test {
 protected:
  // A Windows 2000 print server: the product's printer P1 on VPT1: (shared as P1SHARE) and
  // another vendor's printer on LPT1:, their drivers in two versions, a port monitor with one
  // port, a language monitor that the product's driver names, and a connection to \\SRV01.
  void SetUp() override {
    m.settings().majorVersion = 5;
    m.settings().buildNumber = 2195;
    m.SetDword("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Spooler", "Start", 2);
    m.SetServiceState("Spooler", SERVICE_RUNNING);
    for (const char* port : {"LPT1:", "LPT2:", "VPT1:"}) m.SetString(kLocalPorts, port, "");
    m.SetString(kPrint + "\\Monitors\\Local Port", "Driver", "localspl.dll");
    m.SetString(kPrint + "\\Monitors\\ZOV Network Port", "Driver", "zovnp.dll");
    m.SetString(kPrint + "\\Monitors\\ZOV Network Port\\LPTN1:", "Description", "ZOV Network Port");
    m.SetString(kPrint + "\\Monitors\\ZOV LM", "Driver", "zovlm.dll");
    m.SetString(kPrint + "\\Environments\\Windows NT x86\\Print Processors\\WinPrint", "Driver", "localspl.dll");
    m.SetString(kPrint + "\\Environments\\Windows NT x86\\Print Processors\\ZOVPDD", "Driver", "zovpdd.dll");
    for (const char* version : {"Version-2", "Version-3"}) {
      m.SetString(kNtDrivers + "\\" + version + "\\QX Driver", "Driver", "ZOVDRV.DLL");
      m.SetString(kNtDrivers + "\\" + version + "\\QX Driver", "Monitor", "ZOV LM");
      m.SetString(kNtDrivers + "\\" + version + "\\Other Driver", "Driver", "OTHER.DLL");
    }
    m.SetString(kPrint + "\\Environments\\Windows 4.0\\Drivers\\Version-0\\QX Driver", "Driver", "ZOVDRV.DRV");
    Printer("P1", "QX Driver", "VPT1:", "ZOVPDD");
    m.SetString(kPrinters + "\\P1", "Share Name", "P1SHARE");
    m.SetString(kPrinters2 + "\\P1\\PrinterDriverData", "x", "y");
    m.SetString(kShares, "P1SHARE", "");
    m.SetString(kShares + "\\Security", "P1SHARE", "");
    Printer("Other", "Other Driver", "LPT1:", "WinPrint");
    m.SetString(kConnection, "Server", "\\\\SRV01");
    m.SetString(kCache, "Printer Driver", "QX Driver");
    m.SetString(kCache, "Port", "NE00:");
    m.SetString(kUser + "\\Devices", "\\\\SRV01\\LaserA", "winspool,Ne00:");
  }
  void Printer(const std::string& name, const std::string& driver, const std::string& port,
               const std::string& processor) {
    m.SetString(kPrinters + "\\" + name, "Name", name);
    m.SetString(kPrinters + "\\" + name, "Printer Driver", driver);
    m.SetString(kPrinters + "\\" + name, "Port", port);
    m.SetString(kPrinters + "\\" + name, "Print Processor", processor);
    m.SetString(kUser + "\\Devices", name, "winspool," + port);
    m.SetString(kUser + "\\PrinterPorts", name, "winspool," + port + ",15,45");
  }

  std::vector<std::string> Names(DWORD flags) {
    std::vector<PRINTER_INFO_2A> list;
    EXPECT_TRUE(spl.EnumPrintersA(flags, nullptr, list)) << sys.GetLastError();
    std::vector<std::string> names;
    for (const auto& p : list) names.push_back(p.pPrinterName);
    return names;
  }
  DWORD Outcome(BOOL ok) { return ok ? 0 : sys.GetLastError(); }
  HANDLE Open(const char* name, DWORD access) {
    PRINTER_DEFAULTSA defaults{"RAW", access};
    HANDLE h = nullptr;
    return spl.OpenPrinterA(name, &h, &defaults) ? h : nullptr;
  }

  SimMachine m;
  Spooler& spl = m.platform().spooler;
  System& sys = m.platform().system;
};

TEST_F(SimSpoolerTest, WhileTheSpoolerServiceIsNotRunningEveryCallIsUnreachableAndNothingChanges) {
  const std::string before = m.dump();
  std::vector<PRINTER_INFO_2A> printers;
  std::vector<DRIVER_INFO_2A> drivers;
  std::vector<PORT_INFO_2A> ports;
  HANDLE h = nullptr;
  const std::vector<std::function<BOOL()>> calls = {
      [&] { return spl.EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, printers); },
      [&] { return spl.OpenPrinterA(const_cast<char*>("P1"), &h, nullptr); },
      [&] { return spl.DeletePrinterConnectionA("\\\\SRV01\\LaserA"); },
      [&] { return spl.EnumPrinterDriversA(nullptr, nullptr, drivers); },
      [&] { return spl.DeletePrinterDriverA(nullptr, nullptr, "Other Driver"); },
      [&] { return spl.DeleteMonitorA(nullptr, nullptr, "ZOV Network Port"); },
      [&] { return spl.EnumPortsA(nullptr, ports); },
      [&] { return spl.DeletePortA(nullptr, nullptr, "LPT2:"); },
      [&] { return spl.DeletePrintProcessorA(nullptr, nullptr, "ZOVPDD"); },
  };
  for (DWORD state : {SERVICE_STOPPED, SERVICE_START_PENDING, SERVICE_STOP_PENDING, SERVICE_PAUSED}) {
    m.SetServiceState("Spooler", state);
    for (std::size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(Outcome(calls[i]()), RPC_S_SERVER_UNAVAILABLE) << i;
  }
  m.SetServiceState("Spooler", SERVICE_RUNNING);
  EXPECT_EQ(m.dump(), before);
  EXPECT_TRUE(m.SpoolerJournal().empty());
}

TEST_F(SimSpoolerTest, DeletingAPrinterTakesItsKeysShareAndUserEntriesAndNothingElse) {
  HANDLE h = Open("p1", PRINTER_ALL_ACCESS);
  ASSERT_NE(h, nullptr) << sys.GetLastError();
  ASSERT_TRUE(spl.DeletePrinter(h));
  EXPECT_EQ(Outcome(spl.DeletePrinter(h)), ERROR_PRINTER_DELETED);
  EXPECT_TRUE(spl.ClosePrinter(h));
  EXPECT_FALSE(m.HasKey(kPrinters + "\\P1"));
  EXPECT_FALSE(m.HasKey(kPrinters2 + "\\P1"));
  EXPECT_FALSE(m.Value(kShares, "P1SHARE"));
  EXPECT_FALSE(m.Value(kShares + "\\Security", "P1SHARE"));
  EXPECT_FALSE(m.Value(kUser + "\\Devices", "P1"));
  EXPECT_FALSE(m.Value(kUser + "\\PrinterPorts", "P1"));
  EXPECT_TRUE(m.HasKey(kPrinters + "\\Other"));
  EXPECT_TRUE(m.Value(kUser + "\\Devices", "Other"));
  EXPECT_EQ(m.SpoolerJournal(), std::vector<std::string>{"DeletePrinter \"P1\""});
}

TEST_F(SimSpoolerTest, AConnectionIsListedFromItsCacheAndRemovedOnlyAsAConnection) {
  EXPECT_EQ(Names(PRINTER_ENUM_LOCAL), (std::vector<std::string>{"Other", "P1"}));
  std::vector<PRINTER_INFO_2A> list;
  ASSERT_TRUE(spl.EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, list));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[2].pServerName, "\\\\SRV01");
  EXPECT_EQ(list[2].pPrinterName, "\\\\SRV01\\LaserA");
  EXPECT_EQ(list[2].pDriverName, "QX Driver");
  EXPECT_TRUE(list[2].Attributes & PRINTER_ATTRIBUTE_NETWORK);

  HANDLE h = Open("\\\\srv01\\lasera", PRINTER_ALL_ACCESS);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(Outcome(spl.DeletePrinter(h)), ERROR_ACCESS_DENIED) << "the printer lives on its server";
  spl.ClosePrinter(h);
  EXPECT_EQ(Outcome(spl.DeletePrinterConnectionA("P1")), ERROR_INVALID_PRINTER_NAME);
  ASSERT_TRUE(spl.DeletePrinterConnectionA("\\\\SRV01\\LaserA"));
  EXPECT_FALSE(m.HasKey(kConnection));
  EXPECT_FALSE(m.HasKey(kCache));
  EXPECT_FALSE(m.Value(kUser + "\\Devices", "\\\\SRV01\\LaserA"));
  EXPECT_EQ(Names(PRINTER_ENUM_CONNECTIONS), std::vector<std::string>{});
}

TEST_F(SimSpoolerTest, ADriverWhoseFilesAreHeldOpenStaysListedUntilTheRestart) {
  m.AddFile("C:\\WINNT\\System32\\spool\\drivers\\W32X86\\3\\OTHER.DLL", "MZ");
  m.SetLockedBy("C:\\WINNT\\System32\\spool\\drivers\\W32X86\\3\\OTHER.DLL", "Spooler");
  HANDLE h = Open("Other", PRINTER_ALL_ACCESS);
  ASSERT_TRUE(spl.DeletePrinter(h));
  spl.ClosePrinter(h);
  ASSERT_TRUE(spl.DeletePrinterDriverA(nullptr, "Windows NT x86", "Other Driver")) << sys.GetLastError();
  EXPECT_FALSE(m.HasKey(kNtDrivers + "\\Version-2\\Other Driver")) << "its files are free";
  EXPECT_TRUE(m.HasKey(kNtDrivers + "\\Version-3\\Other Driver"));
  EXPECT_TRUE(m.DriverPendingDeletion("Windows NT x86", "Other Driver"));
  std::vector<DRIVER_INFO_2A> drivers;
  ASSERT_TRUE(spl.EnumPrinterDriversA(nullptr, nullptr, drivers));
  EXPECT_TRUE(std::any_of(drivers.begin(), drivers.end(), [](const DRIVER_INFO_2A& d) {
    return d.pName == "Other Driver" && d.cVersion == 3 &&
           d.pDriverPath == "C:\\WINNT\\System32\\spool\\drivers\\W32X86\\3\\OTHER.DLL";
  }));
  m.SetServiceState("Spooler", SERVICE_STOPPED);  // lets go of the files, not of the driver
  EXPECT_TRUE(m.HasKey(kNtDrivers + "\\Version-3\\Other Driver"));
  m.Reboot();
  EXPECT_FALSE(m.HasKey(kNtDrivers + "\\Version-3\\Other Driver"));
  EXPECT_FALSE(m.DriverPendingDeletion("Windows NT x86", "Other Driver"));
  EXPECT_TRUE(m.HasKey(kNtDrivers + "\\Version-3\\QX Driver"));
}

TEST_F(SimSpoolerTest, WhatIsInUseIsRefusedUntilItsUsersAreGone) {
  EXPECT_EQ(Outcome(spl.DeletePrinterDriverA(nullptr, nullptr, "QX Driver")), ERROR_PRINTER_DRIVER_IN_USE);
  EXPECT_EQ(Outcome(spl.DeletePortA(nullptr, nullptr, "vpt1:")), ERROR_BUSY);
  EXPECT_EQ(Outcome(spl.DeletePrintProcessorA(nullptr, nullptr, "ZOVPDD")), ERROR_CAN_NOT_COMPLETE);
  EXPECT_EQ(Outcome(spl.DeleteMonitorA(nullptr, nullptr, "ZOV LM")), ERROR_PRINT_MONITOR_IN_USE) << "a driver names it";
  // The Windows 95/98 copy is no local printer's: it goes, in its one version.
  EXPECT_TRUE(spl.DeletePrinterDriverA(nullptr, "Windows 4.0", "QX Driver"));
  EXPECT_FALSE(m.HasKey(kPrint + "\\Environments\\Windows 4.0\\Drivers\\Version-0\\QX Driver"));

  // P1 moves to LPTN1: (the network monitor's port) and WinPrint.
  std::vector<PRINTER_INFO_2A> list;
  ASSERT_TRUE(spl.EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, list));
  PRINTER_INFO_2A p1 = list[1];
  ASSERT_EQ(p1.pPrinterName, "P1");
  HANDLE h = Open("P1", PRINTER_ACCESS_ADMINISTER);
  p1.pPortName = "LPTN1:";
  p1.pPrintProcessor = "WinPrint";
  ASSERT_TRUE(spl.SetPrinterA(h, 2, &p1, 0)) << sys.GetLastError();
  spl.ClosePrinter(h);
  EXPECT_EQ(m.Value(kUser + "\\Devices", "P1")->data, std::string("winspool,LPTN1:\0", 16));
  EXPECT_EQ(m.Value(kUser + "\\PrinterPorts", "P1")->data, std::string("winspool,LPTN1:,15,45\0", 22));
  EXPECT_TRUE(spl.DeletePortA(nullptr, nullptr, "VPT1:"));
  EXPECT_FALSE(m.Value(kLocalPorts, "VPT1:"));
  EXPECT_TRUE(spl.DeletePrintProcessorA(nullptr, nullptr, "ZOVPDD"));
  EXPECT_EQ(Outcome(spl.DeleteMonitorA(nullptr, nullptr, "ZOV Network Port")), ERROR_PRINT_MONITOR_IN_USE);
  EXPECT_EQ(m.SpoolerJournal(),
            (std::vector<std::string>{
                "DeletePrinterDriverA \"Windows 4.0\" \"QX Driver\"",
                "SetPrinterA \"P1\": Port \"VPT1:\" -> \"LPTN1:\", Print Processor \"ZOVPDD\" -> \"WinPrint\"",
                "DeletePortA \"VPT1:\"", "DeletePrintProcessorA \"Windows NT x86\" \"ZOVPDD\""}));
}

TEST_F(SimSpoolerTest, APrinterCanRefuseFullAccessAndKeepAdministration) {
  m.SetPrinterDeniedAccess("P1", kDelete);
  EXPECT_EQ(Open("P1", PRINTER_ALL_ACCESS), nullptr);
  EXPECT_EQ(sys.GetLastError(), ERROR_ACCESS_DENIED);
  HANDLE h = Open("P1", PRINTER_ACCESS_ADMINISTER);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(Outcome(spl.DeletePrinter(h)), ERROR_ACCESS_DENIED) << "not opened for deletion";
  spl.ClosePrinter(h);
  m.AddFault({"DeletePortA", "LPT2:", 0, ERROR_ACCESS_DENIED});
  EXPECT_EQ(Outcome(spl.DeletePortA(nullptr, nullptr, "LPT2:")), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(m.Value(kLocalPorts, "LPT2:"));
}

TEST_F(SimSpoolerTest, Windows95KeepsDriversWithoutVersionsAndPortsInWinIni) {
  SimMachine w;
  w.settings().platformId = VER_PLATFORM_WIN32_WINDOWS;
  w.settings().windowsDirectory = "C:\\WINDOWS";
  w.settings().systemDirectory = "C:\\WINDOWS\\SYSTEM";
  w.AddFile("C:\\WINDOWS\\win.ini", "[ports]\r\nLPT1:=\r\nVPT1=\r\n[devices]\r\nQX=ZOVDRV,VPT1\r\n");
  w.SetString(kPrint + "\\Environments\\Windows 4.0\\Drivers\\QX Driver", "Driver", "ZOVDRV.DRV");
  w.SetString(kPrint + "\\Printers\\QX", "Port", "VPT1");
  w.SetString(kPrint + "\\Printers\\QX", "Printer Driver", "QX Driver");
  w.SetString(kPrint + "\\Printers\\Net", "Port", "\\\\SRV01\\LaserA");
  w.SetString(kPrint + "\\Printers\\Net", "Printer Driver", "QX Driver");
  Spooler& s = w.platform().spooler;
  System& ws = w.platform().system;
  std::vector<PRINTER_INFO_2A> printers;
  ASSERT_TRUE(s.EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, printers)) << "no service to be running";
  EXPECT_EQ(printers.size(), 2u) << "a network printer is one of the machine's printers";
  std::vector<DRIVER_INFO_2A> drivers;
  ASSERT_TRUE(s.EnumPrinterDriversA(nullptr, nullptr, drivers));
  ASSERT_EQ(drivers.size(), 1u);
  EXPECT_EQ(drivers[0].pEnvironment, "Windows 4.0");
  EXPECT_EQ(drivers[0].pDriverPath, "C:\\WINDOWS\\SYSTEM\\ZOVDRV.DRV");
  EXPECT_FALSE(s.DeleteMonitorA(nullptr, "Windows NT x86", "x"));
  EXPECT_EQ(ws.GetLastError(), ERROR_INVALID_ENVIRONMENT);
  EXPECT_FALSE(s.DeletePrinterConnectionA("\\\\SRV01\\LaserA"));
  EXPECT_EQ(ws.GetLastError(), ERROR_NOT_SUPPORTED);

  PRINTER_INFO_2A qx = printers[1];
  ASSERT_EQ(qx.pPrinterName, "QX");
  HANDLE h = nullptr;
  ASSERT_TRUE(s.OpenPrinterA("QX", &h, nullptr));
  qx.pPortName = "LPT1:";
  ASSERT_TRUE(s.SetPrinterA(h, 2, &qx, 0)) << ws.GetLastError();
  ASSERT_TRUE(s.DeletePrinter(h)) << "no access rights on Windows 95";
  s.ClosePrinter(h);
  ASSERT_TRUE(s.DeletePortA(nullptr, nullptr, "VPT1"));
  EXPECT_EQ(w.File("C:\\WINDOWS\\win.ini")->contents, "[ports]\r\nLPT1:=\r\n[devices]\r\n");
}

TEST_F(SimSpoolerTest, BroadcastsAreRecordedAndReachEveryWindow) {
  std::vector<std::string> seen;
  m.AddWindow("A", "a", [&](HWND, UINT msg, WPARAM, LPARAM l) {
    if (msg == WM_SETTINGCHANGE) seen.push_back(l ? reinterpret_cast<const char*>(l) : "(none)");
    return 0;
  });
  Windows& win = m.platform().windows;
  EXPECT_NE(win.SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("windows"),
                                    SMTO_NORMAL, 1000, nullptr),
            0);
  win.SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, 0, SMTO_NORMAL, 1000, nullptr);
  EXPECT_EQ(seen, (std::vector<std::string>{"windows", "(none)"}));
  auto b = m.Broadcasts();
  ASSERT_EQ(b.size(), 2u);
  EXPECT_TRUE(b[0].hasText);
  EXPECT_EQ(b[0].text, "windows");
  EXPECT_FALSE(b[1].hasText);
  EXPECT_EQ(m.SpoolerJournal(),
            (std::vector<std::string>{"SendMessageA HWND_BROADCAST WM_SETTINGCHANGE wParam 0 lParam \"windows\"",
                                      "SendMessageA HWND_BROADCAST WM_SETTINGCHANGE wParam 0 lParam 0"}));
}

}  // namespace
}  // namespace qx::sim
