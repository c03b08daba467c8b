// The contract suites on the simulated machine: a fresh machine per test, set up and
// inspected through SimMachine's own interface.
#include <memory>
#include <string>

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_text.h"
#include "tests/contract/contract_machine.h"

namespace qx::contract {
namespace {

constexpr const char* kScratchKey = "Software\\QXContractTest";
constexpr const char* kScratchDirectory = "C:\\QXContract";
constexpr const char* kServicesKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services";
constexpr DWORD kOwnProcess = 0x10;  // SERVICE_WIN32_OWN_PROCESS
constexpr DWORD kDemandStart = 3;    // SERVICE_DEMAND_START
constexpr DWORD kErrorNormal = 1;    // SERVICE_ERROR_NORMAL
constexpr const char* kPrint = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print";
constexpr const char* kEnvironment =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT x86";
constexpr const char* kLocalPorts = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
constexpr const char* kUserLists = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion";

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
    // The spooler of a fresh Windows NT 4.0: running, with the local port monitor and its
    // usual ports, and the standard print processor.
    const std::string spooler = std::string(kServicesKey) + "\\Spooler";
    machine_.SetDword(spooler, "Type", kOwnProcess);
    machine_.SetDword(spooler, "Start", 2);  // SERVICE_AUTO_START
    machine_.SetServiceState("Spooler", SERVICE_RUNNING);
    machine_.SetString(std::string(kPrint) + "\\Monitors\\Local Port", "Driver", "localmon.dll");
    for (const char* port : {"LPT1:", "COM1:", "FILE:"}) machine_.SetString(kLocalPorts, port, "");
    machine_.SetString(kEnvironment, "Directory", "W32X86");
    machine_.SetString(std::string(kEnvironment) + "\\Print Processors\\WinPrint", "Driver", "winprint.dll");
    machine_.AddKey(std::string(kEnvironment) + "\\Drivers\\Version-2");
    machine_.AddKey(std::string(kPrint) + "\\Printers");
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

  // The service's key as CreateServiceA writes it; the machine knows it stopped, and taking a
  // couple of status polls to start and to stop, as a real service program does.
  bool InstallTestService(const std::string& name, const std::string& dependsOn) override {
    const std::string key = std::string(kServicesKey) + "\\" + name;
    machine_.AddKey(key);
    machine_.SetDword(key, "Type", kOwnProcess);
    machine_.SetDword(key, "Start", kDemandStart);
    machine_.SetDword(key, "ErrorControl", kErrorNormal);
    machine_.SetValue(key, "ImagePath", REG_EXPAND_SZ, "\"" + TestServiceProgram() + "\"" + std::string(1, '\0'));
    machine_.SetString(key, "DisplayName", name);
    machine_.SetString(key, "ObjectName", "LocalSystem");
    if (!dependsOn.empty()) machine_.SetValue(key, "DependOnService", REG_MULTI_SZ, dependsOn + std::string(2, '\0'));
    machine_.SetServiceState(name, SERVICE_STOPPED);
    sim::ServiceBehaviour behaviour;
    behaviour.pollsToStart = 2;
    behaviour.pollsToStop = 2;
    machine_.SetServiceBehaviour(name, behaviour);
    return true;
  }
  bool ServiceKeyExists(const std::string& name) override {
    return machine_.HasKey(std::string(kServicesKey) + "\\" + name);
  }

  std::string ProgramsFolder() override {
    return WindowsDirectory() + "\\Profiles\\" + machine_.settings().currentUser + "\\スタート メニュー\\プログラム";
  }

  bool WaitForProgramManager() override { return machine_.settings().programManagerRunning; }

  // What the spooler's own calls would have written for each object.
  std::string DriverEnvironment() override { return "Windows NT x86"; }
  bool AddTestDriver(const std::string& name) override {
    const std::string key = std::string(kEnvironment) + "\\Drivers\\Version-2\\" + name;
    machine_.SetString(key, "Driver", "PSCRIPT.DLL");
    machine_.SetString(key, "Data File", "QXCONTR.PPD");
    machine_.SetString(key, "Configuration File", "PSCRPTUI.DLL");
    machine_.SetDword(key, "Version", 2);
    return true;
  }
  bool AddTestPort(const std::string& name) override {
    machine_.SetString(kLocalPorts, name, "");
    return true;
  }
  bool AddTestMonitor(const std::string& name) override {
    machine_.SetString(std::string(kPrint) + "\\Monitors\\" + name, "Driver", "qxctmon.dll");
    return true;
  }
  bool AddTestPrintProcessor(const std::string& name) override {
    machine_.SetString(std::string(kEnvironment) + "\\Print Processors\\" + name, "Driver", "qxctproc.dll");
    return true;
  }
  bool AddTestPrinter(const std::string& name, const std::string& driver, const std::string& port) override {
    const std::string key = std::string(kPrint) + "\\Printers\\" + name;
    machine_.SetString(key, "Name", name);
    machine_.SetString(key, "Share Name", "");
    machine_.SetString(key, "Port", port);
    machine_.SetString(key, "Printer Driver", driver);
    machine_.SetString(key, "Print Processor", "WinPrint");
    machine_.SetString(key, "Datatype", "RAW");
    machine_.SetDword(key, "Attributes", PRINTER_ATTRIBUTE_LOCAL);
    machine_.SetDword(key, "Priority", 1);
    machine_.AddKey(key + "\\PrinterDriverData");
    machine_.SetString(std::string(kUserLists) + "\\Devices", name, "winspool," + port);
    machine_.SetString(std::string(kUserLists) + "\\PrinterPorts", name, "winspool," + port + ",15,45");
    return true;
  }

  bool KnownWineDifference(const std::string&) override { return false; }
  bool UnixSuperuser() override { return false; }

 private:
  // The test service program, beside the program the machine runs.
  std::string TestServiceProgram() const {
    const std::string& self = machine_.settings().moduleFileName;
    const std::size_t folder = sim::cp932::FindLast(self, '\\');
    return (folder == std::string::npos ? std::string() : self.substr(0, folder + 1)) + "qx_test_service.exe";
  }

  sim::SimMachine machine_;
};

}  // namespace

std::unique_ptr<ContractMachine> MakeContractMachine() { return std::make_unique<SimContractMachine>(); }

}  // namespace qx::contract
