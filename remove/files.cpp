#include "remove/files.h"

#include "app/CQXErsDoc.h"
#include "app/log_lines.h"
#include "app/text.h"
#include "companions/services.h"
#include "remove/registry.h"

namespace qx {

namespace {

constexpr const char* kSharedDlls = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr const char* kReadme = "お読みください.TXT";
constexpr const char* kReadmeShort = "お読み~1.TXT";

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

}  // namespace

std::string EnsureTrailingBackslash(std::string& path) {
  std::size_t last = FindLastChar(path, '\\');
  if (last == std::string::npos || last + 1 != path.size()) path += '\\';
  return path;
}

int CQXErsDoc::DeleteOneFile(const std::string& path) {
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
  } else if (osType == 0) {
    ScheduleWininitDelete(path);
    restartNeeded = 1;
    AddLog(logRestartCauses, path + " の削除に失敗");
    line += " 再起動時に削除。";
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
      restartNeeded = 1;
      if (osType == 0) {
        ScheduleWininitDelete(companion);
      } else {
        files.MoveFileExA(companion.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
      }
      AddLog(logFiles, companion + " ファイル削除失敗。再起動時に削除。");
      AddLog(logRestartCauses, companion + " の削除に失敗");
    }
  }

  // The readme was registered under its short name too.
  std::size_t readme = FindText(path, kReadme);
  if (readme != std::string::npos && (osType == 0 || osType == 3)) {
    std::string shortPath = path.substr(0, readme) + kReadmeShort;
    int shared = DeleteRegistryValue(sys.registry, HKEY_LOCAL_MACHINE, kSharedDlls, shortPath, "");
    AddLog(logFiles, std::string("お読みくださいのショートファイルネーム対応：共有レジストリ") + SharedDllOutcome(shared));
  }
  return result;
}

int CQXErsDoc::ScheduleWininitDelete(const std::string& path) {
  Files& files = sys.files;
  Profile& profile = sys.profile;
  char buffer[MAX_PATH] = {};
  DWORD length = files.GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
  // Without a short form the long one is the best that can be named.
  std::string shortPath = (length > 0 && length < MAX_PATH) ? FromBuffer(buffer, length) : path;

  char section[MAX_PATH] = {};
  if (profile.GetPrivateProfileSectionA("rename", section, MAX_PATH, "WININIT.INI") == 0) {
    profile.WritePrivateProfileStringA("rename", "Nul", shortPath.c_str(), "WININIT.INI");
    return 0;
  }

  // The section has lines already, and the profile calls would keep only one "Nul" key:
  // the line is put in as text, so every existing line stays.
  profile.WritePrivateProfileStringA(nullptr, nullptr, nullptr, "WININIT.INI");
  char windows[MAX_PATH] = {};
  UINT windowsLength = sys.system.GetWindowsDirectoryA(windows, MAX_PATH);
  if (windowsLength == 0 || windowsLength >= MAX_PATH) return 0;
  std::string dir = FromBuffer(windows, windowsLength);
  EnsureTrailingBackslash(dir);
  const std::string iniPath = dir + "WININIT.INI";
  const std::string tmpPath = dir + "WININIT.TMP";

  HANDLE ini = files.CreateFileA(iniPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL);
  if (ini == INVALID_HANDLE_VALUE) return 0;
  std::string text;
  bool read = ReadAll(files, ini, text);
  files.CloseHandle(ini);
  bool needsLineEnd = false;
  std::size_t insertAt = AfterRenameHeader(text, needsLineEnd);
  // Nothing is replaced unless the whole file was read and the new text is fully written.
  if (!read || insertAt == std::string::npos) return 0;
  std::string line = (needsLineEnd ? "\r\n" : "") + std::string("Nul=") + shortPath + "\r\n";
  text.insert(insertAt, line);

  HANDLE tmp = files.CreateFileA(tmpPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
  if (tmp == INVALID_HANDLE_VALUE) return 0;
  DWORD written = 0;
  bool complete = files.WriteFile(tmp, text.data(), static_cast<DWORD>(text.size()), &written) && written == text.size();
  files.CloseHandle(tmp);
  if (!complete) {
    files.DeleteFileA(tmpPath.c_str());
    return 0;
  }
  files.SetFileAttributesA(iniPath.c_str(), FILE_ATTRIBUTE_NORMAL);
  files.DeleteFileA(iniPath.c_str());
  files.MoveFileA(tmpPath.c_str(), iniPath.c_str());
  return 0;
}

int CQXErsDoc::DeleteMatchingFiles(const std::string& directory, const std::string& pattern) {
  if (directory.empty() || pattern.empty()) return 0;
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
    if (files.DeleteFileA(path.c_str())) ++count;
  } while (files.FindNextFileA(find, found));
  files.FindClose(find);
  return count;
}

int CQXErsDoc::RemoveFolder(const std::string& path) {
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
    }
  }
  AddLog(logFiles, line);
  return result;
}

void CQXErsDoc::RetryDeferredFiles() {
  AddLog(logFiles, kLightLine + "Spoolerを停止して削除");
  if (osType == 0 || deferredFiles.empty()) return;
  // Files the spooler holds open can go while it is stopped.
  if (spoolerRunning) StopServiceByIndex(kSpoolerService);
  for (const std::string& path : deferredFiles) {
    std::string line = path + " Spooler停止後";
    sys.files.SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (sys.files.DeleteFileA(path.c_str())) {
      line += "  削除成功。";
    } else {
      sys.files.MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
      restartNeeded = 1;
      AddLog(logRestartCauses, path + " の削除に失敗");
      line += "  削除失敗。";
    }
    AddLog(logFiles, line);
  }
  if (spoolerRunning) StartServiceByIndex(kSpoolerService);
}

}  // namespace qx
