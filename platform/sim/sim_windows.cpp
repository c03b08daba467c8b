// Top-level windows of other programs (and the view, under the console shell), each with a
// handler standing for what its program does on a message.
//
// Sent messages run the handler at once on the sending thread, as SendMessageA does when
// the window belongs to the caller's thread. Posted messages are delivered at once too, on
// the posting thread, as if the window's program sat waiting in its message loop; a message
// posted to a window whose handler is running waits until that handler returns, as it would
// wait in the queue. Every message is recorded before its handler runs.
#include <cstring>

#include "platform/sim/sim_state.h"

namespace qx::sim {

namespace {

// Deliver lets the mutex go around a handler itself; the guard is only ever held whole (a
// std::unique_lock would bring std::system_error, and with it FormatMessageA, into a Windows
// build for nothing).
using Lock = std::lock_guard<MachineMutex>;

// Program windows that would not answer a sent message now; with abortIfHung, those that
// are not yet hung (they are waited for) only.
int NotAnswering(SimMachine::State& s, bool abortIfHung) {
  int n = 0;
  for (const auto& w : s.windows) {
    if (!w->alive || !w->program) continue;
    const ProgramWindowState& p = *w->program;
    bool hung = p.behaviour.hangs || (p.busy && s.elapsedMs.load() - p.busySinceMs >= 5000);
    if ((p.behaviour.hangs || p.busy) && !(abortIfHung && hung)) n++;
  }
  return n;
}

// A broadcast that is sent waits for every top-level window: a program window that does not
// answer holds SendMessageA for ever (recorded as a hang) and gives SendMessageTimeoutA its
// whole time-out, one such window after another.
void WaitForBroadcast(SimMachine::State& s, UINT message, WPARAM wParam, LPARAM lParam, bool withTimeout, UINT flags,
                      UINT timeoutMs) {
  s.SettleWindows();
  int n = NotAnswering(s, withTimeout && (flags & SMTO_ABORTIFHUNG));
  if (n == 0) return;
  std::string args = std::to_string(message) + ", " + std::to_string(wParam) + ", " + std::to_string(lParam);
  if (!withTimeout) {
    s.outside.hungSends++;
    s.Record("SendMessageA(HWND_BROADCAST, " + args + ") never returns: " + std::to_string(n) +
             " windows do not answer");
    return;
  }
  s.elapsedMs += static_cast<std::uint64_t>(n) * timeoutMs;
  s.Record("SendMessageTimeoutA(HWND_BROADCAST, " + args + ", " + std::to_string(flags) + ", " +
           std::to_string(timeoutMs) + ") waited for " + std::to_string(n) + " windows that do not answer");
}

}  // namespace

std::shared_ptr<SimWindow> SimMachine::State::Window(HWND hwnd) const {
  for (const auto& w : windows)
    if (w->hwnd == hwnd && w->alive) return w;
  return nullptr;
}

// Called with the lock held once; releases it around the handler.
LRESULT SimMachine::State::Deliver(const std::shared_ptr<SimWindow>& w, UINT message, WPARAM wParam, LPARAM lParam,
                                   bool posted) {
  ReceivedMessage m{message, wParam, lParam, posted};
  w->messages.push_back(m);
  if (posted && w->dispatching > 0) {
    w->queued.push_back(m);
    return 0;
  }
  LRESULT result = 0;
  std::vector<ReceivedMessage> next{m};
  bool first = true;
  while (!next.empty()) {
    ReceivedMessage cur = next.front();
    next.erase(next.begin());
    WindowProc proc = w->proc;
    w->dispatching++;
    mu.unlock();
    LRESULT r = proc ? proc(w->hwnd, cur.message, cur.wParam, cur.lParam) : 0;
    mu.lock();
    w->dispatching--;
    if (first) result = r;
    first = false;
    // Posted messages that arrived meanwhile are handled once the outermost handler is done.
    if (w->dispatching == 0 && w->alive) {
      next.insert(next.end(), w->queued.begin(), w->queued.end());
      w->queued.clear();
    }
  }
  return result;
}

HWND WindowsCore::FindWindowA(const char* className, const char* windowName) {
  Lock lock(s_.mu);
  s_.SettleWindows();
  for (auto it = s_.windows.rbegin(); it != s_.windows.rend(); ++it) {
    const auto& w = *it;
    if (!w->alive) continue;
    if (className && !cp932::EqualNoCase(w->className, className)) continue;
    if (windowName && !cp932::EqualNoCase(w->title, windowName)) continue;
    return w->hwnd;
  }
  return nullptr;
}

BOOL WindowsCore::EnumWindows(const std::function<BOOL(HWND)>& callback) {
  std::vector<HWND> list;
  {
    Lock lock(s_.mu);
    s_.SettleWindows();
    for (auto it = s_.windows.rbegin(); it != s_.windows.rend(); ++it)
      if ((*it)->alive) list.push_back((*it)->hwnd);
  }
  for (HWND h : list)
    if (!callback(h)) break;
  return TRUE;
}

// A window's title or class name into the caller's buffer, cut to fit on a character's edge.
int WindowsCore::CopyWindowString(HWND window, char* buffer, int cchBuffer, std::string SimWindow::*field) {
  Lock lock(s_.mu);
  s_.SettleWindows();
  auto w = s_.Window(window);
  if (!w) {
    s_.SetError(ERROR_INVALID_WINDOW_HANDLE);
    if (buffer && cchBuffer > 0) buffer[0] = '\0';
    return 0;
  }
  if (!buffer || cchBuffer <= 0) return 0;
  std::string_view cut = cp932::Truncate((*w).*field, static_cast<std::size_t>(cchBuffer - 1));
  std::memcpy(buffer, cut.data(), cut.size());
  buffer[cut.size()] = '\0';
  return static_cast<int>(cut.size());
}

int WindowsCore::GetWindowTextA(HWND window, char* buffer, int cchBuffer) {
  return CopyWindowString(window, buffer, cchBuffer, &SimWindow::title);
}

int WindowsCore::GetClassNameA(HWND window, char* buffer, int cchBuffer) {
  return CopyWindowString(window, buffer, cchBuffer, &SimWindow::className);
}

BOOL WindowsCore::IsWindow(HWND window) {
  Lock lock(s_.mu);
  s_.SettleWindows();
  return s_.Window(window) ? TRUE : FALSE;
}

LRESULT WindowsCore::SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Lock lock(s_.mu);
  if (window == HWND_BROADCAST) WaitForBroadcast(s_, message, wParam, lParam, false, 0, 0);
  if (window == HWND_BROADCAST) return BroadcastMessageToAll(s_, message, wParam, lParam, false);
  auto w = s_.Window(window);
  if (!w) return s_.SetError(ERROR_INVALID_WINDOW_HANDLE), 0;
  if (w->program) {
    // Another program's window: the call returns when that program has answered, which a
    // program that never answers never does. The simulation cannot wait for ever; it
    // records the hang and returns.
    std::string call = "SendMessageA(" + s_.WindowName(*w) + ", " + std::to_string(message) + ", " +
                       std::to_string(wParam) + ", " + std::to_string(lParam) + ")";
    LRESULT r = 0;
    if (s_.ProgramMessage(w, message, wParam, lParam, false, r)) {
      s_.Record(call + " = " + std::to_string(r));
      return r;
    }
    s_.outside.hungSends++;
    s_.Record(call + " never returns: the window does not answer");
    return 0;
  }
  return s_.Deliver(w, message, wParam, lParam, false);
}

BOOL WindowsCore::PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Lock lock(s_.mu);
  if (window == HWND_BROADCAST) return BroadcastMessageToAll(s_, message, wParam, lParam, true) ? TRUE : FALSE;
  auto w = s_.Window(window);
  if (!w) return s_.SetError(ERROR_INVALID_WINDOW_HANDLE), FALSE;
  if (w->program) {
    LRESULT ignored;
    s_.ProgramMessage(w, message, wParam, lParam, true, ignored);
    s_.Record("PostMessageA(" + s_.WindowName(*w) + ", " + std::to_string(message) + ", " + std::to_string(wParam) +
              ", " + std::to_string(lParam) + ") = 1");
    return TRUE;
  }
  s_.Deliver(w, message, wParam, lParam, true);
  return TRUE;
}

// A program window that does not answer makes the call wait the whole time-out on the
// virtual clock and fail with ERROR_TIMEOUT; with SMTO_ABORTIFHUNG it fails at once when the
// window's program is hung (it never answers, or has been busy for 5 seconds or more), as
// Windows judges a thread that has not looked at its queue for 5 seconds.
LRESULT WindowsCore::SendMessageTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                                         UINT timeoutMs, DWORD_PTR* result) {
  Lock lock(s_.mu);
  if (result) *result = 0;
  if (window == HWND_BROADCAST) WaitForBroadcast(s_, message, wParam, lParam, true, flags, timeoutMs);
  if (window == HWND_BROADCAST) return BroadcastMessageToAll(s_, message, wParam, lParam, false);
  s_.SettleWindows();
  auto w = s_.Window(window);
  if (!w) return s_.SetError(ERROR_INVALID_WINDOW_HANDLE), 0;
  if (w->program) {
    std::string call = "SendMessageTimeoutA(" + s_.WindowName(*w) + ", " + std::to_string(message) + ", " +
                       std::to_string(wParam) + ", " + std::to_string(lParam) + ", " + std::to_string(flags) + ", " +
                       std::to_string(timeoutMs) + ")";
    const ProgramWindowState& p = *w->program;
    bool hung = p.behaviour.hangs || (p.busy && s_.elapsedMs.load() - p.busySinceMs >= 5000);
    LRESULT r = 0;
    if ((flags & SMTO_ABORTIFHUNG) && hung) {
      s_.Record(call + " = 0: the window is hung");
      return s_.SetError(ERROR_TIMEOUT), 0;
    }
    if (s_.ProgramMessage(w, message, wParam, lParam, false, r)) {
      if (result) *result = static_cast<DWORD_PTR>(r);
      s_.Record(call + " = 1, result " + std::to_string(r));
      return 1;
    }
    s_.elapsedMs += timeoutMs;
    s_.Record(call + " = 0: timed out");
    return s_.SetError(ERROR_TIMEOUT), 0;
  }
  LRESULT r = s_.Deliver(w, message, wParam, lParam, false);
  if (result) *result = static_cast<DWORD_PTR>(r);
  return 1;
}

// ---------------------------------------------------------------- the machine's own view

HWND SimMachine::AddWindow(std::string_view className, std::string_view title, WindowProc proc) {
  Lock lock(state_->mu);
  auto w = std::make_shared<SimWindow>();
  w->hwnd = reinterpret_cast<HWND>(state_->nextWindow);
  state_->nextWindow += 0x10;
  w->className = std::string(className);
  w->title = std::string(title);
  w->proc = std::move(proc);
  state_->windows.push_back(w);
  return w->hwnd;
}

// The window is gone; what it received stays readable.
void SimMachine::RemoveWindow(HWND window) {
  Lock lock(state_->mu);
  if (auto w = state_->Window(window)) {
    w->alive = false;
    w->queued.clear();
  }
}

std::vector<ReceivedMessage> SimMachine::Messages(HWND window) const {
  Lock lock(state_->mu);
  for (const auto& w : state_->windows)
    if (w->hwnd == window) return w->messages;
  return {};
}

}  // namespace qx::sim
