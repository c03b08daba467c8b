// Fault injection, as facets wrapping the core ones. A call that matches a fault fails the
// way Windows fails that call (registry calls return the error; the others return their
// failure value and set the last error) and changes nothing.
//
// The object a call is on: a registry call's key as a full path (the key the handle stands
// for, with the subkey appended; a value call also matches "key\value name"); a file call's
// full path (a handle's file; both names of a move; a search's pattern and its directory);
// an initialization file's full path; an event's name; a service's name; a window's class
// and its title.
#include <cstring>

#include "platform/sim/sim_state.h"

namespace qx::sim {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;
using Objects = std::vector<std::string>;

}  // namespace

std::optional<DWORD> SimMachine::State::FaultFor(std::string_view call, const std::vector<std::string>& objects) {
  Lock lock(mu);
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
  return hit;
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
    if (Failed("CreateFileA", {Full(name)})) return INVALID_HANDLE_VALUE;
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
  bool Failed(std::string_view call, const Objects& objects) {
    auto e = s_.FaultFor(call, objects);
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
    if (Failed("GetPrivateProfileStringA", file)) return Empty(buffer, cch);
    return core_.GetPrivateProfileStringA(section, key, def, buffer, cch, file);
  }
  BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* file) override {
    if (Failed("WritePrivateProfileStringA", file)) return FALSE;
    return core_.WritePrivateProfileStringA(section, key, value, file);
  }
  DWORD GetProfileStringA(const char* section, const char* key, const char* def, char* buffer, DWORD cch) override {
    if (Failed("GetProfileStringA", "win.ini")) return Empty(buffer, cch);
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
