#include "fuzz/fuzz_machine.h"

#include <cstdio>
#include <cstdlib>

namespace qx::fuzz {

namespace {

constexpr const char* kHklm = "HKEY_LOCAL_MACHINE\\";
constexpr const char* kCurrentVersion = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr const char* kNtCurrentVersion = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* kControl = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control";
constexpr const char* kServices = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services";
constexpr const char* kFamily = "HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV";

std::string User() { return std::string("HKEY_USERS\\") + kUserSid; }

std::string Dword(DWORD v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                     static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
}

void AddService(sim::SimMachine& m, const std::string& name, DWORD type, DWORD start, const std::string& image,
                const std::string& group) {
  const std::string key = std::string(kServices) + "\\" + name;
  m.SetDword(key, "Type", type);
  m.SetDword(key, "Start", start);
  m.SetDword(key, "ErrorControl", 1);
  m.SetValue(key, "ImagePath", REG_EXPAND_SZ, image + '\0');
  if (!group.empty()) m.SetString(key, "Group", group);
  m.SetString(key, "ObjectName", "LocalSystem");
}

}  // namespace

void AddWindowsRegistry(sim::SimMachine& m) {
  // The roots' own subkeys.
  m.SetString("HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System", "Identifier", "AT/AT COMPATIBLE");
  m.AddKey("HKEY_LOCAL_MACHINE\\SAM\\SAM\\Domains\\Account");
  m.AddKey("HKEY_LOCAL_MACHINE\\SECURITY\\Policy");

  // SOFTWARE\Microsoft\Windows\CurrentVersion.
  const std::string cv = kCurrentVersion;
  m.SetString(cv, "ProgramFilesDir", "C:\\Program Files");
  m.SetString(cv, "CommonFilesDir", "C:\\Program Files\\Common Files");
  m.SetString(cv + "\\Uninstall\\Qorvex 1.2", "DisplayName", "Qorvex 1.2");
  m.SetString(cv + "\\Uninstall\\Qorvex 1.2", "UninstallString", "C:\\Program Files\\Qorvex\\UNINST.EXE");
  m.SetString(cv + "\\Uninstall\\Hanakoya Memo", "DisplayName", "Hanakoya Memo 3.1");
  m.SetString(cv + "\\Uninstall\\Hanakoya Memo", "UninstallString", "C:\\Program Files\\Hanakoya\\Unwise.exe");
  m.SetString(cv + "\\Uninstall\\QORVEX LEGACY", "UninstallString", "C:\\QXLEGACY\\UNINST.EXE");
  m.SetString(cv + "\\Run", "SysTray", "SysTray.Exe");
  m.SetString(cv + "\\Run", "ZOVPMN", "C:\\Program Files\\Qorvex\\ZOVPMN.EXE");
  m.SetString(cv + "\\RunServices", "ZOVRCM95", "C:\\WINNT\\System32\\ZOVRCM95.EXE");
  m.SetDword(cv + "\\SharedDLLs", "C:\\WINNT\\System32\\ZOVPMN.DLL", 1);
  m.SetDword(cv + "\\SharedDLLs", "C:\\WINNT\\System32\\MFC42.DLL", 7);
  m.SetString(cv + "\\App Paths\\ZOVPMN.EXE", "", "C:\\Program Files\\Qorvex\\ZOVPMN.EXE");
  const std::string shell = cv + "\\Explorer\\Shell Folders";
  m.SetString(shell, "Common Programs", "C:\\WINNT\\Profiles\\All Users\\スタート メニュー\\プログラム");
  m.SetString(shell, "Common Desktop", "C:\\WINNT\\Profiles\\All Users\\デスクトップ");
  m.SetString(shell, "Common Startup", "C:\\WINNT\\Profiles\\All Users\\スタート メニュー\\プログラム\\スタートアップ");

  // SOFTWARE\Microsoft\Windows NT\CurrentVersion.
  const std::string nt = kNtCurrentVersion;
  m.SetString(nt, "CurrentVersion", "4.0");
  m.SetString(nt, "CurrentBuildNumber", "1381");
  m.SetString(nt, "CSDVersion", "Service Pack 6");
  m.SetString(nt, "RegisteredOwner", "情報システム部");
  m.SetString(nt, "SystemRoot", "C:\\WINNT");
  m.SetString(nt + "\\Ports", "LPT1:", "");
  m.SetString(nt + "\\Ports", "FILE:", "");
  m.SetString(nt + "\\Windows", "AppInit_DLLs", "ZOVHOOK.DLL,HNKHOOK.DLL");
  m.AddKey(nt + "\\Print\\Printers");
  m.SetString(nt + "\\Winlogon", "DefaultUserName", "Administrator");
  m.SetValue(nt + "\\ProfileList\\" + kUserSid, "ProfileImagePath", REG_EXPAND_SZ,
             std::string("%SystemRoot%\\Profiles\\Administrator") + '\0');

  // HKEY_CLASSES_ROOT.
  const std::string classes = std::string(kHklm) + "SOFTWARE\\Classes";
  m.SetString(classes + "\\.txt", "", "txtfile");
  m.SetString(classes + "\\CLSID\\{00021400-0000-0000-C000-000000000046}\\InprocServer32", "",
              "C:\\WINNT\\System32\\SHELL32.dll");
  m.SetString(classes + "\\CLSID\\{6E1A3F20-7C3B-11D2-9A4E-00A0C9000001}\\InprocServer32", "",
              "C:\\Program Files\\Qorvex\\ZOVQXPUC.DLL");

  // SYSTEM\CurrentControlSet: services and the spooler's keys.
  AddService(m, "EventLog", 0x20, 2, "%SystemRoot%\\system32\\services.exe", "Event log");
  AddService(m, "Spooler", 0x110, 2, "%SystemRoot%\\system32\\spoolss.exe", "SpoolerGroup");
  AddService(m, "ZOVPMN", 0x110, 2, "C:\\WINNT\\System32\\ZOVPMNNT.EXE", "ZOV Printing Service");
  AddService(m, "ZOVRCM", 0x10, 2, "C:\\WINNT\\System32\\ZOVRCMNT.EXE", "ZOV Printing Service");
  m.SetString(std::string(kServices) + "\\EventLog\\Application\\ZOVPMN", "EventMessageFile",
              "C:\\WINNT\\System32\\ZOVPMN.DLL");
  m.SetString(std::string(kServices) + "\\EventLog\\Application\\Winlogon", "EventMessageFile",
              "%SystemRoot%\\System32\\netevent.dll");
  const std::string print = std::string(kControl) + "\\Print";
  m.SetString(print + "\\Printers\\HP LaserJet 4", "Port", "LPT1:");
  m.SetString(print + "\\Printers\\HP LaserJet 4", "Printer Driver", "HP LaserJet 4");
  m.SetString(print + "\\Printers\\HP LaserJet 4", "Print Processor", "WinPrint");
  m.SetDword(print + "\\Printers\\HP LaserJet 4", "Attributes", 0x40);
  m.SetString(print + "\\Printers\\Qorvex Printer", "Port", "LPT1:");
  m.SetString(print + "\\Printers\\Qorvex Printer", "Printer Driver", "HP LaserJet 4");
  m.SetString(print + "\\Printers\\Qorvex Printer", "Print Processor", "WinPrint");
  m.SetString(print + "\\Monitors\\Local Port", "Driver", "localmon.dll");
  m.SetString(print + "\\Environments\\Windows NT x86\\Print Processors\\WinPrint", "Driver", "WINPRINT.DLL");
  const std::string driver = print + "\\Environments\\Windows NT x86\\Drivers\\Version-2\\HP LaserJet 4";
  m.SetString(driver, "Configuration File", "HPLJ4.DLL");
  m.SetString(driver, "Data File", "HPLJ4.DLL");
  m.SetString(driver, "Driver", "HPLJ4.DLL");
  m.SetDword(driver, "Version", 2);
  m.AddKey(std::string(kControl) + "\\Session Manager\\Environment");
  m.SetValue(std::string(kControl) + "\\Session Manager\\Environment", "TEMP", REG_EXPAND_SZ,
             std::string("%SystemRoot%\\TEMP") + '\0');

  // HKEY_USERS: the default user and the current user's hive.
  m.SetString("HKEY_USERS\\.DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "InternatTray", "internat.exe");
  m.SetString("HKEY_USERS\\.DEFAULT\\Control Panel\\International", "Locale", "00000411");
  const std::string user = User();
  m.SetString(user + "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "QXSTAT",
              "C:\\Program Files\\Qorvex\\ZOVPMN.EXE /tray");
  m.SetString(user + "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Programs",
              "C:\\WINNT\\Profiles\\Administrator\\スタート メニュー\\プログラム");
  m.SetString(user + "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Desktop",
              "C:\\WINNT\\Profiles\\Administrator\\デスクトップ");
  m.SetString(user + "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", "Device",
              "HP LaserJet 4,winspool,LPT1:");
  m.SetString(user + "\\Software\\ZOV\\Qorvex", "Language", "日本語");
  m.SetString(user + "\\Environment", "TEMP", "C:\\TEMP");

  // The family.
  const std::string family = kFamily;
  m.SetString(family + "\\Shared", "Products", "Scriptora,Qorvex,Netbridge");
  m.SetString(family + "\\Shared", "Qorvex10Dir", "C:\\QORVEX10");
  m.SetString(family + "\\Qorvex", "Version", "1.2");
  m.SetString(family + "\\Qorvex", "InstallDir", "C:\\Program Files\\Qorvex");
  m.SetDword(family + "\\Qorvex", "Installed", 1);
  m.SetString(family + "\\Qorvex\\PQS", "CachePath", "C:\\Program Files\\Qorvex\\PQS\\Cache");
  const std::string printer = family + "\\Qorvex\\Printers\\Qorvex Printer";
  m.SetString(printer, "PSPOOL", "C:\\Program Files\\Qorvex\\SPOOL\\QXPRN1");
  m.SetString(printer, "MIGFP1", "C:\\Program Files\\Qorvex\\Migrate,QXOLD.INI");
  m.SetString(printer, "MIGKP1", "SOFTWARE\\ZOV,Qorvex 1.0");
  m.SetString(printer, "MIGVP1", "SOFTWARE\\ZOV\\Shared,Qorvex10Dir");
  m.SetString(family + "\\Qorvex 1.0", "Version", "1.0");
  m.SetString(family + "\\QorvexTools", "InstallDir", "C:\\Program Files\\QorvexTools");
  m.SetValue(family + "\\Netrova Port", "Ports", REG_MULTI_SZ, std::string("ZOVIP_192.168.1.20\0\0", 20));
  m.SetValue(family + "\\Qorvex", "Options", REG_BINARY, Dword(0x00010001));
}

void AddWindowsFiles(sim::SimMachine& m) {
  m.AddFile("C:\\WINNT\\explorer.exe", "MZ explorer");
  m.AddFile("C:\\WINNT\\win.ini", "[windows]\r\nload=\r\nrun=\r\n");
  m.AddFile("C:\\WINNT\\System32\\kernel32.dll", "MZ kernel32");
  m.AddFile("C:\\WINNT\\System32\\MFC42.DLL", "MZ mfc42");
  m.AddFile("C:\\WINNT\\System32\\ZOVPMN.DLL", "MZ zovpmn");
  m.AddFile("C:\\WINNT\\System32\\ZOVPMNNT.EXE", "MZ zovpmnnt");
  m.AddFile("C:\\WINNT\\System32\\spool\\drivers\\w32x86\\2\\HPLJ4.DLL", "MZ hplj4");
  m.AddDirectory("C:\\WINNT\\System32\\spool\\PRINTERS");
  m.AddFile("C:\\WINNT\\Profiles\\Administrator\\NTUSER.DAT", "regf");
  m.AddFile("C:\\WINNT\\Profiles\\Administrator\\デスクトップ\\報告書.txt", "report");
  m.AddDirectory("C:\\WINNT\\Profiles\\Administrator\\スタート メニュー\\プログラム\\アクセサリ");
  m.AddDirectory("C:\\WINNT\\Profiles\\All Users\\スタート メニュー\\プログラム\\スタートアップ");
  m.AddDirectory("C:\\WINNT\\Profiles\\All Users\\デスクトップ");
  m.AddDirectory("C:\\TEMP");
  m.AddFile("C:\\Program Files\\Common Files\\Microsoft Shared\\MSINFO\\MSINFO32.EXE", "MZ msinfo");
  m.AddFile("C:\\Program Files\\Hanakoya\\memo.exe", "MZ memo");
  m.AddFile("C:\\Program Files\\Hanakoya\\Unwise.exe", "MZ unwise");
  m.AddFile("C:\\Program Files\\Qorvex\\UNINST.EXE", "MZ uninst");
  m.AddFile("C:\\Program Files\\Qorvex\\ZOVPMN.EXE", "MZ zovpmn");
  m.AddFile("C:\\Program Files\\Qorvex\\Readme.txt", "readme");
  m.AddFile("C:\\Program Files\\Qorvex\\temp.001", "t");
  m.AddFile("C:\\Program Files\\Qorvex\\LOG\\qx.log", "log");
  m.AddFile("C:\\Program Files\\Qorvex\\Migrate\\QXOLD.INI", "[Old]\r\n");
  m.AddFile("C:\\Program Files\\Qorvex\\SPOOL\\QXPRN1\\psf0001.prn", "job");
  m.AddFile("C:\\Program Files\\Qorvex\\PQS\\Cache\\zov0001.dat", "cache");
  m.AddFile("C:\\Program Files\\ZOV\\Scriptora\\DeIsl1.isu", "isu");
  m.AddFile("C:\\Program Files\\ZOV\\Netbridge\\UNINST.EXE", "MZ");
  m.AddFile("C:\\Program Files\\ZOV\\PLS\\ZOVPLS.exe", "MZ");
  m.AddFile("C:\\Program Files\\ZOV\\PLS\\DeIsl2.isu", "isu");
  m.AddFile("C:\\QXLEGACY\\UNINST.EXE", "MZ other vendor");
}

const std::vector<std::string>& ProtectedKeys() {
  static const std::vector<std::string> keys = {
      "HKEY_LOCAL_MACHINE\\SOFTWARE",
      "HKEY_LOCAL_MACHINE\\SYSTEM",
      "HKEY_LOCAL_MACHINE\\HARDWARE",
      "HKEY_LOCAL_MACHINE\\SAM",
      "HKEY_LOCAL_MACHINE\\SECURITY",
      "HKEY_USERS\\.DEFAULT",
      User(),
      User() + "\\Software",
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft",
      std::string(kCurrentVersion) + "\\Uninstall",
      std::string(kCurrentVersion) + "\\Run",
      kNtCurrentVersion,
      std::string(kControl) + "\\Print\\Printers",
      kServices,
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID",
  };
  return keys;
}

const std::vector<std::string>& ProtectedFiles() {
  static const std::vector<std::string> files = {
      "C:\\",
      "C:\\WINNT",
      "C:\\WINNT\\explorer.exe",
      "C:\\WINNT\\System32",
      "C:\\WINNT\\System32\\kernel32.dll",
      "C:\\Program Files",
      "C:\\WINNT\\Profiles",
      "C:\\TEMP",
  };
  return files;
}

bool StrictOracle() {
  // On unless QX_FUZZ_ORACLE=0: the engine keeps every rule now.
  static const bool on = [] {
    const char* v = std::getenv("QX_FUZZ_ORACLE");
    return !(v && std::string_view(v) == "0");
  }();
  return on;
}

std::string Shown(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    }
  }
  return out + "\"";
}

void Violation(const char* target, const std::string& rule, std::string_view input) {
  std::fprintf(stderr, "\n== %s: %s\n   input (%zu bytes): %s\n", target, rule.c_str(), input.size(),
               Shown(input.substr(0, 2000)).c_str());
  std::fflush(stderr);
  std::abort();
}

std::string FoldName(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
      ++i;  // the second byte belongs to the character
    } else if (c >= 'a' && c <= 'z') {
      out[i] = static_cast<char>(c - 'a' + 'A');
    }
  }
  return out;
}

std::vector<std::string> PathPieces(std::string_view path) {
  std::vector<std::string> pieces;
  std::string piece;
  for (std::size_t i = 0; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) && i + 1 < path.size()) {
      piece += path.substr(i, 2);
      ++i;
    } else if (c == '\\') {
      if (!piece.empty()) pieces.push_back(piece);
      piece.clear();
    } else {
      piece += static_cast<char>(c);
    }
  }
  if (!piece.empty()) pieces.push_back(piece);
  return pieces;
}

bool IsAtOrBelow(std::string_view path, std::string_view base) {
  std::vector<std::string> p = PathPieces(path), b = PathPieces(base);
  if (p.size() < b.size()) return false;
  for (std::size_t i = 0; i < b.size(); ++i) {
    if (FoldName(p[i]) != FoldName(b[i])) return false;
  }
  return true;
}

RegistrySnapshot Snapshot(const sim::SimMachine& m) {
  RegistrySnapshot snapshot;
  for (const std::string& key : m.AllKeys()) snapshot[FoldName(key)] = KeyState{key, m.Values(key)};
  return snapshot;
}

}  // namespace qx::fuzz
