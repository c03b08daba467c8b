// The simulated restart calls: NT restarts only for a process that enabled the shutdown
// privilege in its own token; Windows 95/98 has no tokens and needs none.
#include <gtest/gtest.h>

#include "platform/sim/sim_machine.h"

namespace qx::sim {
namespace {

// Enables the privilege named in a token opened with access; the call's result and last error.
std::pair<BOOL, DWORD> Enable(SimMachine& m, DWORD access, DWORD luidLow) {
  Shutdown& s = m.platform().shutdown;
  HANDLE token = nullptr;
  EXPECT_TRUE(s.OpenProcessToken(access, &token));
  TOKEN_PRIVILEGES state;
  state.Privileges.push_back({LUID{luidLow, 0}, SE_PRIVILEGE_ENABLED});
  BOOL ok = s.AdjustTokenPrivileges(token, FALSE, &state);
  DWORD error = m.platform().system.GetLastError();
  EXPECT_TRUE(s.CloseHandle(token));
  return {ok, error};
}

TEST(SimShutdown, NtRestartsOnlyWithTheShutdownPrivilegeEnabled) {
  SimMachine m;
  Shutdown& s = m.platform().shutdown;
  EXPECT_FALSE(s.ExitWindowsEx(EWX_REBOOT, 0));
  EXPECT_EQ(m.platform().system.GetLastError(), ERROR_PRIVILEGE_NOT_HELD);

  LUID luid;
  ASSERT_TRUE(s.LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &luid));
  EXPECT_FALSE(s.LookupPrivilegeValueA(nullptr, "SeNoSuchPrivilege", &luid));
  EXPECT_EQ(m.platform().system.GetLastError(), ERROR_NO_SUCH_PRIVILEGE);

  // Without TOKEN_ADJUST_PRIVILEGES nothing changes; an unknown privilege is not assigned.
  EXPECT_EQ(Enable(m, TOKEN_QUERY, luid.LowPart), std::make_pair(FALSE, ERROR_ACCESS_DENIED));
  EXPECT_EQ(Enable(m, TOKEN_ADJUST_PRIVILEGES, 9999), std::make_pair(TRUE, ERROR_NOT_ALL_ASSIGNED));
  EXPECT_FALSE(s.ExitWindowsEx(EWX_REBOOT, 0));
  EXPECT_TRUE(m.ShutdownRequests().empty());

  EXPECT_EQ(Enable(m, TOKEN_ADJUST_PRIVILEGES, luid.LowPart), std::make_pair(TRUE, ERROR_SUCCESS));
  EXPECT_TRUE(s.ExitWindowsEx(EWX_REBOOT, 0));
  EXPECT_TRUE(m.RestartRequested());

  // After the restart the program's process and its enabled privilege are gone.
  m.Reboot();
  EXPECT_FALSE(s.ExitWindowsEx(EWX_REBOOT, 0));
  EXPECT_EQ(m.ShutdownRequests().size(), 1u);
}

TEST(SimShutdown, Windows98HasNoTokensAndRestartsForAnyProgram) {
  SimMachine m;
  m.settings().platformId = VER_PLATFORM_WIN32_WINDOWS;
  Shutdown& s = m.platform().shutdown;
  HANDLE token = reinterpret_cast<HANDLE>(1);
  EXPECT_FALSE(s.OpenProcessToken(TOKEN_ADJUST_PRIVILEGES, &token));
  EXPECT_EQ(token, nullptr);
  EXPECT_EQ(m.platform().system.GetLastError(), ERROR_CALL_NOT_IMPLEMENTED);
  EXPECT_TRUE(s.ExitWindowsEx(EWX_REBOOT, 0));
  ASSERT_EQ(m.ShutdownRequests().size(), 1u);
  EXPECT_EQ(m.ShutdownRequests()[0].flags, EWX_REBOOT);
}

}  // namespace
}  // namespace qx::sim
