#include "tools/qxers-sim/console_dialogs.h"

#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "app/ui/ui_text.h"
#include "platform/sim/encoding.h"
#include "resources/resource.h"

namespace qxsim {

using qx::sim::Cp932ToUtf8Lossy;

namespace {
// A yes-or-no answer as the index of a two-way choice whose first choice is yes.
std::optional<int> FirstIfYes(std::optional<bool> yes) {
  if (!yes) return std::nullopt;
  return *yes ? 0 : 1;
}
}  // namespace

int ConsoleDialogs::Ask(const std::string& prompt, const std::vector<std::string>& choices, int defaultIndex) {
  for (;;) {
    out_ << prompt << " [";
    for (std::size_t i = 0; i < choices.size(); ++i)
      out_ << (i ? "/" : "") << (static_cast<int>(i) == defaultIndex ? "*" : "") << choices[i];
    out_ << "] " << std::flush;
    std::string line;
    // A closed terminal answers with the default rather than asking for ever.
    if (!std::getline(*in_, line)) {
      out_ << "\n";
      return defaultIndex;
    }
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) return defaultIndex;
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(line[start])));
    for (std::size_t i = 0; i < choices.size(); ++i)
      if (c == choices[i][0]) return static_cast<int>(i);
  }
}

int ConsoleDialogs::Answer(std::optional<int> given, const std::string& prompt, const std::vector<std::string>& choices,
                           int defaultIndex) {
  if (given) return *given;
  return in_ ? Ask(prompt, choices, defaultIndex) : defaultIndex;
}

bool ConsoleDialogs::RunModal(int templateId, int checkRadio, const qx::ButtonHandler& onButton) {
  EndBar();
  const qx::DialogTexts& t = qx::TemplateTexts();
  bool drivers = templateId == IDD_DRIVERS || templateId == IDD_DRIVERS_UI;
  if (drivers) {
    out_ << "[drivers] " << Cp932ToUtf8Lossy(t.driversTitle) << ": " << Cp932ToUtf8Lossy(t.driversText) << "\n";
  } else {
    out_ << "[confirm] " << Cp932ToUtf8Lossy(t.confirmTitle) << ": " << Cp932ToUtf8Lossy(t.confirmText) << " "
         << Cp932ToUtf8Lossy(t.confirmNote) << "\n";
  }
  int radio = checkRadio;
  for (;;) {
    if (drivers) {
      int choice = Answer(answers_.drivers, "  keep the printer drivers or delete them too?", {"keep", "delete"},
                          radio == IDC_DELETE_DRIVERS ? 1 : 0);
      radio = choice == 1 ? IDC_DELETE_DRIVERS : IDC_KEEP_DRIVERS;
      out_ << "  " << (choice == 1 ? "delete the printer drivers too" : "keep the printer drivers") << "\n";
    }
    bool ok = Answer(FirstIfYes(answers_.ok), "  OK or Cancel?", {"ok", "cancel"}, 0) == 0;
    out_ << "  -> " << (ok ? "OK" : "Cancel") << "\n";
    qx::DialogStep step = onButton(ok ? qx::kIdOk : qx::kIdCancel, radio);
    if (step != qx::DialogStep::Stay) return step == qx::DialogStep::EndOk;
    // Only a person can turn back from a question; given answers never do.
    if (!in_) return false;
  }
}

int ConsoleDialogs::ShowMessageBox(const std::string& text, const std::string& caption, qx::UINT type) {
  EndBar();
  qx::UINT buttons = type & 0xF;
  std::string line = Cp932ToUtf8Lossy(caption) + ": " + Cp932ToUtf8Lossy(text);
  if (buttons == qx::kBoxOkCancel) {
    // The questions behind the dialogs' buttons: given answers mean what they say.
    out_ << "[question] " << line;
    bool ok = answers_.ok.has_value() || !in_ ? true : Ask("", {"ok", "cancel"}, 0) == 0;
    out_ << " -> " << (ok ? "OK" : "Cancel") << "\n";
    return ok ? qx::kIdOk : qx::kIdCancel;
  }
  out_ << "[message] " << line;
  if (buttons != qx::kBoxYesNo) {
    out_ << "\n";
    return qx::kIdOk;
  }
  bool yes = Answer(FirstIfYes(answers_.restart), "", {"yes", "no"}, 1) == 0;
  out_ << " -> " << (yes ? "Yes" : "No") << "\n";
  restartAnswered = yes;
  return yes ? qx::kIdYes : qx::kIdNo;
}

void ConsoleDialogs::ShowProgress(int) {
  EndBar();
  out_ << "[progress] shown\n";
}

void ConsoleDialogs::CloseProgress() {
  if (clock_) closedAt_ = clock_();
  if (terminal_) {
    if (barShown_) DrawBar();
    EndBar();
  }
  out_ << "[progress] closed at " << position_ << "/" << high_ << "\n";
}

void ConsoleDialogs::SetProgressRange(int low, int high) {
  high_ = high;
  position_ = low;
  if (terminal_) DrawBar();
  else out_ << "[range] " << low << ".." << high << "\n";
}

void ConsoleDialogs::SetProgressPosition(int position) {
  position_ = position;
  if (terminal_) DrawBar();
}

void ConsoleDialogs::SetStatusText(const std::string& text) {
  status_ = Cp932ToUtf8Lossy(text);
  stages_.emplace_back(status_, clock_ ? clock_() : 0);
  if (terminal_) {
    DrawBar();
    return;
  }
  out_ << "[status] " << status_;
  if (high_ > 0) out_ << " (step " << position_ << "/" << high_ << ")";
  out_ << "\n";
}

void ConsoleDialogs::DrawBar() {
  constexpr int kWidth = 30;
  int filled = high_ > 0 ? static_cast<int>(static_cast<long long>(position_) * kWidth / high_) : 0;
  if (filled > kWidth) filled = kWidth;
  // Back to the start of the line and clear it: the bar is redrawn in place.
  out_ << "\r\033[K[" << std::string(static_cast<std::size_t>(filled), '#')
       << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << position_ << "/" << high_ << "  "
       << status_ << std::flush;
  barShown_ = true;
}

void ConsoleDialogs::EndBar() {
  if (!barShown_) return;
  out_ << "\n";
  barShown_ = false;
}

std::vector<ConsoleDialogs::StageTime> ConsoleDialogs::StageTimes(std::uint64_t endMs) const {
  std::vector<StageTime> out;
  if (stages_.empty()) {
    if (endMs) out.push_back({"the whole run", endMs});
    return out;
  }
  if (stages_.front().second) out.push_back({"before the progress showed", stages_.front().second});
  std::uint64_t close = closedAt_ ? *closedAt_ : endMs;
  for (std::size_t i = 0; i < stages_.size(); ++i) {
    std::uint64_t end = i + 1 < stages_.size() ? stages_[i + 1].second : close;
    out.push_back({stages_[i].first, end - stages_[i].second});
  }
  if (endMs > close) out.push_back({"after the progress closed", endMs - close});
  return out;
}

void ConsoleDialogs::CloseApplication() {
  closed = true;
  EndBar();
  out_ << "[close] the application closes\n";
}

}  // namespace qxsim
