// How loading a library, starting a program and reaching a named event fail: the errors
// the engine tells apart, on every backend.
#include <string>

#include "tests/contract/contract_fixture.h"

namespace qx::contract {
namespace {

class ModulesContract : public ContractTest {
 protected:
  Modules& mods = p.modules;
};

TEST_F(ModulesContract, LoadingAndStartingFailWithTheirErrors) {
  machine->MakeFile(Scratch("text.dll"), "not a module");
  machine->MakeFile(Scratch("text.exe"), "not a program");
  struct Case {
    std::string name;
    DWORD error;
  };
  for (const Case& c : {Case{Scratch("missing.dll"), ERROR_MOD_NOT_FOUND}, Case{Scratch("text.dll"), ERROR_BAD_EXE_FORMAT}}) {
    EXPECT_EQ(mods.LoadLibraryA(c.name.c_str()), nullptr) << c.name;
    EXPECT_EQ(sys.GetLastError(), c.error) << c.name;
  }
  STARTUPINFOA si;
  PROCESS_INFORMATION pi;
  for (const Case& c : {Case{"\"" + Scratch("missing.exe") + "\" /x", ERROR_FILE_NOT_FOUND},
                        Case{"\"" + Scratch("text.exe") + "\"", ERROR_BAD_EXE_FORMAT}}) {
    EXPECT_FALSE(mods.CreateProcessA(nullptr, c.name.c_str(), FALSE, 0, nullptr, si, pi)) << c.name;
    EXPECT_EQ(sys.GetLastError(), c.error) << c.name;
  }
  std::string line = "\"" + Scratch("text.exe") + "\"";
  EXPECT_FALSE(mods.CreateProcessA(nullptr, line.c_str(), FALSE, 0, Scratch("nowhere").c_str(), si, pi));
  EXPECT_EQ(sys.GetLastError(), ERROR_DIRECTORY);
}

TEST_F(ModulesContract, AnEventOpenedWithoutTheRightToSetItCannotBeSet) {
  const char* name = "QXContract:TerminateTest";
  EXPECT_EQ(sys.OpenEventA(EVENT_MODIFY_STATE, FALSE, name), nullptr);
  EXPECT_EQ(sys.GetLastError(), ERROR_FILE_NOT_FOUND);
  HANDLE own = sys.CreateEventA(TRUE, FALSE, name);
  ASSERT_NE(own, nullptr);
  HANDLE waitOnly = sys.OpenEventA(SYNCHRONIZE, FALSE, name);
  HANDLE setter = sys.OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
  ASSERT_NE(waitOnly, nullptr);
  ASSERT_NE(setter, nullptr);
  EXPECT_FALSE(sys.SetEvent(waitOnly));
  EXPECT_EQ(sys.GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(sys.SetEvent(setter));
  for (HANDLE h : {waitOnly, setter, own}) EXPECT_TRUE(sys.CloseHandle(h));
  EXPECT_EQ(sys.OpenEventA(EVENT_MODIFY_STATE, FALSE, name), nullptr);  // the last handle took it away
}

}  // namespace
}  // namespace qx::contract
