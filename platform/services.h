// The service control manager calls.
#pragma once
#include "platform/types.h"

namespace qx {

class Services {
 public:
  virtual ~Services() = default;
  virtual SC_HANDLE OpenSCManagerA(const char* machine, const char* database, DWORD access) = 0;
  virtual SC_HANDLE OpenServiceA(SC_HANDLE manager, const char* name, DWORD access) = 0;
  virtual BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS& status) = 0;
  virtual BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS& status) = 0;
  virtual BOOL StartServiceA(SC_HANDLE service, DWORD argc, const char** argv) = 0;
  virtual BOOL DeleteService(SC_HANDLE service) = 0;
  virtual BOOL CloseServiceHandle(SC_HANDLE handle) = 0;
};

}  // namespace qx
