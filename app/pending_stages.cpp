// Steps of the run that are not built yet. Each does nothing and reports that it added or
// removed nothing, so the run around them keeps its order, its messages and its counts.
// An operation moves to its subsystem's folder when it is built.
#include "app/CQXErsDoc.h"

namespace qx {

int CQXErsDoc::AddProductUninstallDirs() { return 0; }
int CQXErsDoc::AddScriptoraUtilityDir() { return 0; }
int CQXErsDoc::AddNetbridgeUtilityDir() { return 0; }
int CQXErsDoc::AddPrinterUtilityDir() { return 0; }
int CQXErsDoc::AddCompanionProgramDirs() { return 0; }
int CQXErsDoc::AddSettingsFileProductDirs() { return 0; }
int CQXErsDoc::AddSettingsFileSpoolDirs() { return 0; }
int CQXErsDoc::CollectCompanionEntries() { return 0; }
int CQXErsDoc::CollectInstallerLogs() { return 0; }
int CQXErsDoc::CollectMigrationData() { return 0; }
int CQXErsDoc::KeepDriverMigrationData(MigrationDirection) { return -1; }
int CQXErsDoc::GatherPrinterNames() { return 0; }

int CQXErsDoc::StopCompanionPrograms() { return 0; }
int CQXErsDoc::RemoveMigrationLeftovers() { return 0; }
int CQXErsDoc::DeleteInstallerLogs() { return 0; }
int CQXErsDoc::RemoveServicesAndOthers() { return 0; }
int CQXErsDoc::RemoveFoldersAndMenus() { return 0; }
int CQXErsDoc::RemoveRegistryEntries() { return 0; }
int CQXErsDoc::RemoveFiles() { return 0; }
int CQXErsDoc::RepairDefaultPrinter() { return 0; }
int CQXErsDoc::RepairDefaultPrinterOffline() { return 0; }

}  // namespace qx
