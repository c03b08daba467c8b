// The Win32 shell of QXErs.exe: the main frame, the view window with its banner, and the
// dialogs, around the view's shared logic. Include after the platform headers.
#pragma once

#include "app/ui/CQXErsView.h"
#include "platform/win32/win32_convert.h"

#include <string>

namespace qx::shell {

// CP932 text, as the engine keeps it, for the wide-character calls.
std::wstring Wide(const std::string& cp932);

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

inline constexpr const wchar_t* kFrameClass = L"QXErsFrame";
inline constexpr const wchar_t* kViewClass = L"QXErsView";

// Registers the two window classes; view receives the view's logic and dialogs.
bool RegisterWindowClasses(::HINSTANCE instance);
// The frame, full screen, with the view inside; null when it cannot be made.
::HWND CreateMainFrame(::HINSTANCE instance, CQXErsView& view, Win32Dialogs& dialogs);

}  // namespace qx::shell
