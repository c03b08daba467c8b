// Deleting files and folders on a simulated machine: what is gone, what waits for the
// restart, and the log line for each.
#include <gtest/gtest.h>

#include "app/CQXErsDoc.h"
#include "platform/sim/sim_machine.h"
#include "app/text.h"

namespace qx::test {
namespace {

constexpr const char* kSharedDlls = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr const char* kSessionManager = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";

class FileRemoval : public ::testing::Test {
 protected:
  FileRemoval() {
    doc.logEnabled = 1;
    doc.osType = kWindowsNT4;
    machine.AddKey(kSharedDlls);
  }
  void Windows98() {
    machine.settings().platformId = VER_PLATFORM_WIN32_WINDOWS;
    machine.settings().windowsDirectory = "C:\\WINDOWS";
    machine.AddDirectory("C:\\WINDOWS");
    doc.osType = kWindows9x;
  }
  std::string Pending() const {
    auto v = machine.Value(kSessionManager, "PendingFileRenameOperations");
    return v ? v->data : std::string();
  }
  std::string Contents(const std::string& path) const {
    auto f = machine.File(path);
    return f ? f->contents : "<missing>";
  }
  sim::SimMachine machine;
  CQXErsDoc doc{machine.platform()};
};

TEST(TrailingBackslash, IsAddedOnlyWhenTheLastCharacterIsNotOne) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"C:\\A\\", "C:\\A\\"}, {"C:\\A", "C:\\A\\"}, {"", "\\"},
      {"C:\\表", "C:\\表\\"},  // 95 5C: the trail byte is not a backslash
      {"C:\\ソ\\", "C:\\ソ\\"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.in);
    std::string copy = EnsureTrailingBackslash(c.in);
    EXPECT_EQ(c.in, c.out);
    EXPECT_EQ(copy, c.out);
  }
}

TEST_F(FileRemoval, AFileGoesWithItsSharedDllCountWhateverItsAttributes) {
  machine.AddFile("C:\\QX\\A.DLL", "a", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  machine.SetDword(kSharedDlls, "C:\\QX\\A.DLL", 3);
  machine.AddFile("C:\\QX\\B.DLL", "b");
  machine.SetDword(kSharedDlls, "C:\\QX\\Missing.DLL", 1);
  EXPECT_EQ(doc.DeleteOneFile("C:\\QX\\A.DLL"), 0);
  EXPECT_EQ(doc.DeleteOneFile("C:\\QX\\B.DLL"), 0);
  EXPECT_EQ(doc.DeleteOneFile("C:\\QX\\Missing.DLL"), -1);
  EXPECT_EQ(doc.DeleteOneFile("C:\\NoDir\\C.DLL"), -1);
  EXPECT_FALSE(machine.HasFile("C:\\QX\\A.DLL"));
  EXPECT_FALSE(machine.HasFile("C:\\QX\\B.DLL"));
  EXPECT_TRUE(machine.Values(kSharedDlls).empty());
  StringList expected = {"C:\\QX\\A.DLL 削除成功。  共有レジストリ削除成功。",
                         "C:\\QX\\B.DLL 削除成功。  共有レジストリデータなし。",
                         "C:\\QX\\Missing.DLL ファイルなし。  共有レジストリ削除成功。",
                         "C:\\NoDir\\C.DLL ファイルなし。  共有レジストリデータなし。"};
  EXPECT_EQ(doc.logFiles, expected);
  EXPECT_EQ(doc.restartNeeded, 0);
  machine.RemoveKey(kSharedDlls);
  doc.DeleteOneFile("C:\\QX\\D.DLL");
  EXPECT_EQ(doc.logFiles.back(), "C:\\QX\\D.DLL ファイルなし。  共有レジストリなし。");
}

TEST_F(FileRemoval, OnNtAFileInUseIsDeferredAndOnlyASecondFailureWaitsForTheRestart) {
  machine.AddFile("C:\\QX\\Busy.DLL", "x");
  machine.SetLocked("C:\\QX\\Busy.DLL", true);
  machine.AddFile("C:\\QX\\Freed.DLL", "x");
  machine.SetLocked("C:\\QX\\Freed.DLL", true);
  EXPECT_EQ(doc.DeleteOneFile("C:\\QX\\Busy.DLL"), -1);
  EXPECT_EQ(doc.DeleteOneFile("C:\\QX\\Freed.DLL"), -1);
  EXPECT_EQ(doc.deferredFiles, (StringList{"C:\\QX\\Busy.DLL", "C:\\QX\\Freed.DLL"}));
  EXPECT_EQ(doc.restartNeeded, 0);
  EXPECT_EQ(doc.logFiles[0], "C:\\QX\\Busy.DLL 後で削除してみる。  共有レジストリデータなし。");

  machine.SetLocked("C:\\QX\\Freed.DLL", false);
  doc.RetryDeferredFiles();
  EXPECT_EQ(doc.restartNeeded, 1);
  EXPECT_TRUE(machine.HasFile("C:\\QX\\Busy.DLL"));
  EXPECT_FALSE(machine.HasFile("C:\\QX\\Freed.DLL"));
  EXPECT_NE(Pending().find("\\??\\C:\\QX\\Busy.DLL"), std::string::npos);
  EXPECT_EQ(Pending().find("Freed"), std::string::npos);
  StringList tail(doc.logFiles.end() - 3, doc.logFiles.end());
  StringList expected = {std::string(70, '-') + "\r\nSpoolerを停止して削除", "C:\\QX\\Busy.DLL Spooler停止後  削除失敗。",
                         "C:\\QX\\Freed.DLL Spooler停止後  削除成功。"};
  EXPECT_EQ(tail, expected);
  EXPECT_EQ(doc.logRestartCauses, StringList{"C:\\QX\\Busy.DLL の削除に失敗"});
}

TEST_F(FileRemoval, TheRetryOnlyWritesItsHeadingWhenThereIsNothingToRetry) {
  doc.RetryDeferredFiles();
  Windows98();
  doc.deferredFiles.push_back("C:\\QX\\Never.DLL");
  doc.RetryDeferredFiles();
  EXPECT_EQ(doc.logFiles, StringList(2, std::string(70, '-') + "\r\nSpoolerを停止して削除"));
  EXPECT_EQ(Pending(), "");
}

TEST_F(FileRemoval, OnWindows98AFileInUseGoesIntoANewRenameSection) {
  Windows98();
  machine.AddFile("C:\\Program Files\\Qorvex\\Long Name.dll", "x");
  machine.SetLocked("C:\\Program Files\\Qorvex\\Long Name.dll", true);
  machine.SetShortName("C:\\Program Files", "PROGRA~1");
  machine.SetShortName("C:\\Program Files\\Qorvex\\Long Name.dll", "LONGNA~1.DLL");
  EXPECT_EQ(doc.DeleteOneFile("C:\\Program Files\\Qorvex\\Long Name.dll"), -1);
  EXPECT_EQ(doc.restartNeeded, 1);
  EXPECT_TRUE(doc.deferredFiles.empty());
  EXPECT_EQ(Contents("C:\\WINDOWS\\WININIT.INI"), "[rename]\r\nNul=C:\\PROGRA~1\\Qorvex\\LONGNA~1.DLL\r\n");
  EXPECT_EQ(doc.logFiles[0], "C:\\Program Files\\Qorvex\\Long Name.dll 再起動時に削除。  共有レジストリデータなし。");
  EXPECT_EQ(doc.logRestartCauses, StringList{"C:\\Program Files\\Qorvex\\Long Name.dll の削除に失敗"});
}

TEST_F(FileRemoval, AnExistingRenameSectionKeepsEveryLineAndGetsTheNewOneFirst) {
  Windows98();
  std::string before = "[Other]\r\nkey=value\r\n[rename]\r\nNul=C:\\A.DLL\r\n";
  std::string filler;
  while (filler.size() < 20 * 1024) filler += "; padding line " + std::to_string(filler.size()) + "\r\n";
  machine.AddFile("C:\\QX\\B.DLL", "x");
  machine.SetLocked("C:\\QX\\B.DLL", true);
  struct Case {
    std::string ini, expected;
  } cases[] = {
      {before, "[Other]\r\nkey=value\r\n[rename]\r\nNul=C:\\QX\\B.DLL\r\nNul=C:\\A.DLL\r\n"},
      {before + filler, "[Other]\r\nkey=value\r\n[rename]\r\nNul=C:\\QX\\B.DLL\r\nNul=C:\\A.DLL\r\n" + filler},
      {"[Rename]\r\nNul=C:\\A.DLL", "[Rename]\r\nNul=C:\\QX\\B.DLL\r\nNul=C:\\A.DLL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini.substr(0, 40));
    machine.AddFile("C:\\WINDOWS\\WININIT.INI", c.ini);
    doc.ScheduleWininitDelete("C:\\QX\\B.DLL");
    EXPECT_EQ(Contents("C:\\WINDOWS\\WININIT.INI"), c.expected);
    EXPECT_FALSE(machine.HasFile("C:\\WINDOWS\\WININIT.TMP"));
  }
}

TEST_F(FileRemoval, AWininitThatCannotBeReplacedKeepsEveryLineAndTheFileItself) {
  const std::string ini = "[rename]\r\nNul=C:\\A.DLL\r\n";
  const sim::Fault faults[] = {
      {"CreateFileA", "C:\\WINDOWS\\WININIT.TMP", 0, ERROR_ACCESS_DENIED},
      {"ReadFile", "", 0, ERROR_LOCK_VIOLATION},
      {"WriteFile", "C:\\WINDOWS\\WININIT.TMP", 0, ERROR_WRITE_PROTECT},
      {"MoveFileA", "C:\\WINDOWS\\WININIT.QXB", 0, ERROR_ACCESS_DENIED},
      {"MoveFileA", "C:\\WINDOWS\\WININIT.TMP", 0, ERROR_ACCESS_DENIED},  // putting the new one in place
      {"GetPrivateProfileSectionA", "", 0, ERROR_ACCESS_DENIED},            // would have read as no section
  };
  for (const sim::Fault& fault : faults) {
    SCOPED_TRACE(fault.call + " " + fault.object);
    sim::SimMachine m;
    m.settings().platformId = VER_PLATFORM_WIN32_WINDOWS;
    m.settings().windowsDirectory = "C:\\WINDOWS";
    m.AddFile("C:\\WINDOWS\\WININIT.INI", ini);
    m.AddFault(fault);
    CQXErsDoc job{m.platform()};
    job.osType = kWindows9x;
    const bool added = job.ScheduleWininitDelete("C:\\QX\\B.DLL") == 0;
    EXPECT_EQ(m.File("C:\\WINDOWS\\WININIT.INI")->contents,
              added ? "[rename]\r\nNul=C:\\QX\\B.DLL\r\nNul=C:\\A.DLL\r\n" : ini);
    EXPECT_FALSE(m.HasFile("C:\\WINDOWS\\WININIT.TMP"));
    EXPECT_FALSE(m.HasFile("C:\\WINDOWS\\WININIT.QXB"));
  }
}

TEST_F(FileRemoval, AWininitLeftAsideByACutOffReplacementIsPutBack) {
  Windows98();
  machine.AddFile("C:\\WINDOWS\\WININIT.QXB", "[rename]\r\nNul=C:\\A.DLL\r\n");
  machine.AddFile("C:\\WINDOWS\\WININIT.TMP", "[rename]\r\nNul=C:\\QX\\B.DLL\r\nNul=C:\\A.DLL\r\n");
  doc.RecoverWininit();
  EXPECT_EQ(Contents("C:\\WINDOWS\\WININIT.INI"), "[rename]\r\nNul=C:\\A.DLL\r\n");
  EXPECT_FALSE(machine.HasFile("C:\\WINDOWS\\WININIT.QXB"));
}

TEST_F(FileRemoval, ADeletionAlreadyWaitingForTheRestartIsNotQueuedAgain) {
  machine.AddFile("C:\\QX\\B.DLL", "x");
  machine.SetLocked("C:\\QX\\B.DLL", true);
  for (int run = 0; run < 2; ++run) {
    doc.deferredFiles = {"C:\\QX\\B.DLL"};
    doc.RetryDeferredFiles();
  }
  EXPECT_EQ(Pending(), std::string("\\??\\C:\\QX\\B.DLL") + std::string(3, '\0'));
  EXPECT_EQ(doc.restartNeeded, 1);
  Windows98();
  machine.AddFile("C:\\WINDOWS\\WININIT.INI", "[rename]\r\nNul=C:\\QX\\B.DLL\r\n");
  EXPECT_EQ(doc.ScheduleWininitDelete("C:\\QX\\B.DLL"), 0);
  EXPECT_EQ(Contents("C:\\WINDOWS\\WININIT.INI"), "[rename]\r\nNul=C:\\QX\\B.DLL\r\n");
}

TEST_F(FileRemoval, HelpFilesTakeTheirGeneratedCompanions) {
  machine.AddFile("C:\\Q.X\\HELP.HLP", "h");
  machine.AddFile("C:\\Q.X\\HELP.GID", "g", FILE_ATTRIBUTE_HIDDEN);
  machine.AddFile("C:\\Q.X\\HELP.FTS", "f");
  machine.AddFile("C:\\Q.X\\HELP.FTG", "f");
  machine.SetLocked("C:\\Q.X\\HELP.FTG", true);
  machine.AddFile("C:\\Q.GID", "not the product's");
  doc.DeleteOneFile("C:\\Q.X\\help.hlp");
  EXPECT_FALSE(machine.HasFile("C:\\Q.X\\HELP.GID"));
  EXPECT_FALSE(machine.HasFile("C:\\Q.X\\HELP.FTS"));
  EXPECT_TRUE(machine.HasFile("C:\\Q.GID"));
  EXPECT_EQ(doc.restartNeeded, 1);
  EXPECT_NE(Pending().find("\\??\\C:\\Q.X\\help.FTG"), std::string::npos);
  EXPECT_TRUE(doc.deferredFiles.empty());
  StringList expected = {"C:\\Q.X\\help.hlp 削除成功。  共有レジストリデータなし。", "C:\\Q.X\\help.GID ファイルなし。",
                         "C:\\Q.X\\help.FTS ファイルなし。", "C:\\Q.X\\help.FTG ファイル削除失敗。再起動時に削除。"};
  EXPECT_EQ(doc.logFiles, expected);
  EXPECT_EQ(doc.logRestartCauses, StringList{"C:\\Q.X\\help.FTG の削除に失敗"});
}

TEST_F(FileRemoval, TheReadmesShortNameLosesItsSharedDllEntryOnWindows98And2000) {
  const std::string readme = "C:\\QX\\お読みください.TXT";
  for (int osType : {0, 2, 3}) {
    SCOPED_TRACE(osType);
    doc.osType = osType;
    doc.logFiles.clear();
    machine.SetDword(kSharedDlls, "C:\\QX\\お読み~1.TXT", 1);
    doc.DeleteOneFile(readme);
    bool handled = osType != kWindowsNT4;
    EXPECT_EQ(machine.Value(kSharedDlls, "C:\\QX\\お読み~1.TXT").has_value(), !handled);
    ASSERT_EQ(doc.logFiles.size(), handled ? 2u : 1u);
    if (handled) { EXPECT_EQ(doc.logFiles[1], "お読みくださいのショートファイルネーム対応：共有レジストリ削除成功。"); }
  }
}

TEST_F(FileRemoval, WildcardDeletionCountsTheFilesItDeletedAndLeavesFoldersAlone) {
  machine.AddFile("C:\\QX\\WAV\\a.wav", "");
  machine.AddFile("C:\\QX\\WAV\\b.WAV", "", FILE_ATTRIBUTE_READONLY);
  machine.AddFile("C:\\QX\\WAV\\keep.txt", "");
  machine.AddFile("C:\\QX\\WAV\\busy.wav", "");
  machine.SetLocked("C:\\QX\\WAV\\busy.wav", true);
  machine.AddDirectory("C:\\QX\\WAV\\sub.wav");
  machine.SetAttributes("C:\\QX", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(doc.DeleteMatchingFiles("C:\\QX\\WAV\\", "*.wav"), 2);
  EXPECT_TRUE(machine.HasFile("C:\\QX\\WAV\\keep.txt"));
  EXPECT_TRUE(machine.HasFile("C:\\QX\\WAV\\busy.wav"));
  EXPECT_TRUE(machine.HasDirectory("C:\\QX\\WAV\\sub.wav"));
  EXPECT_EQ(machine.File("C:\\QX")->attributes, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(doc.DeleteMatchingFiles("C:\\QX\\WAV\\", "*.*"), 1);
  EXPECT_EQ(doc.DeleteMatchingFiles("C:\\QX\\WAV\\", ""), 0);
  EXPECT_EQ(doc.DeleteMatchingFiles("", "*.*"), 0);
  EXPECT_EQ(doc.DeleteMatchingFiles("C:\\Missing\\", "*.*"), 0);
  EXPECT_TRUE(doc.logFiles.empty());
}

TEST_F(FileRemoval, FoldersGoOnlyWhenEmptyAndAreNeverLeftForTheRestart) {
  machine.AddDirectory("C:\\QX\\Empty");
  machine.AddFile("C:\\QX\\Full\\a.txt", "");
  EXPECT_EQ(doc.RemoveFolder("C:\\QX\\Empty\\"), 0);
  EXPECT_EQ(doc.RemoveFolder("C:\\QX\\Full\\"), -1);
  EXPECT_EQ(doc.RemoveFolder("C:\\QX\\Missing\\"), 0);
  EXPECT_FALSE(machine.HasDirectory("C:\\QX\\Empty"));
  EXPECT_TRUE(machine.HasFile("C:\\QX\\Full\\a.txt"));
  StringList expected = {"C:\\QX\\Empty\\ ディレクトリ削除成功。", "C:\\QX\\Full\\ ディレクトリ削除失敗。エラー番号 145",
                         "C:\\QX\\Missing\\ ディレクトリなし。"};
  EXPECT_EQ(doc.logFiles, expected);
  EXPECT_EQ(doc.restartNeeded, 0);
}

}  // namespace
}  // namespace qx::test
