// The dialogs from the resource templates, and the message boxes.
#include "app/ui/win32/shell.h"

#include <commctrl.h>

#include "resources/resource.h"

namespace qx::shell {

std::string Win32Dialogs::LoadUiString(UINT id) {
  // The resource holds the text in UTF-16; LoadStringA gives it in the system's ANSI code
  // page, which on a Japanese Windows is CP932, the engine's own. A text that fills the
  // buffer may have been cut: it is loaded again into a larger one.
  std::string buffer(256, '\0');
  for (;;) {
    int n = ::LoadStringA(instance_, id, buffer.data(), static_cast<int>(buffer.size()));
    if (n <= 0) return std::string();
    if (static_cast<std::size_t>(n) + 1 < buffer.size() || buffer.size() >= 0x8000) {
      buffer.resize(static_cast<std::size_t>(n));
      return buffer;
    }
    buffer.assign(buffer.size() * 2, '\0');
  }
}

::INT_PTR CALLBACK Win32Dialogs::ModalProc(::HWND dialog, ::UINT message, ::WPARAM wParam, ::LPARAM lParam) {
  auto* modal = reinterpret_cast<Modal*>(::GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      modal = reinterpret_cast<Modal*>(lParam);
      ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      modal->self->modal_ = dialog;
      if (modal->checkRadio) ::CheckRadioButton(dialog, IDC_KEEP_DRIVERS, IDC_DELETE_DRIVERS, modal->checkRadio);
      return TRUE;
    case WM_COMMAND: {
      // Escape and the close command reach here as IDCANCEL.
      int id = LOWORD(wParam);
      if (!modal || (id != IDOK && id != IDCANCEL)) return FALSE;
      int radio = 0;
      if (modal->checkRadio) {
        if (::IsDlgButtonChecked(dialog, IDC_KEEP_DRIVERS) == BST_CHECKED)
          radio = IDC_KEEP_DRIVERS;
        else if (::IsDlgButtonChecked(dialog, IDC_DELETE_DRIVERS) == BST_CHECKED)
          radio = IDC_DELETE_DRIVERS;
      }
      DialogStep step = (*modal->onButton)(id, radio);
      if (step != DialogStep::Stay) ::EndDialog(dialog, step == DialogStep::EndOk ? IDOK : IDCANCEL);
      return TRUE;
    }
    case WM_DESTROY:
      if (modal && modal->self->modal_ == dialog) modal->self->modal_ = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

bool Win32Dialogs::RunModal(int templateId, int checkRadio, const ButtonHandler& onButton) {
  Modal modal{this, checkRadio, &onButton};
  ::INT_PTR result = ::DialogBoxParamA(instance_, MAKEINTRESOURCEA(templateId), view, ModalProc,
                                       reinterpret_cast<::LPARAM>(&modal));
  modal_ = nullptr;
  return result == IDOK;
}

int Win32Dialogs::ShowMessageBox(const std::string& text, const std::string& caption, UINT type) {
  ::HWND owner = modal_ ? modal_ : view;
  return ::MessageBoxA(owner, text.c_str(), caption.c_str(), type);
}

// The progress dialog has no buttons: nothing to handle but its creation.
::INT_PTR CALLBACK Win32Dialogs::ProgressProc(::HWND, ::UINT message, ::WPARAM, ::LPARAM) {
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

void Win32Dialogs::ShowProgress(int templateId) {
  if (progress) return;
  progress = ::CreateDialogParamA(instance_, MAKEINTRESOURCEA(templateId), view, ProgressProc, 0);
  if (progress) ::ShowWindow(progress, SW_SHOW);
}

void Win32Dialogs::CloseProgress() {
  if (progress) ::DestroyWindow(progress);
  progress = nullptr;
}

void Win32Dialogs::SetProgressRange(int low, int high) {
  if (progress) ::SendDlgItemMessageA(progress, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(low, high));
}

void Win32Dialogs::SetProgressPosition(int position) {
  if (progress) ::SendDlgItemMessageA(progress, IDC_PROGRESS, PBM_SETPOS, static_cast<::WPARAM>(position), 0);
}

void Win32Dialogs::SetStatusText(const std::string& text) {
  if (progress) ::SetDlgItemTextA(progress, IDC_STATUS, text.c_str());
}

void Win32Dialogs::CloseApplication() { ::PostMessageA(frame, WM_COMMAND, ID_APP_CLOSE, 0); }

}  // namespace qx::shell
