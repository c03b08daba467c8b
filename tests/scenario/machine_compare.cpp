#include "tests/scenario/machine_compare.h"

#include <fstream>
#include <sstream>

#include "platform/sim/encoding.h"
#include "platform/sim/sim_text.h"

namespace qx::test {
namespace {

using sim::cp932::Fold;

const std::string kPrint = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\";
const std::string kPrintersNt = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\";
const std::string kPortsNt = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
const std::string kServices = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\";

struct Id {
  std::string kind, path, name;  // name: the value's name for "value KEY|NAME"
};

Id Split(const std::string& id) {
  Id out;
  std::size_t space = id.find(' ');
  out.kind = id.substr(0, space);
  out.path = id.substr(space + 1);
  if (out.kind == "value" || out.kind == "pendingdriver") {
    std::size_t bar = out.path.find('|');
    out.name = out.path.substr(bar + 1);
    out.path.resize(bar);
  }
  return out;
}

bool Same(const std::string& a, const std::string& b) { return Fold(a) == Fold(b); }

bool Under(const std::string& path, const std::string& top, char sep = '\\') {
  std::string p = Fold(path), t = Fold(top);
  return p == t || (p.size() > t.size() && p.compare(0, t.size(), t) == 0 && p[t.size()] == sep);
}

// The components of path below prefix (which ends with a backslash), or none when it is not
// below it.
std::vector<std::string> Below(const std::string& path, const std::string& prefix) {
  if (Fold(path).compare(0, prefix.size(), Fold(prefix)) != 0 || path.size() <= prefix.size()) return {};
  return sim::cp932::Split(path.substr(prefix.size()), false);
}

MachineObjects::const_iterator FindId(const MachineObjects& objects, const std::string& id) {
  for (auto it = objects.begin(); it != objects.end(); ++it)
    if (Same(it->first, id)) return it;
  return objects.end();
}

bool IsKeyOrValue(const Id& id) { return id.kind == "key" || id.kind == "value"; }

std::pair<std::string, std::string> TwoFields(const std::string& object) {
  std::size_t bar = object.find('|');
  return {object.substr(0, bar), bar == std::string::npos ? "" : object.substr(bar + 1)};
}

}  // namespace

MachineObjects TakeObjects(const sim::SimMachine& m) {
  MachineObjects out;
  for (const std::string& key : m.AllKeys()) {
    out["key " + key] = "";
    for (const sim::RegValue& v : m.Values(key)) out["value " + key + "|" + v.name] = std::to_string(v.type) + ":" + v.data;
  }
  for (const sim::FileEntry& f : m.AllFiles()) {
    out[(f.directory ? "dir " : "file ") + f.path] =
        std::to_string(f.attributes) + " " + f.shortName + (f.directory ? "" : ":" + f.contents);
  }
  for (const auto& [name, state] : m.ServiceStates()) out["service " + name] = std::to_string(state);
  sim::WebServer web = m.GetWebServer();
  for (const std::string& k : web.keys) out["metabase " + k] = "";
  for (const std::string& k : web.applications) out["webapp " + k] = "";
  for (const auto& [env, driver] : m.PendingDrivers()) out["pendingdriver " + env + "|" + driver] = "";
  return out;
}

std::vector<std::string> Changed(const MachineObjects& a, const MachineObjects& b) {
  std::vector<std::string> out;
  for (const auto& [id, contents] : a) {
    auto it = b.find(id);
    if (it == b.end() || it->second != contents) out.push_back(id);
  }
  for (const auto& [id, _] : b)
    if (!a.count(id)) out.push_back(id);
  return out;
}

bool ReadResidueList(const std::string& path, std::vector<FamilyObject>& out, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot be read";
    return false;
  }
  static const std::vector<std::string> kinds = {"file", "folder", "group", "shortcut", "key", "value", "service",
                                                 "printer", "driver", "processor", "monitor", "port", "metabase",
                                                 "pulled", "ini"};
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    FamilyObject f;
    f.line = n;
    if (line.rfind("left ", 0) == 0) {
      f.left = true;
      line.erase(0, 5);
    } else if (line.rfind("rewritten ", 0) == 0) {
      f.rewritten = true;
      line.erase(0, 10);
    }
    std::size_t space = line.find(' ');
    f.kind = line.substr(0, space);
    bool known = false;
    for (const std::string& k : kinds) known = known || k == f.kind;
    if (space == std::string::npos || !known || !sim::Utf8ToCp932(line.substr(space + 1), f.object)) {
      error = path + ":" + std::to_string(n) + ": not a residue line";
      return false;
    }
    out.push_back(f);
  }
  return true;
}

bool Owns(const FamilyObject& f, const std::string& idText) {
  Id id = Split(idText);
  const std::string& o = f.object;
  if (f.kind == "file" || f.kind == "folder" || f.kind == "group" || f.kind == "shortcut")
    return (id.kind == "file" || id.kind == "dir") && Under(id.path, o);
  if (f.kind == "key") return IsKeyOrValue(id) && Under(id.path, o);
  if (f.kind == "value") {
    auto [key, name] = TwoFields(o);
    return id.kind == "value" && Same(id.path, key) && Same(id.name, name);
  }
  if (f.kind == "service") return (id.kind == "service" && Same(id.path, o)) || (IsKeyOrValue(id) && Under(id.path, kServices + o));
  if (f.kind == "printer") {
    if (!IsKeyOrValue(id)) return false;
    if (Under(id.path, kPrint + "Printers\\" + o) || Under(id.path, kPrintersNt + o)) return true;
    std::vector<std::string> parts = sim::cp932::Split(id.path, false);
    return id.kind == "value" && Same(id.name, o) && !parts.empty() &&
           (Same(parts.back(), "Devices") || Same(parts.back(), "PrinterPorts"));
  }
  if (f.kind == "driver") {
    auto [env, name] = TwoFields(o);
    if (id.kind == "pendingdriver") return Same(id.path, env) && Same(id.name, name);
    if (!IsKeyOrValue(id)) return false;
    std::vector<std::string> c = Below(id.path, kPrint + "Environments\\" + env + "\\Drivers\\");
    return (!c.empty() && Same(c[0], name)) ||
           (c.size() >= 2 && Fold(c[0]).rfind(Fold("Version-"), 0) == 0 && Same(c[1], name));
  }
  if (f.kind == "processor") {
    auto [env, name] = TwoFields(o);
    return IsKeyOrValue(id) && Under(id.path, kPrint + "Environments\\" + env + "\\Print Processors\\" + name);
  }
  if (f.kind == "monitor") return IsKeyOrValue(id) && Under(id.path, kPrint + "Monitors\\" + o);
  if (f.kind == "port") {
    if (id.kind == "value" && Same(id.path, kPortsNt) && Same(id.name, o)) return true;
    if (!IsKeyOrValue(id)) return false;
    std::vector<std::string> c = Below(id.path, kPrint + "Monitors\\");
    return (c.size() >= 2 && Same(c[1], o)) || (c.size() >= 3 && Same(c[1], "Ports") && Same(c[2], o));
  }
  if (f.kind == "metabase") return (id.kind == "metabase" || id.kind == "webapp") && Under(id.path, o, '/');
  return false;
}

std::string FileText(const std::string& contents) { return contents.substr(contents.find(':') + 1); }

std::string StripIniLines(const std::string& contents, const std::vector<FamilyObject>& family, const std::string& file,
                          int* removed) {
  std::istringstream in(contents);
  std::string line, section, out;
  while (std::getline(in, line)) {
    std::string bare = line;
    if (!bare.empty() && bare.back() == '\r') bare.pop_back();
    if (!bare.empty() && bare[0] == '[' && bare.find(']') != std::string::npos)
      section = bare.substr(1, bare.find(']') - 1);
    bool drop = false;
    for (const FamilyObject& f : family) {
      if (f.kind != "ini") continue;
      std::vector<std::string> p;
      std::istringstream fields(f.object);
      for (std::string s; std::getline(fields, s, '|');) p.push_back(s);
      if (p.size() == 3 && Same(p[0], file) && Same(p[1], section) && bare.size() > p[2].size() &&
          bare[p[2].size()] == '=' && Same(bare.substr(0, p[2].size()), p[2]))
        drop = true;
    }
    if (drop) {
      if (removed) ++*removed;
    } else {
      out += line + "\n";
    }
  }
  return out;
}

std::string CompareShared(const FamilyObject& f, const MachineObjects& before, const MachineObjects& after) {
  if (f.kind == "pulled") {
    std::size_t bar = f.object.rfind('|');
    std::string id = "value " + f.object.substr(0, bar), text = f.object.substr(bar + 1);
    auto b = FindId(before, id), a = FindId(after, id);
    if (b == before.end() || b->second.find(text) == std::string::npos) return "not installed";
    if (a == after.end()) return "the shared value is gone";
    if (a->second.find(text) != std::string::npos) return "still holds the family's text";
    // Every other piece of the value stays.
    std::string rest = b->second;
    for (char& c : rest)
      if (c == ',' || c == ';' || c == ' ' || c == '\0') c = '\n';
    std::istringstream pieces(rest);
    for (std::string p; std::getline(pieces, p);)
      if (!p.empty() && p.find(text) == std::string::npos && a->second.find(p) == std::string::npos)
        return "lost another product's part " + p;
    return "";
  }
  if (f.kind == "ini") {
    std::string file = f.object.substr(0, f.object.find('|'));
    auto b = FindId(before, "file " + file), a = FindId(after, "file " + file);
    int inBefore = 0, inAfter = 0;
    if (b != before.end()) StripIniLines(FileText(b->second), {f}, file, &inBefore);
    if (a != after.end()) StripIniLines(FileText(a->second), {f}, file, &inAfter);
    if (inBefore == 0) return "not installed";
    if (f.rewritten) return inAfter == 1 ? "" : "the line is gone";
    if (inAfter != 0) return "the line is still there";
    return "";
  }
  return "not a shared object";
}

std::optional<std::string> CompareSharedObject(const std::vector<FamilyObject>& family, const std::string& id,
                                               const MachineObjects& before, const MachineObjects& after) {
  for (const FamilyObject& f : family) {
    if (f.kind == "pulled" && Same(id, "value " + f.object.substr(0, f.object.rfind('|')))) return "";
    if (f.kind != "ini" || id.rfind("file ", 0) != 0) continue;
    const std::string file = id.substr(5);
    if (!Same(file, f.object.substr(0, f.object.find('|')))) continue;
    auto b = before.find(id), a = after.find(id);
    if (b == before.end() || a == after.end()) return "the file is gone or new";
    return StripIniLines(FileText(b->second), family, file) == StripIniLines(FileText(a->second), family, file)
               ? ""
               : "other lines changed";
  }
  return std::nullopt;
}

}  // namespace qx::test
