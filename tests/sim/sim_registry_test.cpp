// The simulated registry's own rules: the two aliases, CP932 name folding, enumeration order,
// deleted keys and the Windows 95/98 tree deletion.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/encoding.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_text.h"

namespace qx::sim {
namespace {

class SimRegistryTest : public ::testing::Test {
 protected:
  SimMachine m;
  Registry& reg = m.platform().registry;

  HKEY Create(HKEY root, const char* path) {
    HKEY k = nullptr;
    EXPECT_EQ(reg.RegCreateKeyExA(root, path, nullptr, 0, KEY_ALL_ACCESS, &k, nullptr), LONG{ERROR_SUCCESS}) << path;
    return k;
  }
  LONG Open(HKEY root, const char* path, HKEY* k) { return reg.RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, k); }
};

TEST_F(SimRegistryTest, CurrentUserIsTheCurrentUsersHiveUnderUsers) {
  m.settings().currentUser = "S-1-5-21-42";
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Qorvex");
  const char text[] = "v";
  ASSERT_EQ(reg.RegSetValueExA(k, "Name", REG_SZ, reinterpret_cast<const BYTE*>(text), 2), LONG{ERROR_SUCCESS});
  reg.RegCloseKey(k);
  ASSERT_TRUE(m.HasKey("HKEY_USERS\\S-1-5-21-42\\Software\\Qorvex"));
  EXPECT_EQ(m.Value("HKEY_USERS\\S-1-5-21-42\\Software\\Qorvex", "Name")->data, std::string("v", 2));

  // Another user: HKEY_CURRENT_USER follows the setting.
  m.settings().currentUser = "S-1-5-21-43";
  HKEY other = nullptr;
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\Qorvex", &other), LONG{ERROR_FILE_NOT_FOUND});
  m.AddKey("HKEY_CURRENT_USER\\Software\\Other");
  EXPECT_TRUE(m.HasKey("HKEY_USERS\\S-1-5-21-43\\Software\\Other"));
}

TEST_F(SimRegistryTest, ClassesRootIsMachineSoftwareClasses) {
  m.SetString("HKEY_CLASSES_ROOT\\.qxs", "", "QxFile");
  EXPECT_TRUE(m.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.qxs"));
  HKEY k = nullptr;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\.qxs", &k), LONG{ERROR_SUCCESS});
  char buf[16] = {};
  DWORD cb = sizeof buf;
  ASSERT_EQ(reg.RegQueryValueExA(k, nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &cb), LONG{ERROR_SUCCESS});
  EXPECT_STREQ(buf, "QxFile");
  reg.RegCloseKey(k);
  ASSERT_EQ(reg.RegDeleteKeyA(HKEY_CLASSES_ROOT, ".qxs"), LONG{ERROR_SUCCESS});
  EXPECT_FALSE(m.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.qxs"));
}

TEST_F(SimRegistryTest, ReadingAnAbsentAliasChangesNothing) {
  HKEY k = nullptr;
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software", &k), LONG{ERROR_FILE_NOT_FOUND});
  char name[32];
  DWORD cch = sizeof name;
  EXPECT_EQ(reg.RegEnumKeyExA(HKEY_CLASSES_ROOT, 0, name, &cch), LONG{ERROR_NO_MORE_ITEMS});
  EXPECT_TRUE(m.AllKeys().empty()) << m.dump();
}

// Only single-byte ASCII letters fold; the second byte of a double-byte character is never
// taken for a letter, even when it has a letter's code.
TEST_F(SimRegistryTest, NamesFoldAsciiCaseButNotTrailBytes) {
  struct Case {
    const char* created;
    const char* looked;
    bool same;
  };
  const std::vector<Case> cases = {
      {"Qorvex", "QORVEX", true},
      {"qorvex\\Sub", "QORVEX\\sUB", true},
      {"\x83\x41", "\x83\x61", false},          // two different katakana, trail 'A' vs 'a'
      {"\x82\x60x", "\x82\x60X", true},        // full-width A then an ASCII x
      {"\x95\x5C" "a", "\x95\x5C" "A", true},  // trail byte 0x5C is not a separator
      {"x\x83\x41", "X\x83\x41", true},
      // Long names, compared eight bytes at a time while both are the same single bytes.
      {"Qorvex Printing Bench Driver", "QORVEX PRINTING BENCH DRIVER", true},
      {"Qorvex Printing Bench Driver", "Qorvex Printing Bench Drivers", false},
      {"1234567\x83\x41", "1234567\x83\x61", false},  // a double-byte character across eight bytes
      {"12345678\x83\x41x", "12345678\x83\x41X", true},
  };
  for (const auto& c : cases) {
    SimMachine fresh;
    Registry& r = fresh.platform().registry;
    HKEY k = nullptr;
    ASSERT_EQ(r.RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string("SOFTWARE\\") + c.created).c_str(), nullptr, 0,
                                KEY_ALL_ACCESS, &k, nullptr),
              LONG{ERROR_SUCCESS});
    r.RegCloseKey(k);
    LONG e = r.RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string("SOFTWARE\\") + c.looked).c_str(), 0, KEY_READ, &k);
    EXPECT_EQ(e, static_cast<LONG>(c.same ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND)) << c.created << " / " << c.looked;
    if (e == ERROR_SUCCESS) r.RegCloseKey(k);
  }
  // The 0x5C trail byte stays inside one name.
  SimMachine one;
  one.AddKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\\x95\x5C\\x");
  EXPECT_EQ(one.Subkeys("HKEY_LOCAL_MACHINE\\SOFTWARE"), std::vector<std::string>{"\x95\x5C"});
}

// Names and paths are searched eight bytes at a time: on random texts of single-byte
// characters, double-byte ones (some with a backslash or quote as their second byte), and a
// lead byte cut off at the end, each search finds what a walk character by character finds.
TEST(SimTextTest, WordAtATimeSearchesFindWhatACharacterWalkFinds) {
  const unsigned char bytes[] = {'a', 'Z', '"', '\\', ' ', 0x83, 0x5C, 0x22, 0x81, 0xE0, 0x7F, 0xA0};
  std::uint32_t seed = 3;
  auto next = [&](std::uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    for (std::uint32_t i = 0, n = next(40); i < n; ++i) text += static_cast<char>(bytes[next(std::size(bytes))]);
    std::size_t ascii = 0, plain = std::string::npos, find = std::string::npos, last = std::string::npos;
    while (ascii < text.size() && static_cast<unsigned char>(text[ascii]) < 0x80) ++ascii;
    for (std::size_t i = 0; i < text.size(); i += cp932::CharLength(text, i)) {
      const bool single = cp932::CharLength(text, i) == 1;
      const unsigned char c = static_cast<unsigned char>(text[i]);
      if (plain == std::string::npos && (c >= 0x80 || c == '"' || c == '\\')) plain = i;
      if (single && c == '\\') {
        if (find == std::string::npos) find = i;
        last = i;
      }
    }
    if (plain == std::string::npos) plain = text.size();
    ASSERT_EQ(cp932::AsciiPrefix(text), ascii) << ::testing::PrintToString(text);
    ASSERT_EQ(cp932::PlainPrefix(text, '"', '\\'), plain) << ::testing::PrintToString(text);
    ASSERT_EQ(cp932::Find(text, '\\'), find) << ::testing::PrintToString(text);
    ASSERT_EQ(cp932::FindLast(text, '\\'), last) << ::testing::PrintToString(text);
  }
}

// A UTF-16 .reg file's text in code page 932: ASCII as it is, other characters by the
// code page's table, and refused when it is cut or has no form there.
TEST(SimTextTest, Utf16TextBecomesCodePage932OrIsRefused) {
  struct Case {
    std::string utf16;
    bool ok;
    std::string cp932;
  } cases[] = {
      {std::string("A\0=\0\\\0", 6), true, "A=\\"},
      {std::string("A\0\x42\x30", 4), true, "A\x82\xA0"},       // HIRAGANA A
      {std::string("\x5E\xFF", 2), true, "\x81\x60"},               // FULLWIDTH TILDE
      {std::string("", 0), true, ""},
      {std::string("A\0B", 3), false, ""},                       // a unit cut in half
      {std::string("\x3D\xD8", 2), false, ""},                   // a first half alone
      {std::string("\x00\xDE" "A\0", 4), false, ""},             // a second half alone
      {std::string("\x3D\xD8\x00\xDE", 4), false, ""},           // a pair: outside the code page
      {std::string("\xFF\xFE", 2), false, ""},                   // ZERO WIDTH NO-BREAK SPACE
  };
  for (const Case& c : cases) {
    std::string out;
    ASSERT_EQ(Utf16LeToCp932(c.utf16, out), c.ok) << ::testing::PrintToString(c.utf16);
    if (c.ok) {
      EXPECT_EQ(out, c.cp932) << ::testing::PrintToString(c.utf16);
    }
  }
}

TEST_F(SimRegistryTest, SubkeysEnumerateSortedWithoutCaseAndKeepTheirSpelling) {
  for (const char* n : {"beta", "Alpha", "GAMMA", "alphabet", "Bench Product 00000", "bench port 00010", "BENCH PORT 00000"})
    m.AddKey(std::string("HKLM\\SOFTWARE\\Q\\") + n);
  m.SetString("HKLM\\SOFTWARE\\Q", "z", "1");
  m.SetString("HKLM\\SOFTWARE\\Q", "a", "2");
  HKEY k = nullptr;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Q", &k), LONG{ERROR_SUCCESS});
  std::vector<std::string> keys, values;
  char name[64];
  for (DWORD i = 0;; ++i) {
    DWORD cch = sizeof name;
    if (reg.RegEnumKeyExA(k, i, name, &cch) != ERROR_SUCCESS) break;
    keys.push_back(name);
  }
  for (DWORD i = 0;; ++i) {
    DWORD cch = sizeof name;
    if (reg.RegEnumValueA(k, i, name, &cch, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    values.push_back(name);
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"Alpha", "alphabet", "BENCH PORT 00000", "bench port 00010",
                                             "Bench Product 00000", "beta", "GAMMA"}));
  EXPECT_EQ(values, (std::vector<std::string>{"z", "a"}));  // creation order
}

// A key's values are packed in one block that grows, packs away the bytes of changed and
// removed values, and indexes a long list: through a run of changes that does all of that,
// the values read back (in a list and one by one by index) are the ones made, in creation
// order, each with the spelling it was made with and its latest bytes.
TEST_F(SimRegistryTest, ValuesKeepTheirBytesAndOrderThroughEveryChange) {
  const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Many";
  std::vector<RegValue> model;
  auto same = [](const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
  };
  std::uint32_t seed = 2026;
  auto next = [&seed](std::uint32_t below) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % below;
  };
  HKEY k = nullptr;
  for (int step = 0; step < 3000; ++step) {
    // Forty names at first, then eight: the list is indexed, then packed back to a plain one.
    std::string name = "Printer Setting " + std::to_string(next(step < 2000 ? 40 : 8));
    if (next(2)) name[0] = 'p';
    if (next(2)) name[10] = 't';
    auto it = std::find_if(model.begin(), model.end(), [&](const RegValue& v) { return same(v.name, name); });
    if (next(10) < (step < 2000 ? 3u : 8u)) {
      m.RemoveValue(key, name);
      if (it != model.end()) model.erase(it);
    } else {
      std::string data(next(3) == 0 && it != model.end() ? it->data.size() : next(48), static_cast<char>('a' + step % 26));
      m.SetValue(key, name, REG_BINARY, data);
      if (it != model.end())
        it->data = data;
      else
        model.push_back(RegValue{name, REG_BINARY, data});
    }
    const std::vector<RegValue> got = m.Values(key);
    ASSERT_EQ(got.size(), model.size()) << "step " << step;
    for (std::size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(got[i].name, model[i].name) << "step " << step;
      ASSERT_EQ(got[i].data, model[i].data) << "step " << step << ", " << got[i].name;
    }
    if (step % 250 != 249 || model.empty()) continue;
    if (!k) {
      ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Many", &k), LONG{ERROR_SUCCESS});
    }
    for (DWORD i = 0; i < model.size(); ++i) {
      char got[64];
      BYTE data[64];
      DWORD cch = sizeof got, cb = sizeof data, type = 0;
      ASSERT_EQ(reg.RegEnumValueA(k, i, got, &cch, &type, data, &cb), LONG{ERROR_SUCCESS}) << i;
      EXPECT_EQ(std::string(got, cch), model[i].name);
      EXPECT_EQ(std::string(reinterpret_cast<char*>(data), cb), model[i].data);
    }
  }
  if (k) reg.RegCloseKey(k);
}

// Paths are remembered by their text: the same text, or a key under it, must find the key
// that is there now, not one that was deleted or belongs to another user's hive.
TEST_F(SimRegistryTest, APathNamedAgainFindsTheKeyThatIsThereNow) {
  m.SetString("HKLM\\SOFTWARE\\Q\\A", "v", "old");
  m.SetString("HKCU\\Software\\Q", "v", "first user");
  m.RemoveKey("HKLM\\SOFTWARE\\Q");
  EXPECT_FALSE(m.HasKey("HKLM\\SOFTWARE\\Q\\A"));
  m.SetString("HKLM\\SOFTWARE\\Q\\A\\B", "v", "new");
  EXPECT_TRUE(m.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Q\\A\\B"));
  EXPECT_TRUE(m.Values("HKLM\\SOFTWARE\\Q\\A").empty());

  const std::string first = m.settings().currentUser;
  m.settings().currentUser = "S-1-5-21-43";
  EXPECT_FALSE(m.HasKey("HKCU\\Software\\Q"));
  m.SetString("HKCU\\Software\\Q\\Sub", "v", "second user");
  EXPECT_TRUE(m.HasKey("HKEY_USERS\\S-1-5-21-43\\Software\\Q\\Sub"));
  EXPECT_FALSE(m.HasKey("HKEY_USERS\\" + first + "\\Software\\Q\\Sub"));
}

// A path is followed from where it leaves the one named before it, or from a key named
// lately, and a subkey among many by the hash of its name: through random paths (roots in
// every spelling, names differing in case only, a double-byte name whose second byte is a
// backslash, doubled and trailing backslashes, the current user switched) the keys found,
// made and removed are those of a plain walk from the root, kept here as folded paths.
TEST_F(SimRegistryTest, EveryPathSpellingFindsTheKeyAPlainWalkFinds) {
  const char* roots[][2] = {{"HKLM", "HKEY_LOCAL_MACHINE"}, {"hkey_local_machine", "HKEY_LOCAL_MACHINE"},
                            {"HKCR", "HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES"}, {"HKU", "HKEY_USERS"},
                            {"HKCU", ""}, {"HKEY_CURRENT_USER", ""}};
  // Enough names for a key to find its subkeys by hash too.
  std::vector<std::string> names = {"A", "a", "B", "\x83\x5C", "\x83\x5C" "b", "SOFTWARE", "Classes"};
  for (int i = 0; i < 40; ++i) names.push_back((i % 3 ? "Key" : "KEY") + std::to_string(i % 36));
  const char* users[] = {"S-1-5-21-1", "S-1-5-21-2"};
  std::set<std::string> model;  // every key below the two roots, folded
  auto fold = [](std::string text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(text[i]);
      if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) ++i;
      else text[i] = static_cast<char>(std::toupper(c));
    }
    return text;
  };
  std::uint32_t seed = 7;
  auto next = [&](std::uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  for (int step = 0; step < 8000; ++step) {
    if (next(50) == 0) m.settings().currentUser = users[next(std::size(users))];
    const auto& root = roots[next(std::size(roots))];
    std::string path = root[0], folded = root[1][0] ? root[1] : "HKEY_USERS\\" + fold(m.settings().currentUser);
    std::vector<std::string> made;  // the folded paths of the keys on the way
    for (std::size_t at = folded.find('\\'); at != std::string::npos;) {  // below the root
      at = folded.find('\\', at + 1);
      made.push_back(folded.substr(0, at));
    }
    for (std::size_t s = 0, depth = 1 + next(3); s < depth; ++s) {
      const std::string& name = names[next(names.size())];
      path += next(8) == 0 ? "\\\\" : "\\";
      path += name;
      folded += "\\" + fold(name);
      made.push_back(folded);
    }
    if (next(8) == 0) path += "\\";
    switch (next(4)) {
      case 0:
        m.AddKey(path);
        model.insert(made.begin(), made.end());
        break;
      case 1:
        m.RemoveKey(path);
        for (auto it = model.lower_bound(folded); it != model.end() && it->rfind(folded, 0) == 0;)
          it = (it->size() == folded.size() || (*it)[folded.size()] == '\\') ? model.erase(it) : std::next(it);
        break;
      default:
        ASSERT_EQ(m.HasKey(path), model.count(folded) == 1) << "step " << step << ": " << path;
    }
    if (step % 1000 != 999) continue;
    // Every key in enumeration order: a key before its subkeys, subkeys by folded name.
    std::vector<std::vector<std::string>> expected, listed;
    for (const std::string& key : model) expected.push_back(cp932::Split(key, false));
    std::sort(expected.begin(), expected.end());
    for (const std::string& key : m.AllKeys()) listed.push_back(cp932::Split(cp932::Fold(key), false));
    ASSERT_EQ(listed, expected) << "step " << step;
  }
}

TEST_F(SimRegistryTest, HandlesToADeletedKeyReportKeyDeleted) {
  HKEY k = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Gone");
  ASSERT_EQ(reg.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Gone"), LONG{ERROR_SUCCESS});
  DWORD cb = 0;
  EXPECT_EQ(reg.RegQueryValueExA(k, "x", nullptr, nullptr, &cb), LONG{ERROR_KEY_DELETED});
  EXPECT_EQ(reg.RegSetValueExA(k, "x", REG_SZ, reinterpret_cast<const BYTE*>(""), 1), LONG{ERROR_KEY_DELETED});
  HKEY sub = nullptr;
  EXPECT_EQ(reg.RegCreateKeyExA(k, "Sub", nullptr, 0, KEY_ALL_ACCESS, &sub, nullptr), LONG{ERROR_KEY_DELETED});
  EXPECT_FALSE(m.HasKey("HKLM\\SOFTWARE\\Gone"));
  EXPECT_EQ(reg.RegCloseKey(k), LONG{ERROR_SUCCESS});
  EXPECT_EQ(reg.RegCloseKey(k), LONG{ERROR_INVALID_HANDLE});
}

TEST_F(SimRegistryTest, KeyWithSubkeysIsRefusedOnNtAndDeletedWholeOn9x) {
  struct Case {
    DWORD platform;
    LONG result;
    bool keyLeft;
  };
  for (const Case& c : {Case{VER_PLATFORM_WIN32_NT, ERROR_ACCESS_DENIED, true},
                        Case{VER_PLATFORM_WIN32_WINDOWS, ERROR_SUCCESS, false}}) {
    SimMachine fresh;
    fresh.settings().platformId = c.platform;
    fresh.AddKey("HKLM\\SOFTWARE\\ZOV\\Qorvex\\Deep\\Deeper");
    EXPECT_EQ(fresh.platform().registry.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZOV\\Qorvex"), c.result);
    EXPECT_EQ(fresh.HasKey("HKLM\\SOFTWARE\\ZOV\\Qorvex\\Deep\\Deeper"), c.keyLeft);
    EXPECT_TRUE(fresh.HasKey("HKLM\\SOFTWARE\\ZOV"));
  }
}

TEST_F(SimRegistryTest, AccessRightsOfTheHandleAreEnforced) {
  m.SetString("HKLM\\SOFTWARE\\Q", "v", "1");
  HKEY k = nullptr;
  ASSERT_EQ(reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Q", 0, KEY_READ, &k), LONG{ERROR_SUCCESS});
  EXPECT_EQ(reg.RegSetValueExA(k, "w", REG_SZ, reinterpret_cast<const BYTE*>("2"), 2), LONG{ERROR_ACCESS_DENIED});
  EXPECT_EQ(reg.RegDeleteValueA(k, "v"), LONG{ERROR_ACCESS_DENIED});
  EXPECT_EQ(m.Values("HKLM\\SOFTWARE\\Q").size(), 1u);
  reg.RegCloseKey(k);
}

}  // namespace
}  // namespace qx::sim
