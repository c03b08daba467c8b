// Directories that the run empties later: which texts may name one, and the lists they join.
#pragma once

#include <string>

#include "app/CQXErsDoc.h"

namespace qx {

bool ListHoldsNoCase(const StringList& list, const std::string& item);
// Whole directories are emptied later with wildcards, so only a full path below a drive
// root or a network share is taken.
bool IsProductDirectory(const std::string& dir);
// Appends a directory (trailing backslash ensured) unless the list has it already, compared
// without regard to ASCII case; 1 when appended.
int AddDirectoryOnce(StringList& list, std::string dir);

}  // namespace qx
