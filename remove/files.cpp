#include <algorithm>
#include <vector>

#include "app/CQXErsDoc.h"
#include "app/log_lines.h"
#include "app/text.h"
#include "app/services.h"
#include "app/protected_places.h"
#include "app/registry.h"

namespace qx {

namespace {

constexpr const char* kSharedDlls = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr const char* kReadme = "お読みください.TXT";
constexpr const char* kReadmeShort = "お読み~1.TXT";
constexpr const char* kSessionManager = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
// A pending list larger than this is not searched: the deletion is then simply asked again.
constexpr DWORD kMaxPendingBytes = 4u * 1024 * 1024;
constexpr std::size_t kMaxWininitBytes = 16u * 1024 * 1024;

bool IsMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

const char* SharedDllOutcome(int result) {
  switch (result) {
    case 0: return "削除成功。";
    case -1: return "なし。";
    case -2: return "データなし。";
    default: return "削除失敗。";
  }
}

// Reads a whole file through an open handle; false when a read fails.
bool ReadAll(Files& files, HANDLE file, std::string& content) {
  char chunk[4096];
  for (;;) {
    DWORD read = 0;
    if (!files.ReadFile(file, chunk, sizeof chunk, &read)) return false;
    if (read == 0) return true;
    // Larger than any WININIT.INI Windows would read: taken as unreadable.
    if (content.size() + read > kMaxWininitBytes) return false;
    content.append(chunk, read);
  }
}

// Where the first line of the [rename] section goes: after the header's line end.
std::size_t AfterRenameHeader(const std::string& text, bool& needsLineEnd) {
  needsLineEnd = false;
  std::size_t at = std::string::npos;
  const std::string header = "[rename]";
  for (std::size_t i = 0; i + header.size() <= text.size(); i += CharLength(text, i)) {
    // WININIT.INI is read by section name without regard to case, as the profile calls do.
    if (EqualsNoCase(std::string_view(text).substr(i, header.size()), header)) {
      at = i;
      break;
    }
  }
  if (at == std::string::npos) return at;
  std::size_t lineEnd = text.find('\n', at);
  if (lineEnd == std::string::npos) {
    needsLineEnd = true;
    return text.size();
  }
  return lineEnd + 1;
}

// Kept aside while WININIT.INI is replaced, until its replacement stands.
constexpr const char* kSavedWininit = "WININIT.QXB";

bool Exists(Files& files, const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE find = files.FindFirstFileA(path.c_str(), found);
  if (find == INVALID_HANDLE_VALUE) return false;
  files.FindClose(find);
  return true;
}

// A replacement cut off before it stood in place leaves the old file aside: it goes back,
// and a copy left beside a file that is in place is stale.
void RestoreSavedWininit(Files& files, const std::string& dir) {
  const std::string ini = dir + "WININIT.INI";
  const std::string saved = dir + kSavedWininit;
  const std::string tmp = dir + "WININIT.TMP";
  // New text that never stood in place is stale.
  if (Exists(files, tmp)) files.DeleteFileA(tmp.c_str());
  if (!Exists(files, saved)) return;
  if (Exists(files, ini)) {
    files.SetFileAttributesA(saved.c_str(), FILE_ATTRIBUTE_NORMAL);
    files.DeleteFileA(saved.c_str());
  } else {
    files.MoveFileA(saved.c_str(), ini.c_str());
  }
}

// Whether the section that starts at from (after its header line) already holds line, up to
// the next section; compared without regard to case, blanks around "=" ignored.
bool SectionHasLine(const std::string& text, std::size_t from, const std::string& line) {
  auto normal = [](std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); i += CharLength(s, i)) {
      if (CharLength(s, i) == 1 && IsBlank(s[i])) continue;
      out.append(s.substr(i, CharLength(s, i)));
    }
    return out;
  };
  const std::string wanted = normal(line);
  std::size_t start = from;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string current = normal(std::string_view(text).substr(start, end - start));
    if (!current.empty() && current[0] == '[') return false;
    if (EqualsNoCase(current, wanted)) return true;
    start = end + 1;
  }
  return false;
}

// Whether the session manager already holds the deletion of path for the restart.
bool IsPendingDeletion(Registry& reg, const std::string& path) {
  HKEY key = nullptr;
  if (reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0, size = 0;
  std::string data;
  if (reg.RegQueryValueExA(key, "PendingFileRenameOperations", &type, nullptr, &size) == ERROR_SUCCESS &&
      type == REG_MULTI_SZ && size > 0 && size <= kMaxPendingBytes) {
    data.assign(size, '\0');
    if (reg.RegQueryValueExA(key, "PendingFileRenameOperations", &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS) {
      data.clear();
    }
    data.resize(std::min<std::size_t>(size, data.size()));
  }
  reg.RegCloseKey(key);
  // Pairs of zero-ended strings: the source as "\??\<path>", then the target, empty for a
  // deletion.
  std::vector<std::string> strings;
  for (std::size_t at = 0; at < data.size();) {
    std::size_t end = data.find('\0', at);
    if (end == std::string::npos) end = data.size();
    strings.push_back(data.substr(at, end - at));
    at = end + 1;
  }
  for (std::size_t i = 0; i + 1 < strings.size(); i += 2) {
    std::string source = strings[i];
    if (source.compare(0, 4, "\\??\\") == 0) source.erase(0, 4);
    if (strings[i + 1].empty() && SamePath(source, path)) return true;
  }
  return false;
}

}  // namespace

Refusal CQXErsDoc::CheckTarget(const std::string& path) {
  const std::string key = windowsDir + "|" + systemDir + "|" + altSystemDir + "|" + tempDir;
  if (protectedFolders.builtFor != key) protectedFolders.Build(sys, windowsDir, systemDir, altSystemDir, tempDir);
  return protectedFolders.Check(sys, path);
}

Refusal CQXErsDoc::CheckOwnFolder(const std::string& path) {
  CheckTarget(path);  // builds the folders when needed
  return protectedFolders.CheckOwnFolder(sys, path);
}

Refusal CQXErsDoc::CheckRecordFile(const std::string& path) {
  if (Refusal refusal = CheckTarget(path); refusal != Refusal::kNone) return refusal;
  std::vector<std::string> levels;
  if (!SplitFullPath(path, levels)) return Refusal::kMalformed;
  if (levels.size() <= 2) return Refusal::kProtected;  // directly in a drive's root
  std::string parent;
  for (std::size_t i = 0; i + 1 < levels.size(); ++i) parent += levels[i] + "\\";
  for (const std::string* top : {&windowsDir, &systemDir, &altSystemDir}) {
    if (!top->empty() && SamePath(parent, *top)) return Refusal::kProtected;
  }
  return Refusal::kNone;
}

int CQXErsDoc::DeleteOneFile(const std::string& path) {
  if (Refusal refusal = CheckTarget(path); refusal != Refusal::kNone) {
    AddLog(logFiles, path + " ファイル削除失敗。" + RefusalText(refusal));
    ++failures;
    return -1;
  }
  Files& files = sys.files;
  files.SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  BOOL deleted = files.DeleteFileA(path.c_str());
  DWORD error = sys.system.GetLastError();
  int result = -1;
  std::string line = path;
  if (deleted) {
    line += " 削除成功。";
    result = 0;
  } else if (IsMissing(error)) {
    line += " ファイルなし。";
  } else if (osType == kWindows9x) {
    if (DeleteAtRestart(path)) {
      restartNeeded = 1;
      AddLog(logRestartCauses, path + " の削除に失敗");
      line += " 再起動時に削除。";
    } else {
      // WININIT.INI could not take the line: nothing waits for the restart.
      line += " 削除失敗。";
      workLeft = true;
    }
  } else {
    deferredFiles.push_back(path);
    line += " 後で削除してみる。";
  }
  // The shared-DLL count goes whether or not the file could go.
  line += "  共有レジストリ";
  line += SharedDllOutcome(DeleteRegistryValue(sys.registry, HKEY_LOCAL_MACHINE, kSharedDlls, path, ""));
  AddLog(logFiles, line);

  // WinHelp leaves generated companions beside a help file, named after it.
  if (EndsWithNoCase(path, "HLP")) {
    std::size_t nameStart = FindLastChar(path, '\\');
    nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
    std::size_t dot = FindLastChar(std::string_view(path).substr(nameStart), '.');
    std::string base = dot == std::string::npos ? path : path.substr(0, nameStart + dot);
    for (const char* extension : {".GID", ".FTS", ".FTG"}) {
      std::string companion = base + extension;
      files.SetFileAttributesA(companion.c_str(), FILE_ATTRIBUTE_NORMAL);
      BOOL gone = files.DeleteFileA(companion.c_str());
      DWORD companionError = sys.system.GetLastError();
      if (gone || IsMissing(companionError)) {
        AddLog(logFiles, companion + " ファイルなし。");
        continue;
      }
      if (!DeleteAtRestart(companion)) {
        AddLog(logFiles, companion + " ファイル削除失敗。");
        workLeft = true;
        continue;
      }
      restartNeeded = 1;
      AddLog(logFiles, companion + " ファイル削除失敗。再起動時に削除。");
      AddLog(logRestartCauses, companion + " の削除に失敗");
    }
  }

  // The readme was registered under its short name too.
  std::size_t readme = FindText(path, kReadme);
  if (readme != std::string::npos && (osType == kWindows9x || osType == kWindows2000)) {
    std::string shortPath = path.substr(0, readme) + kReadmeShort;
    int shared = DeleteRegistryValue(sys.registry, HKEY_LOCAL_MACHINE, kSharedDlls, shortPath, "");
    AddLog(logFiles, std::string("お読みくださいのショートファイルネーム対応：共有レジストリ") + SharedDllOutcome(shared));
  }
  return result;
}

bool CQXErsDoc::DeleteAtRestart(const std::string& path) {
  if (osType == kWindows9x) return ScheduleWininitDelete(path) == 0;
  // A second run before the restart finds the deletion already waiting.
  if (IsPendingDeletion(sys.registry, path)) return true;
  return sys.files.MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

void CQXErsDoc::RecoverWininit() {
  if (osType != kWindows9x) return;
  char windows[MAX_PATH] = {};
  UINT length = sys.system.GetWindowsDirectoryA(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  std::string dir = FromBuffer(windows, length);
  EnsureTrailingBackslash(dir);
  RestoreSavedWininit(sys.files, dir);
}

int CQXErsDoc::ScheduleWininitDelete(const std::string& path) {
  Files& files = sys.files;
  Profile& profile = sys.profile;
  char buffer[MAX_PATH] = {};
  DWORD length = files.GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
  // Without a short form the long one is the best that can be named.
  std::string shortPath = (length > 0 && length < MAX_PATH) ? FromBuffer(buffer, length) : path;

  // The system's cached copy goes first, so the file read below is the one Windows will see.
  profile.WritePrivateProfileStringA(nullptr, nullptr, nullptr, "WININIT.INI");
  char windows[MAX_PATH] = {};
  UINT windowsLength = sys.system.GetWindowsDirectoryA(windows, MAX_PATH);
  if (windowsLength == 0 || windowsLength >= MAX_PATH) return -1;
  std::string dir = FromBuffer(windows, windowsLength);
  EnsureTrailingBackslash(dir);
  RestoreSavedWininit(files, dir);
  const std::string iniPath = dir + "WININIT.INI";
  const std::string tmpPath = dir + "WININIT.TMP";
  const std::string savedPath = dir + kSavedWininit;

  // The file is read as text: its own lines decide, not the profile calls, which would give
  // an empty section for a file they cannot read and keep only one "Nul" key.
  std::string text;
  HANDLE ini = files.CreateFileA(iniPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL);
  if (ini == INVALID_HANDLE_VALUE) {
    if (!IsMissing(sys.system.GetLastError())) return -1;
  } else {
    bool read = ReadAll(files, ini, text);
    files.CloseHandle(ini);
    if (!read) return -1;
  }
  bool needsLineEnd = false;
  std::size_t insertAt = AfterRenameHeader(text, needsLineEnd);
  if (insertAt == std::string::npos) {
    // No section yet: the profile call writes it with the one line.
    return profile.WritePrivateProfileStringA("rename", "Nul", shortPath.c_str(), "WININIT.INI") ? 0 : -1;
  }
  if (SectionHasLine(text, insertAt, "Nul=" + shortPath)) return 0;  // already waiting
  std::string line = (needsLineEnd ? "\r\n" : "") + std::string("Nul=") + shortPath + "\r\n";
  text.insert(insertAt, line);

  // The new text is written beside the file and replaces it only once complete; the old file
  // is kept aside until the new one stands in its place, so that WININIT.INI, with every
  // other program's lines, is never missing at a restart.
  HANDLE tmp = files.CreateFileA(tmpPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
  if (tmp == INVALID_HANDLE_VALUE) return -1;
  DWORD written = 0;
  bool complete = files.WriteFile(tmp, text.data(), static_cast<DWORD>(text.size()), &written) && written == text.size();
  files.CloseHandle(tmp);
  if (complete && files.MoveFileA(iniPath.c_str(), savedPath.c_str())) {
    if (files.MoveFileA(tmpPath.c_str(), iniPath.c_str())) {
      files.SetFileAttributesA(savedPath.c_str(), FILE_ATTRIBUTE_NORMAL);
      files.DeleteFileA(savedPath.c_str());
      return 0;
    }
    files.MoveFileA(savedPath.c_str(), iniPath.c_str());
  }
  files.DeleteFileA(tmpPath.c_str());
  return -1;
}

int CQXErsDoc::DeleteMatchingFiles(const std::string& directory, const std::string& pattern) {
  if (directory.empty() || pattern.empty()) return 0;
  // Windows' own folders are never emptied, whatever pattern is asked for.
  if (CheckTarget(directory) != Refusal::kNone) {
    ++failures;
    return 0;
  }
  Files& files = sys.files;
  WIN32_FIND_DATAA found;
  HANDLE find = files.FindFirstFileA((directory + pattern).c_str(), found);
  if (find == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do {
    // A directory (".", ".." among them) cannot be deleted as a file; touching its
    // attributes would change a folder that was never selected.
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::string path = directory + found.cFileName;
    files.SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (files.DeleteFileA(path.c_str())) {
      ++count;
    } else if (!IsMissing(sys.system.GetLastError())) {
      workLeft = true;
    }
  } while (files.FindNextFileA(find, found));
  files.FindClose(find);
  return count;
}

int CQXErsDoc::RemoveFolder(const std::string& path) {
  if (Refusal refusal = CheckTarget(path); refusal != Refusal::kNone) {
    AddLog(logFiles, path + " ディレクトリ削除失敗。" + RefusalText(refusal));
    ++failures;
    return -1;
  }
  int result = 0;
  std::string line = path;
  if (sys.files.RemoveDirectoryA(path.c_str())) {
    line += " ディレクトリ削除成功。";
  } else {
    DWORD error = sys.system.GetLastError();
    if (IsMissing(error)) {
      line += " ディレクトリなし。";
    } else {
      line += " ディレクトリ削除失敗。エラー番号 " + std::to_string(error);
      result = -1;
      // A folder that still holds what is not the family's is done with; any other failure
      // is left for a later run.
      if (error != ERROR_DIR_NOT_EMPTY) workLeft = true;
    }
  }
  AddLog(logFiles, line);
  return result;
}

void CQXErsDoc::RetryDeferredFiles() {
  AddLog(logFiles, kLightLine + "Spoolerを停止して削除");
  if (osType == kWindows9x || deferredFiles.empty()) return;
  // Files the spooler holds open can go while it is stopped.
  if (spoolerRunning) StopServiceByIndex(kSpoolerService);
  for (const std::string& path : deferredFiles) {
    std::string line = path + " Spooler停止後";
    sys.files.SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (sys.files.DeleteFileA(path.c_str())) {
      line += "  削除成功。";
    } else {
      if (DeleteAtRestart(path)) {
        restartNeeded = 1;
        AddLog(logRestartCauses, path + " の削除に失敗");
      } else {
        workLeft = true;
      }
      line += "  削除失敗。";
    }
    AddLog(logFiles, line);
  }
  if (spoolerRunning) StartSpoolerAgain();
}


}  // namespace qx
