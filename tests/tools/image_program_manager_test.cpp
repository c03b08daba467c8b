// Whether Program Manager runs is part of a machine image, and survives saving it.
#include <gtest/gtest.h>

#include "tests/tools/image_support.h"

namespace qx::test {
namespace {

TEST(ImageProgramManager, AbsentOrRunningIsReadAndWrittenBack) {
  for (bool running : {false, true}) {
    SCOPED_TRACE(running);
    TestImage image(std::string("[System]\nProgramManager=") + (running ? "running" : "absent") + "\n");
    sim::SimMachine m;
    ASSERT_EQ(image.LoadInto(m), "");
    EXPECT_EQ(m.settings().programManagerRunning, running);
    TempDir saved;
    std::string error;
    ASSERT_TRUE(sim::SaveImage(m, (saved.path() / "image").string(), error)) << error;
    sim::SimMachine again;
    ASSERT_TRUE(sim::LoadImage((saved.path() / "image").string(), again, error)) << error;
    EXPECT_EQ(again.settings().programManagerRunning, running);
  }
}

}  // namespace
}  // namespace qx::test
