// The view's logic: the dialog sequence, the run messages and the end messages, written
// against a small Dialogs interface so that any shell (Win32, console, tests) can host it.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/CQXErsDoc.h"
#include "app/ui/command_line.h"

namespace qx {

// Message boxes and dialog buttons, with their Windows values.
inline constexpr UINT kBoxOk = 0x00000000;
inline constexpr UINT kBoxOkCancel = 0x00000001;
inline constexpr UINT kBoxYesNo = 0x00000004;
inline constexpr UINT kIconStop = 0x00000010;
inline constexpr UINT kIconQuestion = 0x00000020;
inline constexpr UINT kIconInformation = 0x00000040;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// What a modal dialog does after one of its buttons.
enum class DialogStep { Stay, EndOk, EndCancel };

// A modal dialog's buttons: called with the button's id (kIdOk, or kIdCancel also for
// Escape) and the radio button checked at that moment (0 when the dialog has none).
using ButtonHandler = std::function<DialogStep(int button, int checkedRadio)>;

// What the view asks of its shell. Texts are CP932.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Shows a modal dialog from its template, with checkRadio (when not 0) checked on opening;
  // hands every OK and Cancel to onButton and ends the dialog when it says so. True when the
  // dialog ended with OK.
  virtual bool RunModal(int templateId, int checkRadio, const ButtonHandler& onButton) = 0;
  // A message box owned by the modal dialog that is open, else by the view; type is kBox*
  // with a kIcon*. Returns the button pressed (kIdOk, kIdCancel, kIdYes, kIdNo).
  virtual int ShowMessageBox(const std::string& text, const std::string& caption, UINT type) = 0;
  // The modeless progress dialog, owned by the view.
  virtual void ShowProgress(int templateId) = 0;
  virtual void CloseProgress() = 0;
  virtual void SetProgressRange(int low, int high) = 0;
  virtual void SetProgressPosition(int position) = 0;
  virtual void SetStatusText(const std::string& text) = 0;
  // Command 1054 to the frame: the application closes.
  virtual void CloseApplication() = 0;
  // A string resource; the built-in table unless the shell has resources of its own.
  virtual std::string LoadUiString(UINT id);
};

// The status texts' string ids, by RunStatus, and their built-in texts ("" for any other index).
UINT StatusStringId(int index);
const std::string& StatusText(int index);

class CQXErsView {
 public:
  CQXErsView(CQXErsDoc& doc, Dialogs& dialogs);

  // The window that receives the run messages; the shell sets it.
  HWND window = nullptr;
  int fontFlag = 0;      // 1 when the font "MS UI Gothic" is installed
  int driverChoice = 0;  // 0 keep the printer drivers, 1 delete them too
  CQXErsDoc* job = nullptr;
  // The command line's switches; none: the interactive program.
  RunSwitches switches;
  // What the program exits with: the Windows Installer's code when the switches ask for one,
  // else 0 as it always did.
  int exitCode = 0;
  int msiExitCode = 0;  // the Windows Installer's code for the end, whatever the switches
  // Where the result file goes; unset: written through the machine's files to the path of
  // /report. A shell that keeps the file elsewhere (the simulation's host) sets its own.
  std::function<bool(const std::string& path, const std::string& text)> reportWriter;
  // A what-if run's end, before the result file: what the run would change, as the file's
  // [WhatIf] section (CP932) and as a short text for a person. Set for /whatif by the shell
  // that made the snapshot; the run is then made on this thread and nothing is restarted.
  struct WhatIfEnd {
    std::function<std::string()> reportSection, shortText;
    // Writes for real the file the run wrote at the path in the simulation (the log copy).
    std::function<bool(const std::string& path)> copyOut;
  };
  std::optional<WhatIfEnd> whatIf;

  // The templates for the installed fonts.
  int ConfirmTemplate() const;
  int DriversTemplate() const;
  int ProgressTemplate() const;

  // The timer handler: confirmation, driver choice, then the run.
  void OnTimer();
  // The modal dialogs' buttons. The driver-choice dialog's choice is kept in choice.
  DialogStep OnConfirmButton(int button);
  DialogStep OnDriversButton(int button, int checkedRadio, int& choice);
  // The run messages; the shell routes every message of the window here.
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // The end message for a result code, the restart when it is asked for, the result file
  // and the close. An unattended run shows no end message.
  void ShowEndMessage(int code);
  // A second instance: nothing runs; the exit code and the result file say why.
  void EndAsSecondInstance();

 private:
  bool AskQuit();
  void StartUnattended();
  bool PresetDriverChoice(int& choice);
  // Whether the restart a result needs is to be started, as the switches say (asking when
  // they say so).
  bool RestartAsSwitched(int code);
  void Finish(int code, bool restart);
  std::string EndWhatIf();
  void WriteReport(int code, bool restart, const std::string& whatIfSection = std::string());
  void Start();
  SYSTEMTIME start_{};
  CQXErsDoc& doc_;
  Dialogs& dialogs_;
};

}  // namespace qx
