// Removal of the family's printers, drivers, language monitors and print processors through
// the running print spooler.
#include <unordered_set>
#include <vector>

#include "app/text.h"
#include "printers/names.h"
#include "app/protected_places.h"
#include "app/registry.h"

namespace qx {

namespace {

std::string ProcessorsKey(const char* environment) {
  return std::string("System\\CurrentControlSet\\control\\Print\\Environments\\") + environment +
         "\\Print Processors";
}

bool ProcessorListed(Spooler& spooler, const char* environment, const std::string& name) {
  std::vector<PRINTPROCESSOR_INFO_1A> processors;
  if (!spooler.EnumPrintProcessorsA(nullptr, environment, processors)) return false;
  for (const PRINTPROCESSOR_INFO_1A& p : processors) {
    if (p.pName == name) return true;
  }
  return false;
}

// The first configured name equal to the text without regard to ASCII case, or null.
const std::string* FirstListed(const StringList& list, const std::string& text) {
  for (const std::string& entry : list) {
    if (EqualsNoCase(entry, text)) return &entry;
  }
  return nullptr;
}

std::string ErrorText(DWORD error) { return "  エラー：" + std::to_string(static_cast<int>(error)); }

}  // namespace

int CQXErsDoc::ReassignVirtualPorts() {
  std::vector<PRINTER_INFO_2A> printers;
  if (!sys.spooler.EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, printers)) return -1;
  for (PRINTER_INFO_2A& printer : printers) {
    bool ownProcessor = printer.pPrintProcessor == kProductProcessor;
    bool virtualPort = StartsWithNoCase(printer.pPortName, kVirtualPortPrefix);
    if (!ownProcessor && !virtualPort) continue;
    HANDLE handle = nullptr;
    PRINTER_DEFAULTSA defaults{nullptr, PRINTER_ACCESS_ADMINISTER};
    if (!sys.spooler.OpenPrinterA(printer.pPrinterName.c_str(), &handle, &defaults)) continue;
    if (ownProcessor) printer.pPrintProcessor = kStandardProcessor;
    if (virtualPort) {
      // A virtual printer follows the real printer it fed, when that one has a real port.
      std::string port = kParallelPort;
      if (std::optional<std::string> target = ReadVirtualPrinterTarget(printer.pPrinterName)) {
        for (const PRINTER_INFO_2A& other : printers) {
          if (other.pPrinterName != *target) continue;
          if (!StartsWithNoCase(other.pPortName, kVirtualPortPrefix)) port = other.pPortName;
          break;
        }
      }
      printer.pPortName = port;
    }
    sys.spooler.SetPrinterA(handle, 2, &printer, 0);
    sys.spooler.ClosePrinter(handle);
  }
  if (osType == kWindows9x || osType == kWindows2000) sys.spooler.DeletePortA(nullptr, nullptr, "VPT1");
  if (osType >= kWindowsNT351) sys.spooler.DeletePortA(nullptr, nullptr, "VPT1:");
  return 0;
}

void CQXErsDoc::DeleteProductPrintProcessor() {
  const char* environment = OwnEnvironment();
  BOOL deleted = sys.spooler.DeletePrintProcessorA(nullptr, environment, kProductProcessor);
  if (osType == kWindows9x || deleted != 1) {
    // The key removed is the one of the environment the spooler was asked about.
    if (ProcessorListed(sys.spooler, environment, kProductProcessor)) {
      DeleteRegistryValue(sys.registry, HKEY_LOCAL_MACHINE, ProcessorsKey(environment), "", kProductProcessor);
    }
  }
}

int CQXErsDoc::DeletePrintProcessorByName(const std::string& name) {
  if (!FitsBuffer(name)) {
    LogSkippedName(*this, name);
    return 1;
  }
  const char* environment = OwnEnvironment();
  bool removed = sys.spooler.DeletePrintProcessorA(nullptr, environment, name.c_str()) == 1;
  if (!removed && ProcessorListed(sys.spooler, environment, name)) {
    removed = DeleteKeyTree(sys.registry, HKEY_LOCAL_MACHINE, JoinKey(ProcessorsKey(environment), name)) == 1;
  }
  if (osType == kWindows2000) sys.spooler.DeletePrintProcessorA(nullptr, kWin95Environment, name.c_str());
  return removed ? 0 : 1;
}

std::vector<PRINTER_INFO_2A> CQXErsDoc::RemovePrintersOfListedDrivers() {
  // Printers, local ones and connections to other machines.
  std::vector<PRINTER_INFO_2A> printers;
  sys.spooler.EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, printers);
  for (const PRINTER_INFO_2A& printer : printers) {
    AddLog(logDrivers, printer.pPrinterName + " プリンタ発見");
    const std::string* listed = FirstListed(DEL_PRINTER_NAME, printer.pDriverName);
    if (!listed) continue;
    const char* name = printer.pPrinterName.c_str();
    BOOL result = FALSE;
    if (printer.pServerName.compare(0, 2, "\\\\") == 0) {
      result = sys.spooler.DeletePrinterConnectionA(name);
    } else {
      HANDLE handle = nullptr;
      PRINTER_DEFAULTSA defaults{"RAW", PRINTER_ALL_ACCESS};
      if (!sys.spooler.OpenPrinterA(name, &handle, &defaults)) {
        result = sys.spooler.DeletePrinterConnectionA(name);
      } else {
        result = sys.spooler.DeletePrinter(handle);
        sys.spooler.ClosePrinter(handle);
      }
    }
    AddLog(logDrivers, *listed + " プリンタ削除" + (result == 1 ? "成功" : "失敗"));
  }
  return printers;
}

void CQXErsDoc::DeleteListedDrivers() {
  // Drivers of this system's environment and, on Windows 2000, those it keeps for
  // Windows 95/98 clients.
  struct DriverPass {
    const char* environment;
    const char* found;
    const char* deletion;
  };
  std::vector<DriverPass> passes = {{OwnEnvironment(), " ドライバ発見", " ドライバ削除"}};
  if (osType == kWindows2000) passes.push_back({kWin95Environment, " 95用ドライバ発見", " 95用ドライバ削除"});
  for (const DriverPass& pass : passes) {
    std::vector<DRIVER_INFO_2A> drivers;
    sys.spooler.EnumPrinterDriversA(nullptr, pass.environment, drivers);
    for (const DRIVER_INFO_2A& driver : drivers) {
      AddLog(logDrivers, driver.pName + pass.found);
      const std::string* listed = FirstListed(DEL_PRINTER_NAME, driver.pName);
      if (!listed) continue;
      std::string line = *listed + pass.deletion;
      if (sys.spooler.DeletePrinterDriverA(nullptr, pass.environment, driver.pName.c_str()) == 1) {
        line += "成功";
      } else {
        line += "失敗" + ErrorText(sys.system.GetLastError());
      }
      AddLog(logDrivers, line);
    }
  }
  sys.system.Sleep(2000);
}

void CQXErsDoc::DeleteListedLanguageMonitors() {
  for (const std::string& monitor : DEL_LM_NAME) {
    std::string line = monitor + " ＬＭ削除";
    if (IsWindowsOwnMonitor(monitor)) {
      AddLog(logDrivers, line + "失敗" + kProtectedReason);
      ++failures;
      continue;
    }
    if (sys.spooler.DeleteMonitorA(nullptr, OwnEnvironment(), monitor.c_str()) == 1) {
      line += "成功";
      sys.system.Sleep(500);
    } else {
      line += "失敗 or なし" + ErrorText(sys.system.GetLastError());
    }
    AddLog(logDrivers, line);
    if (osType != kWindows2000) continue;
    line = monitor + " 95用ＬＭ削除";
    if (sys.spooler.DeleteMonitorA(nullptr, kWin95Environment, monitor.c_str()) == 1) {
      line += "成功";
      sys.system.Sleep(500);
    } else {
      line += "失敗" + ErrorText(sys.system.GetLastError());
    }
    AddLog(logDrivers, line);
  }
}

void CQXErsDoc::DeleteListedPrintProcessors() {
  for (const std::string& processor : DEL_PROC_NAME) {
    if (IsWindowsOwnPrintProcessor(processor)) {
      AddLog(logDrivers, processor + " PrintProcessor削除 失敗" + kProtectedReason);
      ++failures;
    } else {
      AddLog(logDrivers, processor + " PrintProcessor削除 " +
                             (DeletePrintProcessorByName(processor) == 0 ? "成功" : "失敗 or なし"));
    }
    SendStep();
  }
}

void CQXErsDoc::RemovePrinterLeftovers(const std::vector<PRINTER_INFO_2A>& printers) {
  // What the deleted printers leave in the machine's and the users' settings.
  RemoveNamedEntries(PrinterLeftoverRows(false), printerNames, false);
  // A printer the spooler does not know (an earlier run deleted part of its data without the
  // spooler) leaves its users' device lists to be cleaned here, as the spooler would have done.
  std::unordered_set<std::string> listed;
  for (const PRINTER_INFO_2A& printer : printers) listed.insert(FoldCase(printer.pPrinterName));
  StringList unknown;
  for (const std::string& name : printerNames) {
    if (!listed.count(FoldCase(name))) unknown.push_back(name);
  }
  if (!unknown.empty()) RemoveNamedEntries(PrinterLeftoverRows(true), unknown, false);
}

void CQXErsDoc::RemovePrinterDrivers() {
  std::vector<PRINTER_INFO_2A> printers = RemovePrintersOfListedDrivers();
  // The spooler lets go of the drivers of deleted printers only after a while.
  sys.system.Sleep(2000);
  DeleteListedDrivers();
  DeleteListedLanguageMonitors();
  DeleteListedPrintProcessors();
  RemovePrinterLeftovers(printers);
}

}  // namespace qx
