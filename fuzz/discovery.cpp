// Where the family is installed, as the registry and the migration settings file tell it,
// with any values, and a whole erase run on a small simulated Windows NT 4.0 print server
// that trusts them: the uninstall strings (Uninstall\Qorvex*, the utilities' and the
// companion program's entries), the printers' records below SOFTWARE\ZOV\Qorvex\Printers
// (MIG*, PSPOOL, UninstallString), the cache path, and C:\WINNT\ZOVQXCFG.INI.
//
// Input, one record a line (LF, a CR before it dropped); other lines are ignored:
//   U <entry>=<text>             Uninstall\<entry>: UninstallString
//   A <entry>=<text>             Uninstall\<entry>: ApplicationName
//   P <printer>\<value>=<text>   SOFTWARE\ZOV\Qorvex\Printers\<printer>: <value>
//   C=<text>                     SOFTWARE\ZOV\Qorvex\PQS: CachePath
//   L=<text>                     QXErs.ini's LOG (1 unless given: the log goes to the temporary
//                                directory before the stages start)
//   [ZOVQXCFG.INI]               every byte after this line is C:\WINNT\ZOVQXCFG.INI
//
// Unless QX_FUZZ_ORACLE=0: Windows' own folders and files (fuzz::ProtectedFiles) survive the
// run, whatever the records say.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/CQXErsDoc.h"
#include "fuzz/fuzz_machine.h"
#include "platform/sim/sim_machine.h"
#include "support/run_fixture.h"

namespace {

constexpr const char* kTarget = "discovery";
constexpr std::size_t kMaxRecords = 64;
constexpr const char* kUninstall = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr const char* kPrinters = "HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\Qorvex\\Printers\\";
constexpr const char* kSettingsFileHeading = "[ZOVQXCFG.INI]";

// The configuration of images/default, as an administrator would run it.
const std::vector<std::string> kConfig = {
    "[ENVIRONMENT]", "AP=QXERASER", "SUPPORTOS=95N1N42K", "LOG=1", "DELFLG=111", "DEFAULT_DELPRINTER=0",
    "[DEL_FILE.PP.WINDIR]", "1=ZOVTCP.INI",
    "[DEL_FILE.PP.WINSYSDIR]", "1=ZOVTCPMN.DLL", "2=ZOVTCPUI.DLL",
    "[DEL_REG.PP]", "1=HKEY_LOCAL_MACHINE,SOFTWARE\\ZOV\\Netrova Port",
    "[DEL_PRINTER_NAME]", "1=Qorvex PS Driver",
    "[DEL_LM_NAME]", "1=ZOV Language Monitor",
    "[DEL_FILE.DRV.WINDIR]", "1=ZOVPS.INI",
    "[DEL_FILE.DRV.WINSYSDIR]", "1=ZOVLM.DLL", "2=spool\\drivers\\w32x86\\2\\ZOVPS.DLL",
    "[DEL_REG.DRV]", "1=HKEY_LOCAL_MACHINE,SOFTWARE\\ZOV\\Qorvex Driver",
    "[DEL_PROC_NAME]", "1=ZOVPDD",
    "[DEL_FILE.QX.QXDIR]", "1=ZOVPMN.EXE", "2=ZOVPQS.DLL", "3=QXSTAT.HLP", "4=Readme.txt", "5=UNINST.EXE",
    "6=UNWISE.EXE", "7=ZOVPLS.exe", "8=ZOVQXPUC.DLL",
    "[DEL_FILE.QX.WINDIR]", "1=ZOVQX.INI",
    "[DEL_FILE.QX.WINSYSDIR]", "1=ZOVPMN.DLL", "2=ZOVSRM.DLL", "3=ZOVPMNNT.EXE",
    "[DEL_REG.QX]", "1=HKEY_LOCAL_MACHINE,SOFTWARE\\ZOV\\Qorvex",
    "2=HKEY_LOCAL_MACHINE,SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qorvex 1.2",
    "3=HKEY_LOCAL_MACHINE,SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run,ZOVPMN",
    "4=HKEY_CURRENT_USER,Software\\ZOV\\Qorvex",
    "5=HKEY_CURRENT_USER,Software\\Microsoft\\Windows\\CurrentVersion\\Run,QXSTAT",
    "6=HKEY_LOCAL_MACHINE,SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Scriptora Utility",
    "7=HKEY_LOCAL_MACHINE,SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ﾌﾟﾘﾝﾀ管理ﾕｰﾃｨﾘﾃｨ",
    "[PULL_REG.QX]", "1=HKEY_LOCAL_MACHINE,SOFTWARE\\ZOV\\Shared,Products,Qorvex",
    "2=HKEY_LOCAL_MACHINE,SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows,AppInit_DLLs,ZOVHOOK.DLL",
    "[DEL_FOLDER.QX]", "1=Qorvex", "2=アクセサリ,Qorvex ステータスモニタ.LNK",
    "[DEL_FILE.QX.ROOT]", "1=QXSETUP.LOG"};

void SetText(qx::sim::SimMachine& m, const std::string& key, const std::string& name, const std::string& text) {
  m.SetValue(key, name, qx::REG_SZ, text + '\0');
}

// Carries the records out on the machine; log receives the LOG setting.
void Apply(const std::string& input, qx::sim::SimMachine& m, std::string& log) {
  std::size_t start = 0;
  std::size_t records = 0;
  while (start < input.size() && records < kMaxRecords) {
    std::size_t end = input.find('\n', start);
    std::string line = input.substr(start, end == std::string::npos ? std::string::npos : end - start);
    start = end == std::string::npos ? input.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == kSettingsFileHeading) {
      m.AddFile("C:\\WINNT\\ZOVQXCFG.INI", input.substr(start));
      return;
    }
    std::size_t eq = line.find('=');
    if (line.size() < 2 || eq == std::string::npos) continue;
    std::string name = line.substr(2, eq < 2 ? 0 : eq - 2);
    std::string text = line.substr(eq + 1);
    ++records;
    if (line[0] == 'C' && eq == 1) {
      SetText(m, "HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\Qorvex\\PQS", "CachePath", text);
      continue;
    }
    if (line[0] == 'L' && eq == 1) {
      log = text;
      continue;
    }
    if (line[1] != ' ' || name.empty()) continue;
    if (line[0] == 'U') {
      SetText(m, kUninstall + name, "UninstallString", text);
    } else if (line[0] == 'A') {
      SetText(m, kUninstall + name, "ApplicationName", text);
    } else if (line[0] == 'P') {
      std::size_t slash = name.find('\\');
      if (slash == std::string::npos || slash == 0 || slash + 1 == name.size()) continue;
      SetText(m, kPrinters + name.substr(0, slash), name.substr(slash + 1), text);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qx;
  const std::string input(reinterpret_cast<const char*>(data), size);
  test::RunFixture run;
  sim::SimMachine& m = run.machine;
  fuzz::AddWindowsRegistry(m);
  fuzz::AddWindowsFiles(m);
  for (const char* service : {"EventLog", "Spooler", "ZOVPMN", "ZOVRCM"}) m.SetServiceState(service, SERVICE_RUNNING);
  std::string log = "1";
  Apply(input, m, log);
  std::vector<std::string> config = kConfig;
  config[3] = "LOG=" + log;
  run.WriteConfig(config);

  std::vector<std::string> present;
  for (const std::string& path : fuzz::ProtectedFiles()) {
    if (m.HasFile(path) || m.HasDirectory(path)) present.push_back(path);
  }
  run.Run();

  if (!fuzz::StrictOracle()) return 0;
  for (const std::string& path : present) {
    if (!m.HasFile(path) && !m.HasDirectory(path)) {
      fuzz::Violation(kTarget, "Windows' own " + path + " was deleted", input);
    }
  }
  return 0;
}
