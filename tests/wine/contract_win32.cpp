// The contract suites on the real Windows API: set-up and inspection call Windows directly,
// the calls under test go through RealPlatform.
#include "platform/win32/win32_platform.h"
#include "tests/contract/contract_machine.h"
#include "tests/wine/wine_detect.h"
// (platform headers first)
#include <windows.h>
#include <shlobj.h>
#include <ddeml.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>
#include <set>
#include <string>
#include <vector>

// Outside namespace qx: the Windows macros here (HKEY_CURRENT_USER, ...) name Windows' own types.
namespace {

using qx::contract::ContractMachine;

constexpr const char* kScratchKey = "Software\\QXContractTest";

::HDDEDATA CALLBACK IgnoreDde(::UINT, ::UINT, ::HCONV, ::HSZ, ::HSZ, ::HDDEDATA, ::ULONG_PTR, ::ULONG_PTR) {
  return nullptr;
}

// Removes a key with everything below it; Windows before Vista has no call for that.
void DeleteTree(::HKEY root, const std::string& path) {
  ::HKEY key = nullptr;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  std::vector<std::string> children;
  for (::DWORD i = 0; i < 10000; ++i) {
    char name[MAX_PATH];
    ::DWORD cch = sizeof name;
    if (::RegEnumKeyExA(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    children.push_back(name);
  }
  ::RegCloseKey(key);
  for (const std::string& child : children) DeleteTree(root, path + "\\" + child);
  ::RegDeleteKeyA(root, path.c_str());
}

void RemoveFiles(const std::string& dir) {
  ::WIN32_FIND_DATAA data;
  ::HANDLE find = ::FindFirstFileA((dir + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = dir + "\\" + name;
      ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveFiles(path);
      else
        ::DeleteFileA(path.c_str());
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
  }
  ::RemoveDirectoryA(dir.c_str());
}

std::string TempDirectory() {
  char temp[MAX_PATH] = {};
  const ::DWORD n = ::GetTempPathA(sizeof temp, temp);
  std::string dir(temp, n < sizeof temp ? n : 0);
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  return dir;
}

// The test service program, beside this test program.
std::string TestServiceProgram() {
  char self[MAX_PATH] = {};
  const ::DWORD n = ::GetModuleFileNameA(nullptr, self, sizeof self);
  if (n == 0 || n >= sizeof self) return "";
  // The last backslash, stepping over double-byte characters whose trail byte is 0x5C.
  std::size_t folder = std::string::npos;
  for (::DWORD i = 0; i < n; ++i) {
    if (::IsDBCSLeadByte(static_cast<::BYTE>(self[i])) && i + 1 < n) {
      ++i;
    } else if (self[i] == '\\') {
      folder = i;
    }
  }
  if (folder == std::string::npos) return "";
  return std::string(self, folder + 1) + "qx_test_service.exe";
}

// Polls of 100 ms that set-up and clean-up wait at most for a service.
constexpr int kServicePolls = 150;

// Stops the service when it is not stopped and deletes it, then waits until the service manager
// has let it go. True when the service is gone (or never was there).
bool RemoveService(::SC_HANDLE scm, const std::string& name) {
  ::SC_HANDLE s = ::OpenServiceA(scm, name.c_str(), SERVICE_ALL_ACCESS);
  if (!s) return ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
  for (int i = 0; i < kServicePolls; ++i) {
    ::SERVICE_STATUS status{};
    if (!::QueryServiceStatus(s, &status) || status.dwCurrentState == SERVICE_STOPPED) break;
    // A pending service takes no control yet: asked again on the next poll.
    if (status.dwCurrentState != SERVICE_STOP_PENDING) ::ControlService(s, SERVICE_CONTROL_STOP, &status);
    ::Sleep(100);
  }
  ::DeleteService(s);  // fails when it is already marked for deletion, which is as good
  ::CloseServiceHandle(s);
  for (int i = 0; i < kServicePolls; ++i) {
    s = ::OpenServiceA(scm, name.c_str(), SERVICE_QUERY_STATUS);
    if (!s) return ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    ::CloseServiceHandle(s);
    ::Sleep(100);
  }
  return false;
}

// The drivers of this program's own environment: a 64-bit program's printers use x64 drivers.
constexpr const char* kDriverEnvironment = sizeof(void*) == 8 ? "Windows x64" : "Windows NT x86";

std::string SystemFile(const char* name) {
  char dir[MAX_PATH] = {};
  const ::UINT n = ::GetSystemDirectoryA(dir, sizeof dir);
  return std::string(dir, n < sizeof dir ? n : 0) + "\\" + name;
}

// The local port monitor adds and removes its ports through its transceiver, as the port
// dialogs do (AddPortA would show one).
bool LocalPortCommand(const wchar_t* command, const std::string& port) {
  ::PRINTER_DEFAULTSW defaults{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
  ::HANDLE xcv = nullptr;
  if (!::OpenPrinterW(const_cast<::LPWSTR>(L",XcvMonitor Local Port"), &xcv, &defaults)) return false;
  std::wstring wide(port.begin(), port.end());
  ::DWORD needed = 0, status = 0;
  const ::BOOL ok = ::XcvDataW(xcv, command, reinterpret_cast<::BYTE*>(const_cast<wchar_t*>(wide.c_str())),
                               static_cast<::DWORD>((wide.size() + 1) * sizeof(wchar_t)), nullptr, 0, &needed, &status);
  ::ClosePrinter(xcv);
  return ok && status == ERROR_SUCCESS;
}

void DeletePrinterNamed(const std::string& name) {
  ::PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  ::HANDLE h = nullptr;
  if (!::OpenPrinterA(const_cast<char*>(name.c_str()), &h, &defaults)) return;
  ::DeletePrinter(h);
  ::ClosePrinter(h);
}

class Win32ContractMachine final : public ContractMachine {
 public:
  Win32ContractMachine() {
    ::GetCurrentDirectoryA(sizeof savedDirectory_, savedDirectory_);
    scratchDirectory_ = TempDirectory() + "\\QXContract" + std::to_string(::GetCurrentProcessId());
    RemoveFiles(scratchDirectory_);
    EXPECT_TRUE(::CreateDirectoryA(scratchDirectory_.c_str(), nullptr)) << scratchDirectory_;
    DeleteTree(HKEY_CURRENT_USER, kScratchKey);
    ::HKEY key = nullptr;
    EXPECT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kScratchKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (key) ::RegCloseKey(key);
  }
  ~Win32ContractMachine() override {
    // What a spooler test added, users before what they use.
    for (const std::string& p : printers_) DeletePrinterNamed(p);
    for (const std::string& d : drivers_)
      ::DeletePrinterDriverA(nullptr, const_cast<char*>(kDriverEnvironment), const_cast<char*>(d.c_str()));
    for (const std::string& p : ports_) LocalPortCommand(L"DeletePort", p);
    for (const std::string& m : monitors_) ::DeleteMonitorA(nullptr, nullptr, const_cast<char*>(m.c_str()));
    for (const std::string& p : processors_)
      ::DeletePrintProcessorA(nullptr, const_cast<char*>(kDriverEnvironment), const_cast<char*>(p.c_str()));
    // Dependents first: a service does not stop while they run.
    for (auto it = services_.rbegin(); it != services_.rend(); ++it)
      EXPECT_TRUE(RemoveService(scm_, *it)) << "test service " << *it << " is left installed";
    if (scm_) ::CloseServiceHandle(scm_);
    for (::HANDLE h : held_) ::CloseHandle(h);
    ::SetCurrentDirectoryA(savedDirectory_);
    RemoveFiles(scratchDirectory_);
    DeleteTree(HKEY_CURRENT_USER, kScratchKey);
  }

  qx::Platform& platform() override { return real_.platform(); }

  std::string ScratchKey() override { return kScratchKey; }
  bool KeyExists(const std::string& subKey) override {
    ::HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
  }

  std::string ScratchDirectory() override { return scratchDirectory_; }
  std::string WindowsDirectory() override {
    char dir[MAX_PATH] = {};
    const ::UINT n = ::GetWindowsDirectoryA(dir, sizeof dir);
    std::string s(dir, n < sizeof dir ? n : 0);
    if (!s.empty() && s.back() == '\\') s.pop_back();
    return s;
  }

  void MakeFile(const std::string& path, const std::string& contents) override {
    ::HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    ::DWORD written = 0;
    EXPECT_TRUE(::WriteFile(h, contents.data(), static_cast<::DWORD>(contents.size()), &written, nullptr));
    ::CloseHandle(h);
  }
  void MakeDirectory(const std::string& path) override {
    EXPECT_TRUE(::CreateDirectoryA(path.c_str(), nullptr)) << path;
  }
  void SetReadOnly(const std::string& path) override {
    const ::DWORD attributes = ::GetFileAttributesA(path.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << path;
    EXPECT_TRUE(::SetFileAttributesA(path.c_str(), attributes | FILE_ATTRIBUTE_READONLY));
  }
  void HoldOpen(const std::string& path) override {
    ::HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    held_.push_back(h);
  }

  bool FileExists(const std::string& path) override {
    const ::DWORD a = ::GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
  }
  bool DirectoryExists(const std::string& path) override {
    const ::DWORD a = ::GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
  }
  std::string FileContents(const std::string& path) override {
    ::HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      ADD_FAILURE() << "cannot read " << path;
      return "";
    }
    std::string contents;
    char chunk[4096];
    ::DWORD got = 0;
    while (::ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0) contents.append(chunk, got);
    ::CloseHandle(h);
    return contents;
  }

  bool InstallTestService(const std::string& name, const std::string& dependsOn) override {
    if (!scm_) scm_ = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!scm_) {
      ADD_FAILURE() << "OpenSCManagerA failed with " << ::GetLastError();
      return false;
    }
    // A service of that name left by an earlier run would make the test's start meaningless.
    if (!RemoveService(scm_, name)) {
      ADD_FAILURE() << "an earlier service " << name << " cannot be removed";
      return false;
    }
    const std::string program = TestServiceProgram();
    if (program.empty() || !FileExists(program)) {
      ADD_FAILURE() << "the test service program is not beside the test program: " << program;
      return false;
    }
    const std::string image = "\"" + program + "\"";
    std::string dependencies = dependsOn;  // a list of names, each ended by a zero, then a zero
    if (!dependencies.empty()) dependencies.push_back('\0');
    dependencies.push_back('\0');
    ::SC_HANDLE s = ::CreateServiceA(scm_, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                     SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, image.c_str(), nullptr, nullptr,
                                     dependsOn.empty() ? nullptr : dependencies.c_str(), nullptr, nullptr);
    if (!s) {
      ADD_FAILURE() << "CreateServiceA " << name << " failed with " << ::GetLastError();
      return false;
    }
    ::CloseServiceHandle(s);
    services_.push_back(name);
    return true;
  }
  bool ServiceKeyExists(const std::string& name) override {
    ::HKEY key = nullptr;
    const std::string path = "SYSTEM\\CurrentControlSet\\Services\\" + name;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
  }

  std::string ProgramsFolder() override {
    char path[MAX_PATH] = {};
    if (::SHGetFolderPathA(nullptr, CSIDL_PROGRAMS, nullptr, 0, path) != S_OK) return "";
    return path;
  }

  // Wine starts its Explorer, the DDE server, with the first window of a session; it answers
  // a moment later.
  bool WaitForProgramManager() override {
    for (int attempt = 0; attempt < 100; ++attempt) {
      ::DWORD instance = 0;
      if (::DdeInitializeA(&instance, IgnoreDde, APPCMD_CLIENTONLY, 0) == DMLERR_NO_ERROR) {
        ::HSZ progman = ::DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI);
        ::HCONV conv = progman ? ::DdeConnect(instance, progman, progman, nullptr) : nullptr;
        if (conv) ::DdeDisconnect(conv);
        if (progman) ::DdeFreeStringHandle(instance, progman);
        ::DdeUninitialize(instance);
        if (conv) return true;
      }
      ::Sleep(200);
    }
    return false;
  }

  std::string DriverEnvironment() override { return kDriverEnvironment; }
  // Wine's own PostScript driver stands for every file of the driver.
  bool AddTestDriver(const std::string& name) override {
    std::string file = SystemFile("wineps.drv");
    ::DRIVER_INFO_3A info{};
    info.cVersion = 3;
    info.pName = const_cast<char*>(name.c_str());
    info.pEnvironment = const_cast<char*>(kDriverEnvironment);
    info.pDriverPath = const_cast<char*>(file.c_str());
    info.pDataFile = const_cast<char*>(file.c_str());
    info.pConfigFile = const_cast<char*>(file.c_str());
    if (!::AddPrinterDriverExA(nullptr, 3, reinterpret_cast<::BYTE*>(&info), APD_COPY_NEW_FILES)) {
      ADD_FAILURE() << "AddPrinterDriverExA " << name << " failed with " << ::GetLastError();
      return false;
    }
    drivers_.push_back(name);
    return true;
  }
  bool AddTestPort(const std::string& name) override {
    if (!LocalPortCommand(L"AddPort", name)) {
      ADD_FAILURE() << "the local port monitor does not add " << name << " (error " << ::GetLastError() << ")";
      return false;
    }
    ports_.push_back(name);
    return true;
  }
  // The local port monitor's library serves as the new monitor's.
  bool AddTestMonitor(const std::string& name) override {
    ::MONITOR_INFO_2A info{const_cast<char*>(name.c_str()), nullptr, const_cast<char*>("localspl.dll")};
    if (!::AddMonitorA(nullptr, 2, reinterpret_cast<::BYTE*>(&info))) {
      ADD_FAILURE() << "AddMonitorA " << name << " failed with " << ::GetLastError();
      return false;
    }
    monitors_.push_back(name);
    return true;
  }
  bool AddTestPrintProcessor(const std::string& name) override {
    if (!::AddPrintProcessorA(nullptr, const_cast<char*>(kDriverEnvironment), const_cast<char*>("wineps.drv"),
                              const_cast<char*>(name.c_str()))) {
      ADD_FAILURE() << "AddPrintProcessorA " << name << " failed with " << ::GetLastError();
      return false;
    }
    processors_.push_back(name);
    return true;
  }
  bool AddTestPrinter(const std::string& name, const std::string& driver, const std::string& port) override {
    DeletePrinterNamed(name);  // left by an earlier run
    ::PRINTER_INFO_2A info{};
    info.pPrinterName = const_cast<char*>(name.c_str());
    info.pPortName = const_cast<char*>(port.c_str());
    info.pDriverName = const_cast<char*>(driver.c_str());
    info.pPrintProcessor = const_cast<char*>("WinPrint");
    info.pDatatype = const_cast<char*>("RAW");
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    ::HANDLE h = ::AddPrinterA(nullptr, 2, reinterpret_cast<::BYTE*>(&info));
    if (!h) {
      ADD_FAILURE() << "AddPrinterA " << name << " failed with " << ::GetLastError();
      return false;
    }
    ::ClosePrinter(h);
    printers_.push_back(name);
    return true;
  }

  bool KnownWineDifference(const std::string& what) override {
    if (!qx::wine::RunningUnderWine()) return false;
    // Said once per case, so the run's output lists every difference it checked for.
    std::cout << "[ WINE DIFF ] " << ::testing::UnitTest::GetInstance()->current_test_info()->name() << ": " << what
              << std::endl;
    return true;
  }

  bool UnixSuperuser() override {
    if (!qx::wine::RunningUnderWine()) return false;
    // Wine's drive Z: is the Unix root, and a Wine program reads the Unix files itself: this
    // is the test program's own process status. Its line "Uid:" gives the real user, then the
    // effective one, which file permissions are checked against.
    ::HANDLE status = ::CreateFileA("Z:\\proc\\self\\status", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (status == INVALID_HANDLE_VALUE) return false;
    std::string text;
    char chunk[4096];
    ::DWORD got = 0;
    while (::ReadFile(status, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
    ::CloseHandle(status);
    const std::size_t uid = text.find("\nUid:");
    if (uid == std::string::npos) return false;
    unsigned realUser = 0, effectiveUser = 0;
    return std::sscanf(text.c_str() + uid + 5, "%u %u", &realUser, &effectiveUser) == 2 && effectiveUser == 0;
  }

 private:
  qx::win32::RealPlatform real_;
  std::string scratchDirectory_;
  char savedDirectory_[MAX_PATH] = {};
  std::vector<::HANDLE> held_;
  ::SC_HANDLE scm_ = nullptr;
  std::vector<std::string> services_;  // installed by this test, in order
  std::vector<std::string> printers_, drivers_, ports_, monitors_, processors_;  // added by this test
};

}  // namespace

std::unique_ptr<ContractMachine> qx::contract::MakeContractMachine() { return std::make_unique<Win32ContractMachine>(); }
