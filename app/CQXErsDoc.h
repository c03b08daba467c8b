// The erase job: one removal run, its stages and the operations they are made of. Its state
// is in the parts of app/run_state.h.
#pragma once

#include <optional>
#include <unordered_map>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/run_state.h"
#include "platform/platform.h"

namespace qx {

// A row of a removal table: the key path below a root, and "Key" (the subkey named by each
// name goes) or any other kind (the value named by each name goes; below HKEY_USERS, in
// every user's hive).
struct RemovalRow {
  HKEY root;
  const char* path;
  const char* kind;
};

class CQXErsDoc : public RunContext, public DeletionLists, public RunLog, public Progress {
 public:
  explicit CQXErsDoc(Platform& platform);
  ~CQXErsDoc();
  CQXErsDoc(const CQXErsDoc&) = delete;
  CQXErsDoc& operator=(const CQXErsDoc&) = delete;

  // Run control. The worker tells the view's window how it goes; the driver choice is the
  // view's (0 keep the printer drivers, 1 delete them too).
  int StartErase(HWND viewWindow, int driverChoice);
  // The run on the calling thread, with no window told anything; returns its result.
  int RunNow(int driverChoice);
  void RestartSystem();  // on the user-interface thread, after the result
  static DWORD RunEraseThread(void* job);

  // Environment and installation discovery.
  void PrepareRun();
  int GetOSType(DWORD* platformId = nullptr, DWORD* major = nullptr, DWORD* minor = nullptr);
  int CheckEnvironment();
  int DiscoverInstallation();
  int FindProductDirFromUninstallEntry();
  int FindSpoolDirs();

  // Configuration.
  void ReadRunSettings();
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
  // Starts a service that the run stopped (the spooler, the web service); one that does not
  // run again is tried a few times, then left to the restart and logged with cause.
  void StartServiceAgain(unsigned index, const char* cause);
  void StartSpoolerAgain();
  // The end of a run on the NT family: the spooler stopped and started again, so that it
  // takes up its data as the run left it.
  void RestartSpoolerAtEnd();
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
  // folded: the list's entries folded (FoldCase), kept up to date here, for a caller adding
  // many directories to a long list.
  int AddOwnDirectory(StringList& list, std::string dir, std::unordered_set<std::string>* folded = nullptr);

  // Registry entries and the logs of registry edits made with the spooler stopped.
  void DeleteRegistryEntry(const std::string& entry);
  int RemoveTextFromValue(const std::string& entry);
  void LogKeyDeletion(int result, const std::string& rootName, const std::string& subkey);
  void LogValueDeletion(int result, const std::string& rootName, const std::string& subkey,
                        const std::string& valueName);

  // Program Manager's group, or one item of it, with its shortcuts, menu order and
  // registrations; -1 when both texts are empty.
  int RemoveProgramGroup(const std::string& group, const std::string& item);

  // The migration settings file, removed by the file stage after the product directories.
  void DeleteMigrationSettingsFile();

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
  void CollectInstallerLogs();
  void CollectMigrationData();
  enum class MigrationDirection { Save, Restore };
  int KeepDriverMigrationData(MigrationDirection direction);
  int GatherPrinterNames();
  // The connections to other machines' printers whose driver is listed, found before any
  // change (the removal with the spooler stopped deletes the cache that tells it).
  void GatherListedConnections();
  // The web virtual root's registry value, found before any change.
  void FindWebVirtualRoot();

  // The removal stages, in the order the run calls them. The two that send progress steps of
  // their own, beyond one per list entry, say how many the run's total counts for them.
  void StopCompanionPrograms();
  int StopCompanionProgramsSteps() const;
  int ServicesAndOthersSteps() const;
  void RemoveMigrationLeftovers();
  int DeleteInstallerLogs();
  void RemoveServicesAndOthers();
  void RemoveFoldersAndMenus();
  void RemoveRegistryEntries();
  void RemoveFiles();
  int RepairDefaultPrinter();
  int RepairDefaultPrinterOffline();

  // Companion programs, leftovers and the web virtual root. DeleteServiceByIndex gives -5
  // for a service that exists but cannot be opened.
  void NotifyStatusManager();
  int UnregisterCompanionComponents();
  int RemoveWebVirtualRoot();

  // Printer objects: the family's names, removal through the spooler and with it stopped,
  // the product's ports and monitors (printers/).
  const char* OwnEnvironment() const;  // "Windows 4.0" on Windows 95/98, else "Windows NT x86"
  bool IsProductNetworkPort(const std::string& port);
  // The ports the family's monitors list, read once for many questions, in the order they are
  // listed: each port as the spooler names it (with its suffix) at its first position, and
  // the positions and texts of names too long that were passed over.
  struct ProductPortListing {
    std::unordered_map<std::string, std::size_t> ports;
    std::vector<std::pair<std::size_t, std::string>> skipped;
    std::size_t size = 0;
  };
  ProductPortListing ReadProductPortListing();
  bool IsProductNetworkPort(const ProductPortListing& listing, const std::string& port);
  std::optional<std::string> ReadVirtualPrinterTarget(const std::string& printer);
  void RemoveNamedEntries(const std::vector<RemovalRow>& rows, const StringList& names, bool log);
  int ReassignVirtualPorts();
  void DeleteProductPrintProcessor();
  void RemovePrinterDrivers();
  // Its steps: the printers that use a listed driver (the spooler's list, as it was, comes
  // back), the listed drivers, language monitors and print processors, and what the deleted
  // printers leave in the machine's and the users' settings.
  std::vector<PRINTER_INFO_2A> RemovePrintersOfListedDrivers();
  void DeleteListedDrivers();
  void DeleteListedLanguageMonitors();
  void DeleteListedPrintProcessors();
  void RemovePrinterLeftovers(const std::vector<PRINTER_INFO_2A>& printers);
  int DeletePrintProcessorByName(const std::string& name);
  void RemovePrinterDriversOffline();
  // Its steps: the shares of the printers to remove, the connections whose driver is listed
  // (with every user's entries), the listed drivers' keys of every environment and version.
  void DeleteSharesOffline();
  void RemoveListedConnectionsOffline();
  void DeleteListedDriverKeysOffline();
  void DeleteListedPrintProcessorsOffline();
  void DeleteProductPrintProcessorOffline();
  void ReassignVirtualPortsOffline();
  void RemoveNetrovaPorts();
  void RemoveLptnPorts();
  int MovePrintersOffPorts(const std::string& kind);  // kind "LPTNx" or "ZOVPP"
  void DeleteNetrovaTcpPorts();
  void DeleteNetrovaMonitors();
  void DeleteNetrovaMonitorKeys();
  void DeleteLptnPorts();
  void DeleteLptnMonitor();
  int MovePrintersOffPortsOffline(const std::string& kind);
  void DeleteNetrovaPortKeysOffline();
  void DeleteNetrovaMonitorKeysOffline();
  void DeleteLptnMonitorKeyOffline();
  void NoteLptnPortsOffline();

  // What the run found that leads to files, kept in the registry until those are gone, so
  // that a run cut off or failing partway is finished by the next (app/unfinished_run.cpp).
  // TakeUp merges what an earlier run kept and returns the progress steps it adds.
  int TakeUpUnfinishedRun();
  void NoteUnfinishedRun();
  void TakeUpKeptDriverMigration();  // part of KeepDriverMigrationData's save
  // Driver migration values kept below key, one subkey a printer: those not kept yet join
  // keptDriverMigration.
  void TakeUpKeptValues(const std::string& key);
  void FinishUnfinishedRun();

  // Run log.
  int WriteLogHeader();
  int WriteLogSections();
  std::vector<HANDLE> OpenLogFiles(DWORD creation);
  void WriteToLogFiles(const std::vector<HANDLE>& files, const std::string& text);
  void CloseLogFiles(const std::vector<HANDLE>& files);

  Platform& sys;

 private:
  DWORD RunErase();
  // The service manager (opened on first use) and the table's service; null when either
  // cannot be opened, and scManager then tells which.
  SC_HANDLE OpenTableService(unsigned index);
};

}  // namespace qx
