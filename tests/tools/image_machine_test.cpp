// machine.ini and the drive folders of a machine image, and saving a machine back as an image.
#include <gtest/gtest.h>

#include <map>

#include "tests/tools/image_support.h"

namespace qx::test {
namespace {

using sim::SimMachine;

constexpr char kServiceReg[] =
    "REGEDIT4\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Spooler]\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\ZOVPMN]\r\n";

TEST(ImageMachineIni, SystemKeysSetTheMachinesSettings) {
  TestImage image(U8(u8"; a Windows 98 machine\n"
                     u8"[System]\n"
                     u8"PlatformId=1\nMajorVersion=4\nMinorVersion=10\nBuildNumber=2222\n"
                     u8"CSDVersion= A \n"
                     u8"WindowsDirectory=C:\\WINDOWS\n"
                     u8"SystemDirectory=C:\\WINDOWS\\SYSTEM\n"
                     u8"TempPath=C:\\WINDOWS\\TEMP\\\n"
                     u8"ModuleFileName=C:\\消去\\QXErs.exe\n"
                     u8"LocalTime=2004-02-29 23:59:58\n"
                     u8"CurrentUser=.DEFAULT\n"
                     u8"ServiceManager=denied\n"));
  SimMachine m;
  ASSERT_EQ(image.LoadInto(m), "");
  const sim::SystemSettings& s = m.settings();
  EXPECT_EQ(s.platformId, 1u);
  EXPECT_EQ(s.majorVersion, 4u);
  EXPECT_EQ(s.minorVersion, 10u);
  EXPECT_EQ(s.buildNumber, 2222u);
  EXPECT_EQ(s.csdVersion, "A");
  EXPECT_EQ(s.windowsDirectory, "C:\\WINDOWS");
  EXPECT_EQ(s.systemDirectory, "C:\\WINDOWS\\SYSTEM");
  EXPECT_EQ(s.tempPath, "C:\\WINDOWS\\TEMP\\");
  EXPECT_EQ(s.moduleFileName, "C:\\消去\\QXErs.exe");  // Shift-JIS on the machine
  EXPECT_EQ(s.localTime.wYear, 2004);
  EXPECT_EQ(s.localTime.wMonth, 2);
  EXPECT_EQ(s.localTime.wDay, 29);
  EXPECT_EQ(s.localTime.wDayOfWeek, 0);  // a Sunday
  EXPECT_EQ(s.localTime.wHour, 23);
  EXPECT_EQ(s.localTime.wMinute, 59);
  EXPECT_EQ(s.localTime.wSecond, 58);
  EXPECT_EQ(s.currentUser, ".DEFAULT");
  EXPECT_FALSE(s.serviceManagerOpenable);
}

TEST(ImageMachineIni, KeysNotGivenKeepTheMachinesDefaults) {
  TestImage image("[System]\nTempPath=D:\\T\\\n");
  SimMachine m;
  sim::SystemSettings before = m.settings();
  ASSERT_EQ(image.LoadInto(m), "");
  EXPECT_EQ(m.settings().tempPath, "D:\\T\\");
  EXPECT_EQ(m.settings().windowsDirectory, before.windowsDirectory);
  EXPECT_EQ(m.settings().platformId, before.platformId);
}

TEST(ImageMachineIni, ServicesTakeTheirStates) {
  TestImage image("[Services]\nSpooler=stop_pending\nzovpmn=paused\n");
  image.Write("s.reg", kServiceReg);
  SimMachine m;
  ASSERT_EQ(image.LoadInto(m), "");
  EXPECT_EQ(m.ServiceState("Spooler"), SERVICE_STOP_PENDING);
  EXPECT_EQ(m.ServiceState("ZOVPMN"), SERVICE_PAUSED);
}

TEST(ImageMachineIni, ServiceOptionsGiveTheirBehaviourAndFilesTheirHolder) {
  TestImage image(
      "[Services]\n"
      "Spooler=running, pollsToStop=3,refuseStart=ERROR_ACCESS_DENIED,neverStarts\n"
      "ZOVPMN=stop_pending,refuseStop=1051,pollsToStart=2,neverStops\n"
      "[Files]\nC:\\spool.spl=lockedby=spooler\n");
  image.Write("s.reg", kServiceReg);
  image.Write("drive_c/spool.spl", "x");
  SimMachine m;
  ASSERT_EQ(image.LoadInto(m), "");
  EXPECT_EQ(m.ServiceState("Spooler"), SERVICE_RUNNING);
  EXPECT_EQ(m.GetServiceBehaviour("Spooler"),
            (sim::ServiceBehaviour{.pollsToStop = 3, .refuseStart = ERROR_ACCESS_DENIED, .neverStarts = true}));
  EXPECT_EQ(m.GetServiceBehaviour("ZOVPMN"),
            (sim::ServiceBehaviour{.pollsToStart = 2, .refuseStop = ERROR_DEPENDENT_SERVICES_RUNNING, .neverStops = true}));
  EXPECT_EQ(m.File("C:\\spool.spl")->lockedBy, "spooler");
  EXPECT_FALSE(m.platform().files.DeleteFileA("C:\\spool.spl"));
  m.SetServiceState("Spooler", SERVICE_STOPPED);
  EXPECT_TRUE(m.platform().files.DeleteFileA("C:\\spool.spl"));
}

TEST(ImageMachineIni, FileFlagsSetAttributesLocksAndShortNames) {
  TestImage image(
      "[Files]\n"
      "C:\\WINNT\\ro.dll=readonly,hidden,system\n"
      "C:\\WINNT\\plain.txt=noarchive\n"
      "C:\\WINNT\\busy.dll=locked\n"
      "C:\\WINNT\\Long File Name.txt=shortname=LONGFI~7.TXT\n"
      "C:\\WINNT\\Attic=hidden,archive\n"
      "C:\\TEMP=directory\n");
  for (const char* f : {"ro.dll", "plain.txt", "busy.dll", "Long File Name.txt"}) image.Write(std::string("drive_c/WINNT/") + f, "x");
  image.MakeDir("drive_c/WINNT/Attic");
  SimMachine m;
  ASSERT_EQ(image.LoadInto(m), "");
  EXPECT_EQ(m.File("C:\\WINNT\\ro.dll")->attributes,
            FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(m.File("C:\\WINNT\\plain.txt")->attributes, FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(m.File("C:\\WINNT\\busy.dll")->locked);
  EXPECT_FALSE(m.File("C:\\WINNT\\ro.dll")->locked);
  EXPECT_EQ(m.File("C:\\WINNT\\Long File Name.txt")->shortName, "LONGFI~7.TXT");
  EXPECT_EQ(m.File("C:\\WINNT\\Attic")->attributes,
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_TRUE(m.HasDirectory("C:\\TEMP"));
}

TEST(ImageMachineIni, FaultsAreInjectedAsWritten) {
  TestImage image(
      "[Faults]\n"
      "RegDeleteKeyA=0,ERROR_ACCESS_DENIED,HKLM\\SOFTWARE\\ZOV\\Qorvex\n"
      "OpenSCManagerA=1,5\n"
      "DeleteFileA=2,32,C:\\WINNT\\a,b.dll\n");
  SimMachine m;
  ASSERT_EQ(image.LoadInto(m), "");
  const std::vector<sim::Fault>& faults = m.Faults();
  ASSERT_EQ(faults.size(), 3u);
  EXPECT_EQ(faults[0].call, "RegDeleteKeyA");
  EXPECT_EQ(faults[0].object, "HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\Qorvex");
  EXPECT_EQ(faults[0].nth, 0);
  EXPECT_EQ(faults[0].error, ERROR_ACCESS_DENIED);
  EXPECT_EQ(faults[1].object, "");
  EXPECT_EQ(faults[1].nth, 1);
  EXPECT_EQ(faults[1].error, 5u);
  EXPECT_EQ(faults[2].object, "C:\\WINNT\\a,b.dll");
  EXPECT_EQ(faults[2].error, ERROR_SHARING_VIOLATION);
}

struct BadIni {
  std::string ini;
  std::string message;  // the whole message
};

TEST(ImageMachineIni, MalformedLinesAreRefusedWithFileAndLine) {
  const BadIni cases[] = {
      {"[System]\nPlatformId=2\n\n[Services]\nSpooler=runing\n", "machine.ini:5: unknown state 'runing'"},
      {"[Sytem]\n", "machine.ini:1: unknown section [Sytem]"},
      {"[System]\nPlatformID=2\nVersion=4\n", "machine.ini:3: unknown key Version in [System]"},
      {"[System]\nMajorVersion=four\n", "machine.ini:2: 'four' is not a number"},
      {"[System]\nMajorVersion=4\nMajorVersion=5\n", "machine.ini:3: key MajorVersion appears twice"},
      {"[System]\nLocalTime=2003-02-29 10:00\n", "machine.ini:2: LocalTime '2003-02-29 10:00' is not YYYY-MM-DD HH:MM[:SS]"},
      {"[System]\nLocalTime=2003-4-1 9:05\n", "machine.ini:2: LocalTime '2003-4-1 9:05' is not YYYY-MM-DD HH:MM[:SS]"},
      {"[System]\nServiceManager=no\n", "machine.ini:2: ServiceManager must be allowed or denied, not 'no'"},
      {"[System]\nProgramManager=maybe\n", "machine.ini:2: ProgramManager must be running or absent, not 'maybe'"},
      {"[System]\nCurrentUser=a\\b\n", "machine.ini:2: CurrentUser must be one HKEY_USERS subkey name"},
      {"[System]\n[System]\n", "machine.ini:2: section [System] appears twice"},
      {"PlatformId=2\n", "machine.ini:1: key 'PlatformId' outside any section"},
      {"[System\n", "machine.ini:1: a section heading must end in ']'"},
      {"[System]\njust words\n", "machine.ini:2: expected key=value: 'just words'"},
      {"[Services]\nZOVSDS=running\n",
       "machine.ini:2: service ZOVSDS has no key HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\ZOVSDS"},
      {"[Files]\nC:\\nothing.txt=readonly\n", "machine.ini:2: no such file C:\\nothing.txt"},
      {"[Files]\nC:\\x.txt=readonly,shiny\n", "machine.ini:2: unknown flag 'shiny'"},
      {"[Files]\nx.txt=readonly\n", "machine.ini:2: 'x.txt' is not a full path like C:\\dir\\file"},
      {"[Files]\nC:\\x.txt=locked\nc:\\X.TXT=readonly\n", "machine.ini:3: c:\\X.TXT appears twice"},
      {"[Files]\nC:\\x.txt=directory\n", "machine.ini:2: C:\\x.txt is a file, not a directory"},
      {"[Services]\nSpooler=running,pollsToStop=x\n",
       "machine.ini:2: pollsToStop needs a number of polls from 0 to 1000000, not 'x'"},
      {"[Services]\nSpooler=running,pollsToStart\n",
       "machine.ini:2: pollsToStart needs a number of polls from 0 to 1000000, not ''"},
      {"[Services]\nSpooler=running,refuseStop=ERROR_NOPE\n",
       "machine.ini:2: refuseStop needs an error (a number or an ERROR_ name, not 0), not 'ERROR_NOPE'"},
      {"[Services]\nSpooler=running,refuseStart=0\n",
       "machine.ini:2: refuseStart needs an error (a number or an ERROR_ name, not 0), not '0'"},
      {"[Services]\nSpooler=running,neverStops=1\n", "machine.ini:2: neverStops takes no value"},
      {"[Services]\nSpooler=running,slow\n", "machine.ini:2: unknown service option 'slow'"},
      {"[Services]\nSpooler=running,,neverStops\n", "machine.ini:2: empty service option"},
      {"[Services]\nSpooler=running,pollsToStop=1,pollsToStop=2\n",
       "machine.ini:2: service option pollsToStop appears twice"},
      {"[Files]\nC:\\x.txt=lockedby=\n", "machine.ini:2: bad service name in 'lockedby='"},
      {"[Files]\nC:\\x.txt=lockedby=A,lockedby=B\n", "machine.ini:2: lockedby appears twice"},
      {"[Files]\nC:\\x.txt=lockedby=Spooler\n",
       "machine.ini:2: lockedby names service Spooler, which has no key "
       "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Spooler"},
      {"[Faults]\nDeleteFileA=0\n", "machine.ini:2: a fault is call=nth,error[,object]"},
      {"[Faults]\nDeleteFileA=0,ERROR_NOPE\n", "machine.ini:2: unknown error 'ERROR_NOPE'"},
      {"[Faults]\nDeleteFileA=-1,5\n", "machine.ini:2: '-1' is not a call count"},
      {"[Faults]\nDelete File=0,5\n", "machine.ini:2: 'Delete File' is not a call name"},
      {"[Spooler]\nDenyAccess=P1,all\n", "machine.ini:2: 'all' is not full, administer or a number of rights"},
      {"[Spooler]\nPendingDriver=Windows 4.0,QX\n",
       "machine.ini:2: no driver QX of environment Windows 4.0 in the registry"},
      {std::string("[System]\nTempPath=C:\\") + '\0' + "\n", "machine.ini:2: NUL byte in a text file"},
      {"[System]\nTempPath=C:\\\xC3\n", "machine.ini:2: text that is invalid or has no Shift-JIS form"},
  };
  for (const BadIni& c : cases) {
    SCOPED_TRACE(c.ini);
    TestImage image(c.ini);
    image.Write("drive_c/x.txt", "x");
    SimMachine m;
    EXPECT_EQ(image.LoadInto(m), c.message);
  }
}

TEST(ImageMachineIni, AnImageNeedsItsFolderAndMachineIni) {
  SimMachine m;
  std::string error;
  EXPECT_FALSE(sim::LoadImage("/nonexistent/qx/image", m, error));
  EXPECT_NE(error.find("no such image folder"), std::string::npos);
  TempDir empty;
  EXPECT_FALSE(sim::LoadImage(empty.str(), m, error));
  // Without machine.ini the registry must say which Windows it is (a real machine's export).
  EXPECT_EQ(error.rfind("no machine.ini, and the registry names no Windows version", 0), 0u) << error;
  TestImage stray;
  stray.MakeDir("drive-c");
  EXPECT_FALSE(sim::LoadImage(stray.str(), m, error));
  EXPECT_EQ(error.rfind("drive-c: unknown folder", 0), 0u) << error;
}

TEST(ImageDrives, FilesArriveByteForByteWithShiftJisNames) {
  TestImage image;
  const std::string binary("MZ\0\x01\xFF\r\n\x1A", 8);
  image.Write(U8(u8"drive_c/Program Files/Qorvex/ﾌﾟﾘﾝﾀ管理/ZOVQXEXP.EXE"), binary);
  image.Write(U8(u8"drive_c/ソフト/表.txt"), "text\r\n");
  image.Write("drive_d/DATA/a.bin", "d");
  image.MakeDir("drive_c/Empty/Inner");
  SimMachine m;
  ASSERT_EQ(image.LoadInto(m), "");
  EXPECT_EQ(m.File("C:\\Program Files\\Qorvex\\ﾌﾟﾘﾝﾀ管理\\ZOVQXEXP.EXE")->contents, binary);
  EXPECT_EQ(m.File("C:\\ソフト\\表.txt")->contents, "text\r\n");
  EXPECT_EQ(m.File("D:\\DATA\\a.bin")->contents, "d");
  EXPECT_TRUE(m.HasDirectory("C:\\Empty\\Inner"));
  EXPECT_EQ(m.File("C:\\ソフト\\表.txt")->attributes, FILE_ATTRIBUTE_ARCHIVE);
}

TEST(ImageDrives, NamesWindowsCannotHoldAreRefused) {
  const std::pair<std::string, std::string> cases[] = {
      {"drive_c/bad\xFFname.txt", "not UTF-8"},
      {"drive_c/what?.txt", "not allowed on Windows"},
      {"drive_c/back\\slash.txt", "not allowed on Windows"},
      {U8(u8"drive_c/smile\U0001F600.txt"), "no Shift-JIS form"},
  };
  for (const auto& [path, what] : cases) {
    SCOPED_TRACE(path);
    TestImage image;
    image.Write(path, "x");
    SimMachine m;
    std::string error = image.LoadInto(m);
    EXPECT_EQ(error.rfind(path, 0), 0u) << error;
    EXPECT_NE(error.find(what), std::string::npos) << error;
  }
  TestImage twins;
  twins.Write("drive_c/WINNT/Win.ini", "a");
  twins.Write("drive_c/WINNT/win.ini", "b");
  SimMachine m;
  EXPECT_NE(twins.LoadInto(m).find("differs from it only in case"), std::string::npos);
}

// ---------------------------------------------------------------- saving

std::map<std::string, std::string> FolderBytes(const fs::path& root) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    std::string rel = fs::relative(e.path(), root).string();
    out[rel] = e.is_directory() ? "<dir>" : ReadBytes(e.path());
  }
  return out;
}

// Load, save, load the saved image, save again: the machines and the saved files agree.
void ExpectRoundTrip(const std::string& folder) {
  SimMachine first;
  std::string error;
  ASSERT_TRUE(sim::LoadImage(folder, first, error)) << error;
  TempDir a, b;
  ASSERT_TRUE(sim::SaveImage(first, (a.path() / "img").string(), error)) << error;
  SimMachine second;
  ASSERT_TRUE(sim::LoadImage((a.path() / "img").string(), second, error)) << error;
  ASSERT_TRUE(sim::SaveImage(second, (b.path() / "img").string(), error)) << error;
  EXPECT_EQ(first.dump(), second.dump());
  EXPECT_EQ(FolderBytes(a.path() / "img"), FolderBytes(b.path() / "img"));
}

TEST(ImageSave, TheDefaultImageComesBackIdentical) { ExpectRoundTrip(std::string(QX_SOURCE_DIR) + "/images/default"); }

TEST(ImageSave, EveryKindOfStateComesBackIdentical) {
  TestImage image(U8(u8"[System]\nPlatformId=1\nMinorVersion=10\nCSDVersion=A\r\r\nLocalTime=2001-12-31 08:00:07\n"
                     u8"CurrentUser=ユーザー\nServiceManager=denied\n"
                     u8"[Services]\nSpooler=start_pending,pollsToStart=4,refuseStop=5\n"
                     u8"ZOVPMN=running,pollsToStop=2,refuseStart=1056,neverStops,neverStarts\n"
                     u8"[Files]\nC:\\WINDOWS\\ro.dll=readonly,locked\nC:\\Empty=directory,hidden\n"
                     u8"C:\\WINDOWS\\spool.spl=lockedby=ZOVPMN\n"
                     u8"C:\\WINDOWS\\Program Files Long=shortname=PROGRA~9\n"
                     u8"C:\\Only Empty Inside=shortname=ONLYEM~3\nC:\\Only Empty Inside\\Empty=directory\n"
                     u8"[Faults]\nRegDeleteKeyA=0,ERROR_ACCESS_DENIED,HKLM\\SOFTWARE\\表\nDeleteFileA=3,1234\n"
                     u8"[Spooler]\nDenyAccess=表, with a comma,full\nPendingDriver=Windows 4.0,QX Driver\n"));
  image.Write("s.reg", kServiceReg);
  image.Write("p.reg", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments"
                       "\\Windows 4.0\\Drivers\\QX Driver]\r\n\"Driver\"=\"ZOVDRV.DRV\"\r\n");
  image.Write("t.reg", std::string("REGEDIT4\r\n[HKEY_USERS\\ユーザー\\Software\\表]\r\n"
                                   "\"quote\\\"and\\\\\"=\"C:\\\\ソ\\\"x\\\"\"\r\n"
                                   "@=dword:00000010\r\n"
                                   "\"sz-with-nul\"=hex(1):61,00,62,00\r\n"
                                   "\"sz-no-end\"=hex(1):61,62\r\n"
                                   "\"sz-control\"=hex(1):61,0a,62,00\r\n"
                                   "\"sz-cut-char\"=hex(1):61,81,00\r\n"
                                   "\"short-dword\"=hex(4):01,02\r\n"));
  std::string longHex;
  for (int i = 0; i < 100; ++i) longHex += (i ? ",a" : "a") + std::to_string(i % 10);
  image.Write("u.reg", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Big]\r\n\"wrapped\"=hex(7):" + longHex + "\r\n");
  image.Write("drive_c/WINDOWS/ro.dll", std::string("\0\xFF", 2));
  image.Write("drive_c/WINDOWS/spool.spl", "s");
  image.Write("drive_c/WINDOWS/Program Files Long/x", "");
  image.Write(U8(u8"drive_c/WINDOWS/日本語の名前.txt"), "j");
  image.Write("drive_d/X/y", "other drive");
  ExpectRoundTrip(image.str());
}

TEST(ImageSave, SavedTextUsesRegeditAndIniForms) {
  SimMachine m;
  m.SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Q", "Path", "C:\\Q\"1\"");
  m.SetValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Q", "", REG_DWORD, std::string("\x2a\0\0\0", 4));
  m.SetValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Q", "Raw", REG_SZ, std::string("a\0b\0", 4));
  m.SetValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Q", "Exp", REG_EXPAND_SZ, std::string("%A%\0", 4));
  m.AddFile("C:\\TEMP\\keep.txt", "k", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  TempDir dir;
  std::string error;
  ASSERT_TRUE(sim::SaveImage(m, (dir.path() / "img").string(), error)) << error;
  std::string reg = ReadBytes(dir.path() / "img" / "registry.reg");
  EXPECT_EQ(reg.rfind("REGEDIT4\r\n\r\n", 0), 0u);
  EXPECT_NE(reg.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Q]\r\n"
                     "\"Path\"=\"C:\\\\Q\\\"1\\\"\"\r\n"
                     "@=dword:0000002a\r\n"
                     "\"Raw\"=hex(1):61,00,62,00\r\n"
                     "\"Exp\"=hex(2):25,41,25,00\r\n"),
            std::string::npos)
      << reg;
  std::string ini = ReadBytes(dir.path() / "img" / "machine.ini");
  EXPECT_NE(ini.find("\nC:\\TEMP\\keep.txt=readonly\n"), std::string::npos) << ini;
  EXPECT_EQ(ReadBytes(dir.path() / "img" / "drive_c" / "TEMP" / "keep.txt"), "k");
}

TEST(ImageSave, ServiceBehaviourAndHoldersAreWrittenAsOptions) {
  SimMachine m;
  m.AddKey("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Spooler");
  m.SetServiceState("Spooler", SERVICE_RUNNING);
  m.SetServiceBehaviour("Spooler", {.pollsToStop = 3, .refuseStop = ERROR_DEPENDENT_SERVICES_RUNNING});
  m.SetServiceBehaviour("Gone", {.neverStops = true});  // no key: left out
  m.AddFile("C:\\a.spl", "a");
  m.AddFile("C:\\b.spl", "b");
  m.SetLockedBy("C:\\a.spl", "Spooler");
  m.SetLockedBy("C:\\b.spl", "Gone");  // a service that does not exist holds nothing
  TempDir dir;
  std::string error;
  ASSERT_TRUE(sim::SaveImage(m, (dir.path() / "img").string(), error)) << error;
  std::string ini = ReadBytes(dir.path() / "img" / "machine.ini");
  EXPECT_NE(ini.find("\n[Services]\nSpooler=running,pollsToStop=3,refuseStop=ERROR_DEPENDENT_SERVICES_RUNNING\n\n"),
            std::string::npos)
      << ini;
  EXPECT_NE(ini.find("\nC:\\a.spl=lockedby=Spooler\n"), std::string::npos) << ini;
  EXPECT_EQ(ini.find("b.spl"), std::string::npos) << ini;
  EXPECT_EQ(ini.find("Gone"), std::string::npos) << ini;
}

TEST(ImageSave, RefusesAFolderThatIsNotEmpty) {
  TempDir dir;
  dir.Write("old.txt", "x");
  SimMachine m;
  std::string error;
  EXPECT_FALSE(sim::SaveImage(m, dir.str(), error));
  EXPECT_NE(error.find("not empty"), std::string::npos);
  EXPECT_EQ(ReadBytes(dir.path() / "old.txt"), "x");
}

}  // namespace
}  // namespace qx::test
