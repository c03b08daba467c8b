#include "platform/sim/image/image_outside.h"

#include <cstdio>

#include "platform/sim/encoding.h"
#include "platform/sim/image/image_text.h"
#include "platform/sim/sim_text.h"

namespace qx::sim::image {
namespace {

constexpr char kFile[] = "machine.ini";

bool Number(std::string_view s, unsigned long long limit, unsigned long long& v) {
  v = 0;
  if (s.empty() || s.size() > 10) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  return v <= limit;
}

struct Named {
  const char* name;
  unsigned long value;
};

constexpr Named kMessages[] = {{"WM_CLOSE", WM_CLOSE}, {"WM_COMMAND", WM_COMMAND}, {"WM_USER", WM_USER}};

constexpr Named kErrors[] = {
    {"ERROR_FILE_NOT_FOUND", ERROR_FILE_NOT_FOUND}, {"ERROR_ACCESS_DENIED", ERROR_ACCESS_DENIED},
    {"ERROR_SHARING_VIOLATION", ERROR_SHARING_VIOLATION}, {"ERROR_MOD_NOT_FOUND", ERROR_MOD_NOT_FOUND},
    {"ERROR_PROC_NOT_FOUND", ERROR_PROC_NOT_FOUND}, {"ERROR_BAD_EXE_FORMAT", ERROR_BAD_EXE_FORMAT},
    {"ERROR_DLL_INIT_FAILED", ERROR_DLL_INIT_FAILED}, {"ERROR_NOT_ENOUGH_MEMORY", ERROR_NOT_ENOUGH_MEMORY},
};

constexpr Named kHResults[] = {
    {"E_FAIL", static_cast<unsigned long>(E_FAIL)},
    {"E_ACCESSDENIED", static_cast<unsigned long>(HResultFromWin32(ERROR_ACCESS_DENIED))},
    {"E_INVALIDARG", static_cast<unsigned long>(E_INVALIDARG)},
    {"E_NOTIMPL", static_cast<unsigned long>(E_NOTIMPL)},
};

// A message: a name, WM_USER+N, or a decimal number.
bool ParseMessage(std::string_view s, UINT& message) {
  for (const Named& n : kMessages)
    if (s == n.name) return message = n.value, true;
  unsigned long long v;
  if (s.substr(0, 8) == "WM_USER+" && Number(s.substr(8), 0xBFFF, v)) return message = WM_USER + v, true;
  if (Number(s, 0xFFFF, v)) return message = static_cast<UINT>(v), true;
  return false;
}

bool ParseError(std::string_view s, DWORD& error) {
  for (const Named& n : kErrors)
    if (s == n.name) return error = n.value, true;
  unsigned long long v;
  if (Number(s, 0xFFFFFFFFull, v) && v != 0) return error = static_cast<DWORD>(v), true;
  return false;
}

// An HRESULT: a name or 0x and eight hexadecimal digits, with the failure bit set.
bool ParseHResult(std::string_view s, LONG& hr) {
  for (const Named& n : kHResults)
    if (s == n.name) return hr = static_cast<LONG>(n.value), true;
  if (s.size() != 10 || s.substr(0, 2) != "0x") return false;
  unsigned long v = 0;
  for (char c : s.substr(2)) {
    int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (d < 0) return false;
    v = v * 16 + static_cast<unsigned long>(d);
  }
  if (!(v & 0x80000000ul)) return false;
  hr = static_cast<LONG>(v);
  return true;
}

std::string HResultName(LONG hr) {
  for (const Named& n : kHResults)
    if (static_cast<LONG>(n.value) == hr) return n.name;
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}

std::string ErrorName(DWORD e) {
  for (const Named& n : kErrors)
    if (n.value == e) return n.name;
  return std::to_string(e);
}

std::string MessageName(UINT m) {
  for (const Named& n : kMessages)
    if (n.value == m) return n.name;
  if (m > WM_USER && m < 0xC000) return "WM_USER+" + std::to_string(m - WM_USER);
  return std::to_string(m);
}

struct KindName {
  const char* name;
  ModuleSpec::Kind kind;
};
constexpr KindName kKinds[] = {
    {"statusManager", ModuleSpec::Kind::kStatusManager},       {"component", ModuleSpec::Kind::kComponent},
    {"componentProgram", ModuleSpec::Kind::kComponentProgram}, {"program", ModuleSpec::Kind::kProgram},
    {"directoryService", ModuleSpec::Kind::kDirectoryService}, {"library", ModuleSpec::Kind::kLibrary},
};

struct ServerName {
  const char* name;
  WebServer::Kind kind;
};
constexpr ServerName kServers[] = {
    {"none", WebServer::Kind::kNone}, {"iis", WebServer::Kind::kIis}, {"unreachable", WebServer::Kind::kUnreachable}};

class LineParser {
 public:
  LineParser(OutsideIni& ini, std::string& message) : ini_(ini), message_(message) {}

  bool Fail(const std::string& m) {
    message_ = m;
    return false;
  }

  bool Text(std::string_view utf8, std::string& out) {
    if (!Utf8ToCp932(utf8, out)) return Fail("'" + std::string(utf8) + "' has no Shift-JIS form");
    return true;
  }

  // CLASS|TITLE=PROGRAM[,option...]
  bool Window(std::string_view key, std::string_view value, int line) {
    std::size_t bar = key.find('|');
    if (bar == std::string_view::npos) return Fail("a window is CLASS|TITLE=PROGRAM[,behaviour...]");
    OutsideIni::WindowLine w;
    w.line = line;
    if (!Text(Trim(key.substr(0, bar)), w.window.className) || !Text(Trim(key.substr(bar + 1)), w.window.title))
      return false;
    if (w.window.className.empty()) return Fail("a window needs a class");
    std::vector<std::string> parts = SplitCommas(value, std::string_view::npos);
    if (!Text(parts[0], w.window.program)) return false;
    WindowBehaviour& b = w.window.behaviour;
    bool closeGiven = false;
    for (std::size_t i = 1; i < parts.size(); ++i) {
      const std::string& o = parts[i];
      std::size_t eq = o.find('=');
      std::string name = o.substr(0, eq);
      std::string arg = eq == std::string::npos ? "" : std::string(Trim(std::string_view(o).substr(eq + 1)));
      auto closing = [&](WindowBehaviour::Close c) {
        if (closeGiven) return Fail("closes, closesAfter and neverCloses exclude each other");
        closeGiven = true;
        b.close = c;
        return true;
      };
      unsigned long long v;
      if (o == "closes") {
        if (!closing(WindowBehaviour::Close::kAtOnce)) return false;
      } else if (o == "neverCloses") {
        if (!closing(WindowBehaviour::Close::kNever)) return false;
      } else if (name == "closesAfter" && eq != std::string::npos) {
        if (!Number(arg, 86400000, v)) return Fail("closesAfter needs milliseconds, not '" + arg + "'");
        if (!closing(WindowBehaviour::Close::kAfter)) return false;
        b.closeAfterMs = static_cast<DWORD>(v);
      } else if (o == "hangs") {
        b.hangs = true;
      } else if (name == "on" && eq != std::string::npos) {
        std::size_t colon = arg.find(':');
        UINT msg = 0;
        if (!ParseMessage(arg.substr(0, colon), msg)) return Fail("unknown message '" + arg + "'");
        b.onMessage = msg;
        if (colon != std::string::npos) {
          if (!Number(arg.substr(colon + 1), 0xFFFFFFFFull, v)) return Fail("bad wParam in '" + arg + "'");
          b.onWParam = static_cast<WPARAM>(v);
        }
      } else if ((name == "stopsService" || name == "setsEvent" || name == "waitsEvent") && eq != std::string::npos) {
        std::string& field = name == "stopsService" ? b.stopsService : name == "setsEvent" ? b.setsEvent : b.waitsEvent;
        if (!Text(arg, field)) return false;
        if (field.empty()) return Fail(name + " needs a name");
      } else {
        return Fail("unknown window behaviour '" + o + "'");
      }
    }
    ini_.windows.push_back(std::move(w));
    return true;
  }

  // NAME=PROGRAM[,signaled][,endsProgram]
  bool Event(std::string_view key, std::string_view value, int line) {
    OutsideIni::EventLine e;
    e.line = line;
    if (!Text(key, e.event.name)) return false;
    for (const auto& other : ini_.events)
      if (other.event.name == e.event.name) return Fail("event " + std::string(key) + " appears twice");
    std::vector<std::string> parts = SplitCommas(value, std::string_view::npos);
    if (!Text(parts[0], e.event.program)) return false;
    for (std::size_t i = 1; i < parts.size(); ++i) {
      if (parts[i] == "signaled") e.event.signaled = true;
      else if (parts[i] == "endsProgram") e.event.endsProgram = true;
      else return Fail("unknown event option '" + parts[i] + "'");
    }
    ini_.events.push_back(std::move(e));
    return true;
  }

  // C:\path=kind[,option...]
  bool Module(std::string_view key, std::string_view value, int line) {
    OutsideIni::ModuleLine m;
    m.line = line;
    if (!Text(key, m.module.path)) return false;
    const std::string& p = m.module.path;
    if (p.size() < 4 || p[1] != ':' || p[2] != '\\') return Fail("'" + std::string(key) + "' is not a full path");
    for (const auto& other : ini_.modules)
      if (cp932::EqualNoCase(other.module.path, p)) return Fail(std::string(key) + " appears twice");
    std::vector<std::string> parts = SplitCommas(value, std::string_view::npos);
    bool known = false;
    for (const KindName& k : kKinds)
      if (parts[0] == k.name) m.module.kind = k.kind, known = true;
    if (!known) return Fail("unknown module kind '" + parts[0] + "'");
    for (std::size_t i = 1; i < parts.size(); ++i) {
      const std::string& o = parts[i];
      std::size_t eq = o.find('=');
      std::string name = o.substr(0, eq);
      std::string arg = eq == std::string::npos ? "" : std::string(Trim(std::string_view(o).substr(eq + 1)));
      if (name == "loadFails" && eq != std::string::npos) {
        if (!ParseError(arg, m.module.loadError)) return Fail("loadFails needs an error, not '" + arg + "'");
      } else if (name == "refuses" && eq != std::string::npos && m.module.kind == ModuleSpec::Kind::kStatusManager) {
        std::string printer;
        if (!Text(arg, printer) || printer.empty()) return printer.empty() ? Fail("refuses needs a printer name") : false;
        m.module.refusedPrinters.push_back(printer);
      } else if (name == "unregisterFails" && eq != std::string::npos && m.module.kind == ModuleSpec::Kind::kComponent) {
        if (!ParseHResult(arg, m.module.unregisterResult)) return Fail("unregisterFails needs a failure HRESULT, not '" + arg + "'");
      } else {
        return Fail("unknown option '" + o + "' for this kind of module");
      }
    }
    ini_.modules.push_back(std::move(m));
    return true;
  }

  bool Web(std::string_view key, std::string_view value, int line) {
    WebServer& w = ini_.web;
    if (!ini_.hasWebServer) ini_.webLine = line;
    ini_.hasWebServer = true;
    std::string v(value);
    if (key == "Server") {
      for (const ServerName& s : kServers)
        if (v == s.name) return w.kind = s.kind, true;
      return Fail("Server is none, iis or unreachable, not '" + v + "'");
    }
    if (key == "Key" || key == "Application") {
      std::string path;
      if (!Text(value, path)) return false;
      if (path.empty() || path[0] != '/') return Fail("a metabase path begins with '/', as /LM/W3SVC/1/ROOT/WebQX");
      (key == "Key" ? w.keys : w.applications).push_back(path);
      return true;
    }
    if (key == "RefuseDeleteKey" || key == "RefuseAppDelete") {
      if (!ParseHResult(v, key == "RefuseDeleteKey" ? w.refuseDeleteKey : w.refuseAppDelete))
        return Fail(std::string(key) + " needs a failure HRESULT (0x8....... or E_FAIL, E_ACCESSDENIED), not '" + v + "'");
      return true;
    }
    if (key == "DirectoryService") {
      if (v == "answers") w.directoryService = true;
      else if (v == "absent") w.directoryService = false;
      else return Fail("DirectoryService is answers or absent, not '" + v + "'");
      return true;
    }
    return Fail("unknown key " + std::string(key) + " in [WebAdmin]");
  }

 private:
  OutsideIni& ini_;
  std::string& message_;
};

bool Utf8Of(std::string_view cp932Text, std::string& out, std::string& error) {
  if (Cp932ToUtf8(cp932Text, out)) return true;
  error = std::string(kFile) + ": " + Cp932ToUtf8Lossy(cp932Text) + " cannot be written as UTF-8 text";
  return false;
}

}  // namespace

bool IsOutsideSection(std::string_view name) {
  for (const char* n : {"Windows", "Events", "Modules", "WebAdmin"})
    if (cp932::EqualNoCase(name, n)) return true;
  return false;
}

bool ParseOutsideLine(std::string_view section, std::string_view key, std::string_view value, int line,
                      OutsideIni& ini, std::string& message) {
  LineParser p(ini, message);
  if (cp932::EqualNoCase(section, "Windows")) return p.Window(key, value, line);
  if (cp932::EqualNoCase(section, "Events")) return p.Event(key, value, line);
  if (cp932::EqualNoCase(section, "Modules")) return p.Module(key, value, line);
  return p.Web(key, value, line);
}

bool ApplyOutside(const OutsideIni& ini, SimMachine& m, std::string& error) {
  for (const auto& l : ini.modules) {
    auto f = m.File(l.module.path);
    if (!f || f->directory) {
      error = Where(kFile, l.line) + "no such file " + Cp932ToUtf8Lossy(l.module.path);
      return false;
    }
    ModuleSpec spec = l.module;
    spec.path = f->path;
    m.AddModule(spec);
  }
  for (const auto& e : ini.events) m.AddHeldEvent(e.event);
  // Topmost first in the file; each window added goes on top.
  for (auto it = ini.windows.rbegin(); it != ini.windows.rend(); ++it) m.AddProgramWindow(it->window);
  if (ini.hasWebServer) m.SetWebServer(ini.web);
  return true;
}

bool WriteOutside(const SimMachine& m, std::string& out, std::string& error) {
  std::string a, b, c;
  out += "\n[Windows]\n";
  for (const ProgramWindow& w : m.ProgramWindows()) {
    if (!Utf8Of(w.className, a, error) || !Utf8Of(w.title, b, error) || !Utf8Of(w.program, c, error)) return false;
    if (a.find_first_of("|=") != std::string::npos || b.find('=') != std::string::npos ||
        c.find(',') != std::string::npos) {
      error = std::string(kFile) + ": window " + a + "|" + b + " of " + c + " cannot be written as a line";
      return false;
    }
    out += a + "|" + b + "=" + c;
    const WindowBehaviour& x = w.behaviour;
    switch (x.close) {
      case WindowBehaviour::Close::kAtOnce: out += ",closes"; break;
      case WindowBehaviour::Close::kAfter: out += ",closesAfter=" + std::to_string(x.closeAfterMs); break;
      case WindowBehaviour::Close::kNever: out += ",neverCloses"; break;
    }
    if (x.hangs) out += ",hangs";
    if (x.onMessage) {
      out += ",on=" + MessageName(*x.onMessage);
      if (x.onWParam) out += ":" + std::to_string(*x.onWParam);
    }
    const std::pair<const char*, const std::string*> names[] = {
        {"stopsService", &x.stopsService}, {"setsEvent", &x.setsEvent}, {"waitsEvent", &x.waitsEvent}};
    for (const auto& [name, field] : names) {
      if (field->empty()) continue;
      if (!Utf8Of(*field, a, error)) return false;
      out += std::string(",") + name + "=" + a;
    }
    out += "\n";
  }
  out += "\n[Events]\n";
  for (const HeldEvent& e : m.HeldEvents()) {
    if (!Utf8Of(e.name, a, error) || !Utf8Of(e.program, b, error)) return false;
    out += a + "=" + b + (e.signaled ? ",signaled" : "") + (e.endsProgram ? ",endsProgram" : "") + "\n";
  }
  out += "\n[Modules]\n";
  for (const ModuleSpec& s : m.Modules()) {
    if (!m.HasFile(s.path)) continue;
    if (!Utf8Of(s.path, a, error)) return false;
    out += a + "=";
    for (const KindName& k : kKinds)
      if (k.kind == s.kind) out += k.name;
    if (s.loadError) out += ",loadFails=" + ErrorName(s.loadError);
    for (const std::string& p : s.refusedPrinters) {
      if (!Utf8Of(p, b, error)) return false;
      out += ",refuses=" + b;
    }
    if (s.unregisterResult < 0) out += ",unregisterFails=" + HResultName(s.unregisterResult);
    out += "\n";
  }
  out += "\n[WebAdmin]\n";
  WebServer w = m.GetWebServer();
  for (const ServerName& s : kServers)
    if (s.kind == w.kind) out += std::string("Server=") + s.name + "\n";
  for (const auto& [name, list] : {std::pair{"Key=", &w.keys}, std::pair{"Application=", &w.applications}}) {
    for (const std::string& k : *list) {
      if (!Utf8Of(k, a, error)) return false;
      out += name + a + "\n";
    }
  }
  if (w.refuseDeleteKey) out += "RefuseDeleteKey=" + HResultName(w.refuseDeleteKey) + "\n";
  if (w.refuseAppDelete) out += "RefuseAppDelete=" + HResultName(w.refuseAppDelete) + "\n";
  if (!w.directoryService) out += "DirectoryService=absent\n";
  return true;
}

}  // namespace qx::sim::image
