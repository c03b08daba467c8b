#include "app/protected_places.h"

#include <algorithm>

#include "app/text.h"
#include "app/registry.h"

namespace qx {

namespace {

// ---------------------------------------------------------------- levels

// Upper case for single-byte letters only: the second byte of a double-byte character may be
// an ASCII letter and is never folded.
std::string Fold(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size(); i += CharLength(out, i)) {
    if (CharLength(out, i) == 1 && out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 'a' + 'A');
  }
  return out;
}

bool IsSeparator(std::string_view s, std::size_t i) { return CharLength(s, i) == 1 && (s[i] == '\\' || s[i] == '/'); }

// The levels of a key or path below its start, with "." and ".." resolved, empty levels
// dropped and, for paths, the trailing dots and blanks Windows ignores taken off. ".." never
// climbs above keep levels.
void AppendLevels(std::string_view text, bool path, std::size_t keep, std::vector<std::string>& levels) {
  std::size_t i = 0;
  while (i <= text.size()) {
    std::size_t end = i;
    while (end < text.size() && !IsSeparator(text, end)) end += CharLength(text, end);
    std::string level(text.substr(i, end - i));
    if (level == "..") {
      if (levels.size() > keep) levels.pop_back();
    } else if (level != ".") {
      if (path) {
        // Trailing dots and blanks, stepping by characters so a double-byte one stays whole.
        std::size_t cut = 0;
        for (std::size_t j = 0; j < level.size(); j += CharLength(level, j)) {
          if (!(CharLength(level, j) == 1 && (level[j] == '.' || level[j] == ' '))) cut = j + CharLength(level, j);
        }
        level.resize(cut);
      }
      if (!level.empty()) levels.push_back(std::move(level));
    }
    if (end >= text.size()) break;
    i = end + 1;
  }
}

std::string Joined(const std::vector<std::string>& levels) {
  std::string out;
  for (const std::string& level : levels) {
    if (!out.empty()) out += '\\';
    out += Fold(level);
  }
  return out;
}

// ---------------------------------------------------------------- registry

// A pattern level: "*" is any one level, a text ending in "*" any level that starts with it.
bool LevelMatches(const std::string& level, std::string_view pattern) {
  if (pattern == "*") return true;
  if (!pattern.empty() && pattern.back() == '*') return StartsWithNoCase(level, pattern.substr(0, pattern.size() - 1));
  return EqualsNoCase(level, pattern);
}

// The key and every key on the way down to one of these containers is Windows' own.
// Kept below "Software" of the machine and of every user alike.
constexpr const char* kSoftwareContainers[] = {
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce",
    "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths",
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\&Programs",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\ﾌﾟﾛｸﾞﾗﾑ(&P)",
    "Software\\Microsoft\\Windows\\CurrentVersion\\GrpConv\\Groups",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Setup",
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices",
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\PrinterPorts",
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports",
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\LanMan Print Services\\Servers",
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Program Manager\\Common Groups",
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Program Manager\\UNICODE Groups",
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Program Manager\\Groups",
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
    "Software\\Program Groups",
};

// Below HKEY_LOCAL_MACHINE only; "*" stands for the control set.
constexpr const char* kMachineContainers[] = {
    "SYSTEM\\*\\Services\\EventLog\\Application",
    "SYSTEM\\*\\Services\\EventLog\\System",
    "SYSTEM\\*\\Services\\EventLog\\Security",
    "SYSTEM\\*\\Services\\W3SVC\\Parameters\\Virtual Roots",
    "SYSTEM\\*\\Services\\LanmanServer\\Shares",
    "SYSTEM\\*\\Services\\Spooler",
    "SYSTEM\\*\\Control\\Print\\Printers",
    "SYSTEM\\*\\Control\\Print\\Monitors\\Local Port",
    "SYSTEM\\*\\Control\\Print\\Monitors\\Standard TCP/IP Port",
    "SYSTEM\\*\\Control\\Print\\Monitors\\LPR Port",
    "SYSTEM\\*\\Control\\Print\\Environments\\*\\Drivers\\Version-*",
    "SYSTEM\\*\\Control\\Print\\Environments\\*\\Print Processors\\winprint",
    "SYSTEM\\*\\Control\\Print\\Providers\\LanMan Print Services\\Servers",
    "SYSTEM\\*\\Control\\Print\\Forms",
    "SYSTEM\\*\\Control\\Session Manager\\Environment",
    "SYSTEM\\*\\Control\\Class",
    "SYSTEM\\*\\Enum",
};

// Below a user's hive only.
constexpr const char* kUserContainers[] = {
    "Printers\\Connections",
    "Printers\\DevModes2",
    "Printers\\Settings",
};

// Directly below HKEY_CLASSES_ROOT: the shell's own classes. Every other class (a file type,
// a program id) is a program's own and stays deletable.
constexpr const char* kShellClasses[] = {"CLSID", "Interface", "TypeLib", "AppID", "*",    "AllFilesystemObjects",
                                         "Directory", "Drive", "Folder", "exefile", "lnkfile", ".exe",
                                         ".lnk", ".dll"};

// Whether levels is a container of the table or lies on the way down to one.
template <std::size_t N>
bool OnTheWayTo(const std::vector<std::string>& levels, const char* const (&table)[N]) {
  for (const char* container : table) {
    std::vector<std::string> pattern;
    AppendLevels(container, false, 0, pattern);
    if (levels.size() > pattern.size()) continue;
    bool match = true;
    for (std::size_t i = 0; i < levels.size() && match; ++i) match = LevelMatches(levels[i], pattern[i]);
    if (match) return true;
  }
  return false;
}

bool IsProtectedClass(const std::vector<std::string>& levels) {
  if (levels.empty()) return true;
  if (levels.size() > 1) return false;
  return std::any_of(std::begin(kShellClasses), std::end(kShellClasses),
                     [&](const char* name) { return EqualsNoCase(levels[0], name); });
}

bool IsProtectedUserKey(const std::vector<std::string>& levels) {
  // The hive itself and every key directly in it (Software, Control Panel, Printers, ...).
  if (levels.size() <= 1) return true;
  return OnTheWayTo(levels, kSoftwareContainers) || OnTheWayTo(levels, kUserContainers);
}

std::string ExpandSystemVariables(std::string text, const std::string& windowsDir) {
  std::string windows = windowsDir;
  if (!windows.empty() && windows.back() == '\\') windows.pop_back();
  const std::string drive = windows.substr(0, 2);
  const struct {
    const char* name;
    const std::string& value;
  } variables[] = {{"%SystemRoot%", windows}, {"%WINDIR%", windows}, {"%SystemDrive%", drive}};
  for (const auto& v : variables) {
    for (std::size_t at = 0; at + std::string_view(v.name).size() <= text.size();) {
      if (EqualsNoCase(std::string_view(text).substr(at, std::string_view(v.name).size()), v.name)) {
        text.replace(at, std::string_view(v.name).size(), v.value);
        at += v.value.size();
      } else {
        at += CharLength(text, at);
      }
    }
  }
  return text;
}

}  // namespace

bool IsWindowsOwnMonitor(const std::string& name) {
  for (const char* own : {"Local Port", "Standard TCP/IP Port", "LPR Port"}) {
    if (EqualsNoCase(name, own)) return true;
  }
  return false;
}

bool IsWindowsOwnPrintProcessor(const std::string& name) { return EqualsNoCase(name, "winprint"); }

const char* RefusalText(Refusal refusal) {
  switch (refusal) {
    case Refusal::kProtected: return kProtectedReason;
    case Refusal::kMalformed: return kMalformedReason;
    default: return "";
  }
}

bool IsProtectedKey(HKEY root, const std::string& subkey) {
  if (root == nullptr) return false;  // names no key at all: nothing can be deleted
  std::vector<std::string> levels;
  AppendLevels(subkey, false, 0, levels);
  if (root == HKEY_CLASSES_ROOT) return IsProtectedClass(levels);
  if (root == HKEY_CURRENT_USER) return IsProtectedUserKey(levels);
  if (root == HKEY_USERS) {
    if (levels.size() <= 1) return true;  // the root, a user's hive
    std::vector<std::string> rest(levels.begin() + 1, levels.end());
    return EndsWithNoCase(levels[0], "_Classes") ? IsProtectedClass(rest) : IsProtectedUserKey(rest);
  }
  if (root == HKEY_LOCAL_MACHINE) {
    if (levels.size() <= 1) return true;  // the root, SOFTWARE, SYSTEM, HARDWARE, SAM, SECURITY, ...
    if (EqualsNoCase(levels[0], "SOFTWARE") && EqualsNoCase(levels[1], "Classes")) {
      return IsProtectedClass(std::vector<std::string>(levels.begin() + 2, levels.end()));
    }
    return OnTheWayTo(levels, kSoftwareContainers) || OnTheWayTo(levels, kMachineContainers);
  }
  return true;  // a key of some other root is nobody's to delete here
}

bool SplitFullPath(const std::string& path, std::vector<std::string>& levels) {
  levels.clear();
  std::string_view rest(path);
  if (rest.size() >= 4 && IsSeparator(rest, 0) && IsSeparator(rest, 1) && (rest[2] == '?' || rest[2] == '.') &&
      IsSeparator(rest, 3)) {
    rest.remove_prefix(4);
    if (StartsWithNoCase(rest, "UNC\\")) {
      std::string unc = "\\\\" + std::string(rest.substr(4));
      return SplitFullPath(unc, levels);
    }
  }
  bool drive = rest.size() >= 3 && ((rest[0] >= 'A' && rest[0] <= 'Z') || (rest[0] >= 'a' && rest[0] <= 'z')) &&
               rest[1] == ':' && IsSeparator(rest, 2);
  if (drive) {
    levels.push_back(std::string(rest.substr(0, 2)));
    AppendLevels(rest.substr(3), true, 1, levels);
    return true;
  }
  bool share = rest.size() >= 3 && IsSeparator(rest, 0) && IsSeparator(rest, 1) && !IsSeparator(rest, 2);
  if (!share) return false;
  // ".." never leaves the share: the server and the share stay.
  AppendLevels(rest.substr(2), true, 2, levels);
  if (levels.empty()) return false;
  levels[0] = "\\\\" + levels[0];
  return true;
}

bool SamePath(const std::string& a, const std::string& b) {
  std::vector<std::string> x, y;
  return SplitFullPath(a, x) && SplitFullPath(b, y) && Joined(x) == Joined(y);
}

void ProtectedFolders::Add(Files& files, const std::string& path) {
  std::vector<std::string> levels;
  if (path.empty() || !SplitFullPath(path, levels)) return;
  folders_.push_back(Joined(levels));
  // The same folder by its 8.3 name, when it has one.
  char buffer[MAX_PATH] = {};
  DWORD length = files.GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  std::vector<std::string> shortLevels;
  if (SplitFullPath(FromBuffer(buffer, length), shortLevels)) folders_.push_back(Joined(shortLevels));
}

void ProtectedFolders::Build(Platform& sys, const std::string& windowsDir, const std::string& systemDir,
                             const std::string& altSystemDir, const std::string& tempDir) {
  folders_.clear();
  builtFor = windowsDir + "|" + systemDir + "|" + altSystemDir + "|" + tempDir;
  Files& files = sys.files;
  Registry& reg = sys.registry;
  auto withSlash = [](std::string dir) {
    if (!dir.empty() && dir.back() != '\\') dir += '\\';
    return dir;
  };
  const std::string windows = withSlash(windowsDir);
  const std::string system = withSlash(systemDir);
  const std::string drive = windows.size() >= 2 ? windows.substr(0, 2) + "\\" : std::string();

  for (const std::string& dir : {windows, system, withSlash(altSystemDir), withSlash(tempDir)}) Add(files, dir);
  if (windows.empty()) return;
  for (const char* sub : {"System", "System32", "TEMP", "Fonts", "Help", "INF", "Tasks", "Media", "Cursors", "Command",
                          "Config", "Repair", "Profiles", "SPOOL", "SPOOL\\PRINTERS"}) {
    Add(files, windows + sub);
  }
  // The spooler's own folders.
  for (const char* sub : {"spool", "spool\\PRINTERS", "spool\\drivers", "spool\\prtprocs", "spool\\drivers\\color"}) {
    Add(files, system + sub);
  }
  for (const char* environment : {"w32x86", "win40", "w32alpha", "w32mips", "w32ppc"}) {
    Add(files, system + "spool\\prtprocs\\" + environment);
    const std::string drivers = system + "spool\\drivers\\" + environment;
    Add(files, drivers);
    for (const char* version : {"0", "1", "2", "3"}) Add(files, drivers + "\\" + version);
  }

  // Program Files, as the machine names it and as Windows names it by default.
  const char* kCurrentVersion = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  Add(files, drive + "Program Files");
  Add(files, drive + "Program Files\\Common Files");
  for (const char* value : {"ProgramFilesDir", "CommonFilesDir"}) {
    std::string dir;
    if (ReadRegistryText(reg, HKEY_LOCAL_MACHINE, kCurrentVersion, value, dir)) Add(files, ExpandSystemVariables(dir, windows));
  }

  // The profile folders, each profile in them and each profile of the profile list.
  std::vector<std::string> profileRoots = {windows + "Profiles", drive + "Documents and Settings"};
  const std::string profileList = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
  std::string profilesDirectory;
  if (ReadRegistryText(reg, HKEY_LOCAL_MACHINE, profileList, "ProfilesDirectory", profilesDirectory)) {
    profileRoots.push_back(ExpandSystemVariables(profilesDirectory, windows));
  }
  std::vector<std::string> profiles = {windows};  // Windows 95/98 keeps the shared shell folders here
  for (const std::string& root : profileRoots) {
    Add(files, root);
    WIN32_FIND_DATAA found;
    HANDLE find = files.FindFirstFileA((withSlash(root) + "*").c_str(), found);
    if (find == INVALID_HANDLE_VALUE) continue;
    for (int seen = 0; seen < 10000; ++seen) {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && found.cFileName != "." && found.cFileName != "..") {
        profiles.push_back(withSlash(root) + found.cFileName);
      }
      if (!files.FindNextFileA(find, found)) break;
    }
    files.FindClose(find);
  }
  StringList sids;
  EnumSubkeyNames(reg, HKEY_LOCAL_MACHINE, profileList, sids);
  for (const std::string& sid : sids) {
    std::string image;
    if (ReadRegistryText(reg, HKEY_LOCAL_MACHINE, profileList + "\\" + sid, "ProfileImagePath", image)) {
      profiles.push_back(ExpandSystemVariables(image, windows));
    }
  }
  const char* kStartMenus[] = {"ｽﾀｰﾄ ﾒﾆｭｰ", "スタート メニュー", "Start Menu"};
  const char* kPrograms[] = {"ﾌﾟﾛｸﾞﾗﾑ", "プログラム", "Programs"};
  const char* kStartups[] = {"ｽﾀｰﾄｱｯﾌﾟ", "スタートアップ", "Startup"};
  const char* kDesktops[] = {"ﾃﾞｽｸﾄｯﾌﾟ", "デスクトップ", "Desktop"};
  for (const std::string& profile : profiles) {
    const std::string base = withSlash(profile);
    if (profile != windows) Add(files, profile);
    for (const char* desktop : kDesktops) Add(files, base + desktop);
    for (const char* startMenu : kStartMenus) {
      Add(files, base + startMenu);
      for (const char* programs : kPrograms) {
        const std::string programsDir = base + startMenu + "\\" + programs;
        Add(files, programsDir);
        for (const char* startup : kStartups) Add(files, programsDir + "\\" + startup);
      }
    }
  }

  // The shell folders as the machine and each user name them.
  const char* kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  for (const char* value : {"Common Start Menu", "Common Programs", "Common Startup", "Common Desktop"}) {
    std::string dir;
    if (ReadRegistryText(reg, HKEY_LOCAL_MACHINE, kShellFolders, value, dir)) Add(files, dir);
  }
  StringList users;
  EnumSubkeyNames(reg, HKEY_USERS, "", users);
  for (const std::string& user : users) {
    for (const char* value : {"Start Menu", "Programs", "Startup", "Desktop"}) {
      std::string dir;
      if (ReadRegistryText(reg, HKEY_USERS, user + "\\" + kShellFolders, value, dir)) Add(files, dir);
    }
  }
  std::sort(folders_.begin(), folders_.end());
  folders_.erase(std::unique(folders_.begin(), folders_.end()), folders_.end());
}

bool ProtectedFolders::Holds(const std::string& folded) const {
  return std::binary_search(folders_.begin(), folders_.end(), folded);
}

Refusal ProtectedFolders::Check(Platform& sys, const std::string& path) const {
  std::vector<std::string> levels;
  if (!SplitFullPath(path, levels)) return Refusal::kMalformed;
  bool share = levels[0].size() > 2 && levels[0][0] == '\\';
  if (levels.size() <= (share ? 2u : 1u)) return Refusal::kProtected;  // a drive or a share itself
  if (Holds(Joined(levels))) return Refusal::kProtected;
  // A level written as an 8.3 name may stand for a protected folder: the whole path is then
  // asked for its short form and compared with the folders' short forms.
  if (path.find('~') == std::string::npos) return Refusal::kNone;
  char buffer[MAX_PATH] = {};
  DWORD length = sys.files.GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
  if (length == 0) {
    // Nothing there is nothing to delete; any other failure leaves the question open.
    DWORD error = sys.system.GetLastError();
    return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? Refusal::kNone : Refusal::kProtected;
  }
  if (length >= MAX_PATH) return Refusal::kProtected;
  std::vector<std::string> shortLevels;
  if (!SplitFullPath(FromBuffer(buffer, length), shortLevels)) return Refusal::kProtected;
  return Holds(Joined(shortLevels)) ? Refusal::kProtected : Refusal::kNone;
}

Refusal ProtectedFolders::CheckOwnFolder(Platform& sys, const std::string& path) const {
  Refusal refusal = Check(sys, path);
  if (refusal != Refusal::kNone) return refusal;
  std::vector<std::string> levels;
  SplitFullPath(path, levels);
  const std::string inside = Joined(levels) + "\\";
  auto it = std::lower_bound(folders_.begin(), folders_.end(), inside);
  bool holdsOne = it != folders_.end() && it->compare(0, inside.size(), inside) == 0;
  return holdsOne ? Refusal::kProtected : Refusal::kNone;
}

}  // namespace qx
