// The fault storm, the power cut and the runaway fuse of the simulated machine: a storm fails
// a seeded share of the calls and changes nothing with them, the same seed fails the same
// calls; a cut keeps exactly what the changing calls before it did; a restart brings the
// power back; a machine.ini fault on a call the machine never sees is refused.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "tests/tools/image_support.h"

namespace qx::sim {
namespace {

HDDEDATA NoCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, DWORD_PTR, DWORD_PTR) { return nullptr; }

class SimStormTest : public ::testing::Test {
 protected:
  // Sets value i of HKLM\SOFTWARE\Q for i in [0, n); the results, in order.
  std::vector<LONG> SetValues(int n) {
    std::vector<LONG> results;
    HKEY k = nullptr;
    EXPECT_EQ(reg.RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Q", nullptr, 0, KEY_ALL_ACCESS, &k, nullptr),
              LONG{ERROR_SUCCESS});
    for (int i = 0; i < n; ++i) {
      std::string name = "v" + std::to_string(i);
      results.push_back(reg.RegSetValueExA(k, name.c_str(), REG_SZ, reinterpret_cast<const BYTE*>("x"), 2));
    }
    reg.RegCloseKey(k);
    return results;
  }
  SimMachine m;
  Registry& reg = m.platform().registry;
  Files& files = m.platform().files;
  System& sys = m.platform().system;
};

TEST_F(SimStormTest, TheSameSeedFailsTheSameCallsAndAnotherSeedOthers) {
  auto failures = [](std::uint64_t seed) {
    SimMachine machine;
    machine.SetFaultStorm({seed, 20});
    Files& f = machine.platform().files;
    for (int i = 0; i < 200; ++i) f.DeleteFileA(("C:\\f" + std::to_string(i)).c_str());
    std::vector<std::string> out;
    for (const PlatformCall& c : machine.StormFailures())
      out.push_back(std::to_string(c.index) + " " + c.call + " " + c.object + " " + std::to_string(c.error));
    return out;
  };
  std::vector<std::string> first = failures(7);
  EXPECT_EQ(failures(7), first);
  EXPECT_NE(failures(8), first);
  // About a fifth of the calls failed.
  EXPECT_GT(first.size(), 20u);
  EXPECT_LT(first.size(), 60u);
}

// A failed call changes nothing, and a deletion never pretends that the object is already
// gone (the caller would take the work as done).
TEST_F(SimStormTest, EveryStormedCallFailsAndChangesNothing) {
  for (int i = 0; i < 50; ++i) m.AddFile("C:\\D\\f" + std::to_string(i), "x");
  const std::size_t filesBefore = m.AllFiles().size();
  HKEY k = nullptr;
  ASSERT_EQ(reg.RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Q", nullptr, 0, KEY_ALL_ACCESS, &k, nullptr),
            LONG{ERROR_SUCCESS});
  m.SetFaultStorm({1, 100});
  std::set<DWORD> errors;
  for (int i = 0; i < 50; ++i) {
    EXPECT_FALSE(files.DeleteFileA(("C:\\D\\f" + std::to_string(i)).c_str()));
    errors.insert(sys.GetLastError());
  }
  for (int i = 0; i < 20; ++i) {
    EXPECT_NE(reg.RegSetValueExA(k, "v", REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), LONG{ERROR_SUCCESS});
    EXPECT_NE(reg.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Q"), LONG{ERROR_SUCCESS});
  }
  EXPECT_EQ(m.AllFiles().size(), filesBefore);
  EXPECT_TRUE(m.HasKey("HKLM\\SOFTWARE\\Q"));
  EXPECT_TRUE(m.Values("HKLM\\SOFTWARE\\Q").empty());
  EXPECT_FALSE(errors.count(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(errors.count(ERROR_PATH_NOT_FOUND));
  EXPECT_GT(errors.size(), 1u);  // the errors vary
  // The failures are recorded with their objects.
  std::vector<PlatformCall> failed = m.StormFailures();
  ASSERT_FALSE(failed.empty());
  EXPECT_EQ(failed.front().call, "DeleteFileA");
  EXPECT_EQ(failed.front().object, "C:\\D\\f0");

  // Calls that do not fail on a working system are spared.
  OSVERSIONINFOA info;
  info.dwOSVersionInfoSize = 148;
  EXPECT_TRUE(sys.GetVersionExA(info));
  m.SetFaultStorm({});
  EXPECT_TRUE(files.DeleteFileA("C:\\D\\f0"));
  reg.RegCloseKey(k);
}

TEST_F(SimStormTest, ACutKeepsExactlyWhatTheCallsBeforeItDid) {
  m.AddFile("C:\\keep.txt", "k");
  m.CutAfter(3);  // RegCreateKeyExA, then two values
  std::vector<LONG> results = SetValues(4);
  EXPECT_EQ(results, (std::vector<LONG>{ERROR_SUCCESS, ERROR_SUCCESS, ERROR_NOT_READY, ERROR_NOT_READY}));
  EXPECT_TRUE(m.PoweredOff());
  EXPECT_EQ(m.Values("HKLM\\SOFTWARE\\Q").size(), 2u);
  EXPECT_FALSE(files.DeleteFileA("C:\\keep.txt"));
  EXPECT_EQ(sys.GetLastError(), ERROR_NOT_READY);
  EXPECT_TRUE(m.HasFile("C:\\keep.txt"));
  // Reading goes on.
  HANDLE h = files.CreateFileA("C:\\keep.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  files.CloseHandle(h);
  EXPECT_EQ(files.CreateFileA("C:\\new.txt", GENERIC_WRITE, 0, CREATE_ALWAYS, 0), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(m.HasFile("C:\\new.txt"));

  ASSERT_TRUE(m.CutCall());
  EXPECT_EQ(m.CutCall()->call, "RegSetValueExA");
  EXPECT_EQ(m.CutCall()->object, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Q");
  EXPECT_EQ(m.ChangingCalls(), 3u);

  m.Reboot();
  EXPECT_FALSE(m.PoweredOff());
  EXPECT_EQ(m.ChangingCalls(), 0u);
  EXPECT_TRUE(files.DeleteFileA("C:\\keep.txt"));
  EXPECT_EQ(m.ChangingCalls(), 1u);
}

// Opening what exists changes nothing; creating does. A call that a fault failed did nothing.
TEST_F(SimStormTest, OnlyCallsThatCanChangeTheMachineCount) {
  m.AddFile("C:\\a.txt", "a");
  HANDLE h = files.CreateFileA("C:\\a.txt", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, 0);
  files.CloseHandle(h);
  EXPECT_EQ(m.ChangingCalls(), 0u);
  h = files.CreateFileA("C:\\b.txt", GENERIC_WRITE, 0, CREATE_ALWAYS, 0);
  files.CloseHandle(h);
  EXPECT_EQ(m.ChangingCalls(), 1u);
  m.AddFault({"DeleteFileA", "", 0, ERROR_ACCESS_DENIED});
  EXPECT_FALSE(files.DeleteFileA("C:\\a.txt"));
  EXPECT_EQ(m.ChangingCalls(), 1u);
  ASSERT_EQ(m.ChangingCallLog().size(), 1u);
  EXPECT_EQ(m.ChangingCallLog()[0].call, "CreateFileA");
  EXPECT_EQ(m.ChangingCallLog()[0].object, "C:\\b.txt");
}

// After the cut Program Manager carries out nothing and a component unregisters nothing:
// each fails the way its interface reports failures.
TEST_F(SimStormTest, ACutStopsProgramManagerAndComponentsToo) {
  const std::string programs = "C:\\WINNT\\Profiles\\" + m.settings().currentUser + "\\スタート メニュー\\プログラム\\";
  m.AddDirectory(programs + "Qorvex");
  m.AddFile("C:\\Q\\A.DLL", "MZ");
  ModuleSpec spec;
  spec.path = "C:\\Q\\A.DLL";
  spec.kind = ModuleSpec::Kind::kComponent;
  m.AddModule(spec);
  m.SetString("HKEY_CLASSES_ROOT\\CLSID\\{A}\\InprocServer32", "", "C:\\Q\\A.DLL");
  Platform& p = m.platform();

  m.CutAfter(0);
  DWORD instance = 0;
  ASSERT_EQ(p.dde.DdeInitializeA(&instance, NoCallback, APPCMD_CLIENTONLY, 0), DMLERR_NO_ERROR);
  HSZ progman = p.dde.DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI);
  HCONV conv = p.dde.DdeConnect(instance, progman, progman, nullptr);
  ASSERT_NE(conv, nullptr);
  const std::string command = "[DeleteGroup(Qorvex)]";
  EXPECT_EQ(p.dde.DdeClientTransaction(reinterpret_cast<const BYTE*>(command.c_str()),
                                       static_cast<DWORD>(command.size() + 1), conv, nullptr, 0, XTYP_EXECUTE, 1000,
                                       nullptr),
            nullptr);
  EXPECT_EQ(p.dde.DdeGetLastError(instance), DMLERR_SYS_ERROR);
  EXPECT_TRUE(m.HasDirectory(programs + "Qorvex"));
  EXPECT_TRUE(m.DdeCommands().empty());
  p.dde.DdeDisconnect(conv);
  p.dde.DdeUninitialize(instance);

  HMODULE a = p.modules.LoadLibraryA("C:\\Q\\A.DLL");
  EXPECT_EQ(p.modules.DllUnregisterServer(p.modules.GetProcAddress(a, "DllUnregisterServer")),
            HResultFromWin32(ERROR_NOT_READY));
  EXPECT_TRUE(m.HasKey("HKEY_CLASSES_ROOT\\CLSID\\{A}"));
  p.modules.FreeLibrary(a);
}

DWORD CallForever(void* argument) {
  Registry& reg = *static_cast<Registry*>(argument);
  for (;;) {
    HKEY k = nullptr;
    if (reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &k) == ERROR_SUCCESS) reg.RegCloseKey(k);
  }
}

TEST_F(SimStormTest, TheFuseEndsAThreadThatNeverStops) {
  m.SetRunawayLimit(1000);
  HANDLE thread = sys.CreateThread(CallForever, &reg);
  ASSERT_NE(thread, nullptr);
  m.JoinThreads();
  EXPECT_TRUE(m.RanAway());
  sys.CloseHandle(thread);
}

TEST(SimStormImage, AFaultOnACallTheMachineNeverSeesIsRefused) {
  test::TestImage image("[Faults]\nDeleteFileA=0,5\nSleep=3,5\n");
  SimMachine m;
  EXPECT_EQ(image.LoadInto(m), "machine.ini:3: 'Sleep' is not a call of the simulated machine");
}

}  // namespace
}  // namespace qx::sim
