// Removal through the running spooler: the log lines, the waits, and what the spooler was
// asked to change.
#include "printers/printer_fixture.h"

namespace qx::test {
namespace {


class SpoolerJob : public PrinterJob {
 protected:
  SpoolerJob() {
    machine.AddKey("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Spooler");
    machine.SetServiceState("Spooler", SERVICE_RUNNING);
    doc.spoolerRunning = true;
    for (const char* port : {"LPT1:", "LPT2:", "VPT1:"}) machine.SetString(kHklmPorts, port, "");
    machine.AddKey(std::string(kHklmEnvironments) + "Windows NT x86\\Print Processors\\WinPrint");
    machine.AddKey(std::string(kHklmEnvironments) + "Windows NT x86\\Print Processors\\ZOVPDD");
    AddDriver("Windows NT x86\\Drivers\\Version-2\\", "DRV-A");
    AddDriver("Windows NT x86\\Drivers\\Version-2\\", "Other");
  }
  void AddDriver(const std::string& where, const std::string& name) {
    machine.SetString(kHklmEnvironments + where + name, "Driver", "X.DLL");
  }
};

TEST_F(SpoolerJob, TheDriverRemovalLogsWhatItFoundAndDeletedAndWaitsForTheSpooler) {
  AddPrinter("P1", "DRV-A", "LPT1:");
  doc.DEL_PRINTER_NAME = {"DRV-A"};
  doc.DEL_LM_NAME = {"LM-A"};
  doc.RemovePrinterDrivers();
  StringList expected = {"P1 プリンタ発見", "DRV-A プリンタ削除成功", "DRV-A ドライバ発見", "DRV-A ドライバ削除成功",
                         "Other ドライバ発見", "LM-A ＬＭ削除失敗 or なし  エラー：3000"};
  EXPECT_EQ(doc.logDrivers, expected);
  EXPECT_FALSE(machine.HasKey(std::string(kHklmPrinters) + "P1"));
  EXPECT_FALSE(machine.HasKey(std::string(kHklmEnvironments) + "Windows NT x86\\Drivers\\Version-2\\DRV-A"));
  EXPECT_EQ(machine.ElapsedMs(), 4000u);
}

TEST_F(SpoolerJob, ConnectionsAndPrintersThatCannotBeOpenedAreDeletedAsConnections) {
  AddPrinter("Locked", "drv-a", "LPT1:");
  machine.SetPrinterDeniedAccess("Locked", PRINTER_ALL_ACCESS);
  machine.SetString(std::string(kUser) + "Printers\\Connections\\,,SRV01,LaserA", "Server", "\\\\SRV01");
  machine.SetString("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Providers\\LanMan Print "
                    "Services\\Servers\\SRV01\\Printers\\LaserA",
                    "Printer Driver", "DRV-A");
  AddDriver("Windows 4.0\\Drivers\\Version-0\\", "DRV-A");
  machine.SetString(std::string(kHklmMonitors) + "LM-A", "Driver", "LMA.DLL");
  doc.osType = kWindows2000;
  doc.DEL_PRINTER_NAME = {"drv-a"};
  doc.DEL_LM_NAME = {"LM-A"};
  doc.RemovePrinterDrivers();
  StringList expected = {"Locked プリンタ発見",
                         "drv-a プリンタ削除失敗",
                         "\\\\SRV01\\LaserA プリンタ発見",
                         "drv-a プリンタ削除成功",
                         "DRV-A ドライバ発見",
                         "drv-a ドライバ削除失敗  エラー：3001",  // still used by the printer that stayed
                         "Other ドライバ発見",
                         "DRV-A 95用ドライバ発見",
                         "drv-a 95用ドライバ削除成功",
                         "LM-A ＬＭ削除成功",
                         "LM-A 95用ＬＭ削除失敗  エラー：3000"};
  EXPECT_EQ(doc.logDrivers, expected);
  EXPECT_TRUE(machine.Subkeys(std::string(kUser) + "Printers\\Connections").empty());
  EXPECT_EQ(machine.ElapsedMs(), 4500u);
}

TEST_F(SpoolerJob, VirtualPrintersFollowTheRealPrinterTheyFeedAndTheProductProcessorGivesWay) {
  AddPrinter("Real", "Other", "LPT2:");
  AddPrinter("Feeds real", "Other", "VPT1:");
  AddPrinter("Feeds virtual", "Other", "vpt1:");
  AddPrinter("Feeds nothing", "Other", "VPT1:", "ZOVPDD");
  AddPrinter("Processor only", "Other", "LPT1:", "ZOVPDD");
  machine.SetString(std::string(kHklmPrinters) + "Feeds real\\PrinterDriverData", "PDD_PrinterNames", "Real");
  machine.SetString(std::string(kHklmPrinters) + "Feeds virtual\\PrinterDriverData", "PDD_PrinterNames",
                    "Feeds nothing");
  EXPECT_EQ(doc.ReassignVirtualPorts(), 0);
  struct Expect {
    const char* printer;
    const char* port;
    const char* processor;
  } expected[] = {{"Real", "LPT2:", "WinPrint"},
                  {"Feeds real", "LPT2:", "WinPrint"},
                  {"Feeds virtual", "LPT1:", "WinPrint"},
                  {"Feeds nothing", "LPT1:", "WinPrint"},
                  {"Processor only", "LPT1:", "WinPrint"}};
  for (const Expect& e : expected) {
    EXPECT_EQ(Text(std::string(kHklmPrinters) + e.printer, "Port"), e.port) << e.printer;
    EXPECT_EQ(Text(std::string(kHklmPrinters) + e.printer, "Print Processor"), e.processor) << e.printer;
  }
  EXPECT_FALSE(machine.Value(kHklmPorts, "VPT1:"));
}

// When the spooler does not delete a print processor, the key that goes instead is the one
// of the environment it was asked about, never the Windows 95 one.
TEST_F(SpoolerJob, APrintProcessorTheSpoolerKeepsLosesTheKeyOfItsOwnEnvironment) {
  machine.AddKey(std::string(kHklmEnvironments) + "Windows NT x86\\Print Processors\\PP-A");
  for (const char* p : {"ZOVPDD", "PP-A"}) machine.AddKey(std::string(kHklmEnvironments) + "Windows 4.0\\Print Processors\\" + p);
  machine.AddFault({"DeletePrintProcessorA", "", 0, ERROR_ACCESS_DENIED});
  doc.DEL_PROC_NAME = {"PP-A"};
  doc.DeleteProductPrintProcessor();
  EXPECT_EQ(doc.DeletePrintProcessorByName("PP-A"), 0);
  for (const char* p : {"ZOVPDD", "PP-A"}) {
    EXPECT_FALSE(machine.HasKey(std::string(kHklmEnvironments) + "Windows NT x86\\Print Processors\\" + p)) << p;
    EXPECT_TRUE(machine.HasKey(std::string(kHklmEnvironments) + "Windows 4.0\\Print Processors\\" + p)) << p;
  }
  EXPECT_NE(doc.DeletePrintProcessorByName("PP-B"), 0);
}

}  // namespace
}  // namespace qx::test
