#include "companions/web_folder.h"

#include <vector>

#include "app/text.h"
#include "app/registry.h"

namespace qx {

namespace {

constexpr const char* kSetupKey = "SOFTWARE\\Microsoft\\INetStp";
constexpr const char* kDirectoryServicePath = "IIS://LocalHost/W3svc/1/Root/webqx";
constexpr DWORD kMetabaseTimeoutMs = 60000;

bool Failed(HRESULT hr) { return hr < 0; }

// The text as the zero-ended wide string the COM calls take; false when it cannot be converted.
bool ToWide(Platform& sys, const std::string& text, std::vector<WCHAR>& wide) {
  int needed = sys.webadmin.MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text.c_str(), -1, nullptr, 0);
  if (needed <= 0) return false;
  wide.assign(static_cast<std::size_t>(needed), 0);
  return sys.webadmin.MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text.c_str(), -1, wide.data(), needed) > 0;
}

}  // namespace

int OpenWebAdminObjects(Platform& sys, WebAdminObjects* pair) {
  if (!pair) return 1;
  if (pair->adminBase && pair->wamAdmin) return 0;
  HRESULT hr = sys.webadmin.CoInitialize();
  if (Failed(hr)) {
    sys.system.SetLastError(static_cast<DWORD>(hr));
    return 2;
  }
  if (!pair->adminBase) {
    hr = sys.webadmin.CoCreateInstance(CLSID_MSAdminBase, CLSCTX_ALL, IID_IMSAdminBase, &pair->adminBase);
    if (Failed(hr)) {
      CloseWebAdminObjects(sys, *pair);
      sys.system.SetLastError(static_cast<DWORD>(hr));
      return 3;
    }
  }
  if (!pair->wamAdmin) {
    hr = sys.webadmin.CoCreateInstance(CLSID_WamAdmin, CLSCTX_ALL, IID_IWamAdmin, &pair->wamAdmin);
    if (Failed(hr)) {
      CloseWebAdminObjects(sys, *pair);
      sys.system.SetLastError(static_cast<DWORD>(hr));
      return 4;
    }
  }
  return 0;
}

int CloseWebAdminObjects(Platform& sys, WebAdminObjects& pair) {
  if (pair.adminBase) sys.webadmin.Release(pair.adminBase);
  if (pair.wamAdmin) sys.webadmin.Release(pair.wamAdmin);
  pair.adminBase = nullptr;
  pair.wamAdmin = nullptr;
  sys.webadmin.CoUninitialize();
  return 0;
}

int DeleteWebApplication(Platform& sys, WebAdminObjects& pair, const std::string& path) {
  std::string full = (!path.empty() && path[0] == '/') ? path : "/LM/" + path;
  std::vector<WCHAR> wide;
  if (!ToWide(sys, full, wide)) return 1;
  HRESULT hr = sys.webadmin.AppDelete(pair.wamAdmin, wide.data(), TRUE);
  if (Failed(hr)) {
    sys.system.SetLastError(static_cast<DWORD>(hr));
    return 1;
  }
  return 0;
}

int DeleteWebVirtualDirectory(Platform& sys, const std::string& name, int site) {
  WebAdminObjects pair;
  if (OpenWebAdminObjects(sys, &pair) != 0) return kWebPairNotOpened;
  const std::string full = "/LM/W3SVC/" + std::to_string(site) + "/ROOT/" + name;
  std::size_t slash = full.rfind('/');
  const std::string parent = full.substr(0, slash);
  const std::string keyName = full.substr(slash + 1);

  METADATA_HANDLE key = 0;
  bool keyOpened = false;
  std::vector<WCHAR> wideParent, wideKey;
  int result = 0;
  HRESULT hr = S_OK;
  if (!ToWide(sys, parent, wideParent) || !ToWide(sys, keyName, wideKey)) {
    result = kWebNoMemory;
  } else if (DeleteWebApplication(sys, pair, full) != 0) {
    result = kWebApplicationNotDeleted;  // the metabase key stays
  } else if (Failed(hr = sys.webadmin.OpenKey(pair.adminBase, METADATA_MASTER_ROOT_HANDLE, wideParent.data(),
                                               METADATA_PERMISSION_READ | METADATA_PERMISSION_WRITE,
                                               kMetabaseTimeoutMs, &key))) {
    result = kWebParentNotOpened;
  } else {
    keyOpened = true;
    if (Failed(hr = sys.webadmin.DeleteKey(pair.adminBase, key, wideKey.data()))) {
      result = kWebKeyNotDeleted;
    } else {
      sys.webadmin.SaveData(pair.adminBase);
    }
  }
  DWORD error = sys.system.GetLastError();
  if (keyOpened) sys.webadmin.CloseKey(pair.adminBase, key);
  CloseWebAdminObjects(sys, pair);
  if (result == kWebNoMemory) error = ERROR_NOT_ENOUGH_MEMORY;
  if (result == kWebParentNotOpened || result == kWebKeyNotDeleted) error = static_cast<DWORD>(hr);
  if (result != 0) sys.system.SetLastError(error);
  return result;
}

bool IsWebServerVersion6OrLater(Platform& sys) {
  std::string group;
  if (!ReadRegistryText(sys.registry, HKEY_LOCAL_MACHINE, kSetupKey, "IISProgramGroup", group)) return false;
  if (!EqualsNoCase(group, "Microsoft Internet Information Services")) return false;
  DWORD major = 0;
  DWORD type = 0;
  DWORD size = sizeof major;
  if (!ReadRegistryValue(sys.registry, HKEY_LOCAL_MACHINE, kSetupKey, "MajorVersion", &type,
                         reinterpret_cast<BYTE*>(&major), &size)) {
    return false;
  }
  return major > 5;
}

bool WebVirtualDirectoryExists(Platform& sys, const std::string& systemDir) {
  if (!IsWebServerVersion6OrLater(sys)) return false;
  // By full path from the system directory: a copy beside this program is never taken.
  if (systemDir.empty()) return false;
  HMODULE module = sys.modules.LoadLibraryA((systemDir + "ACTIVEDS.DLL").c_str());
  if (!module) return false;
  HRESULT init = sys.webadmin.CoInitialize();
  bool exists = false;
  if (FARPROC entry = sys.modules.GetProcAddress(module, "ADsGetObject")) {
    std::vector<WCHAR> path;
    IADs* object = nullptr;
    if (ToWide(sys, kDirectoryServicePath, path) &&
        !Failed(sys.webadmin.ADsGetObject(entry, path.data(), IID_IADs, &object)) && object) {
      sys.webadmin.Release(object);
      exists = true;
    }
  }
  // Only a successful start of COM is ended here; ending one that failed would end the
  // thread's COM for whoever else started it.
  if (!Failed(init)) sys.webadmin.CoUninitialize();
  sys.modules.FreeLibrary(module);
  return exists;
}

}  // namespace qx
