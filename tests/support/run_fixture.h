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
  bool confirm = true;
  bool chooseOk = true;
  int choice = -1;  // -1 keeps the preset
  bool answerYes = false;
  int presetSeen = -1;
  std::vector<std::string> shown;  // end messages and status texts, in order
  int closed = 0;

  bool Confirm() override { return confirm; }
  bool ChooseDrivers(int preset, int& chosen) override {
    presetSeen = preset;
    chosen = choice < 0 ? preset : choice;
    return chooseOk;
  }
  void ShowProgress() override {}
  void CloseProgress() override {}
  void SetProgressRange(int, int) override {}
  void SetProgressPosition(int) override {}
  void SetStatusText(const std::string& text) override { shown.push_back(text); }
  bool EndMessage(const std::string& text, const std::string&, bool) override {
    shown.push_back(text);
    return answerYes;
  }
  void CloseApplication() override { ++closed; }
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

// The messages a run without stages sends: status, range, padding to full, end, result.
std::vector<std::string> PaddedRun(int firstStatus, DWORD total, int result);

}  // namespace qx::test
