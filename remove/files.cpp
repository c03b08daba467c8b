#include "remove/files.h"

#include "app/text.h"

namespace qx {

std::string EnsureTrailingBackslash(std::string& path) {
  std::size_t last = FindLastChar(path, '\\');
  if (last == std::string::npos || last + 1 != path.size()) path += '\\';
  return path;
}

}  // namespace qx
