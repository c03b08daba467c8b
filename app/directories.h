// Directories that the run empties later: which texts may name one, and the lists they join.
#pragma once

#include <string>

#include "app/CQXErsDoc.h"

namespace qx {

bool ListHoldsNoCase(const StringList& list, const std::string& item);
// Whole directories are emptied later with wildcards, so only a full path below a drive
// root or a network share is taken.
bool IsProductDirectory(const std::string& dir);

}  // namespace qx
