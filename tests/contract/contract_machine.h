// The machine a contract suite runs on. The suites pin how the Registry, Files, Profile,
// Services and Spooler facets behave, written once against this fixture interface; each
// backend binds it: the simulated machine (tests/sim/contract_sim.cpp) and the real Windows
// API under Wine (tests/wine/contract_win32.cpp). Set-up and inspection go around the
// facets, so that a facet is never checked only by itself.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace qx::contract {

class ContractMachine {
 public:
  virtual ~ContractMachine() = default;

  virtual Platform& platform() = 0;

  // HKEY_CURRENT_USER subkey that exists and is empty at the start of each test, and is
  // removed after it: "Software\QXContractTest".
  virtual std::string ScratchKey() = 0;
  virtual bool KeyExists(const std::string& subKeyOfCurrentUser) = 0;

  // A directory, without a trailing backslash, that exists and is empty at the start of each
  // test, and is removed after it.
  virtual std::string ScratchDirectory() = 0;
  // The Windows directory, without a trailing backslash: where WIN.INI and bare profile names live.
  virtual std::string WindowsDirectory() = 0;

  virtual void MakeFile(const std::string& path, const std::string& contents) = 0;
  virtual void MakeDirectory(const std::string& path) = 0;
  virtual void SetReadOnly(const std::string& path) = 0;
  // Another program opens the file with no sharing and keeps it open until the test ends.
  virtual void HoldOpen(const std::string& path) = 0;

  virtual bool FileExists(const std::string& path) = 0;       // a file, not a directory
  virtual bool DirectoryExists(const std::string& path) = 0;  // a directory, not a file
  virtual std::string FileContents(const std::string& path) = 0;

  // The service manager. Installs a test service: a program of its own process, started on
  // demand, stopped, accepting stop, pause and continue, taking a moment in each pending state.
  // When dependsOn is not empty the new service depends on that one. Every service installed
  // here is stopped and removed when the test ends. False (with the failure reported) when it
  // cannot be installed.
  virtual bool InstallTestService(const std::string& name, const std::string& dependsOn = "") = 0;
  // Whether the service's key HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\<name> is there.
  virtual bool ServiceKeyExists(const std::string& name) = 0;

  // The folder whose subfolders are Program Manager's groups (the current user's Programs
  // folder), without a trailing backslash.
  virtual std::string ProgramsFolder() = 0;
  // True when Program Manager answers DDE service and topic "PROGMAN". The shell may still be
  // starting when a test begins, so a backend may wait for it, for a bounded time.
  virtual bool WaitForProgramManager() = 0;
  // The print spooler, running. Set-up goes around the facet; everything added here is removed
  // when the test ends. Each answers false (with the failure reported) when it cannot add.
  // The environment of the drivers that printers here can use (the test program's own).
  virtual std::string DriverEnvironment() = 0;
  // A driver of that environment whose files are a printer driver the system has.
  virtual bool AddTestDriver(const std::string& name) = 0;
  // A port of the monitor "Local Port".
  virtual bool AddTestPort(const std::string& name) = 0;
  // A port monitor, holding no ports.
  virtual bool AddTestMonitor(const std::string& name) = 0;
  // A print processor of the driver environment, besides the system's own.
  virtual bool AddTestPrintProcessor(const std::string& name) = 0;
  // A local printer, not shared, with the system's standard print processor.
  virtual bool AddTestPrinter(const std::string& name, const std::string& driver, const std::string& port) = 0;

  // True when the backend is the real API under Wine, which is known to differ from Windows in
  // the case described. The suites ask it through ContractTest::TodoWine, which then checks that
  // Wine still differs. Windows' behaviour is what the checks state, and what the simulation does.
  virtual bool KnownWineDifference(const std::string& what) = 0;
  // True when the calls run with the rights of the Unix superuser (Wine started by root), who
  // passes over the Unix file permissions that Wine keeps attributes in.
  virtual bool UnixSuperuser() = 0;
};

// Made by the binding that is linked in: a fresh machine for one test.
std::unique_ptr<ContractMachine> MakeContractMachine();

}  // namespace qx::contract
