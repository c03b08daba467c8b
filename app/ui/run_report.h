// What an unattended run tells the deployment tool that started it: the Windows Installer's
// exit codes, and the small result file of /report.
#pragma once

#include <string>
#include <vector>

#include "app/CQXErsDoc.h"

namespace qx {

// The Windows Installer's codes, which every deployment tool reads without configuration.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitNoRights = 5;            // ERROR_ACCESS_DENIED
inline constexpr int kExitBadCommandLine = 87;     // ERROR_INVALID_PARAMETER
inline constexpr int kExitCancelled = 1602;        // ERROR_INSTALL_USEREXIT
inline constexpr int kExitFailed = 1603;           // ERROR_INSTALL_FAILURE
inline constexpr int kExitAlreadyRunning = 1618;   // ERROR_INSTALL_ALREADY_RUNNING
inline constexpr int kExitNoConfiguration = 1619;  // ERROR_INSTALL_PACKAGE_OPEN_FAILED
inline constexpr int kExitUnsupported = 1633;      // ERROR_INSTALL_PLATFORM_UNSUPPORTED
inline constexpr int kExitRestartStarted = 1641;   // ERROR_SUCCESS_REBOOT_INITIATED
inline constexpr int kExitRestartNeeded = 3010;    // ERROR_SUCCESS_REBOOT_REQUIRED

// The result of a run that never started (a second instance).
inline constexpr int kResultNotRun = -100;

// The code for a run's result (kResult*), and whether the restart it needed was started.
int MsiExitCode(int result, bool restartStarted);

// What the result file says of one run.
struct RunReport {
  std::string computer, windows;  // GetComputerNameA's name; the version GetVersionExA gives
  SYSTEMTIME start{}, end{};
  int result = kResultDone;
  int exitCode = kExitSuccess;
  bool restartNeeded = false, restartStarted = false;
  std::string log;       // QXErs.log's full path when the run wrote it
  std::string logCopy;   // /log's path
  bool logCopyFailed = false;
  // The log's sections in its order: the heading and the lines of the section that report a
  // failure ("失敗", but not "失敗 or なし", which the log says also of what was not there).
  std::vector<std::pair<std::string, StringList>> failures;
};

// The report's facts from the job and the machine (the computer name and Windows version).
RunReport GatherReport(CQXErsDoc& doc, int result, int exitCode, bool restartStarted, const SYSTEMTIME& start);

// The file's text: INI layout, CP932, CR LF, for GetPrivateProfileStringA.
std::string FormatReport(const RunReport& report);

// Writes text to path through a temporary file beside it and a rename over the old file, so
// that a collector never reads half a file. False when it could not be written.
bool WriteFileWhole(Files& files, const std::string& path, const std::string& text);

}  // namespace qx
