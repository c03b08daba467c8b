// System information, the clock, last error, named events and the worker thread.
#pragma once
#include "platform/types.h"

namespace qx {

using ThreadProc = DWORD (*)(void* argument);

class System {
 public:
  virtual ~System() = default;
  virtual BOOL GetVersionExA(OSVERSIONINFOA& info) = 0;
  // The directory calls return the length copied without the zero, or the size needed
  // (with the zero) when the buffer is too small, 0 on failure.
  virtual UINT GetSystemDirectoryA(char* buffer, UINT cchBuffer) = 0;
  virtual UINT GetWindowsDirectoryA(char* buffer, UINT cchBuffer) = 0;
  virtual DWORD GetTempPathA(DWORD cchBuffer, char* buffer) = 0;
  // Always the program's own module.
  virtual DWORD GetModuleFileNameA(char* buffer, DWORD cchBuffer) = 0;
  virtual void GetLocalTime(SYSTEMTIME& time) = 0;
  // size: the buffer's size in, the name's length (without the zero) out; a buffer too small
  // fails with ERROR_BUFFER_OVERFLOW and size the size needed (with the zero).
  virtual BOOL GetComputerNameA(char* buffer, DWORD* size) = 0;
  virtual void Sleep(DWORD milliseconds) = 0;
  virtual DWORD GetLastError() = 0;
  virtual void SetLastError(DWORD error) = 0;
  // Named events; an existing name opens that event and sets the last error to ERROR_ALREADY_EXISTS.
  virtual HANDLE CreateEventA(BOOL manualReset, BOOL initialState, const char* name) = 0;
  virtual HANDLE OpenEventA(DWORD access, BOOL inherit, const char* name) = 0;
  virtual BOOL SetEvent(HANDLE event) = 0;
  // Default stack, no creation flags; the handle is the caller's to close.
  virtual HANDLE CreateThread(ThreadProc proc, void* argument) = 0;
  virtual BOOL CloseHandle(HANDLE handle) = 0;
};

}  // namespace qx
