// The simulated file system's own rules: short names, locks held by other programs,
// deletions recorded for the restart, the Windows 95/98 differences, and double-byte names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace qx::sim {
namespace {

constexpr const char* kSessionManager = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";

std::string Bytes(std::initializer_list<std::string> parts) {
  std::string s;
  for (const auto& p : parts) {
    s += p;
    s.push_back('\0');
  }
  return s;
}

class SimFilesTest : public ::testing::Test {
 protected:
  SimMachine m;
  Files& files = m.platform().files;
  System& sys = m.platform().system;

  std::vector<std::string> List(const char* pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA d;
    HANDLE h = files.FindFirstFileA(pattern, d);
    if (h == INVALID_HANDLE_VALUE) return names;
    do names.push_back(d.cFileName + (d.cAlternateFileName.empty() ? "" : "|" + d.cAlternateFileName));
    while (files.FindNextFileA(h, d));
    files.FindClose(h);
    return names;
  }
  std::string ShortPath(const char* path) {
    char buf[MAX_PATH];
    DWORD n = files.GetShortPathNameA(path, buf, sizeof buf);
    return n && n < sizeof buf ? std::string(buf, n) : "(failed " + std::to_string(sys.GetLastError()) + ")";
  }
};

TEST_F(SimFilesTest, ShortNamesAreGeneratedAsWindowsGeneratesThem) {
  struct Case {
    const char* longName;
    const char* shortName;  // "" when the long name is an 8.3 name itself
  };
  const std::vector<Case> cases = {
      {"readme.txt", ""},
      {"README.TXT", ""},
      {"Program Files", "PROGRA~1"},
      {"Long File Name.html", "LONGFI~1.HTM"},
      {"a+b=c.txt", "A_B_C~1.TXT"},
      {".htaccess", "HTACCE~1"},
      {"my.file.name.txt", "MYFILE~1.TXT"},
      {"abcdefghi", "ABCDEF~1"},
      {"x.jpeg", "X~1.JPE"},
      {"two words.ini", "TWOWOR~1.INI"},
      {"日本語のファイル.txt", "日本語~1.TXT"},  // six bytes: three double-byte characters
  };
  for (const auto& c : cases) {
    SimMachine fresh;
    std::string path = std::string("C:\\d\\") + c.longName;
    fresh.AddFile(path, "x");
    ASSERT_TRUE(fresh.File(path)) << c.longName;
    EXPECT_EQ(fresh.File(path)->shortName, c.shortName) << c.longName;
  }
}

TEST_F(SimFilesTest, ShortNameCollisionsCountUpAndShortenTheBasis) {
  std::vector<std::string> shorts;
  for (int i = 1; i <= 11; ++i) {
    std::string path = "C:\\d\\Program Files " + std::to_string(i);
    m.AddDirectory(path);
    shorts.push_back(m.File(path)->shortName);
  }
  EXPECT_EQ(shorts[0], "PROGRA~1");
  EXPECT_EQ(shorts[1], "PROGRA~2");
  EXPECT_EQ(shorts[8], "PROGRA~9");
  EXPECT_EQ(shorts[9], "PROGR~10");
  EXPECT_EQ(shorts[10], "PROGR~11");
}

TEST_F(SimFilesTest, ShortNamesNamePathsAndMatchSearches) {
  m.AddFile("C:\\Program Files\\Qorvex Eraser\\QXErs.exe", "MZ");
  m.AddFile("C:\\Program Files\\Qorvex Eraser\\Long File Name.html", "<html>");
  m.SetShortName("C:\\Program Files\\Qorvex Eraser", "QXERS~9");

  EXPECT_EQ(ShortPath("C:\\Program Files\\Qorvex Eraser\\QXErs.exe"), "C:\\PROGRA~1\\QXERS~9\\QXErs.exe");
  EXPECT_EQ(ShortPath("c:\\program files\\qorvex eraser"), "c:\\PROGRA~1\\QXERS~9");
  EXPECT_TRUE(m.HasFile("C:\\PROGRA~1\\QXERS~9\\QXErs.exe"));  // short names resolve as paths
  // "*.htm" reaches the .html file through its short name.
  EXPECT_EQ(List("C:\\PROGRA~1\\QXERS~9\\*.htm"), std::vector<std::string>{"Long File Name.html|LONGFI~1.HTM"});
  EXPECT_EQ(List("C:\\Program Files\\QXERS~9"), std::vector<std::string>{"Qorvex Eraser|QXERS~9"});
  // No "." or ".." at a root.
  EXPECT_EQ(List("C:\\*"), (std::vector<std::string>{"Program Files|PROGRA~1", "QXErs", "TEMP", "WINNT"}));
}

TEST_F(SimFilesTest, ALockedFileRefusesEveryUseWithASharingViolation) {
  m.AddFile("C:\\WINNT\\System32\\zovmon.dll", "MZ");
  m.AddDirectory("C:\\spare");
  HANDLE before = files.CreateFileA("C:\\WINNT\\System32\\zovmon.dll", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    OPEN_EXISTING, 0);
  ASSERT_NE(before, INVALID_HANDLE_VALUE);
  m.SetLocked("C:\\WINNT\\System32\\zovmon.dll", true);

  DWORD written = 0;
  EXPECT_FALSE(files.WriteFile(before, "x", 1, &written));
  EXPECT_EQ(sys.GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(files.CreateFileA("C:\\WINNT\\System32\\zovmon.dll", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(sys.GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(files.DeleteFileA("C:\\WINNT\\System32\\zovmon.dll"));
  EXPECT_EQ(sys.GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(files.MoveFileA("C:\\WINNT\\System32\\zovmon.dll", "C:\\spare\\zovmon.dll"));
  EXPECT_EQ(sys.GetLastError(), ERROR_SHARING_VIOLATION);
  // Clearing attributes is allowed: the engine does that before it deletes.
  EXPECT_TRUE(files.SetFileAttributesA("C:\\WINNT\\System32\\zovmon.dll", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(m.File("C:\\WINNT\\System32\\zovmon.dll")->contents, "MZ");

  files.CloseHandle(before);
  m.SetLocked("C:\\WINNT\\System32\\zovmon.dll", false);
  EXPECT_TRUE(files.DeleteFileA("C:\\WINNT\\System32\\zovmon.dll"));
  EXPECT_FALSE(m.HasFile("C:\\WINNT\\System32\\zovmon.dll"));
}

TEST_F(SimFilesTest, DeletionsAtRestartAreRecordedForTheSessionManager) {
  m.AddFile("C:\\QX\\a.dll", "1");
  m.AddFile("C:\\QX\\b.dll", "2");
  ASSERT_TRUE(files.MoveFileExA("C:\\QX\\a.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  ASSERT_TRUE(files.MoveFileExA("c:/QX/./sub/../b.dll", "C:\\QX\\c.dll",
                                MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
  ASSERT_TRUE(files.MoveFileExA("C:\\QX\\b.dll", "C:\\QX\\d.dll", MOVEFILE_DELAY_UNTIL_REBOOT));

  auto v = m.Value(kSessionManager, "PendingFileRenameOperations");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, REG_MULTI_SZ);
  EXPECT_EQ(v->data, Bytes({"\\??\\C:\\QX\\a.dll", "", "\\??\\C:\\QX\\b.dll", "!\\??\\C:\\QX\\c.dll",
                            "\\??\\C:\\QX\\b.dll", "\\??\\C:\\QX\\d.dll", ""}));
  // Nothing moves before the restart.
  EXPECT_TRUE(m.HasFile("C:\\QX\\a.dll"));
  EXPECT_FALSE(m.HasFile("C:\\QX\\c.dll"));
}

TEST_F(SimFilesTest, PendingOperationsAreAppendedToWhatIsAlreadyThere) {
  m.SetValue(kSessionManager, "PendingFileRenameOperations", REG_MULTI_SZ, Bytes({"\\??\\C:\\old.tmp", "", ""}));
  ASSERT_TRUE(files.MoveFileExA("C:\\new.tmp", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_EQ(m.Value(kSessionManager, "PendingFileRenameOperations")->data,
            Bytes({"\\??\\C:\\old.tmp", "", "\\??\\C:\\new.tmp", "", ""}));
  EXPECT_FALSE(files.MoveFileExA("C:\\new.tmp", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_COPY_ALLOWED));
  EXPECT_EQ(sys.GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(SimFilesTest, Windows9xHasNoMoveFileEx) {
  m.settings().platformId = VER_PLATFORM_WIN32_WINDOWS;
  m.AddFile("C:\\WINDOWS\\x.dll", "1");
  EXPECT_FALSE(files.MoveFileExA("C:\\WINDOWS\\x.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_EQ(sys.GetLastError(), ERROR_CALL_NOT_IMPLEMENTED);
  EXPECT_FALSE(files.MoveFileExA("C:\\WINDOWS\\x.dll", "C:\\WINDOWS\\y.dll", 0));
  EXPECT_EQ(sys.GetLastError(), ERROR_CALL_NOT_IMPLEMENTED);
  EXPECT_TRUE(m.HasFile("C:\\WINDOWS\\x.dll"));
  EXPECT_TRUE(m.AllKeys().empty());
}

// 0x5C, the backslash, is the second byte of "表" and "ソ"; such names stay whole.
TEST_F(SimFilesTest, DoubleByteNamesWithABackslashTrailByteStayWhole) {
  const std::size_t before = m.AllFiles().size();
  m.AddFile("C:\\表示\\ソフト.txt", "x");
  EXPECT_EQ(m.AllFiles().size(), before + 2);
  EXPECT_TRUE(m.HasDirectory("C:\\表示"));
  EXPECT_EQ(m.File("C:\\表示\\ソフト.txt")->path, "C:\\表示\\ソフト.txt");
  EXPECT_EQ(List("C:\\表示\\*"), (std::vector<std::string>{".", "..", "ソフト.txt"}));
  EXPECT_EQ(List("C:\\表示\\ソ*.TXT"), std::vector<std::string>{"ソフト.txt"});
  HANDLE h = files.CreateFileA("C:\\表示\\ソフト.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  files.CloseHandle(h);
  EXPECT_TRUE(files.DeleteFileA("C:\\表示\\ソフト.txt"));
  EXPECT_TRUE(files.RemoveDirectoryA("C:\\表示\\"));
  EXPECT_EQ(m.AllFiles().size(), before);
}

TEST_F(SimFilesTest, DosWildcardRules) {
  for (const char* n : {"a", "ab", "abc", "a.txt", "b.txt.bak", "noext", "x.y.txt"}) m.AddFile(std::string("C:\\w\\") + n, "");
  struct Case {
    const char* pattern;
    std::vector<std::string> names;
  };
  const std::vector<Case> cases = {
      {"*.*", {".", "..", "a", "a.txt", "ab", "abc", "b.txt.bak", "noext", "x.y.txt"}},
      {"*.txt", {"a.txt", "x.y.txt"}},
      {"*.", {".", "..", "a", "ab", "abc", "noext"}},
      {"a?", {"a", "ab"}},
      {"a.*", {"a", "a.txt"}},
      {"?.txt", {"a.txt"}},
      {"*x*", {"a.txt", "b.txt.bak", "noext", "x.y.txt"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> longNames;
    for (const auto& n : List((std::string("C:\\w\\") + c.pattern).c_str())) longNames.push_back(n.substr(0, n.find('|')));
    EXPECT_EQ(longNames, c.names) << c.pattern;
  }
}

}  // namespace
}  // namespace qx::sim
