// Conversions between the facets' types and Windows' own. Include after the platform headers.
#pragma once
#include "platform/platform.h"
// (platform headers first: <windows.h> turns many of their names into macros)
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace qx::win32 {

// The predefined keys are sign-extended 32-bit values on 64-bit Windows.
inline ::HKEY ToWin(qx::HKEY key) {
  const auto raw = reinterpret_cast<std::uintptr_t>(key);
  if (raw >= 0x80000000u && raw <= 0x80000006u)
    return reinterpret_cast<::HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(raw)));
  return reinterpret_cast<::HKEY>(key);
}
inline qx::HKEY FromWin(::HKEY key) { return reinterpret_cast<qx::HKEY>(key); }

inline ::HWND ToWin(qx::HWND window) { return reinterpret_cast<::HWND>(window); }
inline qx::HWND FromWin(::HWND window) { return reinterpret_cast<qx::HWND>(window); }
inline ::SC_HANDLE ToWin(qx::SC_HANDLE handle) { return reinterpret_cast<::SC_HANDLE>(handle); }
inline qx::SC_HANDLE FromWin(::SC_HANDLE handle) { return reinterpret_cast<qx::SC_HANDLE>(handle); }
inline ::HSZ ToWin(qx::HSZ hsz) { return reinterpret_cast<::HSZ>(hsz); }
inline qx::HSZ FromWin(::HSZ hsz) { return reinterpret_cast<qx::HSZ>(hsz); }
inline ::HCONV ToWin(qx::HCONV conv) { return reinterpret_cast<::HCONV>(conv); }
inline qx::HCONV FromWin(::HCONV conv) { return reinterpret_cast<qx::HCONV>(conv); }
inline ::HDDEDATA ToWin(qx::HDDEDATA data) { return reinterpret_cast<::HDDEDATA>(data); }
inline qx::HDDEDATA FromWin(::HDDEDATA data) { return reinterpret_cast<qx::HDDEDATA>(data); }
inline ::HMODULE ToWin(qx::HMODULE module) { return reinterpret_cast<::HMODULE>(module); }
inline qx::HMODULE FromWin(::HMODULE module) { return reinterpret_cast<qx::HMODULE>(module); }

inline ::GUID ToWin(const qx::GUID& g) {
  ::GUID r;
  r.Data1 = g.Data1;
  r.Data2 = g.Data2;
  r.Data3 = g.Data3;
  std::memcpy(r.Data4, g.Data4, sizeof r.Data4);
  return r;
}

// Text that Windows reports through a possibly null pointer.
inline std::string Text(const char* s) { return s ? std::string(s) : std::string(); }
// Text handed to Windows: an empty string stands for a null pointer.
inline char* OrNull(const std::string& s) { return s.empty() ? nullptr : const_cast<char*>(s.c_str()); }

inline qx::FILETIME FromWin(const ::FILETIME& t) { return {t.dwLowDateTime, t.dwHighDateTime}; }

}  // namespace qx::win32
