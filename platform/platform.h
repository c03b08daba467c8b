// The facets the engine reaches the system through, handed to the erase job once.
#pragma once
#include "platform/dde.h"
#include "platform/files.h"
#include "platform/modules.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/shutdown.h"
#include "platform/spooler.h"
#include "platform/system.h"
#include "platform/webadmin.h"
#include "platform/windowing.h"

namespace qx {

struct Platform {
  Registry& registry;
  Files& files;
  Profile& profile;
  System& system;
  Services& services;
  Spooler& spooler;
  Windows& windows;
  Dde& dde;
  Modules& modules;
  Shutdown& shutdown;
  WebAdmin& webadmin;
};

}  // namespace qx
