// The rules of the run log: the heavy line opens a section, the light line a group of lines
// within one.
#pragma once

#include <string>

namespace qx {

inline const std::string kHeavyLine = std::string(70, '=') + "\r\n";
inline const std::string kLightLine = std::string(70, '-') + "\r\n";

}  // namespace qx
