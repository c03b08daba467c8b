// The file stage: the configured files of each selected kind, their second attempt with the
// spooler stopped, then the product's and its spool directories.
#include "app/CQXErsDoc.h"
#include "app/log_lines.h"
#include "app/text.h"
#include "remove/files.h"
#include "remove/protected_places.h"

namespace qx {

namespace {

// A file entry names a file inside its section's folder: a relative path of plain names,
// never empty, never a drive, a root or a stream, and never "." or ".." to climb out.
bool IsEntryInsideFolder(const std::string& entry) {
  if (entry.empty()) return false;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= entry.size(); i += i < entry.size() ? CharLength(entry, i) : 1) {
    bool single = i < entry.size() && CharLength(entry, i) == 1;
    unsigned char c = single ? static_cast<unsigned char>(entry[i]) : 0;
    if (single && (c < 0x20 || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|')) {
      return false;
    }
    if (i == entry.size() || (single && (c == '\\' || c == '/'))) {
      std::string_view name = std::string_view(entry).substr(start, i - start);
      // Empty, or only dots and blanks ("." and ".." among them): Windows would read it as
      // this folder or one above.
      if (name.find_first_not_of(". ") == std::string_view::npos) return false;
      start = i + 1;
    }
  }
  return true;
}

}  // namespace

int CQXErsDoc::RemoveFiles() {
  AddLog(logFiles, kLightLine + "ファイル情報削除");
  auto deleteEntry = [&](const std::string& dir, const std::string& entry) {
    if (!IsEntryInsideFolder(entry)) {
      AddLog(logFiles, dir + entry + " ファイル削除失敗。" + kMalformedReason);
      ++failures;
      return;
    }
    DeleteOneFile(dir + entry);
  };
  // Windows 2000 keeps a second system directory beside the first.
  auto inSystemDirs = [&](const std::string& entry) {
    deleteEntry(systemDir, entry);
    if (osType == 3) deleteEntry(altSystemDir, entry);
    SendStep();
  };
  auto inDirectory = [&](const std::string& dir, const StringList& entries) {
    for (const std::string& entry : entries) {
      deleteEntry(dir, entry);
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
