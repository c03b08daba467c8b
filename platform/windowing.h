// Top-level windows and messages.
#pragma once
#include <functional>

#include "platform/types.h"

namespace qx {

class Windows {
 public:
  virtual ~Windows() = default;
  virtual HWND FindWindowA(const char* className, const char* windowName) = 0;
  // The callback answers FALSE to stop the enumeration.
  virtual BOOL EnumWindows(const std::function<BOOL(HWND)>& callback) = 0;
  virtual int GetWindowTextA(HWND window, char* buffer, int cchBuffer) = 0;
  virtual BOOL IsWindow(HWND window) = 0;
  virtual LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  virtual BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  virtual LRESULT SendMessageTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT flags, UINT timeoutMs, DWORD_PTR* result) = 0;
};

}  // namespace qx
