#include "platform/win32/win32_facets.h"

namespace qx::win32 {
// <iadmw.h> makes IMSAdminBase a macro for its wide form; the facet's names are taken first.
using QxAdminBase = qx::IMSAdminBase;
using QxWamAdmin = qx::IWamAdmin;
using QxADs = qx::IADs;
}  // namespace qx::win32

#include "platform/win32/win32_convert.h"

#include <iadmw.h>
#include <iwamreg.h>
#include <objbase.h>

namespace qx::win32 {
namespace {

using ADsGetObjectFn = ::HRESULT(WINAPI*)(::LPCWSTR, const ::IID&, void**);

::IMSAdminBaseW* Real(QxAdminBase* base) { return reinterpret_cast<::IMSAdminBaseW*>(base); }
::IWamAdmin* Real(QxWamAdmin* wam) { return reinterpret_cast<::IWamAdmin*>(wam); }
::IUnknown* Unknown(void* object) { return static_cast<::IUnknown*>(object); }
const wchar_t* Wide(const qx::WCHAR* text) { return reinterpret_cast<const wchar_t*>(text); }

static_assert(sizeof(qx::WCHAR) == sizeof(wchar_t));
static_assert(sizeof(qx::METADATA_HANDLE) == sizeof(::METADATA_HANDLE));

}  // namespace

HRESULT Win32WebAdmin::CoInitialize() { return ::CoInitialize(nullptr); }

void Win32WebAdmin::CoUninitialize() { ::CoUninitialize(); }

HRESULT Win32WebAdmin::CoCreateInstance(const qx::CLSID& clsid, DWORD clsContext, const qx::IID& iid,
                                        QxAdminBase** object) {
  void* created = nullptr;
  const ::GUID c = ToWin(clsid), i = ToWin(iid);
  const ::HRESULT hr = ::CoCreateInstance(c, nullptr, clsContext, i, &created);
  if (object) *object = SUCCEEDED(hr) ? static_cast<QxAdminBase*>(created) : nullptr;
  return hr;
}

HRESULT Win32WebAdmin::CoCreateInstance(const qx::CLSID& clsid, DWORD clsContext, const qx::IID& iid,
                                        QxWamAdmin** object) {
  void* created = nullptr;
  const ::GUID c = ToWin(clsid), i = ToWin(iid);
  const ::HRESULT hr = ::CoCreateInstance(c, nullptr, clsContext, i, &created);
  if (object) *object = SUCCEEDED(hr) ? static_cast<QxWamAdmin*>(created) : nullptr;
  return hr;
}

ULONG Win32WebAdmin::Release(QxAdminBase* object) { return Unknown(object)->Release(); }

ULONG Win32WebAdmin::Release(QxWamAdmin* object) { return Unknown(object)->Release(); }

ULONG Win32WebAdmin::Release(QxADs* object) { return Unknown(object)->Release(); }

HRESULT Win32WebAdmin::OpenKey(QxAdminBase* base, qx::METADATA_HANDLE key, const qx::WCHAR* path, DWORD permissions,
                               DWORD timeoutMs, qx::METADATA_HANDLE* opened) {
  ::METADATA_HANDLE handle = 0;
  const ::HRESULT hr = Real(base)->OpenKey(key, Wide(path), permissions, timeoutMs, &handle);
  if (opened) *opened = SUCCEEDED(hr) ? handle : 0;
  return hr;
}

HRESULT Win32WebAdmin::CloseKey(QxAdminBase* base, qx::METADATA_HANDLE key) { return Real(base)->CloseKey(key); }

HRESULT Win32WebAdmin::DeleteKey(QxAdminBase* base, qx::METADATA_HANDLE key, const qx::WCHAR* path) {
  return Real(base)->DeleteKey(key, Wide(path));
}

HRESULT Win32WebAdmin::SaveData(QxAdminBase* base) { return Real(base)->SaveData(); }

HRESULT Win32WebAdmin::AppDelete(QxWamAdmin* wam, const qx::WCHAR* path, BOOL recursive) {
  return Real(wam)->AppDelete(Wide(path), recursive);
}

HRESULT Win32WebAdmin::ADsGetObject(qx::FARPROC entry, const qx::WCHAR* path, const qx::IID& iid, QxADs** object) {
  const auto call = reinterpret_cast<ADsGetObjectFn>(reinterpret_cast<void*>(entry));
  void* found = nullptr;
  const ::GUID i = ToWin(iid);
  const ::HRESULT hr = call(Wide(path), i, &found);
  if (object) *object = SUCCEEDED(hr) ? static_cast<QxADs*>(found) : nullptr;
  return hr;
}

int Win32WebAdmin::MultiByteToWideChar(UINT codePage, DWORD flags, const char* multiByte, int cbMultiByte,
                                       qx::WCHAR* wideChar, int cchWideChar) {
  return ::MultiByteToWideChar(codePage, flags, multiByte, cbMultiByte, reinterpret_cast<wchar_t*>(wideChar),
                               cchWideChar);
}

}  // namespace qx::win32
