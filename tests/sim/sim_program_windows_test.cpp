// Windows of other programs: what they do with a message on the virtual clock, time-outs
// of SendMessageTimeoutA, and the named events they hold.
#include <gtest/gtest.h>

#include "platform/sim/sim_machine.h"

namespace qx::sim {
namespace {

class ProgramWindowsTest : public ::testing::Test {
 protected:
  HWND Add(WindowBehaviour b, const char* title = "Tool") {
    return m.AddProgramWindow({"ToolClass", title, "C:\\Tools\\tool.exe", b});
  }
  // Polls as a caller waiting for a window to go does: IsWindow, then Sleep(100).
  int PollsUntilGone(HWND w, int limit) {
    for (int i = 0; i < limit; ++i) {
      if (!win.IsWindow(w)) return i;
      sys.Sleep(100);
    }
    return limit;
  }
  SimMachine m;
  Windows& win = m.platform().windows;
  System& sys = m.platform().system;
};

TEST_F(ProgramWindowsTest, WhatAWindowDoesWithAMessage) {
  using Close = WindowBehaviour::Close;
  struct Case {
    const char* name;
    WindowBehaviour behaviour;
    UINT message;
    WPARAM wParam;
    int polls;  // until it is gone; 100 means it stays
  };
  WindowBehaviour onClose, after, never, command;
  onClose.onMessage = WM_CLOSE;
  after.close = Close::kAfter;
  after.closeAfterMs = 1500;
  never.close = Close::kNever;
  command.onMessage = WM_COMMAND;
  command.onWParam = 5005;
  for (const Case& c : {Case{"closes at once", {}, WM_CLOSE, 0, 0}, Case{"after 1.5 s", after, WM_CLOSE, 0, 15},
                        Case{"never", never, WM_CLOSE, 0, 100}, Case{"its message", onClose, WM_CLOSE, 0, 0},
                        Case{"another message", onClose, WM_USER, 0, 100},
                        Case{"its wParam", command, WM_COMMAND, 5005, 0},
                        Case{"another wParam", command, WM_COMMAND, 5006, 100}}) {
    HWND w = Add(c.behaviour);
    EXPECT_EQ(win.SendMessageA(w, c.message, c.wParam, 0), 0) << c.name;
    EXPECT_EQ(PollsUntilGone(w, 100), c.polls) << c.name;
    EXPECT_EQ(m.Messages(w).size(), 1u) << c.name;
  }
}

TEST_F(ProgramWindowsTest, AWindowStopsAServiceAndSetsAnEventBeforeItCloses) {
  m.AddKey("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\ZOVPMN");
  m.SetServiceState("ZOVPMN", SERVICE_RUNNING);
  m.AddFile("C:\\Q\\ZOVPMN.DLL", "x");
  m.SetLockedBy("C:\\Q\\ZOVPMN.DLL", "ZOVPMN");
  m.AddHeldEvent({"Done", "C:\\Q\\other.exe"});
  WindowBehaviour b;
  b.stopsService = "ZOVPMN";
  b.setsEvent = "Done";
  HWND w = Add(b);
  win.PostMessageA(w, WM_USER, 0, 0);
  EXPECT_FALSE(win.IsWindow(w));
  EXPECT_EQ(m.ServiceState("ZOVPMN"), SERVICE_STOPPED);
  EXPECT_TRUE(m.platform().files.DeleteFileA("C:\\Q\\ZOVPMN.DLL"));
  EXPECT_TRUE(m.EventSignaled("Done"));
}

// A window that waits for an event answers nothing until the event is set; then it takes up
// what it was sent. SendMessageTimeoutA waits its whole time-out on the virtual clock, or not
// at all with SMTO_ABORTIFHUNG once the window has been busy for 5 seconds.
TEST_F(ProgramWindowsTest, AWindowWaitingForAnEventTimesOutUntilTheEventIsSet) {
  m.AddHeldEvent({"Go", "C:\\Q\\manager.exe"});
  WindowBehaviour b;
  b.waitsEvent = "Go";
  HWND w = Add(b);
  DWORD_PTR result = 7;
  EXPECT_EQ(win.SendMessageTimeoutA(w, WM_CLOSE, 0, 0, SMTO_NORMAL, 3000, &result), 0);
  EXPECT_EQ(sys.GetLastError(), ERROR_TIMEOUT);
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(m.ElapsedMs(), 3000u);
  EXPECT_EQ(win.SendMessageTimeoutA(w, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 3000, &result), 0);
  EXPECT_EQ(m.ElapsedMs(), 6000u);  // busy for 3 s only: not hung yet
  EXPECT_EQ(win.SendMessageTimeoutA(w, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 3000, &result), 0);
  EXPECT_EQ(m.ElapsedMs(), 6000u);  // hung now: no wait
  EXPECT_TRUE(win.IsWindow(w));
  HANDLE go = sys.OpenEventA(EVENT_MODIFY_STATE, FALSE, "Go");
  ASSERT_NE(go, nullptr);
  EXPECT_TRUE(sys.SetEvent(go));
  EXPECT_FALSE(win.IsWindow(w));
  EXPECT_EQ(m.Messages(w).size(), 2u);  // the hung-abort message never arrived
  sys.CloseHandle(go);
}

TEST_F(ProgramWindowsTest, SendMessageToAWindowThatNeverAnswersIsRecordedAsAHang) {
  WindowBehaviour b;
  b.hangs = true;
  HWND w = Add(b);
  EXPECT_EQ(win.SendMessageA(w, WM_CLOSE, 0, 0), 0);
  EXPECT_EQ(m.HungSends(), 1);
  EXPECT_EQ(win.SendMessageTimeoutA(w, WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, nullptr), 0);
  EXPECT_EQ(m.ElapsedMs(), 10000u);
  // A broadcast waits for it too; with SMTO_ABORTIFHUNG it is passed over.
  EXPECT_EQ(win.SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, 0, SMTO_NORMAL, 1000, nullptr), 1);
  EXPECT_EQ(win.SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, 0, SMTO_ABORTIFHUNG, 1000, nullptr), 1);
  EXPECT_EQ(m.ElapsedMs(), 11000u);
  EXPECT_TRUE(win.IsWindow(w));
  ASSERT_EQ(m.Calls().size(), 3u);
  EXPECT_NE(m.Calls()[0].find("never returns"), std::string::npos) << m.Calls()[0];
  EXPECT_NE(m.Calls()[1].find("timed out"), std::string::npos) << m.Calls()[1];
}

// The Z order is stable: later windows on top, enumeration from the top, closed windows left out.
TEST_F(ProgramWindowsTest, EnumerationFollowsTheZOrder) {
  HWND a = Add({}, "A"), b = Add({}, "B"), c = Add({}, "C");
  win.SendMessageA(b, WM_CLOSE, 0, 0);
  std::vector<HWND> seen;
  win.EnumWindows([&](HWND h) { return seen.push_back(h), TRUE; });
  EXPECT_EQ(seen, (std::vector<HWND>{c, a}));
  ASSERT_EQ(m.ProgramWindows().size(), 2u);
  EXPECT_EQ(m.ProgramWindows()[0].title, "C");
}

TEST_F(ProgramWindowsTest, SettingAnEventThatEndsItsProgramClosesTheProgramsWindows) {
  m.AddHeldEvent({"ZOVSRM:TerminateManager", "C:\\Q\\ZOVPSP.EXE", false, true});
  WindowBehaviour stays;
  stays.close = WindowBehaviour::Close::kNever;
  HWND mine = m.AddProgramWindow({"PSPWndClass", "Qorvex", "c:\\q\\zovpsp.exe", stays});
  HWND other = Add({});
  EXPECT_EQ(sys.OpenEventA(EVENT_MODIFY_STATE, FALSE, "zovsrm:terminatemanager"), nullptr);  // names are case-sensitive
  EXPECT_EQ(sys.GetLastError(), ERROR_FILE_NOT_FOUND);
  HANDLE readOnly = sys.OpenEventA(SYNCHRONIZE, FALSE, "ZOVSRM:TerminateManager");
  EXPECT_FALSE(sys.SetEvent(readOnly));
  EXPECT_EQ(sys.GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(win.IsWindow(mine));
  HANDLE e = sys.OpenEventA(EVENT_MODIFY_STATE, FALSE, "ZOVSRM:TerminateManager");
  EXPECT_TRUE(sys.SetEvent(e));
  EXPECT_FALSE(win.IsWindow(mine));
  EXPECT_TRUE(win.IsWindow(other));
  sys.CloseHandle(readOnly);
  sys.CloseHandle(e);
  EXPECT_FALSE(m.EventExists("ZOVSRM:TerminateManager"));  // the program let it go
}

TEST_F(ProgramWindowsTest, ARestartEndsTheOtherProgramsAndWhatTheyHeld) {
  m.AddHeldEvent({"Held", "C:\\Q\\a.exe"});
  WindowBehaviour stays;
  stays.close = WindowBehaviour::Close::kNever;
  HWND w = Add(stays);
  m.Reboot();
  EXPECT_FALSE(win.IsWindow(w));
  EXPECT_FALSE(m.EventExists("Held"));
}

}  // namespace
}  // namespace qx::sim
