// File and directory primitives.
#pragma once

#include <string>

namespace qx {

// Makes the path end in a backslash (a second byte of a double-byte character is not one);
// changes it in place and returns a copy.
std::string EnsureTrailingBackslash(std::string& path);

}  // namespace qx
