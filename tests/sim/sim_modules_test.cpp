// Libraries and programs on the simulated disk: where the loader finds them, how loading
// fails, the status manager's calls, COM unregistration and how a command line is read.
#include <gtest/gtest.h>

#include "platform/sim/sim_machine.h"

namespace qx::sim {
namespace {

using Kind = ModuleSpec::Kind;

class SimModulesTest : public ::testing::Test {
 protected:
  void Module(const std::string& path, Kind kind, DWORD loadError = 0) {
    m.AddFile(path, "MZ");
    ModuleSpec spec;
    spec.path = path;
    spec.kind = kind;
    spec.loadError = loadError;
    m.AddModule(spec);
  }
  std::string LastCall() const { return m.Calls().empty() ? "" : m.Calls().back(); }
  SimMachine m;
  Modules& mods = m.platform().modules;
  System& sys = m.platform().system;
};

// A bare name is looked for in the program's directory first, as Windows does; a full path
// only where it points.
TEST_F(SimModulesTest, LoadingFindsBareNamesInTheProgramsDirectoryFirst) {
  Module("C:\\WINNT\\System32\\zovsrm.dll", Kind::kStatusManager);
  Module("C:\\QXErs\\ZOVSRM.DLL", Kind::kLibrary);  // planted beside the program
  HMODULE bare = mods.LoadLibraryA("zovsrm");
  EXPECT_EQ(LastCall(), "LoadLibraryA(\"zovsrm\") = C:\\QXErs\\ZOVSRM.DLL");
  HMODULE full = mods.LoadLibraryA("C:\\WINNT\\System32\\ZOVSRM.DLL");
  EXPECT_EQ(LastCall(), "LoadLibraryA(\"C:\\WINNT\\System32\\ZOVSRM.DLL\") = C:\\WINNT\\System32\\zovsrm.dll");
  EXPECT_NE(bare, full);
  EXPECT_EQ(mods.GetProcAddress(bare, "OpenManagerExA"), nullptr);
  EXPECT_EQ(sys.GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_NE(mods.GetProcAddress(full, "OpenManagerExA"), nullptr);
  EXPECT_EQ(mods.GetProcAddress(full, "openmanagerexa"), nullptr);  // export names are exact
  EXPECT_EQ(mods.LoadLibraryA("C:\\WINNT\\System32\\zovsrm.dll"), full);  // counted, same handle
  EXPECT_EQ(m.LoadedLibraries(), 2);
  EXPECT_TRUE(mods.FreeLibrary(full));
  EXPECT_TRUE(mods.FreeLibrary(full));
  EXPECT_TRUE(mods.FreeLibrary(bare));
  EXPECT_EQ(m.LoadedLibraries(), 0);
  EXPECT_FALSE(mods.FreeLibrary(full));
}

TEST_F(SimModulesTest, LoadingFailsAsWindowsFails) {
  Module("C:\\Q\\BROKEN.DLL", Kind::kComponent, ERROR_DLL_INIT_FAILED);
  m.AddFile("C:\\Q\\TEXT.DLL", "not a module");
  m.AddDirectory("C:\\Q\\DIR.DLL");
  struct Case {
    const char* name;
    DWORD error;
  };
  for (const Case& c : {Case{"C:\\Q\\MISSING.DLL", ERROR_MOD_NOT_FOUND}, Case{"C:\\NOWHERE\\X.DLL", ERROR_MOD_NOT_FOUND},
                        Case{"C:\\Q\\BROKEN.DLL", ERROR_DLL_INIT_FAILED}, Case{"C:\\Q\\TEXT.DLL", ERROR_BAD_EXE_FORMAT},
                        Case{"C:\\Q\\DIR.DLL", ERROR_MOD_NOT_FOUND}, Case{"", ERROR_INVALID_PARAMETER}}) {
    EXPECT_EQ(mods.LoadLibraryA(c.name), nullptr) << c.name;
    EXPECT_EQ(sys.GetLastError(), c.error) << c.name;
  }
}

TEST_F(SimModulesTest, TheStatusManagerRecordsEveryCallWithItsArguments) {
  Module("C:\\WINNT\\System32\\ZOVSRM.DLL", Kind::kStatusManager);
  ModuleSpec spec;
  spec.path = "C:\\WINNT\\System32\\ZOVSRM.DLL";
  spec.kind = Kind::kStatusManager;
  spec.refusedPrinters = {"Refused Printer"};
  m.AddModule(spec);
  HMODULE lib = mods.LoadLibraryA("C:\\WINNT\\System32\\ZOVSRM.DLL");
  FARPROC open = mods.GetProcAddress(lib, "OpenManagerExA");
  FARPROC update = mods.GetProcAddress(lib, "UpdatePrinterStatusA");
  FARPROC close = mods.GetProcAddress(lib, "CloseManager");
  HANDLE h = nullptr;
  EXPECT_EQ(mods.OpenManagerExA(open, "Refused Printer", 0, 1, &h), ERROR_INVALID_PRINTER_NAME);
  ASSERT_EQ(mods.OpenManagerExA(open, "Qorvex Printer", 0, 1, &h), 0u);
  DWORD zero = 0;
  EXPECT_EQ(mods.UpdatePrinterStatusA(update, h, "ServerConnection", &zero, 4), 0u);
  EXPECT_EQ(m.OpenStatusManagers(), 1);
  EXPECT_EQ(mods.CloseManager(close, h), 0u);
  EXPECT_EQ(m.OpenStatusManagers(), 0);
  mods.FreeLibrary(lib);
  EXPECT_EQ(mods.CloseManager(close, h), ERROR_INVALID_FUNCTION);  // the library is gone
  std::vector<std::string> calls = m.Calls();
  ASSERT_EQ(calls.size(), 10u);
  EXPECT_EQ(calls[4], "OpenManagerExA(\"Refused Printer\", 0, 1) = 1801");
  EXPECT_EQ(calls[5], "OpenManagerExA(\"Qorvex Printer\", 0, 1) = 0, manager Qorvex Printer");
  EXPECT_EQ(calls[6], "UpdatePrinterStatusA(manager Qorvex Printer, \"ServerConnection\", 00 00 00 00, 4) = 0");
  EXPECT_EQ(calls[7], "CloseManager(manager Qorvex Printer) = 0");
  EXPECT_NE(calls[9].find("would crash"), std::string::npos) << calls[9];
}

// DllUnregisterServer and "/UnregServer" remove the classes whose server is that very file,
// however the registration names it, with their ProgIDs and AppIDs; other classes stay.
TEST_F(SimModulesTest, UnregisteringRemovesTheComponentsOwnClasses) {
  const std::string cls = "HKEY_CLASSES_ROOT\\CLSID\\";
  Module("C:\\Program Files\\Q\\A.DLL", Kind::kComponent);
  Module("C:\\Program Files\\Q\\EXP.EXE", Kind::kComponentProgram);
  m.SetString(cls + "{A}\\InprocServer32", "", "C:\\PROGRA~1\\q\\a.dll");
  m.SetString(cls + "{A}\\ProgID", "", "Q.A.1");
  m.SetString("HKEY_CLASSES_ROOT\\Q.A.1\\CLSID", "", "{A}");
  m.SetString(cls + "{B}\\InprocServer32", "", "C:\\Other\\A.DLL");
  m.SetString(cls + "{C}\\InprocServer32", "", "a.dll");  // found by the search path
  m.SetString(cls + "{E}", "AppID", "{E}");
  m.SetString(cls + "{E}\\LocalServer32", "", "C:\\Program Files\\Q\\EXP.EXE /Automation");
  m.SetString("HKEY_CLASSES_ROOT\\AppID\\{E}", "", "EXP");
  HMODULE a = mods.LoadLibraryA("C:\\Program Files\\Q\\A.DLL");
  EXPECT_EQ(mods.DllUnregisterServer(mods.GetProcAddress(a, "DllUnregisterServer")), S_OK);
  EXPECT_FALSE(m.HasKey(cls + "{A}"));
  EXPECT_FALSE(m.HasKey("HKEY_CLASSES_ROOT\\Q.A.1"));
  EXPECT_FALSE(m.HasKey(cls + "{C}"));
  EXPECT_TRUE(m.HasKey(cls + "{B}"));
  STARTUPINFOA si;
  PROCESS_INFORMATION pi;
  ASSERT_TRUE(mods.CreateProcessA(nullptr, "\"C:\\Program Files\\Q\\EXP.EXE\" /UnregServer", FALSE, 0, nullptr, si, pi));
  EXPECT_EQ(LastCall(),
            "CreateProcessA(NULL, \"\"C:\\Program Files\\Q\\EXP.EXE\" /UnregServer\", 0, 0, NULL, cb 68 flags 0) = 1, "
            "started C:\\Program Files\\Q\\EXP.EXE, 1 classes removed");
  EXPECT_FALSE(m.HasKey(cls + "{E}"));
  EXPECT_FALSE(m.HasKey("HKEY_CLASSES_ROOT\\AppID\\{E}"));
  EXPECT_EQ(m.OpenProcessHandles(), 2);
  EXPECT_TRUE(mods.CloseHandle(pi.hProcess));
  EXPECT_TRUE(mods.CloseHandle(pi.hThread));
  EXPECT_EQ(m.OpenProcessHandles(), 0);
}

// An unquoted command line is read at each blank in turn, so "C:\Program.exe" runs in place
// of a program under "C:\Program Files".
TEST_F(SimModulesTest, AnUnquotedPathWithBlanksStartsTheFirstProgramItNames) {
  Module("C:\\Program Files\\Q\\EXP.EXE", Kind::kComponentProgram);
  STARTUPINFOA si;
  PROCESS_INFORMATION pi;
  struct Case {
    const char* line;
    const char* started;  // "" when it fails
    DWORD error;
  };
  for (bool planted : {false, true}) {
    if (planted) Module("C:\\Program.exe", Kind::kProgram);
    for (const Case& c : {Case{"C:\\Program Files\\Q\\EXP.EXE /UnregServer", planted ? "C:\\Program.exe" : "C:\\Program Files\\Q\\EXP.EXE", 0},
                          Case{"\"C:\\Program Files\\Q\\EXP.EXE\" /UnregServer", "C:\\Program Files\\Q\\EXP.EXE", 0},
                          Case{"\"C:\\Program Files\\Q\\NONE.EXE\"", "", ERROR_FILE_NOT_FOUND},
                          Case{"\"C:\\NoDir\\X.EXE\"", "", ERROR_PATH_NOT_FOUND}}) {
      BOOL ok = mods.CreateProcessA(nullptr, c.line, FALSE, 0, nullptr, si, pi);
      EXPECT_EQ(ok != FALSE, *c.started != '\0') << c.line;
      if (ok) {
        EXPECT_NE(LastCall().find(std::string("started ") + c.started), std::string::npos) << LastCall();
      } else {
        EXPECT_EQ(sys.GetLastError(), c.error) << c.line;
      }
    }
  }
  EXPECT_FALSE(mods.CreateProcessA(nullptr, "C:\\Program Files\\Q\\EXP.EXE", FALSE, 0, "C:\\NoSuchDir", si, pi));
  EXPECT_EQ(sys.GetLastError(), ERROR_DIRECTORY);
}

}  // namespace
}  // namespace qx::sim
