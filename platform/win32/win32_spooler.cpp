#include "platform/win32/win32_facets.h"
#include "platform/win32/win32_convert.h"

#include <winspool.h>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace qx::win32 {
namespace {

// The spooler's two-call protocol: ask for the size, then fill a buffer of that size. The
// list may grow between the two calls; the fill is then asked again, a few times at most.
template <typename Call>
bool Enumerate(Call call, std::vector<BYTE>& buffer, ::DWORD& count) {
  ::DWORD needed = 0;
  count = 0;
  if (call(nullptr, 0, &needed, &count)) return true;  // nothing to report
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) return false;
    buffer.assign(needed, 0);
    count = 0;
    if (call(buffer.data(), needed, &needed, &count)) return true;
  }
  return false;
}

template <typename Record>
const Record* Records(const std::vector<BYTE>& buffer) {
  return reinterpret_cast<const Record*>(buffer.data());
}

// The spooler packs a printer's device mode and security descriptor into the enumeration's
// buffer, and each says its own size: a device mode dmSize + dmDriverExtra, which a driver's
// broken device mode kept in the registry may overstate. Neither is read past the buffer's
// end: a device mode is cut there (and SetPrinterA then refuses it, rather than have the
// spooler read past it), a descriptor that does not lie whole inside the buffer is left out.
constexpr std::size_t kDevModeHead = offsetof(::DEVMODEA, dmFields);

std::size_t DeclaredSize(const std::vector<BYTE>& devMode) {
  const auto* mode = reinterpret_cast<const ::DEVMODEA*>(devMode.data());
  return std::size_t{mode->dmSize} + mode->dmDriverExtra;
}

// How many bytes of the buffer lie from p on; 0 when p is null or not inside it.
std::size_t BytesLeft(const std::vector<BYTE>& buffer, const void* p) {
  const auto* bytes = static_cast<const BYTE*>(p);
  if (!bytes || bytes < buffer.data() || bytes >= buffer.data() + buffer.size()) return 0;
  return static_cast<std::size_t>(buffer.data() + buffer.size() - bytes);
}

std::vector<BYTE> DevModeBytes(const std::vector<BYTE>& buffer, const ::DEVMODEA* mode) {
  const std::size_t left = BytesLeft(buffer, mode);
  if (left < kDevModeHead) return {};
  const auto* bytes = reinterpret_cast<const BYTE*>(mode);
  return std::vector<BYTE>(bytes, bytes + std::min(left, std::size_t{mode->dmSize} + mode->dmDriverExtra));
}

std::vector<BYTE> SecurityBytes(const std::vector<BYTE>& buffer, ::PSECURITY_DESCRIPTOR sd) {
  const std::size_t left = BytesLeft(buffer, sd);
  if (left < sizeof(::SECURITY_DESCRIPTOR_RELATIVE)) return {};
  const ::DWORD size = ::GetSecurityDescriptorLength(sd);
  if (size > left) return {};
  const auto* bytes = static_cast<const BYTE*>(sd);
  return std::vector<BYTE>(bytes, bytes + size);
}

::LPSTR Arg(const char* s) { return const_cast<::LPSTR>(s); }

}  // namespace

BOOL Win32Spooler::EnumPrintersA(DWORD flags, const char* name, std::vector<qx::PRINTER_INFO_2A>& printers) {
  printers.clear();
  std::vector<BYTE> buffer;
  ::DWORD count = 0;
  const bool ok = Enumerate(
      [&](BYTE* b, ::DWORD cb, ::DWORD* needed, ::DWORD* returned) {
        return ::EnumPrintersA(flags, Arg(name), 2, b, cb, needed, returned);
      },
      buffer, count);
  if (!ok) return FALSE;
  const auto* r = Records<::PRINTER_INFO_2A>(buffer);
  for (::DWORD i = 0; i < count; ++i) {
    qx::PRINTER_INFO_2A p;
    p.pServerName = Text(r[i].pServerName);
    p.pPrinterName = Text(r[i].pPrinterName);
    p.pShareName = Text(r[i].pShareName);
    p.pPortName = Text(r[i].pPortName);
    p.pDriverName = Text(r[i].pDriverName);
    p.pComment = Text(r[i].pComment);
    p.pLocation = Text(r[i].pLocation);
    p.pDevMode = DevModeBytes(buffer, r[i].pDevMode);
    p.pSepFile = Text(r[i].pSepFile);
    p.pPrintProcessor = Text(r[i].pPrintProcessor);
    p.pDatatype = Text(r[i].pDatatype);
    p.pParameters = Text(r[i].pParameters);
    p.pSecurityDescriptor = SecurityBytes(buffer, r[i].pSecurityDescriptor);
    p.Attributes = r[i].Attributes;
    p.Priority = r[i].Priority;
    p.DefaultPriority = r[i].DefaultPriority;
    p.StartTime = r[i].StartTime;
    p.UntilTime = r[i].UntilTime;
    p.Status = r[i].Status;
    p.cJobs = r[i].cJobs;
    p.AveragePPM = r[i].AveragePPM;
    printers.push_back(std::move(p));
  }
  return TRUE;
}

BOOL Win32Spooler::OpenPrinterA(const char* printerName, qx::HANDLE* printer, const qx::PRINTER_DEFAULTSA* defaults) {
  ::PRINTER_DEFAULTSA d{};
  if (defaults) {
    d.pDatatype = Arg(defaults->pDatatype);
    d.pDevMode = nullptr;
    d.DesiredAccess = defaults->DesiredAccess;
  }
  ::HANDLE opened = nullptr;
  const ::BOOL ok = ::OpenPrinterA(Arg(printerName), &opened, defaults ? &d : nullptr);
  if (printer) *printer = ok ? opened : nullptr;
  return ok;
}

BOOL Win32Spooler::SetPrinterA(qx::HANDLE printer, DWORD level, const qx::PRINTER_INFO_2A* info, DWORD command) {
  if (level != 2 || !info) return ::SetPrinterA(printer, level, nullptr, command);
  // Copies the spooler may read at its leisure, aligned as their records need.
  std::vector<BYTE> devMode(info->pDevMode);
  std::vector<BYTE> security(info->pSecurityDescriptor);
  if (!devMode.empty() && (devMode.size() < kDevModeHead || DeclaredSize(devMode) > devMode.size())) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ::PRINTER_INFO_2A p{};
  p.pServerName = OrNull(info->pServerName);
  p.pPrinterName = OrNull(info->pPrinterName);
  p.pShareName = OrNull(info->pShareName);
  p.pPortName = OrNull(info->pPortName);
  p.pDriverName = OrNull(info->pDriverName);
  p.pComment = OrNull(info->pComment);
  p.pLocation = OrNull(info->pLocation);
  p.pDevMode = devMode.empty() ? nullptr : reinterpret_cast<::DEVMODEA*>(devMode.data());
  p.pSepFile = OrNull(info->pSepFile);
  p.pPrintProcessor = OrNull(info->pPrintProcessor);
  p.pDatatype = OrNull(info->pDatatype);
  p.pParameters = OrNull(info->pParameters);
  p.pSecurityDescriptor = security.empty() ? nullptr : security.data();
  p.Attributes = info->Attributes;
  p.Priority = info->Priority;
  p.DefaultPriority = info->DefaultPriority;
  p.StartTime = info->StartTime;
  p.UntilTime = info->UntilTime;
  p.Status = info->Status;
  p.cJobs = info->cJobs;
  p.AveragePPM = info->AveragePPM;
  return ::SetPrinterA(printer, 2, reinterpret_cast<BYTE*>(&p), command);
}

BOOL Win32Spooler::ClosePrinter(qx::HANDLE printer) { return ::ClosePrinter(printer); }

BOOL Win32Spooler::DeletePrinter(qx::HANDLE printer) { return ::DeletePrinter(printer); }

BOOL Win32Spooler::DeletePrinterConnectionA(const char* name) { return ::DeletePrinterConnectionA(Arg(name)); }

BOOL Win32Spooler::EnumPrinterDriversA(const char* server, const char* environment,
                                       std::vector<qx::DRIVER_INFO_2A>& drivers) {
  drivers.clear();
  std::vector<BYTE> buffer;
  ::DWORD count = 0;
  const bool ok = Enumerate(
      [&](BYTE* b, ::DWORD cb, ::DWORD* needed, ::DWORD* returned) {
        return ::EnumPrinterDriversA(Arg(server), Arg(environment), 2, b, cb, needed, returned);
      },
      buffer, count);
  if (!ok) return FALSE;
  const auto* r = Records<::DRIVER_INFO_2A>(buffer);
  for (::DWORD i = 0; i < count; ++i)
    drivers.push_back({r[i].cVersion, Text(r[i].pName), Text(r[i].pEnvironment), Text(r[i].pDriverPath),
                       Text(r[i].pDataFile), Text(r[i].pConfigFile)});
  return TRUE;
}

BOOL Win32Spooler::DeletePrinterDriverA(const char* server, const char* environment, const char* driverName) {
  return ::DeletePrinterDriverA(Arg(server), Arg(environment), Arg(driverName));
}

BOOL Win32Spooler::EnumMonitorsA(const char* server, std::vector<qx::MONITOR_INFO_1A>& monitors) {
  monitors.clear();
  std::vector<BYTE> buffer;
  ::DWORD count = 0;
  const bool ok = Enumerate(
      [&](BYTE* b, ::DWORD cb, ::DWORD* needed, ::DWORD* returned) {
        return ::EnumMonitorsA(Arg(server), 1, b, cb, needed, returned);
      },
      buffer, count);
  if (!ok) return FALSE;
  const auto* r = Records<::MONITOR_INFO_1A>(buffer);
  for (::DWORD i = 0; i < count; ++i) monitors.push_back({Text(r[i].pName)});
  return TRUE;
}

BOOL Win32Spooler::DeleteMonitorA(const char* server, const char* environment, const char* monitorName) {
  return ::DeleteMonitorA(Arg(server), Arg(environment), Arg(monitorName));
}

BOOL Win32Spooler::EnumPortsA(const char* server, std::vector<qx::PORT_INFO_2A>& ports) {
  ports.clear();
  std::vector<BYTE> buffer;
  ::DWORD count = 0;
  const bool ok = Enumerate(
      [&](BYTE* b, ::DWORD cb, ::DWORD* needed, ::DWORD* returned) {
        return ::EnumPortsA(Arg(server), 2, b, cb, needed, returned);
      },
      buffer, count);
  if (!ok) return FALSE;
  const auto* r = Records<::PORT_INFO_2A>(buffer);
  for (::DWORD i = 0; i < count; ++i)
    ports.push_back({Text(r[i].pPortName), Text(r[i].pMonitorName), Text(r[i].pDescription), r[i].fPortType,
                     r[i].Reserved});
  return TRUE;
}

BOOL Win32Spooler::DeletePortA(const char* server, qx::HWND window, const char* portName) {
  return ::DeletePortA(Arg(server), ToWin(window), Arg(portName));
}

BOOL Win32Spooler::EnumPrintProcessorsA(const char* server, const char* environment,
                                        std::vector<qx::PRINTPROCESSOR_INFO_1A>& processors) {
  processors.clear();
  std::vector<BYTE> buffer;
  ::DWORD count = 0;
  const bool ok = Enumerate(
      [&](BYTE* b, ::DWORD cb, ::DWORD* needed, ::DWORD* returned) {
        return ::EnumPrintProcessorsA(Arg(server), Arg(environment), 1, b, cb, needed, returned);
      },
      buffer, count);
  if (!ok) return FALSE;
  const auto* r = Records<::PRINTPROCESSOR_INFO_1A>(buffer);
  for (::DWORD i = 0; i < count; ++i) processors.push_back({Text(r[i].pName)});
  return TRUE;
}

BOOL Win32Spooler::DeletePrintProcessorA(const char* server, const char* environment, const char* processorName) {
  return ::DeletePrintProcessorA(Arg(server), Arg(environment), Arg(processorName));
}

}  // namespace qx::win32
