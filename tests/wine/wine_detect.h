// Whether this program runs under Wine rather than on Windows.
#pragma once
#include <string>

namespace qx::wine {

bool RunningUnderWine();
std::string WineVersion();  // empty on Windows

}  // namespace qx::wine
