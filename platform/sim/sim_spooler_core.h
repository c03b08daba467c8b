// The print spooler's calls without fault injection, one class whose members are defined by
// object kind: sim_spooler_printers.cpp (printers and connections), sim_spooler_drivers.cpp,
// sim_spooler_ports.cpp (ports and monitors), sim_spooler_processors.cpp, and
// sim_spooler_core.cpp for what they share. Internal to the spooler's files.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_spooler.h"
#include "platform/sim/sim_state.h"

namespace qx::sim::spool {

using Lock = std::lock_guard<MachineMutex>;

inline constexpr char kEnvironments[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments";
inline constexpr char kNtEnvironment[] = "Windows NT x86";
inline constexpr char k9xEnvironment[] = "Windows 4.0";

// ---------------------------------------------------------------- registry data

std::optional<RegValueView> FindValue(const RegKey& k, std::string_view name);
// A text value up to its first zero; "" when missing or not text.
std::string Text(const RegKey& k, std::string_view name);
DWORD Dword(const RegKey& k, std::string_view name);
std::vector<BYTE> Bytes(const RegKey& k, std::string_view name);
void Put(SimMachine::State& s, RegKey& k, std::string_view name, DWORD type, std::string data);
void PutText(SimMachine::State& s, RegKey& k, std::string_view name, std::string_view text);
void PutDword(SimMachine::State& s, RegKey& k, std::string_view name, DWORD x);
bool RemoveValue(SimMachine::State& s, RegKey& k, std::string_view name);
std::shared_ptr<RegKey> Child(const std::shared_ptr<RegKey>& k, std::string_view name);
std::vector<std::string> SplitList(std::string_view text, char separator);
// A printer's name: its "Name" value, else its key's name.
std::string PrinterName(const RegKey& printer);
// The ports a printer's "Port" value lists (several are separated by ",").
std::vector<std::string> PortsOf(const RegKey& printer);
// A name as the journal shows it.
std::string Quoted(std::string_view text);

// ---------------------------------------------------------------- the spooler

class SpoolerCore final : public Spooler {
 public:
  explicit SpoolerCore(SimMachine::State& s) : s_(s), d_(s.spoolerData) {}

  // sim_spooler_printers.cpp
  BOOL EnumPrintersA(DWORD flags, const char* name, std::vector<PRINTER_INFO_2A>& printers) override;
  BOOL OpenPrinterA(const char* printerName, HANDLE* printer, const PRINTER_DEFAULTSA* defaults) override;
  BOOL SetPrinterA(HANDLE printer, DWORD level, const PRINTER_INFO_2A* info, DWORD command) override;
  BOOL ClosePrinter(HANDLE printer) override;
  BOOL DeletePrinter(HANDLE printer) override;
  BOOL DeletePrinterConnectionA(const char* name) override;
  // sim_spooler_drivers.cpp
  BOOL EnumPrinterDriversA(const char* server, const char* environment, std::vector<DRIVER_INFO_2A>& drivers) override;
  BOOL DeletePrinterDriverA(const char* server, const char* environment, const char* driverName) override;
  // sim_spooler_ports.cpp
  BOOL EnumMonitorsA(const char* server, std::vector<MONITOR_INFO_1A>& monitors) override;
  BOOL DeleteMonitorA(const char* server, const char* environment, const char* monitorName) override;
  BOOL EnumPortsA(const char* server, std::vector<PORT_INFO_2A>& ports) override;
  BOOL DeletePortA(const char* server, HWND window, const char* portName) override;
  // sim_spooler_processors.cpp
  BOOL EnumPrintProcessorsA(const char* server, const char* environment,
                            std::vector<PRINTPROCESSOR_INFO_1A>& processors) override;
  BOOL DeletePrintProcessorA(const char* server, const char* environment, const char* processorName) override;

  // The printer a handle stands for, for fault matching ("" when unknown).
  std::string HandleObject(HANDLE h) {
    Lock lock(s_.mu);
    auto it = d_.handles.find(reinterpret_cast<std::uintptr_t>(h));
    return it == d_.handles.end() ? "" : it->second.printer;
  }

 private:
  struct Port {
    std::string name;
    std::string monitor;
    std::string description;
    std::shared_ptr<RegKey> key;  // the port's own key; null for a local port
  };
  struct Driver {
    std::shared_ptr<RegKey> key;
    DWORD version = 0;
    std::string directory;  // the environment's driver directory, with a trailing backslash
  };
  struct Connection {
    std::shared_ptr<RegKey> key;  // under HKCU\Printers\Connections
    std::string server;           // "\\SRV01"
    std::string printer;          // "LaserA"
    std::string display;          // "\\SRV01\LaserA"
  };

  // ---- shared (sim_spooler_core.cpp)
  bool Nt() const { return s_.settings.platformId == VER_PLATFORM_WIN32_NT; }
  std::string OwnEnvironment() const { return Nt() ? kNtEnvironment : k9xEnvironment; }

  BOOL Fail(DWORD error) {
    s_.SetError(error);
    return FALSE;
  }

  // On the NT family the spooler is a service; the client library cannot reach it while the
  // service is not running.
  bool Reachable() const;
  // The key of the local printer behind a handle opened with the rights asked for (checked on
  // the NT family), or null with the error the call fails with: ERROR_INVALID_HANDLE, or
  // ERROR_ACCESS_DENIED for a connection (its printer lives on its server, which takes no
  // orders from here) or missing rights, or ERROR_PRINTER_DELETED.
  std::shared_ptr<RegKey> OwnPrinter(HANDLE printer, DWORD rights, DWORD& error);
  // Only the local machine is simulated: a server name must name it.
  bool LocalServer(const char* server) const { return !server || !*server; }
  // ERROR_SUCCESS with the environment to use, or ERROR_INVALID_ENVIRONMENT.
  DWORD Environment(const char* environment, std::string& out) const;
  // The checks a call naming a server makes, in the spooler's order: ERROR_SUCCESS or the
  // error the call fails with.
  DWORD ServerChecks(const char* server) const;
  // The same for a call that also names an environment; env is the environment to use.
  DWORD EnvironmentChecks(const char* server, const char* environment, std::string& env) const;

  void Journal(std::string line) { d_.journal.push_back(std::move(line)); }

  // ---- printers (sim_spooler_printers.cpp)
  std::vector<std::shared_ptr<RegKey>> LocalPrinters();
  std::shared_ptr<RegKey> LocalPrinter(std::string_view name);
  PRINTER_INFO_2A Info(const RegKey& k);

  // ---- connections (NT family; sim_spooler_printers.cpp)
  std::vector<Connection> Connections();
  std::shared_ptr<RegKey> Cache(const Connection& c);
  PRINTER_INFO_2A Info(const Connection& c);

  // ---- the current user's printer lists, win.ini's devices and PrinterPorts
  // (sim_spooler_printers.cpp)
  void ForUserLists(const std::function<void(const std::string& section, RegKey* key)>& each);
  void RemoveFromUserLists(std::string_view printer);
  void MoveInUserLists(std::string_view printer, std::string_view ports);

  // ---- ports (sim_spooler_ports.cpp)
  // Every port once (the first of a name counts): the local ports, then each monitor's in
  // the monitors' order.
  std::vector<Port> Ports();
  // The port of that name as Ports() lists it, found without listing them all.
  std::optional<Port> FindPort(std::string_view name);
  std::vector<std::string> LocalPortNames();  // Windows 95/98: win.ini's [ports]
  bool PortExists(std::string_view name);
  bool PortInUse(std::string_view name);

  // ---- drivers (sim_spooler_drivers.cpp)
  std::string DriverDirectory(const std::string& environment, DWORD version);
  std::vector<Driver> Drivers(const std::string& environment);
  std::string DriverFile(const Driver& d, std::string_view value);
  bool FilesHeldOpen(const Driver& d);

  SimMachine::State& s_;
  SpoolerData& d_;
};

}  // namespace qx::sim::spool
