// How the initialization-file calls behave: defaults, lists, buffer limits and the writes.
#include <string>
#include <vector>

#include "tests/contract/contract_fixture.h"

namespace qx::contract {
namespace {

// A buffer of zero-ended strings ending in an empty one, as the list forms return.
std::vector<std::string> Split(const char* buffer, DWORD returned) {
  std::vector<std::string> items;
  for (DWORD i = 0; i < returned;) {
    std::string item(buffer + i);
    items.push_back(item);
    i += static_cast<DWORD>(item.size()) + 1;
  }
  return items;
}

class ProfileContract : public ContractTest {
 protected:
  void SetUp() override {
    ini = Scratch("test.ini");
    machine->MakeFile(ini,
                      "[First]\r\n"
                      "alpha=1\r\n"
                      "  Spaced  =  padded value  \r\n"
                      "quoted=\"in quotes\"\r\n"
                      "empty=\r\n"
                      "[Second]\r\n"
                      "beta=2\r\n"
                      "[Third]\r\n"
                      "gamma=3\r\n"
                      "delta=4\r\n");
  }
  std::string Get(const char* section, const char* key, const char* dflt, DWORD* returned = nullptr,
                  const std::string& file = "") {
    char buffer[MAX_PATH];
    std::fill(buffer, buffer + sizeof buffer, 'X');
    const DWORD n = profile.GetPrivateProfileStringA(section, key, dflt, buffer, sizeof buffer,
                                                     (file.empty() ? ini : file).c_str());
    if (returned) *returned = n;
    EXPECT_LT(n, sizeof buffer);
    EXPECT_EQ(n, std::string(buffer).size()) << "the result is the length copied";
    return buffer;
  }

  std::string ini;
};

TEST_F(ProfileContract, ValuesAreTrimmedUnquotedAndFoundWithoutRegardToCase) {
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  };
  const Case cases[] = {
      {"First", "alpha", "1"},
      {"FIRST", "ALPHA", "1"},
      {"First", "spaced", "padded value"},
      {"First", "quoted", "in quotes"},
      {"First", "empty", ""},
      {"third", "Delta", "4"},
  };
  for (const Case& c : cases) EXPECT_EQ(Get(c.section, c.key, "default"), c.expected) << c.section << "/" << c.key;
}

TEST_F(ProfileContract, WhatIsAbsentGivesTheDefault) {
  struct Case {
    const char* what;
    const char* section;
    const char* key;
    std::string file;
  };
  const Case cases[] = {
      {"a missing key", "First", "absent", ""},
      {"a missing section", "Absent", "alpha", ""},
      {"a missing file", "First", "alpha", Scratch("absent.ini")},
  };
  for (const Case& c : cases) {
    DWORD n = 0;
    EXPECT_EQ(Get(c.section, c.key, "fallback", &n, c.file), "fallback") << c.what;
    EXPECT_EQ(n, 8u) << c.what;
    EXPECT_EQ(Get(c.section, c.key, nullptr, &n, c.file), "") << c.what << ", no default";
    EXPECT_EQ(n, 0u) << c.what << ", no default";
  }
  DWORD n = 0;
  EXPECT_EQ(Get("First", "absent", "trailing   ", &n), "trailing") << "trailing blanks of a default go";
  EXPECT_EQ(n, 8u);
}

TEST_F(ProfileContract, NullNamesListKeysAndSectionsInFileOrder) {
  char buffer[MAX_PATH];
  DWORD n = profile.GetPrivateProfileStringA("Third", nullptr, "", buffer, sizeof buffer, ini.c_str());
  EXPECT_EQ(Split(buffer, n), (std::vector<std::string>{"gamma", "delta"}));
  EXPECT_EQ(n, 12u) << "each name with its zero, without the final zero";
  EXPECT_EQ(buffer[n], '\0');

  n = profile.GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, ini.c_str());
  EXPECT_EQ(Split(buffer, n), (std::vector<std::string>{"First", "Second", "Third"}));
  EXPECT_EQ(n, 19u);
  EXPECT_EQ(buffer[n], '\0');
}

TEST_F(ProfileContract, TooSmallBuffersAreFilledAndReportedAsWindowsDoes) {
  const std::string longValue(300, 'v');
  ASSERT_TRUE(profile.WritePrivateProfileStringA("Long", "value", longValue.c_str(), ini.c_str()));
  char buffer[MAX_PATH];
  DWORD n = profile.GetPrivateProfileStringA("Long", "value", "", buffer, sizeof buffer, ini.c_str());
  EXPECT_EQ(n, sizeof buffer - 1) << "a value: the buffer size less one";
  EXPECT_EQ(std::string(buffer), longValue.substr(0, sizeof buffer - 1));

  char small[8];
  n = profile.GetPrivateProfileStringA("Third", nullptr, "", small, sizeof small, ini.c_str());
  EXPECT_EQ(n, sizeof small - 2) << "a key list: the buffer size less two";
  EXPECT_EQ(small[sizeof small - 1], '\0');
  EXPECT_EQ(small[sizeof small - 2], '\0');
  n = profile.GetPrivateProfileStringA(nullptr, nullptr, "", small, sizeof small, ini.c_str());
  EXPECT_EQ(n, sizeof small - 2) << "a section list: the buffer size less two";
  n = profile.GetPrivateProfileSectionA("Third", small, sizeof small, ini.c_str());
  EXPECT_EQ(n, sizeof small - 2) << "a section: the buffer size less two";
}

TEST_F(ProfileContract, ASectionComesAsKeyEqualsValueLines) {
  char buffer[MAX_PATH];
  DWORD n = profile.GetPrivateProfileSectionA("third", buffer, sizeof buffer, ini.c_str());
  EXPECT_EQ(Split(buffer, n), (std::vector<std::string>{"gamma=3", "delta=4"}));
  EXPECT_EQ(n, 16u);
  EXPECT_EQ(buffer[n], '\0');
  n = profile.GetPrivateProfileSectionA("Absent", buffer, sizeof buffer, ini.c_str());
  EXPECT_EQ(n, 0u);
}

TEST_F(ProfileContract, WritesAddReplaceAndDeleteKeysAndSections) {
  const std::string fresh = Scratch("fresh.ini");
  ASSERT_TRUE(profile.WritePrivateProfileStringA("New", "key", "value", fresh.c_str()));
  EXPECT_EQ(machine->FileContents(fresh), "[New]\r\nkey=value\r\n") << "a new file";

  ASSERT_TRUE(profile.WritePrivateProfileStringA("First", "alpha", "one", ini.c_str()));
  ASSERT_TRUE(profile.WritePrivateProfileStringA("First", "added", "x", ini.c_str()));
  ASSERT_TRUE(profile.WritePrivateProfileStringA("Fourth", "epsilon", "5", ini.c_str()));
  EXPECT_EQ(Get("First", "alpha", ""), "one") << "replaced";
  EXPECT_EQ(Get("first", "added", ""), "x") << "added to a section";
  EXPECT_EQ(Get("Fourth", "epsilon", ""), "5") << "a new section";

  ASSERT_TRUE(profile.WritePrivateProfileStringA("First", "alpha", nullptr, ini.c_str()));
  EXPECT_EQ(Get("First", "alpha", "gone"), "gone") << "a null value deletes the key";
  EXPECT_EQ(Get("First", "quoted", ""), "in quotes") << "and only that key";

  ASSERT_TRUE(profile.WritePrivateProfileStringA("Second", nullptr, nullptr, ini.c_str()));
  char buffer[MAX_PATH];
  const DWORD n = profile.GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, ini.c_str());
  EXPECT_EQ(Split(buffer, n), (std::vector<std::string>{"First", "Third", "Fourth"})) << "a null key deletes the section";
}

TEST_F(ProfileContract, ABareFileNameLivesInTheWindowsDirectory) {
  const std::string inWindows = machine->WindowsDirectory() + "\\qxcontract.ini";
  ASSERT_TRUE(profile.WritePrivateProfileStringA("Bare", "key", "here", "qxcontract.ini"));
  EXPECT_TRUE(machine->FileExists(inWindows));
  EXPECT_EQ(Get("Bare", "key", "", nullptr, inWindows), "here");
  EXPECT_TRUE(files.DeleteFileA(inWindows.c_str()));
}

TEST_F(ProfileContract, WinIniIsTheWindowsDirectorysProfile) {
  const std::string winIni = machine->WindowsDirectory() + "\\win.ini";
  ASSERT_TRUE(profile.WriteProfileStringA("QXContractTest", "Key", "win value"));
  char buffer[MAX_PATH];
  DWORD n = profile.GetProfileStringA("qxcontracttest", "KEY", "", buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer), "win value");
  EXPECT_EQ(n, 9u);
  EXPECT_EQ(Get("QXContractTest", "Key", "", nullptr, winIni), "win value") << "the same data through the file's name";

  n = profile.GetProfileStringA("QXContractTest", nullptr, "", buffer, sizeof buffer);
  EXPECT_EQ(Split(buffer, n), std::vector<std::string>{"Key"});

  ASSERT_TRUE(profile.WriteProfileStringA("QXContractTest", nullptr, nullptr));
  n = profile.GetProfileStringA("QXContractTest", "Key", "gone", buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer), "gone");
}

}  // namespace
}  // namespace qx::contract
