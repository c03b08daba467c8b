// The dialogs from the resource templates, and the message boxes.
#include "app/ui/win32/shell.h"

#include <commctrl.h>

#include "resources/resource.h"

namespace qx::shell {

std::wstring Wide(const std::string& cp932) {
  if (cp932.empty()) return std::wstring();
  int n = ::MultiByteToWideChar(932, 0, cp932.data(), static_cast<int>(cp932.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) ::MultiByteToWideChar(932, 0, cp932.data(), static_cast<int>(cp932.size()), out.data(), n);
  return out;
}

std::string Win32Dialogs::LoadUiString(UINT id) {
  const wchar_t* text = nullptr;
  // Length 0 gives a pointer to the resource itself, which is not terminated.
  int n = ::LoadStringW(instance_, id, reinterpret_cast<wchar_t*>(&text), 0);
  if (n <= 0 || !text) return std::string();
  int bytes = ::WideCharToMultiByte(932, 0, text, n, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0) ::WideCharToMultiByte(932, 0, text, n, out.data(), bytes, nullptr, nullptr);
  return out;
}

::INT_PTR CALLBACK Win32Dialogs::ModalProc(::HWND dialog, ::UINT message, ::WPARAM wParam, ::LPARAM lParam) {
  auto* modal = reinterpret_cast<Modal*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      modal = reinterpret_cast<Modal*>(lParam);
      ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
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
  ::INT_PTR result = ::DialogBoxParamW(instance_, MAKEINTRESOURCEW(templateId), view, ModalProc,
                                       reinterpret_cast<::LPARAM>(&modal));
  modal_ = nullptr;
  return result == IDOK;
}

int Win32Dialogs::ShowMessageBox(const std::string& text, const std::string& caption, UINT type) {
  ::HWND owner = modal_ ? modal_ : view;
  return ::MessageBoxW(owner, Wide(text).c_str(), Wide(caption).c_str(), type);
}

// The progress dialog has no buttons: nothing to handle but its creation.
::INT_PTR CALLBACK Win32Dialogs::ProgressProc(::HWND, ::UINT message, ::WPARAM, ::LPARAM) {
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

void Win32Dialogs::ShowProgress(int templateId) {
  if (progress) return;
  progress = ::CreateDialogParamW(instance_, MAKEINTRESOURCEW(templateId), view, ProgressProc, 0);
  if (progress) ::ShowWindow(progress, SW_SHOW);
}

void Win32Dialogs::CloseProgress() {
  if (progress) ::DestroyWindow(progress);
  progress = nullptr;
}

void Win32Dialogs::SetProgressRange(int low, int high) {
  if (progress) ::SendDlgItemMessageW(progress, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(low, high));
}

void Win32Dialogs::SetProgressPosition(int position) {
  if (progress) ::SendDlgItemMessageW(progress, IDC_PROGRESS, PBM_SETPOS, static_cast<::WPARAM>(position), 0);
}

void Win32Dialogs::SetStatusText(const std::string& text) {
  if (progress) ::SetDlgItemTextW(progress, IDC_STATUS, Wide(text).c_str());
}

void Win32Dialogs::CloseApplication() { ::PostMessageW(frame, WM_COMMAND, ID_APP_CLOSE, 0); }

}  // namespace qx::shell
