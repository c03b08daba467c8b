// machine.ini of a machine image: the system, service states and behaviour, file flags,
// faults and the spooler's own state.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/sim/image/image_outside.h"

namespace qx::sim::image {

struct MachineIni {
  SystemSettings system;  // starts as the machine's settings; [System] overrides keys

  struct Service {
    std::string name;  // code page 932
    DWORD state = SERVICE_STOPPED;
    ServiceBehaviour behaviour;
    int line = 0;
  };
  std::vector<Service> services;

  struct FileFlags {
    std::string path;  // code page 932
    DWORD attributes = 0;  // readonly, hidden, system, archive as listed
    bool noArchive = false;
    bool locked = false;
    std::string lockedBy;  // a service that holds it open while it is not stopped
    bool directory = false;  // make it a directory when missing
    std::string shortName;
    int line = 0;
  };
  std::vector<FileFlags> files;

  struct FaultLine {
    Fault fault;
    int line = 0;
  };
  std::vector<FaultLine> faults;

  // [Spooler]: what the spooler keeps outside the registry.
  struct DeniedAccess {
    std::string printer;  // code page 932
    DWORD access = 0;
    int line = 0;
  };
  std::vector<DeniedAccess> deniedAccess;
  struct PendingDriver {
    std::string environment, driver;  // code page 932
    int line = 0;
  };
  std::vector<PendingDriver> pendingDrivers;
  OutsideIni outside;  // [Windows], [Events], [Modules], [WebAdmin]
};

// Parses machine.ini; ini.system must hold the settings to start from.
bool ParseMachineIni(std::string_view bytes, MachineIni& ini, std::string& error);

// What needs the registry and the files in place: service states, file flags, faults.
bool ApplyMachineIni(const MachineIni& ini, SimMachine& m, std::string& error);

// machine.ini for m. Services whose key is gone are left out (Windows forgets them too).
bool WriteMachineIni(const SimMachine& m, std::string& out, std::string& error);

}  // namespace qx::sim::image
