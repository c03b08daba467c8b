// The print spooler facet: the calls (SpoolerCore, sim_spooler_core.h) with fault injection
// over them, the broadcasts that go through the spooler's journal, the restart, and the
// machine's own view of the spooler's data.
#include "platform/sim/sim_spooler.h"

#include <algorithm>
#include <cstdio>

#include "platform/sim/sim_spooler_core.h"
#include "platform/sim/sim_state.h"

namespace qx::sim {

namespace {

using Lock = std::lock_guard<MachineMutex>;

// ---------------------------------------------------------------- fault injection

class FaultSpooler final : public Spooler {
 public:
  FaultSpooler(SimMachine::State& s, std::unique_ptr<spool::SpoolerCore> core) : s_(s), core_(std::move(core)) {}

  BOOL EnumPrintersA(DWORD flags, const char* name, std::vector<PRINTER_INFO_2A>& printers) override {
    if (Failed("EnumPrintersA", {Str(name)})) return printers.clear(), FALSE;
    return core_->EnumPrintersA(flags, name, printers);
  }
  BOOL OpenPrinterA(const char* printerName, HANDLE* printer, const PRINTER_DEFAULTSA* defaults) override {
    if (Failed("OpenPrinterA", {Str(printerName)})) {
      if (printer) *printer = nullptr;
      return FALSE;
    }
    return core_->OpenPrinterA(printerName, printer, defaults);
  }
  BOOL SetPrinterA(HANDLE printer, DWORD level, const PRINTER_INFO_2A* info, DWORD command) override {
    if (Failed("SetPrinterA", {core_->HandleObject(printer)})) return FALSE;
    return core_->SetPrinterA(printer, level, info, command);
  }
  BOOL ClosePrinter(HANDLE printer) override {
    if (Failed("ClosePrinter", {core_->HandleObject(printer)})) return FALSE;
    return core_->ClosePrinter(printer);
  }
  BOOL DeletePrinter(HANDLE printer) override {
    if (Failed("DeletePrinter", {core_->HandleObject(printer)})) return FALSE;
    return core_->DeletePrinter(printer);
  }
  BOOL DeletePrinterConnectionA(const char* name) override {
    if (Failed("DeletePrinterConnectionA", {Str(name)})) return FALSE;
    return core_->DeletePrinterConnectionA(name);
  }
  BOOL EnumPrinterDriversA(const char* server, const char* environment, std::vector<DRIVER_INFO_2A>& drivers) override {
    if (Failed("EnumPrinterDriversA", {Str(environment)})) return drivers.clear(), FALSE;
    return core_->EnumPrinterDriversA(server, environment, drivers);
  }
  BOOL DeletePrinterDriverA(const char* server, const char* environment, const char* driverName) override {
    if (Failed("DeletePrinterDriverA", {Str(driverName)})) return FALSE;
    return core_->DeletePrinterDriverA(server, environment, driverName);
  }
  BOOL EnumMonitorsA(const char* server, std::vector<MONITOR_INFO_1A>& monitors) override {
    if (Failed("EnumMonitorsA", {})) return monitors.clear(), FALSE;
    return core_->EnumMonitorsA(server, monitors);
  }
  BOOL DeleteMonitorA(const char* server, const char* environment, const char* monitorName) override {
    if (Failed("DeleteMonitorA", {Str(monitorName)})) return FALSE;
    return core_->DeleteMonitorA(server, environment, monitorName);
  }
  BOOL EnumPortsA(const char* server, std::vector<PORT_INFO_2A>& ports) override {
    if (Failed("EnumPortsA", {})) return ports.clear(), FALSE;
    return core_->EnumPortsA(server, ports);
  }
  BOOL DeletePortA(const char* server, HWND window, const char* portName) override {
    if (Failed("DeletePortA", {Str(portName)})) return FALSE;
    return core_->DeletePortA(server, window, portName);
  }
  BOOL EnumPrintProcessorsA(const char* server, const char* environment,
                            std::vector<PRINTPROCESSOR_INFO_1A>& processors) override {
    if (Failed("EnumPrintProcessorsA", {Str(environment)})) return processors.clear(), FALSE;
    return core_->EnumPrintProcessorsA(server, environment, processors);
  }
  BOOL DeletePrintProcessorA(const char* server, const char* environment, const char* processorName) override {
    if (Failed("DeletePrintProcessorA", {Str(processorName)})) return FALSE;
    return core_->DeletePrintProcessorA(server, environment, processorName);
  }

 private:
  static std::string Str(const char* s) { return s ? s : ""; }
  bool Failed(std::string_view call, const std::vector<std::string>& objects) {
    if (auto e = s_.FaultFor(call, objects)) {
      s_.SetError(*e);
      return true;
    }
    return false;
  }
  SimMachine::State& s_;
  std::unique_ptr<spool::SpoolerCore> core_;
};

}  // namespace

std::unique_ptr<Spooler> MakeSpooler(SimMachine::State& s) {
  return std::make_unique<FaultSpooler>(s, std::make_unique<spool::SpoolerCore>(s));
}

LRESULT BroadcastMessageToAll(SimMachine::State& s, UINT message, WPARAM wParam, LPARAM lParam, bool posted) {
  BroadcastMessage b{message, wParam, lParam, false, "", posted};
  if (message == WM_SETTINGCHANGE && lParam != 0) {
    b.hasText = true;
    b.text = reinterpret_cast<const char*>(lParam);
  }
  s.spoolerData.broadcasts.push_back(b);
  char number[32];
  std::snprintf(number, sizeof number, "0x%04X", message);
  std::string line = std::string(posted ? "PostMessageA" : "SendMessageA") + " HWND_BROADCAST " +
                     (message == WM_SETTINGCHANGE ? std::string("WM_SETTINGCHANGE") : std::string(number)) +
                     " wParam " + std::to_string(wParam) + " lParam " +
                     (b.hasText ? spool::Quoted(b.text) : std::to_string(lParam));
  s.spoolerData.journal.push_back(line);
  std::vector<std::shared_ptr<SimWindow>> windows;
  for (const auto& w : s.windows)
    if (w->alive) windows.push_back(w);
  for (const auto& w : windows)
    if (w->alive) s.Deliver(w, message, wParam, lParam, posted);
  return 1;
}

void RebootSpooler(SimMachine::State& s) {
  for (const auto& k : s.spoolerData.pendingDrivers)
    if (!k->deleted) s.DetachKey(k);
  s.spoolerData.pendingDrivers.clear();
  s.spoolerData.handles.clear();
}

// ---------------------------------------------------------------- the machine's own view

void SimMachine::SetPrinterDeniedAccess(std::string_view printer, DWORD access) {
  Lock lock(state_->mu);
  if (access)
    state_->spoolerData.deniedAccess[cp932::Fold(printer)] = {std::string(printer), access};
  else
    state_->spoolerData.deniedAccess.erase(cp932::Fold(printer));
}

std::vector<std::pair<std::string, DWORD>> SimMachine::PrinterDeniedAccess() const {
  Lock lock(state_->mu);
  std::vector<std::pair<std::string, DWORD>> out;
  for (const auto& [_, d] : state_->spoolerData.deniedAccess) out.push_back(d);
  return out;
}

std::vector<std::string> SimMachine::SpoolerJournal() const {
  Lock lock(state_->mu);
  return state_->spoolerData.journal;
}

std::vector<BroadcastMessage> SimMachine::Broadcasts() const {
  Lock lock(state_->mu);
  return state_->spoolerData.broadcasts;
}

namespace {

// The environment a driver's key belongs to: ...\<environment>\Drivers[\Version-n]\<driver>.
std::string DriverEnvironmentOf(const RegKey& driver) {
  auto up = driver.parent.lock();
  if (up && !cp932::EqualNoCase(up->name, "Drivers")) up = up->parent.lock();
  auto environment = up ? up->parent.lock() : nullptr;
  return environment ? environment->name : "";
}

}  // namespace

bool SimMachine::DriverPendingDeletion(std::string_view environment, std::string_view driver) const {
  for (const auto& [env, name] : PendingDrivers())
    if (cp932::EqualNoCase(env, environment) && cp932::EqualNoCase(name, driver)) return true;
  return false;
}

std::vector<std::pair<std::string, std::string>> SimMachine::PendingDrivers() const {
  Lock lock(state_->mu);
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& k : state_->spoolerData.pendingDrivers) {
    if (k->deleted) continue;
    std::pair<std::string, std::string> entry{DriverEnvironmentOf(*k), k->name};
    if (std::none_of(out.begin(), out.end(), [&](const auto& e) {
          return cp932::EqualNoCase(e.first, entry.first) && cp932::EqualNoCase(e.second, entry.second);
        }))
      out.push_back(entry);
  }
  return out;
}

bool SimMachine::SetDriverPendingDeletion(std::string_view environment, std::string_view driver) {
  Lock lock(state_->mu);
  auto drivers = state_->FindKeyPath(std::string(spool::kEnvironments) + "\\" + std::string(environment) + "\\Drivers");
  if (!drivers) return false;
  bool found = false;
  auto mark = [&](const std::shared_ptr<RegKey>& k) {
    auto& pending = state_->spoolerData.pendingDrivers;
    if (std::find(pending.begin(), pending.end(), k) == pending.end()) pending.push_back(k);
    found = true;
  };
  for (const auto& k : drivers->subkeys) {
    if (cp932::EqualNoCase(k->name, driver)) mark(k);
    for (const auto& v : k->subkeys)
      if (cp932::EqualNoCase(v->name, driver)) mark(v);
  }
  return found;
}

}  // namespace qx::sim
