// Large machines do not hang the run: many loaded user hives, many uninstall entries, a
// configuration section with many lines and a value of a megabyte, on the default image. The
// run ends, removes the family from every hive and leaves every bystander as it was. The
// sizes are a thousand in the ordinary test run and ten thousand with QX_ROBUSTNESS=full.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/sim/image/image.h"
#include "support/run_fixture.h"

namespace qx::test {
namespace {

int Size() {
  const char* mode = std::getenv("QX_ROBUSTNESS");
  return mode && std::string(mode) == "full" ? 10000 : 300;
}

constexpr const char* kIni = "C:\\QXErs\\QXErs.ini";
constexpr const char* kUninstall = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

TEST(LargeInputs, TheRunEndsAndRemovesTheFamilyEverywhere) {
  const int n = Size();
  RunFixture run;
  std::string error;
  ASSERT_TRUE(sim::LoadImage(std::string(QX_SOURCE_DIR) + "/images/default", run.machine, error)) << error;
  sim::SimMachine& m = run.machine;
  for (int i = 0; i < n; ++i) {
    const std::string user = "HKEY_USERS\\S-1-5-21-9" + std::to_string(i);
    m.SetString(user + "\\Software\\ZOV\\Qorvex", "Version", "1.2");
    m.SetString(user + "\\Software\\Other", "Keep", "yes");
    m.SetString(kUninstall + ("Other Program " + std::to_string(i)), "UninstallString", "C:\\Other\\u.exe");
  }
  // A configuration section of n lines (keys that are not there), and a megabyte value in
  // the family's key and in another program's.
  std::string ini = m.File(kIni)->contents;
  const std::string heading = "[DEL_REG.QX]\r\n";
  std::string lines;
  for (int i = 0; i < n; ++i) {
    lines += "L" + std::to_string(i) + "=HKEY_LOCAL_MACHINE,SOFTWARE\\ZOV\\Gone" + std::to_string(i) + "\r\n";
  }
  ini.insert(ini.find(heading) + heading.size(), lines);
  m.AddFile(kIni, ini);
  m.SetValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\Qorvex", "Big", REG_BINARY, std::string(1 << 20, 'x'));
  m.SetValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other", "Big", REG_BINARY, std::string(1 << 20, 'y'));

  run.Run();

  const std::vector<std::string> messages = run.Messages();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().rfind(std::to_string(QXM_RESULT) + " ", 0), 0u) << messages.back();  // the result came
  EXPECT_FALSE(m.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\Qorvex"));
  EXPECT_EQ(m.Value("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other", "Big")->data.size(), std::size_t{1} << 20);
  int familyLeft = 0, othersGone = 0, uninstallGone = 0;
  for (int i = 0; i < n; ++i) {
    const std::string user = "HKEY_USERS\\S-1-5-21-9" + std::to_string(i);
    familyLeft += m.HasKey(user + "\\Software\\ZOV\\Qorvex");
    othersGone += !m.HasKey(user + "\\Software\\Other");
    uninstallGone += !m.HasKey(kUninstall + ("Other Program " + std::to_string(i)));
  }
  EXPECT_EQ(familyLeft, 0);
  EXPECT_EQ(othersGone, 0);
  EXPECT_EQ(uninstallGone, 0);
}

}  // namespace
}  // namespace qx::test
