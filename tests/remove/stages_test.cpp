// The file and registry stages on a simulated machine: which files and keys go, in which
// order, with which log lines and progress steps.
#include <gtest/gtest.h>

#include "support/stage_machine.h"

namespace qx::test {
namespace {

const std::string kLight = std::string(70, '-') + "\r\n";

TEST(FileStage, OnWindows2000ASystemFileGoesFromBothSystemDirectoriesInOneStep) {
  for (int os : {2, 3}) {
    SCOPED_TRACE(os);
    StageMachine m;
    m.doc.osType = os;
    m.machine.AddFile("C:\\WINNT\\System32\\ZOVPMN.DLL", "32");
    m.machine.AddFile("C:\\WINNT\\System\\ZOVPMN.DLL", "16");
    m.doc.DEL_FILE_QX_WINSYSDIR = {"ZOVPMN.DLL"};
    m.doc.RemoveFiles();
    EXPECT_FALSE(m.machine.HasFile("C:\\WINNT\\System32\\ZOVPMN.DLL"));
    EXPECT_EQ(m.machine.HasFile("C:\\WINNT\\System\\ZOVPMN.DLL"), os != 3);
    EXPECT_EQ(m.doc.stepPos, 1u);
  }
}

TEST(FileStage, ListsGoToTheirDirectoriesDirectoryByDirectory) {
  StageMachine m;
  m.doc.delFlags = 7;
  m.doc.productDirs = {"C:\\QX1\\", "C:\\QX2"};
  m.doc.DEL_FILE_QX_QXDIR = {"A.EXE", "B.DLL"};
  m.doc.DEL_FILE_QX_ROOT = {"A.INI"};
  m.doc.DEL_FILE_PP_WINDIR = {"PP.INI"};
  m.doc.DEL_FILE_DRV_WINSYSDIR = {"DRV.DLL"};
  for (const char* f : {"C:\\QX1\\A.EXE", "C:\\QX1\\B.DLL", "C:\\QX2\\A.EXE", "C:\\QX2\\B.DLL", "C:\\A.INI",
                        "C:\\WINNT\\PP.INI", "C:\\WINNT\\System32\\DRV.DLL"})
    m.machine.AddFile(f, "x");
  m.doc.RemoveFiles();
  StringList deleted;
  for (const std::string& line : m.doc.logFiles)
    if (line.find(" 削除成功。") != std::string::npos) deleted.push_back(line.substr(0, line.find(' ')));
  EXPECT_EQ(deleted, (StringList{"C:\\WINNT\\PP.INI", "C:\\QX1\\A.EXE", "C:\\QX1\\B.DLL", "C:\\QX2\\A.EXE",
                                 "C:\\QX2\\B.DLL", "C:\\A.INI", "C:\\WINNT\\System32\\DRV.DLL"}));
  EXPECT_EQ(m.doc.stepPos, 7u);
}

TEST(FileStage, ProductAndSpoolDirectoriesAreEmptiedByPatternAndForeignFoldersStay) {
  StageMachine m;
  m.doc.productDirs = {"C:\\QX\\"};
  m.doc.spoolDirs = {"C:\\SP\\"};
  m.machine.AddFile("C:\\QX\\WAV\\a.wav", "w");
  m.machine.AddFile("C:\\QX\\WAV\\b.WAV", "w");
  m.machine.AddFile("C:\\QX\\temp.1", "t");
  m.machine.AddFile("C:\\QX\\.cache\\state", "c");
  m.machine.AddDirectory("C:\\QX\\OLD");
  m.doc.RemoveFiles();
  EXPECT_EQ(m.After(m.doc.logFiles, "QXディレクトリ／ディレクトリ内削除"),
            (StringList{
                "C:\\SP\\ ディレクトリの下の psf*.prn ファイル 0 個削除",
                "C:\\SP\\ ディレクトリの下の zov*.dat ファイル 0 個削除",
                "C:\\SP\\ ディレクトリなし。",
                "C:\\QX\\WAV\\ ディレクトリの下の *.WAV ファイル 2 個削除",
                "C:\\QX\\WAV\\ ディレクトリ削除成功。",
                "C:\\QX\\WEBQX\\ ディレクトリの下の *.dll ファイル 0 個削除",
                "C:\\QX\\WEBQX\\ ディレクトリなし。",
                "C:\\QX\\LOG\\ ディレクトリの下の *.log ファイル 0 個削除",
                "C:\\QX\\LOG\\ ディレクトリなし。",
                "C:\\QX\\ ディレクトリの下の *.gid ファイル 0 個削除",
                "C:\\QX\\ ディレクトリの下の *.fts ファイル 0 個削除",
                "C:\\QX\\ ディレクトリの下の *.ftg ファイル 0 個削除",
                "C:\\QX\\ ディレクトリの下の temp.* ファイル 1 個削除",
                "C:\\QX\\ ディレクトリの下の *.tmp ファイル 0 個削除",
                "C:\\QX\\OLD\\ ディレクトリ削除成功。",
                "C:\\QX\\OLD\\ ディレクトリを見つけたので削除する",
                "C:\\QX\\ ディレクトリ削除失敗。エラー番号 145",
                std::string(70, '-') + "\r\nMigrate作成Iniファイル削除",
                "Iniファイルなし",
            }));
  EXPECT_TRUE(m.machine.HasFile("C:\\QX\\.cache\\state"));
  EXPECT_EQ(m.doc.stepPos, 0u);
}

TEST(FileStage, WithOnlyTheDriverKindNoDirectoryIsTouchedAndTheHeadingsStay) {
  StageMachine m;
  m.doc.delFlags = 2;
  m.doc.productDirs = {"C:\\QX\\"};
  m.doc.DEL_FILE_QX_QXDIR = {"A.EXE"};
  m.doc.DEL_FILE_DRV_WINDIR = {"DRV.INI"};
  m.machine.AddFile("C:\\QX\\A.EXE", "a");
  m.machine.AddFile("C:\\QX\\WAV\\a.wav", "w");
  m.machine.AddFile("C:\\WINNT\\DRV.INI", "d");
  m.doc.RemoveFiles();
  EXPECT_EQ(m.doc.logFiles,
            (StringList{kLight + "ファイル情報削除", "C:\\WINNT\\DRV.INI 削除成功。  共有レジストリなし。",
                        kLight + "Spoolerを停止して削除", kLight + "QXディレクトリ／ディレクトリ内削除"}));
  EXPECT_TRUE(m.machine.HasFile("C:\\QX\\A.EXE"));
  EXPECT_TRUE(m.machine.HasFile("C:\\QX\\WAV\\a.wav"));
}

TEST(RegistryStage, CurrentUserEntriesAreRepeatedForEveryLoadedHiveAfterAllEntries) {
  StageMachine m;
  m.doc.delFlags = 7;
  const std::string run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  for (const char* hive : {"HKEY_USERS\\.DEFAULT\\", "HKEY_USERS\\S-1-5-21-1000\\"}) {
    m.machine.AddKey(std::string(hive) + "Software\\Qorvex\\Sub");
    m.machine.SetString(hive + run, "QXSTAT", "x");
    m.machine.SetString(hive + run, "Other", "y");
  }
  m.machine.SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Shared", "Products", "A,Qorvex,B");
  m.doc.DEL_REG_QX = {"HKEY_CURRENT_USER,Software\\Qorvex", "HKEY_LOCAL_MACHINE,SOFTWARE\\Q",
                      "HKEY_CURRENT_USER," + run + ",QXSTAT"};
  m.doc.PULL_REG_QX = {"HKEY_LOCAL_MACHINE,SOFTWARE\\Shared,Products,Qorvex"};
  m.doc.DEL_REG_PP = {"HKEY_LOCAL_MACHINE,SOFTWARE\\PP"};
  m.doc.DEL_REG_DRV = {"HKEY_LOCAL_MACHINE,SOFTWARE\\DRV"};
  m.doc.RemoveRegistryEntries();
  EXPECT_EQ(m.doc.logRegistry, (StringList{
                                   kLight + "レジストリ情報削除",
                                   "HKEY_LOCAL_MACHINE,SOFTWARE\\PP キーなし。",
                                   "HKEY_CURRENT_USER,Software\\Qorvex キー削除成功。",
                                   "HKEY_LOCAL_MACHINE,SOFTWARE\\Q キーなし。",
                                   "HKEY_CURRENT_USER," + run + ",QXSTAT データ削除成功。",
                                   "HKEY_USERS,.DEFAULT\\Software\\Qorvex キー削除成功。",
                                   "HKEY_USERS,.DEFAULT\\" + run + ",QXSTAT データ削除成功。",
                                   "HKEY_USERS,S-1-5-21-1000\\Software\\Qorvex キーなし。",
                                   "HKEY_USERS,S-1-5-21-1000\\" + run + ",QXSTAT データなし。",
                                   "HKEY_LOCAL_MACHINE,SOFTWARE\\DRV キーなし。",
                               }));
  EXPECT_EQ(m.doc.logPartialRegistry,
            StringList{"HKEY_LOCAL_MACHINE,SOFTWARE\\Shared,Products 内の指定文字 Qorvex 削除成功"});
  EXPECT_EQ(m.doc.stepPos, 10u);
  EXPECT_TRUE(m.machine.Value("HKEY_USERS\\.DEFAULT\\" + run, "Other"));
}

TEST(RegistryStage, WithoutTheProductKindNoProductEntryIsTouched) {
  StageMachine m;
  m.doc.delFlags = 6;
  m.machine.AddKey("HKEY_USERS\\.DEFAULT\\Software\\Qorvex");
  m.machine.SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Shared", "Products", "A,Qorvex");
  m.doc.DEL_REG_QX = {"HKEY_CURRENT_USER,Software\\Qorvex"};
  m.doc.PULL_REG_QX = {"HKEY_LOCAL_MACHINE,SOFTWARE\\Shared,Products,Qorvex"};
  m.doc.RemoveRegistryEntries();
  EXPECT_EQ(m.doc.logRegistry, StringList{kLight + "レジストリ情報削除"});
  EXPECT_TRUE(m.machine.HasKey("HKEY_USERS\\.DEFAULT\\Software\\Qorvex"));
  EXPECT_TRUE(m.doc.logPartialRegistry.empty());
}

}  // namespace
}  // namespace qx::test
