// The product's ports and monitors removed by registry edits with the spooler stopped.
#include "printers/printer_fixture.h"

namespace qx::test {
namespace {

constexpr const char* kPrintersPath = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";

TEST_F(PrinterJob, OfflineLptnPortsBecomeParallelPortsOfTheSameNumber) {
  AddPrinter("P1", "D", "LPTN3:");
  AddPrinter("P2", "D", "lptn2:");
  AddPrinter("P3", "D", "LPTX1:");
  machine.SetString(std::string(kHklmNtPrinters) + "P4", "Port", "LPTN1:");
  machine.AddKey(std::string(kHklmMonitors) + "ZOV Network Port\\ZOVIP_1");
  EXPECT_EQ(doc.MovePrintersOffPortsOffline("LPTN"), 0);
  EXPECT_TRUE(doc.logSpoolerStopped.empty());
  doc.RemoveLptnPorts();

  EXPECT_EQ(Text(std::string(kHklmPrinters) + "P1", "Port"), "LPT3:");
  EXPECT_EQ(Text(std::string(kHklmPrinters) + "P2", "Port"), "LPT2:");
  EXPECT_EQ(Text(std::string(kHklmPrinters) + "P3", "Port"), "LPTX1:");
  EXPECT_EQ(Text(std::string(kHklmNtPrinters) + "P4", "Port"), "LPT1:");
  EXPECT_FALSE(machine.HasKey(std::string(kHklmMonitors) + "ZOV Network Port"));
  StringList expected = {
      Group("LPTNx: -> LPTx:変更(SPOOLER 停止時の処理)"),
      std::string("設定：HKEY_LOCAL_MACHINE ") + kPrintersPath + "P1 , Port ,LPT3:",
      std::string("設定：HKEY_LOCAL_MACHINE ") + kPrintersPath + "P2 , Port ,LPT2:",
      "設定：HKEY_LOCAL_MACHINE SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\P4 , Port ,LPT1:",
      Group("LPTNxポートの削除(SPOOLER 停止時の処理)"),
      "特になにもしない",
      Group("NT3.51用言語モニタの削除(SPOOLER 停止時の処理)"),
      std::string(kHklmMonitors) + "ZOV Network Port キー削除成功。",
  };
  EXPECT_EQ(doc.logSpoolerStopped, expected);
}

TEST_F(PrinterJob, OfflineAPrinterOnANetrovaPortMovesToLpt1BeforeThePortsAndMonitorsGo) {
  struct Case {
    int osType;
    const char* port;  // as the printer names it
  } cases[] = {{2, "ZOVIP_1"}, {3, "ZOVIP_1"}, {1, "ZOVIP_1 (ZOV TCP/IP Port)"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.osType);
    sim::SimMachine m;
    CQXErsDoc job{m.platform()};
    job.logEnabled = 1;
    job.osType = c.osType;
    m.SetString(std::string(kHklmPrinters) + "Net", "Port", c.port);
    m.SetString(std::string(kHklmPrinters) + "Net (lower)", "Port", "zovip_1");
    m.SetString(std::string(kHklmPrinters) + "Local", "Port", "LPT2:");
    m.SetString(std::string(kHklmMonitors) + "ZOV Network Port\\ZOVIP_1", "Address", "192.168.1.20");
    m.SetString(std::string(kHklmMonitors) + "ZOV TCP/IP Printing System", "Driver", "ZOVTCPMN.DLL");
    m.AddKey(std::string(kHklmMonitors) + "Local Port");
    job.RemoveNetrovaPorts();

    auto port = [&](const char* printer) { return std::string(m.Value(std::string(kHklmPrinters) + printer, "Port")->data.c_str()); };
    EXPECT_EQ(port("Net"), "LPT1:");
    EXPECT_EQ(port("Net (lower)"), "zovip_1");
    EXPECT_EQ(port("Local"), "LPT2:");
    EXPECT_EQ(m.Subkeys(std::string(kHklmMonitors).substr(0, std::string(kHklmMonitors).size() - 1)),
              std::vector<std::string>{"Local Port"});
    StringList expected = {
        Group("NeTrova Port -> LPTx:変更(SPOOLER 停止時の処理)"),
        std::string("設定：HKEY_LOCAL_MACHINE ") + kPrintersPath + "Net , Port ,LPT1:",
        Group("Netrovaポートの削除(SPOOLER 停止時の処理)"),
        "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\ZOV Network Port\\ZOVIP_1 "
        "キー削除成功。",
        Group("Netrovaポートモニタの削除(SPOOLER 停止時の処理)"),
        std::string(kHklmMonitors) + "ZOV TCP/IP Printing System キー削除成功。",
        std::string(kHklmMonitors) + "ZOV Network Port キー削除成功。",
    };
    EXPECT_EQ(job.logSpoolerStopped, expected);
  }
}

}  // namespace
}  // namespace qx::test
