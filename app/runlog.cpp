// QXErs.log: an environment block written before any removal, and the collected result
// sections written after the last one. The stages only collect lines in memory.
#include <cstdio>

#include "app/CQXErsDoc.h"
#include "app/log_lines.h"
#include "platform/spooler.h"
#include "app/registry.h"

namespace qx {

namespace {

constexpr const char* kCrLf = "\r\n";

const char* OsName(int osType) {
  switch (osType) {
    case 0: return "Windows98/95";
    case 1: return "WindowsNT3.51";
    case 2: return "WindowsNT4.0";
    case 3: return "Windows2000";
    default: return "";
  }
}

void Write(Files& files, HANDLE file, const std::string& text) {
  DWORD written = 0;
  files.WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written);
}

// Opens the log and moves to its end; INVALID_HANDLE_VALUE when either fails.
HANDLE OpenLogAtEnd(Files& files, System& system, const std::string& path, DWORD creation) {
  HANDLE file = files.CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, creation, FILE_ATTRIBUTE_NORMAL);
  if (file == INVALID_HANDLE_VALUE) return file;
  system.SetLastError(ERROR_SUCCESS);
  if (files.SetFilePointer(file, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
      system.GetLastError() != ERROR_SUCCESS) {
    files.CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

std::string Listed(const StringList& items) {
  std::string text;
  for (const std::string& item : items) text += "  " + item + kCrLf;
  return text;
}

}  // namespace

// The files the log goes to: QXErs.log in the temporary directory when QXErs.ini asks for it,
// and the copy the command line names. Each is opened before anything is gathered, so that a
// log that cannot be opened costs nothing; a copy that cannot be written is noted and not
// tried again.
std::vector<HANDLE> CQXErsDoc::OpenLogFiles(DWORD creation) {
  std::vector<HANDLE> files;
  // Without a temporary directory the name alone would land in the current directory.
  if (logEnabled == 1 && !tempDir.empty()) {
    HANDLE file = OpenLogAtEnd(sys.files, sys.system, tempDir + "QXErs.log", creation);
    if (file != INVALID_HANDLE_VALUE) files.push_back(file);
    logWritten = file != INVALID_HANDLE_VALUE && (creation == CREATE_ALWAYS || logWritten);
  }
  if (!logCopyPath.empty() && !logCopyFailed) {
    HANDLE file = OpenLogAtEnd(sys.files, sys.system, logCopyPath, creation);
    if (file != INVALID_HANDLE_VALUE) files.push_back(file);
    else logCopyFailed = true;
  }
  return files;
}

void CQXErsDoc::WriteToLogFiles(const std::vector<HANDLE>& files, const std::string& text) {
  for (HANDLE file : files) Write(sys.files, file, text);
}

void CQXErsDoc::CloseLogFiles(const std::vector<HANDLE>& files) {
  for (HANDLE file : files) sys.files.CloseHandle(file);
}

int CQXErsDoc::WriteLogHeader() {
  std::vector<HANDLE> files = OpenLogFiles(CREATE_ALWAYS);
  if (files.empty()) return -1;

  SYSTEMTIME now;
  sys.system.GetLocalTime(now);
  char time[96];
  std::snprintf(time, sizeof time, "%d年 %d月 %d日 %d時 %d分", now.wYear, now.wMonth, now.wDay, now.wHour,
                now.wMinute);
  WriteToLogFiles(files, kHeavyLine + "＜環境情報＞" + kCrLf + time + kCrLf + "OS Type：" + OsName(osType) + kCrLf);

  std::string block = std::string("Qorvexディレクトリ：") + kCrLf + Listed(productDirs);
  block += std::string("Spoolディレクトリ：") + kCrLf + Listed(spoolDirs);
  block += std::string("Installed Qorvex：") + kCrLf;
  StringList products;
  EnumSubkeyNames(sys.registry, HKEY_LOCAL_MACHINE, "SOFTWARE\\ZOV\\Qorvex\\Printers", products);
  for (const std::string& name : products) {
    if (ReadRegistryValue(sys.registry, HKEY_LOCAL_MACHINE, "SOFTWARE\\ZOV\\Qorvex\\Printers\\" + name + "\\Status Variables",
                          "", nullptr, nullptr, nullptr)) {
      block += "  " + name + kCrLf;
    }
  }
  StringList printers;
  if (spoolerRunning) {
    block += std::string("Installed Printer：(Spooler実行中)") + kCrLf;
    std::vector<PRINTER_INFO_2A> found;
    if (sys.spooler.EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, found)) {
      for (const PRINTER_INFO_2A& printer : found) printers.push_back(printer.pPrinterName);
    }
  } else {
    block += std::string("Installed Printer：(Spooler停止中)") + kCrLf;
    EnumSubkeyNames(sys.registry, HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers", printers);
    EnumSubkeyNames(sys.registry, HKEY_CURRENT_USER, "Printers\\Connections", printers);
  }
  WriteToLogFiles(files, block + Listed(printers));

  std::string kinds = "削除種類：";
  if (delFlags & kDelNetPort) kinds += "Netrova ";
  if (delFlags & kDelProduct) kinds += "Qorvex ";
  if (delFlags & kDelDrivers) kinds += "Driver ";
  WriteToLogFiles(files, kinds + kCrLf);
  WriteToLogFiles(files, "削除対象データ数：" + std::to_string(stepTotal) + kCrLf);
  CloseLogFiles(files);
  return 0;
}

int CQXErsDoc::WriteLogSections() {
  std::vector<HANDLE> files = OpenLogFiles(OPEN_EXISTING);
  if (files.empty()) return -1;
  for (const auto& [heading, lines] : Sections()) {
    if (lines->empty()) continue;
    std::string text = kHeavyLine + heading + kCrLf;
    for (const std::string& line : *lines) text += line + kCrLf;
    WriteToLogFiles(files, text);
  }
  WriteToLogFiles(files, kHeavyLine);
  CloseLogFiles(files);
  return 0;
}

}  // namespace qx
