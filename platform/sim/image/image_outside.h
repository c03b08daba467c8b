// The sections of machine.ini that describe other programs: [Windows], [Events], [Modules]
// and [WebAdmin] (the layout is described at the top of images/default/machine.ini).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace qx::sim::image {

struct OutsideIni {
  struct WindowLine {
    ProgramWindow window;
    int line = 0;
  };
  std::vector<WindowLine> windows;  // topmost first
  struct EventLine {
    HeldEvent event;
    int line = 0;
  };
  std::vector<EventLine> events;
  struct ModuleLine {
    ModuleSpec module;
    int line = 0;
  };
  std::vector<ModuleLine> modules;
  bool hasWebServer = false;
  WebServer web;
  int webLine = 0;
};

// Whether a section of that name is one of these (compared without regard to case).
bool IsOutsideSection(std::string_view name);

// One key=value line (UTF-8, trimmed) of such a section; false with a message.
bool ParseOutsideLine(std::string_view section, std::string_view key, std::string_view value, int line,
                      OutsideIni& ini, std::string& message);

// After the registry and the files are in place: modules must name existing files.
bool ApplyOutside(const OutsideIni& ini, SimMachine& m, std::string& error);

// The four sections for m, as they stand (closed windows and deleted files left out).
bool WriteOutside(const SimMachine& m, std::string& out, std::string& error);

}  // namespace qx::sim::image
