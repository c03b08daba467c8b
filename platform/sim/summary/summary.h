// What changed between two states of a machine, by the kinds of object an administrator
// thinks in: files, folders, registry keys and values, services, the spooler's objects,
// program groups and shortcuts, and what waits for the restart. `run` compares the machine
// before and after the run; `diff` compares two images.
#pragma once

#include <array>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace qxsim {

enum class Kind {
  kFiles,
  kFolders,
  kKeys,
  kValues,
  kServices,
  kPrinters,
  kDrivers,
  kMonitors,
  kPorts,
  kPrintProcessors,
  kGroups,
  kShortcuts,
  kRestart,  // deletions and renames waiting for the restart
};
constexpr int kKindCount = 13;

// "files", "registry keys", ... as the summary shows them.
const char* KindName(Kind kind);

// One object: how it is shown (UTF-8) and what it holds, compared to tell a change.
struct Object {
  std::string shown;
  std::string holds;
};

// What a machine holds, to be compared with another. The spooler's objects, groups and
// shortcuts are views of registry data and files: they are counted under their own kind and
// under keys, values, files and folders as well.
//
// Objects are told apart by their names (full paths for files, keys and values) folded as
// Windows compares names. The registry and the files are kept as a compact copy of their
// trees, compared level by level, so that no path is made for an object that did not
// change; the other kinds are few and kept by folded name.
struct MachineView {
  std::array<std::map<std::string, Object>, kKindCount> objects;  // services, the spooler's objects, the restart
  std::string registry;                    // the registry's tree (summary.cpp's format)
  std::string files;                       // the drives' trees
  std::vector<std::string> programFolders;  // folded, each with a backslash after it
  // Some name could make two objects' folded paths the same (a key name starting with a
  // quote, a name ending in half a double-byte character): then the trees are compared
  // path by path, as names would merge.
  bool oddNames = false;
  // With oddNames: the trees' objects (files, folders, keys, values, groups, shortcuts) by
  // folded path, as the machine lists them.
  std::array<std::map<std::string, Object>, kKindCount> paths;
};

// like: a capture of the same machine earlier (or of a machine much like it), whose sizes
// are taken for the copies' room instead of measuring the trees first.
MachineView Capture(const qx::sim::SimMachine& m, const MachineView* like = nullptr);

struct KindChange {
  std::vector<std::string> removed, added, changed;  // shown names, in name order
  bool empty() const { return removed.empty() && added.empty() && changed.empty(); }
};

struct Summary {
  std::array<KindChange, kKindCount> kinds;
  // Files the run looked for that the image does not hold (a preview of a real machine):
  // the image cannot say whether the real machine has them.
  std::vector<std::string> unknownFiles;
  bool empty() const;
};

Summary Compare(const MachineView& before, const MachineView& after);

// The summary as text: a line per kind with its counts, and with verbose every object under
// it ("- " removed, "+ " added, "~ " changed).
std::string FormatSummary(const Summary& summary, bool verbose);

}  // namespace qxsim
