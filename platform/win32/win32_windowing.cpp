#include "platform/win32/win32_facets.h"
#include "platform/win32/win32_convert.h"

namespace qx::win32 {
namespace {

::BOOL CALLBACK EnumOne(::HWND window, ::LPARAM callback) {
  return (*reinterpret_cast<const std::function<qx::BOOL(qx::HWND)>*>(callback))(FromWin(window));
}

}  // namespace

qx::HWND Win32Windows::FindWindowA(const char* className, const char* windowName) {
  return FromWin(::FindWindowA(className, windowName));
}

BOOL Win32Windows::EnumWindows(const std::function<BOOL(qx::HWND)>& callback) {
  return ::EnumWindows(EnumOne, reinterpret_cast<::LPARAM>(&callback));
}

int Win32Windows::GetWindowTextA(qx::HWND window, char* buffer, int cchBuffer) {
  return ::GetWindowTextA(ToWin(window), buffer, cchBuffer);
}

int Win32Windows::GetClassNameA(qx::HWND window, char* buffer, int cchBuffer) {
  return ::GetClassNameA(ToWin(window), buffer, cchBuffer);
}

BOOL Win32Windows::IsWindow(qx::HWND window) { return ::IsWindow(ToWin(window)); }

LRESULT Win32Windows::SendMessageA(qx::HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return ::SendMessageA(ToWin(window), message, wParam, lParam);
}

BOOL Win32Windows::PostMessageA(qx::HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostMessageA(ToWin(window), message, wParam, lParam);
}

LRESULT Win32Windows::SendMessageTimeoutA(qx::HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                                          UINT timeoutMs, DWORD_PTR* result) {
  return ::SendMessageTimeoutA(ToWin(window), message, wParam, lParam, flags, timeoutMs,
                               reinterpret_cast<::DWORD_PTR*>(result));
}

}  // namespace qx::win32
