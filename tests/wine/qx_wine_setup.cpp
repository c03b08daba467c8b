// Installs what a registry import cannot, for the end-to-end erase under Wine: printer
// drivers (with Wine's own PostScript driver as their files), printers, and Program Manager
// groups through its DDE interface. Steps run in order; the first that fails ends the program
// with status 1.
//
//   driver NAME ENV             a printer driver of that name for the print environment ENV
//                               ("-": this system's own)
//   monitor NAME DLL            a port monitor, its library in the system directory
//   port MONITOR NAME           a port made by that monitor
//   printer NAME DRIVER PORT    a local printer
//   dde COMMAND                 one Program Manager command, e.g. [CreateGroup(Qorvex)]
//   hasprinter NAME             succeeds when the printer exists
//   hasdriver NAME ENV          succeeds when the driver exists in that environment
//   hasport NAME                succeeds when the spooler lists the port
//   hasmonitor NAME             succeeds when the spooler lists the monitor
//   list                        prints what the spooler and the service manager list: every
//                               printer (name, port, driver), driver, port and monitor, and
//                               every service with its state, a line each (UTF-8)
#include <windows.h>
#include <ddeml.h>
#include <winspool.h>

#include <cstdio>
#include <string>
#include <vector>

// In winspool.drv, though MinGW's winspool.h does not declare it.
extern "C" BOOL WINAPI AddPortExW(LPWSTR name, DWORD level, LPBYTE buffer, LPWSTR monitorName);

namespace {

std::wstring SystemFile(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  GetSystemDirectoryW(dir, MAX_PATH);
  return std::wstring(dir) + L"\\" + name;
}

wchar_t* Environment(const wchar_t* env) { return lstrcmpW(env, L"-") == 0 ? nullptr : const_cast<wchar_t*>(env); }

bool AddDriver(const wchar_t* name, const wchar_t* env) {
  std::wstring file = SystemFile(L"wineps.drv");
  DRIVER_INFO_3W info{};
  info.cVersion = 3;
  info.pName = const_cast<wchar_t*>(name);
  info.pEnvironment = Environment(env);
  info.pDriverPath = file.data();
  info.pDataFile = file.data();
  info.pConfigFile = file.data();
  return AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&info), APD_COPY_NEW_FILES) != FALSE;
}

bool AddOnePrinter(const wchar_t* name, const wchar_t* driver, const wchar_t* port) {
  PRINTER_INFO_2W info{};
  info.pPrinterName = const_cast<wchar_t*>(name);
  info.pDriverName = const_cast<wchar_t*>(driver);
  info.pPortName = const_cast<wchar_t*>(port);
  info.pPrintProcessor = const_cast<wchar_t*>(L"WinPrint");
  info.pDatatype = const_cast<wchar_t*>(L"RAW");
  HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
  if (!printer) return false;
  ClosePrinter(printer);
  return true;
}

bool HasPrinter(const wchar_t* name) {
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<wchar_t*>(name), &printer, nullptr)) return false;
  ClosePrinter(printer);
  return true;
}

bool HasDriver(const wchar_t* name, const wchar_t* env) {
  DWORD needed = 0, count = 0;
  EnumPrinterDriversW(nullptr, Environment(env), 1, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed ? needed : 1);
  if (!EnumPrinterDriversW(nullptr, Environment(env), 1, buffer.data(), needed, &needed, &count)) return false;
  auto* drivers = reinterpret_cast<DRIVER_INFO_1W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    if (lstrcmpiW(drivers[i].pName, name) == 0) return true;
  return false;
}

bool AddOneMonitor(const wchar_t* name, const wchar_t* dll) {
  MONITOR_INFO_2W info{};
  info.pName = const_cast<wchar_t*>(name);
  info.pDLLName = const_cast<wchar_t*>(dll);
  return AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&info)) != FALSE;
}

bool AddOnePort(const wchar_t* monitor, const wchar_t* name) {
  PORT_INFO_1W info{const_cast<wchar_t*>(name)};
  return AddPortExW(nullptr, 1, reinterpret_cast<BYTE*>(&info), const_cast<wchar_t*>(monitor)) != FALSE;
}

// Whether the spooler's list (EnumPortsW, EnumMonitorsW: level 1, a name first) holds the name.
template <class Info, class Enumerate>
bool Lists(Enumerate enumerate, const wchar_t* name) {
  DWORD needed = 0, count = 0;
  enumerate(nullptr, 1, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed ? needed : 1);
  if (!enumerate(nullptr, 1, buffer.data(), needed, &needed, &count)) return false;
  auto* items = reinterpret_cast<Info*>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    if (lstrcmpiW(items[i].pName, name) == 0) return true;
  return false;
}

bool HasPort(const wchar_t* name) { return Lists<PORT_INFO_1W>(EnumPortsW, name); }

bool HasMonitor(const wchar_t* name) { return Lists<MONITOR_INFO_1W>(EnumMonitorsW, name); }

std::string Utf8(const wchar_t* w) {
  if (!w) return "";
  int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w, -1, out.data(), n, nullptr, nullptr);
  return out;
}

// A level's records of one of the spooler's enumerations.
template <class Info, class Enumerate>
std::vector<Info> Records(Enumerate enumerate, DWORD level, std::vector<BYTE>& buffer) {
  DWORD needed = 0, count = 0;
  enumerate(level, nullptr, 0, &needed, &count);
  buffer.assign(needed ? needed : 1, 0);
  if (!enumerate(level, buffer.data(), needed, &needed, &count)) return {};
  auto* items = reinterpret_cast<Info*>(buffer.data());
  return std::vector<Info>(items, items + count);
}

bool List() {
  std::vector<BYTE> buffer;
  for (const auto& p : Records<PRINTER_INFO_2W>(
           [](DWORD l, BYTE* b, DWORD n, DWORD* need, DWORD* c) { return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, l, b, n, need, c); },
           2, buffer))
    std::printf("printer %s port %s driver %s\n", Utf8(p.pPrinterName).c_str(), Utf8(p.pPortName).c_str(),
                Utf8(p.pDriverName).c_str());
  for (const wchar_t* env : {L"Windows NT x86", L"Windows x64"})
    for (const auto& d : Records<DRIVER_INFO_1W>(
             [env](DWORD l, BYTE* b, DWORD n, DWORD* need, DWORD* c) {
               return EnumPrinterDriversW(nullptr, const_cast<wchar_t*>(env), l, b, n, need, c);
             },
             1, buffer))
      std::printf("driver %s (%s)\n", Utf8(d.pName).c_str(), Utf8(env).c_str());
  for (const auto& p : Records<PORT_INFO_1W>(
           [](DWORD l, BYTE* b, DWORD n, DWORD* need, DWORD* c) { return EnumPortsW(nullptr, l, b, n, need, c); }, 1, buffer))
    std::printf("port %s\n", Utf8(p.pName).c_str());
  for (const auto& m : Records<MONITOR_INFO_1W>(
           [](DWORD l, BYTE* b, DWORD n, DWORD* need, DWORD* c) { return EnumMonitorsW(nullptr, l, b, n, need, c); }, 1, buffer))
    std::printf("monitor %s\n", Utf8(m.pName).c_str());
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE);
  if (!manager) return false;
  DWORD needed = 0, count = 0, resume = 0;
  EnumServicesStatusW(manager, SERVICE_WIN32, SERVICE_STATE_ALL, nullptr, 0, &needed, &count, &resume);
  buffer.assign(needed ? needed : 1, 0);
  resume = 0;
  bool ok = EnumServicesStatusW(manager, SERVICE_WIN32, SERVICE_STATE_ALL, reinterpret_cast<ENUM_SERVICE_STATUSW*>(buffer.data()),
                                needed, &needed, &count, &resume) != FALSE;
  auto* services = reinterpret_cast<ENUM_SERVICE_STATUSW*>(buffer.data());
  for (DWORD i = 0; ok && i < count; ++i)
    std::printf("service %s %lu\n", Utf8(services[i].lpServiceName).c_str(),
                static_cast<unsigned long>(services[i].ServiceStatus.dwCurrentState));
  CloseServiceHandle(manager);
  std::fflush(stdout);
  return ok;
}

HDDEDATA CALLBACK NoCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) { return nullptr; }

bool Progman(const wchar_t* command) {
  DWORD instance = 0;
  if (DdeInitializeW(&instance, NoCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) return false;
  HSZ service = DdeCreateStringHandleW(instance, L"PROGMAN", CP_WINUNICODE);
  HCONV conv = DdeConnect(instance, service, service, nullptr);
  bool ok = false;
  if (conv) {
    DWORD bytes = static_cast<DWORD>((lstrlenW(command) + 1) * sizeof(wchar_t));
    ok = DdeClientTransaction(reinterpret_cast<BYTE*>(const_cast<wchar_t*>(command)), bytes, conv, nullptr, CF_UNICODETEXT,
                              XTYP_EXECUTE, 10000, nullptr) != nullptr;
    DdeDisconnect(conv);
  }
  DdeFreeStringHandle(instance, service);
  DdeUninitialize(instance);
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  for (int i = 1; i < argc;) {
    std::wstring op = argv[i];
    int at = i;
    bool ok = false;
    if (op == L"driver" && i + 2 < argc) {
      ok = AddDriver(argv[i + 1], argv[i + 2]);
      i += 3;
    } else if (op == L"monitor" && i + 2 < argc) {
      ok = AddOneMonitor(argv[i + 1], argv[i + 2]);
      i += 3;
    } else if (op == L"port" && i + 2 < argc) {
      ok = AddOnePort(argv[i + 1], argv[i + 2]);
      i += 3;
    } else if (op == L"hasport" && i + 1 < argc) {
      ok = HasPort(argv[i + 1]);
      i += 2;
    } else if (op == L"hasmonitor" && i + 1 < argc) {
      ok = HasMonitor(argv[i + 1]);
      i += 2;
    } else if (op == L"printer" && i + 3 < argc) {
      ok = AddOnePrinter(argv[i + 1], argv[i + 2], argv[i + 3]);
      i += 4;
    } else if (op == L"dde" && i + 1 < argc) {
      ok = Progman(argv[i + 1]);
      i += 2;
    } else if (op == L"hasprinter" && i + 1 < argc) {
      ok = HasPrinter(argv[i + 1]);
      i += 2;
    } else if (op == L"list") {
      ok = List();
      i += 1;
    } else if (op == L"hasdriver" && i + 2 < argc) {
      ok = HasDriver(argv[i + 1], argv[i + 2]);
      i += 3;
    } else {
      i = argc;
    }
    if (!ok) {
      std::fprintf(stderr, "qx_wine_setup: step %d failed (error %lu)\n", at, GetLastError());
      return 1;
    }
  }
  return 0;
}
