// Simulated top-level windows: finding them, and what their handlers receive.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace qx::sim {
namespace {

class SimWindowsTest : public ::testing::Test {
 protected:
  SimMachine m;
  Windows& win = m.platform().windows;
};

TEST_F(SimWindowsTest, FindWindowMatchesClassAndTitleWithoutCaseNewestFirst) {
  HWND a = m.AddWindow("ZovStatusManager", "Qorvex 状態", nullptr);
  HWND b = m.AddWindow("ZovStatusManager", "Other", nullptr);
  HWND c = m.AddWindow("Progman", "Program Manager", nullptr);
  struct Case {
    const char* cls;
    const char* title;
    HWND expected;
  };
  for (const Case& k : {Case{"zovstatusmanager", nullptr, b}, Case{nullptr, "QORVEX 状態", a},
                        Case{"ZovStatusManager", "other", b}, Case{"Progman", "Other", nullptr},
                        Case{nullptr, nullptr, c}, Case{"", nullptr, nullptr}})
    EXPECT_EQ(win.FindWindowA(k.cls, k.title), k.expected) << (k.cls ? k.cls : "null") << "/" << (k.title ? k.title : "null");
  std::vector<HWND> order;
  win.EnumWindows([&](HWND h) {
    order.push_back(h);
    return h != b;  // stop after b
  });
  EXPECT_EQ(order, (std::vector<HWND>{c, b}));
}

TEST_F(SimWindowsTest, SentMessagesRunTheHandlerAtOnceAndAreRecorded) {
  std::vector<UINT> seen;
  HWND w = m.AddWindow("View", "QXErs", [&](HWND, UINT msg, WPARAM wp, LPARAM) -> LRESULT {
    seen.push_back(msg);
    return static_cast<LRESULT>(wp * 2);
  });
  EXPECT_EQ(win.SendMessageA(w, 1037, 21, 0), 42);
  DWORD_PTR result = 0;
  EXPECT_NE(win.SendMessageTimeoutA(w, 1038, 5, -1, SMTO_ABORTIFHUNG, 5000, &result), 0);
  EXPECT_EQ(result, 10u);
  EXPECT_EQ(seen, (std::vector<UINT>{1037, 1038}));
  auto got = m.Messages(w);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1].message, 1038u);
  EXPECT_EQ(got[1].lParam, -1);
  EXPECT_FALSE(got[1].posted);
}

// A message posted from inside the handler waits until the handler has returned.
TEST_F(SimWindowsTest, PostedMessagesAreDeliveredInQueueOrder) {
  std::vector<std::string> trace;
  HWND w = nullptr;
  w = m.AddWindow("View", "QXErs", [&](HWND self, UINT msg, WPARAM, LPARAM) -> LRESULT {
    trace.push_back("begin " + std::to_string(msg));
    if (msg == WM_TIMER) win.PostMessageA(self, WM_COMMAND, 1054, 0);
    trace.push_back("end " + std::to_string(msg));
    return 0;
  });
  EXPECT_TRUE(win.PostMessageA(w, WM_TIMER, 1, 0));
  EXPECT_EQ(trace, (std::vector<std::string>{"begin 275", "end 275", "begin 273", "end 273"}));
  auto got = m.Messages(w);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_TRUE(got[0].posted);
  EXPECT_EQ(got[1].wParam, 1054u);
}

TEST_F(SimWindowsTest, AClosedWindowIsGoneButWhatItReceivedStays) {
  HWND w = nullptr;
  w = m.AddWindow("Companion", "Tool", [&](HWND self, UINT msg, WPARAM, LPARAM) -> LRESULT {
    if (msg == WM_CLOSE) m.RemoveWindow(self);
    return 0;
  });
  char title[3];
  EXPECT_EQ(win.GetWindowTextA(w, title, sizeof title), 2);
  EXPECT_STREQ(title, "To");
  EXPECT_TRUE(win.PostMessageA(w, WM_CLOSE, 0, 0));
  EXPECT_FALSE(win.IsWindow(w));
  EXPECT_EQ(win.FindWindowA("Companion", nullptr), nullptr);
  EXPECT_FALSE(win.PostMessageA(w, WM_CLOSE, 0, 0));
  EXPECT_EQ(m.platform().system.GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_EQ(win.GetWindowTextA(w, title, sizeof title), 0);
  ASSERT_EQ(m.Messages(w).size(), 1u);
  EXPECT_EQ(m.Messages(w)[0].message, WM_CLOSE);
}

}  // namespace
}  // namespace qx::sim
