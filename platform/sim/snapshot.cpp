#include "platform/sim/snapshot.h"

#include <vector>

#include "platform/sim/sim_text.h"

namespace qx::sim {

namespace {

constexpr const char* kServicesKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services";

std::string Joined(const std::string& directory, const char* pattern) {
  return directory + (directory.empty() || directory.back() != '\\' ? "\\" : "") + pattern;
}

// Copies the live key open as key, below path in m, and everything under it.
void CopyKey(Registry& live, HKEY key, const std::string& path, SimMachine& m, SnapshotCounts& counts) {
  m.AddKey(path);
  ++counts.keys;
  std::vector<char> name(16384 + 1);
  std::vector<BYTE> data(4096);
  // A value that cannot be read is passed over; an enumeration failing three times running
  // (the key going away under it) ends.
  int failing = 0;
  for (DWORD i = 0; failing < 3; ++i) {
    DWORD cchName = static_cast<DWORD>(name.size()), type = 0, cbData = static_cast<DWORD>(data.size());
    LONG r = live.RegEnumValueA(key, i, name.data(), &cchName, &type, data.data(), &cbData);
    if (r == ERROR_MORE_DATA && cbData > data.size() && cbData <= 0x10000000) {
      data.resize(cbData);
      r = live.RegEnumValueA(key, i, name.data(), &(cchName = static_cast<DWORD>(name.size())), &type, data.data(), &cbData);
    }
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS) {
      ++failing;
      continue;
    }
    failing = 0;
    m.SetValue(path, std::string(name.data(), cchName), type,
               std::string(reinterpret_cast<const char*>(data.data()), cbData));
    ++counts.values;
  }
  std::vector<std::string> subkeys;
  for (DWORD i = 0;; ++i) {
    DWORD cchName = static_cast<DWORD>(name.size());
    LONG r = live.RegEnumKeyExA(key, i, name.data(), &cchName);
    if (r == ERROR_NO_MORE_ITEMS || (r != ERROR_SUCCESS && r != ERROR_MORE_DATA)) break;
    if (r == ERROR_SUCCESS) subkeys.emplace_back(name.data(), cchName);
  }
  for (const std::string& sub : subkeys) {
    HKEY child = nullptr;
    if (live.RegOpenKeyExA(key, sub.c_str(), 0, KEY_READ, &child) != ERROR_SUCCESS) {
      ++counts.unreadableKeys;
      continue;
    }
    CopyKey(live, child, path + "\\" + sub, m, counts);
    live.RegCloseKey(child);
  }
}

std::string Directory(UINT (*get)(System&, char*, UINT), System& system) {
  char buffer[MAX_PATH + 1] = {};
  UINT n = get(system, buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return "";
  std::string dir(buffer, n);
  while (dir.size() > 3 && dir.back() == '\\') dir.pop_back();
  return dir;
}

// The subkey names and the values of a key, to tell which user hive HKEY_CURRENT_USER is.
std::string Fingerprint(Registry& registry, HKEY root, const std::string& path) {
  std::string print;
  HKEY key = nullptr;
  if (registry.RegOpenKeyExA(root, path.empty() ? nullptr : path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return "-";
  char name[512];
  for (DWORD i = 0; i < 4096; ++i) {
    DWORD cch = sizeof name;
    if (registry.RegEnumKeyExA(key, i, name, &cch) != ERROR_SUCCESS) break;
    print += std::string(name, cch) + '\n';
  }
  BYTE data[1024];
  for (DWORD i = 0; i < 4096; ++i) {
    DWORD cch = sizeof name, type = 0, cb = sizeof data;
    LONG r = registry.RegEnumValueA(key, i, name, &cch, &type, data, &cb);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r == ERROR_SUCCESS) print += std::string(name, cch) + '=' + std::string(reinterpret_cast<char*>(data), cb) + '\n';
  }
  registry.RegCloseKey(key);
  return print;
}

bool IsUserHive(const std::string& name) {
  if (cp932::EqualNoCase(name, ".DEFAULT") || name == "S-1-5-18" || name == "S-1-5-19" || name == "S-1-5-20")
    return false;
  return !(name.size() > 8 && cp932::EqualNoCase(std::string_view(name).substr(name.size() - 8), "_Classes"));
}

// The hive below HKEY_USERS that is the current user's: the one user hive there is, or the
// one whose top level and environment look as HKEY_CURRENT_USER's do; Windows 95/98 without
// user profiles keep the user in .DEFAULT.
std::string CurrentUser(Registry& live, const SimMachine& m) {
  std::vector<std::string> users;
  for (const std::string& u : m.Subkeys("HKEY_USERS"))
    if (IsUserHive(u)) users.push_back(u);
  if (users.empty()) return ".DEFAULT";
  if (users.size() == 1) return users[0];
  std::string mine = Fingerprint(live, HKEY_CURRENT_USER, "") + Fingerprint(live, HKEY_CURRENT_USER, "Environment");
  std::vector<std::string> same;
  for (const std::string& u : users)
    if (Fingerprint(live, HKEY_USERS, u) + Fingerprint(live, HKEY_USERS, u + "\\Environment") == mine) same.push_back(u);
  return same.size() == 1 ? same[0] : users[0];
}

HDDEDATA NoCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, DWORD_PTR, DWORD_PTR) { return nullptr; }

// Whether Program Manager (the shell, on later systems) answers its DDE service: a
// conversation opened and closed, with no command sent.
bool ProgramManagerAnswers(Dde& dde) {
  DWORD instance = 0;
  if (dde.DdeInitializeA(&instance, NoCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) return false;
  bool answers = false;
  if (HSZ progman = dde.DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI)) {
    CONVCONTEXT context;
    if (HCONV conv = dde.DdeConnect(instance, progman, progman, &context)) {
      answers = true;
      dde.DdeDisconnect(conv);
    }
    dde.DdeFreeStringHandle(instance, progman);
  }
  dde.DdeUninitialize(instance);
  return answers;
}

}  // namespace

bool FacetFiles::List(const std::string& directory, std::vector<Entry>& entries) {
  WIN32_FIND_DATAA data;
  HANDLE find = files_.FindFirstFileA(Joined(directory, "*").c_str(), data);
  if (find == INVALID_HANDLE_VALUE) return false;
  do {
    Entry e;
    e.name = data.cFileName;
    e.shortName = data.cAlternateFileName;
    e.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    e.attributes = data.dwFileAttributes;
    e.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    entries.push_back(std::move(e));
  } while (files_.FindNextFileA(find, data));
  files_.FindClose(find);
  return true;
}

bool FacetFiles::Read(const std::string& path, std::string& contents) {
  HANDLE file = files_.CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (file == INVALID_HANDLE_VALUE) return false;
  contents.clear();
  char buffer[65536];
  DWORD read = 0;
  bool ok = true;
  while ((ok = files_.ReadFile(file, buffer, sizeof buffer, &read) != FALSE) && read > 0) contents.append(buffer, read);
  files_.CloseHandle(file);
  return ok;
}

bool FacetFiles::HeldOpen(const std::string& path) {
  // Another program's handle that shares nothing, or does not share reading, refuses this
  // open as it refuses a deletion.
  HANDLE file = files_.CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (file == INVALID_HANDLE_VALUE) return true;
  files_.CloseHandle(file);
  return false;
}

SnapshotCounts TakeSnapshot(Platform& live, SimMachine& m) {
  SnapshotCounts counts;
  SystemSettings& s = m.settings();
  OSVERSIONINFOA version;
  version.dwOSVersionInfoSize = 148;
  if (live.system.GetVersionExA(version)) {
    s.platformId = version.dwPlatformId;
    s.majorVersion = version.dwMajorVersion;
    s.minorVersion = version.dwMinorVersion;
    s.buildNumber = version.dwPlatformId == VER_PLATFORM_WIN32_NT ? version.dwBuildNumber : version.dwBuildNumber & 0xFFFF;
    s.csdVersion = version.szCSDVersion;
  }
  s.windowsDirectory = Directory([](System& y, char* b, UINT n) { return y.GetWindowsDirectoryA(b, n); }, live.system);
  s.systemDirectory = Directory([](System& y, char* b, UINT n) { return y.GetSystemDirectoryA(b, n); }, live.system);
  char buffer[MAX_PATH + 1] = {};
  DWORD n = live.system.GetTempPathA(sizeof buffer, buffer);
  s.tempPath = n > 0 && n < sizeof buffer ? std::string(buffer, n) : "";
  n = live.system.GetModuleFileNameA(buffer, sizeof buffer);
  s.moduleFileName = n > 0 && n < sizeof buffer ? std::string(buffer, n) : "";
  live.system.GetLocalTime(s.localTime);

  for (auto [root, name] : {std::pair{HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"}, std::pair{HKEY_USERS, "HKEY_USERS"}})
    CopyKey(live.registry, root, name, m, counts);
  s.currentUser = CurrentUser(live.registry, m);

  if (SC_HANDLE manager = live.services.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT)) {
    for (const std::string& name : m.Subkeys(kServicesKey)) {
      SC_HANDLE service = live.services.OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS);
      if (!service) continue;
      SERVICE_STATUS status;
      if (live.services.QueryServiceStatus(service, status)) {
        m.SetServiceState(name, status.dwCurrentState);
        ++counts.services;
      }
      live.services.CloseServiceHandle(service);
    }
    live.services.CloseServiceHandle(manager);
  }
  // The run opens the service manager with every right; an account that may not is told so
  // in the simulation as it would be for real.
  if (SC_HANDLE all = live.services.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) live.services.CloseServiceHandle(all);
  else s.serviceManagerOpenable = s.platformId != VER_PLATFORM_WIN32_NT;

  s.programManagerRunning = ProgramManagerAnswers(live.dde);
  live.windows.EnumWindows([&](HWND window) -> BOOL {
    char cls[256] = {}, title[1024] = {};
    live.windows.GetClassNameA(window, cls, sizeof cls);
    live.windows.GetWindowTextA(window, title, sizeof title);
    ProgramWindow w;
    w.className = cls;
    w.title = title;
    m.AddProgramWindow(w);
    ++counts.windows;
    return TRUE;
  });

  // Every fixed drive a path may name; a letter with no disk lists nothing.
  m.ReadFilesThrough(std::make_shared<FacetFiles>(live.files), "CDEFGHIJKLMNOPQRSTUVWXYZ");
  return counts;
}

}  // namespace qx::sim
