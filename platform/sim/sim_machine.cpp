// The machine itself: construction, the facets for the engine, faults and the listing.
#include <cstdio>
#include <cstring>
#include <functional>

#include "platform/sim/sim_state.h"

namespace qx::sim {

namespace {

using Lock = std::lock_guard<MachineMutex>;

// Text as it stands, with control bytes shown as \xNN (double-byte characters are kept).
std::string Printable(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); i += cp932::CharLength(text, i)) {
    std::size_t n = cp932::CharLength(text, i);
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (n == 1 && (c < 0x20 || c == 0x7F)) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out.append(text.substr(i, n));
    }
  }
  return out;
}

std::string TypeName(DWORD type) {
  switch (type) {
    case REG_NONE: return "REG_NONE";
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    default: return "type " + std::to_string(type);
  }
}

std::string ValueText(RegValueView v) {
  std::string d(v.data);
  if ((v.type == REG_SZ || v.type == REG_EXPAND_SZ) && !d.empty() && d.back() == '\0') {
    d.pop_back();
    return "\"" + Printable(d) + "\"";
  }
  if (v.type == REG_DWORD && d.size() == 4) {
    DWORD x = 0;
    for (int i = 0; i < 4; ++i) x |= static_cast<DWORD>(static_cast<unsigned char>(d[i])) << (8 * i);
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", x);
    return buf;
  }
  if (v.type == REG_MULTI_SZ) {
    std::string out;
    std::size_t start = 0;
    while (start < d.size()) {
      std::size_t z = d.find('\0', start);
      if (z == std::string::npos) z = d.size();
      if (z == start && z + 1 >= d.size()) break;  // the list's closing zero
      if (!out.empty()) out += ' ';
      out += "\"" + Printable(d.substr(start, z - start)) + "\"";
      start = z + 1;
    }
    return "[" + out + "]";
  }
  return HexBytes(d);
}

std::string StateName(DWORD s) {
  switch (s) {
    case SERVICE_STOPPED: return "stopped";
    case SERVICE_START_PENDING: return "start pending";
    case SERVICE_STOP_PENDING: return "stop pending";
    case SERVICE_RUNNING: return "running";
    case SERVICE_CONTINUE_PENDING: return "continue pending";
    case SERVICE_PAUSE_PENDING: return "pause pending";
    case SERVICE_PAUSED: return "paused";
    default: return "state " + std::to_string(s);
  }
}

std::string AttributeLetters(DWORD a) {
  std::string s;
  if (a & FILE_ATTRIBUTE_READONLY) s += 'R';
  if (a & FILE_ATTRIBUTE_HIDDEN) s += 'H';
  if (a & FILE_ATTRIBUTE_SYSTEM) s += 'S';
  if (a & FILE_ATTRIBUTE_ARCHIVE) s += 'A';
  return s.empty() ? "-" : s;
}

}  // namespace

std::string HexBytes(std::string_view bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    std::snprintf(buf, sizeof buf, "%02X", c);
    out += buf;
  }
  return out.empty() ? "(empty)" : out;
}

DWORD CopyOut(std::string_view text, char* buffer, DWORD cchBuffer) {
  if (!buffer || text.size() + 1 > cchBuffer) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return static_cast<DWORD>(text.size());
}

SimMachine::State::State() {
  hklm = std::make_shared<RegKey>();
  hklm->name = "HKEY_LOCAL_MACHINE";
  hku = std::make_shared<RegKey>();
  hku->name = "HKEY_USERS";
  EnsureDrive('C');
  registry = MakeFaultRegistry(*this, registryCore);
  files = MakeFaultFiles(*this, filesCore);
  profile = MakeFaultProfile(*this, profileCore);
  system = MakeFaultSystem(*this, systemCore);
  servicesFacet = MakeFaultServices(*this, servicesCore);
  windowsFacet = MakeFaultWindows(*this, windowsCore);
  spooler = MakeSpooler(*this);
  platform.reset(new Platform{*registry, *files, *profile, *system, *servicesFacet, *spooler, *windowsFacet, dde,
                              modules, shutdown, webadmin});
}

// Threads still running use the state: they are waited for before it goes.
SimMachine::State::~State() {
  for (auto& t : threads)
    if (t->thread.joinable()) {
      if (t->thread.get_id() == ThisThreadId())
        t->thread.detach();
      else
        t->thread.join();
    }
}

SimMachine::SimMachine() : state_(std::make_unique<State>()) {}
SimMachine::~SimMachine() = default;

// A Windows machine always has its Windows, system and temporary directories, and a program
// runs in a directory that exists: those of the settings are made when the engine first takes
// the facets (settings are complete by then), never later behind its back.
Platform& SimMachine::platform() {
  Lock lock(state_->mu);
  if (!state_->platformTaken) {
    state_->platformTaken = true;
    const SystemSettings& st = state_->settings;
    for (const std::string& dir : {st.windowsDirectory, st.systemDirectory, st.tempPath, state_->CurrentDirectory()})
      if (!dir.empty()) state_->MachineNode(dir, true, true);
  }
  return *state_->platform;
}
SystemSettings& SimMachine::settings() { return state_->settings; }
const SystemSettings& SimMachine::settings() const { return state_->settings; }

void SimMachine::AddFault(Fault fault) {
  Lock lock(state_->mu);
  state_->faults.push_back(std::move(fault));
  state_->faultCalls.push_back(0);
}

const std::vector<Fault>& SimMachine::Faults() const { return state_->faults; }

std::string SimMachine::dump() const {
  Lock lock(state_->mu);
  const State& s = *state_;
  const SystemSettings& st = s.settings;
  std::string out;
  auto line = [&](const std::string& l) { out += l + "\n"; };

  line("[system]");
  line("  platform " + std::to_string(st.platformId) + ", version " + std::to_string(st.majorVersion) + "." +
       std::to_string(st.minorVersion) + " build " + std::to_string(st.buildNumber) + " \"" +
       Printable(st.csdVersion) + "\"");
  line("  windows \"" + Printable(st.windowsDirectory) + "\", system \"" + Printable(st.systemDirectory) +
       "\", temp \"" + Printable(st.tempPath) + "\"");
  line("  module \"" + Printable(st.moduleFileName) + "\", current directory \"" + Printable(s.CurrentDirectory()) +
       "\"");
  char when[64];
  SYSTEMTIME now = s.Now();
  std::snprintf(when, sizeof when, "%04u-%02u-%02u %02u:%02u:%02u.%03u", now.wYear, now.wMonth, now.wDay, now.wHour,
                now.wMinute, now.wSecond, now.wMilliseconds);
  line("  current user \"" + Printable(st.currentUser) + "\", local time " + when + ", elapsed " +
       std::to_string(s.elapsedMs.load()) + " ms");
  line(std::string("  service manager ") + (st.serviceManagerOpenable ? "openable" : "refused"));

  line("[registry]");
  std::function<void(const RegKey&, const std::string&)> walk = [&](const RegKey& k, const std::string& path) {
    for (const auto& c : k.subkeys) {
      std::string p = path + "\\" + c->name;
      line("  " + Printable(p));
      for (const auto& v : c->values)
        line("      " + (v.name.empty() ? std::string("@") : "\"" + Printable(v.name) + "\"") + " " +
             TypeName(v.type) + " " + ValueText(v));
      walk(*c, p);
    }
  };
  walk(*s.hklm, "HKEY_LOCAL_MACHINE");
  walk(*s.hku, "HKEY_USERS");

  line("[files]");
  std::function<void(const FileNode&)> files = [&](const FileNode& dir) {
    for (const auto& c : dir.children) {
      std::string l = "  " + Printable(State::NodePath(*c)) + (c->directory ? "\\" : "");
      l += " " + AttributeLetters(c->attributes);
      if (!c->directory) l += " " + std::to_string(c->contents.size()) + " bytes";
      if (!c->shortName.empty()) l += " short " + c->shortName;
      if (c->locked) l += " locked";
      if (!c->lockedBy.empty()) l += " locked by " + Printable(c->lockedBy);
      for (const auto& [id, obj] : s.kernelHandles)
        if (auto* f = std::get_if<OpenFile>(&obj); f && f->node == c) l += " open(" + Hex(id) + ")";
      line(l);
      if (c->directory) files(*c);
    }
  };
  for (const auto& [_, root] : s.drives) files(*root);

  line("[services]");
  for (const auto& [_, r] : s.services)
    line("  " + Printable(r.name) + " " + StateName(r.state) + (r.markedForDelete ? " marked for deletion" : "") +
         (r.behaviour == ServiceBehaviour{} ? "" : " (behaviour set)") + ", " + std::to_string(r.statusQueries) +
         " status queries, " + std::to_string(r.controlRequests) + " controls, " + std::to_string(r.startRequests) +
         " starts");

  line("[events]");
  for (const auto& [name, e] : s.namedEvents)
    line("  \"" + Printable(name) + "\"" + (e->signaled ? " signaled" : "") +
         (e->heldElsewhere ? " held by another program" : "") + ", " + std::to_string(e->handles) + " handles");

  line("[windows]");
  for (const auto& w : s.windows) {
    std::string l = "  " + Hex(reinterpret_cast<std::uintptr_t>(w->hwnd)) + " class \"" + Printable(w->className) +
                    "\" title \"" + Printable(w->title) + "\"" + (w->alive ? "" : " (gone)");
    for (const auto& m : w->messages)
      l += std::string(" ") + (m.posted ? "post " : "send ") + Hex(m.message) + "(" + Hex(m.wParam) + "," +
           std::to_string(m.lParam) + ")";
    line(l);
  }

  line("[spooler]");
  for (const auto& [_, d] : s.spoolerData.deniedAccess)
    line("  printer \"" + Printable(d.first) + "\" refuses access " + Hex(d.second));
  for (const auto& k : s.spoolerData.pendingDrivers)
    if (!k->deleted) line("  driver " + Printable(State::KeyPath(*k)) + " goes at the restart");
  line("[other programs]");
  for (const auto& w : s.windows)
    if (w->program)
      line("  window " + Hex(reinterpret_cast<std::uintptr_t>(w->hwnd)) + " of \"" + Printable(w->program->program) +
           "\"" + (w->alive ? "" : " (gone)") + (w->program->busy ? " busy" : "") +
           (w->program->closing ? " closing at " + std::to_string(w->program->closeAtMs) + " ms" : ""));
  for (const auto& [_, e] : s.namedEvents)
    if (e->heldElsewhere)
      line("  event \"" + Printable(e->name) + "\" held by \"" + Printable(e->heldBy) + "\"" +
           (e->endsProgram ? ", ends it when set" : ""));
  for (const auto& [_, spec] : s.outside.modules)
    line("  module \"" + Printable(spec.path) + "\" kind " + std::to_string(static_cast<int>(spec.kind)) +
         (spec.loadError ? " fails to load with " + std::to_string(spec.loadError) : ""));
  for (const auto& [_, lib] : s.outside.libraries)
    line("  loaded \"" + Printable(lib.path) + "\" " + std::to_string(lib.references) + " times");
  line("  web server kind " + std::to_string(static_cast<int>(s.outside.web.kind)) + ", " +
       std::to_string(s.outside.web.keys.size()) + " keys, " + std::to_string(s.outside.web.applications.size()) +
       " applications; " + std::to_string(s.outside.processHandles.size()) + " process handles, " +
       std::to_string(s.outside.managers.size()) + " status managers, " + std::to_string(s.outside.comObjects.size()) +
       " COM objects open; " + std::to_string(s.outside.calls.size()) + " calls recorded");

  line("[faults]");
  for (std::size_t i = 0; i < s.faults.size(); ++i) {
    const Fault& f = s.faults[i];
    line("  " + f.call + (f.object.empty() ? "" : " on \"" + Printable(f.object) + "\"") +
         (f.nth ? " call " + std::to_string(f.nth) : " every call") + " error " + std::to_string(f.error) + ", " +
         std::to_string(s.faultCalls[i]) + " matching calls so far");
  }
  if (s.storm.percent)
    line("  storm seed " + std::to_string(s.storm.seed) + " at " + std::to_string(s.storm.percent) + "%, " +
         std::to_string(s.stormFailures.size()) + " calls failed");
  if (s.cutAt)
    line("  power cut after changing call " + std::to_string(*s.cutAt) + (s.poweredOff ? ": the power is off" : ""));
  return out;
}

}  // namespace qx::sim
