// The [Windows], [Events], [Modules] and [WebAdmin] sections of machine.ini.
#include <gtest/gtest.h>

#include <map>

#include "tests/tools/image_support.h"

namespace qx::test {
namespace {

using sim::SimMachine;

constexpr char8_t kEverything[] =
    u8"[Windows]\n"
    u8"PSPWndClass|Qorvex=C:\\Q\\ZOVPSP.EXE,closes,on=WM_USER+6\n"
    u8"ZOVQXEXP|Qorvex プリンタ一覧=C:\\Q\\ZOVQXEXP.EXE,closesAfter=3000,on=WM_CLOSE,stopsService=ZOVPMN\n"
    u8"#32770|=C:\\Q\\A.EXE,neverCloses,hangs,on=WM_COMMAND:5005,setsEvent=E1,waitsEvent=E2\n"
    u8"[Events]\n"
    u8"E1=C:\\Q\\A.EXE\n"
    u8"ZOVSRM:TerminateManager=C:\\Q\\ZOVPSP.EXE,signaled,endsProgram\n"
    u8"[Modules]\n"
    u8"C:\\Q\\ZOVSRM.DLL=statusManager,refuses=プリンタ,refuses=B\n"
    u8"C:\\Q\\C.DLL=component,unregisterFails=E_FAIL\n"
    u8"C:\\Q\\ZOVQXEXP.EXE=componentProgram,loadFails=ERROR_ACCESS_DENIED\n"
    u8"C:\\Q\\ADS.DLL=directoryService\n"
    u8"C:\\Q\\L.DLL=library,loadFails=ERROR_DLL_INIT_FAILED\n"
    u8"[WebAdmin]\n"
    u8"Server=unreachable\n"
    u8"Key=/LM/W3SVC/1/ROOT/Other\n"
    u8"Application=/LM/W3SVC/1/ROOT/WebQX\n"
    u8"RefuseDeleteKey=0x80070020\n"
    u8"RefuseAppDelete=E_ACCESSDENIED\n"
    u8"DirectoryService=absent\n";

void WriteFiles(const TestImage& image) {
  for (const char* f : {"ZOVSRM.DLL", "C.DLL", "ZOVQXEXP.EXE", "ADS.DLL", "L.DLL"}) image.Write(std::string("drive_c/Q/") + f, "MZ");
  image.Write("s.reg", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\ZOVPMN]\r\n");
}

TEST(ImageOutside, SectionsDescribeWindowsEventsModulesAndTheWebServer) {
  TestImage image(U8(kEverything));
  WriteFiles(image);
  SimMachine m;
  ASSERT_EQ(image.LoadInto(m), "");
  std::vector<sim::ProgramWindow> windows = m.ProgramWindows();
  ASSERT_EQ(windows.size(), 3u);
  EXPECT_EQ(windows[0].className, "PSPWndClass");  // the first line is on top
  EXPECT_EQ(windows[1].behaviour.closeAfterMs, 3000u);
  EXPECT_EQ(windows[1].behaviour.stopsService, "ZOVPMN");
  EXPECT_EQ(windows[2].behaviour.onWParam, WPARAM{5005});
  EXPECT_TRUE(m.EventSignaled("ZOVSRM:TerminateManager"));
  std::vector<sim::ModuleSpec> modules = m.Modules();
  ASSERT_EQ(modules.size(), 5u);
  EXPECT_EQ(modules[4].refusedPrinters.size(), 2u);  // in path order: ZOVSRM.DLL last
  EXPECT_EQ(m.platform().modules.LoadLibraryA("C:\\Q\\L.DLL"), nullptr);
  EXPECT_EQ(m.platform().system.GetLastError(), ERROR_DLL_INIT_FAILED);
  sim::WebServer web = m.GetWebServer();
  EXPECT_EQ(web.kind, sim::WebServer::Kind::kUnreachable);
  EXPECT_EQ(web.refuseAppDelete, HResultFromWin32(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(web.directoryService);
}

TEST(ImageOutside, SavedSectionsComeBackIdentical) {
  TestImage image(U8(kEverything));
  WriteFiles(image);
  SimMachine first, second;
  ASSERT_EQ(image.LoadInto(first), "");
  TempDir a, b;
  std::string error;
  ASSERT_TRUE(sim::SaveImage(first, (a.path() / "img").string(), error)) << error;
  ASSERT_TRUE(sim::LoadImage((a.path() / "img").string(), second, error)) << error;
  ASSERT_TRUE(sim::SaveImage(second, (b.path() / "img").string(), error)) << error;
  std::string ini = ReadBytes(a.path() / "img" / "machine.ini");
  EXPECT_EQ(ini, ReadBytes(b.path() / "img" / "machine.ini"));
  EXPECT_NE(ini.find(U8(u8"ZOVQXEXP|Qorvex プリンタ一覧=C:\\Q\\ZOVQXEXP.EXE,closesAfter=3000,on=WM_CLOSE,"
                        u8"stopsService=ZOVPMN\n")),
            std::string::npos)
      << ini;
}

TEST(ImageOutside, WinNinetyEightComesBackIdentical) {
  std::string error;
  SimMachine first, second;
  ASSERT_TRUE(sim::LoadImage(std::string(QX_SOURCE_DIR) + "/images/win98", first, error)) << error;
  EXPECT_EQ(first.settings().platformId, VER_PLATFORM_WIN32_WINDOWS);
  TempDir a;
  ASSERT_TRUE(sim::SaveImage(first, (a.path() / "img").string(), error)) << error;
  ASSERT_TRUE(sim::LoadImage((a.path() / "img").string(), second, error)) << error;
  EXPECT_EQ(first.dump(), second.dump());
}

TEST(ImageOutside, MalformedLinesAreRefusedWithFileAndLine) {
  struct Bad {
    const char* ini;
    const char* message;
  };
  for (const Bad& c : {
           Bad{"[Windows]\nNoBar=C:\\a.exe\n", "machine.ini:2: a window is CLASS|TITLE=PROGRAM[,behaviour...]"},
           Bad{"[Windows]\n|T=C:\\a.exe\n", "machine.ini:2: a window needs a class"},
           Bad{"[Windows]\nC|T=C:\\a.exe,closes,neverCloses\n",
               "machine.ini:2: closes, closesAfter and neverCloses exclude each other"},
           Bad{"[Windows]\nC|T=C:\\a.exe,closesAfter=soon\n", "machine.ini:2: closesAfter needs milliseconds, not 'soon'"},
           Bad{"[Windows]\nC|T=C:\\a.exe,on=WM_PAINT\n", "machine.ini:2: unknown message 'WM_PAINT'"},
           Bad{"[Windows]\nC|T=C:\\a.exe,waves\n", "machine.ini:2: unknown window behaviour 'waves'"},
           Bad{"[Events]\nE=C:\\a.exe,loud\n", "machine.ini:2: unknown event option 'loud'"},
           Bad{"[Events]\nE=a\nE=b\n", "machine.ini:3: event E appears twice"},
           Bad{"[Modules]\nC:\\x.txt=plugin\n", "machine.ini:2: unknown module kind 'plugin'"},
           Bad{"[Modules]\nC:\\x.txt=library,refuses=P\n", "machine.ini:2: unknown option 'refuses=P' for this kind of module"},
           Bad{"[Modules]\nC:\\none.dll=library\n", "machine.ini:2: no such file C:\\none.dll"},
           Bad{"[Modules]\nx.dll=library\n", "machine.ini:2: 'x.dll' is not a full path"},
           Bad{"[WebAdmin]\nServer=apache\n", "machine.ini:2: Server is none, iis or unreachable, not 'apache'"},
           Bad{"[WebAdmin]\nKey=LM/W3SVC\n",
               "machine.ini:2: a metabase path begins with '/', as /LM/W3SVC/1/ROOT/WebQX"},
           Bad{"[WebAdmin]\nRefuseDeleteKey=0x00000001\n",
               "machine.ini:2: RefuseDeleteKey needs a failure HRESULT (0x8....... or E_FAIL, E_ACCESSDENIED), not "
               "'0x00000001'"},
           Bad{"[WebAdmin]\n[Webadmin]\n", "machine.ini:2: section [Webadmin] appears twice"},
       }) {
    SCOPED_TRACE(c.ini);
    TestImage image(c.ini);
    image.Write("drive_c/x.txt", "x");
    SimMachine m;
    EXPECT_EQ(image.LoadInto(m), c.message);
  }
}

}  // namespace
}  // namespace qx::test
