// The machine's facets with the engine's calls counted, facet by facet, for the benchmark.
// The registry, files, profile and spooler facets are where a run's calls grow with the
// machine; the others are handed through uncounted (the machine's own PlatformCalls counts
// every call that reaches fault injection).
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

namespace bench {

// One counted call: the count, then the call on the wrapped facet.
#define QX_BENCH_COUNTED(Ret, Name, Params, Args) \
  Ret Name Params override {                     \
    count.fetch_add(1, std::memory_order_relaxed); \
    return inner_.Name Args;                     \
  }

using namespace qx;  // the facets' own types, as their headers name them

class CountedRegistry final : public Registry {
 public:
  explicit CountedRegistry(Registry& inner) : inner_(inner) {}
  std::atomic<std::uint64_t> count{0};
  QX_BENCH_COUNTED(LONG, RegOpenKeyExA, (HKEY k, const char* s, DWORD o, REGSAM m, HKEY* r), (k, s, o, m, r))
  QX_BENCH_COUNTED(LONG, RegCreateKeyExA,
                   (HKEY k, const char* s, const char* c, DWORD o, REGSAM m, HKEY* r, DWORD* d), (k, s, c, o, m, r, d))
  QX_BENCH_COUNTED(LONG, RegQueryValueExA, (HKEY k, const char* n, DWORD* t, BYTE* d, DWORD* c), (k, n, t, d, c))
  QX_BENCH_COUNTED(LONG, RegSetValueExA, (HKEY k, const char* n, DWORD t, const BYTE* d, DWORD c), (k, n, t, d, c))
  QX_BENCH_COUNTED(LONG, RegDeleteValueA, (HKEY k, const char* n), (k, n))
  QX_BENCH_COUNTED(LONG, RegDeleteKeyA, (HKEY k, const char* s), (k, s))
  QX_BENCH_COUNTED(LONG, RegEnumKeyExA, (HKEY k, DWORD i, char* n, DWORD* c), (k, i, n, c))
  QX_BENCH_COUNTED(LONG, RegEnumValueA, (HKEY k, DWORD i, char* n, DWORD* c, DWORD* t, BYTE* d, DWORD* cb),
                   (k, i, n, c, t, d, cb))
  QX_BENCH_COUNTED(LONG, RegCloseKey, (HKEY k), (k))

 private:
  Registry& inner_;
};

class CountedFiles final : public Files {
 public:
  explicit CountedFiles(Files& inner) : inner_(inner) {}
  std::atomic<std::uint64_t> count{0};
  QX_BENCH_COUNTED(HANDLE, CreateFileA, (const char* n, DWORD a, DWORD s, DWORD c, DWORD f), (n, a, s, c, f))
  QX_BENCH_COUNTED(BOOL, ReadFile, (HANDLE h, void* b, DWORD n, DWORD* r), (h, b, n, r))
  QX_BENCH_COUNTED(BOOL, WriteFile, (HANDLE h, const void* b, DWORD n, DWORD* w), (h, b, n, w))
  QX_BENCH_COUNTED(DWORD, SetFilePointer, (HANDLE h, LONG d, LONG* hi, DWORD m), (h, d, hi, m))
  QX_BENCH_COUNTED(BOOL, CloseHandle, (HANDLE h), (h))
  QX_BENCH_COUNTED(BOOL, DeleteFileA, (const char* n), (n))
  QX_BENCH_COUNTED(BOOL, MoveFileA, (const char* f, const char* t), (f, t))
  QX_BENCH_COUNTED(BOOL, MoveFileExA, (const char* f, const char* t, DWORD fl), (f, t, fl))
  QX_BENCH_COUNTED(BOOL, SetFileAttributesA, (const char* n, DWORD a), (n, a))
  QX_BENCH_COUNTED(BOOL, RemoveDirectoryA, (const char* n), (n))
  QX_BENCH_COUNTED(HANDLE, FindFirstFileA, (const char* p, WIN32_FIND_DATAA& d), (p, d))
  QX_BENCH_COUNTED(BOOL, FindNextFileA, (HANDLE h, WIN32_FIND_DATAA& d), (h, d))
  QX_BENCH_COUNTED(BOOL, FindClose, (HANDLE h), (h))
  QX_BENCH_COUNTED(DWORD, GetShortPathNameA, (const char* l, char* s, DWORD c), (l, s, c))
  QX_BENCH_COUNTED(DWORD, GetCurrentDirectoryA, (DWORD c, char* b), (c, b))
  QX_BENCH_COUNTED(BOOL, SetCurrentDirectoryA, (const char* p), (p))

 private:
  Files& inner_;
};

class CountedProfile final : public Profile {
 public:
  explicit CountedProfile(Profile& inner) : inner_(inner) {}
  std::atomic<std::uint64_t> count{0};
  QX_BENCH_COUNTED(DWORD, GetPrivateProfileSectionA, (const char* s, char* b, DWORD c, const char* f), (s, b, c, f))
  QX_BENCH_COUNTED(DWORD, GetPrivateProfileStringA,
                   (const char* s, const char* k, const char* d, char* b, DWORD c, const char* f), (s, k, d, b, c, f))
  QX_BENCH_COUNTED(BOOL, WritePrivateProfileStringA, (const char* s, const char* k, const char* v, const char* f),
                   (s, k, v, f))
  QX_BENCH_COUNTED(DWORD, GetProfileStringA, (const char* s, const char* k, const char* d, char* b, DWORD c),
                   (s, k, d, b, c))
  QX_BENCH_COUNTED(BOOL, WriteProfileStringA, (const char* s, const char* k, const char* v), (s, k, v))

 private:
  Profile& inner_;
};

class CountedSpooler final : public Spooler {
 public:
  explicit CountedSpooler(Spooler& inner) : inner_(inner) {}
  std::atomic<std::uint64_t> count{0};
  QX_BENCH_COUNTED(BOOL, EnumPrintersA, (DWORD f, const char* n, std::vector<PRINTER_INFO_2A>& p), (f, n, p))
  QX_BENCH_COUNTED(BOOL, OpenPrinterA, (const char* n, HANDLE* h, const PRINTER_DEFAULTSA* d), (n, h, d))
  QX_BENCH_COUNTED(BOOL, SetPrinterA, (HANDLE h, DWORD l, const PRINTER_INFO_2A* i, DWORD c), (h, l, i, c))
  QX_BENCH_COUNTED(BOOL, ClosePrinter, (HANDLE h), (h))
  QX_BENCH_COUNTED(BOOL, DeletePrinter, (HANDLE h), (h))
  QX_BENCH_COUNTED(BOOL, DeletePrinterConnectionA, (const char* n), (n))
  QX_BENCH_COUNTED(BOOL, EnumPrinterDriversA, (const char* s, const char* e, std::vector<DRIVER_INFO_2A>& d), (s, e, d))
  QX_BENCH_COUNTED(BOOL, DeletePrinterDriverA, (const char* s, const char* e, const char* d), (s, e, d))
  QX_BENCH_COUNTED(BOOL, EnumMonitorsA, (const char* s, std::vector<MONITOR_INFO_1A>& m), (s, m))
  QX_BENCH_COUNTED(BOOL, DeleteMonitorA, (const char* s, const char* e, const char* m), (s, e, m))
  QX_BENCH_COUNTED(BOOL, EnumPortsA, (const char* s, std::vector<PORT_INFO_2A>& p), (s, p))
  QX_BENCH_COUNTED(BOOL, DeletePortA, (const char* s, HWND w, const char* p), (s, w, p))
  QX_BENCH_COUNTED(BOOL, EnumPrintProcessorsA,
                   (const char* s, const char* e, std::vector<PRINTPROCESSOR_INFO_1A>& p), (s, e, p))
  QX_BENCH_COUNTED(BOOL, DeletePrintProcessorA, (const char* s, const char* e, const char* p), (s, e, p))

 private:
  Spooler& inner_;
};

#undef QX_BENCH_COUNTED

// The machine's platform with those four facets counted.
class CountingPlatform {
 public:
  explicit CountingPlatform(qx::Platform& machine)
      : registry(machine.registry), files(machine.files), profile(machine.profile), spooler(machine.spooler),
        platform_{registry, files,         profile,       machine.system,   machine.services, spooler,
                  machine.windows, machine.dde, machine.modules, machine.shutdown, machine.webadmin} {}
  qx::Platform& platform() { return platform_; }

  CountedRegistry registry;
  CountedFiles files;
  CountedProfile profile;
  CountedSpooler spooler;

 private:
  qx::Platform platform_;
};

}  // namespace bench
