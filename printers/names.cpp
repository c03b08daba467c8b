// Printer-object names: gathering the printers to remove, recognising the product's network
// ports and virtual printers, and the table-driven registry removal.
#include "printers/names.h"

#include <memory>
#include <unordered_set>

#include <vector>

#include "app/directories.h"
#include "app/log_lines.h"
#include "app/text.h"
#include "app/registry.h"

namespace qx {

std::string JoinKey(std::string base, const std::string& name) {
  EnsureTrailingBackslash(base);
  return base + name;
}

void LogSkippedName(CQXErsDoc& doc, const std::string& name) {
  StringList& log = doc.spoolerRunning ? doc.logDrivers : doc.logSpoolerStopped;
  std::string line = name + " 名前が長すぎるため処理しない。";
  // A name met again (a monitor's list is read once per printer) is reported once.
  for (const std::string& logged : log) {
    if (logged == line) return;
  }
  doc.AddLog(log, line);
}

void ForEachPrinterKeyOffline(CQXErsDoc& doc, const char* base, const std::function<void(const std::string&)>& visit) {
  StringList printers;
  EnumSubkeyNames(doc.sys.registry, HKEY_LOCAL_MACHINE, base, printers);
  for (const std::string& printer : printers) {
    std::string key = std::string(base) + "\\" + printer;
    if (!FitsBuffer(key)) {
      LogSkippedName(doc, "HKEY_LOCAL_MACHINE\\" + key);
      continue;
    }
    visit(key);
  }
}

void SetPrinterTextOffline(CQXErsDoc& doc, const std::string& key, const std::string& valueName,
                           const std::string& data) {
  WriteRegistryValue(doc.sys.registry, HKEY_LOCAL_MACHINE, key, valueName, REG_SZ,
                     reinterpret_cast<const BYTE*>(data.c_str()), static_cast<DWORD>(data.size() + 1));
  doc.AddLog(doc.logSpoolerStopped, "設定：HKEY_LOCAL_MACHINE " + key + " , " + valueName + " ," + data);
}

std::string GroupEntry(const std::string& title) { return kLightLine + title; }

std::string ConnectionDisplayName(const std::string& name) {
  if (name.compare(0, 2, ",,") != 0) return name;
  std::string shown = name;
  shown[0] = shown[1] = '\\';
  std::size_t comma = shown.find(',');  // a comma is never the second byte of a character
  if (comma == std::string::npos) return name;
  shown[comma] = '\\';
  return shown;
}

std::string ConnectionShownName(const std::string& connection, const std::string& server) {
  std::string shown = connection;
  if (shown.compare(0, 2, ",,") == 0 && server.size() < shown.size()) shown[0] = shown[1] = shown[server.size()] = '\\';
  return shown;
}

std::vector<RemovalRow> PrinterLeftoverRows(bool withDeviceLists) {
  std::vector<const char*> valuePaths = {"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print Manager\\Printers"};
  if (withDeviceLists) valuePaths.insert(valuePaths.end(), {kUserDevicesKey, kUserPrinterPortsKey});
  valuePaths.insert(valuePaths.end(),
                    {"Printers\\DevModes", "Printers\\DevModes2", "Printers\\Settings", "Printers\\DevModePerUser"});
  std::vector<RemovalRow> rows = {{HKEY_LOCAL_MACHINE, kPrintersKey, "Key"}, {HKEY_LOCAL_MACHINE, kNtPrintersKey, "Key"}};
  for (const char* path : valuePaths) {
    rows.push_back({HKEY_CURRENT_USER, path, "Value"});
    rows.push_back({HKEY_USERS, path, "Value"});
  }
  return rows;
}

bool IsLptnPort(const std::string& port) { return StartsWithNoCase(port, kLptnPrefix); }

std::string MapLptnPort(const std::string& port) {
  std::string mapped = kParallelPort;
  // A bare "LPTN" (or one followed by a double-byte character) names no port number: it
  // goes to LPT1: rather than to a cut-off name.
  if (port.size() > 4 && !IsDBCSLeadByte(static_cast<unsigned char>(port[4]))) mapped[3] = port[4];
  return mapped;
}

const char* CQXErsDoc::OwnEnvironment() const { return osType == kWindows9x ? kWin95Environment : kNtEnvironment; }

int CQXErsDoc::GatherPrinterNames() {
  // The names gathered so far (both printer trees name most printers), for a look-up as long
  // as the spooler has printers.
  std::unordered_set<std::string> gathered(printerNames.begin(), printerNames.end());
  int count = 0;
  for (const char* base : {kPrintersKey, kNtPrintersKey}) {
    StringList names;
    EnumSubkeyNames(sys.registry, HKEY_LOCAL_MACHINE, base, names);
    for (const std::string& name : names) {
      std::string key = JoinKey(base, name);
      if (!FitsBuffer(key)) {
        LogSkippedName(*this, key);
        continue;
      }
      std::string driver;
      if (!ReadRegistryText(sys.registry, HKEY_LOCAL_MACHINE, key, "Printer Driver", driver)) continue;
      if (!ListHoldsNoCase(DEL_PRINTER_NAME, driver)) continue;
      if (gathered.insert(name).second) {
        printerNames.push_back(name);
        ++count;
      }
    }
  }
  return count;
}

CQXErsDoc::ProductPortListing CQXErsDoc::ReadProductPortListing() {
  ProductPortListing listing;
  // Values first, then subkeys: a monitor lists its ports either way.
  for (bool values : {true, false}) {
    for (const char* monitor : {kTcpMonitorKey, kNetworkMonitorKey}) {
      HKEY key = nullptr;
      if (sys.registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, monitor, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) continue;
      int retries = 0;
      for (DWORD index = 0;; ++index) {
        char name[MAX_PATH] = {};
        DWORD length = MAX_PATH;
        LONG r = values ? sys.registry.RegEnumValueA(key, index, name, &length, nullptr, nullptr, nullptr)
                        : sys.registry.RegEnumKeyExA(key, index, name, &length);
        if (r == ERROR_MORE_DATA) {
          // Read again in case it grew between two calls; a name longer than the buffer is
          // then passed over and the names after it are still seen.
          if (index >= kMaxEnumIndex) break;  // a key that answers so at every index still ends
          AskAgainOrPassOver(index, retries);
          if (retries == 0) listing.skipped.push_back({listing.size++, std::string(monitor) + " [" + std::to_string(index) + "]"});
          continue;
        }
        retries = 0;
        if (r != ERROR_SUCCESS) break;
        std::string text = FromBuffer(name, MAX_PATH);
        // The unnamed default value names no port.
        if (!text.empty()) listing.ports.emplace(text + kTcpPortSuffix, listing.size);
        ++listing.size;
      }
      sys.registry.RegCloseKey(key);
    }
  }
  return listing;
}

bool CQXErsDoc::IsProductNetworkPort(const ProductPortListing& listing, const std::string& port) {
  auto found = listing.ports.find(port);
  const std::size_t at = found == listing.ports.end() ? listing.size : found->second;
  // A name passed over is said each time the list is looked through, up to the port found.
  for (const auto& [position, text] : listing.skipped) {
    if (position < at) LogSkippedName(*this, text);
  }
  return found != listing.ports.end();
}

bool CQXErsDoc::IsProductNetworkPort(const std::string& port) {
  return IsProductNetworkPort(ReadProductPortListing(), port);
}

std::optional<std::string> CQXErsDoc::ReadVirtualPrinterTarget(const std::string& printer) {
  std::string path = JoinKey(JoinKey(kPrintersKey, printer), "PrinterDriverData");
  if (!FitsBuffer(path)) {
    LogSkippedName(*this, path);
    return std::nullopt;
  }
  HKEY key = nullptr;
  if (sys.registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::optional<std::string> target;
  DWORD size = 0;
  if (sys.registry.RegQueryValueExA(key, "PDD_PrinterNames", nullptr, nullptr, &size) == ERROR_SUCCESS) {
    std::vector<BYTE> data(size + 1, 0);
    if (sys.registry.RegQueryValueExA(key, "PDD_PrinterNames", nullptr, data.data(), &size) == ERROR_SUCCESS) {
      target = FromBuffer(reinterpret_cast<const char*>(data.data()), size);
    }
  }
  sys.registry.RegCloseKey(key);
  return target;
}

void CQXErsDoc::RemoveNamedEntries(const std::vector<RemovalRow>& rows, const StringList& names, bool log) {
  for (const RemovalRow& row : rows) {
    std::string rootName = RootKeyName(row.root);
    // The loaded hives, listed once for the row: deleting values does not change them.
    StringList users;
    if (row.root == HKEY_USERS) EnumSubkeyNames(sys.registry, HKEY_USERS, "", users);
    // The row's keys (one, or one per hive), each opened when first needed and kept open for
    // the row's names: a server's thousands of printers are each looked for in every hive. A
    // key that is not there stays absent (only values are deleted here); any other refusal is
    // tried again for the next name, as when each name opened the key itself.
    std::vector<std::unique_ptr<OpenKey>> opened(row.root == HKEY_USERS ? users.size() : 1);
    auto valueDeleted = [&](std::size_t at, const std::string& key, const std::string& value) {
      if (!opened[at] || (!*opened[at] && opened[at]->status() != ERROR_FILE_NOT_FOUND))
        opened[at] = std::make_unique<OpenKey>(sys.registry, row.root, key);
      return DeleteValueOf(sys.registry, *opened[at], value);
    };
    for (const std::string& name : names) {
      if (std::string(row.kind) == "Key") {
        std::string key = JoinKey(row.path, name);
        if (!FitsBuffer(key)) {
          LogSkippedName(*this, rootName + "\\" + key);
          continue;
        }
        int r = DeleteKeyTree(sys.registry, row.root, key);
        if (log) LogKeyDeletion(r, rootName, key);
        continue;
      }
      if (!FitsBuffer(name)) {
        LogSkippedName(*this, name);
        continue;
      }
      std::string value = ConnectionDisplayName(name);
      if (row.root != HKEY_USERS) {
        int r = valueDeleted(0, row.path, value);
        if (log) LogValueDeletion(r, rootName, row.path, value);
        continue;
      }
      for (std::size_t u = 0; u < users.size(); ++u) {
        std::string key = JoinKey(users[u], row.path);
        if (!FitsBuffer(key)) {
          LogSkippedName(*this, rootName + "\\" + key);
          continue;
        }
        int r = valueDeleted(u, key, value);
        if (log) LogValueDeletion(r, "HKEY_USERS", key, value);
      }
    }
  }
}

}  // namespace qx
