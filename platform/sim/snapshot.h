// A live machine taken into a simulated one, for a what-if run: the registry hives the run can
// reach, the system's facts, the services' states and other programs' windows copied now, and
// the disk read through (read only) when the run looks at it. Everything is read through the
// live machine's facets; nothing there is changed, loaded, started or stopped.
#pragma once

#include <string>

#include "platform/platform.h"
#include "platform/sim/sim_machine.h"

namespace qx::sim {

// What the snapshot took, and what it could not read.
struct SnapshotCounts {
  std::size_t keys = 0, values = 0, unreadableKeys = 0, services = 0, windows = 0;
};

// A live machine's disk through its Files facet, read only: directories by FindFirstFileA,
// contents by a shared read.
class FacetFiles final : public SimMachine::OutsideFiles {
 public:
  explicit FacetFiles(Files& files) : files_(files) {}
  bool List(const std::string& directory, std::vector<Entry>& entries) override;
  bool Read(const std::string& path, std::string& contents) override;
  bool HeldOpen(const std::string& path) override;

 private:
  Files& files_;
};

// Takes live into m, which must be new (before its platform() is first asked for).
SnapshotCounts TakeSnapshot(Platform& live, SimMachine& m);

}  // namespace qx::sim
