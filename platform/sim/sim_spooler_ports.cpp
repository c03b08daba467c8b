// The spooler's ports and port monitors: a monitor's ports are the subkeys of its registry key,
// local ports are a list of their own (sim_spooler.h).
#include <unordered_set>

#include "platform/sim/sim_spooler_core.h"

namespace qx::sim::spool {

namespace {

constexpr char kMonitors[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";
constexpr char kLocalPorts[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
constexpr char kLocalMonitor[] = "Local Port";

}  // namespace

// ---------------------------------------------------------------- ports

std::vector<std::string> SpoolerCore::LocalPortNames() {
  std::vector<std::string> out;
  char buffer[4096];
  DWORD n = s_.profileCore.GetPrivateProfileStringA("ports", nullptr, "", buffer, sizeof buffer, "win.ini");
  for (DWORD i = 0; i < n;) {
    std::string name(buffer + i);
    if (name.empty()) break;
    i += static_cast<DWORD>(name.size()) + 1;
    out.push_back(std::move(name));
  }
  return out;
}

namespace {

// A monitor's ports are the subkeys of its "Ports" key when it has one, else its own.
std::shared_ptr<RegKey> PortHolder(const std::shared_ptr<RegKey>& monitor) {
  auto holder = Child(monitor, "Ports");
  return holder ? holder : monitor;
}

std::string PortDescription(const RegKey& port, const RegKey& monitor) {
  std::string description = Text(port, "Description");
  if (description.empty()) description = Text(monitor, "Description");
  if (description.empty()) description = monitor.name;
  return description;
}

}  // namespace

std::vector<SpoolerCore::Port> SpoolerCore::Ports() {
  std::vector<Port> out;
  std::unordered_set<std::string> seen;
  auto add = [&](Port p) {
    if (seen.insert(cp932::Fold(p.name)).second) out.push_back(std::move(p));
  };
  if (Nt()) {
    if (auto k = s_.FindKeyPath(kLocalPorts))
      for (const auto& v : k->values)
        if (!v.name.empty()) add({std::string(v.name), kLocalMonitor, kLocalMonitor, nullptr});
  } else {
    for (std::string& name : LocalPortNames()) add({std::move(name), kLocalMonitor, kLocalMonitor, nullptr});
  }
  if (auto monitors = s_.FindKeyPath(kMonitors))
    for (const auto& m : monitors->subkeys) {
      if (cp932::EqualNoCase(m->name, kLocalMonitor)) continue;
      for (const auto& pk : PortHolder(m)->subkeys) add({pk->name, m->name, PortDescription(*pk, *m), pk});
    }
  return out;
}

// The same search as Ports() makes, stopping at the first port of the name: the local ports
// in their order, then the monitors' in theirs.
std::optional<SpoolerCore::Port> SpoolerCore::FindPort(std::string_view name) {
  if (Nt()) {
    if (auto k = s_.FindKeyPath(kLocalPorts))
      if (const auto v = k->values.Find(name); v && !v->name.empty())
        return Port{std::string(v->name), kLocalMonitor, kLocalMonitor, nullptr};
  } else {
    for (std::string& local : LocalPortNames())
      if (cp932::EqualNoCase(local, name)) return Port{std::move(local), kLocalMonitor, kLocalMonitor, nullptr};
  }
  if (auto monitors = s_.FindKeyPath(kMonitors))
    for (const auto& m : monitors->subkeys) {
      if (cp932::EqualNoCase(m->name, kLocalMonitor)) continue;
      if (auto pk = PortHolder(m)->subkeys.Find(name)) return Port{pk->name, m->name, PortDescription(*pk, *m), pk};
    }
  return std::nullopt;
}

bool SpoolerCore::PortExists(std::string_view name) { return FindPort(name).has_value(); }

bool SpoolerCore::PortInUse(std::string_view name) { return d_.printerIndex.PortInUse(s_, name); }

// ---------------------------------------------------------------- the calls

BOOL SpoolerCore::EnumMonitorsA(const char* server, std::vector<MONITOR_INFO_1A>& monitors) {
  Lock lock(s_.mu);
  monitors.clear();
  if (DWORD e = ServerChecks(server); e != ERROR_SUCCESS) return Fail(e);
  if (auto all = s_.FindKeyPath(kMonitors))
    for (const auto& k : all->subkeys) monitors.push_back({k->name});
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
  // Its ports are those Ports() lists with it: for the key named like the local ports'
  // monitor, the local ports; else the ports it holds that no earlier one of the same name
  // hides.
  if (cp932::EqualNoCase(k->name, kLocalMonitor)) {
    std::vector<std::string> local;
    if (Nt()) {
      if (auto lk = s_.FindKeyPath(kLocalPorts))
        for (const auto& v : lk->values)
          if (!v.name.empty()) local.emplace_back(v.name);
    } else {
      local = LocalPortNames();
    }
    for (const std::string& p : local)
      if (PortInUse(p)) return Fail(ERROR_PRINT_MONITOR_IN_USE);
  } else {
    for (const auto& pk : PortHolder(k)->subkeys) {
      if (!PortInUse(pk->name)) continue;
      if (auto p = FindPort(pk->name); p && p->key == pk) return Fail(ERROR_PRINT_MONITOR_IN_USE);
    }
  }
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
  std::optional<Port> p = FindPort(portName);
  if (!p) return Fail(ERROR_UNKNOWN_PORT);
  if (PortInUse(p->name)) return Fail(ERROR_BUSY);
  if (p->key) {
    s_.DetachKey(p->key);
  } else if (Nt()) {
    if (auto k = s_.FindKeyPath(kLocalPorts)) RemoveValue(s_, *k, p->name);
  } else {
    s_.profileCore.WritePrivateProfileStringA("ports", p->name.c_str(), nullptr, "win.ini");
  }
  Journal("DeletePortA " + Quoted(p->name));
  return TRUE;
}

}  // namespace qx::sim::spool
