// Facets whose simulation has not been built yet. Every call fails the way Windows fails a
// call that this machine cannot serve (ERROR_CALL_NOT_IMPLEMENTED, or RPC_S_SERVER_UNAVAILABLE
// for the spooler), so an engine that reaches them sees a failure, never a false success.
#pragma once
#include "platform/platform.h"

namespace qx::sim {

class UnbuiltSpooler : public Spooler {
 public:
  explicit UnbuiltSpooler(System& system) : system_(system) {}

  BOOL EnumPrintersA(DWORD, const char*, std::vector<PRINTER_INFO_2A>& printers) override {
    printers.clear();
    return Fail();
  }
  BOOL OpenPrinterA(const char*, HANDLE* printer, const PRINTER_DEFAULTSA*) override {
    if (printer) *printer = nullptr;
    return Fail();
  }
  BOOL SetPrinterA(HANDLE, DWORD, const PRINTER_INFO_2A*, DWORD) override { return Fail(); }
  BOOL ClosePrinter(HANDLE) override { return Fail(); }
  BOOL DeletePrinter(HANDLE) override { return Fail(); }
  BOOL DeletePrinterConnectionA(const char*) override { return Fail(); }
  BOOL EnumPrinterDriversA(const char*, const char*, std::vector<DRIVER_INFO_2A>& drivers) override {
    drivers.clear();
    return Fail();
  }
  BOOL DeletePrinterDriverA(const char*, const char*, const char*) override { return Fail(); }
  BOOL EnumMonitorsA(const char*, std::vector<MONITOR_INFO_1A>& monitors) override {
    monitors.clear();
    return Fail();
  }
  BOOL DeleteMonitorA(const char*, const char*, const char*) override { return Fail(); }
  BOOL EnumPortsA(const char*, std::vector<PORT_INFO_2A>& ports) override {
    ports.clear();
    return Fail();
  }
  BOOL DeletePortA(const char*, HWND, const char*) override { return Fail(); }
  BOOL EnumPrintProcessorsA(const char*, const char*, std::vector<PRINTPROCESSOR_INFO_1A>& processors) override {
    processors.clear();
    return Fail();
  }
  BOOL DeletePrintProcessorA(const char*, const char*, const char*) override { return Fail(); }

 private:
  BOOL Fail() {
    system_.SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return FALSE;
  }
  System& system_;
};

class UnbuiltDde : public Dde {
 public:
  explicit UnbuiltDde(System& system) : system_(system) {}

  UINT DdeInitializeA(DWORD*, PFNCALLBACK, DWORD, DWORD) override {
    system_.SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return DMLERR_SYS_ERROR;
  }
  HSZ DdeCreateStringHandleA(DWORD, const char*, int) override { return Fail<HSZ>(nullptr); }
  BOOL DdeFreeStringHandle(DWORD, HSZ) override { return Fail(FALSE); }
  HCONV DdeConnect(DWORD, HSZ, HSZ, const CONVCONTEXT*) override { return Fail<HCONV>(nullptr); }
  HDDEDATA DdeCreateDataHandle(DWORD, const BYTE*, DWORD, DWORD, HSZ, UINT, UINT) override {
    return Fail<HDDEDATA>(nullptr);
  }
  HDDEDATA DdeClientTransaction(const BYTE*, DWORD, HCONV, HSZ, UINT, UINT, DWORD, DWORD*) override {
    return Fail<HDDEDATA>(nullptr);
  }
  BOOL DdeFreeDataHandle(HDDEDATA) override { return Fail(FALSE); }
  BOOL DdeDisconnect(HCONV) override { return Fail(FALSE); }
  BOOL DdeUninitialize(DWORD) override { return Fail(FALSE); }
  UINT DdeGetLastError(DWORD) override { return DMLERR_DLL_NOT_INITIALIZED; }

 private:
  template <typename T>
  T Fail(T value) {
    system_.SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return value;
  }
  System& system_;
};

class UnbuiltModules : public Modules {
 public:
  explicit UnbuiltModules(System& system) : system_(system) {}

  HMODULE LoadLibraryA(const char*) override { return Fail<HMODULE>(nullptr); }
  FARPROC GetProcAddress(HMODULE, const char*) override { return Fail<FARPROC>(nullptr); }
  BOOL FreeLibrary(HMODULE) override { return Fail(FALSE); }
  // No library ever loads here, so no entry point exists to be called; should one be called
  // all the same, it reports failure.
  DWORD OpenManagerExA(FARPROC, const char*, DWORD, DWORD, HANDLE* manager) override {
    if (manager) *manager = nullptr;
    return Fail<DWORD>(ERROR_CALL_NOT_IMPLEMENTED);
  }
  DWORD UpdatePrinterStatusA(FARPROC, HANDLE, const char*, const void*, DWORD) override {
    return Fail<DWORD>(ERROR_CALL_NOT_IMPLEMENTED);
  }
  DWORD CloseManager(FARPROC, HANDLE) override { return Fail<DWORD>(ERROR_CALL_NOT_IMPLEMENTED); }
  HRESULT DllUnregisterServer(FARPROC) override { return Fail(HResultOf(ERROR_CALL_NOT_IMPLEMENTED)); }
  BOOL CreateProcessA(const char*, const char*, BOOL, DWORD, const char*, const STARTUPINFOA&,
                      PROCESS_INFORMATION& process) override {
    process = PROCESS_INFORMATION{};
    return Fail(FALSE);
  }
  BOOL CloseHandle(HANDLE) override {
    system_.SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }

 private:
  static HRESULT HResultOf(DWORD error) { return static_cast<HRESULT>((error & 0xFFFFu) | 0x80070000u); }
  template <typename T>
  T Fail(T value) {
    system_.SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return value;
  }
  System& system_;
};

class UnbuiltWebAdmin : public WebAdmin {
 public:
  explicit UnbuiltWebAdmin(System& system) : system_(system) {}

  HRESULT CoInitialize() override { return Fail(); }
  void CoUninitialize() override {}
  HRESULT CoCreateInstance(const CLSID&, DWORD, const IID&, IMSAdminBase** object) override {
    if (object) *object = nullptr;
    return Fail();
  }
  HRESULT CoCreateInstance(const CLSID&, DWORD, const IID&, IWamAdmin** object) override {
    if (object) *object = nullptr;
    return Fail();
  }
  ULONG Release(IMSAdminBase*) override { return 0; }
  ULONG Release(IWamAdmin*) override { return 0; }
  ULONG Release(IADs*) override { return 0; }
  HRESULT OpenKey(IMSAdminBase*, METADATA_HANDLE, const WCHAR*, DWORD, DWORD, METADATA_HANDLE* opened) override {
    if (opened) *opened = 0;
    return Fail();
  }
  HRESULT CloseKey(IMSAdminBase*, METADATA_HANDLE) override { return Fail(); }
  HRESULT DeleteKey(IMSAdminBase*, METADATA_HANDLE, const WCHAR*) override { return Fail(); }
  HRESULT SaveData(IMSAdminBase*) override { return Fail(); }
  HRESULT AppDelete(IWamAdmin*, const WCHAR*, BOOL) override { return Fail(); }
  HRESULT ADsGetObject(FARPROC, const WCHAR*, const IID&, IADs** object) override {
    if (object) *object = nullptr;
    return Fail();
  }
  int MultiByteToWideChar(UINT, DWORD, const char*, int, WCHAR*, int) override {
    system_.SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
  }

 private:
  HRESULT Fail() {
    system_.SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return HResultFromWin32(ERROR_CALL_NOT_IMPLEMENTED);
  }
  System& system_;
};

}  // namespace qx::sim
