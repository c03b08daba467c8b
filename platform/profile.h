// The initialization-file calls, with the semantics of Windows' own INI handling.
#pragma once
#include "platform/types.h"

namespace qx {

class Profile {
 public:
  virtual ~Profile() = default;
  // Fills buffer with "key=value\0...\0\0"; returns the bytes copied without the final zero,
  // or cchBuffer - 2 when the buffer is too small.
  virtual DWORD GetPrivateProfileSectionA(const char* section, char* buffer, DWORD cchBuffer,
                                          const char* file) = 0;
  // section null: the section names; key null: the section's keys (each zero-ended, then a zero).
  virtual DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                         char* buffer, DWORD cchBuffer, const char* file) = 0;
  // key null deletes the section; value null deletes the key.
  virtual BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                          const char* file) = 0;
  // The same, on WIN.INI in the Windows directory.
  virtual DWORD GetProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* buffer, DWORD cchBuffer) = 0;
  virtual BOOL WriteProfileStringA(const char* section, const char* key, const char* value) = 0;
};

}  // namespace qx
