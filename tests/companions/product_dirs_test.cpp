// Where the family's products and utilities are installed: the directories that the
// uninstall entries and the migration settings file name.
#include <gtest/gtest.h>

#include "companion_machine.h"

namespace qx::test {
namespace {

TEST(ProductDirs, TheFamilysUninstallEntriesNameTheirDirectoriesOnce) {
  CompanionMachine m;
  m.Uninstall("Qorvex 1.2", "C:\\Program Files\\Qorvex\\UNINST.EXE");
  m.Uninstall("Qorvex Web 1.0", "C:\\Program Files\\Qorvex Web\\UNWISE.EXE");
  m.Uninstall("Qorvex Tools", "\"C:\\Program Files\\Qorvex\\Tools\\UNINST.EXE\" /u");
  m.Uninstall("Qorvex Web 1.1", "c:\\program files\\qorvex web\\UNWISE.EXE");  // the same directory
  m.Uninstall("QORVEX OLD", "C:\\QXOLD\\UNINST.EXE");                            // not the family's spelling
  m.Uninstall("Qorvex Root", "C:\\UNINST.EXE");                                 // a drive's root is no product directory
  EXPECT_EQ(m.doc.AddProductUninstallDirs(), 2);
  EXPECT_EQ(m.doc.productDirs, (StringList{"C:\\Program Files\\Qorvex\\Tools\\", "C:\\Program Files\\Qorvex Web\\"}));
}

TEST(ProductDirs, EachUtilityTakesItsDirectoryFromItsOwnShapeOfUninstallString) {
  struct Case {
    const char* entry;
    const char* command;
    const char* dir;  // "" none
  };
  const Case cases[] = {
      {"Scriptora Utility", "C:\\WINNT\\IsUninst.exe -f\"C:\\Program Files\\ZOV\\Scriptora\\DeIsl1.isu\"",
       "C:\\Program Files\\ZOV\\Scriptora\\"},
      {"Scriptora Utility", "C:\\WINNT\\IsUninst.exe", ""},
      // The second byte of 表 is 0x5C and is no backslash.
      {"Scriptora Utility", "C:\\WINNT\\IsUninst.exe -f\"C:\\ZOV\\DeIsl表\"", "C:\\ZOV\\"},
      {"ﾌﾟﾘﾝﾀ管理ﾕｰﾃｨﾘﾃｨ", "C:\\WINNT\\IsUninst.exe -f\"C:\\Program Files\\Qorvex\\ﾌﾟﾘﾝﾀ管理\\Uninst.isu\"",
       "C:\\Program Files\\Qorvex\\ﾌﾟﾘﾝﾀ管理\\"},
      {"ﾌﾟﾘﾝﾀ管理ﾕｰﾃｨﾘﾃｨ", "C:\\WINNT\\IsUninst.exe -fC:\\Program Files\\Qorvex\\ﾌﾟﾘﾝﾀ管理\\Uninst.isu",
       "C:\\Program Files\\Qorvex\\ﾌﾟﾘﾝﾀ管理\\"},
      {"Netbridge Utility 1.0", "\"C:\\Program Files\\ZOV\\Netbridge\\UNINST.EXE\" \"C:\\Program Files\\ZOV\\NB Log\\u.log\"",
       "C:\\Program Files\\ZOV\\NB Log\\"},
      {"Netbridge Utility 1.0", "C:\\Program Files\\ZOV\\Netbridge\\UNINST.EXE", "C:\\Program Files\\ZOV\\Netbridge\\"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    CompanionMachine m;
    m.Uninstall(c.entry, c.command);
    int added = m.doc.AddScriptoraUtilityDir() + m.doc.AddNetbridgeUtilityDir() + m.doc.AddPrinterUtilityDir();
    EXPECT_EQ(m.doc.productDirs, *c.dir ? StringList{c.dir} : StringList{});
    EXPECT_EQ(added, *c.dir ? 1 : 0);
  }
}

TEST(ProductDirs, TheCompanionProgramsEntriesNameTheDirectoryOfTheirLog) {
  CompanionMachine m;
  m.machine.SetString(std::string(kUninstallKey) + "A Launcher", "ApplicationName", "zovpls.EXE");
  m.Uninstall("A Launcher", "C:\\ZOV\\PLS\\ZOVPLS.exe -n\"C:\\ZOV\\PLS Data\\DeIsl3.isu\"");
  m.machine.SetString(std::string(kUninstallKey) + "B Broken", "ApplicationName", "ZOVPLS.exe");
  m.Uninstall("B Broken", "C:\\ZOV\\PLS\\ZOVPLS.exe");  // skipped alone
  m.machine.SetString(std::string(kUninstallKey) + "C Other", "ApplicationName", "OTHER.exe");
  m.Uninstall("C Other", "C:\\Other\\OTHER.exe -n\"C:\\Other\\x.isu\"");
  m.machine.SetString(std::string(kUninstallKey) + "D Launcher", "ApplicationName", "ZOVPLS.exe");
  m.Uninstall("D Launcher", "C:\\ZOV\\PLS2\\ZOVPLS.exe -n\"D:\\PLS2\\DeIsl4.isu\"");
  EXPECT_EQ(m.doc.AddCompanionProgramDirs(), 2);
  EXPECT_EQ(m.doc.productDirs, (StringList{"C:\\ZOV\\PLS Data\\", "D:\\PLS2\\"}));
}

TEST(ProductDirs, TheSettingsFileIsReadThroughGapsUpToSectionSeventeenThenToTheFirstGap) {
  CompanionMachine m;
  m.doc.productDirs = {"C:\\Program Files\\Qorvex\\"};
  m.machine.AddFile("C:\\WINNT\\ZOVQXCFG.INI",
                    "[0]\r\nDIRPATH=c:\\program files\\qorvex\r\nPSPOOL=C:\\Q\\SPOOL\\A\r\n"
                    "[3]\r\nDIRPATH=C:\\Q3\r\n[17]\r\nDIRPATH=\r\n"
                    "[18]\r\nDIRPATH=C:\\Q18\\\r\n[19]\r\nPSPOOL=C:\\Q\\SPOOL\\B\r\n"
                    "[21]\r\nDIRPATH=C:\\Q21\r\nPSPOOL=C:\\Q\\SPOOL\\C\r\n");
  EXPECT_EQ(m.doc.AddSettingsFileProductDirs(), 2);  // 19 has no DIRPATH: 21 is not read
  EXPECT_EQ(m.doc.productDirs, (StringList{"C:\\Program Files\\Qorvex\\", "C:\\Q3\\", "C:\\Q18\\"}));
  EXPECT_EQ(m.doc.AddSettingsFileSpoolDirs(), 1);  // 18 has no PSPOOL: 19 is not read
  EXPECT_EQ(m.doc.spoolDirs, (StringList{"C:\\Q\\SPOOL\\A\\"}));
}

}  // namespace
}  // namespace qx::test
