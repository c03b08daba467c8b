#include "tools/qxers-sim/summary.h"

#include <cstdio>
#include <string_view>

#include "app/text.h"
#include "platform/sim/encoding.h"
#include "platform/sim/sim_text.h"

namespace qxsim {
namespace {

using qx::sim::Cp932ToUtf8Lossy;
using qx::sim::RegValue;
using qx::sim::SimMachine;
namespace cp932 = qx::sim::cp932;

constexpr char kServicesKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services";
constexpr char kPrintKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print";
constexpr char kNtPortsKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
constexpr char kSessionManager[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

void Put(MachineView& view, Kind kind, const std::string& name, std::string shown, std::string holds = "") {
  view.objects[static_cast<int>(kind)][cp932::Fold(name)] = Object{Cp932ToUtf8Lossy(shown), std::move(holds)};
}

std::string Holds(const RegValue& v) { return std::to_string(v.type) + ":" + v.data; }

// Everything a key's values say, to tell a changed object from an unchanged one.
std::string KeyHolds(const SimMachine& m, const std::string& key) {
  std::string out;
  for (const RegValue& v : m.Values(key)) out += cp932::Fold(v.name) + "=" + Holds(v) + '\n';
  for (const std::string& sub : m.Subkeys(key)) out += "[" + sub + "]" + KeyHolds(m, key + "\\" + sub);
  return out;
}

std::string Text(const std::optional<RegValue>& v) {
  if (!v) return "";
  std::string s = v->data;
  while (!s.empty() && s.back() == '\0') s.pop_back();
  return s;
}

// The key=value lines of one section of an initialization file, in order.
std::vector<std::pair<std::string, std::string>> IniSection(const std::string& text, std::string_view section) {
  std::vector<std::pair<std::string, std::string>> out;
  bool in = false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      std::size_t close = line.find(']');
      in = close != std::string::npos && cp932::EqualNoCase(line.substr(1, close - 1), section);
      continue;
    }
    std::size_t eq = line.find('=');
    if (in && eq != std::string::npos) out.emplace_back(line.substr(0, eq), line.substr(eq + 1));
  }
  return out;
}

void CaptureSpooler(const SimMachine& m, MachineView& view) {
  bool nt = m.settings().platformId == qx::VER_PLATFORM_WIN32_NT;
  std::string printers = std::string(kPrintKey) + "\\Printers";
  for (const std::string& p : m.Subkeys(printers)) Put(view, Kind::kPrinters, p, p, KeyHolds(m, printers + "\\" + p));

  std::string environments = std::string(kPrintKey) + "\\Environments";
  for (const std::string& env : m.Subkeys(environments)) {
    std::string drivers = environments + "\\" + env + "\\Drivers";
    for (const std::string& d : m.Subkeys(drivers)) {
      if (nt && qx::StartsWithNoCase(d, "Version-")) {
        for (const std::string& v : m.Subkeys(drivers + "\\" + d)) {
          std::string id = v + " (" + env + ", " + d + ")";
          Put(view, Kind::kDrivers, id, id, KeyHolds(m, drivers + "\\" + d + "\\" + v));
        }
      } else {
        std::string id = d + " (" + env + ")";
        Put(view, Kind::kDrivers, id, id, KeyHolds(m, drivers + "\\" + d));
      }
    }
    std::string processors = environments + "\\" + env + "\\Print Processors";
    for (const std::string& p : m.Subkeys(processors)) {
      std::string id = p + " (" + env + ")";
      Put(view, Kind::kPrintProcessors, id, id, KeyHolds(m, processors + "\\" + p));
    }
  }

  std::string monitors = std::string(kPrintKey) + "\\Monitors";
  for (const std::string& mon : m.Subkeys(monitors)) {
    std::string key = monitors + "\\" + mon;
    Put(view, Kind::kMonitors, mon, mon, KeyHolds(m, key));
    // A monitor keeps its ports in "Ports" when it has that key, else as its own subkeys.
    std::string portsKey = m.HasKey(key + "\\Ports") ? key + "\\Ports" : key;
    for (const std::string& port : m.Subkeys(portsKey))
      Put(view, Kind::kPorts, port, port + " (" + mon + ")", KeyHolds(m, portsKey + "\\" + port));
  }
  if (nt) {
    for (const RegValue& v : m.Values(kNtPortsKey)) Put(view, Kind::kPorts, v.name, v.name + " (Local Port)", Holds(v));
  } else if (auto winIni = m.File(m.settings().windowsDirectory + "\\WIN.INI"); winIni && !winIni->directory) {
    for (const auto& [port, value] : IniSection(winIni->contents, "ports"))
      Put(view, Kind::kPorts, port, port + " (Local Port)", value);
  }
}

// Pending renames and deletions, drivers whose deletion waits for their files, and services
// marked for deletion: all of them are carried out when the machine restarts.
void CaptureRestart(const SimMachine& m, MachineView& view) {
  if (auto pending = m.Value(kSessionManager, "PendingFileRenameOperations")) {
    std::vector<std::string> parts;
    std::string_view data = pending->data;
    while (!data.empty()) {
      std::size_t zero = data.find('\0');
      parts.emplace_back(data.substr(0, zero));
      data = zero == std::string_view::npos ? std::string_view() : data.substr(zero + 1);
    }
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
      if (parts[i].empty()) break;  // the list's terminating empty string
      auto bare = [](std::string p) {
        if (!p.empty() && p[0] == '!') p.erase(0, 1);
        if (p.rfind("\\??\\", 0) == 0) p.erase(0, 4);
        return p;
      };
      std::string from = bare(parts[i]), to = bare(parts[i + 1]);
      std::string id = to.empty() ? "delete " + from : "rename " + from + " -> " + to;
      Put(view, Kind::kRestart, id, id);
    }
  }
  if (auto wininit = m.File(m.settings().windowsDirectory + "\\WININIT.INI"); wininit && !wininit->directory) {
    for (const auto& [to, from] : IniSection(wininit->contents, "rename")) {
      std::string id = cp932::EqualNoCase(to, "NUL") ? "delete " + from : "rename " + from + " -> " + to;
      Put(view, Kind::kRestart, id, id);
    }
  }
  for (const auto& [env, driver] : m.PendingDrivers()) {
    std::string id = "delete printer driver " + driver + " (" + env + ")";
    Put(view, Kind::kRestart, id, id);
  }
  for (const std::string& s : m.Subkeys(kServicesKey)) {
    if (m.ServiceMarkedForDelete(s)) {
      std::string id = "delete service " + s;
      Put(view, Kind::kRestart, id, id);
    }
  }
}

// The Start Menu's program folders: every user's "Programs" and the machine's "Common
// Programs"; their folders are program groups, their files shortcuts.
std::vector<std::string> ProgramFolders(const SimMachine& m) {
  std::vector<std::string> roots;
  auto add = [&](const std::optional<RegValue>& v) {
    std::string path = Text(v);
    if (!path.empty()) roots.push_back(cp932::Fold(path) + "\\");
  };
  add(m.Value(std::string("HKEY_LOCAL_MACHINE\\SOFTWARE") + (kShellFolders + 8), "Common Programs"));
  for (const std::string& user : m.Subkeys("HKEY_USERS"))
    add(m.Value("HKEY_USERS\\" + user + "\\" + kShellFolders, "Programs"));
  return roots;
}

}  // namespace

const char* KindName(Kind kind) {
  static const char* const kNames[kKindCount] = {
      "files",         "folders", "registry keys", "registry values", "services",
      "printers",      "printer drivers", "print monitors", "ports", "print processors",
      "program groups", "shortcuts", "waiting for the restart"};
  return kNames[static_cast<int>(kind)];
}

MachineView Capture(const SimMachine& m) {
  MachineView view;
  std::vector<std::string> programFolders = ProgramFolders(m);
  for (const qx::sim::FileEntry& f : m.AllFiles()) {
    std::string folded = cp932::Fold(f.path);
    char attributes[16];
    std::snprintf(attributes, sizeof attributes, "%08lx:", static_cast<unsigned long>(f.attributes));
    Put(view, f.directory ? Kind::kFolders : Kind::kFiles, f.path, f.path,
        attributes + (f.directory ? std::string() : f.contents));
    for (const std::string& root : programFolders) {
      if (folded.size() > root.size() && folded.compare(0, root.size(), root) == 0)
        Put(view, f.directory ? Kind::kGroups : Kind::kShortcuts, f.path, f.path);
    }
  }
  for (const std::string& key : m.AllKeys()) {
    Put(view, Kind::kKeys, key, key);
    for (const RegValue& v : m.Values(key)) {
      std::string id = key + "\\\"" + v.name + "\"";
      Put(view, Kind::kValues, id, key + (v.name.empty() ? " (default)" : " \"" + v.name + "\""), Holds(v));
    }
  }
  std::map<std::string, qx::DWORD> states;
  for (const auto& [name, state] : m.ServiceStates()) states[cp932::Fold(name)] = state;
  for (const std::string& s : m.Subkeys(kServicesKey)) {
    std::string key = std::string(kServicesKey) + "\\" + s;
    bool service = m.Value(key, "Type") || m.Value(key, "ImagePath") || states.count(cp932::Fold(s));
    if (!service) continue;
    auto state = states.find(cp932::Fold(s));
    std::string holds = state == states.end() ? "stopped" : std::to_string(state->second);
    Put(view, Kind::kServices, s, s, holds + "\n" + KeyHolds(m, key));
  }
  CaptureSpooler(m, view);
  CaptureRestart(m, view);
  return view;
}

bool Summary::empty() const {
  for (const KindChange& k : kinds)
    if (!k.empty()) return false;
  return unknownFiles.empty();
}

Summary Compare(const MachineView& before, const MachineView& after) {
  Summary s;
  for (int k = 0; k < kKindCount; ++k) {
    const auto& b = before.objects[k];
    const auto& a = after.objects[k];
    KindChange& c = s.kinds[k];
    for (const auto& [id, o] : b) {
      auto it = a.find(id);
      if (it == a.end()) c.removed.push_back(o.shown);
      else if (it->second.holds != o.holds) c.changed.push_back(it->second.shown);
    }
    for (const auto& [id, o] : a)
      if (!b.count(id)) c.added.push_back(o.shown);
  }
  return s;
}

std::string FormatSummary(const Summary& summary, bool verbose) {
  std::string out;
  for (int k = 0; k < kKindCount; ++k) {
    const KindChange& c = summary.kinds[k];
    std::string counts;
    auto count = [&](const std::vector<std::string>& names, const char* what) {
      if (names.empty()) return;
      counts += (counts.empty() ? "" : ", ") + std::to_string(names.size()) + " " + what;
    };
    count(c.removed, "removed");
    count(c.added, "added");
    count(c.changed, "changed");
    char line[160];
    std::snprintf(line, sizeof line, "  %-24s %s\n", KindName(static_cast<Kind>(k)),
                  counts.empty() ? "no change" : counts.c_str());
    out += line;
    if (!verbose) continue;
    for (const std::string& n : c.removed) out += "      - " + n + "\n";
    for (const std::string& n : c.added) out += "      + " + n + "\n";
    for (const std::string& n : c.changed) out += "      ~ " + n + "\n";
  }
  if (!summary.unknownFiles.empty()) {
    char line[160];
    std::snprintf(line, sizeof line, "  %-24s %zu the run looked for; the image does not hold them\n", "unknown files",
                  summary.unknownFiles.size());
    out += line;
    out += "      The preview cannot tell whether the real machine has them: those it has, the run\n"
           "      removes (or, when in use, leaves for the restart).\n";
    if (verbose)
      for (const std::string& n : summary.unknownFiles) out += "      ? " + n + "\n";
  }
  return out;
}

}  // namespace qxsim
