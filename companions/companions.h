// Names the companion stages share: registry places of the product family and the order of
// the migration lists.
#pragma once

#include <string>

#include "platform/registry.h"

namespace qx {

inline constexpr const char* kUninstallRoot = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr const char* kProductPrinters = "SOFTWARE\\ZOV\\Qorvex\\Printers";
inline constexpr const char* kTemporaryKey = "SOFTWARE\\ZOV\\QorvexTemp";
inline constexpr const char* kTemporaryPrinters = "SOFTWARE\\ZOV\\QorvexTemp\\Printers";
// The migration settings file in the Windows directory.
inline constexpr const char* kSettingsFile = "ZOVQXCFG.INI";


// The companion program "ZOVPLS.exe" is known by the ApplicationName of its uninstall entry.
bool IsCompanionEntry(Registry& reg, const std::string& entry);
// From the entry's uninstall string: the path after "-n", from the drive letter before its
// last colon on (other text may follow). False when the string has no such path.
bool ReadCompanionUninstallPath(Registry& reg, const std::string& entry, std::string& path);

}  // namespace qx
