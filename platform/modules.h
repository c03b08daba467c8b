// Libraries and programs of other files: LoadLibraryA, GetProcAddress, FreeLibrary and
// CreateProcessA, with the entry points the engine calls typed by their signatures.
//
// A library is named by full path or by bare name as Windows takes it; choosing a path that
// no one can plant a library on is the caller's business.
#pragma once
#include "platform/types.h"

namespace qx {

// A loaded library.
struct HMODULE__;
using HMODULE = HMODULE__*;
// An entry point found by GetProcAddress. It is called only through the methods below that
// name the entry point, each with the signature the exporting library gives it.
struct FARPROC__;
using FARPROC = FARPROC__*;

using HRESULT = LONG;

inline constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
inline constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
inline constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;
inline constexpr DWORD ERROR_DLL_INIT_FAILED = 1114;

// CreateProcessA's start-up record. cb is the 32-bit record's size, 68, as callers fill it;
// the backend passes its own size. Everything not listed is zero.
struct STARTUPINFOA {
  DWORD cb = 68;
  DWORD dwFlags = 0;
  WORD wShowWindow = 0;
};

inline constexpr DWORD STARTF_USESHOWWINDOW = 0x00000001;

// A started process. Both handles are the caller's to close with CloseHandle below.
struct PROCESS_INFORMATION {
  HANDLE hProcess = nullptr;
  HANDLE hThread = nullptr;
  DWORD dwProcessId = 0;
  DWORD dwThreadId = 0;
};

class Modules {
 public:
  virtual ~Modules() = default;
  virtual HMODULE LoadLibraryA(const char* fileName) = 0;
  // Null with ERROR_PROC_NOT_FOUND when the library does not export the name.
  virtual FARPROC GetProcAddress(HMODULE module, const char* procName) = 0;
  virtual BOOL FreeLibrary(HMODULE module) = 0;

  // The status-manager library's entry points:
  //   DWORD OpenManagerExA(LPCSTR printerName, DWORD reserved, DWORD mode, HANDLE* manager)
  //     0 on success, and *manager then holds the manager;
  //   DWORD UpdatePrinterStatusA(HANDLE manager, LPCSTR setting, const void* value, DWORD size)
  //   DWORD CloseManager(HANDLE manager)
  virtual DWORD OpenManagerExA(FARPROC entry, const char* printerName, DWORD reserved, DWORD mode,
                               HANDLE* manager) = 0;
  virtual DWORD UpdatePrinterStatusA(FARPROC entry, HANDLE manager, const char* setting,
                                     const void* value, DWORD size) = 0;
  virtual DWORD CloseManager(FARPROC entry, HANDLE manager) = 0;
  // A COM component's HRESULT DllUnregisterServer(void).
  virtual HRESULT DllUnregisterServer(FARPROC entry) = 0;

  // No security attributes and no environment of its own: the engine never passes them.
  // applicationName may be null (the program is the command line's first token);
  // currentDirectory may be null (the caller's).
  virtual BOOL CreateProcessA(const char* applicationName, const char* commandLine, BOOL inheritHandles,
                              DWORD creationFlags, const char* currentDirectory,
                              const STARTUPINFOA& startup, PROCESS_INFORMATION& process) = 0;
  // For the handles of a started process.
  virtual BOOL CloseHandle(HANDLE handle) = 0;
};

}  // namespace qx
