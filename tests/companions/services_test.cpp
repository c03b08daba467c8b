// The service operations against simulated services: their result, what happened to the
// service, and how long they waited on the virtual clock.
#include <gtest/gtest.h>

#include "app/CQXErsDoc.h"
#include "app/services.h"
#include "platform/sim/sim_machine.h"

namespace qx::test {
namespace {

constexpr const char* kServices = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\";

class ServiceControl : public ::testing::Test {
 protected:
  ServiceControl() { doc.osType = kWindowsNT4; }
  void Install(const std::string& name, DWORD state, sim::ServiceBehaviour behaviour = {}) {
    machine.SetDword(kServices + name, "Start", 2);
    machine.SetServiceState(name, state);
    machine.SetServiceBehaviour(name, behaviour);
  }
  DWORD State(const std::string& name) const { return machine.ServiceState(name).value_or(0); }
  // Runs one operation and gives the virtual time it waited.
  template <typename Op>
  std::uint64_t Waited(Op op) {
    std::uint64_t before = machine.ElapsedMs();
    op();
    return machine.ElapsedMs() - before;
  }
  sim::SimMachine machine;
  CQXErsDoc doc{machine.platform()};
};

struct StopCase {
  const char* name;
  DWORD state;
  sim::ServiceBehaviour behaviour;
  int result;
  DWORD stateAfter;
  std::uint64_t waitedMs;
};

TEST_F(ServiceControl, StopWaitsForTheStoppedStateThenOneSecondMore) {
  const StopCase cases[] = {
      {"already stopped", SERVICE_STOPPED, {}, 0, SERVICE_STOPPED, 0},
      {"stops at once", SERVICE_RUNNING, {}, 0, SERVICE_STOPPED, 1000},
      {"three polls", SERVICE_RUNNING, {.pollsToStop = 3}, 0, SERVICE_STOPPED, 3 * 500 + 1000},
      {"paused", SERVICE_PAUSED, {.pollsToStop = 1}, 0, SERVICE_STOPPED, 500 + 1000},
      {"not active", SERVICE_RUNNING, {.refuseStop = ERROR_SERVICE_NOT_ACTIVE}, 0, SERVICE_RUNNING, 0},
      {"refused", SERVICE_RUNNING, {.refuseStop = ERROR_ACCESS_DENIED}, -4, SERVICE_RUNNING, 0},
      {"pending cannot accept", SERVICE_START_PENDING, {.neverStarts = true}, -4, SERVICE_START_PENDING, 0},
      // Never reports stopped: given up after the poll limit rather than waiting for ever.
      {"never stops", SERVICE_RUNNING, {.neverStops = true}, -4, SERVICE_STOP_PENDING, kServicePollLimit * 500},
  };
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.name);
    Install("ZOVRCM", c.state, c.behaviour);
    std::uint64_t waited = Waited([&] { EXPECT_EQ(doc.StopServiceByIndex(kRemoteCareService), c.result); });
    EXPECT_EQ(State("ZOVRCM"), c.stateAfter);
    EXPECT_EQ(waited, c.waitedMs);
  }
}

TEST_F(ServiceControl, StopIsRefusedWhileDependentsRun) {
  Install("ZOVSDS", SERVICE_RUNNING);
  Install("ZOVPQS", SERVICE_RUNNING);
  machine.SetValue(std::string(kServices) + "ZOVPQS", "DependOnService", REG_MULTI_SZ,
                   std::string("ZOVSDS\0+SpoolerGroup\0\0", 22));
  EXPECT_EQ(doc.StopServiceByIndex(kStatusDataService), -3);
  EXPECT_EQ(State("ZOVSDS"), SERVICE_RUNNING);
  EXPECT_EQ(doc.StopServiceByIndex(kPrivateQueueService), 0);
  EXPECT_EQ(doc.StopServiceByIndex(kStatusDataService), 0);
  EXPECT_EQ(State("ZOVSDS"), SERVICE_STOPPED);
}

TEST_F(ServiceControl, DeleteStopsWithoutAskingFirstAndRemovesTheService) {
  struct Case {
    const char* name;
    DWORD state;
    sim::ServiceBehaviour behaviour;
    int result;
    bool keyGone;
    std::uint64_t waitedMs;
  } cases[] = {
      {"stopped: deleted at once", SERVICE_STOPPED, {}, 0, true, 0},
      {"running: polled until stopped", SERVICE_RUNNING, {.pollsToStop = 2}, 0, true, 2 * 500},
      {"stops at once: one poll", SERVICE_RUNNING, {}, 0, true, 500},
      {"stop refused: stays installed", SERVICE_RUNNING, {.refuseStop = ERROR_ACCESS_DENIED}, -3, false, 0},
      {"pending: stays installed", SERVICE_STOP_PENDING, {.neverStops = true}, -3, false, 0},
      // Marked for deletion after the poll limit; it goes when it finally stops.
      {"never stops", SERVICE_RUNNING, {.neverStops = true}, 0, false, kServicePollLimit * 500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Install("ZOVPJR", c.state, c.behaviour);
    std::uint64_t waited = Waited([&] { EXPECT_EQ(doc.DeleteServiceByIndex(kJobRecorderService), c.result); });
    EXPECT_EQ(!machine.HasKey(std::string(kServices) + "ZOVPJR"), c.keyGone);
    EXPECT_EQ(waited, c.waitedMs);
    machine.RemoveKey(std::string(kServices) + "ZOVPJR");
  }
  EXPECT_EQ(doc.DeleteServiceByIndex(kJobRecorderService), -2);
}

TEST_F(ServiceControl, StartPollsUpToAMinuteAndContinuesAPausedService) {
  struct Case {
    const char* name;
    DWORD state;
    sim::ServiceBehaviour behaviour;
    int result;
    DWORD stateAfter;
    std::uint64_t waitedMs;
  } cases[] = {
      {"starts after two polls", SERVICE_STOPPED, {.pollsToStart = 2}, 0, SERVICE_RUNNING, 2 * 500},
      {"starts at once", SERVICE_STOPPED, {}, 0, SERVICE_RUNNING, 500},
      {"never starts", SERVICE_STOPPED, {.neverStarts = true}, -5, SERVICE_START_PENDING, 121 * 500},
      {"start refused", SERVICE_STOPPED, {.refuseStart = ERROR_SERVICE_DISABLED}, -4, SERVICE_STOPPED, 0},
      {"paused", SERVICE_PAUSED, {}, 0, SERVICE_RUNNING, 0},
      {"start pending", SERVICE_START_PENDING, {.neverStarts = true}, 0, SERVICE_START_PENDING, 0},
      {"running", SERVICE_RUNNING, {}, 0, SERVICE_RUNNING, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Install("SPOOLER", c.state, c.behaviour);
    std::uint64_t waited = Waited([&] { EXPECT_EQ(doc.StartServiceByIndex(kSpoolerService), c.result); });
    EXPECT_EQ(State("SPOOLER"), c.stateAfter);
    EXPECT_EQ(waited, c.waitedMs);
  }
}

TEST_F(ServiceControl, StateQueriesTellNotInstalledFromFailure) {
  Install("W3SVC", SERVICE_PAUSED);
  EXPECT_EQ(doc.QueryServiceStateByIndex(kWebService), static_cast<int>(SERVICE_PAUSED));
  EXPECT_EQ(doc.QueryServiceStateByIndex(kParallelService), 0);
  EXPECT_LT(doc.QueryServiceStateByIndex(kServiceCount), 0);
}

TEST_F(ServiceControl, ABadIndexFailsEveryOperationWithoutTouchingTheManager) {
  machine.settings().serviceManagerOpenable = false;
  EXPECT_EQ(doc.StopServiceByIndex(9), -2);
  EXPECT_EQ(doc.DeleteServiceByIndex(9), -2);
  EXPECT_EQ(doc.StartServiceByIndex(100), -2);
  EXPECT_LT(doc.QueryServiceStateByIndex(9), 0);
  EXPECT_EQ(doc.scManager, nullptr);
}

TEST_F(ServiceControl, WithoutRightsEveryOperationFailsAndTheNextOneTriesAgain) {
  Install("ZOVSDS", SERVICE_RUNNING);
  machine.settings().serviceManagerOpenable = false;
  EXPECT_EQ(doc.StopServiceByIndex(kStatusDataService), -1);
  EXPECT_EQ(doc.DeleteServiceByIndex(kStatusDataService), -1);
  EXPECT_EQ(doc.StartServiceByIndex(kStatusDataService), -1);
  EXPECT_LT(doc.QueryServiceStateByIndex(kStatusDataService), 0);
  // Not known to be stopped: its data is not edited behind its back.
  EXPECT_TRUE(doc.IsSpoolerRunning());
  machine.settings().serviceManagerOpenable = true;
  EXPECT_EQ(doc.QueryServiceStateByIndex(kStatusDataService), static_cast<int>(SERVICE_RUNNING));
  EXPECT_NE(doc.scManager, nullptr);
}

TEST_F(ServiceControl, TheSpoolerRunsOnlyWhenItsServiceSaysRunning) {
  EXPECT_FALSE(doc.IsSpoolerRunning());  // not installed
  for (DWORD state : {SERVICE_STOPPED, SERVICE_START_PENDING, SERVICE_PAUSED}) {
    Install("SPOOLER", state, {.neverStarts = true});
    EXPECT_FALSE(doc.IsSpoolerRunning()) << state;
  }
  Install("SPOOLER", SERVICE_RUNNING);
  EXPECT_TRUE(doc.IsSpoolerRunning());
  // A question that fails is asked again; one that never gets an answer is no "stopped".
  Install("SPOOLER", SERVICE_STOPPED);
  machine.AddFault({"QueryServiceStatus", "SPOOLER", 1, ERROR_ACCESS_DENIED});
  machine.AddFault({"OpenServiceA", "SPOOLER", 1, ERROR_NOT_ENOUGH_MEMORY});
  EXPECT_FALSE(doc.IsSpoolerRunning());
  machine.AddFault({"QueryServiceStatus", "SPOOLER", 0, ERROR_ACCESS_DENIED});
  EXPECT_TRUE(doc.IsSpoolerRunning());
  // Windows 95/98 always prints through its spooler, even when asking it fails.
  doc.osType = kWindows9x;
  machine.AddFault({"EnumPrintersA", "", 0, RPC_S_SERVER_UNAVAILABLE});
  EXPECT_TRUE(doc.IsSpoolerRunning());
}

TEST_F(ServiceControl, TheEndOfARunRestartsTheSpoolerOnNtOnly) {
  machine.AddFile("C:\\QXErs\\QXErs.ini", "[ENVIRONMENT]\r\nAP=QXERASER\r\nSUPPORTOS=95N4\r\nDELFLG=000\r\n");
  Install("SPOOLER", SERVICE_RUNNING, {.pollsToStop = 1, .pollsToStart = 1});
  std::uint64_t waited = Waited([&] {
    doc.StartErase(nullptr, -1);
    machine.JoinThreads();
  });
  EXPECT_EQ(State("SPOOLER"), SERVICE_RUNNING);
  EXPECT_EQ(waited, 500u + 1000 + 500);  // one stop poll, the extra second, one start poll
}

}  // namespace
}  // namespace qx::test
