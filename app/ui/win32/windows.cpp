// The main frame and the view window with its banner.
#include "app/ui/win32/shell.h"

#include "app/ui/banner.h"
#include "resources/resource.h"

namespace qx::shell {

namespace {

struct ViewWindow {
  CQXErsView* view;
  Win32Dialogs* dialogs;
  bool timerSeen = false;
};

// A named callback, not a lambda: on 32-bit x86 the callback must be __stdcall, which a
// lambda's conversion to a function pointer cannot give.
int CALLBACK FontFound(const ::LOGFONTA*, const ::TEXTMETRICA*, ::DWORD, ::LPARAM flag) {
  *reinterpret_cast<int*>(flag) = 1;
  return 0;  // one is enough
}

// The font flag: whether the display offers the family "MS UI Gothic".
int FontFlag() {
  int found = 0;
  ::HDC dc = ::CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  if (!dc) return 0;
  ::EnumFontFamiliesA(dc, "MS UI Gothic", FontFound, reinterpret_cast<::LPARAM>(&found));
  ::DeleteDC(dc);
  return found;
}

void PaintBanner(::HWND window, ViewWindow& v) {
  ::PAINTSTRUCT ps;
  ::HDC dc = ::BeginPaint(window, &ps);
  ::RECT client;
  ::GetClientRect(window, &client);
  BannerLayout b = LayoutBanner(client.right, client.bottom, v.view->fontFlag);
  for (const BannerBand& band : b.bands) {
    ::RECT r{0, band.top, client.right, band.top + band.height};
    ::HBRUSH brush = ::CreateSolidBrush(RGB(0, 0, band.blue));
    ::FillRect(dc, &r, brush);
    ::DeleteObject(brush);
  }
  ::HFONT font = ::CreateFontA(b.fontHeight, 0, 0, 0, b.fontWeight, TRUE, FALSE, FALSE, SHIFTJIS_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                               b.face);
  ::HGDIOBJ old = ::SelectObject(dc, font);
  ::SetBkMode(dc, TRANSPARENT);
  std::string text = v.dialogs->LoadUiString(IDS_BANNER);
  ::SetTextColor(dc, RGB(0, 0, 0));
  ::TextOutA(dc, b.shadowX, b.shadowY, text.c_str(), static_cast<int>(text.size()));
  ::SetTextColor(dc, RGB(255, 255, 255));
  ::TextOutA(dc, b.textX, b.textY, text.c_str(), static_cast<int>(text.size()));
  ::SelectObject(dc, old);
  ::DeleteObject(font);
  ::EndPaint(window, &ps);
}

::LRESULT CALLBACK ViewProc(::HWND window, ::UINT message, ::WPARAM wParam, ::LPARAM lParam) {
  auto* v = reinterpret_cast<ViewWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case WM_NCCREATE: {
      auto* create = reinterpret_cast<::CREATESTRUCTA*>(lParam);
      ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<::LONG_PTR>(create->lpCreateParams));
      break;
    }
    case WM_CREATE:
      v->view->window = win32::FromWin(window);
      v->dialogs->view = window;
      v->view->fontFlag = FontFlag();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the banner covers everything
    case WM_PAINT:
      PaintBanner(window, *v);
      return 0;
    case WM_TIMER:
      // The run is started once; there is no second run in a process.
      if (!v->timerSeen) {
        v->timerSeen = true;
        v->view->OnTimer();
      }
      return 0;
    default:
      if (v && message >= WM_USER) return v->view->OnMessage(message, wParam, lParam);
      break;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

::LRESULT CALLBACK FrameProc(::HWND window, ::UINT message, ::WPARAM wParam, ::LPARAM lParam) {
  switch (message) {
    case WM_SIZE: {
      // The view is the frame's only child (FindWindowEx is not on NT 3.51).
      ::HWND view = ::GetWindow(window, GW_CHILD);
      if (view) ::MoveWindow(view, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == ID_APP_CLOSE) {
        ::DestroyWindow(window);
        return 0;
      }
      break;
    case WM_CLOSE:
      // Only the end of the run closes the program: a run cannot be interrupted.
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

ViewWindow viewWindow{nullptr, nullptr};

}  // namespace

bool RegisterWindowClasses(::HINSTANCE instance) {
  // RegisterClassA: NT 3.51 has no RegisterClassEx, and the small icon is not needed.
  ::WNDCLASSA frame{};
  frame.lpfnWndProc = FrameProc;
  frame.hInstance = instance;
  frame.hIcon = ::LoadIconA(nullptr, MAKEINTRESOURCEA(32512));  // IDI_APPLICATION
  frame.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  frame.hbrBackground = reinterpret_cast<::HBRUSH>(COLOR_WINDOW + 1);
  frame.lpszClassName = kFrameClass;
  ::WNDCLASSA view = frame;
  view.lpfnWndProc = ViewProc;
  view.hIcon = nullptr;
  view.hbrBackground = nullptr;
  view.lpszClassName = kViewClass;
  return ::RegisterClassA(&frame) && ::RegisterClassA(&view);
}

::HWND CreateMainFrame(::HINSTANCE instance, CQXErsView& view, Win32Dialogs& dialogs) {
  ::RECT desktop;
  ::GetClientRect(::GetDesktopWindow(), &desktop);
  // A caption and a system menu, no sizing border, no minimise or maximise box.
  ::HWND frame = ::CreateWindowExA(0, kFrameClass, "Qorvex Eraser", WS_CAPTION | WS_SYSMENU, 0, 0, desktop.right,
                                   desktop.bottom, nullptr, nullptr, instance, nullptr);
  if (!frame) return nullptr;
  // The close box is greyed: the end of the run closes the program.
  ::EnableMenuItem(::GetSystemMenu(frame, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
  dialogs.frame = frame;
  viewWindow = ViewWindow{&view, &dialogs};
  ::RECT client;
  ::GetClientRect(frame, &client);
  ::HWND child = ::CreateWindowExA(0, kViewClass, "", WS_CHILD | WS_VISIBLE, 0, 0, client.right, client.bottom, frame,
                                   nullptr, instance, &viewWindow);
  if (!child) {
    ::DestroyWindow(frame);
    return nullptr;
  }
  return frame;
}

}  // namespace qx::shell
