// The web server through COM: the metabase, the web-application administration and the
// IIS provider of the directory service.
#include <gtest/gtest.h>

#include "platform/sim/sim_machine.h"

namespace qx::sim {
namespace {

class SimWebAdminTest : public ::testing::Test {
 protected:
  static WebServer Iis(std::vector<std::string> keys, std::vector<std::string> applications) {
    WebServer w;
    w.kind = WebServer::Kind::kIis;
    w.keys = std::move(keys);
    w.applications = std::move(applications);
    return w;
  }
  void Server(WebServer::Kind kind) {
    WebServer w = Iis({"/LM/W3SVC/1/ROOT/Other"}, {"/LM/W3SVC/1/ROOT/WebQX", "/LM/W3SVC/1/ROOT/WebQX/Sub"});
    w.kind = kind;
    m.SetWebServer(w);
  }
  FARPROC ADsGetObjectEntry() {
    m.AddFile("C:\\WINNT\\System32\\ACTIVEDS.DLL", "MZ");
    ModuleSpec spec;
    spec.path = "C:\\WINNT\\System32\\ACTIVEDS.DLL";
    spec.kind = ModuleSpec::Kind::kDirectoryService;
    m.AddModule(spec);
    return m.platform().modules.GetProcAddress(m.platform().modules.LoadLibraryA("C:\\WINNT\\System32\\ACTIVEDS.DLL"),
                                               "ADsGetObject");
  }
  static std::u16string W(const char* s) { return std::u16string(s, s + std::char_traits<char>::length(s)); }
  SimMachine m;
  WebAdmin& web = m.platform().webadmin;
};

TEST_F(SimWebAdminTest, TheMetabaseObjectsExistOnlyWhereAWebServerAnswers) {
  struct Case {
    WebServer::Kind kind;
    bool initialised;
    HRESULT expected;
  };
  for (const Case& c : {Case{WebServer::Kind::kNone, true, REGDB_E_CLASSNOTREG},
                        Case{WebServer::Kind::kUnreachable, true, HResultFromWin32(RPC_S_SERVER_UNAVAILABLE)},
                        Case{WebServer::Kind::kIis, false, CO_E_NOTINITIALIZED}, Case{WebServer::Kind::kIis, true, S_OK}}) {
    Server(c.kind);
    if (c.initialised) {
      EXPECT_EQ(web.CoInitialize(), S_OK);
    }
    IMSAdminBase* base = nullptr;
    EXPECT_EQ(web.CoCreateInstance(CLSID_MSAdminBase, CLSCTX_ALL, IID_IMSAdminBase, &base), c.expected);
    EXPECT_EQ(base != nullptr, c.expected == S_OK);
    if (base) web.Release(base);
    if (c.initialised) web.CoUninitialize();
  }
  EXPECT_EQ(m.LiveComObjects(), 0);
  EXPECT_EQ(m.ComInitializations(), 0);
}

// The removal as the web folder stage makes it: the application, then the key under its
// parent, kept by a handle opened for writing; other keys stay.
TEST_F(SimWebAdminTest, RemovingAVirtualDirectoryTakesItsApplicationAndItsKey) {
  Server(WebServer::Kind::kIis);
  ASSERT_EQ(web.CoInitialize(), S_OK);
  EXPECT_EQ(web.CoInitialize(), S_FALSE);
  IMSAdminBase* base = nullptr;
  IWamAdmin* wam = nullptr;
  ASSERT_EQ(web.CoCreateInstance(CLSID_MSAdminBase, CLSCTX_ALL, IID_IMSAdminBase, &base), S_OK);
  ASSERT_EQ(web.CoCreateInstance(CLSID_WamAdmin, CLSCTX_ALL, IID_IWamAdmin, &wam), S_OK);
  EXPECT_EQ(web.AppDelete(wam, W("/LM/W3SVC/1/ROOT/webqx").c_str(), TRUE), S_OK);
  METADATA_HANDLE h = 0, second = 0;
  EXPECT_EQ(web.OpenKey(base, METADATA_MASTER_ROOT_HANDLE, W("/LM/W3SVC/1/ROOT/None").c_str(), 3, 60000, &h),
            HResultFromWin32(ERROR_PATH_NOT_FOUND));
  ASSERT_EQ(web.OpenKey(base, METADATA_MASTER_ROOT_HANDLE, W("/LM/W3SVC/1/ROOT").c_str(), 3, 60000, &h), S_OK);
  EXPECT_EQ(web.OpenKey(base, METADATA_MASTER_ROOT_HANDLE, W("/LM/W3SVC/1").c_str(), 3, 60000, &second),
            HResultFromWin32(148));  // the path is busy: waited the whole time-out
  EXPECT_EQ(m.ElapsedMs(), 60000u);
  EXPECT_EQ(web.DeleteKey(base, h, W("WebQX").c_str()), S_OK);
  EXPECT_EQ(web.DeleteKey(base, h, W("WebQX").c_str()), HResultFromWin32(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(web.SaveData(base), S_OK);
  EXPECT_EQ(web.CloseKey(base, h), S_OK);
  web.Release(base);
  web.Release(wam);
  web.CoUninitialize();
  web.CoUninitialize();
  WebServer after = m.GetWebServer();
  EXPECT_EQ(after.keys, (std::vector<std::string>{"/LM/W3SVC/1/ROOT/Other"}));
  EXPECT_TRUE(after.applications.empty());
  EXPECT_EQ(m.LiveComObjects(), 0);
  EXPECT_EQ(m.ComInitializations(), 0);
}

TEST_F(SimWebAdminTest, AMetabaseThatRefusesKeepsTheKey) {
  WebServer w = Iis({"/LM/W3SVC/1/ROOT/WebQX"}, {});
  w.refuseDeleteKey = E_FAIL;
  m.SetWebServer(w);
  web.CoInitialize();
  IMSAdminBase* base = nullptr;
  web.CoCreateInstance(CLSID_MSAdminBase, CLSCTX_ALL, IID_IMSAdminBase, &base);
  METADATA_HANDLE h = 0;
  ASSERT_EQ(web.OpenKey(base, METADATA_MASTER_ROOT_HANDLE, W("/LM/W3SVC/1/ROOT").c_str(), 1, 60000, &h), S_OK);
  EXPECT_EQ(web.DeleteKey(base, h, W("WebQX").c_str()), HResultFromWin32(ERROR_ACCESS_DENIED));  // opened to read
  web.CloseKey(base, h);
  ASSERT_EQ(web.OpenKey(base, METADATA_MASTER_ROOT_HANDLE, W("/LM/W3SVC/1/ROOT").c_str(), 3, 60000, &h), S_OK);
  EXPECT_EQ(web.DeleteKey(base, h, W("WebQX").c_str()), E_FAIL);
  EXPECT_EQ(m.GetWebServer().keys, w.keys);
}

TEST_F(SimWebAdminTest, TheDirectoryServiceFindsTheMetabasesKeys) {
  Server(WebServer::Kind::kIis);
  FARPROC get = ADsGetObjectEntry();
  ASSERT_NE(get, nullptr);
  web.CoInitialize();
  struct Case {
    const char* path;
    HRESULT expected;
  };
  for (const Case& c : {Case{"IIS://LocalHost/W3svc/1/Root/webqx", S_OK},
                        Case{"IIS://localhost/W3SVC/1/ROOT/none", HResultFromWin32(ERROR_PATH_NOT_FOUND)},
                        Case{"LDAP://LocalHost/W3svc/1/Root/webqx", E_ADS_BAD_PATHNAME}}) {
    IADs* object = nullptr;
    EXPECT_EQ(web.ADsGetObject(get, W(c.path).c_str(), IID_IADs, &object), c.expected) << c.path;
    if (object) web.Release(object);
  }
  WebServer without = m.GetWebServer();
  without.directoryService = false;
  m.SetWebServer(without);
  IADs* object = nullptr;
  EXPECT_EQ(web.ADsGetObject(get, W("IIS://LocalHost/W3svc/1/Root/Other").c_str(), IID_IADs, &object),
            E_ADS_BAD_PATHNAME);
  web.CoUninitialize();
  EXPECT_EQ(m.LiveComObjects(), 0);
}

// Faults reach the COM calls and the loader like any other call: a system error becomes its
// HRESULT, an HRESULT stays as written; the object is the class or path named.
TEST_F(SimWebAdminTest, InjectedFaultsFailTheNamedCall) {
  Server(WebServer::Kind::kIis);
  m.AddFault({"CoCreateInstance", "CLSID_WamAdmin", 0, ERROR_ACCESS_DENIED});
  m.AddFault({"CoInitialize", "", 2, static_cast<DWORD>(E_OUTOFMEMORY)});
  m.AddFault({"LoadLibraryA", "ACTIVEDS.DLL", 0, ERROR_NOT_ENOUGH_MEMORY});
  EXPECT_EQ(web.CoInitialize(), S_OK);
  IMSAdminBase* base = nullptr;
  IWamAdmin* wam = nullptr;
  EXPECT_EQ(web.CoCreateInstance(CLSID_MSAdminBase, CLSCTX_ALL, IID_IMSAdminBase, &base), S_OK);
  EXPECT_EQ(web.CoCreateInstance(CLSID_WamAdmin, CLSCTX_ALL, IID_IWamAdmin, &wam), HResultFromWin32(ERROR_ACCESS_DENIED));
  EXPECT_EQ(web.CoInitialize(), E_OUTOFMEMORY);
  EXPECT_EQ(m.platform().modules.LoadLibraryA("ACTIVEDS.DLL"), nullptr);
  EXPECT_EQ(m.platform().system.GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
  web.Release(base);
  web.CoUninitialize();
  EXPECT_EQ(m.ComInitializations(), 0);
}

TEST_F(SimWebAdminTest, TextConversionFollowsTheCodePage) {
  const char* text = "/LM/W3SVC/1/ROOT/\x83\x65";  // テ in code page 932
  EXPECT_EQ(web.MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, nullptr, 0), 19);
  WCHAR small[5];
  EXPECT_EQ(web.MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, small, 5), 0);
  EXPECT_EQ(m.platform().system.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  WCHAR wide[19];
  ASSERT_EQ(web.MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, wide, 19), 19);
  EXPECT_EQ(wide[17], u'テ');
  EXPECT_EQ(wide[18], 0);
}

}  // namespace
}  // namespace qx::sim
