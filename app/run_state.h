// The erase job's state in its named parts: what the run knows of the machine (RunContext),
// the lists it works through (DeletionLists), what it logs (RunLog) and how far it is
// (Progress). CQXErsDoc is made of them, so each field keeps its one name everywhere.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/protected_places.h"
#include "platform/platform.h"

namespace qx {

using StringList = std::vector<std::string>;

// Messages the worker sends to the view, all synchronously.
inline constexpr UINT QXM_RUN_START = WM_USER + 11;  // 1035
inline constexpr UINT QXM_RUN_END = WM_USER + 12;    // 1036
inline constexpr UINT QXM_RANGE = WM_USER + 13;      // 1037: 0..lParam
inline constexpr UINT QXM_POSITION = WM_USER + 14;   // 1038: wParam
inline constexpr UINT QXM_STATUS = WM_USER + 15;     // 1039: status index wParam
inline constexpr UINT QXM_RESULT = WM_USER + 20;     // 1044: result code wParam

// Result codes of QXM_RESULT.
inline constexpr int kResultDone = 0;
inline constexpr int kResultRestart = 1;
inline constexpr int kResultCancelled = -1;
inline constexpr int kResultNoConfiguration = -2;
inline constexpr int kResultUnsupportedSystem = -3;
inline constexpr int kResultNoRights = -4;

// The systems the run knows, as osType holds them.
enum OsType : int {
  kUnsupportedSystem = -1,
  kWindows9x = 0,     // Windows 95 and 98
  kWindowsNT351 = 1,
  kWindowsNT4 = 2,
  kWindows2000 = 3,   // and the later NT 5.x
};

// Deletion kinds, the bits of delFlags.
inline constexpr int kDelProduct = 1;   // the product family's own data
inline constexpr int kDelDrivers = 2;   // printer drivers
inline constexpr int kDelNetPort = 4;   // the network-printing port component
inline constexpr int kDelEverything = kDelProduct | kDelDrivers | kDelNetPort;

// The run's status texts, as the view shows them (its string table follows this order).
enum RunStatus : int {
  kStatusStarting = 0,          // 初期化処理中です。
  kStatusClosingPrograms = 1,   // Windows 95/98: the companion programs are closed
  kStatusStoppingServices = 2,  // サービスを停止しています。
  kStatusServicesAndOthers = 3, // サービスその他を削除しています。
  kStatusMenus = 4,             // メニュー／アイコンを削除しています。
  kStatusRegistry = 5,          // レジストリを削除しています。
  kStatusFiles = 6,             // ファイルを削除しています。
};
inline constexpr int kRunStatusCount = 7;

// What the run knows of the machine and of itself.
struct RunContext {
  SC_HANDLE scManager = nullptr;
  int delFlags = kDelEverything;
  int osType = kUnsupportedSystem;
  int restartNeeded = 0;
  bool spoolerRunning = false;
  int driverChoice = -1;  // the view's: 0 keep the printer drivers, 1 delete them, -1 not asked
  int runResult = kResultDone;  // the result the run ended with, as QXM_RESULT tells it
  std::string moduleDir, systemDir, altSystemDir, windowsDir, tempDir;
  int productDirCount = 0;
  // What the run refused or could not finish that no log line of the stage's own shows as
  // such: targets left alone because they are Windows' own places or were named wrongly, a
  // spooler that did not start again. Each is logged as a failure.
  int failures = 0;
  // A deletion failed that a later run could still carry out: what the run found that leads
  // to files is then kept for the next run (app/unfinished_run.cpp).
  bool workLeft = false;
  ProtectedFolders protectedFolders;
};

// Where a run notes, until its end, what it found that leads to files, and the drivers'
// migration values it keeps (app/unfinished_run.cpp).
inline constexpr const char* kUnfinishedRunKey = "SOFTWARE\\Qorvex Eraser\\Unfinished Run";
inline constexpr const char* kUnfinishedRunPrinters = "SOFTWARE\\Qorvex Eraser\\Unfinished Run\\Printers";

// migrationLists: the five kinds of the product family, then the same five of the drivers.
enum MigrationList { kMigFiles = 0, kMigFolders = 1, kMigKeys = 2, kMigValues = 3, kMigMenuItems = 4 };
inline constexpr int kMigDrivers = 5;  // added to a kind for the drivers' list

// The lists the run works through. The configuration's lists carry their section names with
// "_" for ".".
struct DeletionLists {
  StringList productDirs;
  StringList spoolDirs;
  StringList DEL_PRINTER_NAME;
  StringList DEL_LM_NAME;
  StringList DEL_PROC_NAME;
  StringList DEL_FILE_DRV_WINDIR;
  StringList DEL_FILE_DRV_WINSYSDIR;
  StringList DEL_REG_DRV;
  StringList DEL_FILE_PP_WINDIR;
  StringList DEL_FILE_PP_WINSYSDIR;
  StringList DEL_REG_PP;
  StringList DEL_FILE_QX_WINDIR;
  StringList DEL_FILE_QX_WINSYSDIR;
  StringList DEL_FILE_QX_QXDIR;
  StringList PULL_REG_QX;
  StringList DEL_REG_QX;
  StringList DEL_FOLDER_QX;
  StringList installerLogs;
  StringList DEL_FILE_QX_ROOT;
  StringList printerNames;
  StringList deferredFiles;
  StringList migrationLists[10];
  StringList refusedDirs;  // product and spool directories refused, each logged once
  // The entries the companion program's records added to DEL_FOLDER_QX, DEL_FILE_QX_ROOT and
  // DEL_REG_QX (its uninstall and cache entries).
  StringList companionFolders;
  StringList companionRootFiles;
  StringList companionRegistry;
  StringList listedConnections;  // ",,server,printer" of GatherListedConnections
  StringList webRoots;           // the web virtual root's value name when the run found it
  // A printer driver's migration value, kept from the start of the run to its end.
  struct KeptValue {
    std::string printer, name;
    DWORD type;
    std::string data;
  };
  std::vector<KeptValue> keptDriverMigration;
};

// The run log's sections, each list beside its heading, in the order the log writes them.
// Lines are collected only while the log is on.
class RunLog {
 public:
  int logEnabled = 0;     // QXErs.ini's LOG=1: QXErs.log is written into the temporary directory
  bool keepLogLines = false;  // the lines are collected without it too (for a result file)
  std::string logCopyPath;    // the log is also written here ("" none)
  bool logCopyFailed = false; // it could not be
  bool logWritten = false;    // QXErs.log was written
  StringList logFiles;            // ＜削除ファイル＞
  StringList logRegistry;         // ＜削除レジストリ＞
  StringList logPartialRegistry;  // ＜一部削除レジストリ＞
  StringList logFolders;          // ＜削除フォルダ＞
  StringList logOthers;           // ＜その他削除＞
  StringList logDrivers;          // ＜削除ドライバ＞
  StringList logSpoolerStopped;   // ＜SPOOLER停止時の処理＞
  StringList logRestartCauses;    // ＜再起動要因＞

  bool Logging() const { return logEnabled == 1 || keepLogLines || !logCopyPath.empty(); }
  void AddLog(StringList& list, std::string line) {
    if (Logging()) list.push_back(std::move(line));
  }
  // The sections in the log's order, with their headings.
  std::vector<std::pair<const char*, const StringList*>> Sections() const {
    return {{"＜削除ファイル＞", &logFiles},           {"＜削除レジストリ＞", &logRegistry},
            {"＜一部削除レジストリ＞", &logPartialRegistry}, {"＜削除フォルダ＞", &logFolders},
            {"＜その他削除＞", &logOthers},             {"＜削除ドライバ＞", &logDrivers},
            {"＜SPOOLER停止時の処理＞", &logSpoolerStopped}, {"＜再起動要因＞", &logRestartCauses}};
  }
};

// How far the run is: the steps of the progress bar and the status text, told to the view's
// window with synchronous messages.
class Progress {
 public:
  DWORD stepTotal = 0;
  DWORD stepPos = 0;
  HWND viewWindow = nullptr;  // null: nothing is told

  void SendStep() {
    ++stepPos;
    if (stepPos >= stepTotal) stepPos = stepTotal;
    Send(QXM_POSITION, stepPos, 0);
  }
  void SendStatus(RunStatus status) { Send(QXM_STATUS, static_cast<WPARAM>(status), 0); }

 protected:
  explicit Progress(Windows& windows) : windows_(windows) {}
  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) {
    return viewWindow ? windows_.SendMessageA(viewWindow, message, wParam, lParam) : 0;
  }

 private:
  Windows& windows_;
};

}  // namespace qx
