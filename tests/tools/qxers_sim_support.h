// What the tests of the qxers-sim command share: the skip when the suite is built without it,
// and a shell command's exit status.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#ifdef QXERS_SIM_PATH
#define REQUIRE_QXERS_SIM()
#else
#define REQUIRE_QXERS_SIM() GTEST_SKIP() << "qxers-sim is not built with this suite"
#endif

namespace qx::test {

// The exit status std::system reports, or -1 when the command did not exit by itself.
inline int ExitStatus(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1; }

}  // namespace qx::test
