// Top-level windows and messages.
#pragma once
#include <cstdint>
#include <functional>

#include "platform/types.h"

namespace qx {

// A message to every top-level window; WM_SETTINGCHANGE (the same number as WM_WININICHANGE)
// carries the changed profile section's name in lParam, or 0.
inline const HWND HWND_BROADCAST = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0xFFFF));
inline constexpr UINT WM_WININICHANGE = 0x001A;
inline constexpr UINT WM_SETTINGCHANGE = 0x001A;

class Windows {
 public:
  virtual ~Windows() = default;
  virtual HWND FindWindowA(const char* className, const char* windowName) = 0;
  // The callback answers FALSE to stop the enumeration.
  virtual BOOL EnumWindows(const std::function<BOOL(HWND)>& callback) = 0;
  virtual int GetWindowTextA(HWND window, char* buffer, int cchBuffer) = 0;
  // The window's class name, cut to fit (with its zero); 0 on failure.
  virtual int GetClassNameA(HWND window, char* buffer, int cchBuffer) = 0;
  virtual BOOL IsWindow(HWND window) = 0;
  virtual LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  virtual BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  virtual LRESULT SendMessageTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT flags, UINT timeoutMs, DWORD_PTR* result) = 0;
};

}  // namespace qx
