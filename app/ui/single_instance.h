// One Qorvex Eraser at a time: the first instance creates a named event and holds it until it
// exits; a second one finds it already there.
#pragma once

#include "platform/system.h"

namespace qx {

inline constexpr const char* kInstanceEventName = "Qorvex::QXErs";

// True for the first instance, which keeps event open until it exits (event may be null when
// the event could not be made for another reason; the program then runs unguarded). False for a
// second instance, which holds nothing and exits without a word.
bool ClaimSingleInstance(System& system, HANDLE& event);

}  // namespace qx
