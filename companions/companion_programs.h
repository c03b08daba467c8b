// Asking other programs' windows to close.
#pragma once

#include <string>

#include "platform/platform.h"

namespace qx {

// A window is given 100 polls of 100 ms to go away after its message.
inline constexpr int kWindowClosePolls = 100;
inline constexpr DWORD kWindowClosePollMs = 100;
// A window that has not answered its message within this time is left as it is.
inline constexpr UINT kWindowAnswerTimeoutMs = 10000;

// Sends the message (lParam 0) and waits until the window is gone, at most 10 seconds.
void CloseWindowAndWait(Platform& sys, HWND window, UINT message, WPARAM wParam);
// WM_COMMAND 5005 to every top-level window whose title ends in the text (ASCII case
// ignored); returns how many there were.
int CloseWindowsEndingWith(Platform& sys, const std::string& text);

}  // namespace qx
