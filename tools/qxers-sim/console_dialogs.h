// The view's dialogs on a console: every text is printed in UTF-8; the dialogs and questions
// are answered from the command line or, when a person sits at the terminal, asked there.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

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
  bool closed = false;           // the view closed the application: it reached its end

  // On a terminal the progress is one bar redrawn in place; otherwise a line per stage.
  void SetTerminal(bool terminal) { terminal_ = terminal; }
  // The virtual clock, read when a stage starts and when the progress closes.
  void SetClock(std::function<std::uint64_t()> clock) { clock_ = std::move(clock); }

  // How long each stage's waits took on the virtual clock, in order; the time before the
  // progress showed and after it closed (until endMs) come first and last when not zero.
  struct StageTime {
    std::string name;  // UTF-8
    std::uint64_t ms = 0;
  };
  std::vector<StageTime> StageTimes(std::uint64_t endMs) const;

 private:
  // Asks at the terminal until one of the choices' first letters is typed; an empty line
  // takes the default. The answer's index in choices.
  int Ask(const std::string& prompt, const std::vector<std::string>& choices, int defaultIndex);
  // The command line's answer if given; else, at a terminal, the one asked there; else the default.
  int Answer(std::optional<int> given, const std::string& prompt, const std::vector<std::string>& choices,
             int defaultIndex);
  std::ostream& out_;
  ConsoleAnswers answers_;
  std::istream* in_;
  int high_ = 0;
  // The progress bar.
  void DrawBar();
  void EndBar();  // the line after the bar, before anything else is printed
  bool terminal_ = false;
  bool barShown_ = false;
  int position_ = 0;
  std::string status_;  // UTF-8
  std::function<std::uint64_t()> clock_;
  std::vector<std::pair<std::string, std::uint64_t>> stages_;  // name, start
  std::optional<std::uint64_t> closedAt_;
};

}  // namespace qxsim
