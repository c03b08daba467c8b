// The web server's administration through COM: the IIS metabase (IMSAdminBase), the
// web-application administration (IWamAdmin) and the directory service (ADsGetObject of
// ACTIVEDS.DLL, an entry point found with the Modules facet).
//
// Interface pointers are opaque handles; each interface method the engine calls is a method
// here that takes the object as its first argument.
#pragma once
#include "platform/modules.h"
#include "platform/types.h"

namespace qx {

using WCHAR = char16_t;  // UTF-16 code unit, as on Windows
using ULONG = std::uint32_t;

inline constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;

struct GUID {
  DWORD Data1 = 0;
  WORD Data2 = 0;
  WORD Data3 = 0;
  BYTE Data4[8] = {};
};
using CLSID = GUID;
using IID = GUID;

inline constexpr bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}

inline constexpr CLSID CLSID_MSAdminBase{0xA9E69610, 0xB80D, 0x11D0, {0xB9, 0xB9, 0x00, 0xA0, 0xC9, 0x22, 0xE7, 0x50}};
inline constexpr IID IID_IMSAdminBase{0x70B51430, 0xB6CA, 0x11D0, {0xB9, 0xB9, 0x00, 0xA0, 0xC9, 0x22, 0xE7, 0x50}};
inline constexpr CLSID CLSID_WamAdmin{0x61738644, 0xF196, 0x11D0, {0x99, 0x53, 0x00, 0xC0, 0x4F, 0xD9, 0x19, 0xC1}};
inline constexpr IID IID_IWamAdmin{0x29822AB7, 0xF302, 0x11D0, {0x99, 0x53, 0x00, 0xC0, 0x4F, 0xD9, 0x19, 0xC1}};
inline constexpr IID IID_IADs{0xFD8256D0, 0xFD15, 0x11CE, {0xAB, 0xC4, 0x02, 0x60, 0x8C, 0x9E, 0x75, 0x53}};

// Interface pointers.
struct IMSAdminBase;
struct IWamAdmin;
struct IADs;

using METADATA_HANDLE = DWORD;
inline constexpr METADATA_HANDLE METADATA_MASTER_ROOT_HANDLE = 0;
inline constexpr DWORD METADATA_PERMISSION_READ = 0x00000001;
inline constexpr DWORD METADATA_PERMISSION_WRITE = 0x00000002;

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
inline constexpr DWORD CLSCTX_ALL = 0x17;

inline constexpr UINT CP_ACP = 0;
inline constexpr DWORD MB_PRECOMPOSED = 0x00000001;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
inline constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
inline constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106u);
inline constexpr HRESULT E_ADS_UNKNOWN_OBJECT = static_cast<HRESULT>(0x80005004u);
inline constexpr HRESULT E_ADS_BAD_PATHNAME = static_cast<HRESULT>(0x80005000u);

// The HRESULT that carries a system error code, as HRESULT_FROM_WIN32 makes it.
inline constexpr HRESULT HResultFromWin32(DWORD error) {
  return error == 0 ? S_OK : static_cast<HRESULT>((error & 0x0000FFFFu) | 0x80070000u);
}

class WebAdmin {
 public:
  virtual ~WebAdmin() = default;
  // COM on the calling thread; no reserved pointer. S_FALSE when it was initialised already.
  virtual HRESULT CoInitialize() = 0;
  virtual void CoUninitialize() = 0;
  // No outer object. REGDB_E_CLASSNOTREG when the class is not installed (no web server);
  // iid must be the interface of the result's type.
  virtual HRESULT CoCreateInstance(const CLSID& clsid, DWORD clsContext, const IID& iid,
                                   IMSAdminBase** object) = 0;
  virtual HRESULT CoCreateInstance(const CLSID& clsid, DWORD clsContext, const IID& iid,
                                   IWamAdmin** object) = 0;
  virtual ULONG Release(IMSAdminBase* object) = 0;
  virtual ULONG Release(IWamAdmin* object) = 0;
  virtual ULONG Release(IADs* object) = 0;

  // IMSAdminBase. Paths are metabase paths relative to the key handle, "/LM/W3SVC/1/ROOT".
  virtual HRESULT OpenKey(IMSAdminBase* base, METADATA_HANDLE key, const WCHAR* path, DWORD permissions,
                          DWORD timeoutMs, METADATA_HANDLE* opened) = 0;
  virtual HRESULT CloseKey(IMSAdminBase* base, METADATA_HANDLE key) = 0;
  virtual HRESULT DeleteKey(IMSAdminBase* base, METADATA_HANDLE key, const WCHAR* path) = 0;
  virtual HRESULT SaveData(IMSAdminBase* base) = 0;

  // IWamAdmin: removes the web application defined at a metabase path (and below it when
  // recursive).
  virtual HRESULT AppDelete(IWamAdmin* wam, const WCHAR* path, BOOL recursive) = 0;

  // entry: "ADsGetObject" of ACTIVEDS.DLL, as GetProcAddress found it.
  virtual HRESULT ADsGetObject(FARPROC entry, const WCHAR* path, const IID& iid, IADs** object) = 0;

  // The text conversion the paths go through (cbMultiByte -1: zero-ended, the zero counted).
  // Returns the code units written, or the size needed when cchWideChar is 0; 0 on failure
  // with ERROR_INSUFFICIENT_BUFFER or ERROR_NO_UNICODE_TRANSLATION.
  virtual int MultiByteToWideChar(UINT codePage, DWORD flags, const char* multiByte, int cbMultiByte,
                                  WCHAR* wideChar, int cchWideChar) = 0;
};

}  // namespace qx
