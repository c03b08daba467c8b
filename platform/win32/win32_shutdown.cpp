#include "platform/win32/win32_facets.h"
#include "platform/win32/win32_convert.h"

#include <cstddef>
#include <vector>

namespace qx::win32 {
namespace {

using InitiateSystemShutdownExAFn = ::BOOL(WINAPI*)(::LPSTR, ::LPSTR, ::DWORD, ::BOOL, ::BOOL, ::DWORD);

}  // namespace

BOOL Win32Shutdown::OpenProcessToken(DWORD desiredAccess, qx::HANDLE* token) {
  ::HANDLE opened = nullptr;
  const ::BOOL ok = ::OpenProcessToken(::GetCurrentProcess(), desiredAccess, &opened);
  if (token) *token = ok ? opened : nullptr;
  return ok;
}

BOOL Win32Shutdown::LookupPrivilegeValueA(const char* systemName, const char* name, qx::LUID* luid) {
  ::LUID found{};
  const ::BOOL ok = ::LookupPrivilegeValueA(systemName, name, &found);
  if (ok && luid) *luid = {found.LowPart, found.HighPart};
  return ok;
}

BOOL Win32Shutdown::AdjustTokenPrivileges(qx::HANDLE token, BOOL disableAll, const qx::TOKEN_PRIVILEGES* newState) {
  if (!newState) return ::AdjustTokenPrivileges(token, disableAll, nullptr, 0, nullptr, nullptr);
  // TOKEN_PRIVILEGES ends in a variable-length array.
  const std::size_t count = newState->Privileges.size();
  std::vector<::LUID_AND_ATTRIBUTES> storage(count + 1);  // room for the count in front, and aligned
  auto* state = reinterpret_cast<::TOKEN_PRIVILEGES*>(storage.data());
  state->PrivilegeCount = static_cast<::DWORD>(count);
  for (std::size_t i = 0; i < count; ++i) {
    state->Privileges[i].Luid.LowPart = newState->Privileges[i].Luid.LowPart;
    state->Privileges[i].Luid.HighPart = newState->Privileges[i].Luid.HighPart;
    state->Privileges[i].Attributes = newState->Privileges[i].Attributes;
  }
  return ::AdjustTokenPrivileges(token, disableAll, state, 0, nullptr, nullptr);
}

BOOL Win32Shutdown::CloseHandle(qx::HANDLE token) { return ::CloseHandle(token); }

BOOL Win32Shutdown::ExitWindowsEx(UINT flags, DWORD reason) { return ::ExitWindowsEx(flags, reason); }

BOOL Win32Shutdown::InitiateSystemShutdownExA(qx::FARPROC entry, const char* machineName, const char* message,
                                              DWORD timeoutSeconds, BOOL forceAppsClosed, BOOL rebootAfterShutdown,
                                              DWORD reason) {
  const auto call = reinterpret_cast<InitiateSystemShutdownExAFn>(reinterpret_cast<void*>(entry));
  return call(const_cast<char*>(machineName), const_cast<char*>(message), timeoutSeconds, forceAppsClosed,
              rebootAfterShutdown, reason);
}

}  // namespace qx::win32
