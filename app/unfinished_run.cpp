// What a run found on the machine, kept in the registry until what it leads to is gone. The
// run deletes the family's records (uninstall entries, the product's keys, migration
// records, the settings file) in the same pass as the folders and files they name: a run
// that is cut off, or that fails on some of them, would otherwise leave files that no later
// run can find. The next run takes up what is kept here with what it finds itself.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <unordered_set>

#include "app/CQXErsDoc.h"
#include "app/directories.h"
#include "app/text.h"
#include "app/registry.h"

namespace qx {

namespace {

constexpr const char* kProgramKey = "SOFTWARE\\Qorvex Eraser";

struct KeptList {
  std::string tag;
  StringList* list;
};

std::vector<KeptList> KeptLists(CQXErsDoc& doc) {
  std::vector<KeptList> lists = {
      {"QXDIR", &doc.productDirs}, {"SPOOL", &doc.spoolDirs},        {"ISU", &doc.installerLogs},
      {"FOLDER", &doc.companionFolders}, {"ROOT", &doc.companionRootFiles}, {"REG", &doc.companionRegistry},
      {"PRINTER", &doc.printerNames}, {"CONN", &doc.listedConnections}, {"WEB", &doc.webRoots},
  };
  for (int i = 0; i < 10; ++i) {
    lists.push_back({"MIG" + std::to_string(i), &doc.migrationLists[i]});
  }
  return lists;
}

struct KeptItem {
  std::string tag, item;
  int index;
};

// The items kept under each tag, in the order they were written, each read at its own size.
std::vector<KeptItem> ReadKeptItems(Registry& reg) {
  std::vector<RegistryValue> values;
  EnumRegistryValues(reg, HKEY_LOCAL_MACHINE, kUnfinishedRunKey, values, false);
  std::vector<KeptItem> items;
  for (const RegistryValue& value : values) {
    std::size_t dot = value.name.find('.');
    if (dot == std::string::npos) continue;
    KeptItem kept{value.name.substr(0, dot), "", std::atoi(value.name.c_str() + dot + 1)};
    // An item that cannot be read still holds its number, so that none is written over.
    ReadRegistryText(reg, HKEY_LOCAL_MACHINE, kUnfinishedRunKey, value.name, kept.item);
    items.push_back(std::move(kept));
  }
  return items;
}

}  // namespace

int CQXErsDoc::TakeUpUnfinishedRun() {
  int steps = 0;
  const auto lists = KeptLists(*this);
  // What each list holds already, folded, so that a long note is taken up in one pass.
  std::map<const StringList*, std::unordered_set<std::string>> held;
  for (const KeptList& kept : lists) {
    for (const std::string& item : *kept.list) held[kept.list].insert(FoldCase(item));
  }
  for (const auto& [tag, item, index] : ReadKeptItems(sys.registry)) {
    if (item.empty()) continue;
    for (const KeptList& kept : lists) {
      if (tag != kept.tag || !held[kept.list].insert(FoldCase(item)).second) continue;
      if (kept.list == &productDirs) {
        // Taken as the discovery takes a directory: Windows' own are refused again.
        if (AddOwnDirectory(productDirs, item) == 0) continue;
        ++productDirCount;
        if (delFlags & kDelProduct) steps += static_cast<int>(DEL_FILE_QX_QXDIR.size());
      } else if (kept.list == &spoolDirs) {
        AddOwnDirectory(spoolDirs, item);
      } else {
        kept.list->push_back(item);
        if (kept.list == &companionFolders) {
          DEL_FOLDER_QX.push_back(item);
          if (delFlags & kDelProduct) ++steps;
        } else if (kept.list == &companionRootFiles) {
          DEL_FILE_QX_ROOT.push_back(item);
          if (delFlags & kDelProduct) ++steps;
        } else if (kept.list == &listedConnections) {
          // Its leftovers in the users' settings go with the printers' even when the
          // connection itself is gone already.
          if (!ListHoldsNoCase(printerNames, item)) printerNames.push_back(item);
        } else if (kept.list == &companionRegistry) {
          DEL_REG_QX.push_back(item);
          if (delFlags & kDelProduct) ++steps;
        }
      }
    }
  }
  return steps;
}

void CQXErsDoc::TakeUpKeptValues(const std::string& key) {
  std::vector<KeptValue>& kept = keptDriverMigration;
  std::unordered_set<std::string> known;
  for (const KeptValue& k : kept) known.insert(FoldCase(k.printer) + '\\' + FoldCase(k.name));
  StringList printers;
  EnumSubkeyNames(sys.registry, HKEY_LOCAL_MACHINE, key, printers);
  for (const std::string& printer : printers) {
    std::vector<RegistryValue> values;
    EnumRegistryValues(sys.registry, HKEY_LOCAL_MACHINE, key + "\\" + printer, values, true);
    for (RegistryValue& value : values) {
      if (!known.insert(FoldCase(printer) + '\\' + FoldCase(value.name)).second) continue;
      kept.push_back(KeptValue{printer, value.name, value.type, std::move(value.data)});
    }
  }
}

void CQXErsDoc::NoteUnfinishedRun() {
  // Only what is not noted yet is added, so a run cut off while noting loses nothing of what
  // an earlier run noted.
  const auto noted = ReadKeptItems(sys.registry);
  for (const KeptList& kept : KeptLists(*this)) {
    int index = 0;
    std::unordered_set<std::string> present;
    for (const KeptItem& item : noted) {
      if (item.tag != kept.tag) continue;
      present.insert(FoldCase(item.item));
      index = std::max(index, item.index + 1);
    }
    for (const std::string& item : *kept.list) {
      if (!present.insert(FoldCase(item)).second) continue;
      const std::string name = kept.tag + "." + std::to_string(index++);
      WriteRegistryValue(sys.registry, HKEY_LOCAL_MACHINE, kUnfinishedRunKey, name, REG_SZ,
                         reinterpret_cast<const BYTE*>(item.c_str()), static_cast<DWORD>(item.size() + 1));
    }
  }
  for (const KeptValue& v : keptDriverMigration) {
    WriteRegistryValue(sys.registry, HKEY_LOCAL_MACHINE, std::string(kUnfinishedRunPrinters) + "\\" + v.printer, v.name, v.type,
                       reinterpret_cast<const BYTE*>(v.data.data()), static_cast<DWORD>(v.data.size()));
  }
}

void CQXErsDoc::FinishUnfinishedRun() {
  // A run that got to its end with nothing left undone has finished what was noted; one that
  // failed on something a later run can still do leaves the note for that run.
  if (workLeft) return;
  DeleteKeyTree(sys.registry, HKEY_LOCAL_MACHINE, kUnfinishedRunKey);
  // The program's own key goes with it when nothing else is in it.
  HKEY key = nullptr;
  if (sys.registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProgramKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  char name[MAX_PATH] = {};
  DWORD length = MAX_PATH;
  bool empty = sys.registry.RegEnumKeyExA(key, 0, name, &length) == ERROR_NO_MORE_ITEMS;
  std::vector<RegistryValue> values;
  sys.registry.RegCloseKey(key);
  if (empty && EnumRegistryValues(sys.registry, HKEY_LOCAL_MACHINE, kProgramKey, values, false) == 0) {
    sys.registry.RegDeleteKeyA(HKEY_LOCAL_MACHINE, kProgramKey);
  }
}

}  // namespace qx
