// The simulated service control manager: services are their registry keys, states come from
// the machine, deletion waits for the last handle.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace qx::sim
