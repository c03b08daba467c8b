// The folder stage on a simulated Windows NT 4.0 machine: what Program Manager received,
// the log lines, and which shortcuts, folders and keys are gone.
#include <gtest/gtest.h>

#include "support/stage_machine.h"

namespace qx::test {
namespace {

// Program Manager's groups: the current user's Programs folder.
constexpr const char* kUserPrograms = "C:\\WINNT\\Profiles\\S-1-5-21-1000\\スタート メニュー\\プログラム\\";
// One of the common Start-menu folders the stage cleans itself.
constexpr const char* kCommonPrograms = "C:\\WINNT\\Profiles\\All Users\\スタート メニュー\\プログラム\\";
constexpr const char* kMenuOrder =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\ﾌﾟﾛｸﾞﾗﾑ(&P)\\";
constexpr const char* kCommonGroups = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Program Manager\\Common Groups";
constexpr const char* kGrpConv = "Software\\Microsoft\\Windows\\CurrentVersion\\GrpConv\\Groups";
const std::string kUsers[] = {"HKEY_USERS\\.DEFAULT\\", "HKEY_USERS\\S-1-5-21-1000\\"};

struct FolderMachine : StageMachine {
  FolderMachine() {
    for (const char* programs : {kUserPrograms, kCommonPrograms}) {
      for (const char* link : {"Qorvex\\Readme.lnk", "Qorvex\\Monitor.lnk", "Hanakoya\\Memo.lnk"})
        machine.AddFile(std::string(programs) + link, "L");
    }
    for (const std::string& user : kUsers) {
      machine.SetString(user + kMenuOrder + "Qorvex", "Readme", "1");
      machine.SetString(user + kMenuOrder + "Qorvex", "Monitor", "2");
      machine.SetString(user + kMenuOrder + "Hanakoya", "Memo", "1");
      machine.SetString(user + kCommonGroups, "Group1", "Qorvex");
      machine.SetString(user + kCommonGroups, "Group2", "MyQorvex");
      machine.SetString(user + kCommonGroups, "Group3", "Hanakoya");
      machine.SetString(user + kGrpConv, "C:\\WINNT\\Qorvex.grp", "1");
      machine.SetString(user + kGrpConv, "C:\\WINNT\\MyQorvex.grp", "1");
    }
    machine.SetString("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                      "Programs", std::string(kUserPrograms).substr(0, std::string(kUserPrograms).size() - 1));
    machine.AddKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Program Groups\\Qorvex\\Items");
    machine.AddKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Program Groups\\Hanakoya");
  }
  void RunStage(const StringList& entries) {
    doc.DEL_FOLDER_QX = entries;
    doc.RemoveFoldersAndMenus();
  }
  std::string Kept(const std::vector<std::string>& paths) {
    std::string out;
    for (const std::string& p : paths) out += (machine.HasFile(p) || machine.HasDirectory(p) ? "1" : "0");
    return out;
  }
};

class FolderStage : public ::testing::Test, public FolderMachine {};

const std::string kHeading = std::string(70, '-') + "\r\nフォルダ情報削除";

TEST(FolderStageEntries, AgainstProgramManagerRunningAndAbsent) {
  const std::string u = kUserPrograms, c = kCommonPrograms;
  // Files looked at: the user's and the common Readme, Monitor and group folder.
  const std::vector<std::string> paths = {u + "Qorvex\\Readme.lnk", u + "Qorvex\\Monitor.lnk", u + "Qorvex",
                                          c + "Qorvex\\Readme.lnk", c + "Qorvex\\Monitor.lnk", c + "Qorvex"};
  struct Case {
    const char* entry;
    bool running;
    std::vector<std::string> commands;
    std::vector<std::string> log;  // after the heading
    const char* kept;              // per path above
  } cases[] = {
      {"Qorvex", true, {"[DeleteGroup(Qorvex)]"}, {"Qorvex フォルダの  削除成功"}, "000000"},
      {"Qorvex", false, {}, {}, "111000"},
      {"Qorvex,Readme.lnk", true, {"[CreateGroup(Qorvex)]", "[DeleteItem(Readme)]"},
       {"Qorvex フォルダの Readme アイテム  削除成功"}, "011011"},
      {"Qorvex,Readme.LNK", true, {"[CreateGroup(Qorvex)]", "[DeleteItem(Readme)]"},
       {"Qorvex フォルダの Readme アイテム  削除成功"}, "011011"},
      {"Qorvex,Readme", false, {}, {}, "111011"},
      {"Qorvex,Setup", true, {"[CreateGroup(Qorvex)]", "[DeleteItem(Setup)]"},
       {"Qorvex フォルダの Setup アイテム  削除失敗 or なし"}, "111111"},
      {"Gone", true, {"[DeleteGroup(Gone)]"}, {"Gone フォルダの  削除失敗 or なし"}, "111111"},
      // A group that is not there is not made just to delete from it.
      {"Absent,Readme", true, {}, {"Absent フォルダの Readme アイテム  削除失敗 or なし"}, "111111"},
      // Without a group the item would go from whatever group is active; a group that is a
      // path or Windows' own Startup folder is not the family's.
      {",Readme", true, {}, {" フォルダの Readme アイテム  削除失敗 指定が正しくないため削除しない。"}, "111111"},
      {"..\\Hanakoya", true, {}, {"..\\Hanakoya フォルダの  削除失敗 指定が正しくないため削除しない。"}, "111111"},
      {"スタートアップ", true, {}, {"スタートアップ フォルダの  削除失敗 保護された場所のため削除しない。"}, "111111"},
      {"", true, {}, {}, "111111"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.entry) + (k.running ? " running" : " absent"));
    FolderMachine fresh;
    fresh.machine.settings().programManagerRunning = k.running;
    fresh.RunStage({k.entry});
    EXPECT_EQ(fresh.machine.DdeCommands(), k.commands);
    StringList log = {kHeading};
    log.insert(log.end(), k.log.begin(), k.log.end());
    EXPECT_EQ(fresh.doc.logFolders, log);
    EXPECT_EQ(fresh.Kept(paths), k.kept);
    // Every entry, the empty one too, costs its step and its pause.
    EXPECT_EQ(fresh.doc.stepPos, 1u);
    EXPECT_EQ(fresh.machine.ElapsedMs(), 500u);
    // Other software's group is never touched.
    EXPECT_EQ(fresh.Kept({u + "Hanakoya\\Memo.lnk", c + "Hanakoya\\Memo.lnk"}), "11");
  }
}

TEST_F(FolderStage, AGroupFolderHoldingOtherFilesStays) {
  machine.settings().programManagerRunning = false;
  machine.AddFile(std::string(kCommonPrograms) + "Qorvex\\notes.txt", "mine");
  RunStage({"Qorvex"});
  EXPECT_TRUE(machine.HasFile(std::string(kCommonPrograms) + "Qorvex\\notes.txt"));
  EXPECT_FALSE(machine.HasFile(std::string(kCommonPrograms) + "Qorvex\\Readme.lnk"));
}

TEST_F(FolderStage, AGroupTakesItsMenuOrderAndRegistrationsForEveryUserAndNothingSimilar) {
  RunStage({"Qorvex"});
  for (const std::string& user : kUsers) {
    SCOPED_TRACE(user);
    EXPECT_FALSE(machine.HasKey(user + kMenuOrder + "Qorvex"));
    EXPECT_TRUE(machine.HasKey(user + kMenuOrder + "Hanakoya"));
    EXPECT_FALSE(machine.Value(user + kCommonGroups, "Group1"));
    EXPECT_TRUE(machine.Value(user + kCommonGroups, "Group2"));
    EXPECT_TRUE(machine.Value(user + kCommonGroups, "Group3"));
    EXPECT_FALSE(machine.Value(user + kGrpConv, "C:\\WINNT\\Qorvex.grp"));
    EXPECT_TRUE(machine.Value(user + kGrpConv, "C:\\WINNT\\MyQorvex.grp"));
  }
  EXPECT_FALSE(machine.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Program Groups\\Qorvex"));
  EXPECT_TRUE(machine.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Program Groups\\Hanakoya"));
}

TEST_F(FolderStage, AnItemTakesOnlyItsMenuOrderValue) {
  RunStage({"Qorvex,Readme.lnk"});
  for (const std::string& user : kUsers) {
    SCOPED_TRACE(user);
    EXPECT_FALSE(machine.Value(user + kMenuOrder + "Qorvex", "Readme"));
    EXPECT_TRUE(machine.Value(user + kMenuOrder + "Qorvex", "Monitor"));
    EXPECT_TRUE(machine.Value(user + kCommonGroups, "Group1"));
    EXPECT_TRUE(machine.Value(user + kGrpConv, "C:\\WINNT\\Qorvex.grp"));
  }
  EXPECT_TRUE(machine.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Program Groups\\Qorvex"));
}

TEST_F(FolderStage, ARegistrationTooLongForTheBuffersDoesNotEndTheSearch) {
  const std::string key = kUsers[1] + kCommonGroups;
  machine.RemoveKey(key);
  machine.SetString(key, "Group0", std::string(300, 'x'));
  machine.SetString(key, "Group1", "Qorvex");
  RunStage({"Qorvex"});
  EXPECT_TRUE(machine.Value(key, "Group0"));
  EXPECT_FALSE(machine.Value(key, "Group1"));
}

TEST_F(FolderStage, ANameTooLongForTheCommandBufferIsNeverSent) {
  const std::string group(250, 'G');
  RunStage({group, "Qorvex," + std::string(250, 'I')});
  EXPECT_TRUE(machine.DdeCommands().empty());
  EXPECT_EQ(doc.logFolders, (StringList{kHeading, group + " フォルダの  削除失敗 or なし",
                                        "Qorvex フォルダの " + std::string(250, 'I') + " アイテム  削除失敗 or なし"}));
}

TEST_F(FolderStage, Windows2000AlsoCleansTheStartMenuAtTheRootOfTheSystemDrive) {
  machine.settings().programManagerRunning = false;
  const std::string fresh = "C:\\Documents and Settings\\All Users\\ｽﾀｰﾄ ﾒﾆｭｰ\\ﾌﾟﾛｸﾞﾗﾑ\\Qorvex\\";
  const std::string wide = "C:\\Documents and Settings\\All Users\\スタート メニュー\\プログラム\\Qorvex\\";
  for (int os : {2, 3}) {
    SCOPED_TRACE(os);
    for (const std::string& dir : {fresh, wide}) machine.AddFile(dir + "Readme.lnk", "L");
    doc.osType = os;
    RunStage({"Qorvex"});
    // A fresh installation's folders go on Windows 2000 only; an upgraded one's Profiles
    // folders are cleaned as before. Without Program Manager nothing is logged.
    EXPECT_EQ(Kept({fresh, wide}), os == 3 ? "00" : "11");
    EXPECT_FALSE(machine.HasDirectory(std::string(kCommonPrograms) + "Qorvex"));
    EXPECT_EQ(doc.logFolders.back(), kHeading);
  }
}

TEST_F(FolderStage, WithoutTheProductKindOnlyTheHeadingIsWritten) {
  doc.delFlags = 6;
  RunStage({"Qorvex"});
  EXPECT_EQ(doc.logFolders, StringList{kHeading});
  EXPECT_TRUE(machine.DdeCommands().empty());
  EXPECT_TRUE(machine.HasFile(std::string(kCommonPrograms) + "Qorvex\\Readme.lnk"));
  EXPECT_EQ(machine.ElapsedMs(), 0u);
}

}  // namespace
}  // namespace qx::test
