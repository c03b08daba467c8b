// qxers-sim's answers to the dialogs: from the command line, or asked at a terminal; a run
// that writes its outputs never waits for input.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/tools/image_support.h"
#include "tests/tools/qxers_sim_support.h"

namespace qx::test {
namespace {

// Runs a shell command line; its exit status and standard output.
std::pair<int, std::string> Shell(const std::string& command, const TempDir& capture) {
  std::string out = (capture.path() / "stdout").string();
  int raw = std::system((command + " >'" + out + "' 2>&1").c_str());
  return {ExitStatus(raw), ReadBytes(out)};
}

// A Windows NT 4.0 machine whose configuration presets "delete the drivers too" and logs.
class AnswersImage : public TestImage {
 public:
  AnswersImage() : TestImage("[System]\nPlatformId=2\nMajorVersion=4\nModuleFileName=C:\\QXErs\\QXErs.exe\n") {
    Write("drive_c/QXErs/QXErs.ini",
          "[ENVIRONMENT]\r\nAP=QXERASER\r\nSUPPORTOS=N4\r\nLOG=1\r\nDEFAULT_DELPRINTER=1\r\n");
    MakeDir("drive_c/TEMP");
  }
};

TEST(QxersSimAnswers, TheCommandLineAnswersTheDialogs) {
  REQUIRE_QXERS_SIM();
  struct Case {
    const char* args;
    int status;
    const char* kinds;  // the log's deletion kinds; nullptr: no run, no log
    const char8_t* printed;  // UTF-8, as the terminal sees it
  } cases[] = {
      {"", 0, "削除種類：Netrova Qorvex Driver \r\n", u8"[message] Qorvex Eraser 終了: 削除処理が終了しました。"},
      {"--drivers keep", 0, "削除種類：Netrova Qorvex \r\n", u8"  keep the printer drivers\n"},
      {"--answer ok --drivers delete", 0, "削除種類：Netrova Qorvex Driver \r\n", u8"  -> OK\n"},
      {"--answer cancel", 1, nullptr,
       u8"[question] Qorvex Eraser: Qorvex Eraserを終了しますか？ -> OK\n"
       u8"[message] Qorvex Eraser 中止: 削除処理を中止しました。\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    AnswersImage image;
    TempDir out;
    auto [status, printed] =
        Shell("'" QXERS_SIM_PATH "' run '" + image.str() + "' --out '" + out.str() + "' " + c.args + " </dev/null", out);
    EXPECT_EQ(status, c.status) << printed;
    EXPECT_NE(printed.find(U8(c.printed)), std::string::npos) << printed;
    if (c.kinds) {
      EXPECT_NE(ReadBytes(out.path() / "QXErs.log").find(c.kinds), std::string::npos);
    } else {
      EXPECT_FALSE(fs::exists(out.path() / "QXErs.log"));
      EXPECT_EQ(ReadBytes(out.path() / "messages.txt"), "");
    }
  }
}

// script(1) gives the program a terminal; its input is typed line by line.
TEST(QxersSimAnswers, AtATerminalTheMissingAnswersAreAskedAndOutputRunsNeverAsk) {
  REQUIRE_QXERS_SIM();
  if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "script(1) is not installed";
  AnswersImage image;
  TempDir out;
  // Unset CI: under CI nothing is ever asked.
  std::string run = "env -u CI timeout 30 script -qec \"'" QXERS_SIM_PATH "' run '" + image.str() + "'";

  // Cancel, turn back at the question, OK, keep the drivers, OK, continue: the run starts.
  auto [status, printed] = Shell("printf 'c\\nc\\no\\nk\\no\\no\\n' | " + run + "\" /dev/null", out);
  EXPECT_EQ(status, 0) << printed;
  EXPECT_NE(printed.find(U8(u8"Qorvex Eraserを終了しますか？ [*ok/cancel]")), std::string::npos) << printed;
  EXPECT_NE(printed.find("  keep the printer drivers"), std::string::npos) << printed;
  EXPECT_NE(printed.find(U8(u8"[message] Qorvex Eraser 終了: 削除処理が終了しました。")), std::string::npos);

  // With --out nothing is asked, even at a terminal, and nothing waits for the input that never comes.
  auto [quiet, said] = Shell(run + " --out '" + out.str() + "/o'\" /dev/null </dev/null", out);
  EXPECT_EQ(quiet, 0) << said;
  EXPECT_EQ(said.find("[*ok/cancel]"), std::string::npos) << said;
  EXPECT_NE(said.find(U8(u8"[message] Qorvex Eraser 終了: 削除処理が終了しました。")), std::string::npos) << said;

  // Nor under CI.
  std::string ci = "env CI=true" + run.substr(std::string("env -u CI").size());
  auto [ciStatus, ciSaid] = Shell(ci + "\" /dev/null </dev/null", out);
  EXPECT_EQ(ciStatus, 0) << ciSaid;
  EXPECT_EQ(ciSaid.find("[*ok/cancel]"), std::string::npos) << ciSaid;
}

}  // namespace
}  // namespace qx::test
