// The real machine: one of each Win32 facet, handed to the engine as a Platform.
#pragma once
#include "platform/platform.h"
#include "platform/win32/win32_facets.h"

namespace qx::win32 {

class RealPlatform {
 public:
  RealPlatform();
  RealPlatform(const RealPlatform&) = delete;
  RealPlatform& operator=(const RealPlatform&) = delete;

  Platform& platform() { return platform_; }

 private:
  Win32Registry registry_;
  Win32Files files_;
  Win32Profile profile_;
  Win32System system_;
  Win32Services services_;
  Win32Spooler spooler_;
  Win32Windows windows_;
  Win32Dde dde_;
  Win32Modules modules_;
  Win32Shutdown shutdown_;
  Win32WebAdmin webadmin_;
  Platform platform_;
};

}  // namespace qx::win32
