// The fixture every contract suite shares: a fresh machine of the linked-in backend.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/contract/contract_machine.h"

namespace qx::contract {

class ContractTest : public ::testing::Test {
 protected:
  std::unique_ptr<ContractMachine> machine = MakeContractMachine();
  Platform& p = machine->platform();
  Registry& reg = p.registry;
  Files& files = p.files;
  Profile& profile = p.profile;
  System& sys = p.system;
  Services& svc = p.services;
  Spooler& spl = p.spooler;

  std::string Scratch(const std::string& name) const { return dir_ + "\\" + name; }

 private:
  std::string dir_ = machine->ScratchDirectory();
};

}  // namespace qx::contract
