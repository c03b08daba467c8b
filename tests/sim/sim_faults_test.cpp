// Injected faults: per object and per n-th call, each failing the way the call fails on
// Windows and changing nothing.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace qx::sim {
namespace {

class SimFaultsTest : public ::testing::Test {
 protected:
  SimMachine m;
  Registry& reg = m.platform().registry;
  Files& files = m.platform().files;
  System& sys = m.platform().system;
};

TEST_F(SimFaultsTest, AKeyFaultHitsThatKeyOnlyWhicheverWayItIsNamed) {
  m.AddKey("HKCU\\Software\\ZOV\\Keep");
  m.AddKey("HKCU\\Software\\ZOV\\Other");
  m.AddFault({"RegDeleteKeyA", "HKEY_CURRENT_USER\\Software\\ZOV\\Keep", 0, ERROR_ACCESS_DENIED});
  HKEY zov = nullptr;
  ASSERT_EQ(reg.RegOpenKeyExA(HKEY_USERS, (m.settings().currentUser + "\\software\\zov").c_str(), 0, KEY_ALL_ACCESS, &zov),
            LONG{ERROR_SUCCESS});
  EXPECT_EQ(reg.RegDeleteKeyA(zov, "KEEP"), LONG{ERROR_ACCESS_DENIED});
  EXPECT_EQ(reg.RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\ZOV\\Keep"), LONG{ERROR_ACCESS_DENIED});
  EXPECT_EQ(reg.RegDeleteKeyA(zov, "Other"), LONG{ERROR_SUCCESS});
  EXPECT_TRUE(m.HasKey("HKCU\\Software\\ZOV\\Keep"));
  EXPECT_FALSE(m.HasKey("HKCU\\Software\\ZOV\\Other"));
  reg.RegCloseKey(zov);
}

TEST_F(SimFaultsTest, TheNthMatchingCallFailsAndNoOther) {
  m.AddFault({"RegSetValueExA", "", 2, ERROR_CANTWRITE});
  HKEY k = nullptr;
  ASSERT_EQ(reg.RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Q", nullptr, 0, KEY_ALL_ACCESS, &k, nullptr),
            LONG{ERROR_SUCCESS});
  const BYTE one[] = "1";
  EXPECT_EQ(reg.RegSetValueExA(k, "a", REG_SZ, one, 2), LONG{ERROR_SUCCESS});
  EXPECT_EQ(reg.RegSetValueExA(k, "b", REG_SZ, one, 2), LONG{ERROR_CANTWRITE});
  EXPECT_EQ(reg.RegSetValueExA(k, "c", REG_SZ, one, 2), LONG{ERROR_SUCCESS});
  reg.RegCloseKey(k);
  ASSERT_EQ(m.Values("HKLM\\SOFTWARE\\Q").size(), 2u);
  EXPECT_FALSE(m.Value("HKLM\\SOFTWARE\\Q", "b"));
}

// A handle-based call is matched by the file the handle was opened on.
TEST_F(SimFaultsTest, AFileFaultFollowsTheFileThroughItsHandle) {
  m.AddFile("C:\\TEMP\\QXErs.log", "");
  m.AddFile("C:\\TEMP\\other.log", "");
  m.AddFault({"WriteFile", "c:\\temp\\qxers.LOG", 0, ERROR_WRITE_PROTECT});
  for (const char* name : {"C:\\TEMP\\QXErs.log", "C:\\TEMP\\other.log"}) {
    HANDLE h = files.CreateFileA(name, GENERIC_WRITE, 0, OPEN_EXISTING, 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 99;
    BOOL ok = files.WriteFile(h, "line", 4, &written);
    bool faulted = std::string(name) == "C:\\TEMP\\QXErs.log";
    EXPECT_EQ(ok, faulted ? FALSE : TRUE) << name;
    EXPECT_EQ(written, faulted ? 0u : 4u) << name;
    if (faulted) {
      EXPECT_EQ(sys.GetLastError(), ERROR_WRITE_PROTECT);
    }
    files.CloseHandle(h);
  }
  EXPECT_EQ(m.File("C:\\TEMP\\QXErs.log")->contents, "");
  EXPECT_EQ(m.File("C:\\TEMP\\other.log")->contents, "line");
}

TEST_F(SimFaultsTest, FaultedCallsReturnTheirCallsFailureValueAndSetTheError) {
  m.AddFile("C:\\x.txt", "x");
  m.AddWindow("Cls", "T", nullptr);
  char buf[MAX_PATH];
  WIN32_FIND_DATAA d;
  Platform& p = m.platform();
  struct Case {
    const char* call;
    std::function<bool()> failed;  // the call returned its failure value
  };
  const std::vector<Case> cases = {
      {"CreateFileA", [&] { return p.files.CreateFileA("C:\\x.txt", GENERIC_READ, 0, OPEN_EXISTING, 0) == INVALID_HANDLE_VALUE; }},
      {"DeleteFileA", [&] { return !p.files.DeleteFileA("C:\\x.txt"); }},
      {"FindFirstFileA", [&] { return p.files.FindFirstFileA("C:\\*", d) == INVALID_HANDLE_VALUE; }},
      {"GetShortPathNameA", [&] { return p.files.GetShortPathNameA("C:\\x.txt", buf, sizeof buf) == 0; }},
      {"OpenSCManagerA", [&] { return p.services.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS) == nullptr; }},
      {"CreateEventA", [&] { return p.system.CreateEventA(TRUE, FALSE, "E") == nullptr; }},
      {"GetWindowsDirectoryA", [&] { return p.system.GetWindowsDirectoryA(buf, sizeof buf) == 0; }},
      {"FindWindowA", [&] { return p.windows.FindWindowA("Cls", nullptr) == nullptr; }},
      {"SendMessageA", [&] { return p.windows.SendMessageA(p.windows.FindWindowA("Cls", nullptr), WM_USER, 0, 0) == 0; }},
      {"WritePrivateProfileStringA", [&] { return !p.profile.WritePrivateProfileStringA("s", "k", "v", "C:\\a.ini"); }},
  };
  for (const auto& c : cases) {
    m.AddFault({c.call, "", 1, ERROR_NOT_READY});
    sys.SetLastError(0);
    EXPECT_TRUE(c.failed()) << c.call;
    EXPECT_EQ(sys.GetLastError(), ERROR_NOT_READY) << c.call;
  }
  // Nothing was done by the failed calls.
  EXPECT_TRUE(m.HasFile("C:\\x.txt"));
  EXPECT_FALSE(m.HasFile("C:\\a.ini"));
  EXPECT_FALSE(m.EventExists("E"));
  EXPECT_TRUE(m.Messages(p.windows.FindWindowA("Cls", nullptr)).empty());
}

}  // namespace
}  // namespace qx::sim
