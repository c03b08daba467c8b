// Migration records and installer logs that the product family leaves behind, and the
// migration settings file in the Windows directory.
#include "app/CQXErsDoc.h"
#include "app/config.h"
#include "app/log_lines.h"
#include "app/text.h"
#include "companions/companions.h"
#include "remove/folders.h"
#include "app/registry.h"

namespace qx {

namespace {

// The eight kinds, in the order names are compared, with the list each fills.
struct MigrationKind {
  const char* prefix;
  int listBase;  // 0 product, kMigDrivers drivers
  char kind;     // 'F' files or folders, 'K' keys, 'V' values, 'S' menu items
};
constexpr MigrationKind kKinds[] = {
    {"MIGFP", 0, 'F'}, {"MIGFD", kMigDrivers, 'F'}, {"MIGKP", 0, 'K'}, {"MIGKD", kMigDrivers, 'K'},
    {"MIGVP", 0, 'V'}, {"MIGVD", kMigDrivers, 'V'}, {"MIGSP", 0, 'S'}, {"MIGSD", kMigDrivers, 'S'},
};

// A file or folder is removed by full path only: a relative one would be looked for in whatever the
// current directory happens to be.
bool IsFullPath(const std::string& path) {
  bool drive = path.size() >= 3 && path[1] == ':' && path[2] == '\\';
  bool share = path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
  return drive || share;
}

// The value names of one key, in enumeration order. A name too long for the buffer is
// skipped; any other failure ends the list.
StringList ValueNames(Registry& reg, const std::string& subkey) {
  std::vector<RegistryValue> values;
  EnumRegistryValues(reg, HKEY_LOCAL_MACHINE, subkey, values, false);
  StringList names;
  for (const RegistryValue& value : values) names.push_back(value.name);
  return names;
}

}  // namespace

void CQXErsDoc::CollectInstallerLogs() {
  StringList keys;
  StringList printers;
  EnumSubkeyNames(sys.registry, HKEY_LOCAL_MACHINE, kProductPrinters, printers);
  for (const std::string& printer : printers) keys.push_back(std::string(kProductPrinters) + "\\" + printer);
  keys.push_back(std::string(kUninstallRoot) + "\\Scriptora Utility");
  keys.push_back(std::string(kUninstallRoot) + "\\ﾌﾟﾘﾝﾀ管理ﾕｰﾃｨﾘﾃｨ");

  for (const std::string& key : keys) {
    std::string command;
    if (!ReadRegistryText(sys.registry, HKEY_LOCAL_MACHINE, key, "UninstallString", command)) continue;
    std::size_t at = FindText(command, "-f");
    if (at == std::string::npos) continue;
    std::string path = command.substr(at + 2);
    if (!path.empty() && path.front() == '"') path.erase(0, 1);
    if (!path.empty() && path.back() == '"') path.pop_back();
    if (FindText(path, ".isu") != std::string::npos && IsFullPath(path)) installerLogs.push_back(path);
  }
}

void CQXErsDoc::CollectMigrationData() {
  StringList printers;
  EnumSubkeyNames(sys.registry, HKEY_LOCAL_MACHINE, kProductPrinters, printers);
  for (const std::string& printer : printers) {
    const std::string key = std::string(kProductPrinters) + "\\" + printer;
    for (const std::string& name : ValueNames(sys.registry, key)) {
      if (name.compare(0, 3, "MIG") != 0) continue;
      const MigrationKind* kind = nullptr;
      for (const MigrationKind& k : kKinds) {
        if (name.compare(0, 5, k.prefix) == 0) kind = &k;
      }
      if (!kind) continue;
      std::string data;
      if (!ReadRegistryText(sys.registry, HKEY_LOCAL_MACHINE, key, name, data)) continue;
      std::size_t comma = data.find(',');
      switch (kind->kind) {
        case 'F':
          if (comma != std::string::npos) {
            std::string folder = data.substr(0, comma);
            EnsureTrailingBackslash(folder);
            std::string file = folder + data.substr(comma + 1);
            if (IsFullPath(file)) migrationLists[kind->listBase + kMigFiles].push_back(file);
          } else {
            if (IsFullPath(data)) migrationLists[kind->listBase + kMigFolders].push_back(data);
          }
          break;
        case 'K':
          if (comma != std::string::npos) {
            std::string first = data.substr(0, comma);
            EnsureTrailingBackslash(first);
            data = first + data.substr(comma + 1);
          }
          migrationLists[kind->listBase + kMigKeys].push_back("HKEY_LOCAL_MACHINE," + data);
          break;
        case 'V':
          migrationLists[kind->listBase + kMigValues].push_back("HKEY_LOCAL_MACHINE," + data);
          break;
        default:
          migrationLists[kind->listBase + kMigMenuItems].push_back(data);
          break;
      }
    }
  }
}

void CQXErsDoc::RemoveMigrationLeftovers() {
  const std::string heading = kLightLine + "Migrate情報削除";
  AddLog(logFiles, heading);
  AddLog(logRegistry, heading);
  AddLog(logFolders, heading);
  for (int base : {0, kMigDrivers}) {
    if (!(delFlags & (base == 0 ? kDelProduct : kDelDrivers))) continue;
    for (const std::string& file : migrationLists[base + kMigFiles]) {
      if (Refusal refusal = CheckRecordFile(file); refusal != Refusal::kNone) {
        AddLog(logFiles, file + " ファイル削除失敗。" + RefusalText(refusal));
        ++failures;
        continue;
      }
      DeleteOneFile(file);
    }
    for (const std::string& folder : migrationLists[base + kMigFolders]) RemoveFolder(folder);
    for (const std::string& value : migrationLists[base + kMigValues]) DeleteRegistryEntry(value);
    for (const std::string& key : migrationLists[base + kMigKeys]) DeleteRegistryEntry(key);
    for (const std::string& entry : migrationLists[base + kMigMenuItems]) {
      std::string group, item;
      SplitMenuEntry(entry, group, item);
      RemoveProgramGroup(group, item);
      sys.system.Sleep(500);
    }
  }
}

int CQXErsDoc::DeleteInstallerLogs() {
  AddLog(logFiles, kLightLine + "DeIsl*.isu情報削除");
  int count = 0;
  for (const std::string& path : installerLogs) {
    if (Refusal refusal = CheckRecordFile(path); refusal != Refusal::kNone) {
      AddLog(logFiles, path + " ファイル 削除失敗" + RefusalText(refusal));
      ++failures;
      continue;
    }
    sys.files.SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    bool deleted = sys.files.DeleteFileA(path.c_str()) == 1;
    if (deleted) ++count;
    DWORD error = sys.system.GetLastError();
    if (!deleted && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) workLeft = true;
    AddLog(logFiles, path + " ファイル 削除" + (deleted ? "成功" : "失敗 or なし"));
  }
  AddLog(logFiles, "削除ファイル数：" + std::to_string(count) + " 個");
  return count;
}

void CQXErsDoc::DeleteMigrationSettingsFile() {
  AddLog(logFiles, kLightLine + "Migrate作成Iniファイル削除");
  if (!IniFileExists(sys.files, kSettingsFile, windowsDir, false)) {
    AddLog(logFiles, "Iniファイルなし");
    return;
  }
  const std::string path = windowsDir + kSettingsFile;
  sys.files.SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (sys.files.DeleteFileA(path.c_str()) == 1) {
    AddLog(logFiles, "Iniファイル削除成功");
    return;
  }
  AddLog(logFiles, "Iniファイル削除失敗");
  if (DeleteAtRestart(path)) {
    restartNeeded = 1;
    AddLog(logRestartCauses, path + " の削除に失敗");
  } else {
    workLeft = true;
  }
}

}  // namespace qx
