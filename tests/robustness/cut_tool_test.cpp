// qxers-sim run --cut-after N: the tool cuts where the machine's count says, names the call,
// and writes the machine as the cut left it: the N-th changing call's work is done, the next
// one's is not.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/sim/encoding.h"
#include "platform/sim/image/image.h"
#include "platform/sim/sim_text.h"
#include "tests/robustness/robustness_support.h"
#include "tests/tools/image_support.h"
#include "tests/tools/qxers_sim_support.h"

namespace qx::test::robustness {
namespace {

bool HasKey(const MachineObjects& objects, const std::string& key) {
  for (const auto& [id, _] : objects)
    if (sim::cp932::EqualNoCase(id, "key " + key)) return true;
  return false;
}

TEST(CutTool, CutsAfterTheNamedCallAndKeepsWhatTheCutLeft) {
  REQUIRE_QXERS_SIM();
#ifdef QXERS_SIM_PATH
  const CleanRun& clean = Clean("default");
  ASSERT_EQ(clean.error, "");
  // Two key deletions in a row: the first is done at the cut, the second is not.
  std::size_t k = 0;
  for (std::size_t i = 0; i + 1 < clean.changingLog.size() && !k; ++i) {
    const sim::PlatformCall& a = clean.changingLog[i];
    const sim::PlatformCall& b = clean.changingLog[i + 1];
    if (a.call == "RegDeleteKeyA" && b.call == "RegDeleteKeyA" && HasKey(clean.installed, a.object) &&
        HasKey(clean.installed, b.object))
      k = i + 1;
  }
  ASSERT_GT(k, 0u) << "the clean run deletes no two installed keys in a row";
  const sim::PlatformCall& cut = clean.changingLog[k - 1];
  const sim::PlatformCall& next = clean.changingLog[k];

  TempDir out;
  std::string command = std::string("'") + QXERS_SIM_PATH + "' run '" + QX_SOURCE_DIR + "/images/default' --cut-after " +
                        std::to_string(k) + " --out '" + out.str() + "' >'" + out.str() + "/stdout' 2>&1";
  ASSERT_EQ(ExitStatus(std::system(command.c_str())), 0) << ReadBytes(out.path() / "stdout");
  EXPECT_NE(ReadBytes(out.path() / "stdout")
                .find("[cut] the power went off after changing call " + std::to_string(k) + ": RegDeleteKeyA " +
                      sim::Cp932ToUtf8Lossy(cut.object) + "\n"),
            std::string::npos)
      << ReadBytes(out.path() / "stdout");

  sim::SimMachine after;
  std::string error;
  ASSERT_TRUE(sim::LoadImage((out.path() / "after").string(), after, error)) << error;
  const MachineObjects objects = TakeObjects(after);
  EXPECT_FALSE(HasKey(objects, cut.object)) << Utf8(cut.object);
  EXPECT_TRUE(HasKey(objects, next.object)) << Utf8(next.object);

  // A cut past the run's last changing call is none.
  command = std::string("'") + QXERS_SIM_PATH + "' run '" + QX_SOURCE_DIR + "/images/default' --cut-after " +
            std::to_string(clean.changingCalls + 1) + " >'" + out.str() + "/stdout' 2>&1";
  ASSERT_EQ(ExitStatus(std::system(command.c_str())), 0);
  EXPECT_NE(ReadBytes(out.path() / "stdout")
                .find("[cut] none: the run made only " + std::to_string(clean.changingCalls) + " changing calls\n"),
            std::string::npos)
      << ReadBytes(out.path() / "stdout");
#endif
}

}  // namespace
}  // namespace qx::test::robustness
