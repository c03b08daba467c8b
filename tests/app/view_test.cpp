// The view: the dialog sequence with the questions behind its buttons, the driver choice's
// preset, the run messages, the end messages and the restart they may ask for.
#include <algorithm>

#include <gtest/gtest.h>

#include "app/ui/single_instance.h"
#include "support/run_fixture.h"

namespace qx::test {
namespace {

const std::string kAskQuit = "Qorvex Eraserを終了しますか？";
const std::string kAskContinue = "処理の途中で中断はできません。継続しますか？";
const std::string kDone = "削除処理が終了しました。";
const std::string kCancelled = "削除処理を中止しました。";

struct SequenceCase {
  const char* name;
  std::vector<int> confirmPresses, driverPresses, answers;
  std::vector<std::string> questions;
  bool started;
};

TEST(View, CancelAsksToQuitAndTheQuestionsCancelReturnsToTheDialog) {
  const int OK = kIdOk, CANCEL = kIdCancel;
  const SequenceCase cases[] = {
      {"cancel the confirmation", {CANCEL}, {}, {OK}, {kAskQuit}, false},
      {"turn back to the confirmation", {CANCEL, OK}, {}, {CANCEL}, {kAskQuit, kAskContinue}, true},
      {"cancel the driver choice", {}, {CANCEL}, {OK}, {kAskQuit}, false},
      {"turn back to the driver choice", {}, {CANCEL, OK}, {CANCEL}, {kAskQuit, kAskContinue}, true},
      {"do not continue, then continue", {}, {OK, OK}, {CANCEL}, {kAskContinue, kAskContinue}, true},
      {"do not continue, then quit", {}, {OK, CANCEL}, {CANCEL}, {kAskContinue, kAskQuit}, false},
  };
  for (const SequenceCase& c : cases) {
    SCOPED_TRACE(c.name);
    RunFixture run;
    run.WriteEnvironment("000");
    run.dialogs.confirmPresses = c.confirmPresses;
    run.dialogs.driverPresses = c.driverPresses;
    run.dialogs.answers = c.answers;
    run.view.OnTimer();
    run.machine.JoinThreads();

    std::vector<std::string> questions;
    for (const auto& box : run.dialogs.boxes) {
      if ((box.type & 0xF) != kBoxOkCancel) continue;
      questions.push_back(box.text);
      EXPECT_EQ(box.caption, "Qorvex Eraser");
    }
    EXPECT_EQ(questions, c.questions);
    EXPECT_EQ(run.dialogs.stuck, 0);
    EXPECT_EQ(run.dialogs.closed, 1);
    EXPECT_EQ(run.dialogs.shown.back(), c.started ? kDone : kCancelled);
    EXPECT_EQ(run.Messages().empty(), !c.started);
  }
}

struct PresetCase {
  const char* name;
  const char* config;  // nullptr: no QXErs.ini
  int pick;            // the radio button pressed before OK, -1 none
  int presetSeen;      // -1: the driver dialog never opened
  int delFlags;        // -1: the run never started
  const char* end;
};

TEST(View, TheDriverDialogOpensOnThePresetAndItsChoiceReachesTheRun) {
  const char* kBase = "[ENVIRONMENT]\r\nAP=QXERASER\r\nSUPPORTOS=N4\r\n";
  const PresetCase cases[] = {
      {"preset 1 checks delete", "DEFAULT_DELPRINTER=1\r\n", -1, 1, 7, "削除処理が終了しました。"},
      {"preset 0 checks keep", "DEFAULT_DELPRINTER=0\r\n", -1, 0, 5, "削除処理が終了しました。"},
      {"no preset checks keep", "", -1, 0, 5, "削除処理が終了しました。"},
      {"keep chosen over preset 1", "DEFAULT_DELPRINTER=1\r\n", 0, 1, 5, "削除処理が終了しました。"},
      {"no configuration file", nullptr, -1, -1, -1, "Qorvex Eraserを実行する為に必要な情報がありません。"},
  };
  for (const PresetCase& c : cases) {
    SCOPED_TRACE(c.name);
    RunFixture run;
    if (c.config) run.machine.AddFile("C:\\QXErs\\QXErs.ini", std::string(kBase) + c.config);
    run.dialogs.choice = c.pick;
    run.view.OnTimer();
    run.machine.JoinThreads();
    EXPECT_EQ(run.dialogs.presetSeen, c.presetSeen);
    EXPECT_EQ(run.dialogs.shown.back(), c.end);
    EXPECT_EQ(run.Messages().empty(), c.delFlags < 0);
    if (c.delFlags >= 0) {
      EXPECT_EQ(run.doc.delFlags, c.delFlags);
    }
    EXPECT_EQ(run.dialogs.templates.size(), c.delFlags < 0 ? 1u : 3u);
  }
}

TEST(View, TheTemplatesFollowTheInstalledFont) {
  for (int font : {0, 1}) {
    RunFixture run;
    run.WriteEnvironment("000");
    run.view.fontFlag = font;
    run.view.OnTimer();
    run.machine.JoinThreads();
    std::vector<int> expected = font ? std::vector<int>{133, 135, 132} : std::vector<int>{130, 134, 131};
    EXPECT_EQ(run.dialogs.templates, expected);
  }
}

TEST(View, EachResultHasItsMessageCaptionAndButtons) {
  struct Case {
    int code;
    const char* text;  // nullptr: no message
    const char* caption;
    UINT buttons;
  } cases[] = {
      {0, "削除処理が終了しました。", "Qorvex Eraser 終了", kBoxOk},
      {1, "システムの再起動が必要です。今すぐ再起動しますか？", "Qorvex Eraser 終了", kBoxYesNo},
      {-1, "削除処理を中止しました。", "Qorvex Eraser 中止", kBoxOk},
      {-2, "Qorvex Eraserを実行する為に必要な情報がありません。", "Qorvex Eraser 中止", kBoxOk},
      {-3, "Qorvex Eraserは本OSではサポートされていません。", "Qorvex Eraser 中止", kBoxOk},
      {-4, "Qorvex Eraserを実行する権限がありません。詳しくは、システム管理者にお問い合わせください。",
       "Qorvex Eraser 中止", kBoxOk},
      {2, nullptr, nullptr, 0},
      {-5, nullptr, nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    RunFixture run;
    run.view.OnMessage(QXM_RESULT, static_cast<WPARAM>(static_cast<LPARAM>(c.code)), 0);
    ASSERT_EQ(run.dialogs.boxes.size(), c.text ? 1u : 0u);
    if (c.text) {
      EXPECT_EQ(run.dialogs.boxes[0].text, c.text);
      EXPECT_EQ(run.dialogs.boxes[0].caption, c.caption);
      EXPECT_EQ(run.dialogs.boxes[0].type & 0xF, c.buttons);
    }
    EXPECT_EQ(run.dialogs.closed, 1);  // every result closes the application
  }
}

TEST(View, StatusIndicesOutsideTheTableLeaveTheTextAlone) {
  const std::pair<LPARAM, const char*> cases[] = {
      {0, "初期化処理中です。"},
      {1, "関連プログラムを停止しています。"},
      {2, "サービスを停止しています。"},
      {3, "サービスその他を削除しています。"},
      {4, "メニュー／アイコンを削除しています。"},
      {5, "レジストリを削除しています。"},
      {6, "ファイルを削除しています。"},
      {7, nullptr},
      {-1, nullptr},
  };
  for (const auto& [index, text] : cases) {
    SCOPED_TRACE(index);
    RunFixture run;
    run.view.OnMessage(QXM_STATUS, static_cast<WPARAM>(index), 0);
    EXPECT_EQ(run.dialogs.shown, text ? std::vector<std::string>{text} : std::vector<std::string>{});
  }
}

TEST(View, TheRestartQuestionRestartsWindowsTheWayEachSystemWants) {
  struct Case {
    const char* name;
    DWORD platformId, major, minor;
    int answer;
    bool exportsShutdown;
    const char* call;  // "" no restart
  } cases[] = {
      {"NT 4.0", VER_PLATFORM_WIN32_NT, 4, 0, kIdYes, true, "ExitWindowsEx"},
      {"NT 3.51", VER_PLATFORM_WIN32_NT, 3, 51, kIdYes, true, "ExitWindowsEx"},
      {"Windows 98, no tokens", VER_PLATFORM_WIN32_WINDOWS, 4, 10, kIdYes, true, "ExitWindowsEx"},
      {"Windows 2000", VER_PLATFORM_WIN32_NT, 5, 0, kIdYes, true, "InitiateSystemShutdownExA"},
      {"Windows 2000 without the entry point", VER_PLATFORM_WIN32_NT, 5, 0, kIdYes, false, ""},
      {"answered No", VER_PLATFORM_WIN32_NT, 4, 0, kIdNo, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimMachine m;
    sim::SystemSettings& s = m.settings();
    s.platformId = c.platformId;
    s.majorVersion = c.major;
    s.minorVersion = c.minor;
    // The machine's own ADVAPI32.DLL, or one whose restart entry point cannot be found.
    if (!c.exportsShutdown) m.AddFault({"GetProcAddress", "InitiateSystemShutdownExA", 0, ERROR_PROC_NOT_FOUND});
    CQXErsDoc doc(m.platform());
    ScriptedDialogs dialogs;
    dialogs.answers = {c.answer};
    CQXErsView view(doc, dialogs);
    doc.PrepareRun();
    doc.osType = doc.GetOSType();
    view.OnMessage(QXM_RESULT, kResultRestart, 0);

    std::vector<sim::ShutdownRequest> requests = m.ShutdownRequests();
    EXPECT_EQ(dialogs.closed, 1);
    std::vector<std::string> calls = m.Calls();
    auto count = [&](const std::string& prefix) {
      return std::count_if(calls.begin(), calls.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    };
    EXPECT_EQ(count("LoadLibraryA("), count("FreeLibrary("));  // nothing stays loaded
    if (!*c.call) {
      EXPECT_TRUE(requests.empty());
      continue;
    }
    ASSERT_EQ(requests.size(), 1u);
    const sim::ShutdownRequest& r = requests[0];
    EXPECT_EQ(r.call, c.call);
    EXPECT_TRUE(r.reboot);
    if (doc.osType == kWindows2000) {
      ASSERT_FALSE(calls.empty());
      EXPECT_EQ(calls.front(), "LoadLibraryA(\"C:\\WINNT\\System32\\ADVAPI32.DLL\") = C:\\WINNT\\System32\\ADVAPI32.DLL");
      EXPECT_EQ(r.message,
                "'Qorvex Eraser'のプリンタソフトウェアの削除処理を完了するために、システムの再起動が実行されました。");
      EXPECT_EQ(r.timeout, 0u);
      EXPECT_FALSE(r.forceAppsClosed);
      EXPECT_EQ(r.reason, 0x80030004u);
    } else {
      EXPECT_EQ(count("LoadLibraryA("), 0);
      EXPECT_EQ(r.flags, EWX_REBOOT);
      EXPECT_EQ(r.reason, 0u);
    }
  }
}

}  // namespace
}  // namespace qx::test

namespace qx::test {
namespace {

TEST(View, ASecondInstanceFindsTheFirstOnesEventAndHoldsNothing) {
  sim::SimMachine m;
  HANDLE first = nullptr, second = nullptr;
  EXPECT_TRUE(ClaimSingleInstance(m.platform().system, first));
  EXPECT_TRUE(m.EventExists("Qorvex::QXErs"));
  EXPECT_FALSE(ClaimSingleInstance(m.platform().system, second));
  EXPECT_EQ(second, nullptr);
  m.platform().system.CloseHandle(first);
  EXPECT_FALSE(m.EventExists("Qorvex::QXErs"));  // the second one kept no handle of its own
}

}  // namespace
}  // namespace qx::test
