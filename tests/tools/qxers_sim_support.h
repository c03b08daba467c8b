// What the tests of the qxers-sim command share: the skip when the suite is built without it,
// a shell command's exit status, and a run of the command with what it printed.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/wait.h>

#include "tests/tools/image_support.h"

#ifdef QXERS_SIM_PATH
#define REQUIRE_QXERS_SIM()
#else
#define REQUIRE_QXERS_SIM() GTEST_SKIP() << "qxers-sim is not built with this suite"
#endif

namespace qx::test {

// The exit status std::system reports, or -1 when the command did not exit by itself.
inline int ExitStatus(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1; }

struct Outcome {
  int status = -1;
  std::string out, err;
};

// qxers-sim with args (a shell command line's words), its input from /dev/null.
inline Outcome RunCommand(const std::string& args) {
  Outcome o;
#ifndef QXERS_SIM_PATH
  (void)args;
  return o;
#else
  TempDir capture;
  std::string command = std::string("'") + QXERS_SIM_PATH + "' " + args + " </dev/null >'" +
                        (capture.path() / "out").string() + "' 2>'" + (capture.path() / "err").string() + "'";
  int raw = std::system(command.c_str());
  o.status = ExitStatus(raw);
  o.out = ReadBytes(capture.path() / "out");
  o.err = ReadBytes(capture.path() / "err");
  return o;
#endif
}

}  // namespace qx::test
