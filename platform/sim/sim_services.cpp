// The service control manager. A service exists when its key
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\<name> exists; its configuration
// (Start, Group, DependOnService, DependOnGroup, DeleteFlag) is read from there, and only its
// run state, its behaviour and the call counts live beside the registry.
//
// A service is a small state machine. A stop or start request that the service accepts
// either completes at once or leaves it pending; the pending state then completes on a later
// status query, as a real service reports its progress to the manager.
#include <functional>

#include "platform/sim/sim_state.h"

namespace qx::sim {

namespace {

using Lock = std::lock_guard<MachineMutex>;

constexpr const char* kServicesKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services";
constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x10;
constexpr DWORD SERVICE_ACCEPT_STOP = 0x1;
constexpr DWORD SERVICE_ACCEPT_PAUSE_CONTINUE = 0x2;
constexpr DWORD SERVICE_DISABLED = 4;

// Access rights of a service handle.
constexpr DWORD SERVICE_QUERY_CONFIG = 0x0001;
constexpr DWORD SERVICE_CHANGE_CONFIG = 0x0002;
constexpr DWORD SERVICE_QUERY_STATUS = 0x0004;
constexpr DWORD SERVICE_ENUMERATE_DEPENDENTS = 0x0008;
constexpr DWORD SERVICE_START = 0x0010;
constexpr DWORD SERVICE_STOP = 0x0020;
constexpr DWORD SERVICE_PAUSE_CONTINUE = 0x0040;
constexpr DWORD SERVICE_INTERROGATE = 0x0080;
constexpr DWORD SERVICE_USER_DEFINED_CONTROL = 0x0100;
constexpr DWORD DELETE_RIGHT = 0x00010000;
constexpr DWORD READ_CONTROL = 0x00020000;
constexpr DWORD GENERIC_EXECUTE_RIGHT = 0x20000000;
constexpr DWORD GENERIC_ALL_RIGHT = 0x10000000;
constexpr DWORD MAXIMUM_ALLOWED_RIGHT = 0x02000000;
constexpr DWORD SC_MANAGER_CONNECT_RIGHT = 0x0001;

SC_HANDLE ToSc(std::uintptr_t id) { return reinterpret_cast<SC_HANDLE>(id); }

std::string ServiceKeyPath(std::string_view name) { return std::string(kServicesKey) + "\\" + std::string(name); }

std::optional<RegValueView> FindValue(const RegKey& key, std::string_view name) { return key.values.Find(name); }

std::optional<DWORD> DwordValue(const RegKey& key, std::string_view name) {
  const auto v = FindValue(key, name);
  if (!v || v->type != REG_DWORD || v->data.size() < 4) return std::nullopt;
  DWORD d = 0;
  for (int i = 0; i < 4; ++i) d |= static_cast<DWORD>(static_cast<unsigned char>(v->data[i])) << (8 * i);
  return d;
}

std::string StringValue(const RegKey& key, std::string_view name) {
  const auto v = FindValue(key, name);
  if (!v || (v->type != REG_SZ && v->type != REG_EXPAND_SZ)) return "";
  std::string s(v->data);
  if (std::size_t z = s.find('\0'); z != std::string::npos) s.resize(z);
  return s;
}

std::vector<std::string> MultiStringValue(const RegKey& key, std::string_view name) {
  std::vector<std::string> out;
  const auto v = FindValue(key, name);
  if (!v || v->type != REG_MULTI_SZ) return out;
  std::size_t start = 0;
  while (start < v->data.size()) {
    std::size_t z = v->data.find('\0', start);
    if (z == std::string::npos) z = v->data.size();
    if (z == start) break;  // the list's closing zero
    out.emplace_back(v->data.substr(start, z - start));
    start = z + 1;
  }
  return out;
}

// The rights a requested access mask grants, generic rights mapped as the service manager
// maps them for a service object. An administrator is granted whatever he asks for.
DWORD MapServiceAccess(DWORD access) {
  DWORD granted = access & 0x00FF01FF;
  if (access & GENERIC_READ)
    granted |= READ_CONTROL | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE |
               SERVICE_ENUMERATE_DEPENDENTS;
  if (access & GENERIC_WRITE) granted |= READ_CONTROL | SERVICE_CHANGE_CONFIG;
  if (access & GENERIC_EXECUTE_RIGHT)
    granted |= READ_CONTROL | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_USER_DEFINED_CONTROL;
  if (access & (GENERIC_ALL_RIGHT | MAXIMUM_ALLOWED_RIGHT)) granted |= SERVICE_ALL_ACCESS;
  return granted;
}

bool Is9x(const SimMachine::State& s) { return s.settings.platformId == VER_PLATFORM_WIN32_WINDOWS; }

}  // namespace

ServiceRecord& SimMachine::State::Service(std::string_view name) {
  auto& r = services[cp932::Fold(name)];
  if (r.name.empty()) {
    r.name = std::string(name);
    if (auto key = FindKeyPath(ServiceKeyPath(name))) r.markedForDelete = DwordValue(*key, "DeleteFlag") == 1u;
  }
  return r;
}

bool SimMachine::State::MarkedForDelete(const ServiceRecord& r) {
  if (r.markedForDelete) return true;
  auto key = FindKeyPath(ServiceKeyPath(r.name));
  return key && DwordValue(*key, "DeleteFlag") == 1u;
}

// A service marked for deletion goes when it is stopped and its last handle is closed.
void SimMachine::State::MaybeRemoveService(const std::string& folded) {
  auto it = services.find(folded);
  if (it == services.end() || !MarkedForDelete(it->second) || it->second.state != SERVICE_STOPPED) return;
  for (const auto& [_, h] : scHandles)
    if (!h.manager && h.service == folded) return;
  if (auto key = FindKeyPath(ServiceKeyPath(it->second.name))) DetachKey(key);
  services.erase(it);
}

void SimMachine::State::SetServiceRunState(ServiceRecord& r, DWORD state) {
  r.state = state;
  if (state == SERVICE_STOP_PENDING) r.pollsLeft = r.behaviour.pollsToStop;
  else if (state == SERVICE_START_PENDING) r.pollsLeft = r.behaviour.pollsToStart;
  else r.pollsLeft = 0;
  if (state == SERVICE_STOPPED) ReleaseFilesOf(cp932::Fold(r.name));
}

bool SimMachine::State::HeldOpen(const FileNode& node) const {
  if (node.locked) return true;
  if (node.lockedBy.empty()) return false;
  auto it = services.find(cp932::Fold(node.lockedBy));
  return it != services.end() && it->second.state != SERVICE_STOPPED;
}

// The service's process has ended: whatever it held open is free, and stays free.
void SimMachine::State::ReleaseFilesOf(const std::string& foldedService) {
  std::function<void(FileNode&)> walk = [&](FileNode& dir) {
    for (const auto& c : dir.children) {
      if (!c->lockedBy.empty() && cp932::Fold(c->lockedBy) == foldedService) c->lockedBy.clear();
      if (c->directory) walk(*c);
    }
  };
  for (auto& [_, root] : drives) walk(*root);
}

namespace {

struct Target {
  ServiceRecord* record = nullptr;
  std::shared_ptr<RegKey> key;
  DWORD access = 0;
};

// The service behind a handle, or false with the error set.
bool ServiceOf(SimMachine::State& s, SC_HANDLE handle, Target& t) {
  if (Is9x(s)) return s.SetError(ERROR_CALL_NOT_IMPLEMENTED), false;
  auto it = s.scHandles.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == s.scHandles.end() || it->second.manager) return s.SetError(ERROR_INVALID_HANDLE), false;
  auto rec = s.services.find(it->second.service);
  if (rec == s.services.end()) return s.SetError(ERROR_INVALID_HANDLE), false;
  t.record = &rec->second;
  t.key = s.FindKeyPath(ServiceKeyPath(rec->second.name));
  t.access = it->second.access;
  return true;
}

void FillStatus(const ServiceRecord& r, const RegKey* key, SERVICE_STATUS& status) {
  status = SERVICE_STATUS{};
  status.dwServiceType = key ? DwordValue(*key, "Type").value_or(SERVICE_WIN32_OWN_PROCESS) : SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = r.state;
  if (r.state == SERVICE_RUNNING || r.state == SERVICE_PAUSED)
    status.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE;
  if (r.state == SERVICE_STOP_PENDING || r.state == SERVICE_START_PENDING) {
    int total = r.state == SERVICE_STOP_PENDING ? r.behaviour.pollsToStop : r.behaviour.pollsToStart;
    status.dwCheckPoint = static_cast<DWORD>(total > r.pollsLeft ? total - r.pollsLeft : 0) + 1;
    status.dwWaitHint = 500;
  }
}

BOOL Record(SimMachine::State& s, const char* call, const ServiceRecord& r, DWORD control, DWORD error) {
  s.serviceCalls.push_back(ServiceCall{call, r.name, control, error, r.state});
  s.SetError(error);
  return error == ERROR_SUCCESS ? TRUE : FALSE;
}

// A running service whose key names this one among the services or load-order groups it
// depends on.
bool DependentsRunning(SimMachine::State& s, const ServiceRecord& r, const RegKey* key) {
  auto all = s.FindKeyPath(kServicesKey);
  if (!all) return false;
  std::string group = key ? StringValue(*key, "Group") : "";
  const std::string self = cp932::Fold(r.name);
  for (const auto& other : all->subkeys) {
    const std::string folded = cp932::Fold(other->name);
    if (folded == self) continue;
    auto rec = s.services.find(folded);
    if (rec == s.services.end() || rec->second.state == SERVICE_STOPPED) continue;
    bool depends = false;
    for (const std::string& d : MultiStringValue(*other, "DependOnService")) {
      if (!d.empty() && d[0] == '+') depends |= !group.empty() && cp932::EqualNoCase(d.substr(1), group);
      else depends |= cp932::EqualNoCase(d, r.name);
    }
    for (const std::string& g : MultiStringValue(*other, "DependOnGroup"))
      depends |= !group.empty() && cp932::EqualNoCase(g, group);
    if (depends) return true;
  }
  return false;
}

}  // namespace

SC_HANDLE ServicesCore::OpenSCManagerA(const char*, const char*, DWORD access) {
  Lock lock(s_.mu);
  if (Is9x(s_)) return s_.SetError(ERROR_CALL_NOT_IMPLEMENTED), nullptr;
  if (!s_.settings.serviceManagerOpenable) return s_.SetError(ERROR_ACCESS_DENIED), nullptr;
  std::uintptr_t id = s_.nextScHandle;
  s_.nextScHandle += 4;
  // Connecting is implied by every open.
  s_.scHandles[id] = ScHandle{true, "", access | SC_MANAGER_CONNECT_RIGHT};
  s_.SetError(ERROR_SUCCESS);
  return ToSc(id);
}

SC_HANDLE ServicesCore::OpenServiceA(SC_HANDLE manager, const char* name, DWORD access) {
  Lock lock(s_.mu);
  if (Is9x(s_)) return s_.SetError(ERROR_CALL_NOT_IMPLEMENTED), nullptr;
  auto m = s_.scHandles.find(reinterpret_cast<std::uintptr_t>(manager));
  if (m == s_.scHandles.end() || !m->second.manager) return s_.SetError(ERROR_INVALID_HANDLE), nullptr;
  if (!(m->second.access & SC_MANAGER_CONNECT_RIGHT)) return s_.SetError(ERROR_ACCESS_DENIED), nullptr;
  if (!name) return s_.SetError(ERROR_INVALID_ADDRESS), nullptr;
  std::string_view n(name);
  if (n.empty() || n.size() > 256 || cp932::Find(n, '\\') != std::string_view::npos ||
      cp932::Find(n, '/') != std::string_view::npos)
    return s_.SetError(ERROR_INVALID_NAME), nullptr;
  auto key = s_.FindKeyPath(ServiceKeyPath(n));
  if (!key) return s_.SetError(ERROR_SERVICE_DOES_NOT_EXIST), nullptr;
  // A service marked for deletion still opens until it is gone; what it refuses then is
  // another start or deletion.
  s_.Service(key->name);
  std::uintptr_t id = s_.nextScHandle;
  s_.nextScHandle += 4;
  s_.scHandles[id] = ScHandle{false, cp932::Fold(n), MapServiceAccess(access)};
  s_.SetError(ERROR_SUCCESS);
  return ToSc(id);
}

BOOL ServicesCore::QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS& status) {
  Lock lock(s_.mu);
  Target t;
  if (!ServiceOf(s_, service, t)) return FALSE;
  ServiceRecord& r = *t.record;
  if (!(t.access & SERVICE_QUERY_STATUS)) return Record(s_, "QueryServiceStatus", r, 0, ERROR_ACCESS_DENIED);
  ++r.statusQueries;
  // One poll: a pending service reports its progress.
  auto advance = [&](bool never, DWORD done) {
    if (never) return;
    if (r.pollsLeft > 0) --r.pollsLeft;
    if (r.pollsLeft == 0) s_.SetServiceRunState(r, done);
  };
  switch (r.state) {
    case SERVICE_STOP_PENDING: advance(r.behaviour.neverStops, SERVICE_STOPPED); break;
    case SERVICE_START_PENDING: advance(r.behaviour.neverStarts, SERVICE_RUNNING); break;
    case SERVICE_CONTINUE_PENDING: s_.SetServiceRunState(r, SERVICE_RUNNING); break;
    case SERVICE_PAUSE_PENDING: s_.SetServiceRunState(r, SERVICE_PAUSED); break;
    default: break;
  }
  FillStatus(r, t.key.get(), status);
  return Record(s_, "QueryServiceStatus", r, 0, ERROR_SUCCESS);
}

BOOL ServicesCore::ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS& status) {
  Lock lock(s_.mu);
  Target t;
  if (!ServiceOf(s_, service, t)) return FALSE;
  ServiceRecord& r = *t.record;
  auto result = [&](DWORD error, bool fill) {
    if (fill) FillStatus(r, t.key.get(), status);
    return Record(s_, "ControlService", r, control, error);
  };
  DWORD needed = 0;
  switch (control) {
    case SERVICE_CONTROL_STOP: needed = SERVICE_STOP; break;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE: needed = SERVICE_PAUSE_CONTINUE; break;
    case SERVICE_CONTROL_INTERROGATE: needed = SERVICE_INTERROGATE; break;
    default:
      if (control < 128 || control > 255) return result(ERROR_INVALID_PARAMETER, false);
      needed = SERVICE_USER_DEFINED_CONTROL;
  }
  if (!(t.access & needed)) return result(ERROR_ACCESS_DENIED, false);
  ++r.controlRequests;
  if (r.state == SERVICE_STOPPED) return result(ERROR_SERVICE_NOT_ACTIVE, true);
  bool pending = r.state == SERVICE_START_PENDING || r.state == SERVICE_STOP_PENDING;
  switch (control) {
    case SERVICE_CONTROL_STOP:
      if (DependentsRunning(s_, r, t.key.get())) return result(ERROR_DEPENDENT_SERVICES_RUNNING, false);
      if (r.behaviour.refuseStop) return result(r.behaviour.refuseStop, true);
      if (pending) return result(ERROR_SERVICE_CANNOT_ACCEPT_CTRL, true);
      if (r.behaviour.pollsToStop > 0 || r.behaviour.neverStops)
        s_.SetServiceRunState(r, SERVICE_STOP_PENDING);
      else
        s_.SetServiceRunState(r, SERVICE_STOPPED);
      return result(ERROR_SUCCESS, true);
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
      if (pending) return result(ERROR_SERVICE_CANNOT_ACCEPT_CTRL, true);
      s_.SetServiceRunState(r, control == SERVICE_CONTROL_PAUSE ? SERVICE_PAUSED : SERVICE_RUNNING);
      return result(ERROR_SUCCESS, true);
    case SERVICE_CONTROL_INTERROGATE:
      if (pending) return result(ERROR_SERVICE_CANNOT_ACCEPT_CTRL, true);
      return result(ERROR_SUCCESS, true);
    default:  // user-defined codes: these services accept none
      if (pending) return result(ERROR_SERVICE_CANNOT_ACCEPT_CTRL, true);
      return result(ERROR_INVALID_SERVICE_CONTROL, true);
  }
}

BOOL ServicesCore::StartServiceA(SC_HANDLE service, DWORD, const char**) {
  Lock lock(s_.mu);
  Target t;
  if (!ServiceOf(s_, service, t)) return FALSE;
  ServiceRecord& r = *t.record;
  if (!(t.access & SERVICE_START)) return Record(s_, "StartServiceA", r, 0, ERROR_ACCESS_DENIED);
  ++r.startRequests;
  if (s_.MarkedForDelete(r)) return Record(s_, "StartServiceA", r, 0, ERROR_SERVICE_MARKED_FOR_DELETE);
  if (r.state != SERVICE_STOPPED) return Record(s_, "StartServiceA", r, 0, ERROR_SERVICE_ALREADY_RUNNING);
  if (t.key && DwordValue(*t.key, "Start") == SERVICE_DISABLED)
    return Record(s_, "StartServiceA", r, 0, ERROR_SERVICE_DISABLED);
  if (r.behaviour.refuseStart) return Record(s_, "StartServiceA", r, 0, r.behaviour.refuseStart);
  if (r.behaviour.pollsToStart > 0 || r.behaviour.neverStarts)
    s_.SetServiceRunState(r, SERVICE_START_PENDING);
  else
    s_.SetServiceRunState(r, SERVICE_RUNNING);
  return Record(s_, "StartServiceA", r, 0, ERROR_SUCCESS);
}

// Windows marks the service in its key (DeleteFlag) and removes it once it is stopped and
// no handle to it is open; a restart removes it at the latest.
BOOL ServicesCore::DeleteService(SC_HANDLE service) {
  Lock lock(s_.mu);
  Target t;
  if (!ServiceOf(s_, service, t)) return FALSE;
  ServiceRecord& r = *t.record;
  if (!(t.access & DELETE_RIGHT)) return Record(s_, "DeleteService", r, 0, ERROR_ACCESS_DENIED);
  if (s_.MarkedForDelete(r)) return Record(s_, "DeleteService", r, 0, ERROR_SERVICE_MARKED_FOR_DELETE);
  r.markedForDelete = true;
  if (t.key) {
    std::string one(4, '\0');
    one[0] = 1;
    s_.SetRegValue(*t.key, "DeleteFlag", REG_DWORD, one);
  }
  return Record(s_, "DeleteService", r, 0, ERROR_SUCCESS);
}

BOOL ServicesCore::CloseServiceHandle(SC_HANDLE handle) {
  Lock lock(s_.mu);
  if (Is9x(s_)) return s_.SetError(ERROR_CALL_NOT_IMPLEMENTED), FALSE;
  auto it = s_.scHandles.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == s_.scHandles.end()) return s_.SetError(ERROR_INVALID_HANDLE), FALSE;
  std::string folded = it->second.service;
  bool manager = it->second.manager;
  s_.scHandles.erase(it);
  if (!manager) s_.MaybeRemoveService(folded);
  s_.SetError(ERROR_SUCCESS);
  return TRUE;
}

// ---------------------------------------------------------------- the machine's own view

void SimMachine::SetServiceState(std::string_view name, DWORD state) {
  Lock lock(state_->mu);
  ServiceRecord& r = state_->Service(name);
  state_->SetServiceRunState(r, state);
  if (state == SERVICE_STOPPED) state_->MaybeRemoveService(cp932::Fold(name));
}

std::optional<DWORD> SimMachine::ServiceState(std::string_view name) const {
  Lock lock(state_->mu);
  auto it = state_->services.find(cp932::Fold(name));
  if (it != state_->services.end()) return it->second.state;
  if (state_->FindKeyPath(ServiceKeyPath(name))) return SERVICE_STOPPED;
  return std::nullopt;
}

std::vector<std::pair<std::string, DWORD>> SimMachine::ServiceStates() const {
  Lock lock(state_->mu);
  std::vector<std::pair<std::string, DWORD>> out;
  for (const auto& [_, r] : state_->services) out.emplace_back(r.name, r.state);
  return out;
}

void SimMachine::SetServiceBehaviour(std::string_view name, ServiceBehaviour behaviour) {
  Lock lock(state_->mu);
  ServiceRecord& r = state_->Service(name);
  r.behaviour = behaviour;
  if (r.state == SERVICE_STOP_PENDING) r.pollsLeft = behaviour.pollsToStop;
  if (r.state == SERVICE_START_PENDING) r.pollsLeft = behaviour.pollsToStart;
}

ServiceBehaviour SimMachine::GetServiceBehaviour(std::string_view name) const {
  Lock lock(state_->mu);
  auto it = state_->services.find(cp932::Fold(name));
  return it == state_->services.end() ? ServiceBehaviour{} : it->second.behaviour;
}

bool SimMachine::ServiceMarkedForDelete(std::string_view name) const {
  Lock lock(state_->mu);
  auto it = state_->services.find(cp932::Fold(name));
  if (it != state_->services.end()) return state_->MarkedForDelete(it->second);
  auto key = state_->FindKeyPath(ServiceKeyPath(name));
  return key && DwordValue(*key, "DeleteFlag") == 1u;
}

int SimMachine::StatusQueries(std::string_view name) const {
  Lock lock(state_->mu);
  auto it = state_->services.find(cp932::Fold(name));
  return it == state_->services.end() ? 0 : it->second.statusQueries;
}

int SimMachine::ControlRequests(std::string_view name) const {
  Lock lock(state_->mu);
  auto it = state_->services.find(cp932::Fold(name));
  return it == state_->services.end() ? 0 : it->second.controlRequests;
}

int SimMachine::StartRequests(std::string_view name) const {
  Lock lock(state_->mu);
  auto it = state_->services.find(cp932::Fold(name));
  return it == state_->services.end() ? 0 : it->second.startRequests;
}

std::vector<ServiceCall> SimMachine::ServiceCalls() const {
  Lock lock(state_->mu);
  return state_->serviceCalls;
}

}  // namespace qx::sim
