// What the folder stage shares with the other removals of program groups.
#pragma once

#include <string>

namespace qx {

// A menu entry "group" or "group,item": the item loses a ".lnk" ending (in any case).
void SplitMenuEntry(const std::string& entry, std::string& group, std::string& item);

}  // namespace qx
