// The view's dialogs on a console: every question is answered as configured, every text is
// printed in UTF-8.
#pragma once

#include <ostream>

#include "app/ui/CQXErsView.h"

namespace qxsim {

class ConsoleDialogs : public qx::Dialogs {
 public:
  ConsoleDialogs(std::ostream& out, bool answerRestart) : out_(out), answerRestart_(answerRestart) {}

  bool Confirm() override;
  bool ChooseDrivers(int preset, int& choice) override;
  void ShowProgress() override;
  void CloseProgress() override;
  void SetProgressRange(int low, int high) override;
  void SetProgressPosition(int position) override;
  void SetStatusText(const std::string& text) override;
  bool EndMessage(const std::string& text, const std::string& caption, bool yesNo) override;
  void CloseApplication() override;

 private:
  std::ostream& out_;
  bool answerRestart_;
  int high_ = 0;
};

}  // namespace qxsim
