// Where the run happens: system type, directories and the product's directories.
#include <gtest/gtest.h>

#include "support/run_fixture.h"

namespace qx::test {
namespace {

constexpr const char* kUninstall = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qorvex 1.2";
constexpr const char* kQorvex = "HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\Qorvex";

TEST(Discovery, SystemTypeComesFromPlatformAndVersion) {
  struct Case {
    DWORD platformId, major, minor;
    int osType;
  } cases[] = {
      {1, 4, 0, 0},  {1, 4, 10, 0}, {1, 4, 90, 0}, {2, 3, 51, 1}, {2, 3, 50, -1}, {2, 4, 0, 2},
      {2, 5, 0, 3},  {2, 5, 1, 3},  {2, 5, 2, 3},  {2, 6, 0, -1}, {2, 10, 0, -1}, {0, 3, 10, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.platformId) + " " + std::to_string(c.major) + "." + std::to_string(c.minor));
    RunFixture run;
    run.SetSystem(c.platformId, c.major, c.minor);
    DWORD platform = 0, major = 0, minor = 0;
    EXPECT_EQ(run.doc.GetOSType(&platform, &major, &minor), c.osType);
    EXPECT_EQ(platform, c.platformId);
    EXPECT_EQ(major, c.major);
    EXPECT_EQ(minor, c.minor);
  }
}

TEST(Discovery, DirectoriesEndInABackslashAndTheSiblingSystemDirectoryIsFound) {
  struct Case {
    const char* systemDir;
    const char* altSystemDir;
  } cases[] = {
      {"C:\\WINNT\\System32", "C:\\WINNT\\System\\"},
      {"C:\\WINNT\\system32", "C:\\WINNT\\system\\"},
      {"C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS\\SYSTEM32\\"},
      {"C:\\WINDOWS\\SYSTEM\\", "C:\\WINDOWS\\SYSTEM32\\"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.systemDir);
    RunFixture run;
    run.machine.settings().systemDirectory = c.systemDir;
    run.machine.settings().moduleFileName = "D:\\表\\QXErs.exe";
    run.machine.settings().tempPath = "C:\\TEMP";
    run.doc.PrepareRun();
    EXPECT_EQ(run.doc.altSystemDir, c.altSystemDir);
    EXPECT_EQ(run.doc.systemDir.back(), '\\');
    EXPECT_EQ(run.doc.windowsDir, "C:\\WINNT\\");
    EXPECT_EQ(run.doc.tempDir, "C:\\TEMP\\");
    EXPECT_EQ(run.doc.moduleDir, "D:\\表\\");
  }
}

TEST(Discovery, ResetKeepsOrDropsTheDriversByTheViewsChoice) {
  RunFixture run;
  run.doc.viewWindow = run.window;
  run.doc.logEnabled = 1;
  run.doc.restartNeeded = 1;
  run.doc.stepPos = 5;
  run.doc.driverChoice = 0;
  run.doc.PrepareRun();
  EXPECT_EQ(run.doc.delFlags, 5);
  EXPECT_EQ(run.doc.logEnabled, 0);
  EXPECT_EQ(run.doc.restartNeeded, 0);
  EXPECT_EQ(run.doc.stepPos, 0u);
  run.doc.driverChoice = 1;
  run.doc.PrepareRun();
  EXPECT_EQ(run.doc.delFlags, 7);
}

TEST(Discovery, TheUninstallEntryGivesOneProductDirectory) {
  struct Case {
    const char* uninstall;  // nullptr: no value
    StringList productDirs;
  } cases[] = {
      {"C:\\Program Files\\Qorvex\\Uninst.exe", {"C:\\Program Files\\Qorvex\\"}},
      {"\"C:\\Program Files\\Qorvex\\Uninst.exe\" /x", {"C:\\Program Files\\Qorvex\\"}},
      {"C:\\表\\Uninst.exe", {"C:\\表\\"}},
      {"Uninst.exe", {}},
      {"C:\\Uninst.exe", {}},           // a drive root is never a product directory
      {"Program\\Uninst.exe", {}},      // nor a relative path
      {"C:\\QX\\..\\Uninst.exe", {}},
      {"\\\\server\\share\\Uninst.exe", {}},
      {"\\\\server\\share\\QX\\Uninst.exe", {"\\\\server\\share\\QX\\"}},
      {nullptr, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.uninstall ? c.uninstall : "(none)");
    RunFixture run;
    run.machine.AddKey(kUninstall);
    if (c.uninstall) run.machine.SetString(kUninstall, "UninstallString", c.uninstall);
    EXPECT_EQ(run.doc.FindProductDirFromUninstallEntry(), c.productDirs.empty() ? 0 : 1);
    EXPECT_EQ(run.doc.productDirs, c.productDirs);
  }
}

TEST(Discovery, ADirectoryFoundTwiceIsListedAndCountedOnce) {
  RunFixture run;
  run.machine.SetString(kUninstall, "UninstallString", "C:\\QX\\Uninst.exe");
  run.doc.productDirs.push_back("c:\\qx\\");
  EXPECT_EQ(run.doc.FindProductDirFromUninstallEntry(), 0);
  EXPECT_EQ(run.doc.productDirs, StringList{"c:\\qx\\"});
}

TEST(Discovery, SpoolDirectoriesComeFromTheCacheThePrintersAndEachProductDirectory) {
  RunFixture run;
  run.machine.SetString(std::string(kQorvex) + "\\PQS", "CachePath", "C:\\QX\\Cache");
  run.machine.SetString(std::string(kQorvex) + "\\Printers\\B", "PSPOOL", "C:\\QX\\spool");
  run.machine.SetString(std::string(kQorvex) + "\\Printers\\A", "PSPOOL", "C:\\QX\\CACHE\\");
  run.machine.SetString(std::string(kQorvex) + "\\Printers\\C", "PSPOOL", "");
  run.machine.AddKey(std::string(kQorvex) + "\\Printers\\D");
  run.doc.productDirs = {"C:\\QX\\", "D:\\Other\\"};
  EXPECT_EQ(run.doc.FindSpoolDirs(), 3);
  StringList expected = {"C:\\QX\\Cache\\", "C:\\QX\\spool\\", "D:\\Other\\SPOOL\\"};
  EXPECT_EQ(run.doc.spoolDirs, expected);
}

TEST(Discovery, AWholeRunListsTheUninstallDirectoryAndItsSpoolCandidate) {
  RunFixture run;
  run.machine.SetString(kUninstall, "UninstallString", "C:\\QX\\Uninst.exe");
  run.WriteEnvironment("000");
  run.Run();
  EXPECT_EQ(run.doc.productDirCount, 1);
  EXPECT_EQ(run.doc.productDirs, StringList{"C:\\QX\\"});
  EXPECT_EQ(run.doc.spoolDirs, StringList{"C:\\QX\\SPOOL\\"});
  EXPECT_FALSE(run.machine.HasDirectory("C:\\QX\\SPOOL"));
}

}  // namespace
}  // namespace qx::test
