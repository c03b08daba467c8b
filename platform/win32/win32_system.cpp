#include "platform/win32/win32_facets.h"
#include "platform/win32/win32_convert.h"

#include <memory>

namespace qx::win32 {
namespace {

struct ThreadStart {
  ThreadProc proc;
  void* argument;
};

::DWORD WINAPI RunThread(void* start) {
  std::unique_ptr<ThreadStart> s(static_cast<ThreadStart*>(start));
  return s->proc(s->argument);
}

}  // namespace

BOOL Win32System::GetVersionExA(qx::OSVERSIONINFOA& info) {
  // The size field decides which record Windows fills, and a wrong one fails there as well.
  ::OSVERSIONINFOEXA v{};
  v.dwOSVersionInfoSize = info.dwOSVersionInfoSize;
  if (!::GetVersionExA(reinterpret_cast<::OSVERSIONINFOA*>(&v))) return FALSE;
  info.dwMajorVersion = v.dwMajorVersion;
  info.dwMinorVersion = v.dwMinorVersion;
  info.dwBuildNumber = v.dwBuildNumber;
  info.dwPlatformId = v.dwPlatformId;
  // Never read past the 128-byte field, whether or not Windows ended it with a zero.
  info.szCSDVersion.assign(v.szCSDVersion, ::strnlen(v.szCSDVersion, sizeof v.szCSDVersion - 1));
  return TRUE;
}

UINT Win32System::GetSystemDirectoryA(char* buffer, UINT cchBuffer) { return ::GetSystemDirectoryA(buffer, cchBuffer); }

UINT Win32System::GetWindowsDirectoryA(char* buffer, UINT cchBuffer) {
  return ::GetWindowsDirectoryA(buffer, cchBuffer);
}

DWORD Win32System::GetTempPathA(DWORD cchBuffer, char* buffer) { return ::GetTempPathA(cchBuffer, buffer); }

DWORD Win32System::GetModuleFileNameA(char* buffer, DWORD cchBuffer) {
  return ::GetModuleFileNameA(nullptr, buffer, cchBuffer);
}

void Win32System::GetLocalTime(qx::SYSTEMTIME& time) {
  ::SYSTEMTIME t{};
  ::GetLocalTime(&t);
  time = {t.wYear, t.wMonth, t.wDayOfWeek, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

BOOL Win32System::GetComputerNameA(char* buffer, DWORD* size) {
  ::DWORD n = size ? *size : 0;
  ::BOOL ok = ::GetComputerNameA(buffer, &n);
  if (size) *size = n;
  return ok;
}

void Win32System::Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

DWORD Win32System::GetLastError() { return ::GetLastError(); }

void Win32System::SetLastError(DWORD error) { ::SetLastError(error); }

qx::HANDLE Win32System::CreateEventA(BOOL manualReset, BOOL initialState, const char* name) {
  return ::CreateEventA(nullptr, manualReset, initialState, name);
}

qx::HANDLE Win32System::OpenEventA(DWORD access, BOOL inherit, const char* name) {
  return ::OpenEventA(access, inherit, name);
}

BOOL Win32System::SetEvent(qx::HANDLE event) { return ::SetEvent(event); }

qx::HANDLE Win32System::CreateThread(ThreadProc proc, void* argument) {
  auto start = std::make_unique<ThreadStart>(ThreadStart{proc, argument});
  const ::HANDLE thread = ::CreateThread(nullptr, 0, RunThread, start.get(), 0, nullptr);
  if (thread) start.release();  // the thread owns it now
  return thread;
}

BOOL Win32System::CloseHandle(qx::HANDLE handle) { return ::CloseHandle(handle); }

}  // namespace qx::win32
