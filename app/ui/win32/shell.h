// The Win32 shell of QXErs.exe: the main frame, the view window with its banner, and the
// dialogs, around the view's shared logic. Include after the platform headers.
// An ANSI program: the engine's CP932 texts go to the ...A calls as they are, which a
// Japanese Windows (ANSI code page 932) shows as they are meant; Windows 95 and 98 have the
// ...W window calls only as stubs that fail.
#pragma once

#include "app/ui/CQXErsView.h"
#include "platform/win32/win32_convert.h"

#include <string>

namespace qx::shell {

class Win32Dialogs : public Dialogs {
 public:
  explicit Win32Dialogs(::HINSTANCE instance) : instance_(instance) {}

  ::HWND view = nullptr;   // owner of the dialogs and end messages
  ::HWND frame = nullptr;  // receives command 1054
  ::HWND progress = nullptr;

  bool RunModal(int templateId, int checkRadio, const ButtonHandler& onButton) override;
  int ShowMessageBox(const std::string& text, const std::string& caption, UINT type) override;
  void ShowProgress(int templateId) override;
  void CloseProgress() override;
  void SetProgressRange(int low, int high) override;
  void SetProgressPosition(int position) override;
  void SetStatusText(const std::string& text) override;
  void CloseApplication() override;
  std::string LoadUiString(UINT id) override;

 private:
  struct Modal {
    Win32Dialogs* self;
    int checkRadio;
    const ButtonHandler* onButton;
  };
  static ::INT_PTR CALLBACK ModalProc(::HWND dialog, ::UINT message, ::WPARAM wParam, ::LPARAM lParam);
  static ::INT_PTR CALLBACK ProgressProc(::HWND dialog, ::UINT message, ::WPARAM wParam, ::LPARAM lParam);
  ::HINSTANCE instance_;
  ::HWND modal_ = nullptr;  // the modal dialog open, the owner of its questions
};

inline constexpr const char* kFrameClass = "QXErsFrame";
inline constexpr const char* kViewClass = "QXErsView";

// Registers the two window classes; view receives the view's logic and dialogs.
bool RegisterWindowClasses(::HINSTANCE instance);
// The frame, full screen, with the view inside; null when it cannot be made.
::HWND CreateMainFrame(::HINSTANCE instance, CQXErsView& view, Win32Dialogs& dialogs);

}  // namespace qx::shell
