// Whole-machine comparison for the image scenarios: a machine taken apart into objects (keys,
// values, files, directories, service states, metabase keys), and the family's list of what it
// installed, read from an image's residue.txt.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace qx::test {

// Object id ("key HKEY_...", "value KEY|NAME", "file C:\...", "dir C:\...", "service NAME",
// "metabase /LM/...", "webapp /LM/...", "pendingdriver ENV|NAME") to its contents.
using MachineObjects = std::map<std::string, std::string>;
MachineObjects TakeObjects(const sim::SimMachine& m);
// The ids whose contents differ between a and b (present in one only, or changed).
std::vector<std::string> Changed(const MachineObjects& a, const MachineObjects& b);

// One line of residue.txt: "kind object" (UTF-8 in the file, code page 932 here).
//   file, folder, group, shortcut PATH   the file or directory, with all below it
//   key KEY                              the key with all below it
//   value KEY|NAME                       one value
//   service NAME                         its service key and its run state
//   printer NAME                         both printer trees' keys and the users' Devices and
//                                        PrinterPorts values of that name
//   driver ENV|NAME, processor ENV|NAME  under Control\Print\Environments\ENV
//   monitor NAME, port NAME              a monitor's key; a port's key below a monitor, or its
//                                        value among the NT family's local ports
//   metabase /LM/...                     a metabase key (and its web application)
//   pulled KEY|NAME|TEXT                 a shared value that must keep everything but TEXT
//   ini FILE|SECTION|KEY                 a line of a shared settings file that must be gone
// A line "left KIND OBJECT" names an object of the family that a run leaves behind, for the
// reason its comment gives: it must still be there, so that a change is noticed. A line
// "rewritten value KEY|NAME" or "rewritten ini FILE|SECTION|KEY" names another program's
// value or settings line that the run changes by design (a printer moved off the family's
// port): it must still be there, with any contents.
struct FamilyObject {
  std::string kind, object;
  bool left = false;
  bool rewritten = false;
  int line = 0;
};
bool ReadResidueList(const std::string& path, std::vector<FamilyObject>& out, std::string& error);

// Whether the object id belongs to the family object (kinds pulled and ini never own a whole
// id: their objects are shared and compared by CompareShared).
bool Owns(const FamilyObject& f, const std::string& id);
// For pulled and ini: "" when the shared object after the run holds exactly what it held
// before without the family's part, else what is wrong.
std::string CompareShared(const FamilyObject& f, const MachineObjects& before, const MachineObjects& after);

// For an object the family shares with other programs (a settings file with family lines, a
// value holding a family text): "" when it differs between before and after only in the
// family's part, else what differs; nothing when the object is not shared.
std::optional<std::string> CompareSharedObject(const std::vector<FamilyObject>& family, const std::string& id,
                                               const MachineObjects& before, const MachineObjects& after);
// The text of a file object's contents (without its attributes and short name).
std::string FileText(const std::string& contents);
// A settings file's text without the lines the ini entries for file name; removed counts them.
std::string StripIniLines(const std::string& contents, const std::vector<FamilyObject>& family, const std::string& file,
                          int* removed = nullptr);

}  // namespace qx::test
