// The local web server as COM reaches it: the IIS metabase (IMSAdminBase), the
// web-application administration (IWamAdmin) and the IIS provider of the directory service
// (ADsGetObject of ACTIVEDS.DLL). Metabase paths are compared without regard to case, as IIS
// compares them. Every call but the text conversion is recorded.
#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/sim/encoding.h"
#include "platform/sim/sim_state.h"

namespace qx::sim {

namespace {

using Lock = std::lock_guard<MachineMutex>;

constexpr int kMetabase = 1;
constexpr int kWam = 2;
constexpr int kDirectoryObject = 3;

constexpr DWORD ERROR_PATH_BUSY = 148;
constexpr HRESULT kServerUnavailable = HResultFromWin32(RPC_S_SERVER_UNAVAILABLE);
constexpr HRESULT kPathNotFound = HResultFromWin32(ERROR_PATH_NOT_FOUND);

// "/LM/W3SVC/1/ROOT": one leading slash, none at the end, no empty elements.
std::string Normal(std::string path) {
  std::string out;
  for (const std::string& part : cp932::Split(path, true))
    if (!part.empty()) out += "/" + part;
  return out.empty() ? "/" : out;
}

bool Under(const std::string& path, const std::string& root) {  // path is root or below it
  std::string p = cp932::Fold(path), r = cp932::Fold(root);
  if (r == "/") return true;
  return p == r || (p.size() > r.size() && p.compare(0, r.size(), r) == 0 && p[r.size()] == '/');
}

bool Exists(const WebServer& web, const std::string& path) {
  for (const char* always : {"/", "/LM", "/LM/W3SVC", "/LM/W3SVC/1", "/LM/W3SVC/1/ROOT"})
    if (cp932::EqualNoCase(path, always)) return true;
  for (const auto* list : {&web.keys, &web.applications})
    for (const std::string& k : *list)
      if (Under(Normal(k), path)) return true;
  return false;
}

// Removes path and everything below it; its parent stays.
void RemoveTree(WebServer& web, const std::string& path) {
  auto below = [&](const std::string& k) { return Under(Normal(k), path); };
  web.keys.erase(std::remove_if(web.keys.begin(), web.keys.end(), below), web.keys.end());
  web.applications.erase(std::remove_if(web.applications.begin(), web.applications.end(), below),
                         web.applications.end());
  std::size_t slash = path.rfind('/');
  std::string parent = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
  if (parent != "/" && !Exists(web, parent)) web.keys.push_back(parent);
}

std::string Utf16Bytes(const WCHAR* text) {
  std::string bytes;
  for (const WCHAR* p = text; p && *p; ++p) {
    bytes += static_cast<char>(*p & 0xFF);
    bytes += static_cast<char>(*p >> 8);
  }
  return bytes;
}

// Code page 932 to UTF-16 code units; false when the text holds a byte sequence that is not
// code page 932.
bool ToUtf16(std::string_view cp932Text, std::u16string& out) {
  std::string utf8;
  if (!Cp932ToUtf8(cp932Text, utf8)) return false;
  out.clear();
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    char32_t cp;
    std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    cp = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
    for (std::size_t k = 1; k < n && i + k < utf8.size(); ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return true;
}

// An injected fault for a COM call: an HRESULT as written, or a system error made one.
std::optional<HRESULT> Injected(SimMachine::State& s, std::string_view call, const std::vector<std::string>& objects) {
  auto e = s.FaultFor(call, objects);
  if (!e) return std::nullopt;
  return (*e & 0x80000000u) ? static_cast<HRESULT>(*e) : HResultFromWin32(*e);
}

// Whether this thread has called CoInitialize and not yet undone it.
bool ComInitialized(const OutsideState& o) {
  auto init = o.comInit.find(ThisThreadId());
  return init != o.comInit.end() && init->second != 0;
}

}  // namespace

std::string WideToCp932(const WCHAR* text) {
  if (!text) return "NULL";
  std::string out;
  if (!Utf16LeToCp932(Utf16Bytes(text), out)) return "(text without a Shift-JIS form)";
  return out;
}

HRESULT SimWebAdmin::CoInitialize() {
  Lock lock(s_.mu);
  if (auto hr = Injected(s_, "CoInitialize", {})) {
    s_.Record("CoInitialize() = " + HResultText(*hr) + " (injected)");
    return *hr;
  }
  int& depth = s_.outside.comInit[ThisThreadId()];
  HRESULT hr = depth == 0 ? S_OK : S_FALSE;
  depth++;
  s_.Record("CoInitialize() = " + HResultText(hr));
  return hr;
}

void SimWebAdmin::CoUninitialize() {
  Lock lock(s_.mu);
  auto it = s_.outside.comInit.find(ThisThreadId());
  if (it != s_.outside.comInit.end() && it->second > 0 && --it->second == 0) s_.outside.comInit.erase(it);
  s_.Record("CoUninitialize()");
}

HRESULT SimWebAdmin::Create(const CLSID& clsid, const IID& iid, int kind, const char* name, std::uintptr_t& object) {
  object = 0;
  const CLSID& wanted = kind == kMetabase ? CLSID_MSAdminBase : CLSID_WamAdmin;
  const IID& wantedIid = kind == kMetabase ? IID_IMSAdminBase : IID_IWamAdmin;
  HRESULT hr = S_OK;
  if (auto injected = Injected(s_, "CoCreateInstance", {name})) hr = *injected;
  else if (!ComInitialized(s_.outside)) hr = CO_E_NOTINITIALIZED;
  else if (!(clsid == wanted) || s_.outside.web.kind == WebServer::Kind::kNone) hr = REGDB_E_CLASSNOTREG;
  else if (s_.outside.web.kind == WebServer::Kind::kUnreachable) hr = kServerUnavailable;
  else if (!(iid == wantedIid)) hr = E_NOINTERFACE;
  if (hr == S_OK) {
    object = s_.outside.nextComObject;
    s_.outside.nextComObject += 0x10;
    s_.outside.comObjects[object] = kind;
  }
  s_.Record(std::string("CoCreateInstance(") + name + ") = " + HResultText(hr));
  return hr;
}

HRESULT SimWebAdmin::CoCreateInstance(const CLSID& clsid, DWORD, const IID& iid, IMSAdminBase** object) {
  Lock lock(s_.mu);
  if (!object) return E_POINTER;
  std::uintptr_t id;
  HRESULT hr = Create(clsid, iid, kMetabase, "CLSID_MSAdminBase", id);
  *object = reinterpret_cast<IMSAdminBase*>(id);
  return hr;
}

HRESULT SimWebAdmin::CoCreateInstance(const CLSID& clsid, DWORD, const IID& iid, IWamAdmin** object) {
  Lock lock(s_.mu);
  if (!object) return E_POINTER;
  std::uintptr_t id;
  HRESULT hr = Create(clsid, iid, kWam, "CLSID_WamAdmin", id);
  *object = reinterpret_cast<IWamAdmin*>(id);
  return hr;
}

ULONG SimWebAdmin::ReleaseObject(std::uintptr_t object, int kind, const char* name) {
  auto it = s_.outside.comObjects.find(object);
  if (it == s_.outside.comObjects.end() || it->second != kind) {
    s_.Record(std::string("Release(") + name + ") of no live object: the program would crash");
    return 0;
  }
  s_.outside.comObjects.erase(it);
  s_.Record(std::string("Release(") + name + ") = 0");
  return 0;
}

ULONG SimWebAdmin::Release(IMSAdminBase* object) {
  Lock lock(s_.mu);
  return ReleaseObject(reinterpret_cast<std::uintptr_t>(object), kMetabase, "IMSAdminBase");
}

ULONG SimWebAdmin::Release(IWamAdmin* object) {
  Lock lock(s_.mu);
  return ReleaseObject(reinterpret_cast<std::uintptr_t>(object), kWam, "IWamAdmin");
}

ULONG SimWebAdmin::Release(IADs* object) {
  Lock lock(s_.mu);
  return ReleaseObject(reinterpret_cast<std::uintptr_t>(object), kDirectoryObject, "IADs");
}

namespace {

bool Live(const OutsideState& o, const void* object, int kind) {
  auto it = o.comObjects.find(reinterpret_cast<std::uintptr_t>(object));
  return it != o.comObjects.end() && it->second == kind;
}

}  // namespace

// A handle opened for writing keeps other writers off its path and everything below it
// until it is closed: a second opening waits its time-out and fails with ERROR_PATH_BUSY.
HRESULT SimWebAdmin::OpenKey(IMSAdminBase* base, METADATA_HANDLE key, const WCHAR* path, DWORD permissions,
                             DWORD timeoutMs, METADATA_HANDLE* opened) {
  Lock lock(s_.mu);
  OutsideState& o = s_.outside;
  std::string relative = WideToCp932(path);
  std::string from = "/";
  std::string call = "OpenKey(";
  if (key != METADATA_MASTER_ROOT_HANDLE) {
    auto h = o.metabaseHandles.find(key);
    if (h != o.metabaseHandles.end()) from = h->second.path;
    call += "handle " + from;
  } else {
    call += "METADATA_MASTER_ROOT_HANDLE";
  }
  call += ", \"" + relative + "\", " + std::to_string(permissions) + ", " + std::to_string(timeoutMs) + ")";
  if (opened) *opened = 0;
  auto done = [&](HRESULT hr) {
    s_.Record(call + " = " + HResultText(hr));
    return hr;
  };
  if (auto hr = Injected(s_, "OpenKey", {relative})) return done(*hr);
  if (!Live(o, base, kMetabase)) return done(E_POINTER);
  if (!opened || !path) return done(E_INVALIDARG);
  if (key != METADATA_MASTER_ROOT_HANDLE && !o.metabaseHandles.count(key)) return done(HResultFromWin32(ERROR_INVALID_HANDLE));
  std::string full = Normal(from + "/" + relative);
  if (!Exists(o.web, full)) return done(kPathNotFound);
  if (permissions & METADATA_PERMISSION_WRITE) {
    for (const auto& [_, other] : o.metabaseHandles) {
      if ((other.permissions & METADATA_PERMISSION_WRITE) && (Under(full, other.path) || Under(other.path, full))) {
        s_.elapsedMs += timeoutMs;
        return done(HResultFromWin32(ERROR_PATH_BUSY));
      }
    }
  }
  DWORD h = o.nextMetabaseHandle++;
  o.metabaseHandles[h] = MetabaseHandle{full, permissions};
  *opened = h;
  return done(S_OK);
}

HRESULT SimWebAdmin::CloseKey(IMSAdminBase* base, METADATA_HANDLE key) {
  Lock lock(s_.mu);
  OutsideState& o = s_.outside;
  auto h = o.metabaseHandles.find(key);
  std::string call = "CloseKey(" + (h == o.metabaseHandles.end() ? "no open handle" : "handle " + h->second.path) + ")";
  HRESULT hr = S_OK;
  if (!Live(o, base, kMetabase)) hr = E_POINTER;
  else if (h == o.metabaseHandles.end()) hr = HResultFromWin32(ERROR_INVALID_HANDLE);
  else o.metabaseHandles.erase(h);
  s_.Record(call + " = " + HResultText(hr));
  return hr;
}

HRESULT SimWebAdmin::DeleteKey(IMSAdminBase* base, METADATA_HANDLE key, const WCHAR* path) {
  Lock lock(s_.mu);
  OutsideState& o = s_.outside;
  auto h = o.metabaseHandles.find(key);
  std::string relative = WideToCp932(path);
  std::string call = "DeleteKey(" + (h == o.metabaseHandles.end() ? "no open handle" : "handle " + h->second.path) +
                     ", \"" + relative + "\")";
  auto done = [&](HRESULT hr) {
    s_.Record(call + " = " + HResultText(hr));
    return hr;
  };
  if (auto hr = Injected(s_, "DeleteKey", {relative})) return done(*hr);
  if (!Live(o, base, kMetabase)) return done(E_POINTER);
  if (h == o.metabaseHandles.end()) return done(HResultFromWin32(ERROR_INVALID_HANDLE));
  if (!(h->second.permissions & METADATA_PERMISSION_WRITE)) return done(HResultFromWin32(ERROR_ACCESS_DENIED));
  if (!path) return done(E_INVALIDARG);
  std::string full = Normal(h->second.path + "/" + relative);
  if (!Exists(o.web, full) || cp932::EqualNoCase(full, h->second.path)) return done(kPathNotFound);
  if (o.web.refuseDeleteKey) return done(o.web.refuseDeleteKey);
  RemoveTree(o.web, full);
  return done(S_OK);
}

HRESULT SimWebAdmin::SaveData(IMSAdminBase* base) {
  Lock lock(s_.mu);
  HRESULT hr = Live(s_.outside, base, kMetabase) ? S_OK : E_POINTER;
  if (auto injected = Injected(s_, "SaveData", {})) hr = *injected;
  s_.Record("SaveData() = " + HResultText(hr));
  return hr;
}

// Removes the applications defined at the path (and below it when recursive); a path that
// defines none is left as it is and the call succeeds.
HRESULT SimWebAdmin::AppDelete(IWamAdmin* wam, const WCHAR* path, BOOL recursive) {
  Lock lock(s_.mu);
  OutsideState& o = s_.outside;
  std::string text = WideToCp932(path);
  std::string call = "AppDelete(\"" + text + "\", " + std::to_string(recursive) + ")";
  auto done = [&](HRESULT hr) {
    s_.Record(call + " = " + HResultText(hr));
    return hr;
  };
  if (auto hr = Injected(s_, "AppDelete", {text})) return done(*hr);
  if (!Live(o, wam, kWam)) return done(E_POINTER);
  if (!path) return done(E_INVALIDARG);
  std::string full = Normal(text);
  if (!Exists(o.web, full)) return done(kPathNotFound);
  if (o.web.refuseAppDelete) return done(o.web.refuseAppDelete);
  // The keys stay; they no longer define an application.
  auto& apps = o.web.applications;
  for (auto it = apps.begin(); it != apps.end();) {
    if (recursive ? Under(Normal(*it), full) : cp932::EqualNoCase(Normal(*it), full)) {
      o.web.keys.push_back(*it);
      it = apps.erase(it);
    } else {
      ++it;
    }
  }
  return done(S_OK);
}

// "IIS://<this computer>/<path below /LM>": the object exists when the metabase key does.
HRESULT SimWebAdmin::ADsGetObject(FARPROC entry, const WCHAR* path, const IID& iid, IADs** object) {
  Lock lock(s_.mu);
  OutsideState& o = s_.outside;
  std::string text = WideToCp932(path);
  std::string call = "ADsGetObject(\"" + text + "\")";
  if (object) *object = nullptr;
  if (!CallableEntry(s_, entry, Entry::kADsGetObject, call)) return E_FAIL;
  auto done = [&](HRESULT hr) {
    s_.Record(call + " = " + HResultText(hr));
    return hr;
  };
  if (!object || !path) return done(E_POINTER);
  if (auto hr = Injected(s_, "ADsGetObject", {text})) return done(*hr);
  if (!ComInitialized(o)) return done(CO_E_NOTINITIALIZED);
  constexpr std::string_view kPrefix = "IIS://";
  if (text.size() < kPrefix.size() || !cp932::EqualNoCase(text.substr(0, kPrefix.size()), kPrefix) ||
      o.web.kind == WebServer::Kind::kNone || !o.web.directoryService)
    return done(E_ADS_BAD_PATHNAME);
  if (o.web.kind == WebServer::Kind::kUnreachable) return done(kServerUnavailable);
  std::string rest = text.substr(kPrefix.size());
  std::size_t slash = rest.find('/');
  std::string host = rest.substr(0, slash);
  if (!cp932::EqualNoCase(host, "LocalHost") && host != "127.0.0.1" && host != ".")
    return done(HResultFromWin32(ERROR_BAD_NETPATH));
  std::string full = Normal("/LM/" + (slash == std::string::npos ? std::string() : rest.substr(slash + 1)));
  if (!Exists(o.web, full)) return done(kPathNotFound);
  if (!(iid == IID_IADs)) return done(E_NOINTERFACE);
  std::uintptr_t id = o.nextComObject;
  o.nextComObject += 0x10;
  o.comObjects[id] = kDirectoryObject;
  *object = reinterpret_cast<IADs*>(id);
  return done(S_OK);
}

int SimWebAdmin::MultiByteToWideChar(UINT codePage, DWORD, const char* multiByte, int cbMultiByte, WCHAR* wideChar,
                                     int cchWideChar) {
  Lock lock(s_.mu);
  if (!multiByte || cbMultiByte == 0 || cchWideChar < 0 || (codePage != CP_ACP && codePage != 932))
    return s_.SetError(ERROR_INVALID_PARAMETER), 0;
  std::string_view in = cbMultiByte < 0 ? std::string_view(multiByte, std::strlen(multiByte) + 1)
                                        : std::string_view(multiByte, static_cast<std::size_t>(cbMultiByte));
  if (auto e = s_.FaultFor("MultiByteToWideChar", {std::string(in.substr(0, in.find('\0')))})) return s_.SetError(*e), 0;
  std::u16string out;
  if (!ToUtf16(in, out)) return s_.SetError(ERROR_NO_UNICODE_TRANSLATION), 0;
  int needed = static_cast<int>(out.size());
  if (cchWideChar == 0) return needed;
  if (!wideChar) return s_.SetError(ERROR_INVALID_PARAMETER), 0;
  if (needed > cchWideChar) return s_.SetError(ERROR_INSUFFICIENT_BUFFER), 0;
  std::copy(out.begin(), out.end(), wideChar);
  return needed;
}

// ---------------------------------------------------------------- the machine's own view

void SimMachine::SetWebServer(const WebServer& server) {
  Lock lock(state_->mu);
  state_->outside.web = server;
}

WebServer SimMachine::GetWebServer() const {
  Lock lock(state_->mu);
  return state_->outside.web;
}

int SimMachine::LiveComObjects() const {
  Lock lock(state_->mu);
  return static_cast<int>(state_->outside.comObjects.size());
}

int SimMachine::ComInitializations() const {
  Lock lock(state_->mu);
  int n = 0;
  for (const auto& [_, depth] : state_->outside.comInit) n += depth;
  return n;
}

}  // namespace qx::sim
