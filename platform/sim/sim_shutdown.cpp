#include "platform/sim/sim_shutdown.h"

#include "platform/sim/sim_state.h"

namespace qx::sim {

namespace {

using Lock = std::lock_guard<MachineMutex>;

constexpr DWORD ERROR_NOACCESS = 998;

// The privileges an administrator's token holds, with the LUIDs Windows gives them.
struct Privilege {
  const char* name;
  DWORD luid;
};
constexpr Privilege kPrivileges[] = {
    {"SeSecurityPrivilege", 8},    {"SeTakeOwnershipPrivilege", 9}, {"SeLoadDriverPrivilege", 10},
    {"SeSystemtimePrivilege", 12}, {"SeBackupPrivilege", 17},       {"SeRestorePrivilege", 18},
    {"SeShutdownPrivilege", 19},   {"SeDebugPrivilege", 20},        {"SeRemoteShutdownPrivilege", 24},
};
constexpr DWORD kShutdownLuid = 19;

const Privilege* PrivilegeNamed(const char* name) {
  for (const Privilege& p : kPrivileges)
    if (name && cp932::EqualNoCase(p.name, name)) return &p;
  return nullptr;
}

bool Held(DWORD luid) {
  for (const Privilege& p : kPrivileges)
    if (p.luid == luid) return true;
  return false;
}

}  // namespace

BOOL ShutdownCore::Fail(DWORD error) {
  s_.SetError(error);
  return FALSE;
}

bool ShutdownCore::Faulted(const char* call) {
  if (auto e = s_.FaultFor(call, {})) {
    s_.SetError(*e);
    return true;
  }
  return false;
}

bool ShutdownCore::NoTokens() const { return s_.settings.platformId == VER_PLATFORM_WIN32_WINDOWS; }

BOOL ShutdownCore::OpenProcessToken(DWORD desiredAccess, HANDLE* token) {
  Lock lock(s_.mu);
  if (token) *token = nullptr;
  if (Faulted("OpenProcessToken")) return FALSE;
  if (NoTokens()) return Fail(ERROR_CALL_NOT_IMPLEMENTED);
  if (!token) return Fail(ERROR_NOACCESS);
  std::uintptr_t h = nextToken_++;
  tokens_[h] = desiredAccess;
  *token = reinterpret_cast<HANDLE>(h);
  return TRUE;
}

BOOL ShutdownCore::LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid) {
  Lock lock(s_.mu);
  if (Faulted("LookupPrivilegeValueA")) return FALSE;
  if (NoTokens()) return Fail(ERROR_CALL_NOT_IMPLEMENTED);
  if (systemName && *systemName) return Fail(RPC_S_SERVER_UNAVAILABLE);  // no other machine answers
  const Privilege* p = PrivilegeNamed(name);
  if (!p) return Fail(ERROR_NO_SUCH_PRIVILEGE);
  if (!luid) return Fail(ERROR_NOACCESS);
  *luid = LUID{p->luid, 0};
  return TRUE;
}

BOOL ShutdownCore::AdjustTokenPrivileges(HANDLE token, BOOL disableAll, const TOKEN_PRIVILEGES* newState) {
  Lock lock(s_.mu);
  if (Faulted("AdjustTokenPrivileges")) return FALSE;
  if (NoTokens()) return Fail(ERROR_CALL_NOT_IMPLEMENTED);
  auto it = tokens_.find(reinterpret_cast<std::uintptr_t>(token));
  if (it == tokens_.end()) return Fail(ERROR_INVALID_HANDLE);
  if (!(it->second & TOKEN_ADJUST_PRIVILEGES)) return Fail(ERROR_ACCESS_DENIED);
  if (disableAll) {
    enabled_.clear();
    s_.SetError(ERROR_SUCCESS);
    return TRUE;
  }
  if (!newState) return Fail(ERROR_INVALID_PARAMETER);
  bool all = true;
  for (const LUID_AND_ATTRIBUTES& p : newState->Privileges) {
    if (p.Luid.HighPart != 0 || !Held(p.Luid.LowPart)) {
      all = false;  // a privilege the token does not hold cannot be enabled
      continue;
    }
    if (p.Attributes & SE_PRIVILEGE_ENABLED)
      enabled_.insert(p.Luid.LowPart);
    else
      enabled_.erase(p.Luid.LowPart);
  }
  s_.SetError(all ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
  return TRUE;
}

BOOL ShutdownCore::CloseHandle(HANDLE token) {
  Lock lock(s_.mu);
  if (tokens_.erase(reinterpret_cast<std::uintptr_t>(token)) == 0) return Fail(ERROR_INVALID_HANDLE);
  return TRUE;
}

BOOL ShutdownCore::ExitWindowsEx(UINT flags, DWORD reason) {
  Lock lock(s_.mu);
  if (Faulted("ExitWindowsEx")) return FALSE;
  bool goesDown = (flags & (EWX_SHUTDOWN | EWX_REBOOT | EWX_POWEROFF)) != 0;
  // Windows 95/98 knows no privileges; NT restarts only for a process that enabled one.
  if (goesDown && !NoTokens() && !enabled_.count(kShutdownLuid)) return Fail(ERROR_PRIVILEGE_NOT_HELD);
  ShutdownRequest r;
  r.call = "ExitWindowsEx";
  r.flags = flags;
  r.reason = reason;
  r.reboot = (flags & EWX_REBOOT) != 0;
  requests.push_back(r);
  return TRUE;
}

BOOL ShutdownCore::InitiateSystemShutdownExA(FARPROC entry, const char* machineName, const char* message,
                                             DWORD timeoutSeconds, BOOL forceAppsClosed, BOOL rebootAfterShutdown,
                                             DWORD reason) {
  Lock lock(s_.mu);
  // Only an entry point that GetProcAddress found can be called.
  if (!entry) return Fail(ERROR_PROC_NOT_FOUND);
  if (Faulted("InitiateSystemShutdownExA")) return FALSE;
  if (machineName && *machineName) return Fail(ERROR_BAD_NETPATH);  // no other machine answers
  if (!enabled_.count(kShutdownLuid)) return Fail(ERROR_PRIVILEGE_NOT_HELD);
  ShutdownRequest r;
  r.call = "InitiateSystemShutdownExA";
  r.message = message ? message : "";
  r.timeout = timeoutSeconds;
  r.forceAppsClosed = forceAppsClosed != FALSE;
  r.reboot = rebootAfterShutdown != FALSE;
  r.reason = reason;
  requests.push_back(r);
  return TRUE;
}

void ShutdownCore::ProcessesEnded() {
  tokens_.clear();
  enabled_.clear();
}

std::vector<ShutdownRequest> SimMachine::ShutdownRequests() const {
  Lock lock(state_->mu);
  return state_->shutdown.requests;
}

bool SimMachine::RestartRequested() const {
  Lock lock(state_->mu);
  for (const ShutdownRequest& r : state_->shutdown.requests)
    if (r.reboot) return true;
  return false;
}

}  // namespace qx::sim
