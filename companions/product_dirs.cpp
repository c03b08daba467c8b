// Discovery of the directories where the family's products and companion utilities are
// installed, from their uninstall entries and from the migration settings file. Each
// directory found joins productDirs once; the file stage empties them later.
#include "app/CQXErsDoc.h"
#include "app/config.h"
#include "app/directories.h"
#include "app/text.h"
#include "companions/companions.h"
#include "app/registry.h"

namespace qx {

namespace {

constexpr int kMaxProductEntries = 100;

std::string EntryKey(const std::string& name) { return std::string(kUninstallRoot) + "\\" + name; }

// The text up to and including its last backslash; empty when it has none.
std::string UpToLastBackslash(const std::string& text) {
  std::size_t slash = FindLastChar(text, '\\');
  return slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
}

// The text that follows the first "-switch", cut skip bytes after the switch's start.
bool AfterSwitch(const std::string& text, const char* switchText, std::size_t skip, std::string& rest) {
  std::size_t at = FindText(text, switchText);
  if (at == std::string::npos) return false;
  rest = at + skip <= text.size() ? text.substr(at + skip) : std::string();
  return true;
}

}  // namespace

bool IsCompanionEntry(Registry& reg, const std::string& entry) {
  std::string application;
  return ReadRegistryText(reg, HKEY_LOCAL_MACHINE, EntryKey(entry), "ApplicationName", application) &&
         EqualsNoCase(application, "ZOVPLS.exe");
}

bool ReadCompanionUninstallPath(Registry& reg, const std::string& entry, std::string& path) {
  std::string command;
  if (!ReadRegistryText(reg, HKEY_LOCAL_MACHINE, EntryKey(entry), "UninstallString", command)) return false;
  // An entry without "-n" or without a drive after it is skipped alone; the later entries
  // are still examined.
  std::size_t at = FindText(command, "-n");
  if (at == std::string::npos) return false;
  std::string rest = command.substr(at);
  std::size_t colon = FindLastChar(rest, ':');
  if (colon == std::string::npos || colon == 0) return false;
  path = rest.substr(colon - 1);
  return true;
}

int CQXErsDoc::AddProductUninstallDirs() {
  HKEY key = nullptr;
  if (sys.registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallRoot, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return 0;
  StringList names;
  int retries = 0;
  for (DWORD index = 0; names.size() < kMaxProductEntries; ++index) {
    char name[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    LONG result = sys.registry.RegEnumKeyExA(key, index, name, &length);
    // A name too long for the buffer is skipped; any other failure would repeat at every
    // index, so it ends the enumeration like the end of the list.
    if (result == ERROR_MORE_DATA) {
      if (index >= kMaxEnumIndex) break;  // a key that answers so at every index still ends
      AskAgainOrPassOver(index, retries);
      continue;
    }
    retries = 0;
    if (result != ERROR_SUCCESS) break;
    std::string found = FromBuffer(name, length < MAX_PATH ? length : MAX_PATH);
    if (found.compare(0, 6, "Qorvex") == 0) names.push_back(found);
  }
  sys.registry.RegCloseKey(key);

  int count = 0;
  for (const std::string& name : names) {
    // The main entry's directory is found by discovery itself.
    if (EqualsNoCase(name, "Qorvex 1.2")) continue;
    std::string command;
    if (!ReadRegistryText(sys.registry, HKEY_LOCAL_MACHINE, EntryKey(name), "UninstallString", command)) continue;
    // A quoted program path names the same directory as an unquoted one.
    if (!command.empty() && command[0] == '"') command.erase(0, 1);
    count += AddOwnDirectory(productDirs, UpToLastBackslash(command));
  }
  return count;
}

int CQXErsDoc::AddScriptoraUtilityDir() {
  std::string command, rest;
  if (!ReadRegistryText(sys.registry, HKEY_LOCAL_MACHINE, EntryKey("Scriptora Utility"), "UninstallString", command)) {
    return 0;
  }
  // -f"<log file>": the switch and its opening quote are passed over.
  if (!AfterSwitch(command, "-f", 3, rest)) return 0;
  return AddOwnDirectory(productDirs, UpToLastBackslash(rest));
}

int CQXErsDoc::AddNetbridgeUtilityDir() {
  std::string command;
  if (!ReadRegistryText(sys.registry, HKEY_LOCAL_MACHINE, EntryKey("Netbridge Utility 1.0"), "UninstallString",
                        command)) {
    return 0;
  }
  // The directory of the path that ends last: it starts at the drive letter before the last
  // colon, or after the last quote.
  std::string dir = UpToLastBackslash(command);
  std::size_t quote = FindLastChar(dir, '"');
  std::size_t colon = FindLastChar(dir, ':');
  std::size_t start = quote == std::string::npos ? 0 : quote + 1;
  if (colon != std::string::npos && colon >= 1 && colon - 1 > start) start = colon - 1;
  return AddOwnDirectory(productDirs, dir.substr(start));
}

int CQXErsDoc::AddPrinterUtilityDir() {
  std::string command, rest;
  if (!ReadRegistryText(sys.registry, HKEY_LOCAL_MACHINE, EntryKey("ﾌﾟﾘﾝﾀ管理ﾕｰﾃｨﾘﾃｨ"), "UninstallString", command)) {
    return 0;
  }
  if (!AfterSwitch(command, "-f", 2, rest)) return 0;
  if (!rest.empty() && rest[0] == '"') rest.erase(0, 1);
  return AddOwnDirectory(productDirs, UpToLastBackslash(rest));
}

int CQXErsDoc::AddCompanionProgramDirs() {
  StringList entries;
  EnumSubkeyNames(sys.registry, HKEY_LOCAL_MACHINE, kUninstallRoot, entries);
  int count = 0;
  for (const std::string& entry : entries) {
    std::string path;
    if (!IsCompanionEntry(sys.registry, entry) || !ReadCompanionUninstallPath(sys.registry, entry, path)) continue;
    count += AddOwnDirectory(productDirs, UpToLastBackslash(path));
  }
  return count;
}

namespace {

// Reads one key of the numbered sections of the settings file into a list of directories:
// sections 0 to 17 always, gaps included; from 18 on, up to the first section without the key.
int AddSettingsFileDirs(CQXErsDoc& doc, const char* key, StringList& list) {
  Files& files = doc.sys.files;
  if (!IniFileExists(files, kSettingsFile, doc.windowsDir, false)) return 0;
  const std::string path = doc.windowsDir + kSettingsFile;
  int count = 0;
  for (int section = 0; section < 100; ++section) {
    std::string value = ReadIniValue(files, std::to_string(section), key, path);
    if (value == kIniNotOpened) break;  // the file went away or cannot be read
    if (value == kIniNotFound) {
      if (section < 18) continue;
      break;
    }
    if (value.empty()) continue;
    count += doc.AddOwnDirectory(list, value);
  }
  return count;
}

}  // namespace

int CQXErsDoc::AddSettingsFileProductDirs() { return AddSettingsFileDirs(*this, "DIRPATH", productDirs); }

int CQXErsDoc::AddSettingsFileSpoolDirs() { return AddSettingsFileDirs(*this, "PSPOOL", spoolDirs); }

}  // namespace qx
