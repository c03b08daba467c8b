// A what-if run of QXErs.exe: the live machine taken into a simulated one (its registry, the
// system's facts, the services' states and other programs' windows copied, its disk read
// through, read only), the unchanged run made there, and what it changed told by kind as
// qxers-sim tells it. Nothing on the live machine is changed, loaded, started or stopped.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace qx {

class WhatIfRun {
 public:
  explicit WhatIfRun(Platform& live);
  ~WhatIfRun();
  WhatIfRun(const WhatIfRun&) = delete;
  WhatIfRun& operator=(const WhatIfRun&) = delete;

  // The simulated machine's facets, for the job.
  Platform& platform();

  // After the run: the file the run wrote at path in the simulation, written for real
  // (the run's log copy, which the administrator asked for); false when there is none or it
  // could not be written.
  bool CopyOut(const std::string& path);

  // After the run: the result file's [WhatIf] section (CP932, CR LF): per kind its counts,
  // then every object, as qxers-sim's summary lists them.
  std::string ReportSection();
  // The same, as a few lines for a person (CP932).
  std::string ShortText();

 private:
  struct Machines;
  Platform& live_;
  std::unique_ptr<Machines> m_;
};

}  // namespace qx
