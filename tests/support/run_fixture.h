// A simulated machine with the erase job and its view on it, and the shapes the tests read
// back: the messages the view's window received and the files the run left.
#pragma once

#include <string>
#include <vector>

#include "app/CQXErsDoc.h"
#include "app/ui/CQXErsView.h"
#include "platform/sim/sim_machine.h"

namespace qx::test {

// Answers the dialogs as a script says and records what the view showed.
class ScriptedDialogs : public Dialogs {
 public:
  // The buttons pressed, in order, in the confirmation and the driver-choice dialog; when
  // empty, OK (confirm, chooseOk true) or Cancel. A dialog still open when its presses run
  // out is cancelled by force and counted in stuck.
  std::vector<int> confirmPresses, driverPresses;
  bool confirm = true;
  bool chooseOk = true;
  int choice = -1;  // -1 keeps the preset; else the radio button pressed before every OK: 0 keep, 1 delete
  // Answers to message boxes, in order; when none is left, OK (or Yes when answerYes, else No).
  std::vector<int> answers;
  bool answerYes = false;

  int presetSeen = -1;          // the driver dialog's preset as the radio button checked on opening
  std::vector<int> templates;   // the templates shown, modal and progress, in order
  struct Box {
    std::string text, caption;
    UINT type;
  };
  std::vector<Box> boxes;          // every message box, in order
  std::vector<std::string> shown;  // end messages and status texts, in order
  int closed = 0;
  int stuck = 0;

  bool RunModal(int templateId, int checkRadio, const ButtonHandler& onButton) override;
  int ShowMessageBox(const std::string& text, const std::string& caption, UINT type) override;
  void ShowProgress(int templateId) override { templates.push_back(templateId); }
  void CloseProgress() override {}
  void SetProgressRange(int, int) override {}
  void SetProgressPosition(int) override {}
  void SetStatusText(const std::string& text) override { shown.push_back(text); }
  void CloseApplication() override { ++closed; }

 private:
  std::size_t nextAnswer_ = 0;
};

class RunFixture {
 public:
  RunFixture();

  // A Windows NT 4.0 machine, or another system.
  void SetSystem(DWORD platformId, DWORD major, DWORD minor);
  // QXErs.ini beside the program; lines are joined with CR LF.
  void WriteConfig(const std::vector<std::string>& lines);
  // The [ENVIRONMENT] section alone.
  void WriteEnvironment(const std::string& delflg, const std::string& log = "0",
                        const std::string& supportos = "95N1N42K");

  // Starts the job as the view would after its dialogs, and waits for the worker.
  void Run();
  // The messages the view's window received, as "message wParam lParam" (wParam signed).
  std::vector<std::string> Messages() const;
  // The log file's bytes, or "" when there is none.
  std::string Log() const;

  sim::SimMachine machine;
  CQXErsDoc doc{machine.platform()};
  ScriptedDialogs dialogs;
  CQXErsView view{doc, dialogs};
  HWND window = nullptr;
};

// One message to the view as Messages() and qxers-sim's messages.txt record it:
// "message wParam lParam", wParam signed.
std::string ViewMessage(UINT message, LPARAM wParam = 0, LPARAM lParam = 0);

// The messages a run without stages sends: status, range, padding to full, end, result.
std::vector<std::string> PaddedRun(RunStatus firstStatus, DWORD total, int result);

}  // namespace qx::test
