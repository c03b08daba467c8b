// The file stage: the configured files of each selected kind, their second attempt with the
// spooler stopped, then the product's and its spool directories.
#include "app/CQXErsDoc.h"
#include "app/log_lines.h"
#include "remove/files.h"

namespace qx {

int CQXErsDoc::RemoveFiles() {
  AddLog(logFiles, kLightLine + "ファイル情報削除");
  // Windows 2000 keeps a second system directory beside the first.
  auto inSystemDirs = [&](const std::string& entry) {
    DeleteOneFile(systemDir + entry);
    if (osType == 3) DeleteOneFile(altSystemDir + entry);
    SendStep();
  };
  auto inDirectory = [&](const std::string& dir, const StringList& entries) {
    for (const std::string& entry : entries) {
      DeleteOneFile(dir + entry);
      SendStep();
    }
  };

  if (delFlags & kDelNetPort) {
    inDirectory(windowsDir, DEL_FILE_PP_WINDIR);
    for (const std::string& entry : DEL_FILE_PP_WINSYSDIR) inSystemDirs(entry);
  }
  if (delFlags & kDelProduct) {
    for (std::string dir : productDirs) {
      EnsureTrailingBackslash(dir);
      inDirectory(dir, DEL_FILE_QX_QXDIR);
    }
    inDirectory(windowsDir, DEL_FILE_QX_WINDIR);
    for (const std::string& entry : DEL_FILE_QX_WINSYSDIR) inSystemDirs(entry);
    inDirectory(systemDir.substr(0, 2) + "\\", DEL_FILE_QX_ROOT);
  }
  if (delFlags & kDelDrivers) {
    inDirectory(windowsDir, DEL_FILE_DRV_WINDIR);
    for (const std::string& entry : DEL_FILE_DRV_WINSYSDIR) inSystemDirs(entry);
  }
  RetryDeferredFiles();

  AddLog(logFiles, kLightLine + "QXディレクトリ／ディレクトリ内削除");
  if (!(delFlags & kDelProduct)) return 0;
  auto sweep = [&](const std::string& dir, const char* pattern) {
    int deleted = DeleteMatchingFiles(dir, pattern);
    AddLog(logFiles, dir + " ディレクトリの下の " + pattern + " ファイル " + std::to_string(deleted) + " 個削除");
  };
  for (const std::string& spool : spoolDirs) {
    sweep(spool, "psf*.prn");
    sweep(spool, "zov*.dat");
    RemoveFolder(spool);
  }
  for (std::string dir : productDirs) {
    EnsureTrailingBackslash(dir);
    const struct {
      const char* name;
      const char* pattern;
    } subfolders[] = {{"WAV\\", "*.WAV"}, {"WEBQX\\", "*.dll"}, {"LOG\\", "*.log"}};
    for (const auto& sub : subfolders) {
      sweep(dir + sub.name, sub.pattern);
      RemoveFolder(dir + sub.name);
    }
    for (const char* pattern : {"*.gid", "*.fts", "*.ftg", "temp.*", "*.tmp"}) sweep(dir, pattern);

    // Whatever folders remain go only when they are empty; ".cache" and the like are not ours.
    StringList found;
    WIN32_FIND_DATAA entry;
    HANDLE find = sys.files.FindFirstFileA((dir + "*.*").c_str(), entry);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && entry.cFileName.rfind('.', 0) != 0) {
          found.push_back(dir + entry.cFileName + "\\");
        }
      } while (sys.files.FindNextFileA(find, entry));
      sys.files.FindClose(find);
    }
    for (const std::string& sub : found) {
      RemoveFolder(sub);
      AddLog(logFiles, sub + " ディレクトリを見つけたので削除する");
    }
    RemoveFolder(dir);
  }
  DeleteMigrationSettingsFile();
  return 0;
}

}  // namespace qx
