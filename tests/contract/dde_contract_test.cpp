// How a DDEML client conversation with Program Manager behaves: its commands on the groups
// folder, and DDEML's rules for instances, string handles, data handles and conversations.
#include <cstring>
#include <string>

#include "tests/contract/contract_fixture.h"

namespace qx::contract {
namespace {

constexpr const char* kGroup = "QX Contract Group";

HDDEDATA Callback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, DWORD_PTR, DWORD_PTR) { return nullptr; }

class DdeContract : public ContractTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(dde.DdeInitializeA(&instance, Callback, APPCMD_CLIENTONLY, 0), DMLERR_NO_ERROR);
    ASSERT_NE(instance, 0u);
    progman = dde.DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI);
    ASSERT_NE(progman, nullptr);
  }
  void TearDown() override {
    if (instance) dde.DdeUninitialize(instance);
  }
  HCONV Connect() {
    if (!machine->WaitForProgramManager()) ADD_FAILURE() << "Program Manager does not answer within 20 s";
    CONVCONTEXT context;
    return dde.DdeConnect(instance, progman, progman, &context);
  }
  // One execute through a data handle, as the eraser sends it; true when it was done.
  bool Execute(HCONV conv, const std::string& command) {
    HDDEDATA data = dde.DdeCreateDataHandle(instance, reinterpret_cast<const BYTE*>(command.c_str()),
                                            static_cast<DWORD>(command.size() + 1), 0, nullptr, CF_TEXT, 0);
    if (!data) return false;
    return dde.DdeClientTransaction(reinterpret_cast<const BYTE*>(data), 0xFFFFFFFFu, conv, nullptr, 0,
                                    XTYP_EXECUTE, 10000, nullptr) != nullptr;
  }
  std::string Group() { return machine->ProgramsFolder() + "\\" + kGroup; }

  Dde& dde = p.dde;
  DWORD instance = 0;
  HSZ progman = nullptr;
};

TEST_F(DdeContract, ProgramManagerCreatesAGroupDeletesAnItemAndTheGroup) {
  HCONV conv = Connect();
  ASSERT_NE(conv, nullptr) << "no DDE server answered PROGMAN, error " << dde.DdeGetLastError(instance);
  ASSERT_FALSE(machine->ProgramsFolder().empty());
  EXPECT_TRUE(Execute(conv, std::string("[CreateGroup(") + kGroup + ")]"));
  EXPECT_TRUE(machine->DirectoryExists(Group()));
  machine->MakeFile(Group() + "\\Readme.lnk", "L");
  machine->MakeFile(Group() + "\\notes.txt", "kept until the group goes");
  EXPECT_TRUE(Execute(conv, "[DeleteItem(Readme)]"));
  EXPECT_FALSE(machine->FileExists(Group() + "\\Readme.lnk"));
  EXPECT_TRUE(machine->FileExists(Group() + "\\notes.txt"));
  EXPECT_TRUE(Execute(conv, std::string("[DeleteGroup(") + kGroup + ")]"));
  EXPECT_FALSE(machine->DirectoryExists(Group()));
  // The group is gone: deleting it again is not done.
  EXPECT_FALSE(Execute(conv, std::string("[DeleteGroup(") + kGroup + ")]"));
  EXPECT_EQ(dde.DdeGetLastError(instance), DMLERR_NOTPROCESSED);
  EXPECT_EQ(dde.DdeGetLastError(instance), DMLERR_NO_ERROR) << "reading the error clears it";
  EXPECT_TRUE(dde.DdeDisconnect(conv));
}

TEST_F(DdeContract, NoServerNoConversation) {
  HSZ nobody = dde.DdeCreateStringHandleA(instance, "QXNOSUCHSERVICE", CP_WINANSI);
  ASSERT_NE(nobody, nullptr);
  CONVCONTEXT context;
  EXPECT_EQ(dde.DdeConnect(instance, nobody, nobody, &context), nullptr);
  EXPECT_EQ(dde.DdeGetLastError(instance), DMLERR_NO_CONV_ESTABLISHED);
  EXPECT_TRUE(dde.DdeFreeStringHandle(instance, nobody));
}

TEST_F(DdeContract, ReleasedHandlesNoLongerWork) {
  HCONV conv = Connect();
  ASSERT_NE(conv, nullptr);
  // A data handle passed to a transaction belongs to DDEML from then on.
  const std::string command = std::string("[DeleteGroup(") + kGroup + ")]";
  HDDEDATA data = dde.DdeCreateDataHandle(instance, reinterpret_cast<const BYTE*>(command.c_str()),
                                          static_cast<DWORD>(command.size() + 1), 0, nullptr, CF_TEXT, 0);
  ASSERT_NE(data, nullptr);
  dde.DdeClientTransaction(reinterpret_cast<const BYTE*>(data), 0xFFFFFFFFu, conv, nullptr, 0, XTYP_EXECUTE, 10000,
                           nullptr);
  const BOOL freedAgain = dde.DdeFreeDataHandle(data);
  TodoWine("a data handle passed to a transaction can still be freed", [&] { EXPECT_FALSE(freedAgain); });
  EXPECT_TRUE(dde.DdeDisconnect(conv));
  EXPECT_FALSE(dde.DdeDisconnect(conv));
  EXPECT_EQ(dde.DdeClientTransaction(reinterpret_cast<const BYTE*>("[X()]"), 6, conv, nullptr, 0, XTYP_EXECUTE, 1000,
                                     nullptr),
            nullptr);
  const DWORD released = instance;
  EXPECT_TRUE(dde.DdeUninitialize(instance));
  instance = 0;
  EXPECT_FALSE(dde.DdeUninitialize(released));
  EXPECT_EQ(dde.DdeCreateStringHandleA(released, "PROGMAN", CP_WINANSI), nullptr);
}

}  // namespace
}  // namespace qx::contract
