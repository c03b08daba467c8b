// Recognising the family's printer objects by name, and the table-driven registry removal.
#include "printers/names.h"
#include "printers/printer_fixture.h"

namespace qx::test {
namespace {

TEST(PrinterNames, ConnectionNamesAndLptnPortsMapAsWindowsNamesThem) {
  struct Case {
    std::string (*map)(const std::string&);
    const char* in;
    const char* out;
  } cases[] = {
      {ConnectionDisplayName, ",,SRV01,LaserA", "\\\\SRV01\\LaserA"},
      {ConnectionDisplayName, ",,SRV01", ",,SRV01"},
      {ConnectionDisplayName, "LaserA", "LaserA"},
      {MapLptnPort, "LPTN3:", "LPT3:"},
      {MapLptnPort, "lptn2:", "LPT2:"},
      {MapLptnPort, "LPTN1:", "LPT1:"},
      {MapLptnPort, "LPTN", "LPT1:"},  // no number: the first parallel port, not "LPT"
  };
  for (const Case& c : cases) EXPECT_EQ(c.map(c.in), c.out) << c.in;
  EXPECT_TRUE(IsLptnPort("lptn2:"));
  EXPECT_FALSE(IsLptnPort("LPTX1:"));
}

TEST_F(PrinterJob, PrintersAreGatheredByTheirDriverOnceEachInTheOrderFound) {
  doc.DEL_PRINTER_NAME = {"qorvex ps driver", "Qorvex PS Driver", "Qorvex Fax"};
  AddPrinter("B", "Qorvex PS Driver", "LPT1:");
  AddPrinter("A", "Other", "LPT1:");
  AddPrinter("C", "Qorvex Fax", "LPT1:");
  machine.SetString(std::string(kHklmNtPrinters) + "B", "Printer Driver", "Qorvex PS Driver");
  machine.SetString(std::string(kHklmNtPrinters) + "D", "Printer Driver", "QORVEX FAX");
  machine.AddKey(std::string(kHklmNtPrinters) + "E");  // no driver value
  EXPECT_EQ(doc.GatherPrinterNames(), 3);
  EXPECT_EQ(doc.printerNames, (StringList{"B", "C", "D"}));

  CQXErsDoc off{machine.platform()};
  EXPECT_EQ(off.GatherPrinterNames(), 0);  // the printer-driver kind off: an empty list
  EXPECT_TRUE(off.printerNames.empty());
}

TEST_F(PrinterJob, ANetworkPortIsOneThatAProductMonitorListsByValueOrSubkey) {
  machine.SetString(std::string(kHklmMonitors) + "ZOV TCP/IP Printing System", "P1", "");
  machine.SetString(std::string(kHklmMonitors) + "ZOV TCP/IP Printing System", std::string(300, 'L'), "");
  machine.SetString(std::string(kHklmMonitors) + "ZOV TCP/IP Printing System", "P3", "");
  machine.AddKey(std::string(kHklmMonitors) + "ZOV Network Port\\P2");
  machine.AddKey(std::string(kHklmMonitors) + "Other Monitor\\P4");
  struct Case {
    const char* port;
    bool product;
  } cases[] = {
      {"P1 (ZOV TCP/IP Port)", true},  {"P2 (ZOV TCP/IP Port)", true},
      {"P3 (ZOV TCP/IP Port)", true},  // listed after a name too long for the buffer
      {"p1 (ZOV TCP/IP Port)", false}, {"P1", false},
      {"P4 (ZOV TCP/IP Port)", false}, {" (ZOV TCP/IP Port)", false},
  };
  for (const Case& c : cases) EXPECT_EQ(doc.IsProductNetworkPort(c.port), c.product) << c.port;
  EXPECT_EQ(doc.logSpoolerStopped,
            StringList{"System\\CurrentControlSet\\Control\\Print\\Monitors\\ZOV TCP/IP Printing System [1] "
                       "名前が長すぎるため処理しない。"});
}

TEST_F(PrinterJob, ARemovalTableIsWalkedRowByRowWithEveryNameAndEveryUser) {
  machine.SetString(std::string(kHklmPrinters) + "P1\\PrinterDriverData", "x", "1");
  machine.SetString(std::string(kUser) + "Printers\\DevModes", "\\\\S\\Q", "");
  machine.SetString("HKEY_USERS\\.DEFAULT\\Printers\\DevModes", "P1", "");
  machine.SetString("HKEY_USERS\\.DEFAULT\\Printers\\DevModes", "Keep", "");
  std::vector<RemovalRow> rows = {{HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers", "Key"},
                                  {HKEY_USERS, "Printers\\DevModes", "Value"}};
  doc.RemoveNamedEntries(rows, {}, true);
  EXPECT_TRUE(doc.logSpoolerStopped.empty());
  doc.RemoveNamedEntries(rows, {"P1", ",,S,Q", std::string(300, 'N')}, true);
  EXPECT_FALSE(machine.HasKey(std::string(kHklmPrinters) + "P1"));
  EXPECT_TRUE(machine.Values(std::string(kUser) + "Printers\\DevModes").empty());
  EXPECT_EQ(machine.Values("HKEY_USERS\\.DEFAULT\\Printers\\DevModes").size(), 1u);
  std::string tooLong = " 名前が長すぎるため処理しない。";
  StringList expected = {
      "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\P1 キー削除成功。",
      "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\,,S,Q キーなし。",
      "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\" + std::string(300, 'N') + tooLong,
      "HKEY_USERS\\.DEFAULT\\Printers\\DevModes , P1 データ削除成功。",
      "HKEY_USERS\\S-1-5-21-1000\\Printers\\DevModes , P1 データなし。",
      "HKEY_USERS\\.DEFAULT\\Printers\\DevModes , \\\\S\\Q データなし。",
      "HKEY_USERS\\S-1-5-21-1000\\Printers\\DevModes , \\\\S\\Q データ削除成功。",
      std::string(300, 'N') + tooLong,
  };
  EXPECT_EQ(doc.logSpoolerStopped, expected);
}

}  // namespace
}  // namespace qx::test
