// The companion program's entries, the reprint shortcuts and menu folders, the family's COM
// components, and the printer drivers' migration records carried across the erase.
#include <string_view>

#include "app/CQXErsDoc.h"
#include "app/config.h"
#include "app/text.h"
#include "companions/companions.h"
#include "app/registry.h"

namespace qx {

namespace {

constexpr const char* kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kDefaultShellFolders = ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kArpCache = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache\\";
constexpr const char* kReprintShortcut = "Qorvex リプリント.lnk";
constexpr const char* kReprintSettingsShortcut = "Qorvex リプリント設定.lnk";
constexpr const char* kReprintFolder = "Qorvex リプリント";
constexpr int kMaxFolderEntries = 2000;

constexpr const char* kComponents[] = {"ZOVQXPUC.DLL", "ZOVQXRCM.DLL", "ZOVQXQXT.DLL", "ZOVQXNIC.DLL",
                                       "ZOVQXEXP.EXE", "ZOVQXMSX.DLL", "ZOVPLSC.OCX"};
constexpr const char* kComponentProgram = "ZOVQXEXP.EXE";

// Entry names and installer-log paths of the companion program's uninstall entries.
int FindCompanionUninstallEntries(Registry& reg, StringList& entries, StringList& logs) {
  StringList names;
  EnumSubkeyNames(reg, HKEY_LOCAL_MACHINE, kUninstallRoot, names);
  int count = 0;
  for (const std::string& name : names) {
    if (!IsCompanionEntry(reg, name)) continue;
    entries.push_back(name);
    ++count;
    std::string path;
    if (!ReadCompanionUninstallPath(reg, name, path)) continue;
    std::size_t quote = path.find('"');
    if (quote != std::string::npos) path.resize(quote);
    logs.push_back(path);
    ++count;
  }
  return count;
}

// Program folders of the Start menu that hold the reprint settings shortcut.
void FindReprintMenuFolders(Platform& sys, StringList& folders) {
  struct Place {
    HKEY root;
    const char* key;
    const char* value;
  };
  const Place places[] = {{HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs"},
                          {HKEY_CURRENT_USER, kShellFolders, "Programs"},
                          {HKEY_USERS, kDefaultShellFolders, "Programs"}};
  for (const Place& place : places) {
    std::string path;
    if (!ReadRegistryText(sys.registry, place.root, place.key, place.value, path)) continue;
    EnsureTrailingBackslash(path);
    WIN32_FIND_DATAA found;
    HANDLE find = sys.files.FindFirstFileA((path + "*.*").c_str(), found);
    if (find == INVALID_HANDLE_VALUE) continue;
    int seen = 0;
    do {
      // "." and ".." stand for the Programs folder and the Start menu itself: taken as a
      // program group they would empty every program's menu there.
      if (found.cFileName == "." || found.cFileName == "..") continue;
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
      if (IniFileExists(sys.files, kReprintSettingsShortcut, path + found.cFileName, false)) {
        folders.push_back(found.cFileName);
      }
    } while (++seen < kMaxFolderEntries && sys.files.FindNextFileA(find, found));
    sys.files.FindClose(find);
  }
}

// The first shell folder (common, the user's, the default user's) that holds the file.
std::string FindShellFolderWithFile(Platform& sys, const std::string& folderName, const std::string& fileName) {
  struct Place {
    HKEY root;
    const char* key;
    std::string value;
  };
  const Place places[] = {{HKEY_LOCAL_MACHINE, kShellFolders, "Common " + folderName},
                          {HKEY_CURRENT_USER, kShellFolders, folderName},
                          {HKEY_USERS, kDefaultShellFolders, folderName}};
  for (const Place& place : places) {
    std::string path;
    if (!ReadRegistryText(sys.registry, place.root, place.key, place.value, path)) continue;
    if (IniFileExists(sys.files, fileName, path, false)) return path;
  }
  return {};
}

}  // namespace

int CQXErsDoc::CollectCompanionEntries() {
  int count = 0;
  StringList entries, logs;
  FindCompanionUninstallEntries(sys.registry, entries, logs);
  for (const std::string& entry : entries) {
    if (entry.empty()) continue;
    DEL_REG_QX.push_back("HKEY_LOCAL_MACHINE," + std::string(kUninstallRoot) + "\\" + entry);
    DEL_REG_QX.push_back("HKEY_LOCAL_MACHINE," + std::string(kArpCache) + entry);
    companionRegistry.insert(companionRegistry.end(), DEL_REG_QX.end() - 2, DEL_REG_QX.end());
    count += 2;
  }
  for (const std::string& log : logs) {
    if (log.empty()) continue;
    installerLogs.push_back(log);
    ++count;
  }

  StringList folders;
  FindReprintMenuFolders(sys, folders);
  for (const std::string& folder : folders) {
    DEL_FOLDER_QX.push_back(folder.empty() ? kReprintFolder : folder);
    companionFolders.push_back(DEL_FOLDER_QX.back());
    ++count;
  }

  for (const char* place : {"Desktop", "Startup"}) {
    std::string folder = FindShellFolderWithFile(sys, place, kReprintShortcut);
    if (folder.empty()) continue;
    // The entry is deleted on the system drive's root; a folder on another drive or a
    // network share would name a different file there, so its shortcut is left alone.
    bool onSystemDrive = folder.size() >= 3 && systemDir.size() >= 2 && folder[2] == '\\' &&
                         EqualsNoCase(std::string_view(folder).substr(0, 2), std::string_view(systemDir).substr(0, 2));
    if (!onSystemDrive) {
      EnsureTrailingBackslash(folder);
      AddLog(logFiles, folder + kReprintShortcut + " システムドライブ外のため削除しない。");
      continue;
    }
    std::string entry = folder.substr(3);
    if (!entry.empty()) EnsureTrailingBackslash(entry);
    DEL_FILE_QX_ROOT.push_back(entry + kReprintShortcut);
    companionRootFiles.push_back(DEL_FILE_QX_ROOT.back());
    ++count;
  }
  return count;
}

int CQXErsDoc::UnregisterCompanionComponents() {
  char buffer[MAX_PATH] = {};
  DWORD length = sys.files.GetCurrentDirectoryA(MAX_PATH, buffer);
  // The directory made current here is removed later, and Windows does not remove a
  // process's current directory: without the old one the system directory is taken.
  std::string remembered = (length > 0 && length < MAX_PATH) ? FromBuffer(buffer, length) : systemDir;

  for (const char* component : kComponents) {
    for (const std::string& dir : productDirs) {
      if (!IniFileExists(sys.files, component, dir, false)) continue;
      sys.files.SetCurrentDirectoryA(dir.c_str());
      const std::string path = dir + component;
      if (std::string_view(component) == kComponentProgram) {
        // Quoted, so a directory with blanks cannot start a program named by its first word.
        const std::string commandLine = "\"" + path + "\" /UnregServer";
        STARTUPINFOA startup;
        PROCESS_INFORMATION process;
        if (sys.modules.CreateProcessA(nullptr, commandLine.c_str(), FALSE, 0, nullptr, startup, process)) {
          sys.modules.CloseHandle(process.hThread);
          sys.modules.CloseHandle(process.hProcess);
        }
        continue;
      }
      HMODULE module = sys.modules.LoadLibraryA(path.c_str());
      if (!module) continue;
      if (FARPROC entry = sys.modules.GetProcAddress(module, "DllUnregisterServer")) {
        sys.modules.DllUnregisterServer(entry);
      }
      sys.modules.FreeLibrary(module);
    }
  }
  sys.files.SetCurrentDirectoryA(remembered.c_str());
  return 0;
}

void CQXErsDoc::TakeUpKeptDriverMigration() {
  // Driver migration values that a cut-off run saved and did not put back: kept with the
  // run's own, in the temporary key as well.
  std::size_t own = keptDriverMigration.size();
  TakeUpKeptValues(kUnfinishedRunPrinters);
  TakeUpKeptValues(kTemporaryPrinters);
  for (std::size_t i = own; i < keptDriverMigration.size(); ++i) {
    const KeptValue& v = keptDriverMigration[i];
    WriteRegistryValue(sys.registry, HKEY_LOCAL_MACHINE, std::string(kTemporaryPrinters) + "\\" + v.printer, v.name,
                       v.type, reinterpret_cast<const BYTE*>(v.data.data()), static_cast<DWORD>(v.data.size()));
  }
}

int CQXErsDoc::KeepDriverMigrationData(MigrationDirection direction) {
  if (delFlags & kDelDrivers) {
    // Nothing is kept; a temporary key that a cut-off run left goes with the drivers' data.
    if (direction == MigrationDirection::Restore) DeleteKeyTree(sys.registry, HKEY_LOCAL_MACHINE, kTemporaryKey);
    return -1;
  }
  if (direction == MigrationDirection::Restore) {
    // Restored from what was read at the start, so that a configured deletion of the
    // product family's keys, the temporary key among them, cannot lose the records.
    for (const KeptValue& v : keptDriverMigration) {
      WriteRegistryValue(sys.registry, HKEY_LOCAL_MACHINE, std::string(kProductPrinters) + "\\" + v.printer, v.name,
                         v.type, reinterpret_cast<const BYTE*>(v.data.data()), static_cast<DWORD>(v.data.size()));
    }
    if (DeleteKeyTree(sys.registry, HKEY_LOCAL_MACHINE, kTemporaryKey) != 1 &&
        ReadRegistryValue(sys.registry, HKEY_LOCAL_MACHINE, kTemporaryKey, "", nullptr, nullptr, nullptr)) {
      workLeft = true;  // the next run takes the values up and deletes it
    }
    return 0;
  }

  StringList printers;
  EnumSubkeyNames(sys.registry, HKEY_LOCAL_MACHINE, kProductPrinters, printers);
  for (const std::string& printer : printers) {
    const std::string source = std::string(kProductPrinters) + "\\" + printer;
    // A value that does not fit is not copied in part; the others still are.
    std::vector<RegistryValue> values;
    EnumRegistryValues(sys.registry, HKEY_LOCAL_MACHINE, source, values, true);
    for (RegistryValue& value : values) {
      const std::string& name = value.name;
      if (name.size() < 5 || name.compare(0, 3, "MIG") != 0 || name[4] != 'D') continue;
      WriteRegistryValue(sys.registry, HKEY_LOCAL_MACHINE, std::string(kTemporaryPrinters) + "\\" + printer,
                         name, value.type, reinterpret_cast<const BYTE*>(value.data.data()),
                         static_cast<DWORD>(value.data.size()));
      keptDriverMigration.push_back(KeptValue{printer, name, value.type, std::move(value.data)});
    }
  }
  TakeUpKeptDriverMigration();
  return 0;
}

}  // namespace qx
