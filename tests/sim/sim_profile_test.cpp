// Initialization files on the simulated machine: where bare names live, and that editing
// touches only the lines concerned.
#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim_machine.h"

namespace qx::sim {
namespace {

class SimProfileTest : public ::testing::Test {
 protected:
  SimMachine m;
  Profile& profile = m.platform().profile;
};

TEST_F(SimProfileTest, BareNamesAndWinIniLiveInTheWindowsDirectory) {
  m.settings().platformId = VER_PLATFORM_WIN32_WINDOWS;  // whose win.ini holds every section
  m.settings().windowsDirectory = "D:\\WIN95";
  m.AddDirectory("D:\\WIN95");
  ASSERT_TRUE(profile.WriteProfileStringA("windows", "device", "QX Printer,winspool,LPT1:"));
  ASSERT_TRUE(profile.WritePrivateProfileStringA("rename", "NUL", "C:\\X.DLL", "wininit.ini"));
  EXPECT_EQ(m.File("D:\\WIN95\\win.ini")->contents, "[windows]\r\ndevice=QX Printer,winspool,LPT1:\r\n");
  EXPECT_EQ(m.File("D:\\WIN95\\wininit.ini")->contents, "[rename]\r\nNUL=C:\\X.DLL\r\n");
  char buf[64];
  EXPECT_EQ(profile.GetPrivateProfileStringA("Windows", "DEVICE", "", buf, sizeof buf, "WIN.INI"), 25u);
  EXPECT_STREQ(buf, "QX Printer,winspool,LPT1:");
  EXPECT_FALSE(m.HasFile("C:\\WINNT\\win.ini")) << m.dump();
}

TEST_F(SimProfileTest, WritingKeepsEveryOtherLineAsItStands) {
  const std::string before =
      "; settings\r\n[Qorvex]\r\n  QX Printer = winspool,LPT1:\r\nOther=winspool,FILE:\r\n\r\n[QXPorts]\nLPT1:=\n";
  m.AddFile("C:\\WINNT\\win.ini", before);
  ASSERT_TRUE(profile.WriteProfileStringA("Qorvex", "Other", nullptr));
  ASSERT_TRUE(profile.WriteProfileStringA("Qorvex", "New", "winspool,COM1:"));
  ASSERT_TRUE(profile.WriteProfileStringA("QXPORTS", "lpt1:", "x"));
  EXPECT_EQ(m.File("C:\\WINNT\\win.ini")->contents,
            "; settings\r\n[Qorvex]\r\n  QX Printer = winspool,LPT1:\r\nNew=winspool,COM1:\r\n\r\n[QXPorts]\nLPT1:=x\n");
  ASSERT_TRUE(profile.WriteProfileStringA("Qorvex", nullptr, nullptr));
  EXPECT_EQ(m.File("C:\\WINNT\\win.ini")->contents, "; settings\r\n[QXPorts]\nLPT1:=x\n");
}

// What removal by registry edits changes is what the default-printer calls read.
TEST_F(SimProfileTest, OnNtWinIniPrinterSectionsAreTheCurrentUsersRegistryKeys) {
  const std::string file = "[windows]\r\ndevice=Stale,winspool,LPT9:\r\n[devices]\r\nStale=winspool,LPT9:\r\n";
  m.AddFile("C:\\WINNT\\win.ini", file);
  const std::string nt = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\";
  m.SetString(nt + "Windows", "Device", "P1,winspool,LPT1:");
  m.SetString(nt + "Devices", "P1", "winspool,LPT1:");
  m.SetString(nt + "Devices", "P2", "winspool,LPT2:");
  char buf[64];
  EXPECT_EQ(profile.GetProfileStringA("windows", "device", "", buf, sizeof buf), 17u);
  EXPECT_STREQ(buf, "P1,winspool,LPT1:");
  DWORD n = profile.GetProfileStringA("devices", nullptr, "", buf, sizeof buf);
  EXPECT_EQ(std::string(buf, n), std::string("P1\0P2\0", 6));
  ASSERT_TRUE(profile.WriteProfileStringA("windows", "device", "P2,winspool,LPT2:"));
  ASSERT_TRUE(profile.WriteProfileStringA("devices", "P1", nullptr));
  EXPECT_EQ(m.Value(nt + "Windows", "Device")->data, std::string("P2,winspool,LPT2:\0", 18));
  EXPECT_FALSE(m.Value(nt + "Devices", "P1"));
  EXPECT_EQ(profile.GetPrivateProfileStringA("Devices", "p2", "", buf, sizeof buf, "C:\\WINNT\\WIN.INI"), 14u);
  EXPECT_EQ(m.File("C:\\WINNT\\win.ini")->contents, file) << "the file's own sections are not looked at";
}

TEST_F(SimProfileTest, DeletingFromAMissingFileDoesNotCreateIt) {
  m.AddDirectory("C:\\WINNT");
  EXPECT_TRUE(profile.WritePrivateProfileStringA("s", nullptr, nullptr, "C:\\WINNT\\none.ini"));
  EXPECT_TRUE(profile.WritePrivateProfileStringA("s", "k", nullptr, "none.ini"));
  EXPECT_FALSE(m.HasFile("C:\\WINNT\\none.ini"));
}

}  // namespace
}  // namespace qx::sim
