// A simulated machine with the erase job on it, for the printer removals, and the registry
// shapes of printers that the tests build.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "app/CQXErsDoc.h"
#include "platform/sim/sim_machine.h"

namespace qx::test {

inline constexpr const char* kHklmPrinters = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
inline constexpr const char* kHklmNtPrinters =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\";
inline constexpr const char* kHklmMonitors = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\";
inline constexpr const char* kHklmEnvironments =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\";
inline constexpr const char* kHklmPorts = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
inline constexpr const char* kUser = "HKEY_USERS\\S-1-5-21-1000\\";  // the current user

class PrinterJob : public ::testing::Test {
 protected:
  PrinterJob() {
    doc.logEnabled = 1;
    doc.osType = kWindowsNT4;
    machine.AddKey("HKEY_USERS\\.DEFAULT");
    machine.AddKey("HKEY_USERS\\S-1-5-21-1000");
  }
  // A local printer's key as the spooler keeps it.
  void AddPrinter(const std::string& name, const std::string& driver, const std::string& port,
                  const std::string& processor = "WinPrint") {
    std::string key = kHklmPrinters + name;
    machine.SetString(key, "Name", name);
    machine.SetString(key, "Port", port);
    machine.SetString(key, "Printer Driver", driver);
    machine.SetString(key, "Print Processor", processor);
  }
  std::string Text(const std::string& key, const std::string& name) const {
    auto v = machine.Value(key, name);
    return v ? std::string(v->data.c_str()) : "<missing>";
  }

  sim::SimMachine machine;
  CQXErsDoc doc{machine.platform()};
};

inline std::string Group(const std::string& title) { return std::string(70, '-') + "\r\n" + title; }

}  // namespace qx::test
