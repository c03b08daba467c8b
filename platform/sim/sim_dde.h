// The DDEML client calls on the simulated machine, with the Windows shell's Program Manager
// as the one server that answers (service and topic "PROGMAN"). Internal to platform/sim.
//
// DDEML's rules for a client hold: instance ids, string handles, data handles and
// conversations are valid from their creation until their release (a data handle passed to a
// transaction is released by it unless HDATA_APPOWNED), and a call with a released or
// foreign one fails with the DDEML error Windows gives.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace qx::sim {

class DdeCore final : public Dde {
 public:
  explicit DdeCore(SimMachine::State& s) : s_(s) {}
  UINT DdeInitializeA(DWORD* instance, PFNCALLBACK callback, DWORD command, DWORD reserved) override;
  HSZ DdeCreateStringHandleA(DWORD instance, const char* text, int codePage) override;
  BOOL DdeFreeStringHandle(DWORD instance, HSZ hsz) override;
  HCONV DdeConnect(DWORD instance, HSZ service, HSZ topic, const CONVCONTEXT* context) override;
  HDDEDATA DdeCreateDataHandle(DWORD instance, const BYTE* source, DWORD cb, DWORD offset, HSZ item, UINT format,
                               UINT command) override;
  HDDEDATA DdeClientTransaction(const BYTE* data, DWORD cbData, HCONV conv, HSZ item, UINT format, UINT type,
                                DWORD timeoutMs, DWORD* result) override;
  BOOL DdeFreeDataHandle(HDDEDATA data) override;
  BOOL DdeDisconnect(HCONV conv) override;
  BOOL DdeUninitialize(DWORD instance) override;
  UINT DdeGetLastError(DWORD instance) override;

  // Every command text Program Manager received, in order, as sent (code page 932).
  std::vector<std::string> commands;

 private:
  struct Instance {
    UINT lastError = DMLERR_NO_ERROR;
  };
  struct StringHandle {
    DWORD instance = 0;
    std::string text;
    int uses = 0;
  };
  struct DataHandle {
    DWORD instance = 0;
    std::string bytes;
    bool appOwned = false;
  };
  struct Conversation {
    DWORD instance = 0;
  };

  Instance* Find(DWORD instance);
  bool Fail(DWORD instance, UINT error);  // records the error on a live instance; false
  // Program Manager's side of one execute; true when every command in the text succeeded.
  bool Execute(const std::string& text);
  bool RunCommand(const std::string& name, const std::vector<std::string>& args);
  std::string ProgramsFolder() const;  // with a trailing backslash
  bool DeleteTree(const std::string& path);

  SimMachine::State& s_;
  std::map<DWORD, Instance> instances_;
  std::map<std::uintptr_t, StringHandle> strings_;
  std::map<std::uintptr_t, DataHandle> data_;
  std::map<std::uintptr_t, Conversation> conversations_;
  DWORD nextInstance_ = 0x1001;
  std::uintptr_t nextString_ = 0xC001;
  std::uintptr_t nextData_ = 0x50010;
  std::uintptr_t nextConversation_ = 0x30010;
  std::string activeGroup_;  // Program Manager's active group; "" none
};

}  // namespace qx::sim
