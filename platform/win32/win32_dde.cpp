#include "platform/win32/win32_facets.h"
#include "platform/win32/win32_convert.h"

#include <ddeml.h>

#include <atomic>

namespace qx::win32 {
namespace {

// DDEML calls back on the thread that initialised the instance; the engine keeps one client
// instance at a time, so one callback slot serves.
std::atomic<qx::PFNCALLBACK> engineCallback{nullptr};

::HDDEDATA CALLBACK Callback(::UINT type, ::UINT format, ::HCONV conv, ::HSZ hsz1, ::HSZ hsz2, ::HDDEDATA data,
                             ::ULONG_PTR data1, ::ULONG_PTR data2) {
  const qx::PFNCALLBACK callback = engineCallback.load();
  if (!callback) return nullptr;
  return ToWin(callback(type, format, FromWin(conv), FromWin(hsz1), FromWin(hsz2), FromWin(data), data1, data2));
}

}  // namespace

UINT Win32Dde::DdeInitializeA(DWORD* instance, qx::PFNCALLBACK callback, DWORD command, DWORD reserved) {
  engineCallback.store(callback);
  return ::DdeInitializeA(reinterpret_cast<::DWORD*>(instance), callback ? Callback : nullptr, command, reserved);
}

qx::HSZ Win32Dde::DdeCreateStringHandleA(DWORD instance, const char* text, int codePage) {
  return FromWin(::DdeCreateStringHandleA(instance, text, codePage));
}

BOOL Win32Dde::DdeFreeStringHandle(DWORD instance, qx::HSZ hsz) { return ::DdeFreeStringHandle(instance, ToWin(hsz)); }

qx::HCONV Win32Dde::DdeConnect(DWORD instance, qx::HSZ service, qx::HSZ topic, const qx::CONVCONTEXT* context) {
  ::CONVCONTEXT c{};
  if (context) {
    c.cb = sizeof c;
    c.wFlags = context->wFlags;
    c.wCountryID = context->wCountryID;
    c.iCodePage = context->iCodePage;
    c.dwLangID = context->dwLangID;
    c.dwSecurity = context->dwSecurity;
    c.qos.Length = context->qos.Length;
    c.qos.ImpersonationLevel = static_cast<::SECURITY_IMPERSONATION_LEVEL>(context->qos.ImpersonationLevel);
    c.qos.ContextTrackingMode = context->qos.ContextTrackingMode;
    c.qos.EffectiveOnly = context->qos.EffectiveOnly;
  }
  return FromWin(::DdeConnect(instance, ToWin(service), ToWin(topic), context ? &c : nullptr));
}

qx::HDDEDATA Win32Dde::DdeCreateDataHandle(DWORD instance, const BYTE* source, DWORD cb, DWORD offset, qx::HSZ item,
                                           UINT format, UINT command) {
  return FromWin(::DdeCreateDataHandle(instance, const_cast<BYTE*>(source), cb, offset, ToWin(item), format, command));
}

qx::HDDEDATA Win32Dde::DdeClientTransaction(const BYTE* data, DWORD cbData, qx::HCONV conv, qx::HSZ item, UINT format,
                                            UINT type, DWORD timeoutMs, DWORD* result) {
  return FromWin(::DdeClientTransaction(const_cast<BYTE*>(data), cbData, ToWin(conv), ToWin(item), format, type,
                                        timeoutMs, reinterpret_cast<::DWORD*>(result)));
}

BOOL Win32Dde::DdeFreeDataHandle(qx::HDDEDATA data) { return ::DdeFreeDataHandle(ToWin(data)); }

BOOL Win32Dde::DdeDisconnect(qx::HCONV conv) { return ::DdeDisconnect(ToWin(conv)); }

BOOL Win32Dde::DdeUninitialize(DWORD instance) { return ::DdeUninitialize(instance); }

UINT Win32Dde::DdeGetLastError(DWORD instance) { return ::DdeGetLastError(instance); }

}  // namespace qx::win32
