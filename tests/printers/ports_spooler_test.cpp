// The product's ports and monitors removed through the running spooler, on each system.
#include "printers/printer_fixture.h"

namespace qx::test {
namespace {


// A machine of the given system with its spooler up, the Printers key, a driver and the
// standard print processor of its environment, and the parallel ports.
void Prepare(sim::SimMachine& m, CQXErsDoc& job, int osType) {
  const DWORD versions[][3] = {{VER_PLATFORM_WIN32_WINDOWS, 4, 10}, {VER_PLATFORM_WIN32_NT, 3, 51},
                               {VER_PLATFORM_WIN32_NT, 4, 0}, {VER_PLATFORM_WIN32_NT, 5, 0}};
  m.settings().platformId = versions[osType][0];
  m.settings().majorVersion = versions[osType][1];
  m.settings().minorVersion = versions[osType][2];
  job.osType = osType;
  job.spoolerRunning = true;
  job.logEnabled = 1;
  std::string environment = std::string(kHklmEnvironments) + (osType == kWindows9x ? "Windows 4.0" : "Windows NT x86");
  m.SetString(environment + (osType == kWindows9x ? "\\Drivers\\D" : "\\Drivers\\Version-2\\D"), "Driver", "D.DLL");
  m.AddKey(environment + "\\Print Processors\\WinPrint");
  if (osType == kWindows9x) {
    m.AddFile("C:\\WINNT\\win.ini", "[ports]\r\nLPT1:=\r\nLPT2:=\r\nLPT3:=\r\n");
  } else {
    m.AddKey("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Spooler");
    m.SetServiceState("Spooler", SERVICE_RUNNING);
    for (const char* port : {"LPT1:", "LPT2:", "LPT3:", "LPTN2:", "LPTN3:", "LPTX1:"}) m.SetString(kHklmPorts, port, "");
  }
}

void AddPrinter(sim::SimMachine& m, const std::string& name, const std::string& port) {
  m.SetString(std::string(kHklmPrinters) + name, "Port", port);
  m.SetString(std::string(kHklmPrinters) + name, "Printer Driver", "D");
  m.SetString(std::string(kHklmPrinters) + name, "Print Processor", "WinPrint");
  for (const char* field : {"Attributes", "Priority", "Default Priority", "StartTime", "UntilTime"}) {
    m.SetDword(std::string(kHklmPrinters) + name, field, 0);
  }
}

std::string Port(const sim::SimMachine& m, const std::string& printer) {
  return m.Value(std::string(kHklmPrinters) + printer, "Port")->data.c_str();
}

TEST(ProductPortsThroughTheSpooler, APrinterOnANetrovaPortMovesToLpt1BeforeItsPortAndMonitorGo) {
  struct Case {
    int osType;
    std::vector<const char*> monitors;  // the product monitors this system has, ports under the first
    const char* printerPort;
    std::vector<std::string> journal;
  } cases[] = {
      {0, {"ZOV TCP/IP Printing System"}, "ZOVIP_1",
       {"SetPrinterA \"Net\": Port \"ZOVIP_1\" -> \"LPT1:\"", "DeletePortA \"ZOVIP_1\"",
        "DeleteMonitorA \"ZOV TCP/IP Printing System\""}},
      // NT 3.51 knows the port with its label, and its ports are left to the monitor's removal.
      {1, {"ZOV TCP/IP Printing System"}, "ZOVIP_1 (ZOV TCP/IP Port)",
       {"SetPrinterA \"Net\": Port \"ZOVIP_1 (ZOV TCP/IP Port)\" -> \"LPT1:\"",
        "DeleteMonitorA \"ZOV TCP/IP Printing System\""}},
      {2, {"ZOV Network Port"}, "ZOVIP_1",
       {"SetPrinterA \"Net\": Port \"ZOVIP_1\" -> \"LPT1:\"", "DeletePortA \"ZOVIP_1\"",
        "DeleteMonitorA \"ZOV Network Port\""}},
      {3, {"ZOV TCP/IP Printing System", "ZOV Network Port"}, "ZOVIP_1",
       {"SetPrinterA \"Net\": Port \"ZOVIP_1\" -> \"LPT1:\"", "DeletePortA \"ZOVIP_1\"",
        "DeleteMonitorA \"ZOV Network Port\"", "DeleteMonitorA \"ZOV TCP/IP Printing System\""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.osType);
    sim::SimMachine m;
    CQXErsDoc job{m.platform()};
    Prepare(m, job, c.osType);
    for (const char* monitor : c.monitors) {
      m.SetString(std::string(kHklmMonitors) + monitor, "Description", "Netrova ZOV TCP/IP Port");
    }
    m.SetString(std::string(kHklmMonitors) + c.monitors[0] + "\\ZOVIP_1", "Address", "192.168.1.20");
    AddPrinter(m, "Net", c.printerPort);
    AddPrinter(m, "Local", "LPT2:");
    job.RemoveNetrovaPorts();

    EXPECT_EQ(Port(m, "Net"), "LPT1:");
    EXPECT_EQ(Port(m, "Local"), "LPT2:");
    for (const char* monitor : c.monitors) EXPECT_FALSE(m.HasKey(std::string(kHklmMonitors) + monitor)) << monitor;
    EXPECT_EQ(m.SpoolerJournal(), c.journal);
  }
}

TEST(ProductPortsThroughTheSpooler, LptnPortsBecomeParallelPortsOfTheSameNumber) {
  sim::SimMachine m;
  CQXErsDoc job{m.platform()};
  Prepare(m, job, 2);
  m.AddKey(std::string(kHklmMonitors) + "ZOV Network Port");
  AddPrinter(m, "P3", "LPTN3:");
  AddPrinter(m, "P2", "lptn2:");
  AddPrinter(m, "PX", "LPTX1:");
  EXPECT_EQ(job.MovePrintersOffPorts("LPTN"), 0);
  job.RemoveLptnPorts();
  EXPECT_EQ(Port(m, "P3"), "LPT3:");
  EXPECT_EQ(Port(m, "P2"), "LPT2:");
  EXPECT_EQ(Port(m, "PX"), "LPTX1:");
  EXPECT_FALSE(m.Value(kHklmPorts, "LPTN2:"));
  EXPECT_FALSE(m.Value(kHklmPorts, "LPTN3:"));
  EXPECT_TRUE(m.Value(kHklmPorts, "LPTX1:"));
  EXPECT_FALSE(m.HasKey(std::string(kHklmMonitors) + "ZOV Network Port"));
  EXPECT_TRUE(job.logDrivers.empty());
}

}  // namespace
}  // namespace qx::test
