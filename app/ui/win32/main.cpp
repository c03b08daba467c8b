// QXErs.exe: one instance, one full-screen window, one run; or, with /quiet, no window at all.
#include "app/ui/single_instance.h"
#include "platform/win32/win32_platform.h"
#include "app/ui/win32/shell.h"

#include <commctrl.h>

#include <memory>

#include "app/text.h"
#include "app/ui/run_report.h"
#include "app/whatif/what_if.h"

namespace {

// The shell of a quiet run: nothing may appear and nothing may wait for a person, so every
// question is answered No and nothing is drawn.
class NoWindows : public qx::Dialogs {
 public:
  bool RunModal(int, int, const qx::ButtonHandler&) override { return false; }
  int ShowMessageBox(const std::string&, const std::string&, qx::UINT) override { return qx::kIdNo; }
  void ShowProgress(int) override {}
  void CloseProgress() override {}
  void SetProgressRange(int, int) override {}
  void SetProgressPosition(int) override {}
  void SetStatusText(const std::string&) override {}
  void CloseApplication() override {}
};

bool NamesQuiet(const std::vector<std::string>& words) {
  for (const std::string& word : words)
    if (word.size() == 6 && (word[0] == '/' || word[0] == '-') && qx::EqualsNoCase(word.substr(1), "quiet")) return true;
  return false;
}

int RunWithWindows(::HINSTANCE instance, qx::CQXErsView& view, qx::shell::Win32Dialogs& dialogs) {
  // The progress bar's class. InitCommonControlsEx needs the common controls of Internet
  // Explorer 3, which Windows 95 and NT 4.0 as shipped do not have; this one registers the
  // class on every version.
  ::InitCommonControls();
  ::HWND frame = nullptr;
  if (qx::shell::RegisterWindowClasses(instance)) frame = qx::shell::CreateMainFrame(instance, view, dialogs);
  if (!frame) return view.switches.MsiExitCodes() ? qx::kExitFailed : 0;
  ::ShowWindow(frame, SW_SHOW);
  ::UpdateWindow(frame);
  // At the first idle moment the view gets the timer message that starts the dialogs.
  bool firstIdle = true;
  ::MSG msg{};
  for (;;) {
    if (firstIdle && !::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
      firstIdle = false;
      ::SetForegroundWindow(dialogs.view);
      ::PostMessageA(dialogs.view, WM_TIMER, 1, 0);
    }
    ::BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    if (dialogs.progress && ::IsDialogMessageA(dialogs.progress, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  // Without switches the program exits as it always did.
  return view.switches.any ? view.exitCode : static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI WinMain(::HINSTANCE instance, ::HINSTANCE, ::LPSTR, int) {
  // The whole command line, read as the C runtime would, less the program's own name: the
  // runtime's own cut of it is not the same on every system.
  const char* commandLine = ::GetCommandLineA();
  std::vector<std::string> words = qx::SplitCommandLine(commandLine ? commandLine : "");
  if (!words.empty()) words.erase(words.begin());
  qx::RunSwitches switches;
  std::string badWord;
  bool parsed = qx::ParseSwitches(words, switches, badWord);
  if (!parsed || switches.help) {
    // A quiet run shows nothing, not even why it did not start.
    if (!NamesQuiet(words))
      ::MessageBoxA(nullptr, qx::UsageText().c_str(), "Qorvex Eraser", MB_OK | (parsed ? MB_ICONINFORMATION : MB_ICONSTOP));
    return parsed ? qx::kExitSuccess : qx::kExitBadCommandLine;
  }

  qx::win32::RealPlatform real;
  qx::HANDLE guard = nullptr;
  bool first = qx::ClaimSingleInstance(real.platform().system, guard);
  int status = 0;
  {
    // A what-if run works on a snapshot of this machine: the job sees the simulation only,
    // and the result file and the log copy, asked for, are written for real.
    std::unique_ptr<qx::WhatIfRun> whatIf;
    if (first && switches.whatIf) whatIf = std::make_unique<qx::WhatIfRun>(real.platform());
    qx::CQXErsDoc doc(whatIf ? whatIf->platform() : real.platform());
    qx::shell::Win32Dialogs dialogs(instance);
    NoWindows none;
    bool quiet = switches.mode == qx::RunSwitches::Mode::Quiet;
    qx::CQXErsView view(doc, quiet ? static_cast<qx::Dialogs&>(none) : dialogs);
    view.switches = switches;
    if (whatIf) {
      qx::WhatIfRun* run = whatIf.get();
      view.whatIf = qx::CQXErsView::WhatIfEnd{[run] { return run->ReportSection(); }, [run] { return run->ShortText(); },
                                             [run](const std::string& path) { return run->CopyOut(path); }};
    }
    if (whatIf) {
      qx::Files& files = real.platform().files;
      view.reportWriter = [&files](const std::string& path, const std::string& text) {
        return qx::WriteFileWhole(files, path, text);
      };
    }
    if (!first) {
      // A second instance without switches says nothing and exits 0, as it always did.
      view.EndAsSecondInstance();
      status = view.exitCode;
    } else if (quiet) {
      view.OnTimer();
      status = view.exitCode;
    } else {
      status = RunWithWindows(instance, view, dialogs);
    }
  }
  if (guard) real.platform().system.CloseHandle(guard);
  return status;
}
