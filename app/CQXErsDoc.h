// The erase job: all state of one removal run, and the run itself.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "remove/protected_places.h"

namespace qx {

class CQXErsView;

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

// Deletion kinds.
inline constexpr int kDelProduct = 1;   // the product family's own data
inline constexpr int kDelDrivers = 2;   // printer drivers
inline constexpr int kDelNetPort = 4;   // the network-printing port component

// A row of a removal table: the key path below a root, and "Key" (the subkey named by each
// name goes) or any other kind (the value named by each name goes; below HKEY_USERS, in
// every user's hive).
struct RemovalRow {
  HKEY root;
  const char* path;
  const char* kind;
};

class CQXErsDoc {
 public:
  explicit CQXErsDoc(Platform& platform);
  ~CQXErsDoc();
  CQXErsDoc(const CQXErsDoc&) = delete;
  CQXErsDoc& operator=(const CQXErsDoc&) = delete;

  // Run control.
  int StartErase(CQXErsView* view);
  void RestartSystem();  // on the user-interface thread, after the result
  static DWORD RunEraseThread(void* job);
  void SendStep();
  void SendStatus(int index);

  // Environment and installation discovery.
  int PrepareRun();
  int GetOSType(DWORD* platformId = nullptr, DWORD* major = nullptr, DWORD* minor = nullptr);
  int CheckEnvironment();
  int DiscoverInstallation();
  int FindProductDirFromUninstallEntry();
  int FindSpoolDirs();

  // Configuration.
  int ReadRunSettings();
  int ReadDeletionLists();
  std::string ConfigPath() const { return moduleDir + "QXErs.ini"; }

  // Files and directories; what cannot go now goes at the next restart.
  int DeleteOneFile(const std::string& path);
  int DeleteMatchingFiles(const std::string& directory, const std::string& pattern);
  int ScheduleWininitDelete(const std::string& path);
  int RemoveFolder(const std::string& path);
  void RetryDeferredFiles();
  // Leaves the file for deletion at the next restart (MoveFileExA on the NT family, WININIT.INI
  // on Windows 95/98), once only: true when it waits for the restart now.
  bool DeleteAtRestart(const std::string& path);
  // Starts the spooler that the run stopped; one that does not run again is tried a few
  // times, then left to the restart and logged.
  void StartSpoolerAgain();
  // Windows 95/98: puts back a WININIT.INI that a cut-off run left aside.
  void RecoverWininit();
  // Whether a target may be deleted: not one of Windows' own places (built on first use for the
  // directories the run knows) and a full path. CheckOwnFolder also refuses a folder that holds
  // one of Windows' own.
  Refusal CheckTarget(const std::string& path);
  Refusal CheckOwnFolder(const std::string& path);
  // A file that a record of the machine names (a migration record, an installer log of an
  // uninstall string), rather than the configuration: besides CheckTarget's rule, never one
  // lying directly in a drive's root or in the Windows or system directory, where Windows
  // keeps its own programs.
  Refusal CheckRecordFile(const std::string& path);
  // A product or spool directory joins the list once, when it is a full path below a root
  // and Windows' own places are neither it nor in it; a refused one is logged once.
  int AddOwnDirectory(StringList& list, std::string dir);

  // Registry entries and the logs of registry edits made with the spooler stopped.
  int DeleteRegistryEntry(const std::string& entry);
  int RemoveTextFromValue(const std::string& entry);
  void LogKeyDeletion(int result, const std::string& rootName, const std::string& subkey);
  void LogValueDeletion(int result, const std::string& rootName, const std::string& subkey,
                        const std::string& valueName);

  // Program Manager's group, or one item of it, with its shortcuts, menu order and
  // registrations; -1 when both texts are empty.
  int RemoveProgramGroup(const std::string& group, const std::string& item);

  // The migration settings file, removed by the file stage after the product directories.
  int DeleteMigrationSettingsFile();

  // Service control.
  int StopServiceByIndex(unsigned index);
  int DeleteServiceByIndex(unsigned index);
  int StartServiceByIndex(unsigned index);
  int QueryServiceStateByIndex(unsigned index);
  bool IsSpoolerRunning();

  // Discovery and preparation steps of the companion programs, migration leftovers and
  // printers.
  int AddProductUninstallDirs();
  int AddScriptoraUtilityDir();
  int AddNetbridgeUtilityDir();
  int AddPrinterUtilityDir();
  int AddCompanionProgramDirs();
  int AddSettingsFileProductDirs();
  int AddSettingsFileSpoolDirs();
  int CollectCompanionEntries();
  int CollectInstallerLogs();
  int CollectMigrationData();
  enum class MigrationDirection { Save, Restore };
  int KeepDriverMigrationData(MigrationDirection direction);
  int GatherPrinterNames();
  // The connections to other machines' printers whose driver is listed, found before any
  // change (the removal with the spooler stopped deletes the cache that tells it).
  void GatherListedConnections();
  // The web virtual root's registry value, found before any change.
  void FindWebVirtualRoot();

  // The removal stages, in the order the run calls them.
  int StopCompanionPrograms();
  int RemoveMigrationLeftovers();
  int DeleteInstallerLogs();
  int RemoveServicesAndOthers();
  int RemoveFoldersAndMenus();
  int RemoveRegistryEntries();
  int RemoveFiles();
  int RepairDefaultPrinter();
  int RepairDefaultPrinterOffline();

  // Companion programs, leftovers and the web virtual root. DeleteServiceByIndex gives -5
  // for a service that exists but cannot be opened.
  void NotifyStatusManager();
  int UnregisterCompanionComponents();
  int RemoveWebVirtualRoot();
  // A printer driver's migration value, kept from the start of the run to its end.
  struct KeptValue {
    std::string printer, name;
    DWORD type;
    std::string data;
  };
  std::vector<KeptValue> keptDriverMigration;

  // Printer objects: the family's names, removal through the spooler and with it stopped,
  // the product's ports and monitors (printers/).
  const char* OwnEnvironment() const;  // "Windows 4.0" on Windows 95/98, else "Windows NT x86"
  bool IsProductNetworkPort(const std::string& port);
  std::optional<std::string> ReadVirtualPrinterTarget(const std::string& printer);
  void RemoveNamedEntries(const std::vector<RemovalRow>& rows, const StringList& names, bool log);
  int ReassignVirtualPorts();
  int DeleteProductPrintProcessor();
  int RemovePrinterDrivers();
  int DeletePrintProcessorByName(const std::string& name);
  int RemovePrinterDriversOffline();
  int DeleteListedPrintProcessorsOffline();
  int DeleteProductPrintProcessorOffline();
  int ReassignVirtualPortsOffline();
  int RemoveNetrovaPorts();
  int RemoveLptnPorts();
  int MovePrintersOffPorts(const std::string& kind);  // kind "LPTNx" or "ZOVPP"
  int DeleteNetrovaTcpPorts();
  int DeleteNetrovaMonitors();
  int DeleteNetrovaMonitorKeys();
  int DeleteLptnPorts();
  int DeleteLptnMonitor();
  int MovePrintersOffPortsOffline(const std::string& kind);
  int DeleteNetrovaPortKeysOffline();
  int DeleteNetrovaMonitorKeysOffline();
  int DeleteLptnMonitorKeyOffline();
  int NoteLptnPortsOffline();

  // What the run found that leads to files, kept in the registry until those are gone, so
  // that a run cut off or failing partway is finished by the next (app/unfinished_run.cpp).
  // TakeUp merges what an earlier run kept and returns the progress steps it adds.
  int TakeUpUnfinishedRun();
  void NoteUnfinishedRun();
  void TakeUpKeptDriverMigration();  // part of KeepDriverMigrationData's save
  void FinishUnfinishedRun();

  // Run log.
  int WriteLogHeader();
  int WriteLogSections();
  void AddLog(StringList& list, std::string line);  // collects only when the log is on

  Platform& sys;

  // Fields, in their declared order.
  CQXErsView* view = nullptr;
  SC_HANDLE scManager = nullptr;
  int logEnabled = 0;
  int delFlags = 7;
  int osType = -1;
  int restartNeeded = 0;
  bool spoolerRunning = false;
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
  DWORD stepTotal = 0;
  DWORD stepPos = 0;

  // The 39 lists, in their declared order. The configuration's lists carry their
  // section names with "_" for ".".
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
  StringList logFiles;
  StringList logRegistry;
  StringList logPartialRegistry;
  StringList logFolders;
  StringList logOthers;
  StringList logDrivers;
  StringList logRestartCauses;
  StringList logSpoolerStopped;
  StringList migrationLists[10];
  StringList refusedDirs;  // product and spool directories refused, each logged once
  // The entries the companion program's records added to DEL_FOLDER_QX and DEL_FILE_QX_ROOT.
  StringList companionFolders;
  StringList companionRootFiles;
  StringList companionRegistry;  // the companion program's uninstall and cache entries in DEL_REG_QX
  StringList listedConnections;  // ",,server,printer" of GatherListedConnections
  StringList webRoots;           // the web virtual root's value name when the run found it

 private:
  DWORD RunErase();
  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam);
  // The service manager (opened on first use) and the table's service; null when either
  // cannot be opened, and scManager then tells which.
  SC_HANDLE OpenTableService(unsigned index);
};

}  // namespace qx
