// The QXErs.ini reader: how sections and keys are found and what a value becomes.
#include <gtest/gtest.h>

#include "app/config.h"
#include "platform/sim/sim_machine.h"

namespace qx::test {
namespace {

constexpr const char* kPath = "C:\\QXErs\\QXErs.ini";

// A literal with the zero bytes inside it.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

class ConfigReader : public ::testing::Test {
 protected:
  void Write(const std::string& bytes) { machine.AddFile(kPath, bytes); }
  std::string Value(const std::string& section, const std::string& key) {
    return ReadIniValue(machine.platform().files, section, key, kPath);
  }
  StringList Section(const std::string& section, int* count = nullptr) {
    StringList list;
    int n = ReadIniSection(machine.platform().files, section, kPath, list);
    if (count) *count = n;
    return list;
  }
  sim::SimMachine machine;
};

TEST_F(ConfigReader, KeysMatchOnlyFromTheFirstColumnAndWithoutRegardToCase) {
  struct Case {
    const char* line;
    const char* value;
  } cases[] = {
      {"AP=QXERASER", "QXERASER"},
      {"ap=QXERASER", "QXERASER"},
      {"AP = QXERASER ", "QXERASER"},
      {"AP\t=\tQXERASER\t", "QXERASER"},
      {" AP=QXERASER", "ERROR"},
      {"APX=QXERASER", "ERROR"},
      {"AP", "ERROR"},
      {"AP=", ""},
      {"AP==X", "=X"},
      {"AP=a=b", "a=b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Write(std::string("[ENVIRONMENT]\r\n") + c.line + "\r\n");
    EXPECT_EQ(Value("ENVIRONMENT", "AP"), c.value);
  }
}

TEST_F(ConfigReader, SectionsAreFoundBySubstringAndEndAtTheNextHeading) {
  Write("; copy of [ENVIRONMENT] follows\r\nLOG=1\r\n[OTHER]\r\nDELFLG=111\r\n[ENVIRONMENT]\r\nDELFLG=000\r\n");
  EXPECT_EQ(Value("ENVIRONMENT", "LOG"), "1");
  // Only the first heading counts: the second [ENVIRONMENT] is never read.
  EXPECT_EQ(Value("ENVIRONMENT", "DELFLG"), "ERROR");
  EXPECT_EQ(Value("environment", "LOG"), "ERROR");
  EXPECT_EQ(Value("MISSING", "LOG"), "ERROR");

  // A line that starts with "[" but has no "]" is not a heading.
  Write("[ENVIRONMENT]\r\n[not a heading\r\nLOG=1\r\n");
  EXPECT_EQ(Value("ENVIRONMENT", "LOG"), "1");
}

TEST_F(ConfigReader, AMissingFileIsNotAnIniFile) {
  EXPECT_EQ(Value("ENVIRONMENT", "AP"), "NotINI");
  int count = -1;
  EXPECT_TRUE(Section("DEL_REG.QX", &count).empty());
  EXPECT_EQ(count, 0);
}

TEST_F(ConfigReader, DeletionSectionsKeepEveryValueInFileOrder) {
  Write("[DEL_FILE.QX.WINDIR]\r\n"
        "1=ZOVA.DLL\r\n"
        "; 2=COMMENTED.DLL\r\n"
        "   ;3=ALSO.DLL\r\n"
        "no equals sign\r\n"
        "=\r\n"
        "anything = ZOVB.DLL \r\n"
        "1=ZOVA.DLL\r\n"
        "[NEXT]\r\n"
        "1=NOT.DLL\r\n");
  int count = 0;
  StringList expected = {"ZOVA.DLL", "", "ZOVB.DLL", "ZOVA.DLL"};
  EXPECT_EQ(Section("DEL_FILE.QX.WINDIR", &count), expected);
  EXPECT_EQ(count, 4);
}

TEST_F(ConfigReader, TrimmingStepsOverDoubleByteCharacters) {
  // A full-width space (81 40) is a double-byte character and stays; the trail byte 5C of
  // "ソ" is not a backslash and the trail byte 40 of "\x81\x40" is not "@".
  Write("[S]\r\n1= \x81\x40ソ\x81\x40 \r\n2=表\t\r\n");
  StringList expected = {"\x81\x40\x83\x5C\x81\x40", "\x95\x5C"};
  EXPECT_EQ(Section("S"), expected);
}

TEST_F(ConfigReader, HostileBytesAreReadWithoutOverrun) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 131 + 7) & 0xFF);
  std::string longLine(1 << 20, 'x');
  struct Case {
    const char* name;
    std::string bytes;
    std::string log;
  } cases[] = {
      {"binary garbage", garbage, "ERROR"},
      {"garbage before the section", garbage + "\r\n[ENVIRONMENT]\r\nLOG=1\r\n", "1"},
      {"NUL ends the line", Bytes("[ENVIRONMENT]\r\nLOG=1\0 trailing\r\n"), "1"},
      {"NUL hides the key", Bytes("[ENVIRONMENT]\r\n\0LOG=1\r\n"), "ERROR"},
      {"a 1 MB line", "[ENVIRONMENT]\r\n" + longLine + "\r\nLOG=1\r\n", "1"},
      {"a 1 MB value", "[ENVIRONMENT]\r\nLOG=" + longLine + "\r\n", longLine},
      {"no final line end", "[ENVIRONMENT]\r\nLOG=1", "1"},
      {"lead byte last", "[ENVIRONMENT]\r\nLOG=1\x81", "1\x81"},
      {"lead byte before the line end", "[ENVIRONMENT]\r\nLOG=\x81\r\n", "\x81"},
      {"empty file", "", "ERROR"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Write(c.bytes);
    EXPECT_EQ(Value("ENVIRONMENT", "LOG"), c.log);
    Section("ENVIRONMENT");
  }
}

TEST_F(ConfigReader, IniFileExistsLooksUpwardsOnlyWhenAsked) {
  machine.AddFile("C:\\QXErs\\QXErs.ini", "");
  machine.AddDirectory("C:\\QXErs\\sub\\deeper");
  Files& files = machine.platform().files;
  EXPECT_TRUE(IniFileExists(files, "QXErs.ini", "C:\\QXErs", false));
  EXPECT_TRUE(IniFileExists(files, "qxers.INI", "C:\\QXErs\\", false));
  EXPECT_FALSE(IniFileExists(files, "QXErs.ini", "C:\\QXErs\\sub\\deeper\\", false));
  EXPECT_TRUE(IniFileExists(files, "QXErs.ini", "C:\\QXErs\\sub\\deeper\\", true));
  EXPECT_FALSE(IniFileExists(files, "Other.ini", "C:\\QXErs\\sub\\deeper", true));
  EXPECT_FALSE(IniFileExists(files, "", "C:\\QXErs", false));
  EXPECT_FALSE(IniFileExists(files, "QXErs.ini", "", true));
}

}  // namespace
}  // namespace qx::test
