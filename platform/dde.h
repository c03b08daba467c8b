// The DDEML client calls, for conversations with Program Manager.
#pragma once
#include "platform/types.h"

namespace qx {

struct HSZ__;
using HSZ = HSZ__*;
struct HCONV__;
using HCONV = HCONV__*;
struct HDDEDATA__;
using HDDEDATA = HDDEDATA__*;

// The DDE callback, with the arguments DDEML passes (type, format, conversation, two
// string handles, data, two data words).
using PFNCALLBACK = HDDEDATA (*)(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2,
                                 HDDEDATA data, DWORD_PTR data1, DWORD_PTR data2);

struct SECURITY_QUALITY_OF_SERVICE {
  DWORD Length = 0;
  int ImpersonationLevel = 0;
  BYTE ContextTrackingMode = 0;
  BYTE EffectiveOnly = 0;
};

// cb is the size of the 32-bit record, 36, as callers fill it; the backend passes its own size.
struct CONVCONTEXT {
  UINT cb = 36;
  UINT wFlags = 0;
  UINT wCountryID = 0;
  int iCodePage = 0;
  DWORD dwLangID = 0;
  DWORD dwSecurity = 0;
  SECURITY_QUALITY_OF_SERVICE qos;
};

inline constexpr DWORD APPCLASS_STANDARD = 0x00000000;
inline constexpr DWORD APPCMD_CLIENTONLY = 0x00000010;
inline constexpr DWORD APPCMD_FILTERINITS = 0x00000020;
inline constexpr int CP_WINANSI = 1004;
inline constexpr UINT CF_TEXT = 1;
inline constexpr UINT XCLASS_FLAGS = 0x4000;
inline constexpr UINT XTYP_EXECUTE = 0x0050 | XCLASS_FLAGS;
inline constexpr UINT TIMEOUT_ASYNC = 0xFFFFFFFFu;
// DdeCreateDataHandle: the creator keeps the handle after passing it to a transaction.
inline constexpr UINT HDATA_APPOWNED = 0x0001;

// DdeInitializeA and DdeGetLastError results.
inline constexpr UINT DMLERR_NO_ERROR = 0;
inline constexpr UINT DMLERR_ADVACKTIMEOUT = 0x4000;
inline constexpr UINT DMLERR_BUSY = 0x4001;
inline constexpr UINT DMLERR_DATAACKTIMEOUT = 0x4002;
inline constexpr UINT DMLERR_DLL_NOT_INITIALIZED = 0x4003;
inline constexpr UINT DMLERR_DLL_USAGE = 0x4004;
inline constexpr UINT DMLERR_EXECACKTIMEOUT = 0x4005;
inline constexpr UINT DMLERR_INVALIDPARAMETER = 0x4006;
inline constexpr UINT DMLERR_LOW_MEMORY = 0x4007;
inline constexpr UINT DMLERR_MEMORY_ERROR = 0x4008;
inline constexpr UINT DMLERR_NOTPROCESSED = 0x4009;
inline constexpr UINT DMLERR_NO_CONV_ESTABLISHED = 0x400A;
inline constexpr UINT DMLERR_SYS_ERROR = 0x400F;

class Dde {
 public:
  virtual ~Dde() = default;
  // *instance must be 0 for a new instance; it receives the instance id.
  virtual UINT DdeInitializeA(DWORD* instance, PFNCALLBACK callback, DWORD command, DWORD reserved) = 0;
  virtual HSZ DdeCreateStringHandleA(DWORD instance, const char* text, int codePage) = 0;
  virtual BOOL DdeFreeStringHandle(DWORD instance, HSZ hsz) = 0;
  // context may be null.
  virtual HCONV DdeConnect(DWORD instance, HSZ service, HSZ topic, const CONVCONTEXT* context) = 0;
  virtual HDDEDATA DdeCreateDataHandle(DWORD instance, const BYTE* source, DWORD cb, DWORD offset,
                                       HSZ item, UINT format, UINT command) = 0;
  // cbData 0xFFFFFFFF (-1): data is a data handle from DdeCreateDataHandle. result may be null.
  // Null when the transaction fails; for XTYP_EXECUTE a non-null result is TRUE as a handle.
  virtual HDDEDATA DdeClientTransaction(const BYTE* data, DWORD cbData, HCONV conv, HSZ item,
                                        UINT format, UINT type, DWORD timeoutMs, DWORD* result) = 0;
  virtual BOOL DdeFreeDataHandle(HDDEDATA data) = 0;
  virtual BOOL DdeDisconnect(HCONV conv) = 0;
  virtual BOOL DdeUninitialize(DWORD instance) = 0;
  virtual UINT DdeGetLastError(DWORD instance) = 0;
};

}  // namespace qx
