// The run's spine: what the view is told, in which order, and when a run never starts.
#include <gtest/gtest.h>

#include "support/run_fixture.h"

namespace qx::test {
namespace {

TEST(RunSequence, WithNoDeletionKindTheViewSeesEveryStatusAndAFullBarOfTwelve) {
  RunFixture nt;
  nt.WriteEnvironment("000");
  nt.Run();
  EXPECT_EQ(nt.Messages(), PaddedRun(kStatusStoppingServices, 12, kResultDone));
  EXPECT_EQ(nt.doc.stepPos, 12u);

  RunFixture win98;
  win98.SetSystem(VER_PLATFORM_WIN32_WINDOWS, 4, 10);
  win98.WriteEnvironment("000");
  win98.Run();
  EXPECT_EQ(win98.Messages(), PaddedRun(kStatusClosingPrograms, 12, kResultDone));
}

TEST(RunSequence, OnNt351ThePortComponentAloneIsClearedBeforeAnyWork) {
  RunFixture nt351;
  nt351.SetSystem(VER_PLATFORM_WIN32_NT, 3, 51);
  nt351.WriteEnvironment("100");
  nt351.Run();
  EXPECT_EQ(nt351.doc.delFlags, 0);
  EXPECT_EQ(nt351.Messages(), PaddedRun(kStatusStoppingServices, 12, kResultDone));

  RunFixture nt4;
  nt4.WriteEnvironment("100");
  nt4.Run();
  EXPECT_EQ(nt4.doc.delFlags, 4);
  EXPECT_EQ(nt4.doc.stepTotal, 13u);  // 12 and one for the port component
}

TEST(RunSequence, EveryEntryOfTheSetKindsListsIsOneStepMore) {
  // The same machine and kinds twice, once with deletion lists: the entries make the difference.
  const std::vector<std::string> environment = {"[ENVIRONMENT]", "AP=QXERASER", "SUPPORTOS=N4", "DELFLG=011"};
  const std::vector<std::string> lists = {"[DEL_FILE.QX.QXDIR]", "1=A.DLL", "2=B.DLL", "3=C.DLL",
                                          "[DEL_REG.QX]", "1=HKEY_LOCAL_MACHINE,SOFTWARE\\ZOV\\Qorvex",
                                          "[DEL_PRINTER_NAME]", "1=Qorvex PS", "2=Qorvex PCL",
                                          "[DEL_FILE.PP.WINDIR]", "1=NOT_READ.DLL"};
  RunFixture bare, listed;
  for (RunFixture* run : {&bare, &listed}) {
    run->machine.SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qorvex 1.2",
                           "UninstallString", "C:\\Program Files\\Qorvex\\Uninst.exe");
    std::vector<std::string> config = environment;
    if (run == &listed) config.insert(config.end(), lists.begin(), lists.end());
    run->WriteConfig(config);
    run->Run();
    EXPECT_EQ(run->Messages().back(), ViewMessage(QXM_RESULT, kResultDone));
  }
  ASSERT_EQ(listed.doc.productDirCount, 1);
  EXPECT_EQ(listed.doc.DEL_FILE_QX_QXDIR.size(), 3u);
  EXPECT_TRUE(listed.doc.DEL_FILE_PP_WINDIR.empty());  // bit 2 is clear: never read
  // 1 product directory x 3 files, 1 registry entry, 2 printer names.
  EXPECT_EQ(listed.doc.stepTotal - bare.doc.stepTotal, 3u + 1 + 2);
}

TEST(RunSequence, ProductDirectoryFilesCountOncePerDirectory) {
  RunFixture run;
  run.WriteConfig({"[ENVIRONMENT]", "AP=QXERASER", "[DEL_FILE.QX.QXDIR]", "1=A.DLL", "2=B.DLL", "3=C.DLL"});
  run.doc.PrepareRun();
  run.doc.delFlags = kDelProduct;
  run.doc.productDirCount = 2;
  EXPECT_EQ(run.doc.ReadDeletionLists(), 6);
}

TEST(RunSequence, StepsNeverPassTheTotal) {
  RunFixture run;
  run.doc.viewWindow = run.window;
  run.doc.stepTotal = 2;
  for (int i = 0; i < 4; ++i) run.doc.SendStep();
  EXPECT_EQ(run.doc.stepPos, 2u);
  std::vector<std::string> expected = {ViewMessage(QXM_POSITION, 1), ViewMessage(QXM_POSITION, 2),
                                       ViewMessage(QXM_POSITION, 2), ViewMessage(QXM_POSITION, 2)};
  EXPECT_EQ(run.Messages(), expected);
}

struct RefusedRun {
  const char* name;
  std::vector<std::string> config;  // empty: no QXErs.ini at all
  DWORD platformId, major, minor;
  bool serviceManagerOpenable;
  int result;
};

TEST(RunSequence, ARefusedEnvironmentEndsTheRunWithOnlyItsResultAndNoLog) {
  const std::vector<std::string> good = {"[ENVIRONMENT]", "AP=QXERASER", "SUPPORTOS=95N4", "LOG=1"};
  const RefusedRun cases[] = {
      {"no configuration", {}, 2, 4, 0, true, kResultNoConfiguration},
      {"foreign file", {"[ENVIRONMENT]", "AP=QXERASER2", "SUPPORTOS=N4", "LOG=1"}, 2, 4, 0, true,
       kResultNoConfiguration},
      {"AP in other case", {"[ENVIRONMENT]", "AP=qxeraser", "SUPPORTOS=N4", "LOG=1"}, 2, 4, 0, true,
       kResultNoConfiguration},
      {"Windows 2000 not listed", good, 2, 5, 0, true, kResultUnsupportedSystem},
      {"NT 6 never supported", {"[ENVIRONMENT]", "AP=QXERASER", "SUPPORTOS=95N1N42K", "LOG=1"}, 2, 6, 0, true,
       kResultUnsupportedSystem},
      {"no SUPPORTOS", {"[ENVIRONMENT]", "AP=QXERASER", "LOG=1"}, 1, 4, 10, true, kResultUnsupportedSystem},
      {"no rights", good, 2, 4, 0, false, kResultNoRights},
  };
  for (const RefusedRun& c : cases) {
    SCOPED_TRACE(c.name);
    RunFixture run;
    run.SetSystem(c.platformId, c.major, c.minor);
    run.machine.settings().serviceManagerOpenable = c.serviceManagerOpenable;
    if (!c.config.empty()) run.WriteConfig(c.config);
    run.Run();
    EXPECT_EQ(run.Messages(), std::vector<std::string>{ViewMessage(QXM_RESULT, c.result)});
    EXPECT_FALSE(run.machine.HasFile("C:\\TEMP\\QXErs.log"));
  }
}

TEST(RunSequence, Windows98NeedsNoServiceManager) {
  RunFixture run;
  run.SetSystem(VER_PLATFORM_WIN32_WINDOWS, 4, 10);
  run.machine.settings().serviceManagerOpenable = false;
  run.WriteEnvironment("000", "0", "95");
  run.Run();
  EXPECT_EQ(run.Messages().back(), ViewMessage(QXM_RESULT, kResultDone));
  EXPECT_EQ(run.doc.scManager, nullptr);
}

TEST(RunSequence, TheViewsDriverChoiceSetsTheStartingKindsUnlessTheConfigurationNamesThem) {
  struct Case {
    int choice;
    const char* delflg;  // "" leaves DELFLG out
    int delFlags;
  } cases[] = {{0, "", 5}, {1, "", 7}, {0, "010", 2}, {1, "01", 7}, {0, "abc", 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("DELFLG=") + c.delflg);
    RunFixture run;
    std::vector<std::string> config = {"[ENVIRONMENT]", "AP=QXERASER", "SUPPORTOS=N4"};
    if (*c.delflg) config.push_back(std::string("DELFLG=") + c.delflg);
    run.WriteConfig(config);
    run.view.driverChoice = c.choice;
    run.Run();
    EXPECT_EQ(run.doc.delFlags, c.delFlags);
  }
}

}  // namespace
}  // namespace qx::test
