// The registry calls. Results are Windows' own: ERROR_SUCCESS or a system error code.
#pragma once
#include "platform/types.h"

namespace qx {

class Registry {
 public:
  virtual ~Registry() = default;
  // subKey may be null or empty: the key itself is opened again.
  virtual LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM sam, HKEY* result) = 0;
  // Creates every missing level; disposition (may be null) tells whether the key was new.
  virtual LONG RegCreateKeyExA(HKEY key, const char* subKey, const char* keyClass, DWORD options,
                               REGSAM sam, HKEY* result, DWORD* disposition) = 0;
  // name null or empty: the default value. data may be null to ask for size and type only.
  // A buffer too small fails with ERROR_MORE_DATA and sets *cbData to the size needed.
  virtual LONG RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* cbData) = 0;
  virtual LONG RegSetValueExA(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD cbData) = 0;
  virtual LONG RegDeleteValueA(HKEY key, const char* name) = 0;
  // On the NT family a key with subkeys is refused (ERROR_ACCESS_DENIED).
  virtual LONG RegDeleteKeyA(HKEY key, const char* subKey) = 0;
  // *cchName in: buffer size in bytes including the terminating zero; out: length without it.
  virtual LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* cchName) = 0;
  virtual LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* cchName, DWORD* type,
                             BYTE* data, DWORD* cbData) = 0;
  virtual LONG RegCloseKey(HKEY key) = 0;
};

}  // namespace qx
