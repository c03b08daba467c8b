// Restarting Windows when the run left work for the restart.
#include "app/CQXErsDoc.h"

namespace qx {

namespace {

constexpr const char* kRestartMessage =
    "'Qorvex Eraser'のプリンタソフトウェアの削除処理を完了するために、システムの再起動が実行されました。";
constexpr DWORD kPlannedReconfiguration =
    SHTDN_REASON_FLAG_PLANNED | SHTDN_REASON_MAJOR_SOFTWARE | SHTDN_REASON_MINOR_RECONFIG;

// The shutdown privilege, held by administrators but not enabled, is enabled in the
// program's own token. Windows 95/98 has no tokens: the calls fail there and the restart
// needs no privilege.
void EnableShutdownPrivilege(Shutdown& shutdown) {
  HANDLE token = nullptr;
  if (!shutdown.OpenProcessToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
  LUID_AND_ATTRIBUTES privilege;
  if (shutdown.LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privilege.Luid)) {
    privilege.Attributes = SE_PRIVILEGE_ENABLED;
    TOKEN_PRIVILEGES state;
    state.Privileges.push_back(privilege);
    shutdown.AdjustTokenPrivileges(token, FALSE, &state);
  }
  shutdown.CloseHandle(token);
}

}  // namespace

// What the restart calls return is not looked at: there is nothing left to do either way,
// and the application closes next.
void CQXErsDoc::RestartSystem() {
  Shutdown& shutdown = sys.shutdown;
  if (osType != kWindows2000) {
    EnableShutdownPrivilege(shutdown);
    shutdown.ExitWindowsEx(EWX_REBOOT, 0);
    return;
  }
  // Windows 2000 restarts with a reason for its event log. The library is taken from the
  // system directory by its full path, never found through a searched folder.
  if (systemDir.empty()) return;
  HMODULE advapi = sys.modules.LoadLibraryA((systemDir + "ADVAPI32.DLL").c_str());
  if (!advapi) return;
  if (FARPROC entry = sys.modules.GetProcAddress(advapi, "InitiateSystemShutdownExA")) {
    EnableShutdownPrivilege(shutdown);
    shutdown.InitiateSystemShutdownExA(entry, nullptr, kRestartMessage, 0, FALSE, TRUE, kPlannedReconfiguration);
  }
  sys.modules.FreeLibrary(advapi);
}

}  // namespace qx
