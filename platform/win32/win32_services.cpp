#include "platform/win32/win32_facets.h"
#include "platform/win32/win32_convert.h"

namespace qx::win32 {
namespace {

void Copy(const ::SERVICE_STATUS& from, qx::SERVICE_STATUS& to) {
  to.dwServiceType = from.dwServiceType;
  to.dwCurrentState = from.dwCurrentState;
  to.dwControlsAccepted = from.dwControlsAccepted;
  to.dwWin32ExitCode = from.dwWin32ExitCode;
  to.dwServiceSpecificExitCode = from.dwServiceSpecificExitCode;
  to.dwCheckPoint = from.dwCheckPoint;
  to.dwWaitHint = from.dwWaitHint;
}

}  // namespace

qx::SC_HANDLE Win32Services::OpenSCManagerA(const char* machine, const char* database, DWORD access) {
  return FromWin(::OpenSCManagerA(machine, database, access));
}

qx::SC_HANDLE Win32Services::OpenServiceA(qx::SC_HANDLE manager, const char* name, DWORD access) {
  return FromWin(::OpenServiceA(ToWin(manager), name, access));
}

BOOL Win32Services::QueryServiceStatus(qx::SC_HANDLE service, qx::SERVICE_STATUS& status) {
  ::SERVICE_STATUS s{};
  const ::BOOL ok = ::QueryServiceStatus(ToWin(service), &s);
  if (ok) Copy(s, status);
  return ok;
}

BOOL Win32Services::ControlService(qx::SC_HANDLE service, DWORD control, qx::SERVICE_STATUS& status) {
  // Windows fills the status on some failures too (ERROR_INVALID_SERVICE_CONTROL,
  // ERROR_SERVICE_CANNOT_ACCEPT_CTRL, ERROR_SERVICE_NOT_ACTIVE), so it is always handed on.
  ::SERVICE_STATUS s{};
  const ::BOOL ok = ::ControlService(ToWin(service), control, &s);
  Copy(s, status);
  return ok;
}

BOOL Win32Services::StartServiceA(qx::SC_HANDLE service, DWORD argc, const char** argv) {
  return ::StartServiceA(ToWin(service), argc, argv);
}

BOOL Win32Services::DeleteService(qx::SC_HANDLE service) { return ::DeleteService(ToWin(service)); }

BOOL Win32Services::CloseServiceHandle(qx::SC_HANDLE handle) { return ::CloseServiceHandle(ToWin(handle)); }

}  // namespace qx::win32
