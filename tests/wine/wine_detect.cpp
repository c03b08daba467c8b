#include "tests/wine/wine_detect.h"

#include <windows.h>

namespace qx::wine {
namespace {

using WineGetVersion = const char*(CDECL*)();

WineGetVersion Find() {
  // ntdll is in every process; Wine's exports wine_get_version, Windows' does not.
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  if (!ntdll) return nullptr;
  return reinterpret_cast<WineGetVersion>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "wine_get_version")));
}

}  // namespace

bool RunningUnderWine() { return Find() != nullptr; }

std::string WineVersion() {
  const WineGetVersion get = Find();
  const char* v = get ? get() : nullptr;
  return v ? v : "";
}

}  // namespace qx::wine
