// The print spooler calls, for the local machine.
//
// Windows fills a caller's buffer with records that point into it; here each enumeration
// returns its records as values, and the backend does the sizing call and the real call
// itself. A text field that the spooler reports as a null pointer is an empty string, and an
// empty string field is handed to the spooler as a null pointer.
#pragma once
#include <string>
#include <vector>

#include "platform/types.h"

namespace qx {

inline constexpr DWORD PRINTER_ENUM_DEFAULT = 0x00000001;
inline constexpr DWORD PRINTER_ENUM_LOCAL = 0x00000002;
inline constexpr DWORD PRINTER_ENUM_CONNECTIONS = 0x00000004;
inline constexpr DWORD PRINTER_ENUM_NAME = 0x00000008;
inline constexpr DWORD PRINTER_ENUM_SHARED = 0x00000020;
inline constexpr DWORD PRINTER_ENUM_NETWORK = 0x00000040;

inline constexpr DWORD PRINTER_ACCESS_ADMINISTER = 0x00000004;
inline constexpr DWORD PRINTER_ACCESS_USE = 0x00000008;
inline constexpr DWORD PRINTER_ALL_ACCESS = 0x000F000C;

inline constexpr DWORD PRINTER_ATTRIBUTE_QUEUED = 0x00000001;
inline constexpr DWORD PRINTER_ATTRIBUTE_DIRECT = 0x00000002;
inline constexpr DWORD PRINTER_ATTRIBUTE_DEFAULT = 0x00000004;
inline constexpr DWORD PRINTER_ATTRIBUTE_SHARED = 0x00000008;
inline constexpr DWORD PRINTER_ATTRIBUTE_NETWORK = 0x00000010;
inline constexpr DWORD PRINTER_ATTRIBUTE_LOCAL = 0x00000040;

inline constexpr DWORD PORT_TYPE_WRITE = 0x0001;
inline constexpr DWORD PORT_TYPE_READ = 0x0002;
inline constexpr DWORD PORT_TYPE_REDIRECTED = 0x0004;
inline constexpr DWORD PORT_TYPE_NET_ATTACHED = 0x0008;

// Spooler error codes besides those in types.h.
inline constexpr DWORD ERROR_INVALID_LEVEL = 124;
inline constexpr DWORD ERROR_INVALID_DATATYPE = 1804;
inline constexpr DWORD ERROR_INVALID_ENVIRONMENT = 1805;
inline constexpr DWORD ERROR_PRINTER_ALREADY_EXISTS = 1802;
inline constexpr DWORD ERROR_INVALID_PRINTER_COMMAND = 1803;
inline constexpr DWORD ERROR_PRINTER_DELETED = 1905;
inline constexpr DWORD ERROR_UNKNOWN_PRINT_MONITOR = 3000;
inline constexpr DWORD ERROR_INVALID_PRINT_MONITOR = 3007;
inline constexpr DWORD ERROR_PRINTER_HAS_JOBS_QUEUED = 3009;
inline constexpr DWORD ERROR_BUSY = 170;               // DeletePortA: a printer uses the port
inline constexpr DWORD ERROR_CAN_NOT_COMPLETE = 1003;  // DeletePrintProcessorA: a printer uses it

// PRINTER_INFO_2A. pDevMode and pSecurityDescriptor hold the bytes the pointers point at
// (the DEVMODEA with its driver-private part, the self-relative security descriptor);
// empty for a null pointer.
struct PRINTER_INFO_2A {
  std::string pServerName;
  std::string pPrinterName;
  std::string pShareName;
  std::string pPortName;
  std::string pDriverName;
  std::string pComment;
  std::string pLocation;
  std::vector<BYTE> pDevMode;
  std::string pSepFile;
  std::string pPrintProcessor;
  std::string pDatatype;
  std::string pParameters;
  std::vector<BYTE> pSecurityDescriptor;
  DWORD Attributes = 0;
  DWORD Priority = 0;
  DWORD DefaultPriority = 0;
  DWORD StartTime = 0;
  DWORD UntilTime = 0;
  DWORD Status = 0;
  DWORD cJobs = 0;
  DWORD AveragePPM = 0;
};

struct DRIVER_INFO_2A {
  DWORD cVersion = 0;
  std::string pName;
  std::string pEnvironment;
  std::string pDriverPath;
  std::string pDataFile;
  std::string pConfigFile;
};

struct MONITOR_INFO_1A {
  std::string pName;
};

struct PORT_INFO_2A {
  std::string pPortName;
  std::string pMonitorName;
  std::string pDescription;
  DWORD fPortType = 0;
  DWORD Reserved = 0;
};

struct PRINTPROCESSOR_INFO_1A {
  std::string pName;
};

// OpenPrinterA's defaults. pDatatype null for none; the device mode is always none.
struct PRINTER_DEFAULTSA {
  const char* pDatatype = nullptr;
  DWORD DesiredAccess = 0;
};

class Spooler {
 public:
  virtual ~Spooler() = default;
  // Level 2 records. On failure the list is empty and the reason is in GetLastError.
  // No printers to report is success with an empty list.
  virtual BOOL EnumPrintersA(DWORD flags, const char* name, std::vector<PRINTER_INFO_2A>& printers) = 0;
  // defaults may be null (the spooler's own defaults).
  virtual BOOL OpenPrinterA(const char* printerName, HANDLE* printer, const PRINTER_DEFAULTSA* defaults) = 0;
  // level 2 with a record, or level 0 with info null for a control command.
  virtual BOOL SetPrinterA(HANDLE printer, DWORD level, const PRINTER_INFO_2A* info, DWORD command) = 0;
  virtual BOOL ClosePrinter(HANDLE printer) = 0;
  virtual BOOL DeletePrinter(HANDLE printer) = 0;
  virtual BOOL DeletePrinterConnectionA(const char* name) = 0;
  // Level 2 records of one environment (null: the machine's own).
  virtual BOOL EnumPrinterDriversA(const char* server, const char* environment,
                                   std::vector<DRIVER_INFO_2A>& drivers) = 0;
  virtual BOOL DeletePrinterDriverA(const char* server, const char* environment, const char* driverName) = 0;
  // Level 1 records.
  virtual BOOL EnumMonitorsA(const char* server, std::vector<MONITOR_INFO_1A>& monitors) = 0;
  virtual BOOL DeleteMonitorA(const char* server, const char* environment, const char* monitorName) = 0;
  // Level 2 records.
  virtual BOOL EnumPortsA(const char* server, std::vector<PORT_INFO_2A>& ports) = 0;
  // No owner window: the engine never passes one.
  virtual BOOL DeletePortA(const char* server, HWND window, const char* portName) = 0;
  // Level 1 records.
  virtual BOOL EnumPrintProcessorsA(const char* server, const char* environment,
                                    std::vector<PRINTPROCESSOR_INFO_1A>& processors) = 0;
  virtual BOOL DeletePrintProcessorA(const char* server, const char* environment,
                                     const char* processorName) = 0;
};

}  // namespace qx
