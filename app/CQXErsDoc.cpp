#include "app/CQXErsDoc.h"

#include "app/ui/CQXErsView.h"
#include "companions/services.h"

namespace qx {

CQXErsDoc::CQXErsDoc(Platform& platform) : sys(platform) {}

CQXErsDoc::~CQXErsDoc() {
  if (scManager) sys.services.CloseServiceHandle(scManager);
}

int CQXErsDoc::StartErase(CQXErsView* target) {
  view = target;
  HANDLE thread = sys.system.CreateThread(&CQXErsDoc::RunEraseThread, this);
  if (thread) sys.system.CloseHandle(thread);
  return 1;
}

DWORD CQXErsDoc::RunEraseThread(void* job) { return static_cast<CQXErsDoc*>(job)->RunErase(); }

LRESULT CQXErsDoc::Send(UINT message, WPARAM wParam, LPARAM lParam) {
  if (!view) return 0;
  return sys.windows.SendMessageA(view->window, message, wParam, lParam);
}

void CQXErsDoc::SendStep() {
  ++stepPos;
  if (stepPos >= stepTotal) stepPos = stepTotal;
  Send(QXM_POSITION, stepPos, 0);
}

void CQXErsDoc::SendStatus(int index) { Send(QXM_STATUS, static_cast<WPARAM>(index), 0); }

void CQXErsDoc::AddLog(StringList& list, std::string line) {
  if (logEnabled == 1) list.push_back(std::move(line));
}

DWORD CQXErsDoc::RunErase() {
  PrepareRun();
  int check = CheckEnvironment();
  if (check < 0) {
    // Nothing has been changed and nothing is logged: the view only shows why.
    Send(QXM_RESULT, static_cast<WPARAM>(static_cast<LPARAM>(check)), 0);
    return 0;
  }
  spoolerRunning = IsSpoolerRunning();
  RecoverWininit();
  ReadRunSettings();
  Send(QXM_RUN_START, 0, 0);
  SendStatus(0);
  // NT 3.51 has no network-printing port component to remove on its own.
  if (osType == 1 && delFlags == kDelNetPort) delFlags = 0;

  productDirCount = DiscoverInstallation();
  int entries = ReadDeletionLists();
  CollectInstallerLogs();
  CollectMigrationData();
  GatherPrinterNames();
  GatherListedConnections();
  FindWebVirtualRoot();
  entries += TakeUpUnfinishedRun();
  KeepDriverMigrationData(MigrationDirection::Save);
  // Noted before anything is deleted: from here on a cut leaves what the next run needs.
  NoteUnfinishedRun();

  // The fixed terms stand for the steps that the stages send of their own.
  stepTotal = static_cast<DWORD>(entries) + ((delFlags & kDelNetPort) ? 1 : 0) + ((delFlags & kDelDrivers) ? 1 : 0) +
              12 + ((delFlags & kDelProduct) ? 6 : 0);
  if (logEnabled == 1) WriteLogHeader();
  Send(QXM_RANGE, 0, static_cast<LPARAM>(stepTotal));

  SendStatus(osType != 0 ? 2 : 1);
  StopCompanionPrograms();
  RemoveMigrationLeftovers();
  DeleteInstallerLogs();
  SendStatus(3);
  RemoveServicesAndOthers();
  SendStatus(4);
  RemoveFoldersAndMenus();
  SendStatus(5);
  RemoveRegistryEntries();
  SendStatus(6);
  RemoveFiles();
  KeepDriverMigrationData(MigrationDirection::Restore);
  if (spoolerRunning) {
    RepairDefaultPrinter();
  } else {
    RepairDefaultPrinterOffline();
  }
  if (osType != 0) {
    // A spooler running now is brought back whatever the run first took it for.
    const bool runsNow = QueryServiceStateByIndex(kSpoolerService) == static_cast<int>(SERVICE_RUNNING);
    StopServiceByIndex(kSpoolerService);
    if (spoolerRunning || runsNow) {
      StartSpoolerAgain();
    } else {
      StartServiceByIndex(kSpoolerService);
    }
  }

  FinishUnfinishedRun();

  while (stepPos < stepTotal) SendStep();
  if (logEnabled == 1) WriteLogSections();
  Send(QXM_RUN_END, 0, 0);
  Send(QXM_RESULT, restartNeeded == 1 ? kResultRestart : kResultDone, 0);
  return 1;
}

}  // namespace qx
