// The spooler's printer drivers: listed by environment and version, refused while a printer
// uses them, and kept until the restart while their files are held open.
#include <algorithm>
#include <cstdlib>

#include "platform/sim/sim_spooler_core.h"

namespace qx::sim::spool {

// ---------------------------------------------------------------- drivers

std::string SpoolerCore::DriverDirectory(const std::string& environment, DWORD version) {
  std::string sys = s_.settings.systemDirectory;
  if (!sys.empty() && sys.back() != '\\') sys += '\\';
  if (!Nt()) return sys;
  std::string dir;
  if (auto env = s_.FindKeyPath(std::string(kEnvironments) + "\\" + environment)) dir = Text(*env, "Directory");
  if (dir.empty()) dir = environment == k9xEnvironment ? "WIN40" : "W32X86";
  return sys + "spool\\drivers\\" + dir + "\\" + std::to_string(version) + "\\";
}

std::vector<SpoolerCore::Driver> SpoolerCore::Drivers(const std::string& environment) {
  std::vector<Driver> out;
  auto all = s_.FindKeyPath(std::string(kEnvironments) + "\\" + environment + "\\Drivers");
  if (!all) return out;
  for (const auto& k : all->subkeys) {
    bool versioned = k->name.size() > 8 && cp932::EqualNoCase(k->name.substr(0, 8), "Version-");
    if (versioned && Nt()) {
      DWORD version = static_cast<DWORD>(std::strtoul(k->name.c_str() + 8, nullptr, 10));
      for (const auto& dk : k->subkeys) out.push_back({dk, version, DriverDirectory(environment, version)});
    } else if (!versioned && !Nt()) {
      out.push_back({k, 0, DriverDirectory(environment, 0)});
    }
  }
  return out;
}

std::string SpoolerCore::DriverFile(const Driver& d, std::string_view value) {
  std::string file = Text(*d.key, value);
  if (file.empty() || cp932::Find(file, '\\') != std::string::npos) return file;
  return d.directory + file;
}

bool SpoolerCore::FilesHeldOpen(const Driver& d) {
  std::vector<std::string> files;
  for (const char* v : {"Driver", "Data File", "Configuration File", "Help File"}) files.push_back(Text(*d.key, v));
  if (const auto dep = FindValue(*d.key, "Dependent Files"))
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

// ---------------------------------------------------------------- the calls

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

}  // namespace qx::sim::spool
