// Removal of the family's printers, connections, shares, drivers, language monitors and
// print processors by editing the spooler's registry data, for a run that found the spooler
// stopped. Every edit is logged in the spooler-stopped section.
#include <vector>

#include "app/directories.h"
#include "app/text.h"
#include "printers/names.h"
#include "app/registry.h"

namespace qx {

namespace {

constexpr const char* kSharesKey = "SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Shares";
constexpr const char* kShareSecurityKey = "SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Shares\\Security";

const char* const kConnectionValuePaths[] = {kUserDevicesKey,      kUserPrinterPortsKey, "Printers\\DevModes",
                                             "Printers\\DevModes2", "Printers\\Settings", "Printers\\DevModePerUser"};

const char* const kConnectionCacheBases[] = {
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Providers\\LanMan Print Services\\Servers",
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\LanMan Print Services\\Servers"};

// A connection to another machine's printer, as the current user keeps it.
struct Connection {
  std::string key;     // below HKEY_CURRENT_USER
  std::string server;  // the server's name, without the leading backslashes
  std::string printer;
  std::string shown;   // \\server\printer
  std::string CacheKey(const char* base) const { return std::string(base) + "\\" + server + "\\Printers\\" + printer; }
};

// Reads the connection named ",,server,printer"; false when its key or Server value cannot be
// read. The Server value is \\server; a shorter one, or a connection name too short to hold
// ",," + server + ",", names no printer of that server.
bool ReadConnection(Registry& reg, const std::string& connection, Connection& c) {
  c.key = JoinKey(kConnectionsKey, connection);
  std::string server;
  if (!FitsBuffer(c.key) || !ReadRegistryText(reg, HKEY_CURRENT_USER, c.key, "Server", server)) return false;
  if (server.size() < 2 || connection.size() < server.size() + 1) return false;
  c.server = server.substr(2);
  c.printer = connection.substr(c.server.size() + 3);
  c.shown = ConnectionShownName(connection, server);
  return true;
}

const std::vector<RemovalRow>& ProcessorRows() {
  static const std::vector<RemovalRow> rows = {
      {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows 4.0\\Print Processors",
       "Key"},
      {HKEY_LOCAL_MACHINE,
       "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT x86\\Print Processors", "Key"},
  };
  return rows;
}

}  // namespace

void CQXErsDoc::GatherListedConnections() {
  StringList connections;
  EnumSubkeyNames(sys.registry, HKEY_CURRENT_USER, kConnectionsKey, connections);
  for (const std::string& connection : connections) {
    Connection c;
    if (!ReadConnection(sys.registry, connection, c)) continue;
    for (const char* base : kConnectionCacheBases) {
      std::string driver;
      std::string k = c.CacheKey(base);
      if (FitsBuffer(k) && ReadRegistryText(sys.registry, HKEY_LOCAL_MACHINE, k, "Printer Driver", driver) &&
          ListHoldsNoCase(DEL_PRINTER_NAME, driver) && !ListHoldsNoCase(listedConnections, connection)) {
        listedConnections.push_back(connection);
      }
    }
  }
}

void CQXErsDoc::DeleteSharesOffline() {
  // Shares of the printers to remove.
  for (const std::string& printer : printerNames) {
    std::string key = JoinKey(kPrintersKey, printer);
    std::string share;
    if (!FitsBuffer(key) || !ReadRegistryText(sys.registry, HKEY_LOCAL_MACHINE, key, "Share Name", share) ||
        share.empty()) {
      continue;
    }
    for (const char* shares : {kSharesKey, kShareSecurityKey}) {
      int r = DeleteRegistryValue(sys.registry, HKEY_LOCAL_MACHINE, shares, share, "");
      LogValueDeletion(r, "HKEY_LOCAL_MACHINE", shares, share);
    }
  }
}

void CQXErsDoc::RemoveListedConnectionsOffline() {
  // Connections to printers on other machines whose driver is one of the listed drivers.
  StringList connections;
  EnumSubkeyNames(sys.registry, HKEY_CURRENT_USER, kConnectionsKey, connections);
  for (const std::string& connection : connections) {
    Connection c;
    if (!ReadConnection(sys.registry, connection, c)) continue;
    const std::string& ck = c.key;
    const std::string& shown = c.shown;
    bool removed = false;
    // A connection an earlier run found listed, and whose cache it got as far as deleting.
    const bool noted = ListHoldsNoCase(listedConnections, connection);
    for (std::size_t b = 0; b < std::size(kConnectionCacheBases); ++b) {
      const char* base = kConnectionCacheBases[b];
      std::string k = c.CacheKey(base);
      if (!FitsBuffer(k)) {
        LogSkippedName(*this, "HKEY_LOCAL_MACHINE\\" + k);
        continue;
      }
      std::string driver;
      bool listed = ReadRegistryText(sys.registry, HKEY_LOCAL_MACHINE, k, "Printer Driver", driver) &&
                    ListHoldsNoCase(DEL_PRINTER_NAME, driver);
      bool last = b + 1 == std::size(kConnectionCacheBases);
      if (!listed && !(noted && last && !removed)) continue;
      removed = true;
      LogKeyDeletion(DeleteKeyTree(sys.registry, HKEY_LOCAL_MACHINE, k), "HKEY_LOCAL_MACHINE", k);
      LogKeyDeletion(DeleteKeyTree(sys.registry, HKEY_CURRENT_USER, ck), "HKEY_CURRENT_USER", ck);
      for (const char* path : kConnectionValuePaths) {
        LogValueDeletion(DeleteRegistryValue(sys.registry, HKEY_CURRENT_USER, path, shown, ""), "HKEY_CURRENT_USER",
                         path, shown);
      }
      StringList users;
      EnumSubkeyNames(sys.registry, HKEY_USERS, "", users);
      for (const std::string& user : users) {
        std::string uck = JoinKey(user, ck);
        LogKeyDeletion(DeleteKeyTree(sys.registry, HKEY_USERS, uck), "HKEY_USERS", uck);
        for (const char* path : kConnectionValuePaths) {
          std::string up = JoinKey(user, path);
          LogValueDeletion(DeleteRegistryValue(sys.registry, HKEY_USERS, up, shown, ""), "HKEY_USERS", up, shown);
        }
      }
    }
  }
}

void CQXErsDoc::DeleteListedDriverKeysOffline() {
  // Driver keys of every environment and version, Windows 2000's own version included
  // there: its spooler would have removed those too.
  std::vector<RemovalRow> driverRows = {
      {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows 4.0\\Drivers\\Version-0",
       "Key"},
      {HKEY_LOCAL_MACHINE,
       "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-1", "Key"},
      {HKEY_LOCAL_MACHINE,
       "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-2", "Key"},
  };
  if (osType == kWindows2000) {
    driverRows.push_back({HKEY_LOCAL_MACHINE,
                          "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-3",
                          "Key"});
  }
  RemoveNamedEntries(driverRows, DEL_PRINTER_NAME, true);
}

void CQXErsDoc::RemovePrinterDriversOffline() {
  AddLog(logSpoolerStopped, GroupEntry("プリンタドライバ の削除(SPOOLER 停止時の処理)"));
  DeleteSharesOffline();
  RemoveNamedEntries(PrinterLeftoverRows(true), printerNames, true);
  RemoveListedConnectionsOffline();
  DeleteListedDriverKeysOffline();
  RemoveNamedEntries({{HKEY_LOCAL_MACHINE, kMonitorsKey, "Key"}}, DEL_LM_NAME, true);
  DeleteListedPrintProcessorsOffline();
}

void CQXErsDoc::DeleteListedPrintProcessorsOffline() {
  AddLog(logSpoolerStopped, GroupEntry("ZOVPDD 以外のプリントプロセッサの削除(SPOOLER 停止時の処理)"));
  RemoveNamedEntries(ProcessorRows(), DEL_PROC_NAME, true);
}

void CQXErsDoc::DeleteProductPrintProcessorOffline() {
  AddLog(logSpoolerStopped, GroupEntry("ZOVPDD の削除(SPOOLER 停止時の処理)"));
  RemoveNamedEntries(ProcessorRows(), {kProductProcessor}, true);
}

void CQXErsDoc::ReassignVirtualPortsOffline() {
  AddLog(logSpoolerStopped, GroupEntry("仮想ポート の削除(SPOOLER 停止時の処理)"));
  struct Change {
    const char* value;
    bool (*applies)(const std::string&);
    const char* data;
  };
  static const Change changes[] = {
      {"Port", [](const std::string& port) { return StartsWithNoCase(port, kVirtualPortPrefix); }, kParallelPort},
      {"Print Processor", [](const std::string& processor) { return processor == kProductProcessor; },
       kStandardProcessor},
  };
  ForEachPrinterKeyOffline(*this, kPrintersKey, [&](const std::string& key) {
    for (const Change& change : changes) {
      std::string current;
      ReadRegistryText(sys.registry, HKEY_LOCAL_MACHINE, key, change.value, current);
      if (change.applies(current)) SetPrinterTextOffline(*this, key, change.value, change.data);
    }
  });
  RemoveNamedEntries({{HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports", "Value"}},
                     {"VPT1", "VPT1:"}, true);
}

}  // namespace qx
