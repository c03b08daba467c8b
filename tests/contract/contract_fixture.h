// The fixture every contract suite shares: a fresh machine of the linked-in backend.
#pragma once

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <functional>
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

  // Windows' behaviour, which Wine is known not to have: `checks` states what Windows does,
  // `difference` what Wine does instead. On the simulation and on Windows the checks count as
  // they are. Under Wine they must still fail, as Wine's own tests mark such a case todo_wine:
  // when they all pass there, Wine has come to behave as Windows and the test fails, so that
  // the mark goes and the checks count under Wine too. Calls belong before the checks, so that
  // only the checks' own failures are taken for the difference.
  void TodoWine(const std::string& difference, const std::function<void()>& checks) {
    if (!machine->KnownWineDifference(difference)) {
      checks();
      return;
    }
    ::testing::TestPartResultArray failures;
    {
      ::testing::ScopedFakeTestPartResultReporter quiet(
          ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
      checks();
    }
    if (failures.size() == 0) ADD_FAILURE() << "Wine now behaves as Windows here; the mark is obsolete: " << difference;
  }

 private:
  std::string dir_ = machine->ScratchDirectory();
};

}  // namespace qx::contract
