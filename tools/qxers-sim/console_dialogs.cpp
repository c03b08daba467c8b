#include "tools/qxers-sim/console_dialogs.h"

#include "platform/sim/encoding.h"

namespace qxsim {

using qx::sim::Cp932ToUtf8Lossy;

bool ConsoleDialogs::Confirm() {
  out_ << "[confirm] OK\n";
  return true;
}

bool ConsoleDialogs::ChooseDrivers(int preset, int& choice) {
  choice = preset;
  out_ << "[drivers] " << (preset == 1 ? "delete the printer drivers too" : "keep the printer drivers") << ": OK\n";
  return true;
}

void ConsoleDialogs::ShowProgress() { out_ << "[progress] shown\n"; }
void ConsoleDialogs::CloseProgress() { out_ << "[progress] closed\n"; }

void ConsoleDialogs::SetProgressRange(int low, int high) {
  high_ = high;
  out_ << "[range] " << low << ".." << high << "\n";
}

void ConsoleDialogs::SetProgressPosition(int position) {
  out_ << "[position] " << position << "/" << high_ << "\n";
}

void ConsoleDialogs::SetStatusText(const std::string& text) {
  out_ << "[status] " << Cp932ToUtf8Lossy(text) << "\n";
}

bool ConsoleDialogs::EndMessage(const std::string& text, const std::string& caption, bool yesNo) {
  out_ << "[message] " << Cp932ToUtf8Lossy(caption) << ": " << Cp932ToUtf8Lossy(text);
  if (yesNo) out_ << (answerRestart_ ? " -> Yes" : " -> No");
  out_ << "\n";
  return yesNo ? answerRestart_ : true;
}

void ConsoleDialogs::CloseApplication() { out_ << "[close] the application closes\n"; }

}  // namespace qxsim
