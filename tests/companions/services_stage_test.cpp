// The services-and-others stage: the service lines, the win.ini entry, and the web virtual
// root on each kind of web server.
#include <gtest/gtest.h>

#include "companion_machine.h"

namespace qx::test {
namespace {

constexpr const char* kVirtualRoots = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters\\Virtual Roots";
constexpr const char* kSetup = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\INetStp";

TEST(ServicesStage, ServiceLinesInTheirOrderWithAbsentRefusedAndUnopenable) {
  struct Case {
    int osType;
    std::vector<std::string> lines;
  };
  const std::vector<std::string> nt4 = {"ＲＣＭ サービス削除成功", "ＰＪＲ サービスなし", "ＰＱＳ サービス削除失敗",
                                        "ＰＭＮ サービス削除失敗", "ＮＱＳ サービスなし", "ＳＤＳ サービス削除成功"};
  std::vector<std::string> nt351 = nt4;
  nt351.push_back("ＰＣＤ サービス削除成功");
  const Case cases[] = {{0, {}}, {1, nt351}, {2, nt4}, {3, nt4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.osType);
    CompanionMachine m;
    m.doc.osType = c.osType;
    m.doc.stepTotal = 100;
    for (const char* s : {"Par1284", "ZOVSDS", "ZOVPMN", "ZOVPQS", "ZOVRCM"}) m.Service(s, SERVICE_RUNNING);
    // ZOVPQS will not be deleted; ZOVPMN exists but this account may not open it, which is
    // no absence.
    m.machine.AddFault({"DeleteService", "ZOVPQS", 0, ERROR_ACCESS_DENIED});
    m.machine.AddFault({"OpenServiceA", "ZOVPMN", 0, ERROR_ACCESS_DENIED});
    m.doc.RemoveServicesAndOthers();
    EXPECT_EQ(m.doc.logOthers, c.lines);
    EXPECT_EQ(m.doc.stepPos, 7u);
    EXPECT_EQ(m.machine.HasKey(std::string(kServicesKey) + "ZOVRCM"), c.osType == kWindows9x);
    EXPECT_EQ(m.machine.HasKey(std::string(kServicesKey) + "Par1284"), c.osType != kWindowsNT351);
    EXPECT_TRUE(m.machine.HasKey(std::string(kServicesKey) + "ZOVPMN"));
  }
}

TEST(ServicesStage, TheKindsChooseTheSteps) {
  const std::pair<int, DWORD> cases[] = {{0, 0}, {kDelNetPort, 1}, {kDelDrivers, 1}, {kDelProduct, 7}, {7, 9}};
  for (auto [flags, steps] : cases) {
    SCOPED_TRACE(flags);
    CompanionMachine m;
    m.doc.delFlags = flags;
    m.doc.stepTotal = 100;
    m.machine.SetString(kVirtualRoots, "/WebQX", "C:\\Program Files\\Qorvex\\WebQX,,205");
    m.doc.RemoveServicesAndOthers();
    EXPECT_EQ(m.doc.stepPos, steps);
    EXPECT_EQ(m.machine.Value(kVirtualRoots, "/WebQX").has_value(), !(flags & kDelProduct));
  }
}

TEST(ServicesStage, TheWinIniEntryGoesAndAFileWithoutItIsNotWritten) {
  CompanionMachine m;
  m.doc.osType = kWindows9x;
  m.machine.settings().windowsDirectory = "C:\\WINNT";
  m.machine.AddFile("C:\\WINNT\\win.ini", "[Compatibility95]\r\nZOVPSP=0x00000002\r\nOTHER=1\r\n");
  m.doc.RemoveServicesAndOthers();
  EXPECT_EQ(m.machine.File("C:\\WINNT\\win.ini")->contents, "[Compatibility95]\r\nOTHER=1\r\n");
  m.machine.AddFile("C:\\WINNT\\win.ini", "[windows]\r\nload=\r\n");
  m.doc.RemoveServicesAndOthers();
  EXPECT_EQ(m.machine.File("C:\\WINNT\\win.ini")->contents, "[windows]\r\nload=\r\n");
}

TEST(ServicesStage, TheWebVirtualRootOnEachWebServer) {
  using Kind = sim::WebServer::Kind;
  struct Case {
    const char* name;
    int osType;
    bool value;           // "/WebQX" among the virtual roots
    int iisMajor;         // 0 no setup key
    Kind server;
    bool refuse;          // the web application cannot be removed
    DWORD w3svc;          // the web service's state, 0 not installed
    bool metabaseGone;    // the virtual directory's key is gone afterwards
    bool restarted;       // the web service was stopped and started
    DWORD w3svcAfter;
    const char* restartCause;  // null when no restart is needed
    bool startRefused = false;  // the web service does not start again
  };
  const Case cases[] = {
      {"NT, removed from the metabase", 2, true, 4, Kind::kIis, false, SERVICE_RUNNING, true, false, SERVICE_RUNNING, nullptr},
      {"NT, refused, web service running", 2, true, 4, Kind::kIis, true, SERVICE_RUNNING, false, true, SERVICE_RUNNING, nullptr},
      // Tried again, then left to the restart (it starts with Windows), not left stopped.
      {"NT, refused, web service not starting again", 2, true, 4, Kind::kIis, true, SERVICE_RUNNING, false, false,
       SERVICE_STOPPED, "W3SVC の開始に失敗", true},
      // An administrator's stopped web server is not started by the eraser.
      {"NT, refused, web service stopped", 2, true, 4, Kind::kIis, true, SERVICE_STOPPED, false, false, SERVICE_STOPPED, nullptr},
      {"NT, no value, IIS 4", 2, false, 4, Kind::kIis, false, SERVICE_RUNNING, false, false, SERVICE_RUNNING, nullptr},
      {"2000, no value, IIS 6 knows it", 3, false, 6, Kind::kIis, false, SERVICE_RUNNING, true, false, SERVICE_RUNNING, nullptr},
      {"98, metabase unreachable", 0, true, 0, Kind::kUnreachable, false, 0, false, false, 0, "WebQXのディレクトリ削除"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CompanionMachine m;
    m.doc.osType = c.osType;
    if (c.value) m.machine.SetString(kVirtualRoots, "/WebQX", "C:\\Program Files\\Qorvex\\WebQX,,205");
    m.machine.SetString(kVirtualRoots, "/", "C:\\InetPub\\wwwroot,,201");
    if (c.iisMajor) {
      m.machine.SetString(kSetup, "IISProgramGroup", "Microsoft Internet Information Services");
      m.machine.SetDword(kSetup, "MajorVersion", static_cast<DWORD>(c.iisMajor));
    }
    m.Module("C:\\WINNT\\System32\\ACTIVEDS.DLL", sim::ModuleSpec::Kind::kDirectoryService);
    sim::WebServer web;
    web.kind = c.server;
    web.keys = {"/LM/W3SVC/1/ROOT/WebQX", "/LM/W3SVC/1/ROOT/IISSamples"};
    web.applications = {"/LM/W3SVC/1/ROOT/WebQX"};
    if (c.refuse) web.refuseAppDelete = E_FAIL;
    m.machine.SetWebServer(web);
    if (c.w3svc) m.Service("W3SVC", c.w3svc);
    if (c.startRefused) m.machine.AddFault({"StartServiceA", "W3SVC", 0, ERROR_SERVICE_DISABLED});

    m.doc.RemoveWebVirtualRoot();
    const auto keys = m.machine.GetWebServer().keys;
    EXPECT_EQ(std::find(keys.begin(), keys.end(), "/LM/W3SVC/1/ROOT/WebQX") == keys.end(), c.metabaseGone);
    EXPECT_EQ(keys.back(), "/LM/W3SVC/1/ROOT/IISSamples");
    EXPECT_FALSE(m.machine.Value(kVirtualRoots, "/WebQX").has_value());
    EXPECT_TRUE(m.machine.Value(kVirtualRoots, "/").has_value());
    EXPECT_EQ(m.machine.StartRequests("W3SVC") > 0, c.restarted);
    if (c.w3svc) {
      EXPECT_EQ(m.machine.ServiceState("W3SVC"), c.w3svcAfter);
    }
    EXPECT_EQ(m.doc.restartNeeded, c.restartCause ? 1 : 0);
    EXPECT_EQ(m.doc.logRestartCauses,
              c.restartCause ? std::vector<std::string>{c.restartCause} : std::vector<std::string>{});
    EXPECT_EQ(m.machine.ComInitializations(), 0);
    EXPECT_EQ(m.machine.LiveComObjects(), 0);
    // Without the value, and below version 6, no one is asked.
    if (!c.value && c.iisMajor < 6) {
      EXPECT_TRUE(m.machine.Calls().empty());
    }
    if (c.iisMajor >= 6) {
      EXPECT_TRUE(m.Called("LoadLibraryA(\"C:\\WINNT\\System32\\ACTIVEDS.DLL\")"));
    }
  }
}

}  // namespace
}  // namespace qx::test
