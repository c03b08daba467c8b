// The fixed names by which the family's printer objects are recognised, and the small rules
// that the printer removals share.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/CQXErsDoc.h"

namespace qx {

inline constexpr const char* kProductProcessor = "ZOVPDD";
inline constexpr const char* kStandardProcessor = "WinPrint";
inline constexpr const char* kVirtualPortPrefix = "VPT";
inline constexpr const char* kParallelPort = "LPT1:";
inline constexpr const char* kLptnPrefix = "LPTN";
inline constexpr const char* kLptnKind = "LPTNx";
inline constexpr const char* kTcpPortKind = "ZOVPP";
inline constexpr const char* kTcpMonitor = "ZOV TCP/IP Printing System";
inline constexpr const char* kNetworkMonitor = "ZOV Network Port";
inline constexpr const char* kTcpPortSuffix = " (ZOV TCP/IP Port)";
inline constexpr const char* kTcpPortLabel = "ZOV TCP/IP Port";
inline constexpr const char* kWin95Environment = "Windows 4.0";
inline constexpr const char* kNtEnvironment = "Windows NT x86";

inline constexpr const char* kPrintersKey = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
inline constexpr const char* kNtPrintersKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers";
inline constexpr const char* kMonitorsKey = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";
inline constexpr const char* kTcpMonitorKey = "System\\CurrentControlSet\\Control\\Print\\Monitors\\ZOV TCP/IP Printing System";
inline constexpr const char* kNetworkMonitorKey = "System\\CurrentControlSet\\Control\\Print\\Monitors\\ZOV Network Port";
inline constexpr const char* kConnectionsKey = "Printers\\Connections";
inline constexpr const char* kUserDevicesKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Devices";
inline constexpr const char* kUserPrinterPortsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\PrinterPorts";

// base + "\" + name, without doubling a backslash that base already ends in.
std::string JoinKey(std::string base, const std::string& name);

// True when the text fits a 260-byte buffer with its terminating zero.
inline bool FitsBuffer(const std::string& text) { return text.size() < MAX_PATH; }

// A name or path that would not fit a 260-byte buffer is passed over; the line says so, in
// the printer section while the spooler runs and in the spooler-stopped section otherwise.
void LogSkippedName(CQXErsDoc& doc, const std::string& name);

// With the spooler stopped: calls visit with the key of each printer listed under base, below
// HKEY_LOCAL_MACHINE; a key too long for a 260-byte buffer is logged and passed over.
void ForEachPrinterKeyOffline(CQXErsDoc& doc, const char* base, const std::function<void(const std::string&)>& visit);

// With the spooler stopped: sets a text value of a printer's key and logs the setting.
void SetPrinterTextOffline(CQXErsDoc& doc, const std::string& key, const std::string& valueName,
                           const std::string& data);

// A log group: the light line and the group's title on the line after it.
std::string GroupEntry(const std::string& title);

// ,,SRV01,LaserA is shown as \\SRV01\LaserA; any other name as it stands.
std::string ConnectionDisplayName(const std::string& name);

// A connection's key name as the users' lists show it, cut where its Server value (\\SRV01)
// says: ,,SRV01,LaserA is \\SRV01\LaserA. Any other name, or one no longer than the server
// value, as it stands.
std::string ConnectionShownName(const std::string& connection, const std::string& server);

// What a removed printer leaves behind: its keys in the machine's printer lists and its
// values in the users' printer settings. withDeviceLists adds, after the Print Manager rows,
// the users' Devices and PrinterPorts values, which a running spooler clears itself.
std::vector<RemovalRow> PrinterLeftoverRows(bool withDeviceLists);

// A port whose name begins with LPTN (any case), and the parallel port that replaces it:
// LPTN2: becomes LPT2:.
bool IsLptnPort(const std::string& port);
std::string MapLptnPort(const std::string& port);

}  // namespace qx
