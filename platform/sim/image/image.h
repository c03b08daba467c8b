// Machine images: a folder that describes a whole simulated machine, so that a run can be
// set up from files and its outcome kept as files.
//
//   machine.ini   the system, service states, file attributes and locks, faults (UTF-8;
//                 the layout is described at the top of images/default/machine.ini).
//                 Without it the image is a real machine's regedit export: the settings come
//                 from its registry and the automatic services run (image_preview.h)
//   QXErs.ini     optional: the configuration, put beside the program (ModuleFileName)
//   *.reg         the registry, as regedit exports it, applied in name order: REGEDIT4 in
//                 code page 932 or UTF-8 with a byte-order mark, or "Windows Registry
//                 Editor Version 5.00" in UTF-16LE
//   drive_c/      the files of C:\ as real files, names in UTF-8, contents byte for byte
//                 (drive_d/ and so on for other drives)
//
// All text becomes code page 932 on the machine, as on a Japanese Windows.
#pragma once

#include <string>

#include "platform/sim/sim_machine.h"

namespace qx::sim {

// Loads the image in folder into m, which should be freshly constructed. On failure it
// returns false with a message that names the file and, for text files, the line
// ("machine.ini:12: unknown state 'runing'"); m is then only partly set up and must not
// be run. machine.ini and QXErs.ini are parsed before the machine is touched; the .reg
// files are read once, as the registry is built from them (an export of a million keys is
// never held whole), so a syntax error in one is found with the registry partly built;
// mismatches with the loaded machine (a service state without a service key, attributes
// for a missing file) are found after the registry and files are in place.
bool LoadImage(const std::string& folder, SimMachine& m, std::string& error);

// Writes m as an image into folder, which must not exist or be empty: machine.ini, one
// registry.reg (REGEDIT4, code page 932) and drive_c/ (and a drive_x/ for every other
// drive that holds files). Loading the result gives the same machine, and saving that
// again gives the same bytes.
bool SaveImage(const SimMachine& m, const std::string& folder, std::string& error);

}  // namespace qx::sim
