// How the print spooler calls behave: what the enumerations list, moving a printer with
// SetPrinterA, the deletions, and what the spooler refuses and with which error.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/contract/contract_fixture.h"

namespace qx::contract {
namespace {

constexpr const char* kPrinter = "QX Contract Printer";
constexpr const char* kDriver = "QX Contract Driver";
constexpr const char* kPort = "QXCT1:";
constexpr const char* kOtherPort = "QXCT2:";
constexpr const char* kMonitor = "QX Contract Monitor";
constexpr const char* kProcessor = "QXCTPROC";

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

class SpoolerContract : public ContractTest {
 protected:
  // A printer on kPort with kDriver.
  void AddPrinter() {
    ASSERT_TRUE(machine->AddTestDriver(kDriver));
    ASSERT_TRUE(machine->AddTestPort(kPort));
    ASSERT_TRUE(machine->AddTestPrinter(kPrinter, kDriver, kPort));
  }

  std::vector<PRINTER_INFO_2A> Printers() {
    std::vector<PRINTER_INFO_2A> list;
    EXPECT_TRUE(spl.EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, list)) << "error " << sys.GetLastError();
    return list;
  }
  const PRINTER_INFO_2A* Find(const std::vector<PRINTER_INFO_2A>& list, const std::string& name) {
    for (const auto& p : list)
      if (p.pPrinterName == name) return &p;
    return nullptr;
  }
  bool HasDriver(const std::string& name) {
    std::vector<DRIVER_INFO_2A> list;
    EXPECT_TRUE(spl.EnumPrinterDriversA(nullptr, env.c_str(), list)) << "error " << sys.GetLastError();
    return std::any_of(list.begin(), list.end(), [&](const DRIVER_INFO_2A& d) { return d.pName == name; });
  }
  const PORT_INFO_2A* FindPort(const std::vector<PORT_INFO_2A>& list, const std::string& name) {
    for (const auto& p : list)
      if (p.pPortName == name) return &p;
    return nullptr;
  }
  bool HasPort(const std::string& name) {
    std::vector<PORT_INFO_2A> list;
    EXPECT_TRUE(spl.EnumPortsA(nullptr, list)) << "error " << sys.GetLastError();
    return FindPort(list, name) != nullptr;
  }
  bool HasMonitor(const std::string& name) {
    std::vector<MONITOR_INFO_1A> list;
    EXPECT_TRUE(spl.EnumMonitorsA(nullptr, list)) << "error " << sys.GetLastError();
    return std::any_of(list.begin(), list.end(), [&](const MONITOR_INFO_1A& m) { return m.pName == name; });
  }
  bool HasProcessor(const std::string& name) {
    std::vector<PRINTPROCESSOR_INFO_1A> list;
    EXPECT_TRUE(spl.EnumPrintProcessorsA(nullptr, env.c_str(), list)) << "error " << sys.GetLastError();
    // Print-processor names are compared without regard to case ("WinPrint", "winprint").
    return std::any_of(list.begin(), list.end(),
                       [&](const PRINTPROCESSOR_INFO_1A& p) { return Upper(p.pName) == Upper(name); });
  }

  HANDLE Open(const char* name, DWORD access) {
    PRINTER_DEFAULTSA defaults{nullptr, access};
    HANDLE h = nullptr;
    EXPECT_TRUE(spl.OpenPrinterA(name, &h, &defaults)) << name << ": error " << sys.GetLastError();
    return h;
  }

  // The failure a call gave: 0 when it succeeded.
  DWORD Outcome(BOOL ok) { return ok ? 0 : sys.GetLastError(); }
  // Windows answers `expected`; where wineDifference names how Wine answers instead, Wine must
  // still answer otherwise (TodoWine).
  void ExpectOutcome(DWORD got, DWORD expected, const char* wineDifference, const std::string& what) {
    const auto check = [&] { EXPECT_EQ(got, expected) << what; };
    if (wineDifference)
      TodoWine(wineDifference, check);
    else
      check();
  }

  std::string env = machine->DriverEnvironment();
};

TEST_F(SpoolerContract, WhatWasInstalledIsListedWithItsData) {
  AddPrinter();
  const auto printers = Printers();
  const PRINTER_INFO_2A* p = Find(printers, kPrinter);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->pPortName, kPort);
  EXPECT_EQ(p->pDriverName, kDriver);
  EXPECT_EQ(p->pServerName, "") << "a local printer";
  EXPECT_FALSE(p->pPrintProcessor.empty());
  EXPECT_TRUE(HasProcessor(p->pPrintProcessor)) << p->pPrintProcessor;

  std::vector<DRIVER_INFO_2A> drivers;
  ASSERT_TRUE(spl.EnumPrinterDriversA(nullptr, env.c_str(), drivers)) << "error " << sys.GetLastError();
  auto d = std::find_if(drivers.begin(), drivers.end(), [](const DRIVER_INFO_2A& x) { return x.pName == kDriver; });
  ASSERT_NE(d, drivers.end());
  EXPECT_EQ(d->pEnvironment, env);
  EXPECT_NE(d->pDriverPath.find('\\'), std::string::npos) << "a full path: " << d->pDriverPath;

  std::vector<PORT_INFO_2A> ports;
  ASSERT_TRUE(spl.EnumPortsA(nullptr, ports)) << "error " << sys.GetLastError();
  const PORT_INFO_2A* port = FindPort(ports, kPort);
  ASSERT_NE(port, nullptr);
  TodoWine("names the local port monitor \"Local Monitor\"", [&] { EXPECT_EQ(port->pMonitorName, "Local Port"); });
  EXPECT_TRUE(HasMonitor("Local Port"));
}

TEST_F(SpoolerContract, SetPrinterMovesAPrinterToAnotherPortAndPrintProcessor) {
  AddPrinter();
  ASSERT_TRUE(machine->AddTestPort(kOtherPort));
  ASSERT_TRUE(machine->AddTestPrintProcessor(kProcessor));
  const auto before = Printers();
  ASSERT_NE(Find(before, kPrinter), nullptr);
  PRINTER_INFO_2A record = *Find(before, kPrinter);
  HANDLE h = Open(kPrinter, PRINTER_ACCESS_ADMINISTER);
  ASSERT_NE(h, nullptr);
  record.pPortName = kOtherPort;
  record.pPrintProcessor = kProcessor;
  EXPECT_TRUE(spl.SetPrinterA(h, 2, &record, 0)) << "error " << sys.GetLastError();
  EXPECT_TRUE(spl.ClosePrinter(h));

  const auto after = Printers();
  const PRINTER_INFO_2A* p = Find(after, kPrinter);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->pPortName, kOtherPort);
  EXPECT_EQ(p->pPrintProcessor, kProcessor);
  EXPECT_EQ(p->pDriverName, kDriver);
}

TEST_F(SpoolerContract, WhatAPrinterUsesCannotBeDeleted) {
  AddPrinter();
  const auto printers = Printers();
  ASSERT_NE(Find(printers, kPrinter), nullptr);
  const std::string processor = Find(printers, kPrinter)->pPrintProcessor;
  // What is refused stays.
  const DWORD port = Outcome(spl.DeletePortA(nullptr, nullptr, kPort));
  ExpectOutcome(port, ERROR_BUSY, "deletes a port that a printer uses", "DeletePortA");
  if (port == ERROR_BUSY) {
    EXPECT_TRUE(HasPort(kPort));
  }
  const DWORD driver = Outcome(spl.DeletePrinterDriverA(nullptr, env.c_str(), kDriver));
  ExpectOutcome(driver, ERROR_PRINTER_DRIVER_IN_USE, "deletes a printer driver that a printer uses",
                "DeletePrinterDriverA");
  if (driver == ERROR_PRINTER_DRIVER_IN_USE) {
    EXPECT_TRUE(HasDriver(kDriver));
  }
  const DWORD used = Outcome(spl.DeletePrintProcessorA(nullptr, env.c_str(), processor.c_str()));
  ExpectOutcome(used, ERROR_CAN_NOT_COMPLETE, "answers every DeletePrintProcessorA with success and deletes nothing",
                "DeletePrintProcessorA");
  EXPECT_TRUE(HasProcessor(processor));
  EXPECT_NE(Find(Printers(), kPrinter), nullptr);
}

TEST_F(SpoolerContract, UnknownNamesAreRefusedEachWithItsOwnCode) {
  struct Case {
    const char* call;
    std::function<BOOL()> run;
    DWORD error;
    const char* wineDifference = nullptr;
  };
  HANDLE h = nullptr;
  const Case cases[] = {
      {"OpenPrinterA", [&] { return spl.OpenPrinterA("QX No Printer", &h, nullptr); }, ERROR_INVALID_PRINTER_NAME},
      {"DeletePrinterDriverA", [&] { return spl.DeletePrinterDriverA(nullptr, env.c_str(), "QX No Driver"); },
       ERROR_UNKNOWN_PRINTER_DRIVER, "deletes an unknown printer driver with success"},
      {"DeletePrinterDriverA env", [&] { return spl.DeletePrinterDriverA(nullptr, "QX No Environment", kDriver); },
       ERROR_INVALID_ENVIRONMENT},
      {"DeletePortA", [&] { return spl.DeletePortA(nullptr, nullptr, "QXNONE:"); }, ERROR_UNKNOWN_PORT,
       "refuses an unknown port with ERROR_NOT_SUPPORTED"},
      {"DeleteMonitorA", [&] { return spl.DeleteMonitorA(nullptr, nullptr, "QX No Monitor"); },
       ERROR_UNKNOWN_PRINT_MONITOR},
      {"DeletePrintProcessorA", [&] { return spl.DeletePrintProcessorA(nullptr, env.c_str(), "QXNOPROC"); },
       ERROR_UNKNOWN_PRINTPROCESSOR, "answers every DeletePrintProcessorA with success and deletes nothing"},
  };
  for (const Case& c : cases) {
    sys.SetLastError(0);
    ExpectOutcome(Outcome(c.run()), c.error, c.wineDifference, c.call);
  }
  if (h) spl.ClosePrinter(h);
}

TEST_F(SpoolerContract, PrinterDriverPortMonitorAndPrintProcessorAreDeletedInTurn) {
  AddPrinter();
  ASSERT_TRUE(machine->AddTestMonitor(kMonitor));
  ASSERT_TRUE(machine->AddTestPrintProcessor(kProcessor));
  HANDLE h = Open(kPrinter, PRINTER_ALL_ACCESS);
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(spl.DeletePrinter(h)) << "error " << sys.GetLastError();
  EXPECT_TRUE(spl.ClosePrinter(h));
  EXPECT_EQ(Find(Printers(), kPrinter), nullptr);

  EXPECT_TRUE(spl.DeletePrinterDriverA(nullptr, env.c_str(), kDriver)) << "error " << sys.GetLastError();
  EXPECT_FALSE(HasDriver(kDriver));
  EXPECT_TRUE(spl.DeletePortA(nullptr, nullptr, kPort)) << "error " << sys.GetLastError();
  EXPECT_FALSE(HasPort(kPort));
  EXPECT_TRUE(spl.DeleteMonitorA(nullptr, nullptr, kMonitor)) << "error " << sys.GetLastError();
  EXPECT_FALSE(HasMonitor(kMonitor));
  EXPECT_TRUE(spl.DeletePrintProcessorA(nullptr, env.c_str(), kProcessor)) << "error " << sys.GetLastError();
  const bool processorLeft = HasProcessor(kProcessor);
  TodoWine("answers every DeletePrintProcessorA with success and deletes nothing",
           [&] { EXPECT_FALSE(processorLeft); });
  // Gone is gone: a second deletion knows the names no more.
  ExpectOutcome(Outcome(spl.DeletePrinterDriverA(nullptr, env.c_str(), kDriver)), ERROR_UNKNOWN_PRINTER_DRIVER,
                "refuses a driver deleted before with ERROR_INSUFFICIENT_BUFFER", "DeletePrinterDriverA again");
  ExpectOutcome(Outcome(spl.DeletePortA(nullptr, nullptr, kPort)), ERROR_UNKNOWN_PORT,
                "refuses an unknown port with ERROR_NOT_SUPPORTED", "DeletePortA again");
}

TEST_F(SpoolerContract, APrinterOpenedOnlyToPrintCannotBeChangedOrDeleted) {
  AddPrinter();
  const auto printers = Printers();
  ASSERT_NE(Find(printers, kPrinter), nullptr);
  PRINTER_INFO_2A record = *Find(printers, kPrinter);
  HANDLE h = Open(kPrinter, PRINTER_ACCESS_USE);
  ASSERT_NE(h, nullptr);
  const char* wine = "lets a handle opened for printing change and delete its printer";
  ExpectOutcome(Outcome(spl.SetPrinterA(h, 2, &record, 0)), ERROR_ACCESS_DENIED, wine, "SetPrinterA");
  const DWORD deleted = Outcome(spl.DeletePrinter(h));
  ExpectOutcome(deleted, ERROR_ACCESS_DENIED, wine, "DeletePrinter");
  if (deleted == ERROR_ACCESS_DENIED) {
    EXPECT_NE(Find(Printers(), kPrinter), nullptr);
  }
  EXPECT_TRUE(spl.ClosePrinter(h));
}

}  // namespace
}  // namespace qx::contract
