// Migration records and installer logs: what is collected from the product's printer keys
// and the utilities' uninstall entries, what goes for which deletion kind, and the
// migration settings file.
#include <gtest/gtest.h>

#include "companion_machine.h"
#include "companions/companions.h"

namespace qx::test {
namespace {

constexpr const char* kPrinters = "HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\Qorvex\\Printers\\";
const std::string kMenu = "C:\\WINNT\\Profiles\\All Users\\スタート メニュー\\プログラム\\";

TEST(Leftovers, InstallerLogsAreTheQuotedIsuFilesAfterTheLogSwitch) {
  CompanionMachine m;
  m.machine.SetString(std::string(kPrinters) + "QX1", "UninstallString", "\"C:\\Q\\UNINST.EXE\" -f\"C:\\Q\\DeIsl1.isu\"");
  m.machine.SetString(std::string(kPrinters) + "QX2", "UninstallString", "C:\\Q\\UNINST.EXE");
  m.machine.SetString(std::string(kPrinters) + "QX3", "UninstallString", "C:\\Q\\UNINST.EXE -fC:\\Q\\DEISL3.ISU");
  m.Uninstall("Scriptora Utility", "C:\\WINNT\\IsUninst.exe -f\"C:\\S\\DeIsl1.isu\"");
  m.Uninstall("ﾌﾟﾘﾝﾀ管理ﾕｰﾃｨﾘﾃｨ", "C:\\WINNT\\IsUninst.exe -fC:\\P\\Uninst.isu");
  m.doc.CollectInstallerLogs();
  EXPECT_EQ(m.doc.installerLogs, (StringList{"C:\\Q\\DeIsl1.isu", "C:\\S\\DeIsl1.isu", "C:\\P\\Uninst.isu"}));
}

TEST(Leftovers, EveryKindIsCollectedIntoItsListAndOthersAreIgnored) {
  CompanionMachine m;
  const std::string a = std::string(kPrinters) + "QX1";
  const std::string b = std::string(kPrinters) + "QX2";
  m.machine.SetString(a, "MIGFP1", "C:\\Old,QX.INI");
  m.machine.SetString(a, "MIGFP2", "C:\\Old\\Sub");
  m.machine.SetString(a, "MIGKP1", "SOFTWARE\\ZOV,QorvexOld");
  m.machine.SetString(a, "MIGVP1", "SOFTWARE\\ZOV\\Shared,OldProducts");
  m.machine.SetString(a, "MIGSP1", "Qorvex 旧版,QXOLD.LNK");
  m.machine.SetString(a, "MIGXP1", "C:\\Never");
  m.machine.SetString(a, "migfp3", "C:\\Never");
  m.machine.SetString(b, "MIGFD1", "C:\\Drv\\,OLD.DLL");
  m.machine.SetString(b, "MIGFD2", "C:\\Drv\\Old");
  m.machine.SetString(b, "MIGKD1", "SOFTWARE\\ZOV\\OldDriver");
  m.machine.SetString(b, "MIGVD1", "SOFTWARE\\ZOV\\Shared,OldDriver");
  m.machine.SetString(b, "MIGSD1", "Qorvex ドライバ");
  m.doc.CollectMigrationData();
  const StringList expected[10] = {
      {"C:\\Old\\QX.INI"}, {"C:\\Old\\Sub"}, {"HKEY_LOCAL_MACHINE,SOFTWARE\\ZOV\\QorvexOld"},
      {"HKEY_LOCAL_MACHINE,SOFTWARE\\ZOV\\Shared,OldProducts"}, {"Qorvex 旧版,QXOLD.LNK"},
      {"C:\\Drv\\OLD.DLL"}, {"C:\\Drv\\Old"}, {"HKEY_LOCAL_MACHINE,SOFTWARE\\ZOV\\OldDriver"},
      {"HKEY_LOCAL_MACHINE,SOFTWARE\\ZOV\\Shared,OldDriver"}, {"Qorvex ドライバ"}};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(m.doc.migrationLists[i], expected[i]) << i;
}

TEST(Leftovers, EachKindBitRemovesItsOwnRecordsAndTheHeadingsAreAlwaysLogged) {
  for (int flags : {kDelProduct, kDelDrivers}) {
    SCOPED_TRACE(flags);
    CompanionMachine m;
    m.doc.delFlags = flags;
    m.machine.AddFile("C:\\Old\\QX.INI", "x");
    m.machine.AddDirectory("C:\\Old\\Sub");
    m.machine.SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\QorvexOld", "A", "1");
    m.machine.SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\Shared", "OldProducts", "1");
    m.machine.AddFile(kMenu + "Qorvex 旧版\\QXOLD.LNK", "L");
    m.machine.AddFile("C:\\Drv\\OLD.DLL", "x");
    m.machine.SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\OldDriver", "A", "1");
    m.doc.migrationLists[kMigFiles] = {"C:\\Old\\QX.INI"};
    m.doc.migrationLists[kMigFolders] = {"C:\\Old\\Sub"};
    m.doc.migrationLists[kMigKeys] = {"HKEY_LOCAL_MACHINE,SOFTWARE\\ZOV\\QorvexOld"};
    m.doc.migrationLists[kMigValues] = {"HKEY_LOCAL_MACHINE,SOFTWARE\\ZOV\\Shared,OldProducts"};
    m.doc.migrationLists[kMigMenuItems] = {"Qorvex 旧版,QXOLD.LNK"};
    m.doc.migrationLists[kMigDrivers + kMigFiles] = {"C:\\Drv\\OLD.DLL"};
    m.doc.migrationLists[kMigDrivers + kMigKeys] = {"HKEY_LOCAL_MACHINE,SOFTWARE\\ZOV\\OldDriver"};
    std::uint64_t before = m.machine.ElapsedMs();
    m.doc.RemoveMigrationLeftovers();
    const bool product = flags == kDelProduct;
    EXPECT_EQ(m.machine.HasFile("C:\\Old\\QX.INI"), !product);
    EXPECT_EQ(m.machine.HasDirectory("C:\\Old\\Sub"), !product);
    EXPECT_EQ(m.machine.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\QorvexOld"), !product);
    EXPECT_EQ(m.machine.Value("HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\Shared", "OldProducts").has_value(), !product);
    EXPECT_EQ(m.machine.HasFile(kMenu + "Qorvex 旧版\\QXOLD.LNK"), !product);
    EXPECT_EQ(m.machine.ElapsedMs() - before, product ? 500u : 0u);  // after each menu item
    EXPECT_EQ(m.machine.HasFile("C:\\Drv\\OLD.DLL"), product);
    EXPECT_EQ(m.machine.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\OldDriver"), product);
    const std::string heading = std::string(70, '-') + "\r\nMigrate情報削除";
    EXPECT_EQ(m.doc.logFiles.at(0), heading);
    EXPECT_EQ(m.doc.logRegistry.at(0), heading);
    EXPECT_EQ(m.doc.logFolders.at(0), heading);
  }
}

TEST(Leftovers, InstallerLogsAreDeletedAndCounted) {
  CompanionMachine m;
  m.machine.AddFile("C:\\Q\\DeIsl1.isu", "log", FILE_ATTRIBUTE_READONLY);
  m.doc.installerLogs = {"C:\\Q\\DeIsl1.isu", "C:\\Q\\DeIsl2.isu"};
  EXPECT_EQ(m.doc.DeleteInstallerLogs(), 1);
  EXPECT_FALSE(m.machine.HasFile("C:\\Q\\DeIsl1.isu"));
  EXPECT_EQ(m.doc.logFiles, (StringList{std::string(70, '-') + "\r\nDeIsl*.isu情報削除",
                                        "C:\\Q\\DeIsl1.isu ファイル 削除成功", "C:\\Q\\DeIsl2.isu ファイル 削除失敗 or なし",
                                        "削除ファイル数：1 個"}));
}

TEST(Leftovers, TheSettingsFileGoesNowOrAtTheRestart) {
  struct Case {
    const char* name;
    int osType;
    bool present, locked;
    const char* line;
    int restartNeeded;
  };
  const Case cases[] = {{"absent", 2, false, false, "Iniファイルなし", 0},
                        {"deleted", 2, true, false, "Iniファイル削除成功", 0},
                        {"locked on NT", 2, true, true, "Iniファイル削除失敗", 1},
                        {"locked on 98", 0, true, true, "Iniファイル削除失敗", 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CompanionMachine m;
    m.doc.osType = c.osType;
    if (c.osType == kWindows9x) m.machine.settings().platformId = VER_PLATFORM_WIN32_WINDOWS;
    const std::string path = "C:\\WINNT\\ZOVQXCFG.INI";
    if (c.present) m.machine.AddFile(path, "[0]\r\n", FILE_ATTRIBUTE_READONLY);
    if (c.locked) m.machine.SetLocked(path, true);
    m.doc.DeleteMigrationSettingsFile();
    EXPECT_EQ(m.doc.logFiles, (StringList{std::string(70, '-') + "\r\nMigrate作成Iniファイル削除", c.line}));
    EXPECT_EQ(m.doc.restartNeeded, c.restartNeeded);
    EXPECT_EQ(m.doc.logRestartCauses, c.locked ? StringList{path + " の削除に失敗"} : StringList{});
    EXPECT_EQ(m.machine.HasFile(path), c.locked);
    if (!c.locked) continue;
    m.machine.Reboot();
    EXPECT_FALSE(m.machine.HasFile(path));
  }
}

}  // namespace
}  // namespace qx::test
