// Restarting Windows: the shutdown privilege of the program's own token, ExitWindowsEx, and
// InitiateSystemShutdownExA, which only Windows 2000 and later export from ADVAPI32.DLL and
// which is therefore called through an entry point found with the Modules facet.
#pragma once
#include <vector>

#include "platform/modules.h"
#include "platform/types.h"

namespace qx {

struct LUID {
  DWORD LowPart = 0;
  LONG HighPart = 0;
};

struct LUID_AND_ATTRIBUTES {
  LUID Luid;
  DWORD Attributes = 0;
};

// PrivilegeCount is the size of Privileges.
struct TOKEN_PRIVILEGES {
  std::vector<LUID_AND_ATTRIBUTES> Privileges;
};

inline constexpr DWORD TOKEN_ADJUST_PRIVILEGES = 0x0020;
inline constexpr DWORD TOKEN_QUERY = 0x0008;
inline constexpr DWORD SE_PRIVILEGE_ENABLED = 0x00000002;
inline constexpr const char* SE_SHUTDOWN_NAME = "SeShutdownPrivilege";

inline constexpr UINT EWX_LOGOFF = 0x00000000;
inline constexpr UINT EWX_SHUTDOWN = 0x00000001;
inline constexpr UINT EWX_REBOOT = 0x00000002;
inline constexpr UINT EWX_FORCE = 0x00000004;
inline constexpr UINT EWX_POWEROFF = 0x00000008;

// Shutdown reasons (planned, software, reconfiguration: 0x80030004).
inline constexpr DWORD SHTDN_REASON_FLAG_PLANNED = 0x80000000u;
inline constexpr DWORD SHTDN_REASON_MAJOR_SOFTWARE = 0x00030000;
inline constexpr DWORD SHTDN_REASON_MINOR_RECONFIG = 0x00000004;

inline constexpr DWORD ERROR_NOT_ALL_ASSIGNED = 1300;
inline constexpr DWORD ERROR_NO_SUCH_PRIVILEGE = 1313;
inline constexpr DWORD ERROR_PRIVILEGE_NOT_HELD = 1314;
inline constexpr DWORD ERROR_SHUTDOWN_IN_PROGRESS = 1115;

class Shutdown {
 public:
  virtual ~Shutdown() = default;
  // The token of the current process.
  virtual BOOL OpenProcessToken(DWORD desiredAccess, HANDLE* token) = 0;
  virtual BOOL LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid) = 0;
  // No previous state is returned. Succeeds with the last error ERROR_NOT_ALL_ASSIGNED when
  // the token lacks a privilege asked for, and ERROR_SUCCESS otherwise, as Windows does.
  virtual BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, const TOKEN_PRIVILEGES* newState) = 0;
  virtual BOOL CloseHandle(HANDLE token) = 0;
  virtual BOOL ExitWindowsEx(UINT flags, DWORD reason) = 0;
  // entry: "InitiateSystemShutdownExA" of ADVAPI32.DLL, as GetProcAddress found it.
  // machineName null: this machine.
  virtual BOOL InitiateSystemShutdownExA(FARPROC entry, const char* machineName, const char* message,
                                         DWORD timeoutSeconds, BOOL forceAppsClosed,
                                         BOOL rebootAfterShutdown, DWORD reason) = 0;
};

}  // namespace qx
