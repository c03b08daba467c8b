// The simulated print spooler: what it keeps besides the registry, and its entry points.
// Internal to platform/sim.
//
// Every printer, driver, monitor, port and print processor is registry data in the keys and
// layout that Windows uses, so that a machine image is a regedit export of a real machine and
// a removal through the spooler and a removal by registry edits act on the same data:
//
//   printers           HKLM\SYSTEM\CurrentControlSet\Control\Print\Printers\<name>: "Name",
//                      "Share Name", "Port" (several ports are separated by ","), "Printer
//                      Driver", "Description", "Location", "Separator File", "Print Processor",
//                      "Datatype", "Parameters", "Attributes", "Priority", "Default Priority",
//                      "StartTime", "UntilTime", "Status", "Default DevMode", "Security", and the
//                      key PrinterDriverData; the NT family keeps a second tree of the same
//                      names under HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Print\Printers
//   shares             HKLM\SYSTEM\CurrentControlSet\Services\LanmanServer\Shares (and \Security),
//                      a value named by the printer's share name
//   connections (NT)   HKCU\Printers\Connections\,,server,printer ("Server" = \\server), their
//                      data cached by the LanMan provider under ...\Control\Print\Providers
//                      \LanMan Print Services\Servers\<server>\Printers\<printer> (or the same
//                      below HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Print)
//   drivers            ...\Control\Print\Environments\<environment>\Drivers\Version-<n>\<name> on
//                      the NT family ("Windows NT x86", and "Windows 4.0" with Version-0 on a print
//                      server), ...\Environments\Windows 4.0\Drivers\<name> on Windows 95/98:
//                      "Driver", "Data File", "Configuration File", "Help File", "Dependent
//                      Files", "Monitor" (a language monitor), "Datatype", "Version"
//   print processors   ...\Control\Print\Environments\<environment>\Print Processors\<name>
//   monitors           ...\Control\Print\Monitors\<name> ("Driver"); a monitor's ports are the
//                      subkeys of its "Ports" key when it has one, else its own subkeys; their
//                      description is the port key's "Description", else the monitor key's,
//                      else the monitor's name
//   local ports        values of HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Ports on the NT
//                      family, keys of the [ports] section of win.ini on Windows 95/98; monitor
//                      and description "Local Port"
//   users' lists       the current user's Devices and PrinterPorts (win.ini's sections of those
//                      names, which the NT family keeps in HKCU\Software\Microsoft\Windows NT
//                      \CurrentVersion): a deleted printer leaves them, a moved one is updated
//
// On the NT family every call fails with RPC_S_SERVER_UNAVAILABLE unless the service "Spooler"
// is running; on Windows 95/98 the spooler is always there.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace qx::sim {

struct RegKey;

struct PrinterHandle {
  std::string printer;  // the printer's key name, or the connection's display name
  bool connection = false;
  bool server = false;  // opened with no printer name: the local print server
  DWORD access = 0;
};

// What the spooler reads from the printers' keys over and over, kept up to date as the
// registry changes instead of read again on every call: the printer each name finds, and
// the ports that printers use. The state's registry helpers report every change of a key's
// values or subkeys; the index looks only at the printers' key and its subkeys, and builds
// itself from the registry on first use and after the printers' key itself changed place.
class PrinterIndex {
 public:
  PrinterIndex();
  ~PrinterIndex();
  void Changed(const RegKey& key);  // a value of key was set or removed
  void SubkeyAdded(const RegKey& parent, const std::shared_ptr<RegKey>& child);
  void Detached(const RegKey& key);  // key and everything below it left the tree

  // The first printer, in enumeration order, whose name (its "Name" value, else its key's
  // name) is name; null when none is.
  std::shared_ptr<RegKey> Printer(SimMachine::State& s, std::string_view name);
  // Whether a printer's "Port" list names the port.
  bool PortInUse(SimMachine::State& s, std::string_view port);

 private:
  struct Data;
  void Build(SimMachine::State& s);
  void Add(const std::shared_ptr<RegKey>& printer);
  void Remove(const RegKey& printer);
  std::unique_ptr<Data> d_;  // null until first used, and after the printers' key moved
};

struct SpoolerData {
  PrinterIndex printerIndex;
  std::map<std::uintptr_t, PrinterHandle> handles;
  std::uintptr_t nextHandle = 0x3000;
  std::map<std::string, std::pair<std::string, DWORD>> deniedAccess;  // by folded printer name: name, rights
  std::vector<std::shared_ptr<RegKey>> pendingDrivers;  // deleted while their files were held open
  std::vector<std::string> journal;
  std::vector<BroadcastMessage> broadcasts;
};

// The spooler facet with fault injection over it.
std::unique_ptr<Spooler> MakeSpooler(SimMachine::State& s);

// A message to HWND_BROADCAST: recorded, then given to every top-level window. Called with
// the machine's lock held once (the handlers run unlocked).
LRESULT BroadcastMessageToAll(SimMachine::State& s, UINT message, WPARAM wParam, LPARAM lParam, bool posted);

// The restart: drivers whose deletion waited for their files go.
void RebootSpooler(SimMachine::State& s);

}  // namespace qx::sim
