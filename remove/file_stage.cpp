// The file stage: the configured files of each selected kind, their second attempt with the
// spooler stopped, then the product's and its spool directories.
#include "app/CQXErsDoc.h"
#include "app/log_lines.h"
#include "app/text.h"
#include "app/protected_places.h"

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

namespace {

// The configured files of each selected kind, a progress step per entry.
void DeleteListedFiles(CQXErsDoc& doc) {
  auto deleteEntry = [&](const std::string& dir, const std::string& entry) {
    if (!IsEntryInsideFolder(entry)) {
      doc.AddLog(doc.logFiles, dir + entry + " ファイル削除失敗。" + kMalformedReason);
      ++doc.failures;
      return;
    }
    doc.DeleteOneFile(dir + entry);
  };
  // Windows 2000 keeps a second system directory beside the first.
  auto inSystemDirs = [&](const StringList& entries) {
    for (const std::string& entry : entries) {
      deleteEntry(doc.systemDir, entry);
      if (doc.osType == kWindows2000) deleteEntry(doc.altSystemDir, entry);
      doc.SendStep();
    }
  };
  auto inDirectory = [&](const std::string& dir, const StringList& entries) {
    for (const std::string& entry : entries) {
      deleteEntry(dir, entry);
      doc.SendStep();
    }
  };
  if (doc.delFlags & kDelNetPort) {
    inDirectory(doc.windowsDir, doc.DEL_FILE_PP_WINDIR);
    inSystemDirs(doc.DEL_FILE_PP_WINSYSDIR);
  }
  if (doc.delFlags & kDelProduct) {
    for (std::string dir : doc.productDirs) {
      EnsureTrailingBackslash(dir);
      inDirectory(dir, doc.DEL_FILE_QX_QXDIR);
    }
    inDirectory(doc.windowsDir, doc.DEL_FILE_QX_WINDIR);
    inSystemDirs(doc.DEL_FILE_QX_WINSYSDIR);
    inDirectory(doc.systemDir.substr(0, 2) + "\\", doc.DEL_FILE_QX_ROOT);
  }
  if (doc.delFlags & kDelDrivers) {
    inDirectory(doc.windowsDir, doc.DEL_FILE_DRV_WINDIR);
    inSystemDirs(doc.DEL_FILE_DRV_WINSYSDIR);
  }
}

// A wildcard deletion in a folder and its summary line.
void Sweep(CQXErsDoc& doc, const std::string& dir, const char* pattern) {
  int deleted = doc.DeleteMatchingFiles(dir, pattern);
  doc.AddLog(doc.logFiles, dir + " ディレクトリの下の " + pattern + " ファイル " + std::to_string(deleted) + " 個削除");
}

// The private spool directories, emptied of the family's spool files and removed.
void EmptySpoolDirectories(CQXErsDoc& doc) {
  for (const std::string& spool : doc.spoolDirs) {
    Sweep(doc, spool, "psf*.prn");
    Sweep(doc, spool, "zov*.dat");
    doc.RemoveFolder(spool);
  }
}

// Each product directory: its known subfolders and files by pattern, then whatever folders
// remain, each only when it is empty (".cache" and the like are not the family's), then the
// directory itself.
void EmptyProductDirectories(CQXErsDoc& doc) {
  for (std::string dir : doc.productDirs) {
    EnsureTrailingBackslash(dir);
    const struct {
      const char* name;
      const char* pattern;
    } subfolders[] = {{"WAV\\", "*.WAV"}, {"WEBQX\\", "*.dll"}, {"LOG\\", "*.log"}};
    for (const auto& sub : subfolders) {
      Sweep(doc, dir + sub.name, sub.pattern);
      doc.RemoveFolder(dir + sub.name);
    }
    for (const char* pattern : {"*.gid", "*.fts", "*.ftg", "temp.*", "*.tmp"}) Sweep(doc, dir, pattern);

    StringList found;
    WIN32_FIND_DATAA entry;
    HANDLE find = doc.sys.files.FindFirstFileA((dir + "*.*").c_str(), entry);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && entry.cFileName.rfind('.', 0) != 0) {
          found.push_back(dir + entry.cFileName + "\\");
        }
      } while (doc.sys.files.FindNextFileA(find, entry));
      doc.sys.files.FindClose(find);
    }
    for (const std::string& sub : found) {
      doc.RemoveFolder(sub);
      doc.AddLog(doc.logFiles, sub + " ディレクトリを見つけたので削除する");
    }
    doc.RemoveFolder(dir);
  }
}

}  // namespace

void CQXErsDoc::RemoveFiles() {
  AddLog(logFiles, kLightLine + "ファイル情報削除");
  DeleteListedFiles(*this);
  RetryDeferredFiles();
  AddLog(logFiles, kLightLine + "QXディレクトリ／ディレクトリ内削除");
  if (!(delFlags & kDelProduct)) return;
  EmptySpoolDirectories(*this);
  EmptyProductDirectories(*this);
  DeleteMigrationSettingsFile();
}

}  // namespace qx
