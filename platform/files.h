// The file calls. BOOL results with the reason in GetLastError, as on Windows.
#pragma once
#include "platform/types.h"

namespace qx {

class Files {
 public:
  virtual ~Files() = default;
  // No security attributes and no template file: the engine never passes them.
  virtual HANDLE CreateFileA(const char* name, DWORD access, DWORD shareMode, DWORD creation,
                             DWORD flagsAndAttributes) = 0;
  virtual BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read) = 0;
  virtual BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written) = 0;
  virtual DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) = 0;
  virtual BOOL CloseHandle(HANDLE file) = 0;
  virtual BOOL DeleteFileA(const char* name) = 0;
  virtual BOOL MoveFileA(const char* from, const char* to) = 0;
  // to may be null: with MOVEFILE_DELAY_UNTIL_REBOOT that asks for deletion at restart.
  virtual BOOL MoveFileExA(const char* from, const char* to, DWORD flags) = 0;
  virtual BOOL SetFileAttributesA(const char* name, DWORD attributes) = 0;
  virtual BOOL RemoveDirectoryA(const char* name) = 0;
  virtual HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA& data) = 0;
  virtual BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA& data) = 0;
  virtual BOOL FindClose(HANDLE find) = 0;
  // Returns the length copied, or the size needed (with the zero) when cchBuffer is too small, 0 on failure.
  virtual DWORD GetShortPathNameA(const char* longPath, char* shortPath, DWORD cchBuffer) = 0;
  virtual DWORD GetCurrentDirectoryA(DWORD cchBuffer, char* buffer) = 0;
  virtual BOOL SetCurrentDirectoryA(const char* path) = 0;
};

}  // namespace qx
