// The service the services contract suite installs: an own-process service that starts, stops,
// pauses and continues, taking a moment in each pending state so that a caller sees them and
// has to poll. It never outlives its test by long: with no stop request it stops by itself,
// after two minutes or after the seconds given as its first start argument.
#include <windows.h>

#include <cstdlib>

namespace {

constexpr DWORD kPendingMs = 200;         // time spent in START_PENDING and STOP_PENDING
constexpr DWORD kLifetimeMs = 120 * 1000;  // a service nobody stops ends after this, unless told

SERVICE_STATUS_HANDLE statusHandle = nullptr;
SERVICE_STATUS status{};
HANDLE stopEvent = nullptr;
CRITICAL_SECTION lock;

void Report(DWORD state, DWORD waitHint = 0) {
  EnterCriticalSection(&lock);
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = (state == SERVICE_RUNNING || state == SERVICE_PAUSED)
                                  ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE
                                  : 0;
  status.dwWin32ExitCode = NO_ERROR;
  status.dwServiceSpecificExitCode = 0;
  status.dwCheckPoint = (state == SERVICE_RUNNING || state == SERVICE_PAUSED || state == SERVICE_STOPPED)
                            ? 0
                            : status.dwCheckPoint + 1;
  status.dwWaitHint = waitHint;
  SetServiceStatus(statusHandle, &status);
  LeaveCriticalSection(&lock);
}

DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
      Report(SERVICE_STOP_PENDING, 2000);
      SetEvent(stopEvent);
      return NO_ERROR;
    case SERVICE_CONTROL_PAUSE:
      Report(SERVICE_PAUSE_PENDING, 1000);
      Report(SERVICE_PAUSED);
      return NO_ERROR;
    case SERVICE_CONTROL_CONTINUE:
      Report(SERVICE_CONTINUE_PENDING, 1000);
      Report(SERVICE_RUNNING);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      Report(status.dwCurrentState);
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI ServiceMain(DWORD argc, LPSTR* argv) {
  DWORD lifetimeMs = argc > 1 && argv[1] ? static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10)) * 1000 : 0;
  if (lifetimeMs == 0 || lifetimeMs > 3600 * 1000) lifetimeMs = kLifetimeMs;
  statusHandle = RegisterServiceCtrlHandlerExA(argv && argv[0] ? argv[0] : "", Handler, nullptr);
  if (!statusHandle) return;
  Report(SERVICE_START_PENDING, 2000);
  // A stop asked for while starting is carried out without running first.
  if (WaitForSingleObject(stopEvent, kPendingMs) == WAIT_TIMEOUT) {
    Report(SERVICE_RUNNING);
    WaitForSingleObject(stopEvent, lifetimeMs);
  }
  Report(SERVICE_STOP_PENDING, 2000);
  Sleep(kPendingMs);
  Report(SERVICE_STOPPED);
}

}  // namespace

int main() {
  InitializeCriticalSection(&lock);
  stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!stopEvent) return 1;
  // An own-process service: the name in the table is not looked at.
  char name[] = "";
  SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
