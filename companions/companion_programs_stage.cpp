// Stopping the family's companion programs and services before anything of it is deleted:
// their windows are asked to close, the status manager is told to let go of the product's
// printers and to shut down, and the companion services are stopped.
#include <algorithm>
#include <vector>

#include "app/CQXErsDoc.h"
#include "app/config.h"
#include "app/services.h"
#include "app/text.h"
#include "companions/companion_programs.h"

namespace qx {

namespace {

constexpr const char* kRemotePanelHalfWidth = "- ﾘﾓｰﾄﾊﾟﾈﾙ";
constexpr const char* kRemotePanelFullWidth = "- リモートパネル";
constexpr WPARAM kRemotePanelClose = 5005;
constexpr const char* kManagerLibrary = "zovsrm.dll";
constexpr const char* kManagerEvent = "ZOVSRM:TerminateManager";

void CloseIfFound(Platform& sys, const char* className, const char* title, UINT message, WPARAM wParam) {
  if (HWND window = sys.windows.FindWindowA(className, title)) CloseWindowAndWait(sys, window, message, wParam);
}

}  // namespace

void CloseWindowAndWait(Platform& sys, HWND window, UINT message, WPARAM wParam) {
  // A program that does not answer (hung, or showing a question of its own) must not hold
  // the run: it is given the same ten seconds it would be given to close.
  DWORD_PTR answer = 0;
  if (!sys.windows.SendMessageTimeoutA(window, message, wParam, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                                       kWindowAnswerTimeoutMs, &answer)) {
    return;
  }
  for (int poll = 0; poll < kWindowClosePolls; ++poll) {
    if (!sys.windows.IsWindow(window)) return;
    sys.system.Sleep(kWindowClosePollMs);
  }
}

// Window titles are read whole up to this size.
constexpr int kMaxTitleBytes = 0x10000;

int CloseWindowsEndingWith(Platform& sys, const std::string& text) {
  int matched = 0;
  sys.windows.EnumWindows([&](HWND window) -> BOOL {
    // A title that fills the buffer may have been cut (one byte short of it, or two when a
    // double-byte character did not fit): it is read again into a larger one, and a title
    // that cannot be read whole is never taken for the one looked for.
    std::string titleText;
    bool whole = false;
    for (int size = MAX_PATH; size <= kMaxTitleBytes && !whole; size *= 2) {
      std::vector<char> title(static_cast<std::size_t>(size), '\0');
      int length = std::max(0, sys.windows.GetWindowTextA(window, title.data(), size));
      titleText = FromBuffer(title.data(), static_cast<std::size_t>(std::min(length, size)));
      whole = length < size - 2;
    }
    if (whole && EndsWithNoCase(titleText, text)) {
      ++matched;
      CloseWindowAndWait(sys, window, WM_COMMAND, kRemotePanelClose);
    }
    return TRUE;
  });
  return matched;
}

void CQXErsDoc::NotifyStatusManager() {
  // The library comes from where the family installs it, never through the search path,
  // which would take a copy lying beside this program (a download folder, say) first.
  std::string library;
  StringList places{systemDir};
  places.insert(places.end(), productDirs.begin(), productDirs.end());
  for (const std::string& dir : places) {
    if (!dir.empty() && IniFileExists(sys.files, kManagerLibrary, dir, false)) {
      library = dir + kManagerLibrary;
      break;
    }
  }
  if (library.empty()) return;
  HMODULE module = sys.modules.LoadLibraryA(library.c_str());
  if (!module) return;
  FARPROC open = sys.modules.GetProcAddress(module, "OpenManagerExA");
  FARPROC update = sys.modules.GetProcAddress(module, "UpdatePrinterStatusA");
  FARPROC close = sys.modules.GetProcAddress(module, "CloseManager");
  if (open && update && close) {
    std::vector<PRINTER_INFO_2A> printers;
    sys.spooler.EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, printers);
    for (const PRINTER_INFO_2A& printer : printers) {
      for (const std::string& driver : DEL_PRINTER_NAME) {
        if (printer.pDriverName != driver) continue;
        HANDLE manager = nullptr;
        if (sys.modules.OpenManagerExA(open, printer.pPrinterName.c_str(), 0, 1, &manager) != 0) continue;
        const DWORD off = 0;
        sys.modules.UpdatePrinterStatusA(update, manager, "ServerConnection", &off, sizeof off);
        sys.modules.CloseManager(close, manager);
      }
    }
  }
  sys.modules.FreeLibrary(module);
  sys.system.Sleep(5000);
}

// The twelve steps below, counted whether or not the product family is selected (the run's
// total always has: without it the bar is filled at the end).
int CQXErsDoc::StopCompanionProgramsSteps() const { return 12; }

void CQXErsDoc::StopCompanionPrograms() {
  if (!(delFlags & kDelProduct)) return;
  Platform& p = sys;
  const bool nt = osType != kWindows9x;

  CloseIfFound(p, "ZREPRNWndClass", "Qorvex リプリント2", WM_CLOSE, 0);
  // Looked up twice, so two open reprint windows both close.
  CloseIfFound(p, nullptr, "Qorvex リプリント", WM_CLOSE, 0);
  CloseIfFound(p, nullptr, "Qorvex リプリント", WM_CLOSE, 0);
  CloseIfFound(p, nullptr, "Qorvex リプリント設定", WM_CLOSE, 0);
  SendStep();
  CloseIfFound(p, "ZOVQXEXP", "Qorvex プリンタ管理ユーティリティ", WM_CLOSE, 0);
  SendStep();
  CloseIfFound(p, "ZOVQXEXP", "Qorvex プリンタ一覧", WM_CLOSE, 0);
  SendStep();
  CloseWindowsEndingWith(p, kRemotePanelHalfWidth);
  CloseWindowsEndingWith(p, kRemotePanelFullWidth);
  SendStep();

  if (HWND manager = p.windows.FindWindowA("PSPWndClass", "Qorvex")) {
    if (spoolerRunning) NotifyStatusManager();
    CloseWindowAndWait(p, manager, WM_USER + 6, 0);
  }
  SendStep();

  if (nt) {
    StopServiceByIndex(kRemoteCareService);
    SendStep();
    StopServiceByIndex(kQueueStatusService);
    SendStep();
    StopServiceByIndex(kStatusMonitorService);
    SendStep();
    StopServiceByIndex(kPrivateQueueService);
  } else {
    CloseIfFound(p, "RCM95WndClass", "ZOVRCM95", WM_USER + 1, 0);
    SendStep();
    CloseIfFound(p, "NQS95WndClass", "ZOVNQS95", WM_USER + 2, 0);
    SendStep();
    CloseIfFound(p, "PMN95WndClass", "ZOVPMN95", WM_USER, 0);
    SendStep();
    CloseIfFound(p, "PQS95WndClass", "ZOVPQS95", WM_COMMAND, 40002);
  }
  SendStep();

  if (nt) StopServiceByIndex(kJobRecorderService);
  SendStep();

  if (HANDLE event = p.system.OpenEventA(EVENT_MODIFY_STATE, FALSE, kManagerEvent)) {
    p.system.SetEvent(event);
    p.system.Sleep(10000);
    p.system.Sleep(11000);
    p.system.CloseHandle(event);
  }

  // The status data store last: the other companion services depend on it.
  if (nt) {
    StopServiceByIndex(kStatusDataService);
  } else {
    CloseIfFound(p, "SDS95WndClass", "ZOVSDS95", WM_CLOSE, 0);
  }
  SendStep();

  if (osType == kWindowsNT351) StopServiceByIndex(kParallelService);  // the family's own on Windows NT 3.51 only
  SendStep();
}

}  // namespace qx
