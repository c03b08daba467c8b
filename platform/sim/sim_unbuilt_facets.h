// Facets whose simulation has not been built yet. Every call fails the way Windows fails a
// call that this machine cannot serve (ERROR_CALL_NOT_IMPLEMENTED), so an engine that reaches
// them sees a failure, never a false success.
#pragma once
#include "platform/platform.h"

namespace qx::sim {

class UnbuiltDde : public Dde {
 public:
  explicit UnbuiltDde(System& system) : system_(system) {}

  UINT DdeInitializeA(DWORD*, PFNCALLBACK, DWORD, DWORD) override {
    system_.SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return DMLERR_SYS_ERROR;
  }
  HSZ DdeCreateStringHandleA(DWORD, const char*, int) override { return Fail<HSZ>(nullptr); }
  BOOL DdeFreeStringHandle(DWORD, HSZ) override { return Fail(FALSE); }
  HCONV DdeConnect(DWORD, HSZ, HSZ, const CONVCONTEXT*) override { return Fail<HCONV>(nullptr); }
  HDDEDATA DdeCreateDataHandle(DWORD, const BYTE*, DWORD, DWORD, HSZ, UINT, UINT) override {
    return Fail<HDDEDATA>(nullptr);
  }
  HDDEDATA DdeClientTransaction(const BYTE*, DWORD, HCONV, HSZ, UINT, UINT, DWORD, DWORD*) override {
    return Fail<HDDEDATA>(nullptr);
  }
  BOOL DdeFreeDataHandle(HDDEDATA) override { return Fail(FALSE); }
  BOOL DdeDisconnect(HCONV) override { return Fail(FALSE); }
  BOOL DdeUninitialize(DWORD) override { return Fail(FALSE); }
  UINT DdeGetLastError(DWORD) override { return DMLERR_DLL_NOT_INITIALIZED; }

 private:
  template <typename T>
  T Fail(T value) {
    system_.SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return value;
  }
  System& system_;
};

class UnbuiltShutdown : public Shutdown {
 public:
  explicit UnbuiltShutdown(System& system) : system_(system) {}

  BOOL OpenProcessToken(DWORD, HANDLE* token) override {
    if (token) *token = nullptr;
    return Fail();
  }
  BOOL LookupPrivilegeValueA(const char*, const char*, LUID*) override { return Fail(); }
  BOOL AdjustTokenPrivileges(HANDLE, BOOL, const TOKEN_PRIVILEGES*) override { return Fail(); }
  BOOL CloseHandle(HANDLE) override {
    system_.SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  BOOL ExitWindowsEx(UINT, DWORD) override { return Fail(); }
  BOOL InitiateSystemShutdownExA(FARPROC, const char*, const char*, DWORD, BOOL, BOOL, DWORD) override {
    return Fail();
  }

 private:
  BOOL Fail() {
    system_.SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  System& system_;
};

}  // namespace qx::sim
