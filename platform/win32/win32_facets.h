// The real backend: each facet forwards to the Windows call of the same name.
//
// This header needs no system header, so that code that only builds a RealPlatform does not
// see <windows.h>; the conversions between the facets' types and Windows' own live in the
// .cpp files.
#pragma once
#include "platform/platform.h"

namespace qx::win32 {

class Win32Registry final : public Registry {
 public:
  LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM sam, HKEY* result) override;
  LONG RegCreateKeyExA(HKEY key, const char* subKey, const char* keyClass, DWORD options, REGSAM sam,
                       HKEY* result, DWORD* disposition) override;
  LONG RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* cbData) override;
  LONG RegSetValueExA(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD cbData) override;
  LONG RegDeleteValueA(HKEY key, const char* name) override;
  LONG RegDeleteKeyA(HKEY key, const char* subKey) override;
  LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* cchName) override;
  LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* cchName, DWORD* type, BYTE* data,
                     DWORD* cbData) override;
  LONG RegCloseKey(HKEY key) override;
};

class Win32Files final : public Files {
 public:
  HANDLE CreateFileA(const char* name, DWORD access, DWORD shareMode, DWORD creation,
                     DWORD flagsAndAttributes) override;
  BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read) override;
  BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written) override;
  DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) override;
  BOOL CloseHandle(HANDLE file) override;
  BOOL DeleteFileA(const char* name) override;
  BOOL MoveFileA(const char* from, const char* to) override;
  BOOL MoveFileExA(const char* from, const char* to, DWORD flags) override;
  BOOL SetFileAttributesA(const char* name, DWORD attributes) override;
  BOOL RemoveDirectoryA(const char* name) override;
  HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA& data) override;
  BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA& data) override;
  BOOL FindClose(HANDLE find) override;
  DWORD GetShortPathNameA(const char* longPath, char* shortPath, DWORD cchBuffer) override;
  DWORD GetCurrentDirectoryA(DWORD cchBuffer, char* buffer) override;
  BOOL SetCurrentDirectoryA(const char* path) override;
};

class Win32Profile final : public Profile {
 public:
  DWORD GetPrivateProfileSectionA(const char* section, char* buffer, DWORD cchBuffer, const char* file) override;
  DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
                                 DWORD cchBuffer, const char* file) override;
  BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                  const char* file) override;
  DWORD GetProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
                          DWORD cchBuffer) override;
  BOOL WriteProfileStringA(const char* section, const char* key, const char* value) override;
};

class Win32System final : public System {
 public:
  BOOL GetVersionExA(OSVERSIONINFOA& info) override;
  UINT GetSystemDirectoryA(char* buffer, UINT cchBuffer) override;
  UINT GetWindowsDirectoryA(char* buffer, UINT cchBuffer) override;
  DWORD GetTempPathA(DWORD cchBuffer, char* buffer) override;
  DWORD GetModuleFileNameA(char* buffer, DWORD cchBuffer) override;
  void GetLocalTime(SYSTEMTIME& time) override;
  BOOL GetComputerNameA(char* buffer, DWORD* size) override;
  void Sleep(DWORD milliseconds) override;
  DWORD GetLastError() override;
  void SetLastError(DWORD error) override;
  HANDLE CreateEventA(BOOL manualReset, BOOL initialState, const char* name) override;
  HANDLE OpenEventA(DWORD access, BOOL inherit, const char* name) override;
  BOOL SetEvent(HANDLE event) override;
  HANDLE CreateThread(ThreadProc proc, void* argument) override;
  BOOL CloseHandle(HANDLE handle) override;
};

class Win32Services final : public Services {
 public:
  SC_HANDLE OpenSCManagerA(const char* machine, const char* database, DWORD access) override;
  SC_HANDLE OpenServiceA(SC_HANDLE manager, const char* name, DWORD access) override;
  BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS& status) override;
  BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS& status) override;
  BOOL StartServiceA(SC_HANDLE service, DWORD argc, const char** argv) override;
  BOOL DeleteService(SC_HANDLE service) override;
  BOOL CloseServiceHandle(SC_HANDLE handle) override;
};

class Win32Spooler final : public Spooler {
 public:
  BOOL EnumPrintersA(DWORD flags, const char* name, std::vector<PRINTER_INFO_2A>& printers) override;
  BOOL OpenPrinterA(const char* printerName, HANDLE* printer, const PRINTER_DEFAULTSA* defaults) override;
  BOOL SetPrinterA(HANDLE printer, DWORD level, const PRINTER_INFO_2A* info, DWORD command) override;
  BOOL ClosePrinter(HANDLE printer) override;
  BOOL DeletePrinter(HANDLE printer) override;
  BOOL DeletePrinterConnectionA(const char* name) override;
  BOOL EnumPrinterDriversA(const char* server, const char* environment,
                           std::vector<DRIVER_INFO_2A>& drivers) override;
  BOOL DeletePrinterDriverA(const char* server, const char* environment, const char* driverName) override;
  BOOL EnumMonitorsA(const char* server, std::vector<MONITOR_INFO_1A>& monitors) override;
  BOOL DeleteMonitorA(const char* server, const char* environment, const char* monitorName) override;
  BOOL EnumPortsA(const char* server, std::vector<PORT_INFO_2A>& ports) override;
  BOOL DeletePortA(const char* server, HWND window, const char* portName) override;
  BOOL EnumPrintProcessorsA(const char* server, const char* environment,
                            std::vector<PRINTPROCESSOR_INFO_1A>& processors) override;
  BOOL DeletePrintProcessorA(const char* server, const char* environment, const char* processorName) override;
};

class Win32Windows final : public Windows {
 public:
  HWND FindWindowA(const char* className, const char* windowName) override;
  BOOL EnumWindows(const std::function<BOOL(HWND)>& callback) override;
  int GetWindowTextA(HWND window, char* buffer, int cchBuffer) override;
  int GetClassNameA(HWND window, char* buffer, int cchBuffer) override;
  BOOL IsWindow(HWND window) override;
  LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT SendMessageTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                              UINT timeoutMs, DWORD_PTR* result) override;
};

class Win32Dde final : public Dde {
 public:
  UINT DdeInitializeA(DWORD* instance, PFNCALLBACK callback, DWORD command, DWORD reserved) override;
  HSZ DdeCreateStringHandleA(DWORD instance, const char* text, int codePage) override;
  BOOL DdeFreeStringHandle(DWORD instance, HSZ hsz) override;
  HCONV DdeConnect(DWORD instance, HSZ service, HSZ topic, const CONVCONTEXT* context) override;
  HDDEDATA DdeCreateDataHandle(DWORD instance, const BYTE* source, DWORD cb, DWORD offset, HSZ item,
                               UINT format, UINT command) override;
  HDDEDATA DdeClientTransaction(const BYTE* data, DWORD cbData, HCONV conv, HSZ item, UINT format, UINT type,
                                DWORD timeoutMs, DWORD* result) override;
  BOOL DdeFreeDataHandle(HDDEDATA data) override;
  BOOL DdeDisconnect(HCONV conv) override;
  BOOL DdeUninitialize(DWORD instance) override;
  UINT DdeGetLastError(DWORD instance) override;
};

class Win32Modules final : public Modules {
 public:
  HMODULE LoadLibraryA(const char* fileName) override;
  FARPROC GetProcAddress(HMODULE module, const char* procName) override;
  BOOL FreeLibrary(HMODULE module) override;
  DWORD OpenManagerExA(FARPROC entry, const char* printerName, DWORD reserved, DWORD mode,
                       HANDLE* manager) override;
  DWORD UpdatePrinterStatusA(FARPROC entry, HANDLE manager, const char* setting, const void* value,
                             DWORD size) override;
  DWORD CloseManager(FARPROC entry, HANDLE manager) override;
  HRESULT DllUnregisterServer(FARPROC entry) override;
  BOOL CreateProcessA(const char* applicationName, const char* commandLine, BOOL inheritHandles,
                      DWORD creationFlags, const char* currentDirectory, const STARTUPINFOA& startup,
                      PROCESS_INFORMATION& process) override;
  BOOL CloseHandle(HANDLE handle) override;
};

class Win32Shutdown final : public Shutdown {
 public:
  BOOL OpenProcessToken(DWORD desiredAccess, HANDLE* token) override;
  BOOL LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid) override;
  BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, const TOKEN_PRIVILEGES* newState) override;
  BOOL CloseHandle(HANDLE token) override;
  BOOL ExitWindowsEx(UINT flags, DWORD reason) override;
  BOOL InitiateSystemShutdownExA(FARPROC entry, const char* machineName, const char* message,
                                 DWORD timeoutSeconds, BOOL forceAppsClosed, BOOL rebootAfterShutdown,
                                 DWORD reason) override;
};

class Win32WebAdmin final : public WebAdmin {
 public:
  HRESULT CoInitialize() override;
  void CoUninitialize() override;
  HRESULT CoCreateInstance(const CLSID& clsid, DWORD clsContext, const IID& iid, IMSAdminBase** object) override;
  HRESULT CoCreateInstance(const CLSID& clsid, DWORD clsContext, const IID& iid, IWamAdmin** object) override;
  ULONG Release(IMSAdminBase* object) override;
  ULONG Release(IWamAdmin* object) override;
  ULONG Release(IADs* object) override;
  HRESULT OpenKey(IMSAdminBase* base, METADATA_HANDLE key, const WCHAR* path, DWORD permissions,
                  DWORD timeoutMs, METADATA_HANDLE* opened) override;
  HRESULT CloseKey(IMSAdminBase* base, METADATA_HANDLE key) override;
  HRESULT DeleteKey(IMSAdminBase* base, METADATA_HANDLE key, const WCHAR* path) override;
  HRESULT SaveData(IMSAdminBase* base) override;
  HRESULT AppDelete(IWamAdmin* wam, const WCHAR* path, BOOL recursive) override;
  HRESULT ADsGetObject(FARPROC entry, const WCHAR* path, const IID& iid, IADs** object) override;
  int MultiByteToWideChar(UINT codePage, DWORD flags, const char* multiByte, int cbMultiByte,
                          WCHAR* wideChar, int cchWideChar) override;
};

}  // namespace qx::win32
