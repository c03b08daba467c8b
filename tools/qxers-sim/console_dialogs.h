// The view's dialogs on a console: every text is printed in UTF-8; the dialogs and questions
// are answered from the command line or, when a person sits at the terminal, asked there.
#pragma once

#include <istream>
#include <optional>
#include <ostream>

#include "app/ui/CQXErsView.h"

namespace qxsim {

// What the command line answered; a missing answer is asked at the terminal when there is
// one, and otherwise takes its default (OK, the preset driver choice, no restart).
struct ConsoleAnswers {
  std::optional<bool> ok;       // the dialogs: OK, or Cancel (and yes, quit)
  std::optional<int> drivers;   // 0 keep the printer drivers, 1 delete them too
  std::optional<bool> restart;  // the restart question
};

class ConsoleDialogs : public qx::Dialogs {
 public:
  // in: the terminal to ask at, or null to never wait for input.
  ConsoleDialogs(std::ostream& out, ConsoleAnswers answers, std::istream* in = nullptr)
      : out_(out), answers_(answers), in_(in) {}

  bool RunModal(int templateId, int checkRadio, const qx::ButtonHandler& onButton) override;
  int ShowMessageBox(const std::string& text, const std::string& caption, qx::UINT type) override;
  void ShowProgress(int templateId) override;
  void CloseProgress() override;
  void SetProgressRange(int low, int high) override;
  void SetProgressPosition(int position) override;
  void SetStatusText(const std::string& text) override;
  void CloseApplication() override;

  bool restartAnswered = false;  // Yes was the answer to the restart question

 private:
  // Asks at the terminal until one of the choices' first letters is typed; an empty line
  // takes the default. The answer's index in choices.
  int Ask(const std::string& prompt, const std::vector<std::string>& choices, int defaultIndex);
  std::ostream& out_;
  ConsoleAnswers answers_;
  std::istream* in_;
  int high_ = 0;
};

}  // namespace qxsim
