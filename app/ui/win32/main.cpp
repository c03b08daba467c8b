// QXErs.exe: one instance, one full-screen window, one run.
#include "app/ui/single_instance.h"
#include "platform/win32/win32_platform.h"
#include "app/ui/win32/shell.h"

#include <commctrl.h>

int WINAPI WinMain(::HINSTANCE instance, ::HINSTANCE, ::LPSTR, int) {
  qx::win32::RealPlatform real;
  qx::HANDLE guard = nullptr;
  if (!qx::ClaimSingleInstance(real.platform().system, guard)) return 0;  // a second instance says nothing

  // The progress bar's class. InitCommonControlsEx needs the common controls of Internet
  // Explorer 3, which Windows 95 and NT 4.0 as shipped do not have; this one registers the
  // class on every version.
  ::InitCommonControls();

  int status = 0;
  {
    qx::CQXErsDoc doc(real.platform());
    qx::shell::Win32Dialogs dialogs(instance);
    qx::CQXErsView view(doc, dialogs);
    ::HWND frame = nullptr;
    if (qx::shell::RegisterWindowClasses(instance)) frame = qx::shell::CreateMainFrame(instance, view, dialogs);
    if (frame) {
      ::ShowWindow(frame, SW_SHOW);
      ::UpdateWindow(frame);
      // At the first idle moment the view gets the timer message that starts the dialogs.
      bool firstIdle = true;
      ::MSG msg{};
      for (;;) {
        if (firstIdle && !::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
          firstIdle = false;
          ::SetForegroundWindow(dialogs.view);
          ::PostMessageA(dialogs.view, WM_TIMER, 1, 0);
        }
        ::BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        if (dialogs.progress && ::IsDialogMessageA(dialogs.progress, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
      }
      status = static_cast<int>(msg.wParam);
    }
  }
  if (guard) real.platform().system.CloseHandle(guard);
  return status;
}
