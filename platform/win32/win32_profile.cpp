#include "platform/win32/win32_facets.h"
#include "platform/win32/win32_convert.h"

namespace qx::win32 {

DWORD Win32Profile::GetPrivateProfileSectionA(const char* section, char* buffer, DWORD cchBuffer,
                                              const char* file) {
  return ::GetPrivateProfileSectionA(section, buffer, cchBuffer, file);
}

DWORD Win32Profile::GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                             char* buffer, DWORD cchBuffer, const char* file) {
  return ::GetPrivateProfileStringA(section, key, defaultValue, buffer, cchBuffer, file);
}

BOOL Win32Profile::WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                              const char* file) {
  return ::WritePrivateProfileStringA(section, key, value, file);
}

DWORD Win32Profile::GetProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
                                      DWORD cchBuffer) {
  return ::GetProfileStringA(section, key, defaultValue, buffer, cchBuffer);
}

BOOL Win32Profile::WriteProfileStringA(const char* section, const char* key, const char* value) {
  return ::WriteProfileStringA(section, key, value);
}

}  // namespace qx::win32
