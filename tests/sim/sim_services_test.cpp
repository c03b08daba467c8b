// The simulated service control manager: services are their registry keys, states come from
// the machine and change as the service's behaviour says, deletion waits for the last handle
// and for the service to stop.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace qx::sim {
namespace {

constexpr const char* kSpoolerKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Spooler";

class SimServicesTest : public ::testing::Test {
 protected:
  SimMachine m;
  Services& svc = m.platform().services;
  System& sys = m.platform().system;

  void SetUp() override { m.AddKey(kSpoolerKey); }
};

TEST_F(SimServicesTest, TheManagerOpensOnlyOnNtWithRights) {
  struct Case {
    DWORD platform;
    bool openable;
    DWORD error;  // 0: opens
  };
  for (const Case& c : {Case{VER_PLATFORM_WIN32_NT, true, 0}, Case{VER_PLATFORM_WIN32_NT, false, ERROR_ACCESS_DENIED},
                        Case{VER_PLATFORM_WIN32_WINDOWS, true, ERROR_CALL_NOT_IMPLEMENTED}}) {
    SimMachine fresh;
    fresh.settings().platformId = c.platform;
    fresh.settings().serviceManagerOpenable = c.openable;
    SC_HANDLE h = fresh.platform().services.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (c.error == 0) {
      EXPECT_NE(h, nullptr);
      EXPECT_TRUE(fresh.platform().services.CloseServiceHandle(h));
    } else {
      EXPECT_EQ(h, nullptr);
      EXPECT_EQ(fresh.platform().system.GetLastError(), c.error);
    }
  }
}

TEST_F(SimServicesTest, ServicesAreFoundByTheirKeyWithoutCase) {
  SC_HANDLE scm = svc.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  struct Case {
    const char* name;
    DWORD error;
  };
  for (const Case& c : {Case{"SPOOLER", 0}, Case{"spooler", 0}, Case{"W3SVC", ERROR_SERVICE_DOES_NOT_EXIST},
                        Case{"", ERROR_INVALID_NAME}, Case{"a\\b", ERROR_INVALID_NAME}, Case{"a/b", ERROR_INVALID_NAME}}) {
    SC_HANDLE s = svc.OpenServiceA(scm, c.name, SERVICE_ALL_ACCESS);
    if (c.error == 0) {
      EXPECT_NE(s, nullptr) << c.name;
      svc.CloseServiceHandle(s);
    } else {
      EXPECT_EQ(s, nullptr) << c.name;
      EXPECT_EQ(sys.GetLastError(), c.error) << c.name;
    }
  }
  EXPECT_EQ(svc.OpenServiceA(nullptr, "Spooler", SERVICE_ALL_ACCESS), nullptr);
  EXPECT_EQ(sys.GetLastError(), ERROR_INVALID_HANDLE);
  svc.CloseServiceHandle(scm);
}

TEST_F(SimServicesTest, StopAndStartChangeTheMachinesState) {
  m.SetServiceState("Spooler", SERVICE_RUNNING);
  SC_HANDLE scm = svc.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE s = svc.OpenServiceA(scm, "Spooler", SERVICE_ALL_ACCESS);
  SERVICE_STATUS st;
  ASSERT_TRUE(svc.QueryServiceStatus(s, st));
  EXPECT_EQ(st.dwCurrentState, SERVICE_RUNNING);
  EXPECT_FALSE(svc.StartServiceA(s, 0, nullptr));
  EXPECT_EQ(sys.GetLastError(), ERROR_SERVICE_ALREADY_RUNNING);
  ASSERT_TRUE(svc.ControlService(s, SERVICE_CONTROL_STOP, st));
  EXPECT_EQ(st.dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(m.ServiceState("Spooler"), SERVICE_STOPPED);
  EXPECT_FALSE(svc.ControlService(s, SERVICE_CONTROL_STOP, st));
  EXPECT_EQ(sys.GetLastError(), ERROR_SERVICE_NOT_ACTIVE);
  ASSERT_TRUE(svc.StartServiceA(s, 0, nullptr));
  EXPECT_EQ(m.ServiceState("Spooler"), SERVICE_RUNNING);
  svc.CloseServiceHandle(s);
  svc.CloseServiceHandle(scm);
}

TEST_F(SimServicesTest, ADeletedServiceGoesWhenItsLastHandleCloses) {
  m.AddKey(std::string(kSpoolerKey) + "\\Parameters");
  SC_HANDLE scm = svc.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE a = svc.OpenServiceA(scm, "Spooler", SERVICE_ALL_ACCESS);
  SC_HANDLE b = svc.OpenServiceA(scm, "Spooler", SERVICE_ALL_ACCESS);
  ASSERT_TRUE(svc.DeleteService(a));
  EXPECT_FALSE(svc.DeleteService(b));
  EXPECT_EQ(sys.GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
  EXPECT_FALSE(svc.StartServiceA(b, 0, nullptr));
  EXPECT_EQ(sys.GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
  svc.CloseServiceHandle(a);
  EXPECT_TRUE(m.HasKey(kSpoolerKey));
  svc.CloseServiceHandle(b);
  EXPECT_FALSE(m.HasKey(kSpoolerKey));
  EXPECT_EQ(m.ServiceState("Spooler"), std::nullopt);
  svc.CloseServiceHandle(scm);
}


constexpr const char* kServices = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\";

std::string Multi(std::initializer_list<const char*> items) {
  std::string data;
  for (const char* i : items) data += std::string(i) + '\0';
  return data + '\0';
}

// One open service on a fresh machine, for the state-machine cases.
struct OneService {
  SimMachine m;
  Services& svc = m.platform().services;
  System& sys = m.platform().system;
  SC_HANDLE scm = nullptr;
  SC_HANDLE s = nullptr;

  explicit OneService(DWORD state, ServiceBehaviour b = {}, DWORD access = SERVICE_ALL_ACCESS) {
    m.AddKey(std::string(kServices) + "Spooler");
    m.SetServiceState("Spooler", state);
    m.SetServiceBehaviour("Spooler", b);
    scm = svc.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    s = svc.OpenServiceA(scm, "Spooler", access);
  }
  ~OneService() {
    if (s) svc.CloseServiceHandle(s);
    if (scm) svc.CloseServiceHandle(scm);
  }
  DWORD Poll() {
    SERVICE_STATUS st;
    EXPECT_TRUE(svc.QueryServiceStatus(s, st));
    return st.dwCurrentState;
  }
};

TEST(SimServiceStateMachine, AStopCompletesAfterItsPolls) {
  struct Case {
    const char* name;
    DWORD from;
    ServiceBehaviour b;
    DWORD reported;       // the state ControlService returns
    int pollsUntilStopped;  // -1: never within 50 polls
  };
  for (const Case& c : {
           Case{"at once", SERVICE_RUNNING, {}, SERVICE_STOPPED, 0},
           Case{"one poll", SERVICE_RUNNING, {.pollsToStop = 1}, SERVICE_STOP_PENDING, 1},
           Case{"three polls", SERVICE_RUNNING, {.pollsToStop = 3}, SERVICE_STOP_PENDING, 3},
           Case{"from paused", SERVICE_PAUSED, {.pollsToStop = 2}, SERVICE_STOP_PENDING, 2},
           Case{"never", SERVICE_RUNNING, {.neverStops = true}, SERVICE_STOP_PENDING, -1},
           Case{"never despite a count", SERVICE_RUNNING, {.pollsToStop = 2, .neverStops = true}, SERVICE_STOP_PENDING, -1},
       }) {
    SCOPED_TRACE(c.name);
    OneService o(c.from, c.b);
    SERVICE_STATUS st;
    ASSERT_TRUE(o.svc.ControlService(o.s, SERVICE_CONTROL_STOP, st));
    EXPECT_EQ(st.dwCurrentState, c.reported);
    EXPECT_EQ(o.m.ServiceState("Spooler"), c.reported);
    int polls = 0;
    while (o.m.ServiceState("Spooler") != SERVICE_STOPPED && polls < 50) {
      DWORD state = o.Poll();
      ++polls;
      EXPECT_EQ(state, *o.m.ServiceState("Spooler"));
    }
    EXPECT_EQ(polls == 50 ? -1 : polls, c.pollsUntilStopped);
    EXPECT_EQ(o.m.StatusQueries("Spooler"), polls);
    EXPECT_EQ(o.m.ControlRequests("Spooler"), 1);
  }
}

TEST(SimServiceStateMachine, AStartCompletesAfterItsPolls) {
  struct Case {
    const char* name;
    ServiceBehaviour b;
    DWORD reported;
    int pollsUntilRunning;  // -1: never within 50 polls
  };
  for (const Case& c : {Case{"at once", {}, SERVICE_RUNNING, 0},
                        Case{"two polls", {.pollsToStart = 2}, SERVICE_START_PENDING, 2},
                        Case{"never", {.neverStarts = true}, SERVICE_START_PENDING, -1}}) {
    SCOPED_TRACE(c.name);
    OneService o(SERVICE_STOPPED, c.b);
    ASSERT_TRUE(o.svc.StartServiceA(o.s, 0, nullptr));
    EXPECT_EQ(o.m.ServiceState("Spooler"), c.reported);
    int polls = 0;
    while (o.m.ServiceState("Spooler") != SERVICE_RUNNING && polls < 50) {
      o.Poll();
      ++polls;
    }
    EXPECT_EQ(polls == 50 ? -1 : polls, c.pollsUntilRunning);
    EXPECT_EQ(o.m.StartRequests("Spooler"), 1);
  }
}

TEST(SimServiceStateMachine, ControlsAreRefusedOrObeyedByState) {
  struct Case {
    DWORD from;
    ServiceBehaviour b;
    DWORD control;
    DWORD error;  // 0: succeeds
    DWORD after;
  };
  constexpr DWORD kShutdown = 5;
  for (const Case& c : {
           Case{SERVICE_STOPPED, {}, SERVICE_CONTROL_STOP, ERROR_SERVICE_NOT_ACTIVE, SERVICE_STOPPED},
           Case{SERVICE_RUNNING, {.refuseStop = ERROR_DEPENDENT_SERVICES_RUNNING}, SERVICE_CONTROL_STOP,
                ERROR_DEPENDENT_SERVICES_RUNNING, SERVICE_RUNNING},
           Case{SERVICE_START_PENDING, {}, SERVICE_CONTROL_STOP, ERROR_SERVICE_CANNOT_ACCEPT_CTRL, SERVICE_START_PENDING},
           Case{SERVICE_STOP_PENDING, {.neverStops = true}, SERVICE_CONTROL_STOP, ERROR_SERVICE_CANNOT_ACCEPT_CTRL,
                SERVICE_STOP_PENDING},
           Case{SERVICE_START_PENDING, {.refuseStop = ERROR_ACCESS_DENIED}, SERVICE_CONTROL_STOP, ERROR_ACCESS_DENIED,
                SERVICE_START_PENDING},
           Case{SERVICE_PAUSED, {}, SERVICE_CONTROL_STOP, 0, SERVICE_STOPPED},
           Case{SERVICE_RUNNING, {}, SERVICE_CONTROL_PAUSE, 0, SERVICE_PAUSED},
           Case{SERVICE_PAUSED, {}, SERVICE_CONTROL_CONTINUE, 0, SERVICE_RUNNING},
           Case{SERVICE_STOPPED, {}, SERVICE_CONTROL_PAUSE, ERROR_SERVICE_NOT_ACTIVE, SERVICE_STOPPED},
           Case{SERVICE_STOPPED, {}, SERVICE_CONTROL_CONTINUE, ERROR_SERVICE_NOT_ACTIVE, SERVICE_STOPPED},
           Case{SERVICE_START_PENDING, {}, SERVICE_CONTROL_CONTINUE, ERROR_SERVICE_CANNOT_ACCEPT_CTRL,
                SERVICE_START_PENDING},
           Case{SERVICE_RUNNING, {}, SERVICE_CONTROL_INTERROGATE, 0, SERVICE_RUNNING},
           Case{SERVICE_STOPPED, {}, SERVICE_CONTROL_INTERROGATE, ERROR_SERVICE_NOT_ACTIVE, SERVICE_STOPPED},
           Case{SERVICE_RUNNING, {}, kShutdown, ERROR_INVALID_PARAMETER, SERVICE_RUNNING},
           Case{SERVICE_RUNNING, {}, 200, ERROR_INVALID_SERVICE_CONTROL, SERVICE_RUNNING},
       }) {
    SCOPED_TRACE("from " + std::to_string(c.from) + " control " + std::to_string(c.control));
    OneService o(c.from, c.b);
    SERVICE_STATUS st;
    BOOL ok = o.svc.ControlService(o.s, c.control, st);
    EXPECT_EQ(ok, c.error == 0);
    if (c.error) {
      EXPECT_EQ(o.sys.GetLastError(), c.error);
    }
    EXPECT_EQ(o.m.ServiceState("Spooler"), c.after);
    if (c.error == 0 || c.error == ERROR_SERVICE_NOT_ACTIVE || c.error == ERROR_SERVICE_CANNOT_ACCEPT_CTRL) {
      EXPECT_EQ(st.dwCurrentState, c.after);  // the status comes back with these answers
    }
  }
}

TEST(SimServiceStateMachine, StartsAreRefusedUnlessStoppedAndAllowed) {
  struct Case {
    const char* name;
    DWORD from;
    ServiceBehaviour b;
    DWORD startType;  // 0: no Start value
    DWORD error;
  };
  for (const Case& c : {
           Case{"running", SERVICE_RUNNING, {}, 0, ERROR_SERVICE_ALREADY_RUNNING},
           Case{"stop pending", SERVICE_STOP_PENDING, {.neverStops = true}, 0, ERROR_SERVICE_ALREADY_RUNNING},
           Case{"paused", SERVICE_PAUSED, {}, 0, ERROR_SERVICE_ALREADY_RUNNING},
           Case{"disabled", SERVICE_STOPPED, {}, 4, ERROR_SERVICE_DISABLED},
           Case{"refusing", SERVICE_STOPPED, {.refuseStart = ERROR_SERVICE_REQUEST_TIMEOUT}, 3,
                ERROR_SERVICE_REQUEST_TIMEOUT},
       }) {
    SCOPED_TRACE(c.name);
    OneService o(c.from, c.b);
    if (c.startType) o.m.SetDword(std::string(kServices) + "Spooler", "Start", c.startType);
    EXPECT_FALSE(o.svc.StartServiceA(o.s, 0, nullptr));
    EXPECT_EQ(o.sys.GetLastError(), c.error);
    EXPECT_EQ(o.m.ServiceState("Spooler"), c.from);
  }
}

TEST(SimServiceStateMachine, AStopIsRefusedWhileAServiceThatDependsOnItRuns) {
  struct Case {
    const char* name;
    const char* valueName;  // of the dependent's key
    std::string dependencies;
    DWORD dependentState;
    DWORD error;  // 0: the stop succeeds
  };
  for (const Case& c : {
           Case{"by name", "DependOnService", Multi({"RpcSs", "Spooler"}), SERVICE_RUNNING,
                ERROR_DEPENDENT_SERVICES_RUNNING},
           Case{"by name in other case", "DependOnService", Multi({"SPOOLER"}), SERVICE_PAUSED,
                ERROR_DEPENDENT_SERVICES_RUNNING},
           Case{"dependent stopped", "DependOnService", Multi({"Spooler"}), SERVICE_STOPPED, 0},
           Case{"by its group", "DependOnService", Multi({"ZOVSDS", "+SpoolerGroup"}), SERVICE_RUNNING,
                ERROR_DEPENDENT_SERVICES_RUNNING},
           Case{"by its group, as Windows stores it", "DependOnGroup", Multi({"spoolergroup"}), SERVICE_START_PENDING,
                ERROR_DEPENDENT_SERVICES_RUNNING},
           Case{"another group", "DependOnService", Multi({"+Parallel arbitrator"}), SERVICE_RUNNING, 0},
           Case{"a group name without +", "DependOnService", Multi({"SpoolerGroup"}), SERVICE_RUNNING, 0},
       }) {
    SCOPED_TRACE(c.name);
    OneService o(SERVICE_RUNNING);
    o.m.SetString(std::string(kServices) + "Spooler", "Group", "SpoolerGroup");
    o.m.SetValue(std::string(kServices) + "ZOVPMN", c.valueName, REG_MULTI_SZ, c.dependencies);
    o.m.SetServiceState("ZOVPMN", c.dependentState);
    SERVICE_STATUS st;
    EXPECT_EQ(o.svc.ControlService(o.s, SERVICE_CONTROL_STOP, st), c.error == 0);
    if (c.error) {
      EXPECT_EQ(o.sys.GetLastError(), c.error);
    }
    EXPECT_EQ(o.m.ServiceState("Spooler"), c.error ? SERVICE_RUNNING : SERVICE_STOPPED);
    EXPECT_EQ(o.m.ServiceState("ZOVPMN"), c.dependentState);
  }
}

TEST(SimServiceStateMachine, EachCallNeedsItsAccessRight) {
  constexpr DWORD kQueryStatus = 0x4, kStart = 0x10, kStop = 0x20, kPauseContinue = 0x40, kDelete = 0x10000;
  constexpr DWORD kGenericExecute = 0x20000000;
  enum Call { kQuery, kStopCall, kPause, kStartCall, kDeleteCall };
  struct Case {
    DWORD access;
    Call call;
    bool allowed;
  };
  for (const Case& c : {
           Case{kQueryStatus, kQuery, true},          Case{kStop, kQuery, false},
           Case{GENERIC_READ, kQuery, true},          Case{kQueryStatus, kStopCall, false},
           Case{kStop, kStopCall, true},              Case{kGenericExecute, kStopCall, true},
           Case{GENERIC_READ, kStopCall, false},      Case{kStop, kPause, false},
           Case{kPauseContinue, kPause, true},        Case{kStop, kStartCall, false},
           Case{kStart, kStartCall, true},            Case{kGenericExecute, kDeleteCall, false},
           Case{kDelete, kDeleteCall, true},          Case{SERVICE_ALL_ACCESS, kDeleteCall, true},
       }) {
    SCOPED_TRACE("access " + std::to_string(c.access) + " call " + std::to_string(c.call));
    DWORD from = c.call == kStartCall ? SERVICE_STOPPED : SERVICE_RUNNING;
    OneService o(from, {}, c.access);
    ASSERT_NE(o.s, nullptr);
    SERVICE_STATUS st;
    BOOL ok = FALSE;
    switch (c.call) {
      case kQuery: ok = o.svc.QueryServiceStatus(o.s, st); break;
      case kStopCall: ok = o.svc.ControlService(o.s, SERVICE_CONTROL_STOP, st); break;
      case kPause: ok = o.svc.ControlService(o.s, SERVICE_CONTROL_PAUSE, st); break;
      case kStartCall: ok = o.svc.StartServiceA(o.s, 0, nullptr); break;
      case kDeleteCall: ok = o.svc.DeleteService(o.s); break;
    }
    EXPECT_EQ(ok, c.allowed);
    if (!c.allowed) {
      EXPECT_EQ(o.sys.GetLastError(), ERROR_ACCESS_DENIED);
      EXPECT_EQ(o.m.ServiceState("Spooler"), from);
      EXPECT_FALSE(o.m.ServiceMarkedForDelete("Spooler"));
    }
  }
}

TEST(SimServiceStateMachine, DeletionMarksTheKeyAndWaitsForTheStopAndTheLastHandle) {
  const std::string key = std::string(kServices) + "Spooler";
  OneService o(SERVICE_RUNNING, {.pollsToStop = 2});
  ASSERT_TRUE(o.svc.DeleteService(o.s));
  ASSERT_TRUE(o.m.Value(key, "DeleteFlag"));
  EXPECT_EQ(o.m.Value(key, "DeleteFlag")->type, REG_DWORD);
  EXPECT_EQ(o.m.Value(key, "DeleteFlag")->data, std::string("\x01\0\0\0", 4));
  EXPECT_TRUE(o.m.ServiceMarkedForDelete("Spooler"));
  SC_HANDLE again = o.svc.OpenServiceA(o.scm, "Spooler", SERVICE_ALL_ACCESS);  // still opens
  ASSERT_NE(again, nullptr);
  EXPECT_FALSE(o.svc.DeleteService(again));
  EXPECT_EQ(o.sys.GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
  o.svc.CloseServiceHandle(again);
  EXPECT_TRUE(o.m.HasKey(key));  // still running

  SERVICE_STATUS st;
  ASSERT_TRUE(o.svc.ControlService(o.s, SERVICE_CONTROL_STOP, st));
  EXPECT_EQ(o.Poll(), SERVICE_STOP_PENDING);
  EXPECT_EQ(o.Poll(), SERVICE_STOPPED);
  EXPECT_TRUE(o.m.HasKey(key));  // the handle is still open
  o.svc.CloseServiceHandle(o.s);
  o.s = nullptr;
  EXPECT_FALSE(o.m.HasKey(key));
}

TEST(SimServiceStateMachine, ARunningServiceMarkedForDeletionGoesWhenItStops) {
  const std::string key = std::string(kServices) + "Spooler";
  OneService o(SERVICE_RUNNING);
  ASSERT_TRUE(o.svc.DeleteService(o.s));
  o.svc.CloseServiceHandle(o.s);
  o.s = nullptr;
  EXPECT_TRUE(o.m.HasKey(key));
  o.m.SetServiceState("Spooler", SERVICE_STOPPED);
  EXPECT_FALSE(o.m.HasKey(key));
}

TEST(SimServiceStateMachine, Windows9xHasNoServiceManager) {
  OneService o(SERVICE_RUNNING);
  o.m.settings().platformId = VER_PLATFORM_WIN32_WINDOWS;
  SERVICE_STATUS st;
  std::vector<std::pair<const char*, BOOL>> calls = {
      {"OpenSCManagerA", o.svc.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS) != nullptr},
      {"OpenServiceA", o.svc.OpenServiceA(o.scm, "Spooler", SERVICE_ALL_ACCESS) != nullptr},
      {"QueryServiceStatus", o.svc.QueryServiceStatus(o.s, st)},
      {"ControlService", o.svc.ControlService(o.s, SERVICE_CONTROL_STOP, st)},
      {"StartServiceA", o.svc.StartServiceA(o.s, 0, nullptr)},
      {"DeleteService", o.svc.DeleteService(o.s)},
  };
  for (const auto& [name, ok] : calls) EXPECT_FALSE(ok) << name;
  EXPECT_FALSE(o.svc.CloseServiceHandle(o.s));
  EXPECT_EQ(o.sys.GetLastError(), ERROR_CALL_NOT_IMPLEMENTED);
  EXPECT_EQ(o.m.ServiceState("Spooler"), SERVICE_RUNNING);
  EXPECT_TRUE(o.m.ServiceCalls().empty());
  o.m.settings().platformId = VER_PLATFORM_WIN32_NT;  // so that the handles close
}

TEST(SimServiceStateMachine, CallsAreRecordedInOrder) {
  OneService o(SERVICE_RUNNING, {.pollsToStop = 1});
  SERVICE_STATUS st;
  o.svc.ControlService(o.s, SERVICE_CONTROL_STOP, st);
  o.svc.QueryServiceStatus(o.s, st);
  o.svc.ControlService(o.s, SERVICE_CONTROL_STOP, st);
  o.svc.StartServiceA(o.s, 0, nullptr);
  std::vector<ServiceCall> calls = o.m.ServiceCalls();
  ASSERT_EQ(calls.size(), 4u);
  const ServiceCall expected[] = {
      {"ControlService", "Spooler", SERVICE_CONTROL_STOP, 0, SERVICE_STOP_PENDING},
      {"QueryServiceStatus", "Spooler", 0, 0, SERVICE_STOPPED},
      {"ControlService", "Spooler", SERVICE_CONTROL_STOP, ERROR_SERVICE_NOT_ACTIVE, SERVICE_STOPPED},
      {"StartServiceA", "Spooler", 0, 0, SERVICE_RUNNING},
  };
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(calls[i].call, expected[i].call);
    EXPECT_EQ(calls[i].service, expected[i].service);
    EXPECT_EQ(calls[i].control, expected[i].control);
    EXPECT_EQ(calls[i].error, expected[i].error);
    EXPECT_EQ(calls[i].state, expected[i].state);
  }
}

TEST(SimServiceStateMachine, AFileTheServiceHoldsIsFreeOnceItReportsStopped) {
  OneService o(SERVICE_RUNNING, {.pollsToStop = 2});
  Files& files = o.m.platform().files;
  const char* spool = "C:\\WINNT\\System32\\spool\\PRINTERS\\00001.SPL";
  o.m.AddFile(spool, "job");
  o.m.SetLockedBy(spool, "SPOOLER");
  EXPECT_EQ(o.m.File(spool)->lockedBy, "SPOOLER");

  auto refusedAll = [&] {
    bool all = true;
    all &= !files.DeleteFileA(spool) && o.sys.GetLastError() == ERROR_SHARING_VIOLATION;
    all &= !files.MoveFileA(spool, "C:\\moved.spl") && o.sys.GetLastError() == ERROR_SHARING_VIOLATION;
    HANDLE h = files.CreateFileA(spool, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
    all &= h == INVALID_HANDLE_VALUE && o.sys.GetLastError() == ERROR_SHARING_VIOLATION;
    return all;
  };
  EXPECT_TRUE(refusedAll());
  SERVICE_STATUS st;
  ASSERT_TRUE(o.svc.ControlService(o.s, SERVICE_CONTROL_STOP, st));
  EXPECT_TRUE(refusedAll()) << "still stopping";
  o.Poll();
  EXPECT_TRUE(refusedAll()) << "still stopping";
  o.Poll();
  EXPECT_TRUE(files.DeleteFileA(spool));
  EXPECT_FALSE(o.m.HasFile(spool));
}

TEST(SimServiceStateMachine, AServiceReleasesItsFilesForGoodAndOnlyWhileRunningHoldsThem) {
  OneService o(SERVICE_STOPPED);
  Files& files = o.m.platform().files;
  o.m.AddFile("C:\\a.spl", "a");
  o.m.AddFile("C:\\b.spl", "b");
  o.m.SetLockedBy("C:\\a.spl", "Spooler");
  EXPECT_TRUE(files.SetFileAttributesA("C:\\a.spl", FILE_ATTRIBUTE_NORMAL));
  HANDLE h = files.CreateFileA("C:\\a.spl", GENERIC_WRITE, 0, OPEN_EXISTING, 0);
  EXPECT_NE(h, INVALID_HANDLE_VALUE) << "a stopped service holds nothing";
  files.CloseHandle(h);
  ASSERT_TRUE(o.svc.StartServiceA(o.s, 0, nullptr));
  EXPECT_FALSE(files.DeleteFileA("C:\\a.spl"));
  SERVICE_STATUS st;
  ASSERT_TRUE(o.svc.ControlService(o.s, SERVICE_CONTROL_STOP, st));
  ASSERT_TRUE(o.svc.StartServiceA(o.s, 0, nullptr));
  EXPECT_EQ(o.m.File("C:\\a.spl")->lockedBy, "");
  EXPECT_TRUE(files.DeleteFileA("C:\\a.spl"));
  o.m.SetLockedBy("C:\\b.spl", "Spooler");
  o.m.SetLocked("C:\\b.spl", false);
  EXPECT_TRUE(files.DeleteFileA("C:\\b.spl"));
}

}  // namespace
}  // namespace qx::sim
