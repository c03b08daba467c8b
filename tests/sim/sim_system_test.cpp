// The simulated system: version and directories from the settings, the virtual clock,
// last error per thread, named events and threads.
#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace qx::sim {
namespace {

class SimSystemTest : public ::testing::Test {
 protected:
  SimMachine m;
  System& sys = m.platform().system;
};

TEST_F(SimSystemTest, VersionComesFromTheSettingsAndTheRecordSizeIsChecked) {
  m.settings().platformId = VER_PLATFORM_WIN32_WINDOWS;
  m.settings().majorVersion = 4;
  m.settings().minorVersion = 10;
  m.settings().buildNumber = 0x040A08AE;
  m.settings().csdVersion = " A ";
  OSVERSIONINFOA v;
  ASSERT_TRUE(sys.GetVersionExA(v));
  EXPECT_EQ(v.dwPlatformId, VER_PLATFORM_WIN32_WINDOWS);
  EXPECT_EQ(v.dwMinorVersion, 10u);
  EXPECT_EQ(v.dwBuildNumber, 0x040A08AEu);
  EXPECT_EQ(v.szCSDVersion, " A ");
  for (DWORD size : {0u, 147u, 152u, 160u}) {
    OSVERSIONINFOA bad;
    bad.dwOSVersionInfoSize = size;
    EXPECT_FALSE(sys.GetVersionExA(bad)) << size;
    EXPECT_EQ(sys.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(bad.dwMajorVersion, 0u);
  }
  OSVERSIONINFOA ex;
  ex.dwOSVersionInfoSize = 156;
  EXPECT_TRUE(sys.GetVersionExA(ex));
}

// Each directory call: the length without the zero when it fits, else the size needed with it.
TEST_F(SimSystemTest, DirectoryCallsFollowTheBufferRule) {
  m.settings().windowsDirectory = "C:\\WINNT";
  m.settings().tempPath = "C:\\TEMP";  // GetTempPathA always ends it with a backslash
  char buf[16];
  EXPECT_EQ(sys.GetWindowsDirectoryA(buf, sizeof buf), 8u);
  EXPECT_STREQ(buf, "C:\\WINNT");
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(sys.GetWindowsDirectoryA(buf, 8), 9u);
  EXPECT_EQ(buf[0], '#');  // untouched
  EXPECT_EQ(sys.GetTempPathA(sizeof buf, buf), 8u);
  EXPECT_STREQ(buf, "C:\\TEMP\\");
  EXPECT_EQ(sys.GetTempPathA(0, nullptr), 9u);
}

TEST_F(SimSystemTest, SleepAdvancesTheVirtualClockWithoutRealTime) {
  m.settings().localTime = SYSTEMTIME{2003, 12, 3, 31, 23, 59, 30, 500};
  std::timespec start{}, end{};
  std::timespec_get(&start, TIME_UTC);
  sys.Sleep(30000);
  sys.Sleep(3600000);
  std::timespec_get(&end, TIME_UTC);
  EXPECT_LT(end.tv_sec - start.tv_sec, 2);
  EXPECT_EQ(m.ElapsedMs(), 3630000u);
  SYSTEMTIME t;
  sys.GetLocalTime(t);
  // 2003-12-31 23:59:30.500 plus an hour and a half minute: 2004-01-01 01:00:00.500, a Thursday.
  EXPECT_EQ(t.wYear, 2004);
  EXPECT_EQ(t.wMonth, 1);
  EXPECT_EQ(t.wDay, 1);
  EXPECT_EQ(t.wDayOfWeek, 4);
  EXPECT_EQ(t.wHour, 1);
  EXPECT_EQ(t.wMinute, 0);
  EXPECT_EQ(t.wSecond, 0);
  EXPECT_EQ(t.wMilliseconds, 500);
}

TEST_F(SimSystemTest, LastErrorBelongsToEachThread) {
  sys.SetLastError(ERROR_ACCESS_DENIED);
  std::atomic<DWORD> seenAtStart{99}, seenAfter{0};
  struct Arg {
    System* sys;
    std::atomic<DWORD>* start;
    std::atomic<DWORD>* after;
  } arg{&sys, &seenAtStart, &seenAfter};
  HANDLE t = sys.CreateThread(
      [](void* p) -> DWORD {
        auto* a = static_cast<Arg*>(p);
        *a->start = a->sys->GetLastError();
        a->sys->SetLastError(ERROR_FILE_NOT_FOUND);
        *a->after = a->sys->GetLastError();
        return 0;
      },
      &arg);
  ASSERT_NE(t, nullptr);
  m.JoinThreads();
  EXPECT_EQ(seenAtStart, ERROR_SUCCESS);
  EXPECT_EQ(seenAfter, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(sys.GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(sys.CloseHandle(t));
}

TEST_F(SimSystemTest, NamedEventsAreSharedByNameAndGoWithTheirLastHandle) {
  HANDLE first = sys.CreateEventA(TRUE, FALSE, "Qorvex::QXErs");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(sys.GetLastError(), ERROR_SUCCESS);
  HANDLE second = sys.CreateEventA(TRUE, FALSE, "Qorvex::QXErs");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(sys.GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_NE(first, second);
  // Names are case-sensitive, as kernel object names are.
  EXPECT_EQ(sys.OpenEventA(EVENT_ALL_ACCESS, FALSE, "qorvex::qxers"), nullptr);
  EXPECT_EQ(sys.GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(sys.SetEvent(second));
  EXPECT_TRUE(m.EventSignaled("Qorvex::QXErs"));
  EXPECT_TRUE(sys.CloseHandle(first));
  EXPECT_TRUE(m.EventExists("Qorvex::QXErs"));
  EXPECT_TRUE(sys.CloseHandle(second));
  EXPECT_FALSE(m.EventExists("Qorvex::QXErs"));
  EXPECT_FALSE(sys.SetEvent(second));
  EXPECT_EQ(sys.GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(SimSystemTest, AnEventAnotherProgramHoldsStaysAfterTheEngineCloses) {
  m.AddEvent("ZOVSRM:TerminateManager");
  HANDLE h = sys.OpenEventA(EVENT_MODIFY_STATE, FALSE, "ZOVSRM:TerminateManager");
  ASSERT_NE(h, nullptr);
  EXPECT_FALSE(m.EventSignaled("ZOVSRM:TerminateManager"));
  EXPECT_TRUE(sys.SetEvent(h));
  EXPECT_TRUE(sys.CloseHandle(h));
  EXPECT_TRUE(m.EventExists("ZOVSRM:TerminateManager"));
  EXPECT_TRUE(m.EventSignaled("ZOVSRM:TerminateManager"));
}

TEST_F(SimSystemTest, ThreadsRunForRealAndAreJoined) {
  static std::atomic<int> runs{0};
  runs = 0;
  for (int i = 0; i < 3; ++i) {
    HANDLE t = sys.CreateThread(
        [](void* p) -> DWORD {
          static_cast<System*>(p)->Sleep(1000);
          ++runs;
          return 0;
        },
        &sys);
    ASSERT_NE(t, nullptr);
    sys.CloseHandle(t);  // closing the handle does not stop the thread
  }
  m.JoinThreads();
  EXPECT_EQ(runs, 3);
  EXPECT_EQ(m.ElapsedMs(), 3000u);
}

TEST_F(SimSystemTest, ModuleFileNameIsCutWithoutTerminatorWhenTheBufferIsShort) {
  m.settings().moduleFileName = "C:\\QXErs\\QXErs.exe";
  char buf[32];
  EXPECT_EQ(sys.GetModuleFileNameA(buf, sizeof buf), 18u);
  EXPECT_STREQ(buf, "C:\\QXErs\\QXErs.exe");
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(sys.GetModuleFileNameA(buf, 5), 5u);
  EXPECT_EQ(std::string(buf, 6), "C:\\QX#");
  EXPECT_EQ(sys.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

// Windows always has its directories; a machine gets those its settings name when the engine
// first takes the facets, and nothing else.
TEST(SimMachineDirectories, TheSettingsDirectoriesExistOnceTheFacetsAreTaken) {
  SimMachine m;
  m.settings().windowsDirectory = "C:\\WINDOWS";
  m.settings().systemDirectory = "C:\\WINDOWS\\SYSTEM";
  m.settings().tempPath = "C:\\WINDOWS\\TEMP\\";
  m.settings().moduleFileName = "D:\\SETUP\\QXErs.exe";
  EXPECT_TRUE(m.AllFiles().empty());
  m.platform();
  std::vector<std::string> paths;
  for (const auto& f : m.AllFiles()) paths.push_back(f.path);
  EXPECT_EQ(paths, (std::vector<std::string>{"C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS\\TEMP", "D:\\SETUP"}));
  char cwd[MAX_PATH];
  EXPECT_EQ(m.platform().files.GetCurrentDirectoryA(sizeof cwd, cwd), 8u);
  EXPECT_STREQ(cwd, "D:\\SETUP");
}

}  // namespace
}  // namespace qx::sim
