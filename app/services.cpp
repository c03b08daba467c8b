#include "app/services.h"

#include "app/CQXErsDoc.h"
#include "platform/spooler.h"

namespace qx {

namespace {

constexpr DWORD kOwnProcess = 0x10;
constexpr DWORD kInteractive = 0x100;
constexpr DWORD kKernelDriver = 0x1;
constexpr DWORD kAutoStart = 2;
constexpr DWORD kDemandStart = 3;

// Closes the service handle whatever path the operation takes.
class ServiceHandle {
 public:
  ServiceHandle(Services& services, SC_HANDLE handle) : services_(services), handle_(handle) {}
  ~ServiceHandle() {
    if (handle_) services_.CloseServiceHandle(handle_);
  }
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  explicit operator bool() const { return handle_ != nullptr; }
  SC_HANDLE get() const { return handle_; }

 private:
  Services& services_;
  SC_HANDLE handle_;
};

}  // namespace

const ServiceDescription& ServiceTable(unsigned index) {
  static const ServiceDescription table[kServiceCount] = {
      {"Par1284", "P1284 Parallel Class Driver", SERVICE_ALL_ACCESS, kKernelDriver, kAutoStart, 0,
       "Drivers\\ZOVP1284.SYS", "Extended Base", {"Parport", "+Parallel arbitrator"}, nullptr},
      {"ZOVSDS", "ZOV Printer Status Data Store", SERVICE_ALL_ACCESS, kOwnProcess, kAutoStart, 1, "ZOVSDSNT.EXE",
       "ZOV Printing Service", {}, "LocalSystem"},
      {"ZOVNQSNT", "ZOV Network Queue Status Server", SERVICE_ALL_ACCESS, kOwnProcess, kAutoStart, 1, "ZOVNQSNT.EXE",
       "ZOV Printing Service", {"RPCSS", "ZOVSDS", "+SpoolerGroup"}, "LocalSystem"},
      {"ZOVPMN", "ZOV Printer Status Monitor", SERVICE_ALL_ACCESS, kOwnProcess | kInteractive, kAutoStart, 1,
       "ZOVPMNNT.EXE", "ZOV Printing Service", {"ZOVSDS", "+SpoolerGroup"}, "LocalSystem"},
      {"ZOVPQS", "ZOV Private Queue System", SERVICE_ALL_ACCESS, kOwnProcess, kAutoStart, 1, "ZOVPQSNT.EXE",
       "ZOV Printing Service", {"ZOVSDS", "+SpoolerGroup"}, "LocalSystem"},
      {"ZOVPJR", "ZOV Print Job Recorder", SERVICE_ALL_ACCESS, kOwnProcess, kDemandStart, 1, "ZOVPJRNT.EXE",
       "ZOV Printing Service", {"ZOVSDS", "+SpoolerGroup"}, "LocalSystem"},
      {"ZOVRCM", "ZOV Remote Care Monitor", SERVICE_ALL_ACCESS, kOwnProcess, kAutoStart, 1, "ZOVRCMNT.EXE",
       "ZOV Printing Service", {"ZOVSDS", "+SpoolerGroup"}, "LocalSystem"},
      {"SPOOLER", "SPOOLER", SERVICE_ALL_ACCESS, 0, 0, 0, nullptr, nullptr, {}, nullptr},
      {"W3SVC", "World Wide Web Publishing Service", SERVICE_ALL_ACCESS, 0, 0, 0, nullptr, nullptr, {}, nullptr},
  };
  return table[index];
}

SC_HANDLE CQXErsDoc::OpenTableService(unsigned index) {
  // A failed open leaves the field empty, so the next operation tries again.
  if (!scManager) scManager = sys.services.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!scManager) return nullptr;
  return sys.services.OpenServiceA(scManager, ServiceTable(index).serviceName, SERVICE_ALL_ACCESS);
}

int CQXErsDoc::StopServiceByIndex(unsigned index) {
  if (index >= kServiceCount) return -2;
  ServiceHandle service(sys.services, OpenTableService(index));
  if (!scManager) return -1;
  if (!service) return -2;
  SERVICE_STATUS status;
  if (!sys.services.QueryServiceStatus(service.get(), status)) return -4;
  if (status.dwCurrentState == SERVICE_STOPPED) return 0;
  if (!sys.services.ControlService(service.get(), SERVICE_CONTROL_STOP, status)) {
    DWORD error = sys.system.GetLastError();
    if (error == ERROR_DEPENDENT_SERVICES_RUNNING) return -3;
    if (error == ERROR_SERVICE_NOT_ACTIVE) return 0;
    return -4;
  }
  for (int polls = 0; status.dwCurrentState != SERVICE_STOPPED; ++polls) {
    if (polls == kServicePollLimit) return -4;  // it accepted the stop but never stopped
    sys.system.Sleep(kServicePollMs);
    sys.services.QueryServiceStatus(service.get(), status);
  }
  sys.system.Sleep(1000);
  return 0;
}

int CQXErsDoc::DeleteServiceByIndex(unsigned index) {
  if (index >= kServiceCount) return -2;
  ServiceHandle service(sys.services, OpenTableService(index));
  if (!scManager) return -1;
  if (!service) {
    // Only a service that is not installed is absent; one that exists but cannot be opened
    // (access denied, say) has not been deleted.
    return sys.system.GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? -2 : -5;
  }
  SERVICE_STATUS status;
  if (sys.services.ControlService(service.get(), SERVICE_CONTROL_STOP, status)) {
    // A service that never reports stopped is still deleted: the system removes it once it
    // stops, at the latest at the restart.
    status.dwCurrentState = 0;
    for (int polls = 0; status.dwCurrentState != SERVICE_STOPPED && polls < kServicePollLimit; ++polls) {
      sys.services.QueryServiceStatus(service.get(), status);
      sys.system.Sleep(kServicePollMs);
    }
  } else if (sys.system.GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
    return -3;
  }
  return sys.services.DeleteService(service.get()) ? 0 : -4;
}

int CQXErsDoc::StartServiceByIndex(unsigned index) {
  if (index >= kServiceCount) return -2;
  ServiceHandle service(sys.services, OpenTableService(index));
  if (!scManager) return -1;
  if (!service) return -2;
  SERVICE_STATUS status;
  if (!sys.services.QueryServiceStatus(service.get(), status)) return -3;
  switch (status.dwCurrentState) {
    case SERVICE_STOPPED:
    case SERVICE_STOP_PENDING:
      if (!sys.services.StartServiceA(service.get(), 0, nullptr)) return -4;
      sys.system.Sleep(kServicePollMs);
      sys.services.QueryServiceStatus(service.get(), status);
      for (int polls = 1; status.dwCurrentState != SERVICE_RUNNING && polls < kServicePollLimit; ++polls) {
        sys.system.Sleep(kServicePollMs);
        sys.services.QueryServiceStatus(service.get(), status);
      }
      // Accepted, but it never reported running.
      if (status.dwCurrentState != SERVICE_RUNNING) return -5;
      break;
    case SERVICE_PAUSE_PENDING:
    case SERVICE_PAUSED:
      sys.services.ControlService(service.get(), SERVICE_CONTROL_CONTINUE, status);
      break;
    default:
      break;
  }
  return 0;
}

int CQXErsDoc::QueryServiceStateByIndex(unsigned index) {
  if (index >= kServiceCount) return -2;
  ServiceHandle service(sys.services, OpenTableService(index));
  if (!scManager) return -1;
  if (!service) {
    DWORD error = sys.system.GetLastError();
    return (error == ERROR_INVALID_NAME || error == ERROR_SERVICE_DOES_NOT_EXIST) ? 0 : -3;
  }
  SERVICE_STATUS status;
  if (!sys.services.QueryServiceStatus(service.get(), status)) return -4;
  return static_cast<int>(status.dwCurrentState);
}

bool CQXErsDoc::IsSpoolerRunning() {
  if (osType == kWindows9x) {
    // Windows 95/98 always prints through its spooler; the call only wakes it.
    std::vector<PRINTER_INFO_2A> printers;
    sys.spooler.EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, printers);
    return true;
  }
  // Taking a running spooler for stopped would edit its data behind its back; a spooler that
  // is not there, or reports another state, is stopped. A question that fails is asked
  // again, and one that never gets an answer leaves the spooler taken as running: its calls
  // then fail harmlessly if it is not.
  for (int attempt = 0; attempt < kSpoolerQueryAttempts; ++attempt) {
    if (attempt > 0) sys.system.Sleep(kServicePollMs);
    ServiceHandle service(sys.services, OpenTableService(kSpoolerService));
    if (!service) {
      if (scManager && sys.system.GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return false;
      continue;
    }
    SERVICE_STATUS status;
    if (sys.services.QueryServiceStatus(service.get(), status)) return status.dwCurrentState == SERVICE_RUNNING;
  }
  return true;
}

void CQXErsDoc::StartServiceAgain(unsigned index, const char* cause) {
  for (int attempt = 0; attempt < kSpoolerStartAttempts; ++attempt) {
    if (attempt > 0) sys.system.Sleep(kSpoolerRetryMs);
    // A start still pending from the attempt before answers 0 without the service running.
    if (StartServiceByIndex(index) == 0 && QueryServiceStateByIndex(index) == static_cast<int>(SERVICE_RUNNING)) {
      return;
    }
  }
  // Automatic at start-up: the restart brings it back.
  restartNeeded = 1;
  ++failures;
  AddLog(logRestartCauses, cause);
}

void CQXErsDoc::StartSpoolerAgain() { StartServiceAgain(kSpoolerService, "SPOOLER の開始に失敗"); }

void CQXErsDoc::RestartSpoolerAtEnd() {
  if (osType == kWindows9x) return;
  // A spooler running now is brought back whatever the run first took it for.
  const bool runsNow = QueryServiceStateByIndex(kSpoolerService) == static_cast<int>(SERVICE_RUNNING);
  StopServiceByIndex(kSpoolerService);
  if (spoolerRunning || runsNow) {
    StartSpoolerAgain();
  } else {
    StartServiceByIndex(kSpoolerService);
  }
}

}  // namespace qx
