#include "app/ui/run_report.h"

#include <cstdio>

#include "app/text.h"

namespace qx {

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr const char* kFailureWord = "失敗";
// The log's word for a deletion that failed or found nothing to delete: not a failure.
constexpr const char* kFailedOrAbsent = "失敗 or なし";

// The log's sections by the names the result file gives them, in the log's order.
constexpr const char* kSectionKeys[] = {"Files",  "Registry", "PartialRegistry", "Folders",
                                        "Others", "Drivers",  "SpoolerStopped",  "RestartCauses"};

std::string Time(const SYSTEMTIME& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear % 10000u, t.wMonth % 100u, t.wDay % 100u,
                t.wHour % 100u, t.wMinute % 100u, t.wSecond % 100u);
  return text;
}

std::string WindowsVersion(System& system) {
  OSVERSIONINFOA info;
  info.dwOSVersionInfoSize = 148;
  if (!system.GetVersionExA(info)) return "";
  bool nt = info.dwPlatformId == VER_PLATFORM_WIN32_NT;
  // Windows 95/98 keep the version in the build number's high word.
  DWORD build = nt ? info.dwBuildNumber : info.dwBuildNumber & 0xFFFF;
  std::string text = std::string(nt ? "Windows NT " : "Windows ") + std::to_string(info.dwMajorVersion) + "." +
                     std::to_string(info.dwMinorVersion) + "." + std::to_string(build);
  std::string service = Trim(info.szCSDVersion);
  if (!service.empty()) text += " " + service;
  return text;
}

std::string ComputerName(System& system) {
  char name[64] = {};
  DWORD size = sizeof name;
  return system.GetComputerNameA(name, &size) ? std::string(name, size < sizeof name ? size : sizeof name - 1) : "";
}

}  // namespace

int MsiExitCode(int result, bool restartStarted) {
  switch (result) {
    case kResultDone: return kExitSuccess;
    case kResultRestart: return restartStarted ? kExitRestartStarted : kExitRestartNeeded;
    case kResultCancelled: return kExitCancelled;
    case kResultNoConfiguration: return kExitNoConfiguration;
    case kResultUnsupportedSystem: return kExitUnsupported;
    case kResultNoRights: return kExitNoRights;
    default: return kExitFailed;
  }
}

RunReport GatherReport(CQXErsDoc& doc, int result, int exitCode, bool restartStarted, const SYSTEMTIME& start) {
  RunReport r;
  r.computer = ComputerName(doc.sys.system);
  r.windows = WindowsVersion(doc.sys.system);
  r.start = start;
  doc.sys.system.GetLocalTime(r.end);
  r.result = result;
  r.exitCode = exitCode;
  r.restartNeeded = result == kResultRestart;
  r.restartStarted = restartStarted;
  if (doc.logWritten) r.log = doc.tempDir + "QXErs.log";
  r.logCopy = doc.logCopyPath;
  r.logCopyFailed = doc.logCopyFailed;
  for (const auto& [heading, lines] : doc.Sections()) {
    StringList failed;
    for (const std::string& line : *lines)
      if (ContainsText(line, kFailureWord) && !ContainsText(line, kFailedOrAbsent)) failed.push_back(line);
    r.failures.emplace_back(heading, std::move(failed));
  }
  return r;
}

std::string FormatReport(const RunReport& r) {
  std::string text = std::string("[Result]") + kCrLf;
  auto put = [&text](const std::string& key, const std::string& value) { text += key + "=" + value + kCrLf; };
  put("Computer", r.computer);
  put("Windows", r.windows);
  put("Start", Time(r.start));
  put("End", Time(r.end));
  put("Result", r.result == kResultNotRun ? "" : std::to_string(r.result));
  put("ExitCode", std::to_string(r.exitCode));
  put("RestartNeeded", r.restartNeeded ? "1" : "0");
  put("RestartStarted", r.restartStarted ? "1" : "0");
  put("Log", r.log);
  if (!r.logCopy.empty()) {
    put("LogCopy", r.logCopy);
    put("LogCopyWritten", r.logCopyFailed ? "0" : "1");
  }
  std::size_t total = 0;
  for (const auto& section : r.failures) total += section.second.size();
  put("Failures", std::to_string(total));
  std::string listed = std::string("[Failures]") + kCrLf;
  for (std::size_t i = 0; i < r.failures.size() && i < std::size(kSectionKeys); ++i) {
    const StringList& lines = r.failures[i].second;
    put(std::string("Failures.") + kSectionKeys[i], std::to_string(lines.size()));
    for (std::size_t n = 0; n < lines.size(); ++n)
      listed += std::string(kSectionKeys[i]) + "." + std::to_string(n + 1) + "=" + lines[n] + kCrLf;
  }
  return text + listed;
}

bool WriteFileWhole(Files& files, const std::string& path, const std::string& text) {
  if (path.empty()) return false;
  std::string temporary = path + ".part";
  HANDLE file = files.CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = files.WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written) && written == text.size();
  ok = files.CloseHandle(file) && ok;
  if (ok) {
    ok = files.MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
    // Windows 95/98 have no MoveFileEx: the old file goes first, then the new one takes its name.
    if (!ok) {
      files.DeleteFileA(path.c_str());
      ok = files.MoveFileA(temporary.c_str(), path.c_str());
    }
  }
  if (!ok) files.DeleteFileA(temporary.c_str());
  return ok;
}

}  // namespace qx
