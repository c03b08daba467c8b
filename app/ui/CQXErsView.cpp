#include "app/ui/CQXErsView.h"

#include "app/config.h"
#include "app/ui/run_report.h"
#include "app/ui/ui_text.h"
#include "resources/resource.h"

namespace qx {

namespace {

struct EndMessage {
  int code;
  UINT text;
  const char* caption;
  UINT type;
};

// The buttons are fixed; the icons say which ends are failures.
const EndMessage kEndMessages[] = {
    {kResultDone, IDS_END_DONE, kCaptionFinished, kBoxOk | kIconInformation},
    {kResultRestart, IDS_END_RESTART, kCaptionFinished, kBoxYesNo | kIconQuestion},
    {kResultCancelled, IDS_END_CANCELLED, kCaptionAborted, kBoxOk | kIconInformation},
    {kResultNoConfiguration, IDS_END_NO_CONFIG, kCaptionAborted, kBoxOk | kIconStop},
    {kResultUnsupportedSystem, IDS_END_UNSUPPORTED, kCaptionAborted, kBoxOk | kIconStop},
    {kResultNoRights, IDS_END_NO_RIGHTS, kCaptionAborted, kBoxOk | kIconStop},
};

}  // namespace

std::string Dialogs::LoadUiString(UINT id) { return UiString(id); }

UINT StatusStringId(int index) {
  // In the order of RunStatus.
  static const UINT ids[kRunStatusCount] = {IDS_STATUS_INIT,     IDS_STATUS_COMPANIONS, IDS_STATUS_SERVICES,
                                            IDS_STATUS_SERVICES_AND_OTHERS, IDS_STATUS_MENUS, IDS_STATUS_REGISTRY,
                                            IDS_STATUS_FILES};
  return (index >= 0 && index < kRunStatusCount) ? ids[index] : 0;
}

const std::string& StatusText(int index) { return UiString(StatusStringId(index)); }

CQXErsView::CQXErsView(CQXErsDoc& doc, Dialogs& dialogs) : doc_(doc), dialogs_(dialogs) {}

int CQXErsView::ConfirmTemplate() const { return fontFlag == 1 ? IDD_CONFIRM_UI : IDD_CONFIRM; }
int CQXErsView::DriversTemplate() const { return fontFlag == 1 ? IDD_DRIVERS_UI : IDD_DRIVERS; }
int CQXErsView::ProgressTemplate() const { return fontFlag == 1 ? IDD_PROGRESS_UI : IDD_PROGRESS; }

void CQXErsView::OnTimer() {
  doc_.sys.system.GetLocalTime(start_);
  doc_.logCopyPath = switches.logPath;
  doc_.keepLogLines = !switches.reportPath.empty();
  if (switches.Unattended()) {
    StartUnattended();
    return;
  }
  bool confirmed = dialogs_.RunModal(ConfirmTemplate(), 0, [this](int button, int) { return OnConfirmButton(button); });
  if (!confirmed) {
    ShowEndMessage(kResultCancelled);
    return;
  }
  int choice = 0;
  if (!PresetDriverChoice(choice)) {
    ShowEndMessage(kResultNoConfiguration);
    return;
  }
  bool ok = dialogs_.RunModal(DriversTemplate(), choice == 1 ? IDC_DELETE_DRIVERS : IDC_KEEP_DRIVERS,
                              [this, &choice](int button, int radio) { return OnDriversButton(button, radio, choice); });
  driverChoice = choice;
  if (!ok) {
    ShowEndMessage(kResultCancelled);
    return;
  }
  job = &doc_;
  Start();
}

// A quiet run has no window to tell, and a what-if run's machine no threads: both run here.
void CQXErsView::Start() {
  if (switches.mode == RunSwitches::Mode::Quiet || whatIf) {
    ShowEndMessage(doc_.RunNow(driverChoice));
    return;
  }
  doc_.StartErase(window, driverChoice);
}

// The driver choice the dialog opens on: the command line's, else QXErs.ini's preset. False
// when there is no configuration to read it from.
bool CQXErsView::PresetDriverChoice(int& choice) {
  // The job has not run yet, so the configuration's directory comes from the module path.
  doc_.PrepareRun();
  // Without the program's own directory the configuration could only be looked for in the
  // current directory, which is not this program's file.
  std::string preset = doc_.moduleDir.empty()
                           ? std::string(kIniNotOpened)
                           : ReadIniValue(doc_.sys.files, "ENVIRONMENT", "DEFAULT_DELPRINTER", doc_.ConfigPath());
  if (preset == kIniNotOpened) return false;
  choice = switches.drivers >= 0 ? switches.drivers : preset == "1" ? 1 : 0;
  return true;
}

// No questions: the driver choice is the one the dialog would have been preset to.
void CQXErsView::StartUnattended() {
  if (!PresetDriverChoice(driverChoice)) {
    ShowEndMessage(kResultNoConfiguration);
    return;
  }
  job = &doc_;
  Start();
}

bool CQXErsView::AskQuit() {
  return dialogs_.ShowMessageBox(dialogs_.LoadUiString(IDS_ASK_QUIT), kCaptionApp, kBoxOkCancel | kIconQuestion) == kIdOk;
}

DialogStep CQXErsView::OnConfirmButton(int button) {
  if (button == kIdOk) return DialogStep::EndOk;
  if (button == kIdCancel) return AskQuit() ? DialogStep::EndCancel : DialogStep::Stay;
  return DialogStep::Stay;
}

DialogStep CQXErsView::OnDriversButton(int button, int checkedRadio, int& choice) {
  if (button == kIdOk) {
    choice = checkedRadio == IDC_KEEP_DRIVERS ? 0 : 1;
    int answer = dialogs_.ShowMessageBox(dialogs_.LoadUiString(IDS_ASK_CONTINUE), kCaptionApp, kBoxOkCancel | kIconQuestion);
    return answer == kIdOk ? DialogStep::EndOk : DialogStep::Stay;
  }
  if (button == kIdCancel) return AskQuit() ? DialogStep::EndCancel : DialogStep::Stay;
  return DialogStep::Stay;
}

LRESULT CQXErsView::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case QXM_RUN_START:
      if (switches.mode != RunSwitches::Mode::Quiet) dialogs_.ShowProgress(ProgressTemplate());
      break;
    case QXM_RUN_END: dialogs_.CloseProgress(); break;
    // The progress bar takes 16-bit values.
    case QXM_RANGE: dialogs_.SetProgressRange(static_cast<WORD>(wParam), static_cast<WORD>(lParam)); break;
    case QXM_POSITION: dialogs_.SetProgressPosition(static_cast<int>(wParam)); break;
    case QXM_STATUS:
      if (wParam < static_cast<WPARAM>(kRunStatusCount)) dialogs_.SetStatusText(dialogs_.LoadUiString(StatusStringId(static_cast<int>(wParam))));
      break;
    case QXM_RESULT: ShowEndMessage(static_cast<int>(static_cast<LPARAM>(wParam))); break;
    default: break;
  }
  return 0;
}

void CQXErsView::ShowEndMessage(int code) {
  if (whatIf) {
    Finish(code, false);
    return;
  }
  if (code == kResultRestart) {
    Finish(code, RestartAsSwitched(code));
    return;
  }
  if (!switches.Unattended()) {
    for (const EndMessage& m : kEndMessages) {
      if (m.code != code) continue;
      dialogs_.ShowMessageBox(dialogs_.LoadUiString(m.text), m.caption, m.type);
      break;
    }
  }
  Finish(code, false);
}

bool CQXErsView::RestartAsSwitched(int code) {
  switch (switches.EffectiveRestart()) {
    case RunSwitches::Restart::Force:
      return true;
    case RunSwitches::Restart::Never:
      // The person at an interactive run still hears that it is over; the restart is theirs.
      if (!switches.Unattended())
        dialogs_.ShowMessageBox(dialogs_.LoadUiString(IDS_END_DONE), kCaptionFinished, kBoxOk | kIconInformation);
      return false;
    default:
      break;
  }
  for (const EndMessage& m : kEndMessages) {
    if (m.code != code) continue;
    return dialogs_.ShowMessageBox(dialogs_.LoadUiString(m.text), m.caption, m.type) == kIdYes;
  }
  return false;
}

// The result file is written before the restart is asked of Windows, which may end the
// program at any moment after.
void CQXErsView::Finish(int code, bool restart) {
  msiExitCode = MsiExitCode(code, restart);
  exitCode = switches.MsiExitCodes() ? msiExitCode : 0;
  WriteReport(code, restart, whatIf ? EndWhatIf() : std::string());
  if (restart) doc_.RestartSystem();
  dialogs_.CloseApplication();
}

void CQXErsView::EndAsSecondInstance() {
  doc_.sys.system.GetLocalTime(start_);
  msiExitCode = kExitAlreadyRunning;
  exitCode = switches.MsiExitCodes() ? msiExitCode : 0;
  WriteReport(kResultNotRun, false);
}

// The end of a what-if run: what it would change, taken before its log copy reaches the disk,
// the log copy written out, and a person at an interactive run told. Returns the result
// file's [WhatIf] section.
std::string CQXErsView::EndWhatIf() {
  std::string section = whatIf->reportSection();
  if (!doc_.logCopyPath.empty() && !doc_.logCopyFailed) doc_.logCopyFailed = !whatIf->copyOut(doc_.logCopyPath);
  if (!switches.Unattended()) dialogs_.ShowMessageBox(whatIf->shortText(), kCaptionWhatIf, kBoxOk | kIconInformation);
  return section;
}

void CQXErsView::WriteReport(int code, bool restart, const std::string& whatIfSection) {
  if (switches.reportPath.empty()) return;
  RunReport report = GatherReport(doc_, code, msiExitCode, restart, start_);
  // The run's own log stays in the simulation: only its copy, asked for, reaches the disk.
  if (whatIf) report.log.clear();
  std::string text = FormatReport(report) + whatIfSection;
  if (reportWriter) reportWriter(switches.reportPath, text);
  else WriteFileWhole(doc_.sys.files, switches.reportPath, text);
}

}  // namespace qx
