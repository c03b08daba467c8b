#include "platform/win32/win32_facets.h"
#include "platform/win32/win32_convert.h"

namespace qx::win32 {

LONG Win32Registry::RegOpenKeyExA(qx::HKEY key, const char* subKey, DWORD options, REGSAM sam, qx::HKEY* result) {
  ::HKEY opened = nullptr;
  const LONG r = ::RegOpenKeyExA(ToWin(key), subKey, options, sam, &opened);
  if (result) *result = r == ERROR_SUCCESS ? FromWin(opened) : nullptr;
  return r;
}

LONG Win32Registry::RegCreateKeyExA(qx::HKEY key, const char* subKey, const char* keyClass, DWORD options,
                                    REGSAM sam, qx::HKEY* result, DWORD* disposition) {
  ::HKEY created = nullptr;
  ::DWORD how = 0;
  const LONG r = ::RegCreateKeyExA(ToWin(key), subKey, 0, const_cast<char*>(keyClass), options, sam, nullptr,
                                   &created, &how);
  if (result) *result = r == ERROR_SUCCESS ? FromWin(created) : nullptr;
  if (disposition && r == ERROR_SUCCESS) *disposition = how;
  return r;
}

LONG Win32Registry::RegQueryValueExA(qx::HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* cbData) {
  return ::RegQueryValueExA(ToWin(key), name, nullptr, reinterpret_cast<::DWORD*>(type), data,
                            reinterpret_cast<::DWORD*>(cbData));
}

LONG Win32Registry::RegSetValueExA(qx::HKEY key, const char* name, DWORD type, const BYTE* data, DWORD cbData) {
  return ::RegSetValueExA(ToWin(key), name, 0, type, data, cbData);
}

LONG Win32Registry::RegDeleteValueA(qx::HKEY key, const char* name) { return ::RegDeleteValueA(ToWin(key), name); }

LONG Win32Registry::RegDeleteKeyA(qx::HKEY key, const char* subKey) { return ::RegDeleteKeyA(ToWin(key), subKey); }

LONG Win32Registry::RegEnumKeyExA(qx::HKEY key, DWORD index, char* name, DWORD* cchName) {
  return ::RegEnumKeyExA(ToWin(key), index, name, reinterpret_cast<::DWORD*>(cchName), nullptr, nullptr, nullptr,
                         nullptr);
}

LONG Win32Registry::RegEnumValueA(qx::HKEY key, DWORD index, char* name, DWORD* cchName, DWORD* type, BYTE* data,
                                  DWORD* cbData) {
  return ::RegEnumValueA(ToWin(key), index, name, reinterpret_cast<::DWORD*>(cchName), nullptr,
                         reinterpret_cast<::DWORD*>(type), data, reinterpret_cast<::DWORD*>(cbData));
}

LONG Win32Registry::RegCloseKey(qx::HKEY key) { return ::RegCloseKey(ToWin(key)); }

}  // namespace qx::win32
