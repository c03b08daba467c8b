// The spooler's printers and printer connections: enumerating, opening, changing and deleting
// them, and the current user's printer lists that follow them.
#include <algorithm>

#include "platform/sim/sim_spooler_core.h"

namespace qx::sim::spool {

namespace {

constexpr char kPrinters[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
constexpr char kPrinters2[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers";
constexpr char kShares[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Shares";
constexpr char kConnections[] = "HKEY_CURRENT_USER\\Printers\\Connections";
constexpr char kUserLists[] = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion";
const char* const kLanManCaches[] = {
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Providers\\LanMan Print Services\\Servers",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\LanMan Print "
    "Services\\Servers"};
constexpr DWORD kDelete = 0x00010000;  // DELETE, part of PRINTER_ALL_ACCESS
constexpr DWORD kPrinterStatusPaused = 0x00000001;

}  // namespace

// ---------------------------------------------------------------- printers

std::vector<std::shared_ptr<RegKey>> SpoolerCore::LocalPrinters() {
  std::vector<std::shared_ptr<RegKey>> out;
  if (auto all = s_.FindKeyPath(kPrinters))
    for (const auto& k : all->subkeys) out.push_back(k);
  return out;
}

std::shared_ptr<RegKey> SpoolerCore::LocalPrinter(std::string_view name) { return d_.printerIndex.Printer(s_, name); }

std::string PrinterName(const RegKey& k) {
  std::string n = Text(k, "Name");
  return n.empty() ? k.name : n;
}

std::vector<std::string> PortsOf(const RegKey& printer) {
  std::vector<std::string> out;
  for (auto& p : SplitList(Text(printer, "Port"), ','))
    if (!p.empty()) out.push_back(p);
  return out;
}

PRINTER_INFO_2A SpoolerCore::Info(const RegKey& k) {
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

// ---------------------------------------------------------------- connections (NT family)

std::vector<SpoolerCore::Connection> SpoolerCore::Connections() {
  std::vector<Connection> out;
  if (!Nt()) return out;
  auto all = s_.FindKeyPath(kConnections);
  if (!all) return out;
  for (const auto& k : all->subkeys) {
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

std::shared_ptr<RegKey> SpoolerCore::Cache(const Connection& c) {
  for (const char* base : kLanManCaches)
    if (auto k = s_.FindKeyPath(std::string(base) + "\\" + c.server.substr(2) + "\\Printers\\" + c.printer))
      return k;
  return nullptr;
}

PRINTER_INFO_2A SpoolerCore::Info(const Connection& c) {
  PRINTER_INFO_2A p;
  if (auto cache = Cache(c)) p = Info(*cache);
  p.pServerName = c.server;
  p.pPrinterName = c.display;
  p.Attributes |= PRINTER_ATTRIBUTE_NETWORK;
  return p;
}

// ---------------------------------------------------------------- the current user's printer lists

void SpoolerCore::ForUserLists(const std::function<void(const std::string& section, RegKey* key)>& each) {
  for (const char* section : {"Devices", "PrinterPorts"}) {
    if (Nt()) {
      if (auto k = s_.FindKeyPath(std::string(kUserLists) + "\\" + section)) each(section, k.get());
    } else {
      each(section, nullptr);
    }
  }
}

void SpoolerCore::RemoveFromUserLists(std::string_view printer) {
  ForUserLists([&](const std::string& section, RegKey* k) {
    if (k)
      RemoveValue(s_, *k, printer);
    else
      s_.profileCore.WritePrivateProfileStringA(section.c_str(), std::string(printer).c_str(), nullptr, "win.ini");
  });
}

// "winspool,LPT1:" and "winspool,LPT1:,15,45" (Windows 95/98: "DRIVER,LPT1:..."): the second
// field is the port, the first of a printer's ports.
void SpoolerCore::MoveInUserLists(std::string_view printer, std::string_view ports) {
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
      if (const auto v = FindValue(*k, printer)) PutText(s_, *k, v->name, moved(Text(*k, v->name)));
      return;
    }
    char buffer[MAX_PATH];
    std::string name(printer);
    s_.profileCore.GetPrivateProfileStringA(section.c_str(), name.c_str(), "\x01", buffer, sizeof buffer, "win.ini");
    if (std::string(buffer) != "\x01")
      s_.profileCore.WritePrivateProfileStringA(section.c_str(), name.c_str(), moved(buffer).c_str(), "win.ini");
  });
}

// ---------------------------------------------------------------- the calls

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

std::shared_ptr<RegKey> SpoolerCore::OwnPrinter(HANDLE printer, DWORD rights, DWORD& error) {
  auto it = d_.handles.find(reinterpret_cast<std::uintptr_t>(printer));
  const PrinterHandle* h = it == d_.handles.end() || it->second.server ? nullptr : &it->second;
  error = !h                                        ? ERROR_INVALID_HANDLE
          : h->connection                           ? ERROR_ACCESS_DENIED
          : Nt() && (h->access & rights) != rights ? ERROR_ACCESS_DENIED
                                                    : ERROR_SUCCESS;
  if (error != ERROR_SUCCESS) return nullptr;
  auto k = Child(s_.FindKeyPath(kPrinters), h->printer);
  if (!k) error = ERROR_PRINTER_DELETED;
  return k;
}

BOOL SpoolerCore::SetPrinterA(HANDLE printer, DWORD level, const PRINTER_INFO_2A* info, DWORD command) {
  Lock lock(s_.mu);
  if (!Reachable()) return Fail(RPC_S_SERVER_UNAVAILABLE);
  DWORD error = ERROR_SUCCESS;
  auto k = OwnPrinter(printer, PRINTER_ACCESS_ADMINISTER, error);
  if (!k) return Fail(error);
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
    PutDword(s_, *k, "Status", status);
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
    PutText(s_, *k, value, to);
  };
  auto number = [&](const char* value, DWORD to) {
    DWORD from = Dword(*k, value);
    if (from == to) return;
    changes += std::string(changes.empty() ? "" : ",") + " " + value + " " + std::to_string(from) + " -> " +
               std::to_string(to);
    PutDword(s_, *k, value, to);
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
    Put(s_, *k, "Default DevMode", REG_BINARY, std::string(info->pDevMode.begin(), info->pDevMode.end()));
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
  DWORD error = ERROR_SUCCESS;
  auto k = OwnPrinter(printer, kDelete, error);
  if (!k) return Fail(error);
  const std::string name = PrinterName(*k);
  const std::string share = Text(*k, "Share Name");
  if (!share.empty()) {
    if (auto shares = s_.FindKeyPath(kShares)) RemoveValue(s_, *shares, share);
    if (auto security = s_.FindKeyPath(std::string(kShares) + "\\Security")) RemoveValue(s_, *security, share);
  }
  s_.DetachKey(k);
  if (Nt())
    if (auto second = Child(s_.FindKeyPath(kPrinters2), k->name)) s_.DetachKey(second);
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

}  // namespace qx::sim::spool
