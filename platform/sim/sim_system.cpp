// System information, the virtual clock, last error, named events and threads.
#include <cstring>

#include "platform/sim/sim_state.h"

namespace qx::sim {

namespace {

using Lock = std::lock_guard<MachineMutex>;

std::int64_t DaysFromCivil(int y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<std::int64_t>(era) * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int>(yoe) + static_cast<int>(era) * 400 + (m <= 2);
}

bool ValidEventName(const char* name) { return !name || std::strlen(name) <= MAX_PATH; }

}  // namespace

// The machine's local time runs on with the virtual clock: the configured moment plus what
// Sleep has spent.
SYSTEMTIME SimMachine::State::Now() const {
  const SYSTEMTIME& t = settings.localTime;
  std::int64_t days = DaysFromCivil(t.wYear, t.wMonth ? t.wMonth : 1, t.wDay ? t.wDay : 1);
  std::int64_t ms = ((static_cast<std::int64_t>(t.wHour) * 60 + t.wMinute) * 60 + t.wSecond) * 1000 + t.wMilliseconds;
  ms += static_cast<std::int64_t>(elapsedMs.load());
  days += ms / 86400000;
  ms %= 86400000;
  SYSTEMTIME out;
  int y;
  unsigned m, d;
  CivilFromDays(days, y, m, d);
  out.wYear = static_cast<WORD>(y);
  out.wMonth = static_cast<WORD>(m);
  out.wDay = static_cast<WORD>(d);
  out.wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday (4)
  out.wHour = static_cast<WORD>(ms / 3600000);
  out.wMinute = static_cast<WORD>(ms / 60000 % 60);
  out.wSecond = static_cast<WORD>(ms / 1000 % 60);
  out.wMilliseconds = static_cast<WORD>(ms % 1000);
  return out;
}

void SimMachine::State::SetError(DWORD error) {
  std::lock_guard<MachineMutex> lock(mu);
  lastErrors[ThisThreadId()] = error;
}

DWORD SimMachine::State::Error() {
  std::lock_guard<MachineMutex> lock(mu);
  auto it = lastErrors.find(ThisThreadId());
  return it == lastErrors.end() ? ERROR_SUCCESS : it->second;
}

// Only OSVERSIONINFOA (148) and OSVERSIONINFOEXA (156) are accepted.
BOOL SystemCore::GetVersionExA(OSVERSIONINFOA& info) {
  Lock lock(s_.mu);
  if (info.dwOSVersionInfoSize != 148 && info.dwOSVersionInfoSize != 156)
    return s_.SetError(ERROR_INSUFFICIENT_BUFFER), FALSE;
  info.dwMajorVersion = s_.settings.majorVersion;
  info.dwMinorVersion = s_.settings.minorVersion;
  info.dwBuildNumber = s_.settings.buildNumber;
  info.dwPlatformId = s_.settings.platformId;
  info.szCSDVersion = std::string(cp932::Truncate(s_.settings.csdVersion, 127));
  return TRUE;
}

UINT SystemCore::GetSystemDirectoryA(char* buffer, UINT cchBuffer) {
  Lock lock(s_.mu);
  return CopyOut(s_.settings.systemDirectory, buffer, cchBuffer);
}

UINT SystemCore::GetWindowsDirectoryA(char* buffer, UINT cchBuffer) {
  Lock lock(s_.mu);
  return CopyOut(s_.settings.windowsDirectory, buffer, cchBuffer);
}

DWORD SystemCore::GetTempPathA(DWORD cchBuffer, char* buffer) {
  Lock lock(s_.mu);
  std::string path = s_.settings.tempPath;
  if (!path.empty() && path.back() != '\\') path += '\\';
  return CopyOut(path, buffer, cchBuffer);
}

// A buffer too small receives the first cchBuffer bytes without a terminating zero, and the
// result is cchBuffer, as on Windows XP and earlier.
// The name Windows took at start from its registry; a machine without one has none to give.
BOOL SystemCore::GetComputerNameA(char* buffer, DWORD* size) {
  Lock lock(s_.mu);
  if (!size) return s_.SetError(ERROR_INVALID_PARAMETER), FALSE;
  std::string name;
  if (auto key = s_.FindKeyPath("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName")) {
    if (const auto v = key->values.Find("ComputerName"); v && (v->type == REG_SZ || v->type == REG_EXPAND_SZ))
      name = std::string(v->data.substr(0, v->data.find('\0')));
  }
  if (name.empty()) return s_.SetError(ERROR_FILE_NOT_FOUND), FALSE;
  if (!buffer || *size <= name.size()) {
    *size = static_cast<DWORD>(name.size() + 1);
    return s_.SetError(ERROR_BUFFER_OVERFLOW), FALSE;
  }
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  *size = static_cast<DWORD>(name.size());
  return TRUE;
}

DWORD SystemCore::GetModuleFileNameA(char* buffer, DWORD cchBuffer) {
  Lock lock(s_.mu);
  const std::string& name = s_.settings.moduleFileName;
  if (!buffer || !cchBuffer) return s_.SetError(ERROR_INSUFFICIENT_BUFFER), 0;
  if (name.size() < cchBuffer) {
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return static_cast<DWORD>(name.size());
  }
  std::memcpy(buffer, name.data(), cchBuffer);
  s_.SetError(ERROR_INSUFFICIENT_BUFFER);
  return cchBuffer;
}

void SystemCore::GetLocalTime(SYSTEMTIME& time) {
  Lock lock(s_.mu);
  time = s_.Now();
}

// Costs no real time; yields so that a thread polling in a loop lets the others run.
void SystemCore::Sleep(DWORD milliseconds) {
  s_.elapsedMs += milliseconds;
  YieldThread();
}

DWORD SystemCore::GetLastError() { return s_.Error(); }

void SystemCore::SetLastError(DWORD error) { s_.SetError(error); }

HANDLE SystemCore::CreateEventA(BOOL manualReset, BOOL initialState, const char* name) {
  Lock lock(s_.mu);
  if (!ValidEventName(name)) return s_.SetError(ERROR_FILENAME_EXCED_RANGE), nullptr;
  if (name && *name) {
    auto it = s_.namedEvents.find(name);
    if (it != s_.namedEvents.end()) {
      it->second->handles++;
      HANDLE h = s_.NewKernelHandle(it->second);
      s_.SetError(ERROR_ALREADY_EXISTS);
      return h;
    }
  }
  auto e = std::make_shared<SimEvent>();
  e->name = name ? name : "";
  e->manualReset = manualReset != FALSE;
  e->signaled = initialState != FALSE;
  e->handles = 1;
  if (!e->name.empty()) s_.namedEvents[e->name] = e;
  HANDLE h = s_.NewKernelHandle(e);
  s_.SetError(ERROR_SUCCESS);
  return h;
}

// The handle carries the rights asked for: SetEvent needs EVENT_MODIFY_STATE.
HANDLE SystemCore::OpenEventA(DWORD access, BOOL, const char* name) {
  Lock lock(s_.mu);
  if (!name) return s_.SetError(ERROR_INVALID_PARAMETER), nullptr;
  if (!ValidEventName(name)) return s_.SetError(ERROR_FILENAME_EXCED_RANGE), nullptr;
  auto it = s_.namedEvents.find(name);
  if (it == s_.namedEvents.end()) {
    s_.Record("OpenEventA(" + std::to_string(access) + ", \"" + name + "\") = NULL, error 2");
    return s_.SetError(ERROR_FILE_NOT_FOUND), nullptr;
  }
  it->second->handles++;
  HANDLE h = s_.NewKernelHandle(it->second);
  s_.outside.eventAccess[reinterpret_cast<std::uintptr_t>(h)] = access;
  s_.Record("OpenEventA(" + std::to_string(access) + ", \"" + name + "\") = handle");
  return h;
}

BOOL SystemCore::SetEvent(HANDLE event) {
  Lock lock(s_.mu);
  auto* obj = s_.Kernel(event);
  auto* e = obj ? std::get_if<std::shared_ptr<SimEvent>>(obj) : nullptr;
  if (!e) return s_.SetError(ERROR_INVALID_HANDLE), FALSE;
  auto granted = s_.outside.eventAccess.find(reinterpret_cast<std::uintptr_t>(event));
  if (granted != s_.outside.eventAccess.end() && !(granted->second & EVENT_MODIFY_STATE)) {
    if (!(*e)->name.empty()) s_.Record("SetEvent(\"" + (*e)->name + "\") = 0, error 5");
    return s_.SetError(ERROR_ACCESS_DENIED), FALSE;
  }
  auto ev = *e;
  ev->signaled = true;
  if (!ev->name.empty()) s_.Record("SetEvent(\"" + ev->name + "\") = 1");
  s_.OnEventSet(*ev);
  s_.SettleWindows();
  return TRUE;
}

HANDLE SystemCore::CreateThread(ThreadProc proc, void* argument) {
  Lock lock(s_.mu);
  if (!proc) return s_.SetError(ERROR_INVALID_PARAMETER), nullptr;
  auto t = std::make_shared<SimThread>();
  SimMachine::State* state = &s_;
  SimThread* raw = t.get();
  bool started = StartThread(t->thread, [state, raw, proc, argument] {
    DWORD code = 0;
    try {
      code = proc(argument);
    } catch (const RunawayRun&) {
      code = static_cast<DWORD>(-1);  // the fuse ended the thread (SimMachine::SetRunawayLimit)
    }
    {
      std::lock_guard<MachineMutex> l(state->mu);
      raw->exitCode = code;
      state->lastErrors.erase(ThisThreadId());
    }
    raw->finished = true;
  });
  // A machine run on one thread only: the caller does the work on its own thread instead.
  if (!started) return s_.SetError(ERROR_NOT_SUPPORTED), nullptr;
  s_.threads.push_back(t);
  return s_.NewKernelHandle(t);
}

BOOL SystemCore::CloseHandle(HANDLE handle) {
  Lock lock(s_.mu);
  return s_.CloseKernelHandle(handle);
}

// ---------------------------------------------------------------- kernel handles

HANDLE SimMachine::State::NewKernelHandle(KernelObject object) {
  std::uintptr_t id = nextKernelHandle;
  nextKernelHandle += 4;
  kernelHandles.emplace(id, std::move(object));
  return reinterpret_cast<HANDLE>(id);
}

KernelObject* SimMachine::State::Kernel(HANDLE handle) {
  auto it = kernelHandles.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == kernelHandles.end() ? nullptr : &it->second;
}

BOOL SimMachine::State::CloseKernelHandle(HANDLE handle) {
  auto it = kernelHandles.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == kernelHandles.end()) return SetError(ERROR_INVALID_HANDLE), FALSE;
  outside.eventAccess.erase(it->first);
  if (auto* e = std::get_if<std::shared_ptr<SimEvent>>(&it->second)) {
    auto ev = *e;
    if (--ev->handles <= 0 && !ev->heldElsewhere && !ev->name.empty()) namedEvents.erase(ev->name);
  }
  kernelHandles.erase(it);
  return TRUE;
}

// ---------------------------------------------------------------- the machine's own view

std::uint64_t SimMachine::ElapsedMs() const { return state_->elapsedMs.load(); }

void SimMachine::JoinThreads() {
  for (;;) {
    std::vector<std::shared_ptr<SimThread>> pending;
    {
      Lock lock(state_->mu);
      for (auto& t : state_->threads)
        if (t->thread.joinable() && t->thread.get_id() != ThisThreadId()) pending.push_back(t);
    }
    if (pending.empty()) return;
    for (auto& t : pending) t->thread.join();  // a thread may start others: look again
  }
}

bool SimMachine::EventExists(std::string_view name) const {
  Lock lock(state_->mu);
  return state_->namedEvents.count(std::string(name)) != 0;
}

bool SimMachine::EventSignaled(std::string_view name) const {
  Lock lock(state_->mu);
  auto it = state_->namedEvents.find(std::string(name));
  return it != state_->namedEvents.end() && it->second->signaled;
}

void SimMachine::AddEvent(std::string_view name, bool signaled) {
  Lock lock(state_->mu);
  auto& e = state_->namedEvents[std::string(name)];
  if (!e) {
    e = std::make_shared<SimEvent>();
    e->name = std::string(name);
    e->manualReset = true;
  }
  e->signaled = signaled;
  e->heldElsewhere = true;
}

}  // namespace qx::sim
