// The spooler's ports and port monitors: a monitor's ports are the subkeys of its registry key,
// local ports are a list of their own (sim_spooler.h).
#include "platform/sim/sim_spooler_core.h"

namespace qx::sim::spool {

namespace {

constexpr char kMonitors[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";
constexpr char kLocalPorts[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
constexpr char kLocalMonitor[] = "Local Port";

}  // namespace

// ---------------------------------------------------------------- ports

std::vector<SpoolerCore::Port> SpoolerCore::Ports() {
  std::vector<Port> out;
  auto add = [&](Port p) {
    for (const auto& q : out)
      if (cp932::EqualNoCase(q.name, p.name)) return;
    out.push_back(std::move(p));
  };
  if (Nt()) {
    if (auto k = s_.FindKeyPath(kLocalPorts))
      for (const auto& v : k->values)
        if (!v.name.empty()) add({v.name, kLocalMonitor, kLocalMonitor, nullptr});
  } else {
    char buffer[4096];
    DWORD n = s_.profileCore.GetPrivateProfileStringA("ports", nullptr, "", buffer, sizeof buffer, "win.ini");
    for (DWORD i = 0; i < n;) {
      std::string name(buffer + i);
      if (name.empty()) break;
      add({name, kLocalMonitor, kLocalMonitor, nullptr});
      i += static_cast<DWORD>(name.size()) + 1;
    }
  }
  if (auto monitors = s_.FindKeyPath(kMonitors))
    for (const auto& [_, m] : monitors->subkeys) {
      if (cp932::EqualNoCase(m->name, kLocalMonitor)) continue;
      auto holder = Child(m, "Ports");
      if (!holder) holder = m;
      for (const auto& [__, pk] : holder->subkeys) {
        std::string description = Text(*pk, "Description");
        if (description.empty()) description = Text(*m, "Description");
        if (description.empty()) description = m->name;
        add({pk->name, m->name, description, pk});
      }
    }
  return out;
}

bool SpoolerCore::PortExists(std::string_view name) {
  for (const auto& p : Ports())
    if (cp932::EqualNoCase(p.name, name)) return true;
  return false;
}

bool SpoolerCore::PortInUse(std::string_view name) {
  for (const auto& k : LocalPrinters())
    for (const auto& p : PortsOf(*k))
      if (cp932::EqualNoCase(p, name)) return true;
  return false;
}

// ---------------------------------------------------------------- the calls

BOOL SpoolerCore::EnumMonitorsA(const char* server, std::vector<MONITOR_INFO_1A>& monitors) {
  Lock lock(s_.mu);
  monitors.clear();
  if (DWORD e = ServerChecks(server); e != ERROR_SUCCESS) return Fail(e);
  if (auto all = s_.FindKeyPath(kMonitors))
    for (const auto& [_, k] : all->subkeys) monitors.push_back({k->name});
  return TRUE;
}

BOOL SpoolerCore::DeleteMonitorA(const char* server, const char* environment, const char* monitorName) {
  Lock lock(s_.mu);
  // The environment must be one the spooler knows, but a monitor serves them all.
  std::string env;
  if (DWORD e = EnvironmentChecks(server, environment, env); e != ERROR_SUCCESS) return Fail(e);
  auto k = monitorName ? Child(s_.FindKeyPath(kMonitors), monitorName) : nullptr;
  if (!k) return Fail(ERROR_UNKNOWN_PRINT_MONITOR);
  // In use: a printer on one of its ports, or (a language monitor) a driver that names it.
  for (const auto& p : Ports())
    if (cp932::EqualNoCase(p.monitor, k->name) && PortInUse(p.name)) return Fail(ERROR_PRINT_MONITOR_IN_USE);
  for (const char* e : {kNtEnvironment, k9xEnvironment})
    for (const auto& d : Drivers(e))
      if (cp932::EqualNoCase(Text(*d.key, "Monitor"), k->name)) return Fail(ERROR_PRINT_MONITOR_IN_USE);
  const std::string name = k->name;
  s_.DetachKey(k);
  Journal("DeleteMonitorA " + Quoted(name));
  return TRUE;
}

BOOL SpoolerCore::EnumPortsA(const char* server, std::vector<PORT_INFO_2A>& ports) {
  Lock lock(s_.mu);
  ports.clear();
  if (DWORD e = ServerChecks(server); e != ERROR_SUCCESS) return Fail(e);
  for (const auto& p : Ports()) {
    PORT_INFO_2A info;
    info.pPortName = p.name;
    info.pMonitorName = p.monitor;
    info.pDescription = p.description;
    info.fPortType = PORT_TYPE_WRITE | (p.key ? 0 : PORT_TYPE_READ);
    ports.push_back(std::move(info));
  }
  return TRUE;
}

BOOL SpoolerCore::DeletePortA(const char* server, HWND, const char* portName) {
  Lock lock(s_.mu);
  if (DWORD e = ServerChecks(server); e != ERROR_SUCCESS) return Fail(e);
  if (!portName) return Fail(ERROR_UNKNOWN_PORT);
  for (const auto& p : Ports()) {
    if (!cp932::EqualNoCase(p.name, portName)) continue;
    if (PortInUse(p.name)) return Fail(ERROR_BUSY);
    if (p.key) {
      s_.DetachKey(p.key);
    } else if (Nt()) {
      if (auto k = s_.FindKeyPath(kLocalPorts)) RemoveValue(*k, p.name);
    } else {
      s_.profileCore.WritePrivateProfileStringA("ports", p.name.c_str(), nullptr, "win.ini");
    }
    Journal("DeletePortA " + Quoted(p.name));
    return TRUE;
  }
  return Fail(ERROR_UNKNOWN_PORT);
}

}  // namespace qx::sim::spool
