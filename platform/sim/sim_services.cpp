// The service control manager. A service exists when its key
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\<name> exists; only its run state and
// its deletion mark live beside the registry. Transitions are immediate for now: a stop or a
// start is complete when the call returns.
#include "platform/sim/sim_state.h"

namespace qx::sim {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr const char* kServicesKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services";
constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x10;
constexpr DWORD SERVICE_ACCEPT_STOP = 0x1;
constexpr DWORD SERVICE_DISABLED = 4;

SC_HANDLE ToSc(std::uintptr_t id) { return reinterpret_cast<SC_HANDLE>(id); }

std::string ServiceKeyPath(std::string_view name) { return std::string(kServicesKey) + "\\" + std::string(name); }

std::optional<DWORD> DwordValue(const RegKey& key, std::string_view name) {
  for (const auto& v : key.values)
    if (cp932::EqualNoCase(v.name, name) && v.type == REG_DWORD && v.data.size() >= 4) {
      DWORD d = 0;
      for (int i = 0; i < 4; ++i) d |= static_cast<DWORD>(static_cast<unsigned char>(v.data[i])) << (8 * i);
      return d;
    }
  return std::nullopt;
}

}  // namespace

ServiceRecord& SimMachine::State::Service(std::string_view name) {
  auto& r = services[cp932::Fold(name)];
  if (r.name.empty()) r.name = std::string(name);
  return r;
}

// A service marked for deletion goes when it is stopped and its last handle is closed.
void SimMachine::State::MaybeRemoveService(const std::string& folded) {
  auto it = services.find(folded);
  if (it == services.end() || !it->second.markedForDelete || it->second.state != SERVICE_STOPPED) return;
  for (const auto& [_, h] : scHandles)
    if (!h.manager && h.service == folded) return;
  if (auto key = FindKeyPath(ServiceKeyPath(it->second.name))) DetachKey(key);
  services.erase(it);
}

namespace {

// The record behind a service handle, or null with the error set.
ServiceRecord* ServiceOf(SimMachine::State& s, SC_HANDLE handle, std::shared_ptr<RegKey>* key = nullptr) {
  auto it = s.scHandles.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == s.scHandles.end() || it->second.manager) {
    s.SetError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto rec = s.services.find(it->second.service);
  if (rec == s.services.end()) {
    s.SetError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (key) *key = s.FindKeyPath(ServiceKeyPath(rec->second.name));
  return &rec->second;
}

void FillStatus(const ServiceRecord& r, const RegKey* key, SERVICE_STATUS& status) {
  status = SERVICE_STATUS{};
  status.dwServiceType = key ? DwordValue(*key, "Type").value_or(SERVICE_WIN32_OWN_PROCESS) : SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = r.state;
  status.dwControlsAccepted = r.state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
}

}  // namespace

SC_HANDLE ServicesCore::OpenSCManagerA(const char*, const char*, DWORD) {
  Lock lock(s_.mu);
  if (s_.settings.platformId == VER_PLATFORM_WIN32_WINDOWS) return s_.SetError(ERROR_CALL_NOT_IMPLEMENTED), nullptr;
  if (!s_.settings.serviceManagerOpenable) return s_.SetError(ERROR_ACCESS_DENIED), nullptr;
  std::uintptr_t id = s_.nextScHandle;
  s_.nextScHandle += 4;
  s_.scHandles[id] = ScHandle{true, ""};
  return ToSc(id);
}

SC_HANDLE ServicesCore::OpenServiceA(SC_HANDLE manager, const char* name, DWORD) {
  Lock lock(s_.mu);
  auto m = s_.scHandles.find(reinterpret_cast<std::uintptr_t>(manager));
  if (m == s_.scHandles.end() || !m->second.manager) return s_.SetError(ERROR_INVALID_HANDLE), nullptr;
  if (!name) return s_.SetError(ERROR_INVALID_ADDRESS), nullptr;
  std::string_view n(name);
  if (n.empty() || n.size() > 256 || cp932::Find(n, '\\') != std::string_view::npos ||
      cp932::Find(n, '/') != std::string_view::npos)
    return s_.SetError(ERROR_INVALID_NAME), nullptr;
  auto key = s_.FindKeyPath(ServiceKeyPath(n));
  if (!key) return s_.SetError(ERROR_SERVICE_DOES_NOT_EXIST), nullptr;
  s_.Service(key->name);
  std::uintptr_t id = s_.nextScHandle;
  s_.nextScHandle += 4;
  s_.scHandles[id] = ScHandle{false, cp932::Fold(n)};
  return ToSc(id);
}

BOOL ServicesCore::QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS& status) {
  Lock lock(s_.mu);
  std::shared_ptr<RegKey> key;
  ServiceRecord* r = ServiceOf(s_, service, &key);
  if (!r) return FALSE;
  FillStatus(*r, key.get(), status);
  return TRUE;
}

BOOL ServicesCore::ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS& status) {
  Lock lock(s_.mu);
  std::shared_ptr<RegKey> key;
  ServiceRecord* r = ServiceOf(s_, service, &key);
  if (!r) return FALSE;
  switch (control) {
    case SERVICE_CONTROL_STOP:
      if (r->state == SERVICE_STOPPED) {
        FillStatus(*r, key.get(), status);
        return s_.SetError(ERROR_SERVICE_NOT_ACTIVE), FALSE;
      }
      r->state = SERVICE_STOPPED;
      break;
    case SERVICE_CONTROL_INTERROGATE:
      if (r->state == SERVICE_STOPPED) {
        FillStatus(*r, key.get(), status);
        return s_.SetError(ERROR_SERVICE_NOT_ACTIVE), FALSE;
      }
      break;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
      if (r->state == SERVICE_STOPPED) return s_.SetError(ERROR_SERVICE_NOT_ACTIVE), FALSE;
      return s_.SetError(ERROR_INVALID_SERVICE_CONTROL), FALSE;
    default:
      return s_.SetError(ERROR_INVALID_PARAMETER), FALSE;
  }
  FillStatus(*r, key.get(), status);
  return TRUE;
}

BOOL ServicesCore::StartServiceA(SC_HANDLE service, DWORD, const char**) {
  Lock lock(s_.mu);
  std::shared_ptr<RegKey> key;
  ServiceRecord* r = ServiceOf(s_, service, &key);
  if (!r) return FALSE;
  if (r->markedForDelete) return s_.SetError(ERROR_SERVICE_MARKED_FOR_DELETE), FALSE;
  if (r->state != SERVICE_STOPPED) return s_.SetError(ERROR_SERVICE_ALREADY_RUNNING), FALSE;
  if (key && DwordValue(*key, "Start") == SERVICE_DISABLED) return s_.SetError(ERROR_SERVICE_DISABLED), FALSE;
  r->state = SERVICE_RUNNING;
  return TRUE;
}

BOOL ServicesCore::DeleteService(SC_HANDLE service) {
  Lock lock(s_.mu);
  ServiceRecord* r = ServiceOf(s_, service);
  if (!r) return FALSE;
  if (r->markedForDelete) return s_.SetError(ERROR_SERVICE_MARKED_FOR_DELETE), FALSE;
  r->markedForDelete = true;
  return TRUE;
}

BOOL ServicesCore::CloseServiceHandle(SC_HANDLE handle) {
  Lock lock(s_.mu);
  auto it = s_.scHandles.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == s_.scHandles.end()) return s_.SetError(ERROR_INVALID_HANDLE), FALSE;
  std::string folded = it->second.service;
  bool manager = it->second.manager;
  s_.scHandles.erase(it);
  if (!manager) s_.MaybeRemoveService(folded);
  return TRUE;
}

// ---------------------------------------------------------------- the machine's own view

void SimMachine::SetServiceState(std::string_view name, DWORD state) {
  Lock lock(state_->mu);
  ServiceRecord& r = state_->Service(name);
  r.state = state;
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

}  // namespace qx::sim
