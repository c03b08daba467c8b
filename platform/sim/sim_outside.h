// The parts of the simulated machine that belong to other programs: their windows'
// behaviour, the libraries and programs on the disk, and the web server reached through
// COM. Internal to platform/sim, included by sim_state.h.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_sync.h"

namespace qx::sim {

// A window of another program: what it does, and the messages it has not answered yet.
struct ProgramWindowState {
  std::string program;
  WindowBehaviour behaviour;
  bool closing = false;         // goes at closeAtMs of virtual time
  std::uint64_t closeAtMs = 0;
  bool busy = false;            // waiting for its event; messages queue up
  std::uint64_t busySinceMs = 0;
  std::vector<ReceivedMessage> unanswered;
};

// The entry points a simulated library can export.
enum class Entry { kNone = 0, kOpenManagerExA, kUpdatePrinterStatusA, kCloseManager, kDllUnregisterServer, kADsGetObject,
                  kInitiateSystemShutdownExA };

struct LoadedLibrary {
  std::string path;  // as the file is named on the machine
  ModuleSpec spec;
  int references = 0;
};

struct MetabaseHandle {
  std::string path;  // the metabase path it was opened on
  DWORD permissions = 0;
};

struct OutsideState {
  std::vector<std::string> calls;
  int hungSends = 0;

  // Libraries and programs.
  std::map<std::string, ModuleSpec> modules;             // by folded path
  std::map<std::uintptr_t, LoadedLibrary> libraries;     // by module handle; gone when freed
  std::uintptr_t nextModule = 0x10000000;
  std::map<std::uintptr_t, std::string> processHandles;  // started processes' handles: the program
  std::uintptr_t nextProcessHandle = 0x30000;
  DWORD nextProcessId = 0x1A4;
  std::map<std::uintptr_t, std::string> managers;        // open status managers: the printer
  std::uintptr_t nextManager = 0x50000;

  // Events: the rights each OpenEventA handle was granted.
  std::map<std::uintptr_t, DWORD> eventAccess;

  // The web server.
  WebServer web;
  std::map<ThreadId, int> comInit;  // CoInitialize depth per thread
  std::map<std::uintptr_t, int> comObjects;  // live objects: 1 metabase, 2 web applications, 3 directory object
  std::uintptr_t nextComObject = 0x70000;
  std::map<DWORD, MetabaseHandle> metabaseHandles;
  DWORD nextMetabaseHandle = 0x100;
};

class SimModules final : public Modules {
 public:
  explicit SimModules(SimMachine::State& s) : s_(s) {}
  HMODULE LoadLibraryA(const char* fileName) override;
  FARPROC GetProcAddress(HMODULE module, const char* procName) override;
  BOOL FreeLibrary(HMODULE module) override;
  DWORD OpenManagerExA(FARPROC entry, const char* printerName, DWORD reserved, DWORD mode, HANDLE* manager) override;
  DWORD UpdatePrinterStatusA(FARPROC entry, HANDLE manager, const char* setting, const void* value,
                             DWORD size) override;
  DWORD CloseManager(FARPROC entry, HANDLE manager) override;
  HRESULT DllUnregisterServer(FARPROC entry) override;
  BOOL CreateProcessA(const char* applicationName, const char* commandLine, BOOL inheritHandles, DWORD creationFlags,
                      const char* currentDirectory, const STARTUPINFOA& startup,
                      PROCESS_INFORMATION& process) override;
  BOOL CloseHandle(HANDLE handle) override;

 private:
  SimMachine::State& s_;
};

class SimWebAdmin final : public WebAdmin {
 public:
  explicit SimWebAdmin(SimMachine::State& s) : s_(s) {}
  HRESULT CoInitialize() override;
  void CoUninitialize() override;
  HRESULT CoCreateInstance(const CLSID& clsid, DWORD clsContext, const IID& iid, IMSAdminBase** object) override;
  HRESULT CoCreateInstance(const CLSID& clsid, DWORD clsContext, const IID& iid, IWamAdmin** object) override;
  ULONG Release(IMSAdminBase* object) override;
  ULONG Release(IWamAdmin* object) override;
  ULONG Release(IADs* object) override;
  HRESULT OpenKey(IMSAdminBase* base, METADATA_HANDLE key, const WCHAR* path, DWORD permissions, DWORD timeoutMs,
                  METADATA_HANDLE* opened) override;
  HRESULT CloseKey(IMSAdminBase* base, METADATA_HANDLE key) override;
  HRESULT DeleteKey(IMSAdminBase* base, METADATA_HANDLE key, const WCHAR* path) override;
  HRESULT SaveData(IMSAdminBase* base) override;
  HRESULT AppDelete(IWamAdmin* wam, const WCHAR* path, BOOL recursive) override;
  HRESULT ADsGetObject(FARPROC entry, const WCHAR* path, const IID& iid, IADs** object) override;
  int MultiByteToWideChar(UINT codePage, DWORD flags, const char* multiByte, int cbMultiByte, WCHAR* wideChar,
                          int cchWideChar) override;

 private:
  HRESULT Create(const CLSID& clsid, const IID& iid, int kind, const char* name, std::uintptr_t& object);
  ULONG ReleaseObject(std::uintptr_t object, int kind, const char* name);
  SimMachine::State& s_;
};

// The loaded library of an entry point when it is the expected entry of a library still
// loaded; otherwise the call is recorded as one that would crash the program, and null.
LoadedLibrary* CallableEntry(SimMachine::State& s, FARPROC entry, Entry expected, const std::string& call);
std::string HResultText(HRESULT hr);

// Text helpers for the call records (Hex and Quoted are in sim_text.h).
std::string WideToCp932(const WCHAR* text);

}  // namespace qx::sim
