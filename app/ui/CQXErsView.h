// The view's logic: the dialog sequence, the run messages and the end messages, written
// against a small Dialogs interface so that any shell (Win32, console, tests) can host it.
#pragma once

#include <string>

#include "app/CQXErsDoc.h"

namespace qx {

// What the view asks of its shell. Texts are CP932.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // The confirmation dialog: true for OK.
  virtual bool Confirm() = 0;
  // The driver-choice dialog with its preset (0 keep the drivers, 1 delete them too):
  // true for OK; choice receives the choice whatever button ended the dialog.
  virtual bool ChooseDrivers(int preset, int& choice) = 0;
  virtual void ShowProgress() = 0;
  virtual void CloseProgress() = 0;
  virtual void SetProgressRange(int low, int high) = 0;
  virtual void SetProgressPosition(int position) = 0;
  virtual void SetStatusText(const std::string& text) = 0;
  // An end message; yesNo asks a question and returns true for Yes. OK boxes return true.
  virtual bool EndMessage(const std::string& text, const std::string& caption, bool yesNo) = 0;
  // Command 1054 to the frame: the application closes.
  virtual void CloseApplication() = 0;
};

// The status texts of QXM_STATUS, by index.
const std::string& StatusText(int index);

class CQXErsView {
 public:
  CQXErsView(CQXErsDoc& doc, Dialogs& dialogs);

  // The window that receives the run messages; the shell sets it.
  HWND window = nullptr;
  int fontFlag = 0;
  int driverChoice = 0;  // 0 keep the printer drivers, 1 delete them too
  CQXErsDoc* job = nullptr;

  // The timer handler: confirmation, driver choice, then the run.
  void OnTimer();
  // The run messages; the shell routes every message of the window here.
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void ShowEndMessage(int code);

 private:
  CQXErsDoc& doc_;
  Dialogs& dialogs_;
};

}  // namespace qx
