// A simulated machine with the erase job prepared on it (Windows NT 4.0 unless a test says
// otherwise), and short ways to put the family's programs, services and keys on it.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "app/CQXErsDoc.h"
#include "platform/sim/sim_machine.h"

namespace qx::test {

inline constexpr const char* kServicesKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\";
inline constexpr const char* kUninstallKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// What another program's window does: closes (at once, after a time, never), or hangs.
inline sim::WindowBehaviour Closes(sim::WindowBehaviour::Close close, DWORD afterMs = 0) {
  sim::WindowBehaviour b;
  b.close = close;
  b.closeAfterMs = afterMs;
  return b;
}
inline sim::WindowBehaviour Hangs() {
  sim::WindowBehaviour b;
  b.hangs = true;
  return b;
}
inline sim::WindowBehaviour ClosesOn(UINT message) {
  sim::WindowBehaviour b;
  b.onMessage = message;
  return b;
}

class CompanionMachine {
 public:
  CompanionMachine() {
    machine.AddDirectory("C:\\QXErs");
    doc.PrepareRun();
    doc.osType = kWindowsNT4;
    doc.delFlags = kDelProduct;
    doc.logEnabled = 1;
  }
  HWND Window(const std::string& className, const std::string& title, sim::WindowBehaviour behaviour = {}) {
    return machine.AddProgramWindow({className, title, "C:\\Program Files\\Qorvex\\ZOVPROG.EXE", behaviour});
  }
  void Service(const std::string& name, DWORD state, sim::ServiceBehaviour behaviour = {}) {
    machine.SetDword(kServicesKey + name, "Start", 2);
    machine.SetServiceState(name, state);
    machine.SetServiceBehaviour(name, behaviour);
  }
  void Uninstall(const std::string& entry, const std::string& command) {
    machine.SetString(kUninstallKey + entry, "UninstallString", command);
  }
  // A library or program file on the disk, described as the simulation runs it.
  void Module(const std::string& path, sim::ModuleSpec::Kind kind) {
    machine.AddFile(path, "MZ");
    sim::ModuleSpec spec;
    spec.path = path;
    spec.kind = kind;
    machine.AddModule(spec);
  }
  // The calls that begin with the text, in order.
  std::vector<std::string> Calls(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& c : machine.Calls())
      if (c.rfind(prefix, 0) == 0) out.push_back(c);
    return out;
  }
  bool Called(const std::string& text) const {
    auto calls = machine.Calls();
    return std::any_of(calls.begin(), calls.end(), [&](const std::string& c) { return c.find(text) != std::string::npos; });
  }

  sim::SimMachine machine;
  CQXErsDoc doc{machine.platform()};
};

}  // namespace qx::test
