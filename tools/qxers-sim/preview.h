// Preview of a real machine: an image made from a regedit export holds the registry but few
// or none of the machine's files. A file the run looks for and does not find is unknown
// rather than missing: the real machine may well have it.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace qxsim {

// The machine's facets with file calls watched: every path a call fails on with "file not
// found" or "path not found" is kept (the folder for a search that finds no folder).
class WatchedPlatform {
 public:
  explicit WatchedPlatform(qx::Platform& machine);
  ~WatchedPlatform();
  qx::Platform& platform() { return *platform_; }
  // The paths not found, in name order, as the machine names them (code page 932).
  std::vector<std::string> NotFound() const;

  class Files;

 private:
  std::unique_ptr<Files> files_;
  std::unique_ptr<qx::Platform> platform_;
};

}  // namespace qxsim
