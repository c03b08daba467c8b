// Removal of the product's network ports and port monitors: printers on them move to a
// parallel port first, then the ports and monitors go, through the spooler when it runs and
// by registry edits when it was found stopped.
#include <vector>

#include "app/text.h"
#include "printers/names.h"
#include "app/registry.h"

namespace qx {

namespace {

// The port a printer on the given port moves to for the kind of port being removed, or ""
// when it stays.
std::string NewPort(CQXErsDoc& doc, const std::string& kind, const std::string& port,
                    const CQXErsDoc::ProductPortListing& listing) {
  if (kind == kLptnKind) return IsLptnPort(port) ? MapLptnPort(port) : std::string();
  // NT 3.51 names such a port with the suffix already.
  std::string asListed = doc.osType == kWindowsNT351 ? port : port + kTcpPortSuffix;
  return doc.IsProductNetworkPort(listing, asListed) ? kParallelPort : std::string();
}

// The family's monitors' ports, read once for all the printers a move looks at.
CQXErsDoc::ProductPortListing ListingFor(CQXErsDoc& doc, const std::string& kind) {
  return kind == kLptnKind ? CQXErsDoc::ProductPortListing{} : doc.ReadProductPortListing();
}

bool KnownKind(const std::string& kind) { return kind == kLptnKind || kind == kTcpPortKind; }

}  // namespace

void CQXErsDoc::RemoveNetrovaPorts() {
  // Printers move first: whether a port is the product's is read from the monitors' keys,
  // which the later steps delete.
  if (spoolerRunning) {
    MovePrintersOffPorts(kTcpPortKind);
    DeleteNetrovaTcpPorts();
    DeleteNetrovaMonitors();
  } else {
    MovePrintersOffPortsOffline(kTcpPortKind);
    DeleteNetrovaPortKeysOffline();
    DeleteNetrovaMonitorKeysOffline();
  }
  DeleteNetrovaMonitorKeys();
}

void CQXErsDoc::RemoveLptnPorts() {
  if (spoolerRunning) {
    MovePrintersOffPorts(kLptnKind);
    DeleteLptnPorts();
    DeleteLptnMonitor();
  } else {
    MovePrintersOffPortsOffline(kLptnKind);
    NoteLptnPortsOffline();
    DeleteLptnMonitorKeyOffline();
  }
}

int CQXErsDoc::MovePrintersOffPorts(const std::string& kind) {
  if (!KnownKind(kind)) return 0;
  std::vector<PRINTER_INFO_2A> printers;
  if (!sys.spooler.EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, printers)) return 0;
  const ProductPortListing listing = ListingFor(*this, kind);
  for (PRINTER_INFO_2A& printer : printers) {
    std::string port = NewPort(*this, kind, printer.pPortName, listing);
    if (port.empty()) continue;
    HANDLE handle = nullptr;
    PRINTER_DEFAULTSA defaults{nullptr, PRINTER_ACCESS_ADMINISTER};
    if (!sys.spooler.OpenPrinterA(printer.pPrinterName.c_str(), &handle, &defaults)) continue;
    printer.pPortName = port;
    sys.spooler.SetPrinterA(handle, 2, &printer, 0);
    sys.spooler.ClosePrinter(handle);
  }
  return 1;
}

void CQXErsDoc::DeleteNetrovaTcpPorts() {
  if (osType == kWindowsNT351) return;
  std::vector<PORT_INFO_2A> ports;
  sys.spooler.EnumPortsA(nullptr, ports);
  for (const PORT_INFO_2A& port : ports) {
    // The label stands after the port's own name in its description; the port is deleted
    // by its name, which is what the spooler knows it by.
    if (FindText(port.pDescription, kTcpPortLabel, 1) == std::string::npos) continue;
    sys.spooler.DeletePortA(nullptr, nullptr, port.pPortName.c_str());
  }
}

void CQXErsDoc::DeleteNetrovaMonitors() {
  std::vector<const char*> targets;
  if (osType == kWindows9x || osType == kWindowsNT351 || osType == kWindows2000) targets.push_back(kTcpMonitor);
  if (osType == kWindowsNT4 || osType == kWindows2000) targets.push_back(kNetworkMonitor);
  const char* environment = osType == kWindows9x ? kWin95Environment : kNtEnvironment;
  std::vector<MONITOR_INFO_1A> monitors;
  sys.spooler.EnumMonitorsA(nullptr, monitors);
  for (const MONITOR_INFO_1A& monitor : monitors) {
    for (const char* target : targets) {
      if (EqualsNoCase(monitor.pName, target)) sys.spooler.DeleteMonitorA(nullptr, environment, monitor.pName.c_str());
    }
  }
}

void CQXErsDoc::DeleteNetrovaMonitorKeys() {
  if (osType == kWindows9x || osType == kWindowsNT351 || osType == kWindows2000) DeleteKeyTree(sys.registry, HKEY_LOCAL_MACHINE, kTcpMonitorKey);
  if (osType == kWindowsNT4 || osType == kWindows2000) DeleteKeyTree(sys.registry, HKEY_LOCAL_MACHINE, kNetworkMonitorKey);
}

void CQXErsDoc::DeleteLptnPorts() {
  std::string port = "LPTNx:";
  for (char digit : {'1', '2', '3'}) {
    port[4] = digit;
    sys.spooler.DeletePortA(nullptr, nullptr, port.c_str());
  }
}

void CQXErsDoc::DeleteLptnMonitor() {
  sys.spooler.DeleteMonitorA(nullptr, kNtEnvironment, kNetworkMonitor);
}

int CQXErsDoc::MovePrintersOffPortsOffline(const std::string& kind) {
  if (!KnownKind(kind)) return 0;
  AddLog(logSpoolerStopped, GroupEntry(kind == kLptnKind ? "LPTNx: -> LPTx:変更(SPOOLER 停止時の処理)"
                                                          : "NeTrova Port -> LPTx:変更(SPOOLER 停止時の処理)"));
  const ProductPortListing listing = ListingFor(*this, kind);
  for (const char* base : {kPrintersKey, kNtPrintersKey}) {
    ForEachPrinterKeyOffline(*this, base, [&](const std::string& key) {
      std::string port;
      ReadRegistryText(sys.registry, HKEY_LOCAL_MACHINE, key, "Port", port);
      std::string moved = NewPort(*this, kind, port, listing);
      if (!moved.empty()) SetPrinterTextOffline(*this, key, "Port", moved);
    });
  }
  return 1;
}

void CQXErsDoc::DeleteNetrovaPortKeysOffline() {
  AddLog(logSpoolerStopped, GroupEntry("Netrovaポートの削除(SPOOLER 停止時の処理)"));
  const char* monitorKey = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\ZOV Network Port";
  StringList ports;
  EnumSubkeyNames(sys.registry, HKEY_LOCAL_MACHINE, monitorKey, ports);
  RemoveNamedEntries({{HKEY_LOCAL_MACHINE, monitorKey, "Key"}}, ports, true);
}

void CQXErsDoc::DeleteNetrovaMonitorKeysOffline() {
  AddLog(logSpoolerStopped, GroupEntry("Netrovaポートモニタの削除(SPOOLER 停止時の処理)"));
  RemoveNamedEntries({{HKEY_LOCAL_MACHINE, kMonitorsKey, "Key"}}, {kTcpMonitor, kNetworkMonitor}, true);
}

void CQXErsDoc::DeleteLptnMonitorKeyOffline() {
  AddLog(logSpoolerStopped, GroupEntry("NT3.51用言語モニタの削除(SPOOLER 停止時の処理)"));
  RemoveNamedEntries({{HKEY_LOCAL_MACHINE, kMonitorsKey, "Key"}}, {kNetworkMonitor}, true);
}

void CQXErsDoc::NoteLptnPortsOffline() {
  AddLog(logSpoolerStopped, GroupEntry("LPTNxポートの削除(SPOOLER 停止時の処理)"));
  AddLog(logSpoolerStopped, "特になにもしない");
}

}  // namespace qx
