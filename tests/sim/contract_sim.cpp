// The contract suites on the simulated machine: a fresh machine per test, set up and
// inspected through SimMachine's own interface.
#include <memory>
#include <string>

#include "platform/sim/sim_machine.h"
#include "tests/contract/contract_machine.h"

namespace qx::contract {
namespace {

constexpr const char* kScratchKey = "Software\\QXContractTest";
constexpr const char* kScratchDirectory = "C:\\QXContract";

class SimContractMachine final : public ContractMachine {
 public:
  SimContractMachine() {
    machine_.AddKey(std::string("HKEY_CURRENT_USER\\") + kScratchKey);
    machine_.AddDirectory(kScratchDirectory);
    // What every real machine has: its Windows directory and the directory a program starts in.
    machine_.AddDirectory(machine_.settings().windowsDirectory);
    char current[MAX_PATH] = {};
    const DWORD n = machine_.platform().files.GetCurrentDirectoryA(sizeof current, current);
    if (n > 0 && n < sizeof current) machine_.AddDirectory(current);
  }

  Platform& platform() override { return machine_.platform(); }

  std::string ScratchKey() override { return kScratchKey; }
  bool KeyExists(const std::string& subKey) override { return machine_.HasKey("HKEY_CURRENT_USER\\" + subKey); }

  std::string ScratchDirectory() override { return kScratchDirectory; }
  std::string WindowsDirectory() override {
    std::string dir = machine_.settings().windowsDirectory;
    if (!dir.empty() && dir.back() == '\\') dir.pop_back();
    return dir;
  }

  void MakeFile(const std::string& path, const std::string& contents) override {
    machine_.AddFile(path, contents, FILE_ATTRIBUTE_ARCHIVE);
  }
  void MakeDirectory(const std::string& path) override { machine_.AddDirectory(path); }
  void SetReadOnly(const std::string& path) override {
    const auto entry = machine_.File(path);
    machine_.SetAttributes(path, (entry ? entry->attributes : 0) | FILE_ATTRIBUTE_READONLY);
  }
  void HoldOpen(const std::string& path) override { machine_.SetLocked(path, true); }

  bool FileExists(const std::string& path) override { return machine_.HasFile(path); }
  bool DirectoryExists(const std::string& path) override { return machine_.HasDirectory(path); }
  std::string FileContents(const std::string& path) override {
    const auto entry = machine_.File(path);
    return entry ? entry->contents : std::string();
  }

  bool KnownWineDifference(const std::string&) override { return false; }

 private:
  sim::SimMachine machine_;
};

}  // namespace

std::unique_ptr<ContractMachine> MakeContractMachine() { return std::make_unique<SimContractMachine>(); }

}  // namespace qx::contract
