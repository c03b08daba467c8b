// Windows' own places. Whatever a configuration line, a registry record, a migration record
// or an uninstall string names, the eraser never deletes one of these, never empties it and
// never deletes the tree below it; the family's own subfolders, files, keys and values inside
// them stay deletable one by one.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace qx {

// Why a target is left alone; each has its log text, written after the stage's failure wording.
enum class Refusal { kNone, kProtected, kMalformed };
inline constexpr const char* kProtectedReason = " 保護された場所のため削除しない。";
inline constexpr const char* kMalformedReason = " 指定が正しくないため削除しない。";
const char* RefusalText(Refusal refusal);

// Registry: the roots, every key directly below HKEY_LOCAL_MACHINE, HKEY_USERS and
// HKEY_CURRENT_USER, Windows' container keys that the family's keys sit in (with every key on
// the way down to them), and the shell's own classes below HKEY_CLASSES_ROOT. The same key
// is recognised by any of its names: HKEY_CLASSES_ROOT is HKEY_LOCAL_MACHINE\SOFTWARE\Classes
// and a user's _Classes hive, HKEY_CURRENT_USER any user's hive. "." and ".." levels and empty
// levels (doubled or trailing backslashes) are taken as a path would take them.
bool IsProtectedKey(HKEY root, const std::string& subkey);

// The spooler's own port monitors and print processor, which every printer of other vendors
// may stand on: never deleted through the spooler or its registry data.
bool IsWindowsOwnMonitor(const std::string& name);
bool IsWindowsOwnPrintProcessor(const std::string& name);

// A path cut into its levels the way Windows resolves it: "/" is a separator, "." goes,
// ".." takes the level before it (never the drive or share), empty levels go, and trailing
// dots and blanks of a level are dropped. The first level is the drive ("C:") or the share's
// server ("\\server"). False for anything that is not a full path (a relative path, a bare
// drive without a backslash, "\\?\" forms are taken after their prefix).
bool SplitFullPath(const std::string& path, std::vector<std::string>& levels);
// Whether two full paths name the same place once resolved, compared without regard to case.
bool SamePath(const std::string& a, const std::string& b);

// The folders of one machine that are Windows' own: drive and share roots, the Windows,
// system and temporary directories, Program Files, the profile folders and every profile,
// the Start menu, Programs, Startup and Desktop folders (common and per user), the spooler's
// folders; each by its long and, where the machine gives one, its 8.3 name.
class ProtectedFolders {
 public:
  void Build(Platform& sys, const std::string& windowsDir, const std::string& systemDir,
             const std::string& altSystemDir, const std::string& tempDir);
  // Whether path (a file or a folder) may be deleted: kMalformed when it is no full path,
  // kProtected when it is one of the folders (its short name included).
  Refusal Check(Platform& sys, const std::string& path) const;
  // Whether a folder may be taken as the product's own (emptied and removed): not one of
  // these folders, and none of them inside it.
  Refusal CheckOwnFolder(Platform& sys, const std::string& path) const;
  // The key the folders were built for; Build is needed again when it changes.
  std::string builtFor;

 private:
  void Add(Files& files, const std::string& path);
  bool Holds(const std::string& folded) const;
  std::vector<std::string> folders_;  // folded level lists joined by "\"
};

}  // namespace qx
