// Removal by registry edits with the spooler stopped: what goes, what stays, and the lines
// of the spooler-stopped section.
#include "printers/printer_fixture.h"

namespace qx::test {
namespace {

constexpr const char* kStopped = "(SPOOLER 停止時の処理)";

TEST_F(PrinterJob, OfflineDriverRemovalLogsEachPrinterRowAndEachUserHive) {
  AddPrinter("P1", "DRV-A", "LPT1:");
  machine.AddKey(std::string(kUser) + "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print Manager\\Printers");
  doc.printerNames = {"P1"};
  doc.RemovePrinterDriversOffline();
  const StringList& log = doc.logSpoolerStopped;
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[0], Group(std::string("プリンタドライバ の削除") + kStopped));
  EXPECT_EQ(log[1], "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\P1 キー削除成功。");
  EXPECT_EQ(log[2], "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\P1 キーなし。");
  EXPECT_EQ(log[3],
            "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print Manager\\Printers , P1 データなし。");
  int keys = 0, currentUser = 0, users = 0;
  for (std::size_t i = 1; i < 24 && i < log.size(); ++i) {
    keys += log[i].rfind("HKEY_LOCAL_MACHINE\\", 0) == 0;
    currentUser += log[i].rfind("HKEY_CURRENT_USER\\", 0) == 0;
    users += log[i].rfind("HKEY_USERS\\", 0) == 0;
  }
  EXPECT_EQ(keys, 2);
  EXPECT_EQ(currentUser, 7);
  EXPECT_EQ(users, 14);
  EXPECT_FALSE(machine.HasKey(std::string(kHklmPrinters) + "P1"));
}

// On Windows 2000 the drivers' Version-3 keys go as well, as the spooler would remove them.
TEST_F(PrinterJob, OfflineDriverRemovalTakesSharesConnectionsDriversMonitorsAndProcessors) {
  const std::string shares = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Shares";
  AddPrinter("P1", "DRV-A", "LPT1:");
  machine.SetString(std::string(kHklmPrinters) + "P1", "Share Name", "QX1");
  machine.SetString(shares, "QX1", "x");
  machine.SetString(shares + "\\Security", "QX1", "x");
  machine.SetString(shares, "OTHER", "x");
  const std::string cache = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Providers\\"
                            "LanMan Print Services\\Servers\\SRV01\\Printers\\";
  for (const char* c : {",,SRV01,LaserA", ",,SRV01,Other"}) {
    machine.SetString(std::string(kUser) + "Printers\\Connections\\" + c, "Server", "\\\\SRV01");
  }
  machine.SetString(cache + "LaserA", "Printer Driver", "drv-a");
  machine.SetString(cache + "Other", "Printer Driver", "Other Driver");
  machine.SetString("HKEY_USERS\\.DEFAULT\\Printers\\DevModes2", "\\\\SRV01\\LaserA", "");
  machine.SetString(std::string(kUser) + "Printers\\Settings", "\\\\SRV01\\LaserA", "");
  machine.SetString(std::string(kUser) + "Printers\\Settings", "\\\\SRV01\\Other", "");
  const std::string environments = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\";
  for (const char* version : {"Windows 4.0\\Drivers\\Version-0\\", "Windows NT x86\\Drivers\\Version-2\\",
                              "Windows NT x86\\Drivers\\Version-3\\"}) {
    machine.AddKey(environments + version + "DRV-A\\Files");
    machine.AddKey(environments + version + "Keep");
  }
  machine.AddKey(std::string(kHklmMonitors) + "LM-A");
  machine.AddKey(environments + "Windows NT x86\\Print Processors\\PP-A");
  doc.osType = kWindows2000;
  doc.printerNames = {"P1"};
  doc.DEL_PRINTER_NAME = {"DRV-A"};
  doc.DEL_LM_NAME = {"LM-A"};
  doc.DEL_PROC_NAME = {"PP-A"};
  doc.RemovePrinterDriversOffline();

  EXPECT_EQ(machine.Values(shares).size(), 1u);
  EXPECT_EQ(Text(std::string(kUser) + "Printers\\Settings", "\\\\SRV01\\Other"), "");  // not listed: stays
  EXPECT_TRUE(machine.HasKey(cache + "Other"));
  EXPECT_TRUE(machine.HasKey(std::string(kUser) + "Printers\\Connections\\,,SRV01,Other"));
  for (const char* version : {"Windows 4.0\\Drivers\\Version-0\\", "Windows NT x86\\Drivers\\Version-2\\",
                              "Windows NT x86\\Drivers\\Version-3\\"}) {
    EXPECT_FALSE(machine.HasKey(environments + version + "DRV-A")) << version;
    EXPECT_TRUE(machine.HasKey(environments + version + "Keep")) << version;
  }
  EXPECT_FALSE(machine.HasKey(std::string(kHklmMonitors) + "LM-A"));

  const StringList& log = doc.logSpoolerStopped;
  auto has = [&](const std::string& line) { return std::find(log.begin(), log.end(), line) != log.end(); };
  EXPECT_EQ(log[1], shares + " , QX1 データ削除成功。");
  EXPECT_EQ(log[2], shares + "\\Security , QX1 データ削除成功。");
  EXPECT_TRUE(has(cache + "LaserA キー削除成功。"));
  EXPECT_TRUE(has("HKEY_CURRENT_USER\\Printers\\Connections\\,,SRV01,LaserA キー削除成功。"));
  EXPECT_TRUE(has("HKEY_USERS\\.DEFAULT\\Printers\\DevModes2 , \\\\SRV01\\LaserA データ削除成功。"));
  EXPECT_TRUE(has(Group(std::string("ZOVPDD 以外のプリントプロセッサの削除") + kStopped)));
  EXPECT_EQ(log.back(), environments + "Windows NT x86\\Print Processors\\PP-A キー削除成功。");
}

TEST_F(PrinterJob, OnNt4TheDriverKeysOfWindows2000AreNotLookedFor) {
  doc.DEL_PRINTER_NAME = {"DRV-A"};
  doc.RemovePrinterDriversOffline();
  int driverLines = 0;
  for (const std::string& line : doc.logSpoolerStopped) driverLines += line.find("\\Drivers\\") != std::string::npos;
  EXPECT_EQ(driverLines, 3);
}

TEST_F(PrinterJob, OfflineTheVirtualPortAndTheProductProcessorGiveWay) {
  AddPrinter("P1", "DRV-A", "VPT1:", "ZOVPDD");
  AddPrinter("P2", "DRV-A", "vpt1:", "zovpdd");
  AddPrinter("P3", "DRV-A", "LPT2:");
  const std::string ports = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
  machine.SetString(ports, "VPT1:", "");
  machine.SetString(ports, "LPT1:", "");
  const std::string processors =
      "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT x86\\Print Processors\\";
  machine.AddKey(processors + "ZOVPDD");
  doc.ReassignVirtualPortsOffline();
  doc.DeleteProductPrintProcessorOffline();

  EXPECT_EQ(Text(std::string(kHklmPrinters) + "P1", "Port"), "LPT1:");
  EXPECT_EQ(Text(std::string(kHklmPrinters) + "P1", "Print Processor"), "WinPrint");
  EXPECT_EQ(machine.Value(std::string(kHklmPrinters) + "P1", "Print Processor")->data.size(), 9u);
  EXPECT_EQ(Text(std::string(kHklmPrinters) + "P2", "Port"), "LPT1:");
  EXPECT_EQ(Text(std::string(kHklmPrinters) + "P2", "Print Processor"), "zovpdd");
  EXPECT_EQ(Text(std::string(kHklmPrinters) + "P3", "Port"), "LPT2:");
  EXPECT_EQ(machine.Values(ports).size(), 1u);
  EXPECT_FALSE(machine.HasKey(processors + "ZOVPDD"));
  const std::string printers = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
  StringList expected = {
      Group(std::string("仮想ポート の削除") + kStopped),
      "設定：HKEY_LOCAL_MACHINE " + printers + "P1 , Port ,LPT1:",
      "設定：HKEY_LOCAL_MACHINE " + printers + "P1 , Print Processor ,WinPrint",
      "設定：HKEY_LOCAL_MACHINE " + printers + "P2 , Port ,LPT1:",
      ports + " , VPT1 データなし。",
      ports + " , VPT1: データ削除成功。",
      Group(std::string("ZOVPDD の削除") + kStopped),
      "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows 4.0\\Print "
      "Processors\\ZOVPDD キーなし。",
      processors + "ZOVPDD キー削除成功。",
  };
  EXPECT_EQ(doc.logSpoolerStopped, expected);
}

}  // namespace
}  // namespace qx::test
