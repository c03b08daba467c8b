// QXErs.log, compared byte for byte with a log kept beside the tests.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/run_fixture.h"

namespace qx::test {
namespace {

std::string ReadExpected(const std::string& name) {
  std::ifstream in(std::string(QX_SOURCE_DIR) + "/tests/app/expected/" + name, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// A machine whose spooler is stopped, with two product printers (one of them installed),
// two local printers and a printer connection of the current user.
void KnownMachine(RunFixture& run) {
  sim::SimMachine& m = run.machine;
  m.AddKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\Qorvex\\Printers\\QX Color\\Status Variables");
  m.AddKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\Qorvex\\Printers\\QX Mono");
  m.AddKey("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\QX Color");
  m.AddKey("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\経理部プリンタ");
  m.AddKey("HKEY_CURRENT_USER\\Printers\\Connections\\,,SERVER,Laser");
  m.settings().localTime = SYSTEMTIME{2003, 4, 2, 1, 9, 5, 7, 0};
}

void FillEverySection(CQXErsDoc& doc) {
  // Collected in an order unlike the file's, which must not matter.
  doc.AddLog(doc.logRestartCauses, "C:\\QX\\A.DLL の削除に失敗");
  doc.AddLog(doc.logSpoolerStopped, "HKEY_LOCAL_MACHINE\\SYSTEM\\X キー削除成功。");
  doc.AddLog(doc.logDrivers, "Qorvex PS 削除成功");
  doc.AddLog(doc.logOthers, "ZOVSDS なし");
  doc.AddLog(doc.logFolders, "C:\\QX\\ ディレクトリ削除成功。");
  doc.AddLog(doc.logPartialRegistry, "HKEY_LOCAL_MACHINE,K,V 内の指定文字 B 削除成功");
  doc.AddLog(doc.logRegistry, std::string(70, '-') + "\r\nレジストリ情報削除");
  doc.AddLog(doc.logRegistry, "HKEY_LOCAL_MACHINE,SOFTWARE\\ZOV キー削除成功。");
  doc.AddLog(doc.logFiles, "C:\\QX\\A.DLL 後で削除してみる。  共有レジストリデータなし。");
}

TEST(RunLog, AKnownMachinesLogMatchesByteForByte) {
  RunFixture run;
  KnownMachine(run);
  run.WriteEnvironment("101", "1");
  run.doc.PrepareRun();
  ASSERT_EQ(run.doc.CheckEnvironment(), 0);
  run.doc.ReadRunSettings();
  run.doc.spoolerRunning = false;
  run.doc.productDirs = {"C:\\Program Files\\Qorvex\\", "D:\\表示\\"};
  run.doc.spoolDirs = {"C:\\Program Files\\Qorvex\\SPOOL\\"};
  run.doc.stepTotal = 42;
  ASSERT_EQ(run.doc.WriteLogHeader(), 0);
  FillEverySection(run.doc);
  ASSERT_EQ(run.doc.WriteLogSections(), 0);
  EXPECT_EQ(run.Log(), ReadExpected("known_machine.log"));
}

TEST(RunLog, ARunThatDeletesNothingWritesTheEnvironmentTheStageHeadingsAndTheClosingLine) {
  RunFixture run;
  run.machine.settings().platformId = VER_PLATFORM_WIN32_NT;
  run.machine.settings().majorVersion = 5;
  run.WriteEnvironment("000", "1");
  run.machine.AddFile("C:\\TEMP\\QXErs.log", "the previous run's log, longer than this one will be\r\n");
  run.Run();
  std::string heavy = std::string(70, '=') + "\r\n";
  std::string light = std::string(70, '-') + "\r\n";
  // The file, registry and folder stages write their headings whatever the kinds.
  EXPECT_EQ(run.Log(), heavy +
                           "＜環境情報＞\r\n2003年 4月 1日 9時 5分\r\nOS Type：Windows2000\r\n"
                           "Qorvexディレクトリ：\r\nSpoolディレクトリ：\r\nInstalled Qorvex：\r\n"
                           "Installed Printer：(Spooler停止中)\r\n削除種類：\r\n削除対象データ数：12\r\n" +
                           heavy + "＜削除ファイル＞\r\n" + light + "Migrate情報削除\r\n" + light +
                           "DeIsl*.isu情報削除\r\n削除ファイル数：0 個\r\n" + light + "ファイル情報削除\r\n" + light +
                           "Spoolerを停止して削除\r\n" + light + "QXディレクトリ／ディレクトリ内削除\r\n" + heavy +
                           "＜削除レジストリ＞\r\n" + light + "Migrate情報削除\r\n" + light + "レジストリ情報削除\r\n" +
                           heavy + "＜削除フォルダ＞\r\n" + light + "Migrate情報削除\r\n" + light + "フォルダ情報削除\r\n" +
                           heavy +
                           // The default-printer check of a run that found the spooler stopped
                           // always opens its group; with no default and no printer it sets nothing.
                           "＜SPOOLER停止時の処理＞\r\n" + light +
                           "通常使うプリンタに設定(SPOOLER 停止時の処理)\r\n" + heavy);
}

TEST(RunLog, NoLogIsWrittenOrCollectedUnlessLogIsOne) {
  for (const char* log : {"0", "", "11", "yes"}) {
    SCOPED_TRACE(log);
    RunFixture run;
    run.WriteEnvironment("000", log);
    run.machine.AddFile("C:\\TEMP\\QXErs.log", "kept");
    run.Run();
    EXPECT_EQ(run.Log(), "kept");
    run.doc.AddLog(run.doc.logFiles, "line");
    EXPECT_TRUE(run.doc.logFiles.empty());
  }
}

TEST(RunLog, AnUnwritableTemporaryDirectoryLeavesTheRunAsItWas) {
  RunFixture withLog;
  withLog.WriteEnvironment("000", "1");
  withLog.machine.settings().tempPath = "C:\\NoSuchDir\\";
  withLog.Run();
  EXPECT_FALSE(withLog.machine.HasFile("C:\\NoSuchDir\\QXErs.log"));

  RunFixture without;
  without.WriteEnvironment("000", "0");
  without.Run();
  EXPECT_EQ(withLog.Messages(), without.Messages());

  RunFixture locked;
  locked.WriteEnvironment("000", "1");
  locked.machine.AddFile("C:\\TEMP\\QXErs.log", "held by another program");
  locked.machine.SetLocked("C:\\TEMP\\QXErs.log", true);
  locked.Run();
  EXPECT_EQ(locked.Log(), "held by another program");
  EXPECT_EQ(locked.Messages(), without.Messages());
}

}  // namespace
}  // namespace qx::test
