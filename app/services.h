// The fixed set of services the eraser stops, deletes, starts and inspects.
#pragma once

#include <vector>

#include "platform/types.h"

namespace qx {

struct ServiceDescription {
  const char* serviceName;
  const char* displayName;
  DWORD desiredAccess;
  DWORD serviceType;
  DWORD startType;
  DWORD errorControl;
  const char* binaryPath;
  const char* loadOrderGroup;
  std::vector<const char*> dependencies;  // "+" marks a load-order group
  const char* startName;
};

// The services of ServiceTable, by index.
enum ServiceIndex : unsigned {
  kParallelService = 0,      // Par1284, the family's own on Windows NT 3.51
  kStatusDataService = 1,    // ZOVSDS
  kQueueStatusService = 2,   // ZOVNQSNT
  kStatusMonitorService = 3, // ZOVPMN
  kPrivateQueueService = 4,  // ZOVPQS
  kJobRecorderService = 5,   // ZOVPJR
  kRemoteCareService = 6,    // ZOVRCM
  kSpoolerService = 7,       // SPOOLER
  kWebService = 8,           // W3SVC
};
inline constexpr unsigned kServiceCount = 9;

// Only the service name is used; the rest records what is being removed.
const ServiceDescription& ServiceTable(unsigned index);

// A service that never reports the state asked for is given up after this many polls of
// 500 ms (about a minute), like the start wait.
inline constexpr int kServicePollLimit = 121;
inline constexpr DWORD kServicePollMs = 500;
// A service that the run stopped (the spooler, the web service) is started again this many
// times, this far apart, before it is left to the restart.
inline constexpr int kSpoolerStartAttempts = 3;
inline constexpr DWORD kSpoolerRetryMs = 5000;
// Whether the spooler runs is asked this many times, kServicePollMs apart, before it is taken
// as running.
inline constexpr int kSpoolerQueryAttempts = 3;

}  // namespace qx
