// Libraries and programs on the simulated disk. A module is a file of the machine that a
// ModuleSpec describes; loading follows the search Windows makes for a bare name (the
// program's directory first, then the current, system and Windows directories), so a
// library planted in a folder the user can write to is found the way Windows would find
// it. Every call is recorded with its arguments and outcome.
#include <cstdio>
#include <cstring>

#include "platform/sim/sim_state.h"

namespace qx::sim {

namespace {

using Lock = std::lock_guard<MachineMutex>;

// Entry points are handed out as the module handle plus the entry's number.
FARPROC MakeEntry(std::uintptr_t module, Entry e) {
  return reinterpret_cast<FARPROC>(module + static_cast<std::uintptr_t>(e));
}

const char* EntryName(Entry e) {
  switch (e) {
    case Entry::kOpenManagerExA: return "OpenManagerExA";
    case Entry::kUpdatePrinterStatusA: return "UpdatePrinterStatusA";
    case Entry::kCloseManager: return "CloseManager";
    case Entry::kDllUnregisterServer: return "DllUnregisterServer";
    case Entry::kADsGetObject: return "ADsGetObject";
    case Entry::kInitiateSystemShutdownExA: return "InitiateSystemShutdownExA";
    case Entry::kNone: break;
  }
  return "";
}

std::vector<Entry> Exports(ModuleSpec::Kind kind) {
  switch (kind) {
    case ModuleSpec::Kind::kStatusManager:
      return {Entry::kOpenManagerExA, Entry::kUpdatePrinterStatusA, Entry::kCloseManager};
    case ModuleSpec::Kind::kComponent: return {Entry::kDllUnregisterServer};
    case ModuleSpec::Kind::kDirectoryService: return {Entry::kADsGetObject};
    case ModuleSpec::Kind::kSystemAdvapi: return {Entry::kInitiateSystemShutdownExA};
    default: return {};
  }
}

bool IsProgram(ModuleSpec::Kind kind) {
  return kind == ModuleSpec::Kind::kProgram || kind == ModuleSpec::Kind::kComponentProgram;
}

// The last path component has an extension.
bool HasExtension(std::string_view name) {
  std::size_t slash = cp932::FindLast(name, '\\');
  std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
  return cp932::Find(name.substr(start), '.') != std::string_view::npos;
}

bool HasDirectory(std::string_view name) {
  return cp932::Find(name, '\\') != std::string_view::npos || cp932::Find(name, '/') != std::string_view::npos ||
         (name.size() >= 2 && name[1] == ':');
}

std::string DirectoryOf(const std::string& path) {
  std::size_t slash = cp932::FindLast(path, '\\');
  return slash == std::string::npos ? path : path.substr(0, slash);
}

}  // namespace

std::string HResultText(HRESULT hr) {
  if (hr == S_OK) return "S_OK";
  if (hr == S_FALSE) return "S_FALSE";
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}

namespace {

// The file a name stands for, as the loader finds it: the full path of an existing file,
// or "" with the error.
std::string FindModuleFile(SimMachine::State& s, std::string name, bool searchDirectories, DWORD& error) {
  error = ERROR_MOD_NOT_FOUND;
  std::vector<std::string> candidates;
  if (!searchDirectories || HasDirectory(name)) {
    candidates.push_back(name);
  } else {
    const SystemSettings& st = s.settings;
    for (const std::string& dir : {DirectoryOf(st.moduleFileName), s.CurrentDirectory(), st.systemDirectory,
                                   st.windowsDirectory}) {
      if (dir.empty()) continue;
      candidates.push_back(dir + (dir.back() == '\\' ? "" : "\\") + name);
    }
  }
  for (const std::string& c : candidates) {
    ParsedPath p;
    std::shared_ptr<FileNode> node;
    DWORD e = s.ParseAndLookup(c.c_str(), p, node);
    if (e == ERROR_SUCCESS && node && !node->directory) return SimMachine::State::NodePath(*node);
    if (e == ERROR_PATH_NOT_FOUND || e == ERROR_FILE_NOT_FOUND || e == ERROR_SUCCESS) continue;
    error = e;
  }
  return "";
}

const ModuleSpec* SpecOf(SimMachine::State& s, const std::string& path) {
  auto it = s.outside.modules.find(cp932::Fold(path));
  return it == s.outside.modules.end() ? nullptr : &it->second;
}

// Every NT-family system has ADVAPI32.DLL in its system directory, whether or not the image
// lists it among its files; it is what restarts Windows 2000 (InitiateSystemShutdownExA).
// A library of that name anywhere else is whatever the image says it is.
std::optional<ModuleSpec> SystemAdvapi(SimMachine::State& s, const std::string& name) {
  const SystemSettings& st = s.settings;
  if (st.platformId != VER_PLATFORM_WIN32_NT || st.systemDirectory.empty()) return std::nullopt;
  std::string own = st.systemDirectory + (st.systemDirectory.back() == '\\' ? "" : "\\") + "ADVAPI32.DLL";
  if (!cp932::EqualNoCase(name, own) && !cp932::EqualNoCase(name, "ADVAPI32.DLL")) return std::nullopt;
  ModuleSpec spec;
  spec.path = own;
  spec.kind = ModuleSpec::Kind::kSystemAdvapi;
  return spec;
}

// The loaded library an entry point belongs to and which entry it is; null when the
// library has been freed or the pointer was never handed out.
LoadedLibrary* LibraryOf(SimMachine::State& s, FARPROC entry, Entry& which) {
  auto v = reinterpret_cast<std::uintptr_t>(entry);
  auto it = s.outside.libraries.find(v & ~static_cast<std::uintptr_t>(0xFFFF));
  if (it == s.outside.libraries.end()) return nullptr;
  which = static_cast<Entry>(v & 0xFFFF);
  return &it->second;
}

}  // namespace

// On Windows calling into a freed library or through a wrong pointer crashes the program;
// here the call is recorded as such and fails.
LoadedLibrary* CallableEntry(SimMachine::State& s, FARPROC entry, Entry expected, const std::string& call) {
  Entry which = Entry::kNone;
  LoadedLibrary* lib = LibraryOf(s, entry, which);
  if (!lib) {
    s.Record(call + " through an entry point of no loaded library: the program would crash");
    return nullptr;
  }
  if (which != expected) {
    s.Record(call + " through the entry point " + EntryName(which) + " of " + lib->path +
             ": the program would crash");
    return nullptr;
  }
  return lib;
}

HMODULE SimModules::LoadLibraryA(const char* fileName) {
  Lock lock(s_.mu);
  std::string call = "LoadLibraryA(" + Quoted(fileName) + ")";
  if (!fileName || !*fileName) {
    s_.Record(call + " = NULL, error 87");
    return s_.SetError(ERROR_INVALID_PARAMETER), nullptr;
  }
  if (auto e = s_.FaultFor("LoadLibraryA", {fileName})) {
    s_.Record(call + " = NULL, error " + std::to_string(*e) + " (injected)");
    return s_.SetError(*e), nullptr;
  }
  std::string name = fileName;
  if (!name.empty() && name.back() == '.') name.pop_back();           // "no extension, add none"
  else if (!HasExtension(name)) name += ".DLL";
  DWORD error = 0;
  std::string path = FindModuleFile(s_, name, true, error);
  const ModuleSpec* spec = path.empty() ? nullptr : SpecOf(s_, path);
  std::optional<ModuleSpec> builtIn;
  if (!spec && (builtIn = SystemAdvapi(s_, path.empty() ? name : path))) {
    path = builtIn->path;
    spec = &*builtIn;
  }
  if (!path.empty() && !spec) error = ERROR_BAD_EXE_FORMAT;
  if (spec && spec->loadError) error = spec->loadError;
  if (!spec || spec->loadError) {
    s_.Record(call + " = NULL, error " + std::to_string(error) + (path.empty() ? "" : " (" + path + ")"));
    return s_.SetError(error), nullptr;
  }
  for (auto& [handle, lib] : s_.outside.libraries) {
    if (cp932::EqualNoCase(lib.path, path)) {
      lib.references++;
      s_.Record(call + " = " + path);
      return reinterpret_cast<HMODULE>(handle);
    }
  }
  std::uintptr_t handle = s_.outside.nextModule;
  s_.outside.nextModule += 0x10000;
  s_.outside.libraries[handle] = LoadedLibrary{path, *spec, 1};
  s_.Record(call + " = " + path);
  s_.SetError(ERROR_SUCCESS);
  return reinterpret_cast<HMODULE>(handle);
}

FARPROC SimModules::GetProcAddress(HMODULE module, const char* procName) {
  Lock lock(s_.mu);
  auto it = s_.outside.libraries.find(reinterpret_cast<std::uintptr_t>(module));
  if (it == s_.outside.libraries.end()) {
    s_.Record("GetProcAddress(no loaded library, " + Quoted(procName) + ") = NULL, error 6");
    return s_.SetError(ERROR_INVALID_HANDLE), nullptr;
  }
  std::string call = "GetProcAddress(" + it->second.path + ", " + Quoted(procName) + ")";
  if (auto e = s_.FaultFor("GetProcAddress", {it->second.path, procName ? procName : ""})) {
    s_.Record(call + " = NULL, error " + std::to_string(*e) + " (injected)");
    return s_.SetError(*e), nullptr;
  }
  if (procName) {
    for (Entry e : Exports(it->second.spec.kind)) {
      if (e == Entry::kInitiateSystemShutdownExA && s_.settings.majorVersion < 5) continue;  // before Windows 2000
      if (std::strcmp(procName, EntryName(e)) == 0) {  // export names are compared exactly
        s_.Record(call + " = found");
        return MakeEntry(it->first, e);
      }
    }
  }
  s_.Record(call + " = NULL, error 127");
  return s_.SetError(ERROR_PROC_NOT_FOUND), nullptr;
}

BOOL SimModules::FreeLibrary(HMODULE module) {
  Lock lock(s_.mu);
  auto it = s_.outside.libraries.find(reinterpret_cast<std::uintptr_t>(module));
  if (it == s_.outside.libraries.end()) {
    s_.Record("FreeLibrary(no loaded library) = 0, error 6");
    return s_.SetError(ERROR_INVALID_HANDLE), FALSE;
  }
  s_.Record("FreeLibrary(" + it->second.path + ") = 1");
  if (--it->second.references == 0) s_.outside.libraries.erase(it);
  return TRUE;
}

DWORD SimModules::OpenManagerExA(FARPROC entry, const char* printerName, DWORD reserved, DWORD mode,
                                 HANDLE* manager) {
  Lock lock(s_.mu);
  std::string call = "OpenManagerExA(" + Quoted(printerName) + ", " + std::to_string(reserved) + ", " +
                     std::to_string(mode) + ")";
  LoadedLibrary* lib = CallableEntry(s_, entry, Entry::kOpenManagerExA, call);
  if (!lib) return ERROR_INVALID_FUNCTION;
  if (!manager || !printerName || !*printerName) {
    s_.Record(call + " = 87");
    return ERROR_INVALID_PARAMETER;
  }
  if (auto e = s_.FaultFor("OpenManagerExA", {printerName})) {
    *manager = nullptr;
    s_.Record(call + " = " + std::to_string(*e) + " (injected)");
    return *e;
  }
  for (const std::string& refused : lib->spec.refusedPrinters) {
    if (cp932::EqualNoCase(refused, printerName)) {
      *manager = nullptr;
      s_.Record(call + " = 1801");
      return ERROR_INVALID_PRINTER_NAME;
    }
  }
  std::uintptr_t h = s_.outside.nextManager;
  s_.outside.nextManager += 4;
  s_.outside.managers[h] = printerName;
  *manager = reinterpret_cast<HANDLE>(h);
  s_.Record(call + " = 0, manager " + printerName);
  return ERROR_SUCCESS;
}

DWORD SimModules::UpdatePrinterStatusA(FARPROC entry, HANDLE manager, const char* setting, const void* value,
                                       DWORD size) {
  Lock lock(s_.mu);
  auto m = s_.outside.managers.find(reinterpret_cast<std::uintptr_t>(manager));
  std::string who = m == s_.outside.managers.end() ? "no open manager" : "manager " + m->second;
  std::string bytes = value ? HexBytes(std::string_view(static_cast<const char*>(value), size > 64 ? 64 : size))
                            : "NULL";
  std::string call = "UpdatePrinterStatusA(" + who + ", " + Quoted(setting) + ", " + bytes + ", " +
                     std::to_string(size) + ")";
  if (!CallableEntry(s_, entry, Entry::kUpdatePrinterStatusA, call)) return ERROR_INVALID_FUNCTION;
  if (m == s_.outside.managers.end()) {
    s_.Record(call + " = 6");
    return ERROR_INVALID_HANDLE;
  }
  s_.Record(call + " = 0");
  return ERROR_SUCCESS;
}

DWORD SimModules::CloseManager(FARPROC entry, HANDLE manager) {
  Lock lock(s_.mu);
  auto m = s_.outside.managers.find(reinterpret_cast<std::uintptr_t>(manager));
  std::string call =
      "CloseManager(" + (m == s_.outside.managers.end() ? std::string("no open manager") : "manager " + m->second) + ")";
  if (!CallableEntry(s_, entry, Entry::kCloseManager, call)) return ERROR_INVALID_FUNCTION;
  if (m == s_.outside.managers.end()) {
    s_.Record(call + " = 6");
    return ERROR_INVALID_HANDLE;
  }
  s_.outside.managers.erase(m);
  s_.Record(call + " = 0");
  return ERROR_SUCCESS;
}

HRESULT SimModules::DllUnregisterServer(FARPROC entry) {
  Lock lock(s_.mu);
  Entry which = Entry::kNone;
  LoadedLibrary* known = LibraryOf(s_, entry, which);
  std::string call = "DllUnregisterServer(" + (known ? known->path : std::string("?")) + ")";
  LoadedLibrary* lib = CallableEntry(s_, entry, Entry::kDllUnregisterServer, call);
  if (!lib) return E_FAIL;
  if (auto e = s_.FaultFor("DllUnregisterServer", {lib->path})) {
    HRESULT hr = (*e & 0x80000000u) ? static_cast<HRESULT>(*e) : HResultFromWin32(*e);
    s_.Record(call + " = " + HResultText(hr) + " (injected)");
    return hr;
  }
  HRESULT hr = lib->spec.unregisterResult;
  if (hr >= 0) {
    int removed = s_.UnregisterClassesOf(lib->path, "InprocServer32");
    s_.Record(call + " = " + HResultText(hr) + ", " + std::to_string(removed) + " classes removed");
  } else {
    s_.Record(call + " = " + HResultText(hr));
  }
  return hr;
}

// The program is the application name when one is given (no search, no extension added),
// or else the command line's first token: a quoted token is taken whole; an unquoted one is
// tried at each blank in turn ("C:\Program.exe" before "C:\Program Files\X.exe"), ".exe"
// added where the candidate has no extension, bare names searched like libraries.
BOOL SimModules::CreateProcessA(const char* applicationName, const char* commandLine, BOOL inheritHandles,
                                DWORD creationFlags, const char* currentDirectory, const STARTUPINFOA& startup,
                                PROCESS_INFORMATION& process) {
  Lock lock(s_.mu);
  process = PROCESS_INFORMATION{};
  std::string call = "CreateProcessA(" + Quoted(applicationName) + ", " + Quoted(commandLine) + ", " +
                     std::to_string(inheritHandles) + ", " + std::to_string(creationFlags) + ", " +
                     Quoted(currentDirectory) + ", cb " + std::to_string(startup.cb) + " flags " +
                     std::to_string(startup.dwFlags) + ")";
  auto fail = [&](DWORD error) {
    s_.Record(call + " = 0, error " + std::to_string(error));
    s_.SetError(error);
    return FALSE;
  };
  if (!applicationName && !commandLine) return fail(ERROR_INVALID_PARAMETER);
  if (auto e = s_.FaultFor("CreateProcessA", {applicationName ? applicationName : "", commandLine ? commandLine : ""}))
    return fail(*e);
  if (currentDirectory) {
    ParsedPath p;
    std::shared_ptr<FileNode> node;
    if (s_.ParseAndLookup(currentDirectory, p, node) != ERROR_SUCCESS || !node || !node->directory)
      return fail(ERROR_DIRECTORY);
  }
  std::string program;
  std::string arguments;
  std::string single;  // the one program the caller named, when it named just one
  DWORD error = ERROR_FILE_NOT_FOUND;
  if (applicationName) {
    single = applicationName;
    program = FindModuleFile(s_, applicationName, false, error);
    if (commandLine) arguments = commandLine;
  } else {
    std::string line = commandLine;
    std::vector<std::pair<std::string, std::string>> candidates;  // program name, rest of the line
    if (!line.empty() && line[0] == '"') {
      std::size_t close = line.find('"', 1);
      single = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
      candidates.emplace_back(single, close == std::string::npos ? "" : line.substr(close + 1));
    } else {
      std::size_t from = 0;
      for (;;) {
        std::size_t blank = line.find_first_of(" \t", from);
        candidates.emplace_back(line.substr(0, blank), blank == std::string::npos ? "" : line.substr(blank));
        if (blank == std::string::npos) break;
        from = blank + 1;
      }
    }
    for (auto& [name, rest] : candidates) {
      std::string n = name;
      if (!HasExtension(n)) n += ".exe";
      program = FindModuleFile(s_, n, true, error);
      if (!program.empty()) {
        arguments = rest;
        break;
      }
    }
  }
  if (program.empty()) {
    // A single program named by path fails on its directory when that is missing.
    ParsedPath p;
    std::shared_ptr<FileNode> node;
    if (HasDirectory(single) && s_.ParseAndLookup(single.c_str(), p, node) == ERROR_PATH_NOT_FOUND)
      return fail(ERROR_PATH_NOT_FOUND);
    return fail(error == ERROR_MOD_NOT_FOUND ? ERROR_FILE_NOT_FOUND : error);
  }
  const ModuleSpec* spec = SpecOf(s_, program);
  if (!spec || !IsProgram(spec->kind)) return fail(ERROR_BAD_EXE_FORMAT);
  if (spec->loadError) return fail(spec->loadError);

  std::uintptr_t ph = s_.outside.nextProcessHandle;
  std::uintptr_t th = ph + 4;
  s_.outside.nextProcessHandle += 8;
  s_.outside.processHandles[ph] = program;
  s_.outside.processHandles[th] = program;
  process.hProcess = reinterpret_cast<HANDLE>(ph);
  process.hThread = reinterpret_cast<HANDLE>(th);
  process.dwProcessId = s_.outside.nextProcessId;
  process.dwThreadId = s_.outside.nextProcessId + 4;
  s_.outside.nextProcessId += 8;
  std::string effect;
  if (spec->kind == ModuleSpec::Kind::kComponentProgram) {
    // The program reads its switches as COM servers do: "/" or "-", any case.
    std::string folded = cp932::Fold(arguments);
    if (folded.find("/UNREGSERVER") != std::string::npos || folded.find("-UNREGSERVER") != std::string::npos)
      effect = ", " + std::to_string(s_.UnregisterClassesOf(program, "LocalServer32")) + " classes removed";
  }
  s_.Record(call + " = 1, started " + program + effect);
  s_.SetError(ERROR_SUCCESS);
  return TRUE;
}

BOOL SimModules::CloseHandle(HANDLE handle) {
  Lock lock(s_.mu);
  if (!s_.outside.processHandles.erase(reinterpret_cast<std::uintptr_t>(handle)))
    return s_.SetError(ERROR_INVALID_HANDLE), FALSE;
  return TRUE;
}

// ---------------------------------------------------------------- COM registrations

namespace {

constexpr char kClasses[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes";

// The text of the key's default value, without its terminating zeros; it lives in the key.
std::string_view DefaultText(const RegKey& key) {
  for (const RegValueView v : key.values) {
    if (!v.name.empty() || (v.type != REG_SZ && v.type != REG_EXPAND_SZ)) continue;
    std::string_view d = v.data;
    while (!d.empty() && d.back() == '\0') d.remove_suffix(1);
    return d;
  }
  return {};
}

const RegKey* Sub(const RegKey& key, std::string_view name) {
  const RegKey* k = key.subkeys.Peek(name);
  return !k || k->deleted ? nullptr : k;
}

// The file a server key names: a quoted path, or the text up to its ".exe"/".dll"
// (LocalServer32 often carries switches after the program).
std::string_view ServerFile(std::string_view text) {
  if (!text.empty() && text[0] == '"') {
    std::size_t close = text.find('"', 1);
    return text.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
  }
  // The first of the extensions, in any case (bytes compared as Fold would fold them).
  using namespace std::string_view_literals;
  for (std::string_view ext : {".EXE"sv, ".DLL"sv, ".OCX"sv}) {
    for (std::size_t at = text.find('.'); at != std::string_view::npos && at + 4 <= text.size(); at = text.find('.', at + 1)) {
      if (cp932::EqualNoCase(text.substr(at, 4), ext)) return text.substr(0, at + 4);
    }
  }
  return text;
}

// The last name of a path as a lookup would match it: after the last backslash or slash,
// without the dots and spaces Windows drops at a name's end. Empty when the path does not
// end in a plain name ("." or "..", a separator): such a path is looked up in full.
std::string_view LastName(std::string_view path) {
  std::size_t slash = cp932::FindLast(path, '\\');
  std::size_t forward = path.rfind('/');
  if (forward != std::string_view::npos && (slash == std::string_view::npos || forward > slash)) slash = forward;
  std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
  while (!last.empty() && (last.back() == '.' || last.back() == ' ')) last.remove_suffix(1);
  return last;
}

}  // namespace

int SimMachine::State::UnregisterClassesOf(const std::string& path, const char* serverKey) {
  auto classes = FindKeyPath(std::string(kClasses) + "\\CLSID");
  if (!classes) return 0;
  std::shared_ptr<FileNode> target;
  {
    ParsedPath p;
    ParseAndLookup(path.c_str(), p, target);
  }
  // A class whose server file ends in another name than the library's own (long or short)
  // cannot name it: a machine's hundreds of thousands of classes are passed over without a
  // lookup of their files.
  const std::string_view pathName = LastName(path);
  auto mayName = [&](std::string_view file) {
    std::string_view last = LastName(file);
    if (last.empty() || pathName.empty() || cp932::EqualNoCase(last, pathName)) return true;
    return target && (cp932::EqualNoCase(last, target->name) ||
                      (!target->shortName.empty() && cp932::EqualNoCase(last, target->shortName)));
  };
  std::vector<std::string> gone;  // full key paths to remove
  int count = 0;
  for (const auto& clsid : classes->subkeys) {
    if (clsid->deleted) continue;
    auto server = Sub(*clsid, serverKey);
    if (!server) continue;
    std::string_view named = ServerFile(DefaultText(*server));
    if (!mayName(named)) continue;
    std::string file(named);
    ParsedPath p;
    std::shared_ptr<FileNode> node;
    bool same = ParseAndLookup(file.c_str(), p, node) == ERROR_SUCCESS && node && node == target;
    // A bare name is found through the search path: it names the file by its name alone.
    if (cp932::Find(file, '\\') == std::string::npos) {
      std::size_t slash = cp932::FindLast(path, '\\');
      same = cp932::EqualNoCase(file, slash == std::string::npos ? path : path.substr(slash + 1));
    }
    if (!same && !cp932::EqualNoCase(file, path)) continue;
    count++;
    gone.push_back(std::string(kClasses) + "\\CLSID\\" + clsid->name);
    for (const char* link : {"ProgID", "VersionIndependentProgID"}) {
      if (auto k = Sub(*clsid, link); k && !DefaultText(*k).empty())
        gone.push_back(std::string(kClasses) + "\\" + std::string(DefaultText(*k)));
    }
    for (const RegValueView v : clsid->values) {
      if (cp932::EqualNoCase(v.name, "AppID") && v.data.size() > 1)
        gone.push_back(std::string(kClasses) + "\\AppID\\" + std::string(v.data.substr(0, v.data.find('\0'))));
    }
  }
  for (const std::string& k : gone)
    if (auto key = FindKeyPath(k)) DetachKey(key);
  return count;
}

// ---------------------------------------------------------------- the machine's own view

void SimMachine::AddModule(const ModuleSpec& module) {
  Lock lock(state_->mu);
  state_->outside.modules[cp932::Fold(module.path)] = module;
}

std::vector<ModuleSpec> SimMachine::Modules() const {
  Lock lock(state_->mu);
  std::vector<ModuleSpec> out;
  for (const auto& [_, spec] : state_->outside.modules) out.push_back(spec);
  return out;
}

int SimMachine::LoadedLibraries() const {
  Lock lock(state_->mu);
  return static_cast<int>(state_->outside.libraries.size());
}

int SimMachine::OpenProcessHandles() const {
  Lock lock(state_->mu);
  return static_cast<int>(state_->outside.processHandles.size());
}

int SimMachine::OpenStatusManagers() const {
  Lock lock(state_->mu);
  return static_cast<int>(state_->outside.managers.size());
}

}  // namespace qx::sim
