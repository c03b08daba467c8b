// A whole qxers-sim run on the default image, compared with the image before it: the
// configured files, keys, groups and shortcuts are gone, and everything else under the same
// folders and keys is as it was.
#include <gtest/gtest.h>

#include <map>
#include <sys/wait.h>

#include "tests/tools/image_support.h"

namespace qx::test {
namespace {

using Snapshot = std::map<std::string, std::string>;

bool Under(const std::string& path, const std::vector<std::string>& prefixes) {
  for (const std::string& p : prefixes)
    if (path.compare(0, p.size(), p) == 0) return true;
  return false;
}

// Files (directories end in "\") and keys ("key" and "key | value") below the prefixes.
Snapshot Take(const sim::SimMachine& m, const std::vector<std::string>& prefixes) {
  Snapshot s;
  for (const sim::FileEntry& f : m.AllFiles()) {
    std::string path = f.path + (f.directory ? "\\" : "");
    if (Under(path, prefixes)) s[path] = f.contents;
  }
  for (const std::string& key : m.AllKeys()) {
    if (!Under(key + "\\", prefixes)) continue;
    s[key + "\\"] = "";
    for (const sim::RegValue& v : m.Values(key)) s[key + " | " + v.name] = v.data;
  }
  return s;
}

// Removes what starts with the text; a key ("...\\") goes with its values.
void Remove(Snapshot& s, const std::string& what) {
  std::vector<std::string> prefixes = {what};
  if (what.back() == '\\') prefixes.push_back(what.substr(0, what.size() - 1) + " | ");
  std::erase_if(s, [&](const auto& e) { return Under(e.first, prefixes); });
}

TEST(DefaultImageStages, RemoveWhatIsConfiguredAndLeaveEverythingElseUnderTheSameFoldersAndKeys) {
#ifndef QXERS_SIM_PATH
  GTEST_SKIP() << "qxers-sim is not built with this suite";
#else
  const std::string image = std::string(QX_SOURCE_DIR) + "/images/default";
  TempDir out;
  std::string command = std::string("'") + QXERS_SIM_PATH + "' run '" + image + "' --out '" + out.str() + "' >/dev/null";
  int raw = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0);
  sim::SimMachine before, after;
  std::string error;
  ASSERT_TRUE(sim::LoadImage(image, before, error)) << error;
  ASSERT_TRUE(sim::LoadImage((out.path() / "after").string(), after, error)) << error;

  const std::string product = "C:\\Program Files\\Qorvex\\";
  const std::string userPrograms = "C:\\WINNT\\Profiles\\Administrator\\スタート メニュー\\プログラム\\";
  const std::string halfWidth = "C:\\WINNT\\ｽﾀｰﾄ ﾒﾆｭｰ\\ﾌﾟﾛｸﾞﾗﾑ\\";
  const std::string common = "C:\\WINNT\\Profiles\\All Users\\スタート メニュー\\プログラム\\";
  const std::string commonHalf = "C:\\WINNT\\Profiles\\All Users\\ｽﾀｰﾄ ﾒﾆｭｰ\\ﾌﾟﾛｸﾞﾗﾑ\\";
  const std::string user = "HKEY_USERS\\S-1-5-21-1000\\Software\\";
  const std::string defaultUser = "HKEY_USERS\\.DEFAULT\\Software\\";
  const std::string menuOrder = "Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\";
  const std::string commonGroups = "Microsoft\\Windows NT\\CurrentVersion\\Program Manager\\Common Groups";
  const std::string grpConv = "Microsoft\\Windows\\CurrentVersion\\GrpConv\\Groups";
  const std::string run = "Microsoft\\Windows\\CurrentVersion\\Run";
  const std::string appInit = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows";

  const std::vector<std::string> looked = {
      product, "C:\\Program Files\\QorvexTools\\", "C:\\Program Files\\Hanakoya\\", "C:\\WINNT\\ｽﾀｰﾄ ﾒﾆｭｰ\\",
      "C:\\WINNT\\Profiles\\", "C:\\WINNT\\System\\", user + "Microsoft\\", defaultUser + "Microsoft\\",
      defaultUser + "ZOV\\QorvexTools\\", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Program Groups\\",
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\QorvexTools\\", appInit + "\\"};
  Snapshot expected = Take(before, looked);
  for (const char* gone : {"ZOVPMN.EXE", "ZOVPQS.DLL", "QXSTAT.", "Readme.txt", "UNINST.EXE", "temp.dat",
                           "job0002.tmp", "WAV\\", "LOG\\", "WEBQX\\qx", "OLDVER\\", "SPOOL\\"}) {
    Remove(expected, product + gone);
  }
  for (const std::string& gone :
       {userPrograms + "Qorvex\\", userPrograms + "アクセサリ\\Qorvex ステータスモニタ.lnk", halfWidth + "Qorvex\\Readme.lnk",
        halfWidth + "アクセサリ\\Qorvex ステータスモニタ.lnk", common + "Qorvex\\", commonHalf + "Qorvex\\",
        user + menuOrder + "ﾌﾟﾛｸﾞﾗﾑ(&P)\\Qorvex\\", user + menuOrder + "ﾌﾟﾛｸﾞﾗﾑ(&P)\\アクセサリ | Qorvex ステータスモニタ",
        defaultUser + menuOrder + "Programs\\Qorvex\\", defaultUser + menuOrder + "&Programs\\Qorvex\\",
        defaultUser + menuOrder + "Programs\\アクセサリ | Qorvex ステータスモニタ",
        std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\Program Groups\\Qorvex\\"), user + commonGroups + " | Group1",
        defaultUser + commonGroups + " | Group1", user + grpConv + " | C:\\WINNT\\Qorvex.grp",
        defaultUser + grpConv + " | C:\\WINNT\\Qorvex.grp", user + run + " | QXSTAT", defaultUser + run + " | QXSTAT"}) {
    Remove(expected, gone);
  }
  // The companion stages: the components, installer logs, migration records and reprint
  // shortcuts of the family.
  for (const std::string& gone : std::vector<std::string>{
           product + "Qorvex.isu", product + "Migrate\\", product + "WEBQX\\UNWISE.EXE", product + "ZOVQX",
        product + "ZOVPLSC.OCX", product + "ﾌﾟﾘﾝﾀ管理\\", common + "Qorvex リプリント\\", common + "Qorvex 1.0\\",
        common + "Qorvex Driver 1.0\\", std::string("C:\\WINNT\\Profiles\\All Users\\デスクトップ\\Qorvex リプリント.lnk"),
        "C:\\WINNT\\Profiles\\Administrator\\スタート メニュー\\プログラム\\スタートアップ\\Qorvex リプリント.lnk"}) {
    Remove(expected, gone);
  }
  // What must stay is in the comparison: the group folder keeps the user's note, the
  // product directory keeps .cache, other software keeps its look-alikes.
  for (const std::string& kept :
       {halfWidth + "Qorvex\\メモ.txt", product + ".cache\\state.bin", product + "WEBQX\\index.htm",
        userPrograms + "Qorvex Tools\\Tools.lnk", std::string("C:\\Program Files\\QorvexTools\\ZOVPMN.EXE"),
        user + commonGroups + " | Group3", defaultUser + grpConv + " | C:\\WINNT\\MyQorvex.grp"}) {
    EXPECT_EQ(expected.count(kept), 1u) << kept;
  }
  expected[appInit + " | AppInit_DLLs"] = std::string("HNKHOOK.DLL") + '\0';
  // The printers' own lists of the user (devices, ports, default printer) are the printer
  // stages' to change, and their tests look at them.
  Snapshot got = Take(after, looked);
  for (const char* printerList : {"Devices\\", "PrinterPorts\\", "Windows\\"}) {
    Remove(expected, user + "Microsoft\\Windows NT\\CurrentVersion\\" + printerList);
    Remove(got, user + "Microsoft\\Windows NT\\CurrentVersion\\" + printerList);
  }
  EXPECT_EQ(got, expected);

  EXPECT_EQ(ReadBytes(out.path() / "dde.txt"),
            U8(u8"[DeleteGroup(Qorvex 1.0)]\n[DeleteGroup(Qorvex Driver 1.0)]\n[DeleteGroup(Qorvex)]\n"
               u8"[CreateGroup(アクセサリ)]\n[DeleteItem(Qorvex ステータスモニタ)]\n[DeleteGroup(Qorvex リプリント)]\n"));
#endif
}

}  // namespace
}  // namespace qx::test
