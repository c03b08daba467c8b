// The print spooler, answering from the registry data that Windows' spooler keeps (the
// layout is described in sim_spooler.h), and refusing what Windows refuses with Windows'
// error codes.
#include "platform/sim/sim_spooler.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "platform/sim/sim_state.h"

namespace qx::sim {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr char kPrinters[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
constexpr char kPrinters2[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers";
constexpr char kMonitors[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";
constexpr char kEnvironments[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments";
constexpr char kLocalPorts[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
constexpr char kShares[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Shares";
constexpr char kConnections[] = "HKEY_CURRENT_USER\\Printers\\Connections";
constexpr char kUserLists[] = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion";
const char* const kLanManCaches[] = {
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Providers\\LanMan Print Services\\Servers",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\LanMan Print "
    "Services\\Servers"};
constexpr char kLocalMonitor[] = "Local Port";
constexpr char kNtEnvironment[] = "Windows NT x86";
constexpr char k9xEnvironment[] = "Windows 4.0";
constexpr DWORD kDelete = 0x00010000;  // DELETE, part of PRINTER_ALL_ACCESS
constexpr DWORD kPrinterStatusPaused = 0x00000001;

// ---------------------------------------------------------------- registry data

const RegValue* FindValue(const RegKey& k, std::string_view name) {
  for (const auto& v : k.values)
    if (cp932::EqualNoCase(v.name, name)) return &v;
  return nullptr;
}

// A text value up to its first zero; "" when missing or not text.
std::string Text(const RegKey& k, std::string_view name) {
  const RegValue* v = FindValue(k, name);
  if (!v || (v->type != REG_SZ && v->type != REG_EXPAND_SZ)) return "";
  return v->data.substr(0, v->data.find('\0'));
}

DWORD Dword(const RegKey& k, std::string_view name) {
  const RegValue* v = FindValue(k, name);
  if (!v || v->data.size() < 4) return 0;
  DWORD x = 0;
  for (int i = 0; i < 4; ++i) x |= static_cast<DWORD>(static_cast<unsigned char>(v->data[i])) << (8 * i);
  return x;
}

std::vector<BYTE> Bytes(const RegKey& k, std::string_view name) {
  const RegValue* v = FindValue(k, name);
  if (!v) return {};
  return std::vector<BYTE>(v->data.begin(), v->data.end());
}

void Put(RegKey& k, std::string_view name, DWORD type, std::string data) {
  for (auto& v : k.values)
    if (cp932::EqualNoCase(v.name, name)) {
      v.type = type;
      v.data = std::move(data);
      return;
    }
  k.values.push_back(RegValue{std::string(name), type, std::move(data)});
}

void PutText(RegKey& k, std::string_view name, std::string_view text) {
  Put(k, name, REG_SZ, std::string(text) + '\0');
}

void PutDword(RegKey& k, std::string_view name, DWORD x) {
  std::string d(4, '\0');
  for (int i = 0; i < 4; ++i) d[i] = static_cast<char>((x >> (8 * i)) & 0xFF);
  Put(k, name, REG_DWORD, d);
}

bool RemoveValue(RegKey& k, std::string_view name) {
  auto it = std::find_if(k.values.begin(), k.values.end(),
                         [&](const RegValue& v) { return cp932::EqualNoCase(v.name, name); });
  if (it == k.values.end()) return false;
  k.values.erase(it);
  return true;
}

std::shared_ptr<RegKey> Child(const std::shared_ptr<RegKey>& k, std::string_view name) {
  if (!k) return nullptr;
  auto it = k->subkeys.find(cp932::Fold(name));
  return it == k->subkeys.end() ? nullptr : it->second;
}

std::vector<std::string> SplitList(std::string_view text, char separator) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = start;
    while (end < text.size() && text[end] != separator) end += cp932::CharLength(text, end);
    out.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// ---------------------------------------------------------------- the spooler

class SpoolerCore final : public Spooler {
 public:
  explicit SpoolerCore(SimMachine::State& s) : s_(s), d_(s.spoolerData) {}

  BOOL EnumPrintersA(DWORD flags, const char* name, std::vector<PRINTER_INFO_2A>& printers) override;
  BOOL OpenPrinterA(const char* printerName, HANDLE* printer, const PRINTER_DEFAULTSA* defaults) override;
  BOOL SetPrinterA(HANDLE printer, DWORD level, const PRINTER_INFO_2A* info, DWORD command) override;
  BOOL ClosePrinter(HANDLE printer) override;
  BOOL DeletePrinter(HANDLE printer) override;
  BOOL DeletePrinterConnectionA(const char* name) override;
  BOOL EnumPrinterDriversA(const char* server, const char* environment, std::vector<DRIVER_INFO_2A>& drivers) override;
  BOOL DeletePrinterDriverA(const char* server, const char* environment, const char* driverName) override;
  BOOL EnumMonitorsA(const char* server, std::vector<MONITOR_INFO_1A>& monitors) override;
  BOOL DeleteMonitorA(const char* server, const char* environment, const char* monitorName) override;
  BOOL EnumPortsA(const char* server, std::vector<PORT_INFO_2A>& ports) override;
  BOOL DeletePortA(const char* server, HWND window, const char* portName) override;
  BOOL EnumPrintProcessorsA(const char* server, const char* environment,
                            std::vector<PRINTPROCESSOR_INFO_1A>& processors) override;
  BOOL DeletePrintProcessorA(const char* server, const char* environment, const char* processorName) override;

  // The printer a handle stands for, for fault matching ("" when unknown).
  std::string HandleObject(HANDLE h) {
    Lock lock(s_.mu);
    auto it = d_.handles.find(reinterpret_cast<std::uintptr_t>(h));
    return it == d_.handles.end() ? "" : it->second.printer;
  }

 private:
  struct Port {
    std::string name;
    std::string monitor;
    std::string description;
    std::shared_ptr<RegKey> key;  // the port's own key; null for a local port
  };
  struct Driver {
    std::shared_ptr<RegKey> key;
    DWORD version = 0;
    std::string directory;  // the environment's driver directory, with a trailing backslash
  };

  bool Nt() const { return s_.settings.platformId == VER_PLATFORM_WIN32_NT; }
  std::string OwnEnvironment() const { return Nt() ? kNtEnvironment : k9xEnvironment; }

  BOOL Fail(DWORD error) {
    s_.SetError(error);
    return FALSE;
  }

  // On the NT family the spooler is a service; the client library cannot reach it while the
  // service is not running.
  bool Reachable() const {
    if (!Nt()) return true;
    auto it = s_.services.find(cp932::Fold("Spooler"));
    return it != s_.services.end() && it->second.state == SERVICE_RUNNING;
  }

  // Only the local machine is simulated: a server name must name it.
  bool LocalServer(const char* server) const { return !server || !*server; }

  // ERROR_SUCCESS with the environment to use, or ERROR_INVALID_ENVIRONMENT.
  DWORD Environment(const char* environment, std::string& out) const {
    out = environment && *environment ? environment : OwnEnvironment();
    static const char* const nt[] = {kNtEnvironment, k9xEnvironment, "Windows NT R4000", "Windows NT Alpha_AXP",
                                     "Windows NT PowerPC"};
    if (!Nt()) {
      if (!cp932::EqualNoCase(out, k9xEnvironment)) return ERROR_INVALID_ENVIRONMENT;
      out = k9xEnvironment;
      return ERROR_SUCCESS;
    }
    for (const char* e : nt)
      if (cp932::EqualNoCase(out, e)) {
        out = e;
        return ERROR_SUCCESS;
      }
    return ERROR_INVALID_ENVIRONMENT;
  }

  // The checks a call naming a server makes, in the spooler's order: ERROR_SUCCESS or the
  // error the call fails with.
  DWORD ServerChecks(const char* server) const {
    if (!Reachable()) return RPC_S_SERVER_UNAVAILABLE;
    if (!LocalServer(server)) return ERROR_INVALID_NAME;
    return ERROR_SUCCESS;
  }

  // The same for a call that also names an environment; env is the environment to use.
  DWORD EnvironmentChecks(const char* server, const char* environment, std::string& env) const {
    if (DWORD e = ServerChecks(server); e != ERROR_SUCCESS) return e;
    return Environment(environment, env);
  }

  // ---- printers
  std::vector<std::shared_ptr<RegKey>> LocalPrinters() {
    std::vector<std::shared_ptr<RegKey>> out;
    if (auto all = s_.FindKeyPath(kPrinters))
      for (const auto& [_, k] : all->subkeys) out.push_back(k);
    return out;
  }
  std::shared_ptr<RegKey> LocalPrinter(std::string_view name) {
    for (const auto& k : LocalPrinters())
      if (cp932::EqualNoCase(PrinterName(*k), name)) return k;
    return nullptr;
  }
  static std::string PrinterName(const RegKey& k) {
    std::string n = Text(k, "Name");
    return n.empty() ? k.name : n;
  }
  std::vector<std::string> PortsOf(const RegKey& printer) {
    std::vector<std::string> out;
    for (auto& p : SplitList(Text(printer, "Port"), ','))
      if (!p.empty()) out.push_back(p);
    return out;
  }
  PRINTER_INFO_2A Info(const RegKey& k) {
    PRINTER_INFO_2A p;
    p.pPrinterName = PrinterName(k);
    p.pShareName = Text(k, "Share Name");
    p.pPortName = Text(k, "Port");
    p.pDriverName = Text(k, "Printer Driver");
    p.pComment = Text(k, "Description");
    p.pLocation = Text(k, "Location");
    p.pDevMode = Bytes(k, "Default DevMode");
    p.pSepFile = Text(k, "Separator File");
    p.pPrintProcessor = Text(k, "Print Processor");
    p.pDatatype = Text(k, "Datatype");
    p.pParameters = Text(k, "Parameters");
    p.pSecurityDescriptor = Bytes(k, "Security");
    p.Attributes = Dword(k, "Attributes");
    p.Priority = Dword(k, "Priority");
    p.DefaultPriority = Dword(k, "Default Priority");
    p.StartTime = Dword(k, "StartTime");
    p.UntilTime = Dword(k, "UntilTime");
    p.Status = Dword(k, "Status");
    return p;
  }

  // ---- connections (NT family)
  struct Connection {
    std::shared_ptr<RegKey> key;  // under HKCU\Printers\Connections
    std::string server;           // "\\SRV01"
    std::string printer;          // "LaserA"
    std::string display;          // "\\SRV01\LaserA"
  };
  std::vector<Connection> Connections() {
    std::vector<Connection> out;
    if (!Nt()) return out;
    auto all = s_.FindKeyPath(kConnections);
    if (!all) return out;
    for (const auto& [_, k] : all->subkeys) {
      if (k->name.size() < 3 || k->name.compare(0, 2, ",,") != 0) continue;
      std::string rest = k->name.substr(2);
      std::size_t comma = cp932::Find(rest, ',');
      if (comma == std::string::npos) continue;
      Connection c{k, "\\\\" + rest.substr(0, comma), rest.substr(comma + 1), ""};
      c.display = c.server + "\\" + c.printer;
      out.push_back(c);
    }
    return out;
  }
  std::shared_ptr<RegKey> Cache(const Connection& c) {
    for (const char* base : kLanManCaches)
      if (auto k = s_.FindKeyPath(std::string(base) + "\\" + c.server.substr(2) + "\\Printers\\" + c.printer))
        return k;
    return nullptr;
  }
  PRINTER_INFO_2A Info(const Connection& c) {
    PRINTER_INFO_2A p;
    if (auto cache = Cache(c)) p = Info(*cache);
    p.pServerName = c.server;
    p.pPrinterName = c.display;
    p.Attributes |= PRINTER_ATTRIBUTE_NETWORK;
    return p;
  }

  // ---- the current user's printer lists (win.ini's devices and PrinterPorts)
  void ForUserLists(const std::function<void(const std::string& section, RegKey* key)>& each) {
    for (const char* section : {"Devices", "PrinterPorts"}) {
      if (Nt()) {
        if (auto k = s_.FindKeyPath(std::string(kUserLists) + "\\" + section)) each(section, k.get());
      } else {
        each(section, nullptr);
      }
    }
  }
  void RemoveFromUserLists(std::string_view printer) {
    ForUserLists([&](const std::string& section, RegKey* k) {
      if (k)
        RemoveValue(*k, printer);
      else
        s_.profileCore.WritePrivateProfileStringA(section.c_str(), std::string(printer).c_str(), nullptr, "win.ini");
    });
  }
  // "winspool,LPT1:" and "winspool,LPT1:,15,45" (Windows 95/98: "DRIVER,LPT1:..."): the second
  // field is the port, the first of a printer's ports.
  void MoveInUserLists(std::string_view printer, std::string_view ports) {
    const std::string port = SplitList(ports, ',')[0];
    auto moved = [&](const std::string& entry) {
      auto fields = SplitList(entry, ',');
      if (fields.size() < 2) return entry;
      fields[1] = port;
      std::string out;
      for (std::size_t i = 0; i < fields.size(); ++i) out += (i ? "," : "") + fields[i];
      return out;
    };
    ForUserLists([&](const std::string& section, RegKey* k) {
      if (k) {
        if (const RegValue* v = FindValue(*k, printer)) PutText(*k, v->name, moved(Text(*k, v->name)));
        return;
      }
      char buffer[MAX_PATH];
      std::string name(printer);
      s_.profileCore.GetPrivateProfileStringA(section.c_str(), name.c_str(), "\x01", buffer, sizeof buffer, "win.ini");
      if (std::string(buffer) != "\x01")
        s_.profileCore.WritePrivateProfileStringA(section.c_str(), name.c_str(), moved(buffer).c_str(), "win.ini");
    });
  }

  // ---- ports
  std::vector<Port> Ports() {
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
  bool PortExists(std::string_view name) {
    for (const auto& p : Ports())
      if (cp932::EqualNoCase(p.name, name)) return true;
    return false;
  }
  bool PortInUse(std::string_view name) {
    for (const auto& k : LocalPrinters())
      for (const auto& p : PortsOf(*k))
        if (cp932::EqualNoCase(p, name)) return true;
    return false;
  }

  // ---- drivers
  std::string DriverDirectory(const std::string& environment, DWORD version) {
    std::string sys = s_.settings.systemDirectory;
    if (!sys.empty() && sys.back() != '\\') sys += '\\';
    if (!Nt()) return sys;
    std::string dir;
    if (auto env = s_.FindKeyPath(std::string(kEnvironments) + "\\" + environment)) dir = Text(*env, "Directory");
    if (dir.empty()) dir = environment == k9xEnvironment ? "WIN40" : "W32X86";
    return sys + "spool\\drivers\\" + dir + "\\" + std::to_string(version) + "\\";
  }
  std::vector<Driver> Drivers(const std::string& environment) {
    std::vector<Driver> out;
    auto all = s_.FindKeyPath(std::string(kEnvironments) + "\\" + environment + "\\Drivers");
    if (!all) return out;
    for (const auto& [_, k] : all->subkeys) {
      bool versioned = k->name.size() > 8 && cp932::EqualNoCase(k->name.substr(0, 8), "Version-");
      if (versioned && Nt()) {
        DWORD version = static_cast<DWORD>(std::strtoul(k->name.c_str() + 8, nullptr, 10));
        for (const auto& [__, dk] : k->subkeys) out.push_back({dk, version, DriverDirectory(environment, version)});
      } else if (!versioned && !Nt()) {
        out.push_back({k, 0, DriverDirectory(environment, 0)});
      }
    }
    return out;
  }
  std::string DriverFile(const Driver& d, std::string_view value) {
    std::string file = Text(*d.key, value);
    if (file.empty() || cp932::Find(file, '\\') != std::string::npos) return file;
    return d.directory + file;
  }
  bool FilesHeldOpen(const Driver& d) {
    std::vector<std::string> files;
    for (const char* v : {"Driver", "Data File", "Configuration File", "Help File"}) files.push_back(Text(*d.key, v));
    if (const RegValue* dep = FindValue(*d.key, "Dependent Files"))
      for (auto& f : SplitList(dep->data, '\0')) files.push_back(f);
    for (const auto& f : files) {
      if (f.empty()) continue;
      std::string path = cp932::Find(f, '\\') == std::string::npos ? d.directory + f : f;
      ParsedPath p;
      std::shared_ptr<FileNode> node;
      if (s_.ParseAndLookup(path.c_str(), p, node) == ERROR_SUCCESS && !node->directory && s_.HeldOpen(*node))
        return true;
    }
    return false;
  }

  void Journal(std::string line) { d_.journal.push_back(std::move(line)); }

  SimMachine::State& s_;
  SpoolerData& d_;
};

BOOL SpoolerCore::EnumPrintersA(DWORD flags, const char* name, std::vector<PRINTER_INFO_2A>& printers) {
  Lock lock(s_.mu);
  printers.clear();
  if (!Reachable()) return Fail(RPC_S_SERVER_UNAVAILABLE);
  // A name other than this machine's would be another print server or a domain.
  if ((flags & PRINTER_ENUM_NAME) && name && *name) return Fail(ERROR_INVALID_NAME);
  if (flags & PRINTER_ENUM_DEFAULT) {
    // Windows 95/98 only: the default printer of win.ini.
    if (Nt()) return Fail(ERROR_INVALID_PARAMETER);
    char device[MAX_PATH];
    s_.profileCore.GetPrivateProfileStringA("windows", "device", "", device, sizeof device, "win.ini");
    std::string current = SplitList(device, ',')[0];
    if (auto k = LocalPrinter(current); k && !current.empty()) printers.push_back(Info(*k));
    return TRUE;
  }
  if (flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_NAME)) {
    for (const auto& k : LocalPrinters()) {
      PRINTER_INFO_2A p = Info(*k);
      if ((flags & PRINTER_ENUM_SHARED) && !(p.Attributes & PRINTER_ATTRIBUTE_SHARED)) continue;
      printers.push_back(std::move(p));
    }
  }
  if (flags & PRINTER_ENUM_CONNECTIONS)
    for (const auto& c : Connections()) printers.push_back(Info(c));
  return TRUE;
}

BOOL SpoolerCore::OpenPrinterA(const char* printerName, HANDLE* printer, const PRINTER_DEFAULTSA* defaults) {
  Lock lock(s_.mu);
  if (!printer) return Fail(ERROR_INVALID_PARAMETER);
  *printer = nullptr;
  if (!Reachable()) return Fail(RPC_S_SERVER_UNAVAILABLE);
  if (defaults && defaults->pDatatype) {
    static const char* const known[] = {"RAW", "RAW [FF appended]", "RAW [FF auto]", "TEXT", "EMF",
                                        "NT EMF 1.003", "NT EMF 1.006", "NT EMF 1.007", "NT EMF 1.008"};
    if (std::none_of(std::begin(known), std::end(known),
                     [&](const char* k) { return cp932::EqualNoCase(k, defaults->pDatatype); }))
      return Fail(ERROR_INVALID_DATATYPE);
  }
  PrinterHandle h;
  h.access = defaults && defaults->DesiredAccess ? defaults->DesiredAccess : PRINTER_ACCESS_USE;
  if (!printerName || !*printerName) {
    h.server = true;
  } else if (auto k = LocalPrinter(printerName)) {
    h.printer = k->name;
  } else {
    bool found = false;
    for (const auto& c : Connections())
      if (cp932::EqualNoCase(c.display, printerName)) {
        h.printer = c.display;
        h.connection = found = true;
        break;
      }
    if (!found) return Fail(ERROR_INVALID_PRINTER_NAME);
  }
  if (Nt() && !h.server) {
    auto denied = d_.deniedAccess.find(cp932::Fold(h.connection ? h.printer : PrinterName(*LocalPrinter(printerName))));
    if (denied != d_.deniedAccess.end() && (h.access & denied->second.second)) return Fail(ERROR_ACCESS_DENIED);
  }
  std::uintptr_t id = d_.nextHandle;
  d_.nextHandle += 4;
  d_.handles[id] = h;
  *printer = reinterpret_cast<HANDLE>(id);
  return TRUE;
}

BOOL SpoolerCore::SetPrinterA(HANDLE printer, DWORD level, const PRINTER_INFO_2A* info, DWORD command) {
  Lock lock(s_.mu);
  if (!Reachable()) return Fail(RPC_S_SERVER_UNAVAILABLE);
  auto it = d_.handles.find(reinterpret_cast<std::uintptr_t>(printer));
  if (it == d_.handles.end() || it->second.server) return Fail(ERROR_INVALID_HANDLE);
  const PrinterHandle& h = it->second;
  // A connection's printer lives on its server, which does not take orders from here.
  if (h.connection) return Fail(ERROR_ACCESS_DENIED);
  if (Nt() && !(h.access & PRINTER_ACCESS_ADMINISTER)) return Fail(ERROR_ACCESS_DENIED);
  auto k = Child(s_.FindKeyPath(kPrinters), h.printer);
  if (!k) return Fail(ERROR_PRINTER_DELETED);
  const std::string name = PrinterName(*k);
  if (level == 0) {
    if (info) return Fail(ERROR_INVALID_PARAMETER);
    DWORD status = Dword(*k, "Status");
    switch (command) {
      case 1: status |= kPrinterStatusPaused; break;   // PRINTER_CONTROL_PAUSE
      case 2: status &= ~kPrinterStatusPaused; break;  // PRINTER_CONTROL_RESUME
      case 3: break;                                   // PRINTER_CONTROL_PURGE: no jobs are kept here
      default: return Fail(ERROR_INVALID_PRINTER_COMMAND);
    }
    PutDword(*k, "Status", status);
    Journal("SetPrinterA " + Quoted(name) + " command " + std::to_string(command));
    return TRUE;
  }
  if (level != 2) return Fail(ERROR_INVALID_LEVEL);
  if (!info) return Fail(ERROR_INVALID_PARAMETER);
  if (command > 3) return Fail(ERROR_INVALID_PRINTER_COMMAND);
  // Renaming is not offered by this machine's spooler; the printer keeps its name.
  if (!info->pPrinterName.empty() && !cp932::EqualNoCase(info->pPrinterName, name))
    return Fail(ERROR_INVALID_PRINTER_NAME);
  // What the record changes must exist; what it keeps is not looked at again.
  if (!cp932::EqualNoCase(info->pPortName, Text(*k, "Port")))
    for (const auto& p : SplitList(info->pPortName, ','))
      if (p.empty() || !PortExists(p)) return Fail(ERROR_UNKNOWN_PORT);
  if (!cp932::EqualNoCase(info->pDriverName, Text(*k, "Printer Driver"))) {
    bool known = false;
    for (const auto& d : Drivers(OwnEnvironment()))
      if (cp932::EqualNoCase(d.key->name, info->pDriverName)) known = true;
    if (!known) return Fail(ERROR_UNKNOWN_PRINTER_DRIVER);
  }
  if (!cp932::EqualNoCase(info->pPrintProcessor, Text(*k, "Print Processor")) &&
      !Child(s_.FindKeyPath(std::string(kEnvironments) + "\\" + OwnEnvironment() + "\\Print Processors"),
             info->pPrintProcessor))
    return Fail(ERROR_UNKNOWN_PRINTPROCESSOR);

  std::string changes;
  // Only what changes is written: a value the record leaves as it was stays as the machine has it.
  auto text = [&](const char* value, const std::string& to) {
    std::string from = Text(*k, value);
    if (from == to) return;
    changes += std::string(changes.empty() ? "" : ",") + " " + value + " " + Quoted(from) + " -> " + Quoted(to);
    PutText(*k, value, to);
  };
  auto number = [&](const char* value, DWORD to) {
    DWORD from = Dword(*k, value);
    if (from == to) return;
    changes += std::string(changes.empty() ? "" : ",") + " " + value + " " + std::to_string(from) + " -> " +
               std::to_string(to);
    PutDword(*k, value, to);
  };
  const std::string oldPort = Text(*k, "Port");
  text("Share Name", info->pShareName);
  text("Port", info->pPortName);
  text("Printer Driver", info->pDriverName);
  text("Description", info->pComment);
  text("Location", info->pLocation);
  text("Separator File", info->pSepFile);
  text("Print Processor", info->pPrintProcessor);
  text("Datatype", info->pDatatype);
  text("Parameters", info->pParameters);
  number("Attributes", info->Attributes);
  number("Priority", info->Priority);
  number("Default Priority", info->DefaultPriority);
  number("StartTime", info->StartTime);
  number("UntilTime", info->UntilTime);
  if (!info->pDevMode.empty())
    Put(*k, "Default DevMode", REG_BINARY, std::string(info->pDevMode.begin(), info->pDevMode.end()));
  if (!cp932::EqualNoCase(oldPort, info->pPortName)) MoveInUserLists(name, info->pPortName);
  if (!changes.empty()) Journal("SetPrinterA " + Quoted(name) + ":" + changes);
  return TRUE;
}

BOOL SpoolerCore::ClosePrinter(HANDLE printer) {
  Lock lock(s_.mu);
  // The handle goes even when the spooler cannot be told.
  if (d_.handles.erase(reinterpret_cast<std::uintptr_t>(printer)) == 0) return Fail(ERROR_INVALID_HANDLE);
  if (!Reachable()) return Fail(RPC_S_SERVER_UNAVAILABLE);
  return TRUE;
}

BOOL SpoolerCore::DeletePrinter(HANDLE printer) {
  Lock lock(s_.mu);
  if (!Reachable()) return Fail(RPC_S_SERVER_UNAVAILABLE);
  auto it = d_.handles.find(reinterpret_cast<std::uintptr_t>(printer));
  if (it == d_.handles.end() || it->second.server) return Fail(ERROR_INVALID_HANDLE);
  const PrinterHandle& h = it->second;
  // Deleting a connection's printer would delete it on its server.
  if (h.connection) return Fail(ERROR_ACCESS_DENIED);
  if (Nt() && !(h.access & kDelete)) return Fail(ERROR_ACCESS_DENIED);
  auto k = Child(s_.FindKeyPath(kPrinters), h.printer);
  if (!k) return Fail(ERROR_PRINTER_DELETED);
  const std::string name = PrinterName(*k);
  const std::string share = Text(*k, "Share Name");
  if (!share.empty()) {
    if (auto shares = s_.FindKeyPath(kShares)) RemoveValue(*shares, share);
    if (auto security = s_.FindKeyPath(std::string(kShares) + "\\Security")) RemoveValue(*security, share);
  }
  s_.DetachKey(k);
  if (Nt())
    if (auto second = Child(s_.FindKeyPath(kPrinters2), h.printer)) s_.DetachKey(second);
  RemoveFromUserLists(name);
  Journal("DeletePrinter " + Quoted(name));
  return TRUE;
}

BOOL SpoolerCore::DeletePrinterConnectionA(const char* name) {
  Lock lock(s_.mu);
  if (!Reachable()) return Fail(RPC_S_SERVER_UNAVAILABLE);
  // Windows 95/98 keeps a network printer as a printer of its own: DeletePrinter removes it.
  if (!Nt()) return Fail(ERROR_NOT_SUPPORTED);
  if (!name) return Fail(ERROR_INVALID_PRINTER_NAME);
  for (const auto& c : Connections()) {
    if (!cp932::EqualNoCase(c.display, name)) continue;
    for (const char* base : kLanManCaches)
      if (auto cache = s_.FindKeyPath(std::string(base) + "\\" + c.server.substr(2) + "\\Printers\\" + c.printer))
        s_.DetachKey(cache);
    s_.DetachKey(c.key);
    RemoveFromUserLists(c.display);
    Journal("DeletePrinterConnectionA " + Quoted(c.display));
    return TRUE;
  }
  return Fail(ERROR_INVALID_PRINTER_NAME);
}

BOOL SpoolerCore::EnumPrinterDriversA(const char* server, const char* environment,
                                      std::vector<DRIVER_INFO_2A>& drivers) {
  Lock lock(s_.mu);
  drivers.clear();
  std::string env;
  if (DWORD e = EnvironmentChecks(server, environment, env); e != ERROR_SUCCESS) return Fail(e);
  for (const auto& d : Drivers(env)) {
    DRIVER_INFO_2A info;
    info.cVersion = d.version;
    info.pName = d.key->name;
    info.pEnvironment = env;
    info.pDriverPath = DriverFile(d, "Driver");
    info.pDataFile = DriverFile(d, "Data File");
    info.pConfigFile = DriverFile(d, "Configuration File");
    drivers.push_back(std::move(info));
  }
  return TRUE;
}

BOOL SpoolerCore::DeletePrinterDriverA(const char* server, const char* environment, const char* driverName) {
  Lock lock(s_.mu);
  std::string env;
  if (DWORD e = EnvironmentChecks(server, environment, env); e != ERROR_SUCCESS) return Fail(e);
  if (!driverName || !*driverName) return Fail(ERROR_INVALID_PARAMETER);
  std::vector<Driver> found;
  for (auto& d : Drivers(env))
    if (cp932::EqualNoCase(d.key->name, driverName)) found.push_back(d);
  if (found.empty()) return Fail(ERROR_UNKNOWN_PRINTER_DRIVER);
  if (env == OwnEnvironment())
    for (const auto& k : LocalPrinters())
      if (cp932::EqualNoCase(Text(*k, "Printer Driver"), driverName)) return Fail(ERROR_PRINTER_DRIVER_IN_USE);
  // Every version of the driver goes from the environment's list; one whose files are loaded
  // stays listed until the spooler lets go of them at the restart.
  bool waits = false;
  for (const auto& d : found) {
    if (FilesHeldOpen(d)) {
      waits = true;
      if (std::find(d_.pendingDrivers.begin(), d_.pendingDrivers.end(), d.key) == d_.pendingDrivers.end())
        d_.pendingDrivers.push_back(d.key);
    } else {
      s_.DetachKey(d.key);
    }
  }
  Journal("DeletePrinterDriverA " + Quoted(env) + " " + Quoted(found.front().key->name) +
          (waits ? " (its files are in use: it goes at the restart)" : ""));
  return TRUE;
}

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

BOOL SpoolerCore::EnumPrintProcessorsA(const char* server, const char* environment,
                                       std::vector<PRINTPROCESSOR_INFO_1A>& processors) {
  Lock lock(s_.mu);
  processors.clear();
  std::string env;
  if (DWORD e = EnvironmentChecks(server, environment, env); e != ERROR_SUCCESS) return Fail(e);
  if (auto all = s_.FindKeyPath(std::string(kEnvironments) + "\\" + env + "\\Print Processors"))
    for (const auto& [_, k] : all->subkeys) processors.push_back({k->name});
  return TRUE;
}

BOOL SpoolerCore::DeletePrintProcessorA(const char* server, const char* environment, const char* processorName) {
  Lock lock(s_.mu);
  std::string env;
  if (DWORD e = EnvironmentChecks(server, environment, env); e != ERROR_SUCCESS) return Fail(e);
  auto k = processorName ? Child(s_.FindKeyPath(std::string(kEnvironments) + "\\" + env + "\\Print Processors"),
                                 processorName)
                         : nullptr;
  if (!k) return Fail(ERROR_UNKNOWN_PRINTPROCESSOR);
  if (env == OwnEnvironment())
    for (const auto& p : LocalPrinters())
      if (cp932::EqualNoCase(Text(*p, "Print Processor"), k->name)) return Fail(ERROR_CAN_NOT_COMPLETE);
  const std::string name = k->name;
  s_.DetachKey(k);
  Journal("DeletePrintProcessorA " + Quoted(env) + " " + Quoted(name));
  return TRUE;
}

// ---------------------------------------------------------------- fault injection

class FaultSpooler final : public Spooler {
 public:
  FaultSpooler(SimMachine::State& s, std::unique_ptr<SpoolerCore> core) : s_(s), core_(std::move(core)) {}

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
  std::unique_ptr<SpoolerCore> core_;
};

}  // namespace

std::unique_ptr<Spooler> MakeSpooler(SimMachine::State& s) {
  return std::make_unique<FaultSpooler>(s, std::make_unique<SpoolerCore>(s));
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
                     (b.hasText ? Quoted(b.text) : std::to_string(lParam));
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
  auto drivers = state_->FindKeyPath(std::string(kEnvironments) + "\\" + std::string(environment) + "\\Drivers");
  if (!drivers) return false;
  bool found = false;
  auto mark = [&](const std::shared_ptr<RegKey>& k) {
    auto& pending = state_->spoolerData.pendingDrivers;
    if (std::find(pending.begin(), pending.end(), k) == pending.end()) pending.push_back(k);
    found = true;
  };
  for (const auto& [_, k] : drivers->subkeys) {
    if (cp932::EqualNoCase(k->name, driver)) mark(k);
    for (const auto& [__, v] : k->subkeys)
      if (cp932::EqualNoCase(v->name, driver)) mark(v);
  }
  return found;
}

}  // namespace qx::sim
