// Where the run happens and where the product family is installed. Everything here is
// read before any change is made; directories are found through the registry only.
#include <unordered_set>

#include "app/CQXErsDoc.h"
#include "app/config.h"
#include "app/directories.h"
#include "app/text.h"
#include "app/registry.h"

namespace qx {

namespace {

constexpr const char* kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qorvex 1.2";
constexpr const char* kCacheKey = "SOFTWARE\\ZOV\\Qorvex\\PQS";
constexpr const char* kPrintersKey = "SOFTWARE\\ZOV\\Qorvex\\Printers";

// A call's answer into a 260-byte buffer; empty when it failed or did not fit (the
// buffer then holds nothing that can be trusted).
template <typename Call>
std::string DirectoryFrom(Call call) {
  char buffer[MAX_PATH] = {};
  DWORD length = call(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return FromBuffer(buffer, length);
}

std::string WithBackslash(std::string dir) {
  if (!dir.empty()) EnsureTrailingBackslash(dir);
  return dir;
}

// The sibling system directory: System32 <-> System. Windows 2000 reports "system32" in
// lower case, so the name is matched without regard to case.
std::string SiblingSystemDir(const std::string& systemDir) {
  if (systemDir.size() < 2) return {};
  std::size_t at = std::string::npos;
  for (std::size_t i = 0; i + 8 <= systemDir.size(); i += CharLength(systemDir, i)) {
    if (EqualsNoCase(std::string_view(systemDir).substr(i, 8), "System32")) at = i;
  }
  if (at != std::string::npos && systemDir.size() >= 3) return systemDir.substr(0, systemDir.size() - 3) + "\\";
  return systemDir.substr(0, systemDir.size() - 1) + "32\\";
}

}  // namespace

void CQXErsDoc::PrepareRun() {
  logEnabled = 0;
  delFlags = driverChoice == 0 ? kDelProduct | kDelNetPort : kDelEverything;
  restartNeeded = 0;
  productDirCount = 0;
  stepTotal = 0;
  stepPos = 0;
  systemDir = WithBackslash(DirectoryFrom([&](char* b, DWORD n) { return sys.system.GetSystemDirectoryA(b, n); }));
  altSystemDir = SiblingSystemDir(systemDir);
  windowsDir = WithBackslash(DirectoryFrom([&](char* b, DWORD n) { return sys.system.GetWindowsDirectoryA(b, n); }));
  tempDir = WithBackslash(DirectoryFrom([&](char* b, DWORD n) { return sys.system.GetTempPathA(n, b); }));
  std::string module = DirectoryFrom([&](char* b, DWORD n) { return sys.system.GetModuleFileNameA(b, n); });
  std::size_t slash = FindLastChar(module, '\\');
  moduleDir = slash == std::string::npos ? std::string() : module.substr(0, slash + 1);
}

int CQXErsDoc::GetOSType(DWORD* platformId, DWORD* major, DWORD* minor) {
  OSVERSIONINFOA info;
  info.dwOSVersionInfoSize = 148;
  if (!sys.system.GetVersionExA(info)) return -1;
  if (platformId) *platformId = info.dwPlatformId;
  if (major) *major = info.dwMajorVersion;
  if (minor) *minor = info.dwMinorVersion;
  if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) return 0;
  if (info.dwPlatformId != VER_PLATFORM_WIN32_NT) return -1;
  if (info.dwMajorVersion == 5) return 3;
  if (info.dwMajorVersion == 4) return 2;
  if (info.dwMajorVersion == 3 && info.dwMinorVersion == 51) return 1;
  return -1;
}

int CQXErsDoc::CheckEnvironment() {
  if (!IniFileExists(sys.files, "QXErs.ini", moduleDir, false)) return kResultNoConfiguration;
  if (ReadIniValue(sys.files, "ENVIRONMENT", "AP", ConfigPath()) != "QXERASER") return kResultNoConfiguration;
  osType = GetOSType();
  std::string supported = ReadIniValue(sys.files, "ENVIRONMENT", "SUPPORTOS", ConfigPath());
  static const char* const kCodes[] = {"95", "N1", "N4", "2K"};
  if (osType == kUnsupportedSystem || !ContainsText(supported, kCodes[osType])) return kResultUnsupportedSystem;
  // Every path of the run is built on these; without them nothing can be found safely.
  if (systemDir.empty() || windowsDir.empty()) return kResultUnsupportedSystem;
  if (osType == kWindows9x) return 0;  // no service control manager on Windows 95/98
  scManager = sys.services.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  return scManager ? 0 : kResultNoRights;
}

int CQXErsDoc::DiscoverInstallation() {
  int count = FindProductDirFromUninstallEntry();
  count += AddProductUninstallDirs();
  count += AddScriptoraUtilityDir();
  count += AddNetbridgeUtilityDir();
  count += AddPrinterUtilityDir();
  // Spool directories are looked for here, before the directories that the companion
  // programs and the settings file add.
  FindSpoolDirs();
  count += AddCompanionProgramDirs();
  count += AddSettingsFileProductDirs();
  AddSettingsFileSpoolDirs();
  return count;
}

int CQXErsDoc::FindProductDirFromUninstallEntry() {
  std::string command;
  if (!ReadRegistryText(sys.registry, HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", command)) return 0;
  // A quoted program path ("C:\Program Files\...\Uninst.exe" /x) names the same directory.
  if (!command.empty() && command[0] == '"') command.erase(0, 1);
  std::size_t slash = FindLastChar(command, '\\');
  if (slash == std::string::npos) return 0;
  return AddOwnDirectory(productDirs, command.substr(0, slash + 1));
}

int CQXErsDoc::FindSpoolDirs() {
  int count = 0;
  std::string dir;
  if (ReadRegistryText(sys.registry, HKEY_LOCAL_MACHINE, kCacheKey, "CachePath", dir)) {
    count += AddOwnDirectory(spoolDirs, dir);
  }
  StringList printers;
  EnumSubkeyNames(sys.registry, HKEY_LOCAL_MACHINE, kPrintersKey, printers);
  // A print server's thousands of printers each name a spool directory: looked up folded.
  std::unordered_set<std::string> folded;
  for (const std::string& known : spoolDirs) folded.insert(FoldCase(known));
  for (const std::string& name : printers) {
    if (ReadRegistryText(sys.registry, HKEY_LOCAL_MACHINE, std::string(kPrintersKey) + "\\" + name, "PSPOOL", dir)) {
      count += AddOwnDirectory(spoolDirs, dir, &folded);
    }
  }
  // Taken whether or not the directory exists.
  for (const std::string& product : productDirs) count += AddOwnDirectory(spoolDirs, product + "SPOOL");
  return count;
}

}  // namespace qx
