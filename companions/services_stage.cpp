// The stage that removes what is neither a configured file, folder nor registry key: the
// product's ports, print processor and printer drivers, its COM components, its services,
// its win.ini entry and its web virtual root, in a fixed order.
#include "app/CQXErsDoc.h"
#include "app/directories.h"
#include "app/services.h"
#include "companions/web_folder.h"
#include "app/registry.h"

namespace qx {

namespace {

constexpr const char* kVirtualRoots = "SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters\\Virtual Roots";
constexpr const char* kWebRootValue = "/WebQX";

// Log labels of the companion services, by service index.
constexpr const char* kServiceLabels[] = {"ＰＣＤ", "ＳＤＳ", "ＮＱＳ", "ＰＭＮ", "ＰＱＳ", "ＰＪＲ", "ＲＣＭ"};

const char* ServiceResultText(int result) {
  if (result == 0) return "削除成功";
  if (result == -2) return "なし";
  return "削除失敗";
}

}  // namespace

// One step for the network-printing ports, six of the product family's seven (the web
// virtual root's is not counted in the run's total: the bar is full as the stage ends), one
// for the printer drivers.
int CQXErsDoc::ServicesAndOthersSteps() const {
  return ((delFlags & kDelNetPort) ? 1 : 0) + ((delFlags & kDelProduct) ? 6 : 0) + ((delFlags & kDelDrivers) ? 1 : 0);
}

void CQXErsDoc::RemoveServicesAndOthers() {
  if (delFlags & kDelNetPort) {
    RemoveNetrovaPorts();
    SendStep();
  }
  if (delFlags & kDelProduct) {
    if (spoolerRunning) {
      ReassignVirtualPorts();
    } else {
      ReassignVirtualPortsOffline();
    }
    SendStep();
    if (spoolerRunning) {
      DeleteProductPrintProcessor();
    } else {
      DeleteProductPrintProcessorOffline();
    }
    SendStep();
    RemoveLptnPorts();
    SendStep();
    UnregisterCompanionComponents();
    SendStep();

    if (osType != kWindows9x) {
      // The companion services, the remote care monitor first.
      for (int index = kRemoteCareService; index >= static_cast<int>(kParallelService); --index) {
        // The parallel driver is the family's own only on Windows NT 3.51.
        if (index == kParallelService && (osType == kWindowsNT4 || osType == kWindows2000)) continue;
        int result = DeleteServiceByIndex(static_cast<unsigned>(index));
        AddLog(logOthers, std::string(kServiceLabels[index]) + " サービス" + ServiceResultText(result));
      }
    }
    SendStep();

    char value[MAX_PATH] = {};
    if (sys.profile.GetPrivateProfileStringA("Compatibility95", "ZOVPSP", "", value, MAX_PATH, "win.ini") > 0) {
      sys.profile.WritePrivateProfileStringA("Compatibility95", "ZOVPSP", nullptr, "win.ini");
    }
    SendStep();

    RemoveWebVirtualRoot();
    SendStep();
  }
  if (delFlags & kDelDrivers) {
    if (spoolerRunning) {
      RemovePrinterDrivers();
    } else {
      RemovePrinterDriversOffline();
    }
    SendStep();
  }
}

void CQXErsDoc::FindWebVirtualRoot() {
  DWORD type = 0;
  DWORD size = 0;
  if (ReadRegistryValue(sys.registry, HKEY_LOCAL_MACHINE, kVirtualRoots, kWebRootValue, &type, nullptr, &size) &&
      !ListHoldsNoCase(webRoots, kWebRootValue)) {
    webRoots.push_back(kWebRootValue);
  }
}

int CQXErsDoc::RemoveWebVirtualRoot() {
  // The value's presence is what counts, whatever its length; a run cut off after deleting
  // it noted that it was there.
  DWORD type = 0;
  DWORD size = 0;
  bool inRegistry = ReadRegistryValue(sys.registry, HKEY_LOCAL_MACHINE, kVirtualRoots, kWebRootValue, &type, nullptr,
                                      &size) ||
                    ListHoldsNoCase(webRoots, kWebRootValue);
  if (!inRegistry && !WebVirtualDirectoryExists(sys, systemDir)) return 0;
  DeleteRegistryValue(sys.registry, HKEY_LOCAL_MACHINE, kVirtualRoots, kWebRootValue, "");
  if (DeleteWebVirtualDirectory(sys, "WebQX", 1) == 0) return 0;
  if (osType != kWindows9x) {
    // The web service rereads its virtual roots when it starts. One that the administrator
    // had stopped stays stopped.
    if (QueryServiceStateByIndex(kWebService) == static_cast<int>(SERVICE_RUNNING)) {
      StopServiceByIndex(kWebService);
      StartServiceAgain(kWebService, "W3SVC の開始に失敗");
    }
  } else {
    restartNeeded = 1;
    AddLog(logRestartCauses, "WebQXのディレクトリ削除");
  }
  return 1;
}

}  // namespace qx
