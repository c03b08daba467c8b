// The restart of the simulated machine: pending renames and deletions on NT, WININIT.INI on
// Windows 95/98, services as their start type says, every hold on files ended.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace qx::sim {
namespace {

constexpr const char* kSessionManager = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr const char* kServices = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\";

std::string Multi(const std::vector<std::string>& items) {
  std::string data;
  for (const std::string& i : items) data += i + '\0';
  return data + '\0';
}

// Every file and directory of the machine with its contents, to compare whole trees.
std::vector<std::string> Tree(const SimMachine& m) {
  std::vector<std::string> out;
  for (const FileEntry& f : m.AllFiles()) out.push_back(f.path + (f.directory ? "\\" : "=" + f.contents));
  return out;
}

TEST(SimReboot, PendingOperationsAreCarriedOutAsTheSessionManagerDoes) {
  struct Case {
    const char* name;
    std::vector<std::string> pending;  // source, target pairs
    std::vector<std::string> after;    // the tree below C:\Q afterwards
  };
  const std::vector<std::string> all = {"C:\\Q\\A.DLL=a", "C:\\Q\\Empty\\", "C:\\Q\\Full\\", "C:\\Q\\Full\\F.TXT=f",
                                        "C:\\Q\\Long Name.dll=l", "C:\\Q\\RO.DLL=r"};
  for (const Case& c : {
           Case{"delete a file", {"\\??\\C:\\Q\\A.DLL", ""},
                {"C:\\Q\\Empty\\", "C:\\Q\\Full\\", "C:\\Q\\Full\\F.TXT=f", "C:\\Q\\Long Name.dll=l", "C:\\Q\\RO.DLL=r"}},
           Case{"delete by short name", {"\\??\\C:\\Q\\LONGNA~1.DLL", ""},
                {"C:\\Q\\A.DLL=a", "C:\\Q\\Empty\\", "C:\\Q\\Full\\", "C:\\Q\\Full\\F.TXT=f", "C:\\Q\\RO.DLL=r"}},
           Case{"a read-only file stays", {"\\??\\C:\\Q\\RO.DLL", ""}, all},
           Case{"an empty directory goes", {"\\??\\C:\\Q\\Empty", ""},
                {"C:\\Q\\A.DLL=a", "C:\\Q\\Full\\", "C:\\Q\\Full\\F.TXT=f", "C:\\Q\\Long Name.dll=l", "C:\\Q\\RO.DLL=r"}},
           Case{"a directory with files stays", {"\\??\\C:\\Q\\Full", ""}, all},
           Case{"a missing file is passed over", {"\\??\\C:\\Q\\NONE.DLL", "", "\\??\\C:\\Q\\A.DLL", ""},
                {"C:\\Q\\Empty\\", "C:\\Q\\Full\\", "C:\\Q\\Full\\F.TXT=f", "C:\\Q\\Long Name.dll=l", "C:\\Q\\RO.DLL=r"}},
           Case{"rename to a free name", {"\\??\\C:\\Q\\A.DLL", "\\??\\C:\\Q\\Empty\\B.DLL"},
                {"C:\\Q\\Empty\\", "C:\\Q\\Empty\\B.DLL=a", "C:\\Q\\Full\\", "C:\\Q\\Full\\F.TXT=f",
                 "C:\\Q\\Long Name.dll=l", "C:\\Q\\RO.DLL=r"}},
           Case{"rename onto a file without ! is passed over", {"\\??\\C:\\Q\\A.DLL", "\\??\\C:\\Q\\Full\\F.TXT"}, all},
           Case{"rename onto a file with ! replaces it", {"\\??\\C:\\Q\\A.DLL", "!\\??\\C:\\Q\\Full\\F.TXT"},
                {"C:\\Q\\Empty\\", "C:\\Q\\Full\\", "C:\\Q\\Full\\F.TXT=a", "C:\\Q\\Long Name.dll=l", "C:\\Q\\RO.DLL=r"}},
           Case{"in order: a rename then the deletion of its result",
                {"\\??\\C:\\Q\\A.DLL", "\\??\\C:\\Q\\B.DLL", "\\??\\C:\\Q\\B.DLL", ""},
                {"C:\\Q\\Empty\\", "C:\\Q\\Full\\", "C:\\Q\\Full\\F.TXT=f", "C:\\Q\\Long Name.dll=l", "C:\\Q\\RO.DLL=r"}},
       }) {
    SCOPED_TRACE(c.name);
    SimMachine m;
    m.AddFile("C:\\Q\\A.DLL", "a");
    m.AddFile("C:\\Q\\Long Name.dll", "l");
    m.AddFile("C:\\Q\\RO.DLL", "r", FILE_ATTRIBUTE_READONLY);
    m.AddDirectory("C:\\Q\\Empty");
    m.AddFile("C:\\Q\\Full\\F.TXT", "f");
    m.SetValue(kSessionManager, "PendingFileRenameOperations", REG_MULTI_SZ, Multi(c.pending));
    m.SetString(kSessionManager, "BootExecute", "autocheck autochk *");
    m.Reboot();
    std::vector<std::string> tree = Tree(m);
    tree.erase(tree.begin());  // C:\Q itself
    EXPECT_EQ(tree, c.after);
    EXPECT_FALSE(m.Value(kSessionManager, "PendingFileRenameOperations"));
    EXPECT_TRUE(m.Value(kSessionManager, "BootExecute"));
  }
}

TEST(SimReboot, AFileInUseLeftForTheRestartIsGoneAfterIt) {
  SimMachine m;
  Files& files = m.platform().files;
  m.AddFile("C:\\Q\\BUSY.DLL", "x");
  m.SetLocked("C:\\Q\\BUSY.DLL", true);
  EXPECT_FALSE(files.DeleteFileA("C:\\Q\\BUSY.DLL"));
  ASSERT_TRUE(files.MoveFileExA("C:\\Q\\BUSY.DLL", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_TRUE(m.HasFile("C:\\Q\\BUSY.DLL"));
  m.Reboot();
  EXPECT_FALSE(m.HasFile("C:\\Q\\BUSY.DLL"));
  EXPECT_TRUE(m.HasDirectory("C:\\Q"));
  EXPECT_FALSE(m.Value(kSessionManager, "PendingFileRenameOperations"));
}

TEST(SimReboot, Windows9xCarriesOutWininitAndKeepsItAsWininitBak) {
  struct Case {
    const char* name;
    std::string wininit;
    std::vector<std::string> after;  // the tree below C:\Q afterwards
  };
  for (const Case& c : {
           Case{"Nul by short name", "[rename]\r\nNul=C:\\Q\\LONGNA~1.DLL\r\n", {"C:\\Q\\A.DLL=a", "C:\\Q\\RO.DLL=r"}},
           Case{"NUL by long name, several lines",
                "[Rename]\r\nNUL=C:\\Q\\Long Name.dll\r\nnul=C:\\Q\\A.DLL\r\n", {"C:\\Q\\RO.DLL=r"}},
           Case{"a read-only file stays", "[rename]\r\nNUL=C:\\Q\\RO.DLL\r\n",
                {"C:\\Q\\A.DLL=a", "C:\\Q\\Long Name.dll=l", "C:\\Q\\RO.DLL=r"}},
           // WININIT runs before long names exist: the file is named as the line says.
           Case{"DEST=SOURCE renames, replacing", "[rename]\r\nC:\\Q\\LONGNA~1.DLL=C:\\Q\\A.DLL\r\n",
                {"C:\\Q\\LONGNA~1.DLL=a", "C:\\Q\\RO.DLL=r"}},
           Case{"other sections are not carried out", "[other]\r\nNUL=C:\\Q\\A.DLL\r\n[rename]\r\n",
                {"C:\\Q\\A.DLL=a", "C:\\Q\\Long Name.dll=l", "C:\\Q\\RO.DLL=r"}},
       }) {
    SCOPED_TRACE(c.name);
    SimMachine m;
    m.settings().platformId = VER_PLATFORM_WIN32_WINDOWS;
    m.settings().windowsDirectory = "C:\\WINDOWS";
    m.AddFile("C:\\Q\\A.DLL", "a");
    m.AddFile("C:\\Q\\Long Name.dll", "l");
    m.AddFile("C:\\Q\\RO.DLL", "r", FILE_ATTRIBUTE_READONLY);
    m.AddFile("C:\\WINDOWS\\WININIT.INI", c.wininit);
    m.AddFile("C:\\WINDOWS\\WININIT.BAK", "an older one");
    m.Reboot();
    std::vector<std::string> tree;
    for (const FileEntry& f : m.AllFiles())
      if (f.path.rfind("C:\\Q\\", 0) == 0) tree.push_back(f.path + "=" + f.contents);
    EXPECT_EQ(tree, c.after);
    EXPECT_FALSE(m.HasFile("C:\\WINDOWS\\WININIT.INI"));
    ASSERT_TRUE(m.File("C:\\WINDOWS\\WININIT.BAK"));
    EXPECT_EQ(m.File("C:\\WINDOWS\\WININIT.BAK")->contents, c.wininit);
  }
}

TEST(SimReboot, EachSystemUsesOnlyItsOwnList) {
  for (DWORD platform : {VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS}) {
    SCOPED_TRACE(platform);
    SimMachine m;
    m.settings().platformId = platform;
    m.AddFile("C:\\WINNT\\WININIT.INI", "[rename]\r\nNUL=C:\\Q\\BY9X.DLL\r\n");
    m.AddFile("C:\\Q\\BY9X.DLL", "");
    m.AddFile("C:\\Q\\BYNT.DLL", "");
    m.SetValue(kSessionManager, "PendingFileRenameOperations", REG_MULTI_SZ, Multi({"\\??\\C:\\Q\\BYNT.DLL", ""}));
    m.Reboot();
    bool nt = platform == VER_PLATFORM_WIN32_NT;
    EXPECT_EQ(m.HasFile("C:\\Q\\BYNT.DLL"), !nt);
    EXPECT_EQ(m.HasFile("C:\\Q\\BY9X.DLL"), nt);
    EXPECT_EQ(m.HasFile("C:\\WINNT\\WININIT.INI"), nt);
  }
}

TEST(SimReboot, ServicesComeBackAsTheirStartTypeSays) {
  struct Case {
    const char* name;
    DWORD before;
    DWORD start;  // 0xFF: no Start value
    DWORD after;
  };
  const std::vector<Case> cases = {
      {"Boot", SERVICE_STOPPED, 0, SERVICE_RUNNING},        {"System", SERVICE_STOPPED, 1, SERVICE_RUNNING},
      {"Auto", SERVICE_STOPPED, 2, SERVICE_RUNNING},        {"AutoPaused", SERVICE_PAUSED, 2, SERVICE_RUNNING},
      {"Demand", SERVICE_RUNNING, 3, SERVICE_STOPPED},      {"Disabled", SERVICE_RUNNING, 4, SERVICE_STOPPED},
      {"StuckStop", SERVICE_STOP_PENDING, 0xFF, SERVICE_STOPPED},
      {"StuckStart", SERVICE_START_PENDING, 0xFF, SERVICE_RUNNING},
      {"Paused", SERVICE_PAUSED, 0xFF, SERVICE_PAUSED},     {"Running", SERVICE_RUNNING, 0xFF, SERVICE_RUNNING},
  };
  SimMachine m;
  for (const Case& c : cases) {
    m.AddKey(std::string(kServices) + c.name);
    if (c.start != 0xFF) m.SetDword(std::string(kServices) + c.name, "Start", c.start);
    m.SetServiceState(c.name, c.before);
    m.SetServiceBehaviour(c.name, {.neverStops = true, .neverStarts = true});
  }
  m.Reboot();
  for (const Case& c : cases) EXPECT_EQ(m.ServiceState(c.name), c.after) << c.name;
}

TEST(SimReboot, ServicesMarkedForDeletionAreGone) {
  SimMachine m;
  Services& svc = m.platform().services;
  for (const char* name : {"ZOVPMN", "ZOVSDS", "Spooler"}) {
    m.AddKey(std::string(kServices) + name + "\\Parameters");
    m.SetDword(std::string(kServices) + name, "Start", 2);
    m.SetServiceState(name, SERVICE_RUNNING);
  }
  m.SetServiceBehaviour("ZOVSDS", {.neverStops = true});
  SC_HANDLE scm = svc.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE pmn = svc.OpenServiceA(scm, "ZOVPMN", SERVICE_ALL_ACCESS);
  SC_HANDLE sds = svc.OpenServiceA(scm, "ZOVSDS", SERVICE_ALL_ACCESS);
  ASSERT_TRUE(svc.DeleteService(pmn));  // still running, handle still open
  SERVICE_STATUS st;
  ASSERT_TRUE(svc.ControlService(sds, SERVICE_CONTROL_STOP, st));
  ASSERT_TRUE(svc.DeleteService(sds));  // stuck stopping
  svc.CloseServiceHandle(sds);
  // One marked by a setup program on the machine before: only its key says so.
  m.AddKey(std::string(kServices) + "OLDSVC");
  m.SetDword(std::string(kServices) + "OLDSVC", "DeleteFlag", 1);
  m.Reboot();
  EXPECT_FALSE(m.HasKey(std::string(kServices) + "ZOVPMN"));
  EXPECT_FALSE(m.HasKey(std::string(kServices) + "ZOVSDS"));
  EXPECT_FALSE(m.HasKey(std::string(kServices) + "OLDSVC"));
  EXPECT_EQ(m.ServiceState("ZOVPMN"), std::nullopt);
  EXPECT_TRUE(m.HasKey(std::string(kServices) + "Spooler\\Parameters"));
  EXPECT_EQ(m.ServiceState("Spooler"), SERVICE_RUNNING);
  // The handles of the ended program are gone with it.
  EXPECT_FALSE(svc.QueryServiceStatus(pmn, st));
  EXPECT_EQ(m.platform().system.GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(SimReboot, NothingHoldsAFileAfterwardsAndTheClockRunsOn) {
  SimMachine m;
  Files& files = m.platform().files;
  m.AddKey(std::string(kServices) + "Spooler");
  m.SetDword(std::string(kServices) + "Spooler", "Start", 2);
  m.SetServiceState("Spooler", SERVICE_RUNNING);
  m.AddFile("C:\\locked.dll", "l");
  m.AddFile("C:\\spooled.spl", "s");
  m.AddFile("C:\\open.txt", "o");
  m.SetLocked("C:\\locked.dll", true);
  m.SetLockedBy("C:\\spooled.spl", "Spooler");
  HANDLE h = files.CreateFileA("C:\\open.txt", GENERIC_READ, 0, OPEN_EXISTING, 0);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  m.platform().system.Sleep(1500);
  m.Reboot();
  EXPECT_EQ(m.ElapsedMs(), 1500u);
  EXPECT_EQ(m.ServiceState("Spooler"), SERVICE_RUNNING);
  for (const char* f : {"C:\\locked.dll", "C:\\spooled.spl", "C:\\open.txt"}) {
    EXPECT_FALSE(m.File(f)->locked) << f;
    EXPECT_EQ(m.File(f)->lockedBy, "") << f;
    EXPECT_TRUE(files.DeleteFileA(f)) << f;
  }
  EXPECT_FALSE(files.CloseHandle(h));
}

}  // namespace
}  // namespace qx::sim
