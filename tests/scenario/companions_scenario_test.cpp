// Whole runs on the machine images, then the restart: the companions' programs, entries,
// registrations, records and shortcuts are gone; other software's look-alikes stay.
#include <gtest/gtest.h>

#include "platform/sim/image.h"
#include "support/run_fixture.h"

namespace qx::test {
namespace {

const std::string kUninstall = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::string kClsid = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\";
const std::string kCommon = "C:\\WINNT\\Profiles\\All Users\\";

std::string Load(RunFixture& run, const char* image) {
  std::string error;
  sim::LoadImage(std::string(QX_SOURCE_DIR) + "/images/" + image, run.machine, error);
  return error;
}

void ExpectLogHolds(const std::string& log, const std::vector<std::string>& texts) {
  for (const std::string& t : texts) EXPECT_NE(log.find(t), std::string::npos) << t;
}

TEST(CompanionsScenario, OnTheDefaultImageTheCompanionsAreGoneAndLookAlikesStay) {
  RunFixture run;
  ASSERT_EQ(Load(run, "default"), "");
  run.Run();
  run.machine.Reboot();
  sim::SimMachine& m = run.machine;

  for (const std::string& file :
       std::vector<std::string>{"C:\\Program Files\\Qorvex\\WEBQX\\UNWISE.EXE", "C:\\Program Files\\ZOV\\Scriptora\\DeIsl1.isu",
        "C:\\Program Files\\ZOV\\Netbridge\\UNINST.EXE", "C:\\Program Files\\ZOV\\PLS\\DeIsl2.isu",
        "C:\\Program Files\\ZOV\\QXMIG\\UNINST.EXE", "C:\\Program Files\\Qorvex\\Qorvex.isu",
        "C:\\Program Files\\Qorvex\\ZOVQXPUC.DLL", "C:\\Program Files\\Qorvex\\ﾌﾟﾘﾝﾀ管理\\ZOVQXEXP.EXE",
        "C:\\Program Files\\Qorvex\\Migrate\\QXOLD.INI", "C:\\Program Files\\Qorvex\\SPOOL\\QXPRN2\\psf0003.prn",
        "C:\\WINNT\\System32\\spool\\drivers\\w32x86\\2\\ZOVPS10.DLL", "C:\\WINNT\\ZOVQXCFG.INI",
        "C:\\WINNT\\System32\\ZOVSRM.DLL", kCommon + "デスクトップ\\Qorvex リプリント.lnk",
        kCommon + "スタート メニュー\\プログラム\\Qorvex リプリント\\Qorvex リプリント設定.lnk",
        "C:\\WINNT\\Profiles\\Administrator\\スタート メニュー\\プログラム\\スタートアップ\\Qorvex リプリント.lnk"}) {
    EXPECT_FALSE(m.HasFile(file)) << file;
  }
  for (const std::string& dir : std::vector<std::string>{"C:\\Program Files\\Qorvex\\Migrate", "C:\\WINNT\\System32\\spool\\drivers\\w32x86\\QXOLD",
                                 kCommon + "スタート メニュー\\プログラム\\Qorvex 1.0"}) {
    EXPECT_FALSE(m.HasDirectory(dir)) << dir;
  }
  for (const std::string& key :
       std::vector<std::string>{kUninstall + "Qorvex Web 1.0", kUninstall + "Scriptora Utility", kUninstall + "ZOV Print Launcher",
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache\\ZOV Print Launcher",
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\Qorvex 1.0", "HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\Qorvex Driver 1.0",
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\QorvexTemp", "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\ZOVRCM",
        kClsid + "{7A3C1E20-5B6D-11D3-9F4A-0060B0E5C201}", kClsid + "{7A3C1E23-5B6D-11D3-9F4A-0060B0E5C201}"}) {
    EXPECT_FALSE(m.HasKey(key)) << key;
  }
  EXPECT_FALSE(m.Value("HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\Shared", "Qorvex10Dir"));
  const std::string roots = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters\\Virtual Roots";
  EXPECT_FALSE(m.Value(roots, "/WebQX"));

  // Another vendor's entry in capitals, the folder the settings file names after its gap,
  // another vendor's component, the web server's other directory.
  EXPECT_TRUE(m.HasKey(kUninstall + "QORVEX LEGACY"));
  EXPECT_TRUE(m.HasFile("C:\\QXLEGACY\\UNINST.EXE"));
  EXPECT_TRUE(m.HasFile("C:\\Program Files\\Hanakoya\\HMEMO.DLL"));
  EXPECT_TRUE(m.HasKey(kClsid + "{B0A1C2D3-4E5F-11D2-8C7B-00A0C9A1B2C3}\\InprocServer32"));
  EXPECT_TRUE(m.Value(roots, "/IISSamples"));
  EXPECT_EQ(m.GetWebServer().keys, std::vector<std::string>{"/LM/W3SVC/1/ROOT/IISSamples"});

  ExpectLogHolds(run.Log(), {"＜その他削除＞\r\nＲＣＭ サービス削除成功\r\nＰＪＲ サービス削除成功\r\nＰＱＳ サービス削除成功\r\n"
                             "ＰＭＮ サービス削除成功\r\nＮＱＳ サービスなし\r\nＳＤＳ サービス削除成功\r\n",
                             "Migrate作成Iniファイル削除\r\nIniファイル削除成功\r\n", "削除ファイル数：4 個\r\n"});
  EXPECT_EQ(m.HungSends(), 0);
  EXPECT_EQ(m.ComInitializations(), 0);
}

TEST(CompanionsScenario, OnWindows98TheUnreachableMetabaseIsARestartCause) {
  RunFixture run;
  ASSERT_EQ(Load(run, "win98"), "");
  run.Run();
  const std::string roots = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters\\Virtual Roots";
  EXPECT_FALSE(run.machine.Value(roots, "/WebQX"));
  EXPECT_EQ(run.doc.restartNeeded, 1);
  ExpectLogHolds(run.Log(), {"＜再起動要因＞", "WebQXのディレクトリ削除", "Migrate情報削除", "DeIsl*.isu情報削除"});
  EXPECT_TRUE(run.machine.ServiceCalls().empty());
}

}  // namespace
}  // namespace qx::test
