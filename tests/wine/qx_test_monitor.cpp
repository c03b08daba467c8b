// A port monitor for the end-to-end erase under Wine, standing in for the family's network
// port monitor: its ports are the subkeys of "Ports" under the monitor's own registry key, as
// the spooler expects of a monitor that keeps its ports itself. It lists, opens and deletes
// them; printing through it writes nothing anywhere (the test never prints).
//
// The monitor offers the older interface, InitializePrintMonitor with a MONITOREX, which Wine
// 8.0's spooler loads and calls (DeletePort of LPTN1: reaches DeletePort here).
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <string>
#include <vector>

namespace {

std::wstring portsKey;  // below HKEY_LOCAL_MACHINE

std::vector<std::wstring> PortNames() {
  std::vector<std::wstring> names;
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, portsKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  wchar_t name[MAX_PATH];
  for (DWORD i = 0;; ++i) {
    DWORD length = MAX_PATH;
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.push_back(name);
  }
  RegCloseKey(key);
  return names;
}

BOOL WINAPI EnumPorts(LPWSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
  if (level != 1 && level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  static const wchar_t kMonitor[] = L"ZOV Network Port";
  std::vector<std::wstring> names = PortNames();
  DWORD record = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
  DWORD total = 0;
  for (const std::wstring& n : names) {
    total += record + static_cast<DWORD>((n.size() + 1) * sizeof(wchar_t));
    if (level == 2) total += 2 * sizeof kMonitor;  // monitor name and description
  }
  *needed = total;
  *returned = 0;
  if (total > size || (total && !buffer)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  // Records first, their strings from the end of the buffer backwards.
  auto* text = reinterpret_cast<wchar_t*>(buffer + total);
  auto put = [&](const wchar_t* s, size_t chars) {
    text -= chars + 1;
    lstrcpynW(text, s, static_cast<int>(chars + 1));
    return text;
  };
  for (DWORD i = 0; i < names.size(); ++i) {
    wchar_t* name = put(names[i].c_str(), names[i].size());
    if (level == 1) {
      reinterpret_cast<PORT_INFO_1W*>(buffer)[i].pName = name;
    } else {
      auto& info = reinterpret_cast<PORT_INFO_2W*>(buffer)[i];
      info.pPortName = name;
      info.pMonitorName = put(kMonitor, ARRAYSIZE(kMonitor) - 1);
      info.pDescription = put(kMonitor, ARRAYSIZE(kMonitor) - 1);
      info.fPortType = PORT_TYPE_WRITE;
      info.Reserved = 0;
    }
  }
  *returned = static_cast<DWORD>(names.size());
  return TRUE;
}

bool HasPort(const wchar_t* name) {
  for (const std::wstring& n : PortNames())
    if (lstrcmpiW(n.c_str(), name) == 0) return true;
  return false;
}

BOOL WINAPI OpenPort(LPWSTR name, PHANDLE handle) {
  if (!name || !HasPort(name)) {
    SetLastError(ERROR_UNKNOWN_PORT);
    return FALSE;
  }
  *handle = reinterpret_cast<HANDLE>(1);
  return TRUE;
}

BOOL WINAPI StartDocPort(HANDLE, LPWSTR, DWORD, DWORD, LPBYTE) { return TRUE; }
BOOL WINAPI WritePort(HANDLE, LPBYTE, DWORD size, LPDWORD written) {
  *written = size;
  return TRUE;
}
BOOL WINAPI ReadPort(HANDLE, LPBYTE, DWORD, LPDWORD read) {
  *read = 0;
  return TRUE;
}
BOOL WINAPI EndDocPort(HANDLE) { return TRUE; }
BOOL WINAPI ClosePort(HANDLE) { return TRUE; }

// The installer's way of making a port: PORT_INFO_1 names it.
BOOL WINAPI AddPortEx(LPWSTR, DWORD level, LPBYTE buffer, LPWSTR) {
  const wchar_t* name = level == 1 && buffer ? reinterpret_cast<PORT_INFO_1W*>(buffer)->pName : nullptr;
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (HasPort(name)) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  HKEY key;
  LONG r = RegCreateKeyExW(HKEY_LOCAL_MACHINE, (portsKey + L"\\" + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                           nullptr, &key, nullptr);
  if (r == ERROR_SUCCESS) RegCloseKey(key);
  SetLastError(static_cast<DWORD>(r));
  return r == ERROR_SUCCESS;
}

BOOL WINAPI DeletePort(LPWSTR, HWND, LPWSTR name) {
  if (!name || !HasPort(name)) {
    SetLastError(ERROR_UNKNOWN_PORT);
    return FALSE;
  }
  HKEY key;
  LONG r = RegOpenKeyExW(HKEY_LOCAL_MACHINE, portsKey.c_str(), 0, KEY_ALL_ACCESS, &key);
  if (r == ERROR_SUCCESS) {
    r = RegDeleteKeyW(key, name);
    RegCloseKey(key);
  }
  SetLastError(static_cast<DWORD>(r));
  return r == ERROR_SUCCESS;
}

MONITOREX monitor = [] {
  MONITOREX m{};
  m.dwMonitorSize = sizeof(MONITOR);
  m.Monitor.pfnEnumPorts = EnumPorts;
  m.Monitor.pfnOpenPort = OpenPort;
  m.Monitor.pfnStartDocPort = StartDocPort;
  m.Monitor.pfnWritePort = WritePort;
  m.Monitor.pfnReadPort = ReadPort;
  m.Monitor.pfnEndDocPort = EndDocPort;
  m.Monitor.pfnClosePort = ClosePort;
  m.Monitor.pfnAddPortEx = AddPortEx;
  m.Monitor.pfnDeletePort = DeletePort;
  return m;
}();

}  // namespace

// registryRoot: the monitor's key below HKEY_LOCAL_MACHINE.
extern "C" __declspec(dllexport) LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR registryRoot) {
  if (!registryRoot) return nullptr;
  portsKey = std::wstring(registryRoot) + L"\\Ports";
  return &monitor;
}
