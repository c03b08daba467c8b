// The companion program's entries, the reprint shortcuts and menu folders, the COM
// components, and the drivers' migration records kept across the erase.
#include <gtest/gtest.h>

#include "companion_machine.h"

namespace qx::test {
namespace {

constexpr const char* kShell = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const std::string kCommonPrograms = "C:\\WINNT\\Profiles\\All Users\\スタート メニュー\\プログラム";
const std::string kUserPrograms = "C:\\WINNT\\Profiles\\qxadmin\\スタート メニュー\\プログラム";

TEST(CompanionEntries, EntriesMenuFoldersAndShortcutsJoinTheDeletionLists) {
  CompanionMachine m;
  for (const char* entry : {"ZOV PLS", "ZOV PLS 2"}) {
    m.machine.SetString(std::string(kUninstallKey) + entry, "ApplicationName", "ZOVPLS.EXE");
    m.Uninstall(entry, std::string("C:\\ZOV\\ZOVPLS.exe -n\"C:\\ZOV\\") + entry + ".isu\"");
  }
  const std::string hklm = std::string("HKEY_LOCAL_MACHINE\\") + kShell;
  const std::string hkcu = std::string("HKEY_CURRENT_USER\\") + kShell;
  m.machine.SetString(hklm, "Common Programs", kCommonPrograms);
  m.machine.SetString(hkcu, "Programs", kUserPrograms);
  m.machine.AddFile(kCommonPrograms + "\\Qorvex リプリント\\Qorvex リプリント設定.lnk", "L");
  m.machine.AddFile(kUserPrograms + "\\Qorvex リプリント\\Qorvex リプリント設定.lnk", "L");
  // Lying in the Programs folder itself: "." must not become a program group that the
  // folder stage would empty.
  m.machine.AddFile(kCommonPrograms + "\\Qorvex リプリント設定.lnk", "L");
  m.machine.AddFile(kCommonPrograms + "\\アクセサリ\\メモ帳.lnk", "L");
  // The common desktop wins over the user's.
  m.machine.SetString(hklm, "Common Desktop", "C:\\WINNT\\Profiles\\All Users\\デスクトップ");
  m.machine.SetString(hkcu, "Desktop", "C:\\WINNT\\Profiles\\qxadmin\\デスクトップ");
  m.machine.AddFile("C:\\WINNT\\Profiles\\All Users\\デスクトップ\\Qorvex リプリント.lnk", "L");
  m.machine.AddFile("C:\\WINNT\\Profiles\\qxadmin\\デスクトップ\\Qorvex リプリント.lnk", "L");
  // A Startup folder on another drive: its path without the drive names another file on C:.
  m.machine.SetString(hkcu, "Startup", "D:\\Profiles\\qxadmin\\Startup");
  m.machine.AddFile("D:\\Profiles\\qxadmin\\Startup\\Qorvex リプリント.lnk", "L");

  m.doc.logEnabled = 1;
  EXPECT_EQ(m.doc.CollectCompanionEntries(), 4 + 2 + 2 + 1);
  const std::string u = "HKEY_LOCAL_MACHINE,SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
  EXPECT_EQ(m.doc.DEL_REG_QX, (StringList{u + "Uninstall\\ZOV PLS", u + "App Management\\ARPCache\\ZOV PLS",
                                          u + "Uninstall\\ZOV PLS 2", u + "App Management\\ARPCache\\ZOV PLS 2"}));
  EXPECT_EQ(m.doc.installerLogs, (StringList{"C:\\ZOV\\ZOV PLS.isu", "C:\\ZOV\\ZOV PLS 2.isu"}));
  EXPECT_EQ(m.doc.DEL_FOLDER_QX, (StringList{"Qorvex リプリント", "Qorvex リプリント"}));
  EXPECT_EQ(m.doc.DEL_FILE_QX_ROOT, (StringList{"WINNT\\Profiles\\All Users\\デスクトップ\\Qorvex リプリント.lnk"}));
  EXPECT_EQ(m.doc.logFiles,
            (StringList{"D:\\Profiles\\qxadmin\\Startup\\Qorvex リプリント.lnk システムドライブ外のため削除しない。"}));
}

TEST(CompanionEntries, ComponentsAreUnregisteredByFullPathFromEveryProductDirectory) {
  CompanionMachine m;
  const std::string a = "C:\\Program Files\\Qorvex\\";
  const std::string b = "C:\\Program Files\\Qorvex\\ﾌﾟﾘﾝﾀ管理\\";
  m.doc.productDirs = {a, b};
  using Kind = sim::ModuleSpec::Kind;
  for (auto [path, kind] : {std::pair{a + "ZOVQXQXT.DLL", Kind::kComponent}, {b + "ZOVQXQXT.DLL", Kind::kComponent},
                            {a + "ZOVQXNIC.DLL", Kind::kLibrary}, {b + "ZOVQXEXP.EXE", Kind::kComponentProgram}}) {
    m.Module(path, kind);
  }
  const std::string clsid = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\";
  m.machine.SetString(clsid + "{1}\\InprocServer32", "", a + "ZOVQXQXT.DLL");
  m.machine.SetString(clsid + "{2}\\LocalServer32", "", b + "ZOVQXEXP.EXE /Automation");
  char before[MAX_PATH] = {};
  m.machine.platform().files.GetCurrentDirectoryA(MAX_PATH, before);

  EXPECT_EQ(m.doc.UnregisterCompanionComponents(), 0);
  EXPECT_EQ(m.Calls("LoadLibraryA"), (std::vector<std::string>{
                                         "LoadLibraryA(\"" + a + "ZOVQXQXT.DLL\") = " + a + "ZOVQXQXT.DLL",
                                         "LoadLibraryA(\"" + b + "ZOVQXQXT.DLL\") = " + b + "ZOVQXQXT.DLL",
                                         "LoadLibraryA(\"" + a + "ZOVQXNIC.DLL\") = " + a + "ZOVQXNIC.DLL"}));
  EXPECT_TRUE(m.Called("CreateProcessA(NULL, \"\"" + b + "ZOVQXEXP.EXE\" /UnregServer\", 0, 0, NULL, cb 68 flags 0) = 1"));
  EXPECT_FALSE(m.machine.HasKey(clsid + "{1}"));
  EXPECT_FALSE(m.machine.HasKey(clsid + "{2}"));
  EXPECT_EQ(m.machine.LoadedLibraries(), 0);
  EXPECT_EQ(m.machine.OpenProcessHandles(), 0);
  char after[MAX_PATH] = {};
  m.machine.platform().files.GetCurrentDirectoryA(MAX_PATH, after);
  EXPECT_STREQ(after, before);
}

TEST(CompanionEntries, DriverMigrationRecordsSurviveTheEraseOfTheFamilysKeys) {
  const std::string printer = "HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\Qorvex\\Printers\\QX1";
  const std::string temp = "HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\QorvexTemp";
  for (int flags : {kDelProduct, kDelProduct | kDelDrivers}) {
    SCOPED_TRACE(flags);
    CompanionMachine m;
    m.doc.delFlags = flags;
    m.machine.SetString(printer, "MIGFD1", "C:\\Drv,OLD.DLL");
    m.machine.SetValue(printer, "MIGKD1", REG_EXPAND_SZ, std::string("%SystemRoot%\\x\0", 15));
    m.machine.SetString(printer, "MIGFP1", "C:\\Old");
    const bool kept = !(flags & kDelDrivers);
    EXPECT_EQ(m.doc.KeepDriverMigrationData(CQXErsDoc::MigrationDirection::Save), kept ? 0 : -1);
    EXPECT_EQ(m.machine.Value(temp + "\\Printers\\QX1", "MIGFD1").has_value(), kept);
    EXPECT_FALSE(m.machine.Value(temp + "\\Printers\\QX1", "MIGFP1").has_value());
    // The configuration erases the family's keys, the temporary key among them.
    m.doc.DeleteRegistryEntry("HKEY_LOCAL_MACHINE,SOFTWARE\\ZOV");
    EXPECT_EQ(m.doc.KeepDriverMigrationData(CQXErsDoc::MigrationDirection::Restore), kept ? 0 : -1);
    EXPECT_FALSE(m.machine.HasKey(temp));
    EXPECT_EQ(m.machine.Values(printer).size(), kept ? 2u : 0u);
    if (!kept) continue;
    EXPECT_EQ(m.machine.Value(printer, "MIGFD1")->data, std::string("C:\\Drv,OLD.DLL\0", 15));
    EXPECT_EQ(m.machine.Value(printer, "MIGKD1")->type, REG_EXPAND_SZ);
  }
}

}  // namespace
}  // namespace qx::test
