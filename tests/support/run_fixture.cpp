#include "support/run_fixture.h"

#include "resources/resource.h"

namespace qx::test {

bool ScriptedDialogs::RunModal(int templateId, int checkRadio, const ButtonHandler& onButton) {
  templates.push_back(templateId);
  bool drivers = checkRadio != 0;
  if (drivers) presetSeen = checkRadio == IDC_DELETE_DRIVERS ? 1 : 0;
  std::vector<int> presses = drivers ? driverPresses : confirmPresses;
  if (presses.empty()) presses = {(drivers ? chooseOk : confirm) ? kIdOk : kIdCancel};
  int radio = checkRadio;
  for (int button : presses) {
    if (drivers && choice >= 0) radio = choice == 1 ? IDC_DELETE_DRIVERS : IDC_KEEP_DRIVERS;
    DialogStep step = onButton(button, radio);
    if (step != DialogStep::Stay) return step == DialogStep::EndOk;
  }
  ++stuck;
  return false;
}

int ScriptedDialogs::ShowMessageBox(const std::string& text, const std::string& caption, UINT type) {
  boxes.push_back({text, caption, type});
  UINT buttons = type & 0xF;
  if (buttons != kBoxOkCancel) shown.push_back(text);
  if (nextAnswer_ < answers.size()) return answers[nextAnswer_++];
  if (buttons == kBoxYesNo) return answerYes ? kIdYes : kIdNo;
  return kIdOk;
}

RunFixture::RunFixture() {
  window = machine.AddWindow("QXErsView", "", [this](HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    return view.OnMessage(message, wParam, lParam);
  });
  view.window = window;
  machine.AddDirectory("C:\\TEMP");
}

void RunFixture::SetSystem(DWORD platformId, DWORD major, DWORD minor) {
  sim::SystemSettings& s = machine.settings();
  s.platformId = platformId;
  s.majorVersion = major;
  s.minorVersion = minor;
  if (platformId == VER_PLATFORM_WIN32_WINDOWS) {
    s.windowsDirectory = "C:\\WINDOWS";
    s.systemDirectory = "C:\\WINDOWS\\SYSTEM";
  }
}

void RunFixture::WriteConfig(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  machine.AddFile("C:\\QXErs\\QXErs.ini", text);
}

void RunFixture::WriteEnvironment(const std::string& delflg, const std::string& log, const std::string& supportos) {
  WriteConfig({"[ENVIRONMENT]", "AP=QXERASER", "SUPPORTOS=" + supportos, "LOG=" + log, "DELFLG=" + delflg});
}

void RunFixture::Run() {
  doc.StartErase(view.window, view.driverChoice);
  machine.JoinThreads();
}

std::vector<std::string> RunFixture::Messages() const {
  std::vector<std::string> out;
  for (const sim::ReceivedMessage& m : machine.Messages(window))
    out.push_back(ViewMessage(m.message, static_cast<LPARAM>(m.wParam), m.lParam));
  return out;
}

std::string RunFixture::Log() const {
  auto file = machine.File(machine.settings().tempPath + "QXErs.log");
  return file ? file->contents : std::string();
}

std::string ViewMessage(UINT message, LPARAM wParam, LPARAM lParam) {
  return std::to_string(message) + " " + std::to_string(wParam) + " " + std::to_string(lParam);
}

std::vector<std::string> PaddedRun(RunStatus firstStatus, DWORD total, int result) {
  std::vector<std::string> out = {ViewMessage(QXM_RUN_START), ViewMessage(QXM_STATUS, kStatusStarting),
                                  ViewMessage(QXM_RANGE, 0, total), ViewMessage(QXM_STATUS, firstStatus)};
  for (RunStatus status : {kStatusServicesAndOthers, kStatusMenus, kStatusRegistry, kStatusFiles})
    out.push_back(ViewMessage(QXM_STATUS, status));
  for (DWORD pos = 1; pos <= total; ++pos) out.push_back(ViewMessage(QXM_POSITION, pos));
  out.push_back(ViewMessage(QXM_RUN_END));
  out.push_back(ViewMessage(QXM_RESULT, result));
  return out;
}

}  // namespace qx::test
