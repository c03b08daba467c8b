// The run: what it finds before it changes anything, then its stages in their fixed order.
#include "app/CQXErsDoc.h"

#include "app/services.h"

namespace qx {

namespace {

// One stage of the run: the status the view shows as it begins (on the NT family and on
// Windows 95/98; none when the stage goes on under the status before it), the operation, and
// the progress steps it sends of its own beyond those its lists count (none when it sends
// only per list entry).
struct Stage {
  int statusNt;
  int status9x;
  void (*run)(CQXErsDoc&);
  int (*ownSteps)(const CQXErsDoc&);
};
constexpr int kNoStatus = -1;

const Stage kStages[] = {
    {kStatusStoppingServices, kStatusClosingPrograms, [](CQXErsDoc& d) { d.StopCompanionPrograms(); },
     [](const CQXErsDoc& d) { return d.StopCompanionProgramsSteps(); }},
    {kNoStatus, kNoStatus, [](CQXErsDoc& d) { d.RemoveMigrationLeftovers(); }, nullptr},
    {kNoStatus, kNoStatus, [](CQXErsDoc& d) { d.DeleteInstallerLogs(); }, nullptr},
    {kStatusServicesAndOthers, kStatusServicesAndOthers, [](CQXErsDoc& d) { d.RemoveServicesAndOthers(); },
     [](const CQXErsDoc& d) { return d.ServicesAndOthersSteps(); }},
    {kStatusMenus, kStatusMenus, [](CQXErsDoc& d) { d.RemoveFoldersAndMenus(); }, nullptr},
    {kStatusRegistry, kStatusRegistry, [](CQXErsDoc& d) { d.RemoveRegistryEntries(); }, nullptr},
    {kStatusFiles, kStatusFiles, [](CQXErsDoc& d) { d.RemoveFiles(); }, nullptr},
    {kNoStatus, kNoStatus, [](CQXErsDoc& d) { d.KeepDriverMigrationData(CQXErsDoc::MigrationDirection::Restore); },
     nullptr},
    {kNoStatus, kNoStatus,
     [](CQXErsDoc& d) {
       if (d.spoolerRunning) {
         d.RepairDefaultPrinter();
       } else {
         d.RepairDefaultPrinterOffline();
       }
     },
     nullptr},
    {kNoStatus, kNoStatus, [](CQXErsDoc& d) { d.RestartSpoolerAtEnd(); }, nullptr},
    {kNoStatus, kNoStatus, [](CQXErsDoc& d) { d.FinishUnfinishedRun(); }, nullptr},
};

}  // namespace

CQXErsDoc::CQXErsDoc(Platform& platform) : Progress(platform.windows), sys(platform) {}

CQXErsDoc::~CQXErsDoc() {
  if (scManager) sys.services.CloseServiceHandle(scManager);
}

int CQXErsDoc::StartErase(HWND window, int choice) {
  viewWindow = window;
  driverChoice = choice;
  HANDLE thread = sys.system.CreateThread(&CQXErsDoc::RunEraseThread, this);
  if (thread) sys.system.CloseHandle(thread);
  return 1;
}

int CQXErsDoc::RunNow(int choice) {
  viewWindow = nullptr;
  driverChoice = choice;
  RunErase();
  return runResult;
}

DWORD CQXErsDoc::RunEraseThread(void* job) { return static_cast<CQXErsDoc*>(job)->RunErase(); }

DWORD CQXErsDoc::RunErase() {
  PrepareRun();
  int check = CheckEnvironment();
  if (check < 0) {
    // Nothing has been changed and nothing is logged: the view only shows why.
    runResult = check;
    Send(QXM_RESULT, static_cast<WPARAM>(static_cast<LPARAM>(check)), 0);
    return 0;
  }
  spoolerRunning = IsSpoolerRunning();
  RecoverWininit();
  ReadRunSettings();
  Send(QXM_RUN_START, 0, 0);
  SendStatus(kStatusStarting);
  // NT 3.51 has no network-printing port component to remove on its own.
  if (osType == kWindowsNT351 && delFlags == kDelNetPort) delFlags = 0;

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

  stepTotal = static_cast<DWORD>(entries);
  for (const Stage& stage : kStages) {
    if (stage.ownSteps) stepTotal += static_cast<DWORD>(stage.ownSteps(*this));
  }
  if (logEnabled == 1 || !logCopyPath.empty()) WriteLogHeader();
  Send(QXM_RANGE, 0, static_cast<LPARAM>(stepTotal));

  for (const Stage& stage : kStages) {
    int status = osType == kWindows9x ? stage.status9x : stage.statusNt;
    if (status != kNoStatus) SendStatus(static_cast<RunStatus>(status));
    stage.run(*this);
  }

  while (stepPos < stepTotal) SendStep();
  if (logEnabled == 1 || !logCopyPath.empty()) WriteLogSections();
  Send(QXM_RUN_END, 0, 0);
  runResult = restartNeeded == 1 ? kResultRestart : kResultDone;
  Send(QXM_RESULT, static_cast<WPARAM>(runResult), 0);
  return 1;
}

}  // namespace qx
