// machine.ini of a machine image, any bytes, through the image loader's reader
// (ParseMachineIni) and onto simulated machines (ApplyMachineIni): first a machine that has
// only Windows' own registry and files, so that what the file names may be missing; then one
// that also has every service key, file, module and driver the file names.
//
// Rule checked (the image format's promise, image.h): a machine that a machine.ini set up
// and that the writer could write comes back the same: the written machine.ini reads again
// and, applied to the same registry and files, writes the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_machine.h"
#include "platform/sim/image/image_ini.h"
#include "platform/sim/sim_machine.h"

namespace {

constexpr const char* kTarget = "machine_ini";
constexpr const char* kServices = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\";
constexpr const char* kEnvironments = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\";

// Windows' registry and files, and, when complete, everything the file names.
void Build(qx::sim::SimMachine& m, const qx::sim::image::MachineIni& ini, bool complete) {
  qx::fuzz::AddWindowsRegistry(m);
  qx::fuzz::AddWindowsFiles(m);
  if (!complete) return;
  for (const auto& s : ini.services) m.AddKey(kServices + s.name);
  for (const auto& f : ini.files) {
    if (!f.lockedBy.empty()) m.AddKey(kServices + f.lockedBy);
    if (f.directory) m.AddDirectory(f.path);
    else if (!m.HasDirectory(f.path)) m.AddFile(f.path, "");
  }
  for (const auto& module : ini.outside.modules) {
    if (!m.HasFile(module.module.path)) m.AddFile(module.module.path, "MZ");
  }
  for (const auto& d : ini.pendingDrivers) {
    m.SetString(kEnvironments + d.environment + "\\Drivers\\Version-2\\" + d.driver, "Driver", "DRIVER.DLL");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qx;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  sim::image::MachineIni ini;
  {
    sim::SimMachine fresh;
    ini.system = fresh.settings();
  }
  std::string error;
  if (!sim::image::ParseMachineIni(input, ini, error)) return 0;

  {
    sim::SimMachine bare;
    Build(bare, ini, false);
    bare.settings() = ini.system;
    sim::image::ApplyMachineIni(ini, bare, error);
  }

  std::string written;
  {
    sim::SimMachine machine;
    Build(machine, ini, true);
    machine.settings() = ini.system;
    if (!sim::image::ApplyMachineIni(ini, machine, error)) return 0;
    machine.platform();
    if (!sim::image::WriteMachineIni(machine, written, error)) return 0;
  }

  sim::image::MachineIni again;
  {
    sim::SimMachine fresh;
    again.system = fresh.settings();
  }
  if (!sim::image::ParseMachineIni(written, again, error)) {
    fuzz::Violation(kTarget, "machine.ini as written does not read again: " + error + "\n   written: " +
                                 fuzz::Shown(written.substr(0, 1500)),
                    input);
  }
  sim::SimMachine reloaded;
  Build(reloaded, ini, true);
  reloaded.settings() = again.system;
  if (!sim::image::ApplyMachineIni(again, reloaded, error)) {
    fuzz::Violation(kTarget, "machine.ini as written does not apply again: " + error + "\n   written: " +
                                 fuzz::Shown(written.substr(0, 1500)),
                    input);
  }
  reloaded.platform();
  std::string rewritten;
  if (!sim::image::WriteMachineIni(reloaded, rewritten, error) || rewritten != written) {
    fuzz::Violation(kTarget, "the machine read back from its own machine.ini differs:\n   written:   " +
                                 fuzz::Shown(written.substr(0, 1500)) + "\n   rewritten: " +
                                 fuzz::Shown(rewritten.substr(0, 1500)),
                    input);
  }
  return 0;
}
