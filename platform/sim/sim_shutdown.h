// The simulated machine's restart calls: the program's token with its privileges, and the
// restart and shutdown requests, which the machine records (SimMachine::ShutdownRequests)
// instead of going down. Internal to platform/sim.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace qx::sim {

class ShutdownCore final : public Shutdown {
 public:
  explicit ShutdownCore(SimMachine::State& s) : s_(s) {}
  BOOL OpenProcessToken(DWORD desiredAccess, HANDLE* token) override;
  BOOL LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid) override;
  BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, const TOKEN_PRIVILEGES* newState) override;
  BOOL CloseHandle(HANDLE token) override;
  BOOL ExitWindowsEx(UINT flags, DWORD reason) override;
  BOOL InitiateSystemShutdownExA(FARPROC entry, const char* machineName, const char* message, DWORD timeoutSeconds,
                                 BOOL forceAppsClosed, BOOL rebootAfterShutdown, DWORD reason) override;

  // The program's process is gone: its token's privileges are back to disabled.
  void ProcessesEnded();
  std::vector<ShutdownRequest> requests;

 private:
  BOOL Fail(DWORD error);
  bool Faulted(const char* call);
  bool NoTokens() const;  // Windows 95/98
  SimMachine::State& s_;
  std::map<std::uintptr_t, DWORD> tokens_;  // handle: the access it was opened with
  std::uintptr_t nextToken_ = 0x3000;
  std::set<DWORD> enabled_;  // the privileges enabled in the process's token, by LUID
};

}  // namespace qx::sim
