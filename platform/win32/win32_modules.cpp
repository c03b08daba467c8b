#include "platform/win32/win32_facets.h"
#include "platform/win32/win32_convert.h"

#include <vector>

namespace qx::win32 {
namespace {

using OpenManagerExAFn = ::DWORD(WINAPI*)(::LPCSTR, ::DWORD, ::DWORD, ::HANDLE*);
using UpdatePrinterStatusAFn = ::DWORD(WINAPI*)(::HANDLE, ::LPCSTR, const void*, ::DWORD);
using CloseManagerFn = ::DWORD(WINAPI*)(::HANDLE);
using DllUnregisterServerFn = ::HRESULT(WINAPI*)();

template <typename Fn>
Fn As(qx::FARPROC entry) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(entry));
}

}  // namespace

qx::HMODULE Win32Modules::LoadLibraryA(const char* fileName) { return FromWin(::LoadLibraryA(fileName)); }

qx::FARPROC Win32Modules::GetProcAddress(qx::HMODULE module, const char* procName) {
  return reinterpret_cast<qx::FARPROC>(reinterpret_cast<void*>(::GetProcAddress(ToWin(module), procName)));
}

BOOL Win32Modules::FreeLibrary(qx::HMODULE module) { return ::FreeLibrary(ToWin(module)); }

DWORD Win32Modules::OpenManagerExA(qx::FARPROC entry, const char* printerName, DWORD reserved, DWORD mode,
                                   qx::HANDLE* manager) {
  return As<OpenManagerExAFn>(entry)(printerName, reserved, mode, manager);
}

DWORD Win32Modules::UpdatePrinterStatusA(qx::FARPROC entry, qx::HANDLE manager, const char* setting,
                                         const void* value, DWORD size) {
  return As<UpdatePrinterStatusAFn>(entry)(manager, setting, value, size);
}

DWORD Win32Modules::CloseManager(qx::FARPROC entry, qx::HANDLE manager) {
  return As<CloseManagerFn>(entry)(manager);
}

HRESULT Win32Modules::DllUnregisterServer(qx::FARPROC entry) { return As<DllUnregisterServerFn>(entry)(); }

BOOL Win32Modules::CreateProcessA(const char* applicationName, const char* commandLine, BOOL inheritHandles,
                                  DWORD creationFlags, const char* currentDirectory, const qx::STARTUPINFOA& startup,
                                  qx::PROCESS_INFORMATION& process) {
  // Windows may write into the command line; it gets a copy of its own.
  std::vector<char> line;
  if (commandLine) line.assign(commandLine, commandLine + std::strlen(commandLine) + 1);
  ::STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = startup.dwFlags;
  si.wShowWindow = startup.wShowWindow;
  ::PROCESS_INFORMATION pi{};
  const ::BOOL ok = ::CreateProcessA(applicationName, commandLine ? line.data() : nullptr, nullptr, nullptr,
                                     inheritHandles, creationFlags, nullptr, currentDirectory, &si, &pi);
  process = ok ? qx::PROCESS_INFORMATION{pi.hProcess, pi.hThread, pi.dwProcessId, pi.dwThreadId}
               : qx::PROCESS_INFORMATION{};
  return ok;
}

BOOL Win32Modules::CloseHandle(qx::HANDLE handle) { return ::CloseHandle(handle); }

}  // namespace qx::win32
