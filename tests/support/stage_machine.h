// A simulated Windows NT 4.0 machine with the erase job set up as a removal stage finds it:
// the log on, the product family selected and the Windows directories known.
#pragma once

#include <string>

#include "app/CQXErsDoc.h"
#include "platform/sim/sim_machine.h"

namespace qx::test {

struct StageMachine {
  StageMachine() {
    doc.logEnabled = 1;
    doc.osType = kWindowsNT4;
    doc.delFlags = 1;
    doc.stepTotal = 100;
    doc.windowsDir = "C:\\WINNT\\";
    doc.systemDir = "C:\\WINNT\\System32\\";
    doc.altSystemDir = "C:\\WINNT\\System\\";
  }
  // The log lines that follow the group line with the heading text.
  StringList After(const StringList& log, const std::string& heading) const {
    const std::string line = std::string(70, '-') + "\r\n" + heading;
    for (std::size_t i = 0; i < log.size(); ++i)
      if (log[i] == line) return StringList(log.begin() + i + 1, log.end());
    return {"<no heading " + heading + ">"};
  }
  sim::SimMachine machine;
  CQXErsDoc doc{machine.platform()};
};

}  // namespace qx::test
