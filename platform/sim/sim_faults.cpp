// Fault injection, as facets wrapping the core ones. A call that matches a fault fails the
// way Windows fails that call (registry calls return the error; the others return their
// failure value and set the last error) and changes nothing.
//
// The object a call is on: a registry call's key as a full path (the key the handle stands
// for, with the subkey appended; a value call also matches "key\value name"); a file call's
// full path (a handle's file; both names of a move; a search's pattern and its directory);
// an initialization file's full path; an event's name; a service's name; a window's class
// and its title.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/sim/sim_state.h"

namespace qx::sim {

namespace {

using Lock = std::lock_guard<MachineMutex>;
using Objects = std::vector<std::string>;

// Errors of the storm that the platform headers do not need.
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_PATH_BUSY = 148;
constexpr DWORD ERROR_SERVICE_DATABASE_LOCKED = 1055;
constexpr DWORD ERROR_NOT_ENOUGH_QUOTA = 1816;
constexpr DWORD kEAccessDenied = 0x80070005;          // E_ACCESSDENIED
constexpr DWORD kEOutOfMemory = 0x8007000E;           // E_OUTOFMEMORY
constexpr DWORD kServerExecFailure = 0x80080005;      // CO_E_SERVER_EXEC_FAILURE
constexpr DWORD kSelfRegClass = 0x80040201;           // SELFREG_E_CLASS
constexpr DWORD kRpcServerUnavailable = 0x800706BA;   // HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE)
constexpr DWORD kPathBusy = 0x80070094;               // HRESULT_FROM_WIN32(ERROR_PATH_BUSY)

// How a call reports its failure: a system error code (returned, or set as the last error),
// an HRESULT, or a DDEML error recorded on the instance.
enum class Reports { kError, kHResult, kDde };
// Whether a call can change what the machine keeps over a restart (by its arguments: the
// caller says).
enum class Changes { kNo, kYes, kByArguments };

struct CallSpec {
  const char* name;
  Reports reports;
  Changes changes;
  std::vector<DWORD> storm;  // the errors Windows gives for the call when it fails under load; none: spared
};

// Every call that fault injection sees. The storm's errors are those the call's reference
// gives for a machine under load or another program in the way (access refused, file in use,
// memory short, a name that grew past the buffer during an enumeration, a service that did not
// answer in time, the spooler's RPC server away, a printer object in use); errors that would
// say something the machine contradicts (a present key "not found" to a deletion) are left
// out, and so are calls that do not fail on a working system (closing handles, asking the
// version or directories, the engine's own window and thread).
const std::vector<CallSpec>& CallTable() {
  static const std::vector<CallSpec> table = {
      // registry
      {"RegOpenKeyExA", Reports::kError, Changes::kNo, {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND, ERROR_NOT_ENOUGH_MEMORY}},
      {"RegCreateKeyExA", Reports::kError, Changes::kYes, {ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY}},
      {"RegQueryValueExA", Reports::kError, Changes::kNo, {ERROR_FILE_NOT_FOUND, ERROR_NOT_ENOUGH_MEMORY}},
      {"RegSetValueExA", Reports::kError, Changes::kYes, {ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY}},
      {"RegDeleteValueA", Reports::kError, Changes::kYes, {ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY}},
      {"RegDeleteKeyA", Reports::kError, Changes::kYes, {ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY}},
      {"RegEnumKeyExA", Reports::kError, Changes::kNo, {ERROR_MORE_DATA, ERROR_NOT_ENOUGH_MEMORY}},
      {"RegEnumValueA", Reports::kError, Changes::kNo, {ERROR_MORE_DATA, ERROR_NOT_ENOUGH_MEMORY}},
      {"RegCloseKey", Reports::kError, Changes::kNo, {}},
      // files
      {"CreateFileA", Reports::kError, Changes::kByArguments,
       {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_NOT_ENOUGH_MEMORY}},
      {"ReadFile", Reports::kError, Changes::kNo, {ERROR_LOCK_VIOLATION, ERROR_NOT_ENOUGH_MEMORY}},
      {"WriteFile", Reports::kError, Changes::kYes, {ERROR_DISK_FULL, ERROR_LOCK_VIOLATION, ERROR_NOT_ENOUGH_MEMORY}},
      {"SetFilePointer", Reports::kError, Changes::kNo, {}},
      {"CloseHandle", Reports::kError, Changes::kNo, {}},
      {"DeleteFileA", Reports::kError, Changes::kYes, {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_NOT_ENOUGH_MEMORY}},
      {"MoveFileA", Reports::kError, Changes::kYes,
       {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_DISK_FULL, ERROR_NOT_ENOUGH_MEMORY}},
      {"MoveFileExA", Reports::kError, Changes::kYes,
       {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_DISK_FULL, ERROR_NOT_ENOUGH_MEMORY}},
      {"SetFileAttributesA", Reports::kError, Changes::kYes, {ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY}},
      {"RemoveDirectoryA", Reports::kError, Changes::kYes, {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_NOT_ENOUGH_MEMORY}},
      {"FindFirstFileA", Reports::kError, Changes::kNo,
       {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_NOT_ENOUGH_MEMORY}},
      {"FindNextFileA", Reports::kError, Changes::kNo, {ERROR_NOT_ENOUGH_MEMORY}},
      {"FindClose", Reports::kError, Changes::kNo, {}},
      {"GetShortPathNameA", Reports::kError, Changes::kNo, {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND, ERROR_NOT_ENOUGH_MEMORY}},
      {"GetCurrentDirectoryA", Reports::kError, Changes::kNo, {}},
      {"SetCurrentDirectoryA", Reports::kError, Changes::kNo, {}},
      // initialization files (the read calls copy the default when the file cannot be read)
      {"GetPrivateProfileSectionA", Reports::kError, Changes::kNo, {ERROR_SHARING_VIOLATION, ERROR_NOT_ENOUGH_MEMORY}},
      {"GetPrivateProfileStringA", Reports::kError, Changes::kNo, {ERROR_SHARING_VIOLATION, ERROR_NOT_ENOUGH_MEMORY}},
      {"WritePrivateProfileStringA", Reports::kError, Changes::kYes, {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_DISK_FULL}},
      {"GetProfileStringA", Reports::kError, Changes::kNo, {ERROR_NOT_ENOUGH_MEMORY}},
      {"WriteProfileStringA", Reports::kError, Changes::kYes, {ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY}},
      // system
      {"GetVersionExA", Reports::kError, Changes::kNo, {}},
      {"GetSystemDirectoryA", Reports::kError, Changes::kNo, {}},
      {"GetWindowsDirectoryA", Reports::kError, Changes::kNo, {}},
      {"GetTempPathA", Reports::kError, Changes::kNo, {}},
      {"GetModuleFileNameA", Reports::kError, Changes::kNo, {}},
      {"GetComputerNameA", Reports::kError, Changes::kNo, {}},
      {"CreateEventA", Reports::kError, Changes::kNo, {}},
      {"OpenEventA", Reports::kError, Changes::kNo, {ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY}},
      {"SetEvent", Reports::kError, Changes::kNo, {}},
      {"CreateThread", Reports::kError, Changes::kNo, {}},
      // services
      {"OpenSCManagerA", Reports::kError, Changes::kNo, {ERROR_ACCESS_DENIED}},
      {"OpenServiceA", Reports::kError, Changes::kNo, {ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY}},
      {"QueryServiceStatus", Reports::kError, Changes::kNo, {ERROR_ACCESS_DENIED}},
      // Not ERROR_SERVICE_NOT_ACTIVE: Windows gives it only for a service that is not running,
      // and the run rightly takes it as stopped; as a random answer it would describe a state
      // the machine is not in (a running service then deleted under the run's feet).
      {"ControlService", Reports::kError, Changes::kYes,
       {ERROR_ACCESS_DENIED, ERROR_DEPENDENT_SERVICES_RUNNING, ERROR_SERVICE_CANNOT_ACCEPT_CTRL,
        ERROR_SERVICE_REQUEST_TIMEOUT}},
      {"StartServiceA", Reports::kError, Changes::kYes,
       {ERROR_ACCESS_DENIED, ERROR_SERVICE_ALREADY_RUNNING, ERROR_SERVICE_REQUEST_TIMEOUT, ERROR_SERVICE_DATABASE_LOCKED}},
      {"DeleteService", Reports::kError, Changes::kYes, {ERROR_ACCESS_DENIED, ERROR_SERVICE_MARKED_FOR_DELETE}},
      {"CloseServiceHandle", Reports::kError, Changes::kNo, {}},
      // other programs' windows (the engine's own window answers every message)
      {"FindWindowA", Reports::kError, Changes::kNo, {}},
      {"EnumWindows", Reports::kError, Changes::kNo, {}},
      {"GetWindowTextA", Reports::kError, Changes::kNo, {ERROR_INVALID_WINDOW_HANDLE}},
      {"GetClassNameA", Reports::kError, Changes::kNo, {ERROR_INVALID_WINDOW_HANDLE}},
      {"IsWindow", Reports::kError, Changes::kNo, {}},
      {"SendMessageA", Reports::kError, Changes::kNo, {}},
      {"PostMessageA", Reports::kError, Changes::kNo, {ERROR_NOT_ENOUGH_QUOTA, ERROR_INVALID_WINDOW_HANDLE}},
      {"SendMessageTimeoutA", Reports::kError, Changes::kNo, {ERROR_TIMEOUT}},
      // print spooler
      {"EnumPrintersA", Reports::kError, Changes::kNo, {RPC_S_SERVER_UNAVAILABLE, ERROR_NOT_ENOUGH_MEMORY}},
      {"OpenPrinterA", Reports::kError, Changes::kNo, {ERROR_INVALID_PRINTER_NAME, ERROR_ACCESS_DENIED, RPC_S_SERVER_UNAVAILABLE}},
      {"SetPrinterA", Reports::kError, Changes::kYes, {ERROR_ACCESS_DENIED, RPC_S_SERVER_UNAVAILABLE, ERROR_NOT_ENOUGH_MEMORY}},
      {"ClosePrinter", Reports::kError, Changes::kNo, {}},
      {"DeletePrinter", Reports::kError, Changes::kYes, {ERROR_ACCESS_DENIED, RPC_S_SERVER_UNAVAILABLE, ERROR_NOT_ENOUGH_MEMORY}},
      {"DeletePrinterConnectionA", Reports::kError, Changes::kYes,
       {ERROR_INVALID_PRINTER_NAME, ERROR_ACCESS_DENIED, RPC_S_SERVER_UNAVAILABLE}},
      {"EnumPrinterDriversA", Reports::kError, Changes::kNo, {RPC_S_SERVER_UNAVAILABLE, ERROR_NOT_ENOUGH_MEMORY}},
      {"DeletePrinterDriverA", Reports::kError, Changes::kYes,
       {ERROR_PRINTER_DRIVER_IN_USE, ERROR_ACCESS_DENIED, RPC_S_SERVER_UNAVAILABLE}},
      {"EnumMonitorsA", Reports::kError, Changes::kNo, {RPC_S_SERVER_UNAVAILABLE, ERROR_NOT_ENOUGH_MEMORY}},
      {"DeleteMonitorA", Reports::kError, Changes::kYes,
       {ERROR_PRINT_MONITOR_IN_USE, ERROR_BUSY, ERROR_ACCESS_DENIED, RPC_S_SERVER_UNAVAILABLE}},
      {"EnumPortsA", Reports::kError, Changes::kNo, {RPC_S_SERVER_UNAVAILABLE, ERROR_NOT_ENOUGH_MEMORY}},
      {"DeletePortA", Reports::kError, Changes::kYes, {ERROR_BUSY, ERROR_ACCESS_DENIED, RPC_S_SERVER_UNAVAILABLE}},
      {"EnumPrintProcessorsA", Reports::kError, Changes::kNo, {RPC_S_SERVER_UNAVAILABLE, ERROR_NOT_ENOUGH_MEMORY}},
      {"DeletePrintProcessorA", Reports::kError, Changes::kYes,
       {ERROR_CAN_NOT_COMPLETE, ERROR_ACCESS_DENIED, RPC_S_SERVER_UNAVAILABLE}},
      // Program Manager over DDE (a busy shell refuses or times out)
      {"DdeConnect", Reports::kDde, Changes::kNo, {DMLERR_NO_CONV_ESTABLISHED}},
      {"DdeClientTransaction", Reports::kDde, Changes::kYes, {DMLERR_BUSY, DMLERR_EXECACKTIMEOUT, DMLERR_NOTPROCESSED}},
      // libraries and programs
      {"LoadLibraryA", Reports::kError, Changes::kNo, {ERROR_NOT_ENOUGH_MEMORY, ERROR_DLL_INIT_FAILED}},
      {"GetProcAddress", Reports::kError, Changes::kNo, {}},
      {"CreateProcessA", Reports::kError, Changes::kYes, {ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY}},
      {"OpenManagerExA", Reports::kError, Changes::kNo, {ERROR_INVALID_PRINTER_NAME, ERROR_NOT_ENOUGH_MEMORY}},
      {"DllUnregisterServer", Reports::kHResult, Changes::kYes, {kSelfRegClass, kEOutOfMemory}},
      // restart
      {"OpenProcessToken", Reports::kError, Changes::kNo, {ERROR_ACCESS_DENIED}},
      {"LookupPrivilegeValueA", Reports::kError, Changes::kNo, {}},
      {"AdjustTokenPrivileges", Reports::kError, Changes::kNo, {ERROR_ACCESS_DENIED}},
      {"ExitWindowsEx", Reports::kError, Changes::kYes, {ERROR_SHUTDOWN_IN_PROGRESS}},
      {"InitiateSystemShutdownExA", Reports::kError, Changes::kYes, {ERROR_SHUTDOWN_IN_PROGRESS, ERROR_ACCESS_DENIED}},
      // web server
      {"CoInitialize", Reports::kHResult, Changes::kNo, {}},
      {"CoCreateInstance", Reports::kHResult, Changes::kNo, {kServerExecFailure, kEOutOfMemory}},
      {"OpenKey", Reports::kHResult, Changes::kNo, {kPathBusy, kEAccessDenied}},
      {"DeleteKey", Reports::kHResult, Changes::kYes, {kEAccessDenied, kPathBusy}},
      {"SaveData", Reports::kHResult, Changes::kNo, {kEAccessDenied}},
      {"AppDelete", Reports::kHResult, Changes::kYes, {kEAccessDenied, kEOutOfMemory}},
      {"ADsGetObject", Reports::kHResult, Changes::kNo, {kRpcServerUnavailable, kEOutOfMemory}},
      {"MultiByteToWideChar", Reports::kError, Changes::kNo, {}},
  };
  return table;
}

const CallSpec* Spec(std::string_view call) {
  for (const CallSpec& c : CallTable())
    if (cp932::EqualNoCase(c.name, call)) return &c;
  return nullptr;
}

// splitmix64: the same numbers from the same seed on every compiler and library.
std::uint64_t NextDraw(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

bool SimMachine::KnowsCall(std::string_view call) { return Spec(call) != nullptr; }

std::optional<DWORD> SimMachine::State::FaultFor(std::string_view call, const std::vector<std::string>& objects,
                                                 std::optional<bool> changes) {
  Lock lock(mu);
  const CallSpec* spec = Spec(call);
  if (!spec) {
    std::fprintf(stderr, "simulated machine: fault injection met the unknown call %.*s\n",
                 static_cast<int>(call.size()), call.data());
    std::abort();
  }
  ++platformCalls;
  // The fuse blows once: the calls that the thread's unwinding makes go through.
  if (runawayLimit && platformCalls == runawayLimit + 1) {
    ranAway = true;
    throw RunawayRun{platformCalls};
  }
  const bool changing = changes ? *changes : spec->changes != Changes::kNo;
  const std::string object = objects.empty() ? std::string() : objects.front();
  if (changing && poweredOff) {
    switch (spec->reports) {
      case Reports::kError: return ERROR_NOT_READY;
      case Reports::kHResult: return static_cast<DWORD>(HResultFromWin32(ERROR_NOT_READY));
      case Reports::kDde: return DMLERR_SYS_ERROR;
    }
  }

  std::optional<DWORD> hit;
  for (std::size_t i = 0; i < faults.size(); ++i) {
    const Fault& f = faults[i];
    if (!cp932::EqualNoCase(f.call, call)) continue;
    if (!f.object.empty()) {
      std::string key = CanonicalKeyPath(f.object);
      std::string file = FullPath(f.object.c_str());
      bool match = false;
      for (const auto& o : objects) {
        if (o.empty()) continue;
        if (cp932::EqualNoCase(o, f.object) || (!key.empty() && cp932::EqualNoCase(o, key)) ||
            cp932::EqualNoCase(o, file))
          match = true;
      }
      if (!match) continue;
    }
    ++faultCalls[i];
    if (!hit && (f.nth == 0 || faultCalls[i] == f.nth)) hit = f.error;
  }
  if (hit) return hit;

  if (storm.percent && !spec->storm.empty()) {
    // One draw decides, a second picks the error, so that the decisions of a seed do not
    // depend on how many errors a call has.
    std::uint64_t decide = NextDraw(stormDraws);
    std::uint64_t pick = NextDraw(stormDraws);
    if (decide % 10000 < static_cast<std::uint64_t>(storm.percent) * 100) {
      DWORD error = spec->storm[pick % spec->storm.size()];
      stormFailures.push_back({platformCalls, spec->name, object, error});
      return error;
    }
  }

  if (changing) {
    changingCalls.push_back({platformCalls, spec->name, object, 0});
    if (cutAt && changingCalls.size() >= *cutAt) poweredOff = true;
  }
  return std::nullopt;
}

void SimMachine::State::PowerOn() {
  poweredOff = false;
  cutAt.reset();
  changingCalls.clear();
  platformCalls = 0;
}

void SimMachine::SetFaultStorm(FaultStorm s) {
  Lock lock(state_->mu);
  state_->storm = s;
  state_->stormDraws = s.seed;
}

std::vector<PlatformCall> SimMachine::StormFailures() const {
  Lock lock(state_->mu);
  return state_->stormFailures;
}

void SimMachine::CutAfter(std::uint64_t calls) {
  Lock lock(state_->mu);
  state_->cutAt = state_->changingCalls.size() + calls;
  if (calls == 0) state_->poweredOff = true;
}

bool SimMachine::PoweredOff() const {
  Lock lock(state_->mu);
  return state_->poweredOff;
}

std::uint64_t SimMachine::ChangingCalls() const {
  Lock lock(state_->mu);
  return state_->changingCalls.size();
}

std::vector<PlatformCall> SimMachine::ChangingCallLog() const {
  Lock lock(state_->mu);
  return state_->changingCalls;
}

std::optional<PlatformCall> SimMachine::CutCall() const {
  Lock lock(state_->mu);
  const State& s = *state_;
  if (!s.poweredOff || !s.cutAt || *s.cutAt == 0 || *s.cutAt > s.changingCalls.size()) return std::nullopt;
  return s.changingCalls[*s.cutAt - 1];
}

void SimMachine::SetRunawayLimit(std::uint64_t calls) {
  Lock lock(state_->mu);
  state_->runawayLimit = calls;
}

std::uint64_t SimMachine::PlatformCalls() const {
  Lock lock(state_->mu);
  return state_->platformCalls;
}

bool SimMachine::RanAway() const {
  Lock lock(state_->mu);
  return state_->ranAway;
}

namespace {

// ---------------------------------------------------------------- registry

class FaultRegistry final : public Registry {
 public:
  FaultRegistry(SimMachine::State& s, Registry& core) : s_(s), core_(core) {}

  LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM sam, HKEY* result) override {
    if (auto e = s_.FaultFor("RegOpenKeyExA", {Path(key, subKey)})) {
      if (result) *result = nullptr;
      return static_cast<LONG>(*e);
    }
    return core_.RegOpenKeyExA(key, subKey, options, sam, result);
  }
  LONG RegCreateKeyExA(HKEY key, const char* subKey, const char* keyClass, DWORD options, REGSAM sam, HKEY* result,
                       DWORD* disposition) override {
    if (auto e = s_.FaultFor("RegCreateKeyExA", {Path(key, subKey)})) {
      if (result) *result = nullptr;
      return static_cast<LONG>(*e);
    }
    return core_.RegCreateKeyExA(key, subKey, keyClass, options, sam, result, disposition);
  }
  LONG RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* cbData) override {
    if (auto e = s_.FaultFor("RegQueryValueExA", ValueObjects(key, name))) return static_cast<LONG>(*e);
    return core_.RegQueryValueExA(key, name, type, data, cbData);
  }
  LONG RegSetValueExA(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD cbData) override {
    if (auto e = s_.FaultFor("RegSetValueExA", ValueObjects(key, name))) return static_cast<LONG>(*e);
    return core_.RegSetValueExA(key, name, type, data, cbData);
  }
  LONG RegDeleteValueA(HKEY key, const char* name) override {
    if (auto e = s_.FaultFor("RegDeleteValueA", ValueObjects(key, name))) return static_cast<LONG>(*e);
    return core_.RegDeleteValueA(key, name);
  }
  LONG RegDeleteKeyA(HKEY key, const char* subKey) override {
    if (auto e = s_.FaultFor("RegDeleteKeyA", {Path(key, subKey)})) return static_cast<LONG>(*e);
    return core_.RegDeleteKeyA(key, subKey);
  }
  LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* cchName) override {
    if (auto e = s_.FaultFor("RegEnumKeyExA", {Path(key, nullptr)})) return static_cast<LONG>(*e);
    return core_.RegEnumKeyExA(key, index, name, cchName);
  }
  LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* cchName, DWORD* type, BYTE* data,
                     DWORD* cbData) override {
    if (auto e = s_.FaultFor("RegEnumValueA", {Path(key, nullptr)})) return static_cast<LONG>(*e);
    return core_.RegEnumValueA(key, index, name, cchName, type, data, cbData);
  }
  LONG RegCloseKey(HKEY key) override {
    if (auto e = s_.FaultFor("RegCloseKey", {Path(key, nullptr)})) return static_cast<LONG>(*e);
    return core_.RegCloseKey(key);
  }

 private:
  std::string Path(HKEY key, const char* subKey) {
    Lock lock(s_.mu);
    return s_.HandleKeyPath(key, subKey);
  }
  Objects ValueObjects(HKEY key, const char* name) {
    std::string k = Path(key, nullptr);
    return {k, k + "\\" + (name ? name : "")};
  }
  SimMachine::State& s_;
  Registry& core_;
};

// ---------------------------------------------------------------- files

class FaultFiles final : public Files {
 public:
  FaultFiles(SimMachine::State& s, Files& core) : s_(s), core_(core) {}

  HANDLE CreateFileA(const char* name, DWORD access, DWORD shareMode, DWORD creation, DWORD flags) override {
    // Opening what exists changes nothing; every other disposition can create or truncate.
    if (Failed("CreateFileA", {Full(name)}, creation != OPEN_EXISTING)) return INVALID_HANDLE_VALUE;
    return core_.CreateFileA(name, access, shareMode, creation, flags);
  }
  BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read) override {
    if (Failed("ReadFile", {HandlePath(file)})) {
      if (read) *read = 0;
      return FALSE;
    }
    return core_.ReadFile(file, buffer, toRead, read);
  }
  BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written) override {
    if (Failed("WriteFile", {HandlePath(file)})) {
      if (written) *written = 0;
      return FALSE;
    }
    return core_.WriteFile(file, buffer, toWrite, written);
  }
  DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) override {
    if (Failed("SetFilePointer", {HandlePath(file)})) return INVALID_SET_FILE_POINTER;
    return core_.SetFilePointer(file, distance, distanceHigh, method);
  }
  BOOL CloseHandle(HANDLE file) override {
    if (Failed("CloseHandle", {HandlePath(file)})) return FALSE;
    return core_.CloseHandle(file);
  }
  BOOL DeleteFileA(const char* name) override {
    if (Failed("DeleteFileA", {Full(name)})) return FALSE;
    return core_.DeleteFileA(name);
  }
  BOOL MoveFileA(const char* from, const char* to) override {
    if (Failed("MoveFileA", {Full(from), Full(to)})) return FALSE;
    return core_.MoveFileA(from, to);
  }
  BOOL MoveFileExA(const char* from, const char* to, DWORD flags) override {
    if (Failed("MoveFileExA", {Full(from), Full(to)})) return FALSE;
    return core_.MoveFileExA(from, to, flags);
  }
  BOOL SetFileAttributesA(const char* name, DWORD attributes) override {
    if (Failed("SetFileAttributesA", {Full(name)})) return FALSE;
    return core_.SetFileAttributesA(name, attributes);
  }
  BOOL RemoveDirectoryA(const char* name) override {
    if (Failed("RemoveDirectoryA", {Full(name)})) return FALSE;
    return core_.RemoveDirectoryA(name);
  }
  HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA& data) override {
    std::string full = Full(pattern);
    std::size_t slash = cp932::FindLast(full, '\\');
    std::string dir = slash == std::string::npos ? full : full.substr(0, slash == 2 ? 3 : slash);
    if (Failed("FindFirstFileA", {full, dir})) return INVALID_HANDLE_VALUE;
    return core_.FindFirstFileA(pattern, data);
  }
  BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA& data) override {
    if (Failed("FindNextFileA", {HandlePath(find)})) return FALSE;
    return core_.FindNextFileA(find, data);
  }
  BOOL FindClose(HANDLE find) override {
    if (Failed("FindClose", {HandlePath(find)})) return FALSE;
    return core_.FindClose(find);
  }
  DWORD GetShortPathNameA(const char* longPath, char* shortPath, DWORD cchBuffer) override {
    if (Failed("GetShortPathNameA", {Full(longPath)})) return 0;
    return core_.GetShortPathNameA(longPath, shortPath, cchBuffer);
  }
  DWORD GetCurrentDirectoryA(DWORD cchBuffer, char* buffer) override {
    if (Failed("GetCurrentDirectoryA", {})) return 0;
    return core_.GetCurrentDirectoryA(cchBuffer, buffer);
  }
  BOOL SetCurrentDirectoryA(const char* path) override {
    if (Failed("SetCurrentDirectoryA", {Full(path)})) return FALSE;
    return core_.SetCurrentDirectoryA(path);
  }

 private:
  bool Failed(std::string_view call, const Objects& objects, std::optional<bool> changes = std::nullopt) {
    auto e = s_.FaultFor(call, objects, changes);
    if (e) s_.SetError(*e);
    return e.has_value();
  }
  std::string Full(const char* name) {
    Lock lock(s_.mu);
    return name ? s_.FullPath(name) : "";
  }
  std::string HandlePath(HANDLE h) {
    Lock lock(s_.mu);
    auto* obj = s_.Kernel(h);
    if (!obj) return "";
    if (auto* f = std::get_if<OpenFile>(obj)) return f->path;
    if (auto* f = std::get_if<FindSearch>(obj)) return f->directory;
    if (auto* e = std::get_if<std::shared_ptr<SimEvent>>(obj)) return (*e)->name;
    return "";
  }
  SimMachine::State& s_;
  Files& core_;
};

// ---------------------------------------------------------------- profile

class FaultProfile final : public Profile {
 public:
  FaultProfile(SimMachine::State& s, Profile& core) : s_(s), core_(core) {}

  DWORD GetPrivateProfileSectionA(const char* section, char* buffer, DWORD cchBuffer, const char* file) override {
    if (Failed("GetPrivateProfileSectionA", file)) return Empty(buffer, cchBuffer);
    return core_.GetPrivateProfileSectionA(section, buffer, cchBuffer, file);
  }
  DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* def, char* buffer, DWORD cch,
                                 const char* file) override {
    if (Failed("GetPrivateProfileStringA", file)) return Default(section, key, def, buffer, cch);
    return core_.GetPrivateProfileStringA(section, key, def, buffer, cch, file);
  }
  BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* file) override {
    if (Failed("WritePrivateProfileStringA", file)) return FALSE;
    return core_.WritePrivateProfileStringA(section, key, value, file);
  }
  DWORD GetProfileStringA(const char* section, const char* key, const char* def, char* buffer, DWORD cch) override {
    if (Failed("GetProfileStringA", "win.ini")) return Default(section, key, def, buffer, cch);
    return core_.GetProfileStringA(section, key, def, buffer, cch);
  }
  BOOL WriteProfileStringA(const char* section, const char* key, const char* value) override {
    if (Failed("WriteProfileStringA", "win.ini")) return FALSE;
    return core_.WriteProfileStringA(section, key, value);
  }

 private:
  static DWORD Empty(char* buffer, DWORD cch) {
    if (buffer && cch) buffer[0] = '\0';
    if (buffer && cch > 1) buffer[1] = '\0';
    return 0;
  }
  // A file that cannot be read gives the caller's default, cut to the buffer, as for a
  // missing file; a listing of sections or keys gives nothing.
  static DWORD Default(const char* section, const char* key, const char* def, char* buffer, DWORD cch) {
    if (!section || !key || !def || !buffer || cch == 0) return Empty(buffer, cch);
    std::size_t n = std::min<std::size_t>(std::strlen(def), cch - 1);
    std::memcpy(buffer, def, n);
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
  }
  bool Failed(std::string_view call, const char* file) {
    std::string path;
    {
      Lock lock(s_.mu);
      path = s_.FullPath(IniFilePath(s_.settings, file).c_str());
    }
    auto e = s_.FaultFor(call, {path});
    if (e) s_.SetError(*e);
    return e.has_value();
  }
  SimMachine::State& s_;
  Profile& core_;
};

// ---------------------------------------------------------------- system

class FaultSystem final : public System {
 public:
  FaultSystem(SimMachine::State& s, System& core) : s_(s), core_(core) {}

  BOOL GetVersionExA(OSVERSIONINFOA& info) override {
    if (Failed("GetVersionExA", {})) return FALSE;
    return core_.GetVersionExA(info);
  }
  UINT GetSystemDirectoryA(char* buffer, UINT cch) override {
    if (Failed("GetSystemDirectoryA", {})) return 0;
    return core_.GetSystemDirectoryA(buffer, cch);
  }
  UINT GetWindowsDirectoryA(char* buffer, UINT cch) override {
    if (Failed("GetWindowsDirectoryA", {})) return 0;
    return core_.GetWindowsDirectoryA(buffer, cch);
  }
  DWORD GetTempPathA(DWORD cch, char* buffer) override {
    if (Failed("GetTempPathA", {})) return 0;
    return core_.GetTempPathA(cch, buffer);
  }
  DWORD GetModuleFileNameA(char* buffer, DWORD cch) override {
    if (Failed("GetModuleFileNameA", {})) return 0;
    return core_.GetModuleFileNameA(buffer, cch);
  }
  void GetLocalTime(SYSTEMTIME& time) override { core_.GetLocalTime(time); }
  BOOL GetComputerNameA(char* buffer, DWORD* size) override {
    if (Failed("GetComputerNameA", {})) return FALSE;
    return core_.GetComputerNameA(buffer, size);
  }
  void Sleep(DWORD ms) override { core_.Sleep(ms); }
  DWORD GetLastError() override { return core_.GetLastError(); }
  void SetLastError(DWORD error) override { core_.SetLastError(error); }
  HANDLE CreateEventA(BOOL manualReset, BOOL initialState, const char* name) override {
    if (Failed("CreateEventA", {name ? name : ""})) return nullptr;
    return core_.CreateEventA(manualReset, initialState, name);
  }
  HANDLE OpenEventA(DWORD access, BOOL inherit, const char* name) override {
    if (Failed("OpenEventA", {name ? name : ""})) return nullptr;
    return core_.OpenEventA(access, inherit, name);
  }
  BOOL SetEvent(HANDLE event) override {
    if (Failed("SetEvent", {EventName(event)})) return FALSE;
    return core_.SetEvent(event);
  }
  HANDLE CreateThread(ThreadProc proc, void* argument) override {
    if (Failed("CreateThread", {})) return nullptr;
    return core_.CreateThread(proc, argument);
  }
  BOOL CloseHandle(HANDLE handle) override {
    if (Failed("CloseHandle", {EventName(handle)})) return FALSE;
    return core_.CloseHandle(handle);
  }

 private:
  bool Failed(std::string_view call, const Objects& objects) {
    auto e = s_.FaultFor(call, objects);
    if (e) s_.SetError(*e);
    return e.has_value();
  }
  std::string EventName(HANDLE h) {
    Lock lock(s_.mu);
    auto* obj = s_.Kernel(h);
    if (!obj) return "";
    if (auto* e = std::get_if<std::shared_ptr<SimEvent>>(obj)) return (*e)->name;
    if (auto* f = std::get_if<OpenFile>(obj)) return f->path;
    return "";
  }
  SimMachine::State& s_;
  System& core_;
};

// ---------------------------------------------------------------- services

class FaultServices final : public Services {
 public:
  FaultServices(SimMachine::State& s, Services& core) : s_(s), core_(core) {}

  SC_HANDLE OpenSCManagerA(const char* machine, const char* database, DWORD access) override {
    if (Failed("OpenSCManagerA", {})) return nullptr;
    return core_.OpenSCManagerA(machine, database, access);
  }
  SC_HANDLE OpenServiceA(SC_HANDLE manager, const char* name, DWORD access) override {
    if (Failed("OpenServiceA", {name ? name : ""})) return nullptr;
    return core_.OpenServiceA(manager, name, access);
  }
  BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS& status) override {
    if (Failed("QueryServiceStatus", {Name(service)})) return FALSE;
    return core_.QueryServiceStatus(service, status);
  }
  BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS& status) override {
    if (Failed("ControlService", {Name(service)})) return FALSE;
    return core_.ControlService(service, control, status);
  }
  BOOL StartServiceA(SC_HANDLE service, DWORD argc, const char** argv) override {
    if (Failed("StartServiceA", {Name(service)})) return FALSE;
    return core_.StartServiceA(service, argc, argv);
  }
  BOOL DeleteService(SC_HANDLE service) override {
    if (Failed("DeleteService", {Name(service)})) return FALSE;
    return core_.DeleteService(service);
  }
  BOOL CloseServiceHandle(SC_HANDLE handle) override {
    if (Failed("CloseServiceHandle", {Name(handle)})) return FALSE;
    return core_.CloseServiceHandle(handle);
  }

 private:
  bool Failed(std::string_view call, const Objects& objects) {
    auto e = s_.FaultFor(call, objects);
    if (e) s_.SetError(*e);
    return e.has_value();
  }
  std::string Name(SC_HANDLE h) {
    Lock lock(s_.mu);
    auto it = s_.scHandles.find(reinterpret_cast<std::uintptr_t>(h));
    if (it == s_.scHandles.end() || it->second.manager) return "";
    auto r = s_.services.find(it->second.service);
    return r == s_.services.end() ? it->second.service : r->second.name;
  }
  SimMachine::State& s_;
  Services& core_;
};

// ---------------------------------------------------------------- windows

class FaultWindows final : public Windows {
 public:
  FaultWindows(SimMachine::State& s, Windows& core) : s_(s), core_(core) {}

  HWND FindWindowA(const char* className, const char* windowName) override {
    if (Failed("FindWindowA", {className ? className : "", windowName ? windowName : ""})) return nullptr;
    return core_.FindWindowA(className, windowName);
  }
  BOOL EnumWindows(const std::function<BOOL(HWND)>& callback) override {
    if (Failed("EnumWindows", {})) return FALSE;
    return core_.EnumWindows(callback);
  }
  int GetWindowTextA(HWND window, char* buffer, int cch) override {
    if (Failed("GetWindowTextA", Of(window))) {
      if (buffer && cch > 0) buffer[0] = '\0';
      return 0;
    }
    return core_.GetWindowTextA(window, buffer, cch);
  }
  int GetClassNameA(HWND window, char* buffer, int cch) override {
    if (Failed("GetClassNameA", Of(window))) {
      if (buffer && cch > 0) buffer[0] = '\0';
      return 0;
    }
    return core_.GetClassNameA(window, buffer, cch);
  }
  BOOL IsWindow(HWND window) override {
    if (Failed("IsWindow", Of(window))) return FALSE;
    return core_.IsWindow(window);
  }
  LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    if (Failed("SendMessageA", Of(window))) return 0;
    return core_.SendMessageA(window, message, wParam, lParam);
  }
  BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    if (Failed("PostMessageA", Of(window))) return FALSE;
    return core_.PostMessageA(window, message, wParam, lParam);
  }
  LRESULT SendMessageTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags, UINT timeoutMs,
                              DWORD_PTR* result) override {
    if (Failed("SendMessageTimeoutA", Of(window))) {
      if (result) *result = 0;
      return 0;
    }
    return core_.SendMessageTimeoutA(window, message, wParam, lParam, flags, timeoutMs, result);
  }

 private:
  bool Failed(std::string_view call, const Objects& objects) {
    auto e = s_.FaultFor(call, objects);
    if (e) s_.SetError(*e);
    return e.has_value();
  }
  Objects Of(HWND h) {
    Lock lock(s_.mu);
    auto w = s_.Window(h);
    if (!w) return {};
    return {w->className, w->title};
  }
  SimMachine::State& s_;
  Windows& core_;
};

}  // namespace

std::unique_ptr<Registry> MakeFaultRegistry(SimMachine::State& s, Registry& core) {
  return std::make_unique<FaultRegistry>(s, core);
}
std::unique_ptr<Files> MakeFaultFiles(SimMachine::State& s, Files& core) {
  return std::make_unique<FaultFiles>(s, core);
}
std::unique_ptr<Profile> MakeFaultProfile(SimMachine::State& s, Profile& core) {
  return std::make_unique<FaultProfile>(s, core);
}
std::unique_ptr<System> MakeFaultSystem(SimMachine::State& s, System& core) {
  return std::make_unique<FaultSystem>(s, core);
}
std::unique_ptr<Services> MakeFaultServices(SimMachine::State& s, Services& core) {
  return std::make_unique<FaultServices>(s, core);
}
std::unique_ptr<Windows> MakeFaultWindows(SimMachine::State& s, Windows& core) {
  return std::make_unique<FaultWindows>(s, core);
}

}  // namespace qx::sim
