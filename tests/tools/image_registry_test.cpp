// The registry files of a machine image: regedit's formats as they load onto the machine.
#include <gtest/gtest.h>

#include <random>

#include "tests/tools/image_support.h"

namespace qx::test {
namespace {

using sim::SimMachine;

constexpr char kKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Test";

std::string Dword(DWORD v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                     static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
}

struct ValueCase {
  const char* line;  // a value line under [HKEY_LOCAL_MACHINE\SOFTWARE\Test]
  const char* name;
  DWORD type;
  std::string data;
};

TEST(ImageRegistry, EachValueKindLoadsWithItsTypeAndBytes) {
  const ValueCase cases[] = {
      {"\"Path\"=\"C:\\\\Program Files\\\\Qorvex\"", "Path", REG_SZ, std::string("C:\\Program Files\\Qorvex\0", 24)},
      {"\"Quote\"=\"say \\\"hi\\\"\"", "Quote", REG_SZ, std::string("say \"hi\"\0", 9)},
      {"\"Empty\"=\"\"", "Empty", REG_SZ, std::string("\0", 1)},
      {"@=\"default\"", "", REG_SZ, std::string("default\0", 8)},
      {"\"Count\"=dword:0000002a", "Count", REG_DWORD, Dword(42)},
      {"\"Max\"=dword:FFFFFFFF", "Max", REG_DWORD, Dword(0xFFFFFFFF)},
      {"\"Short\"=dword:7", "Short", REG_DWORD, Dword(7)},
      {"\"Bin\"=hex:00,01,fe,FF", "Bin", REG_BINARY, std::string("\x00\x01\xFE\xFF", 4)},
      {"\"NoBytes\"=hex:", "NoBytes", REG_BINARY, ""},
      {"\"Expand\"=hex(2):25,41,25,00", "Expand", REG_EXPAND_SZ, std::string("%A%\0", 4)},
      {"\"Multi\"=hex(7):61,00,62,00,00", "Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5)},
      {"\"None\"=hex(0):01", "None", REG_NONE, "\x01"},
      {"\"Qword\"=hex(b):01,00,00,00,00,00,00,00", "Qword", 11, std::string("\x01\0\0\0\0\0\0\0", 8)},
      {"\"Spaced\" = \"x\"", "Spaced", REG_SZ, std::string("x\0", 2)},
      {"\"Odd\\\\Name\"=\"v\"", "Odd\\Name", REG_SZ, std::string("v\0", 2)},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.line);
    TestImage image;
    image.Write("a.reg", std::string("REGEDIT4\r\n\r\n[") + kKey + "]\r\n" + c.line + "\r\n");
    SimMachine m;
    ASSERT_EQ(image.LoadInto(m), "");
    auto v = m.Value(kKey, c.name);
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(v->type, c.type);
    EXPECT_EQ(v->data, c.data);
  }
}

TEST(ImageRegistry, ContinuedHexLinesJoinAndQuotedBackslashesDoNotContinue) {
  TestImage image;
  image.Write("a.reg",
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\r\n"
              "\"Long\"=hex(7):41,00,\\\r\n"
              "  42,00,\\\r\n"
              "\t00\r\n"
              "\"Dir\"=\"C:\\\\\"\r\n"
              "\"After\"=dword:00000001\r\n");
  SimMachine m;
  ASSERT_EQ(image.LoadInto(m), "");
  EXPECT_EQ(m.Value(kKey, "Long")->data, std::string("A\0B\0\0", 5));
  EXPECT_EQ(m.Value(kKey, "Dir")->data, std::string("C:\\\0", 4));
  EXPECT_TRUE(m.Value(kKey, "After").has_value());
}

TEST(ImageRegistry, ShiftJisTrailBytesAreNeitherSeparatorsNorEscapes) {
  // ソ is 0x83 0x5C and 表 is 0x95 0x5C: their second byte is a backslash.
  TestImage image;
  image.Write("a.reg",
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ソフト表]\r\n"
              "\"表\"=\"ソ\"\r\n");
  SimMachine m;
  ASSERT_EQ(image.LoadInto(m), "");
  EXPECT_EQ(m.Subkeys("HKEY_LOCAL_MACHINE\\SOFTWARE"), std::vector<std::string>{"ソフト表"});
  auto v = m.Value("HKEY_LOCAL_MACHINE\\SOFTWARE\\ソフト表", "表");
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(v->data, std::string("ソ") + '\0');
}

TEST(ImageRegistry, DeletionsRemoveWhatEarlierFilesAdded) {
  TestImage image;
  image.Write("a.reg",
              "REGEDIT4\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\r\n\"x\"=\"1\"\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone\\Child]\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kept]\r\n@=\"d\"\r\n\"drop\"=\"1\"\r\n\"keep\"=\"1\"\r\n");
  image.Write("b.reg",
              "REGEDIT4\r\n\r\n"
              "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kept]\r\n@=-\r\n\"drop\"=-\r\n\"never-there\"=-\r\n"
              "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\NeverThere]\r\n");
  SimMachine m;
  ASSERT_EQ(image.LoadInto(m), "");
  EXPECT_FALSE(m.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone"));
  EXPECT_FALSE(m.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\NeverThere"));
  std::vector<sim::RegValue> kept = m.Values("HKEY_LOCAL_MACHINE\\SOFTWARE\\Kept");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].name, "keep");
}

TEST(ImageRegistry, FilesApplyInNameOrder) {
  TestImage image;
  image.Write("20-late.reg", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\r\n\"v\"=\"late\"\r\n");
  image.Write("10-early.reg", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\r\n\"v\"=\"early\"\r\n");
  image.Write("notes.txt", "not a registry file");
  SimMachine m;
  ASSERT_EQ(image.LoadInto(m), "");
  EXPECT_EQ(m.Value(kKey, "v")->data, std::string("late") + '\0');
}

TEST(ImageRegistry, RootNamesAndShortFormsResolveOnTheMachine) {
  TestImage image("[System]\nCurrentUser=S-1-5-21-77\n");
  image.Write("a.reg",
              "REGEDIT4\r\n"
              "[HKEY_CURRENT_USER\\Software\\A]\r\n"
              "[HKCU\\Software\\B]\r\n"
              "[HKEY_CLASSES_ROOT\\.qxp]\r\n@=\"Qorvex.Document\"\r\n"
              "[HKLM\\SOFTWARE\\C]\r\n"
              "[hkey_users\\.DEFAULT\\D]\r\n");
  SimMachine m;
  ASSERT_EQ(image.LoadInto(m), "");
  EXPECT_TRUE(m.HasKey("HKEY_USERS\\S-1-5-21-77\\Software\\A"));
  EXPECT_TRUE(m.HasKey("HKEY_USERS\\S-1-5-21-77\\Software\\B"));
  EXPECT_TRUE(m.Value("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.qxp", "").has_value());
  EXPECT_TRUE(m.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\C"));
  EXPECT_TRUE(m.HasKey("HKEY_USERS\\.DEFAULT\\D"));
}

TEST(ImageRegistry, Utf8AndUtf16FilesBecomeShiftJisOnTheMachine) {
  TestImage image;
  image.Write("a.reg", U8(u8"\uFEFFREGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\日本]\r\n\"名前\"=\"値\"\r\n"
                          u8"\"Raw\"=hex(2):41,00\r\n"));
  // In a version 5.00 file string data in hex is UTF-16: "表" is 0x8868, then a zero.
  image.Write("b.reg", Utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n"
                                 u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\ﾌﾟﾘﾝﾀ]\r\n"
                                 u"\"説明\"=\"プリンタ管理\"\r\n"
                                 u"\"Exp\"=hex(2):68,88,00,00\r\n"
                                 u"\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
                                 u"\"Bin\"=hex:68,88\r\n"));
  SimMachine m;
  ASSERT_EQ(image.LoadInto(m), "");
  EXPECT_EQ(m.Value("HKEY_LOCAL_MACHINE\\SOFTWARE\\日本", "名前")->data, std::string("値") + '\0');
  EXPECT_EQ(m.Value("HKEY_LOCAL_MACHINE\\SOFTWARE\\日本", "Raw")->data, std::string("A\0", 2));
  const char* key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\ﾌﾟﾘﾝﾀ";
  EXPECT_EQ(m.Value(key, "説明")->data, std::string("プリンタ管理") + '\0');
  EXPECT_EQ(m.Value(key, "Exp")->data, std::string("表") + '\0');
  EXPECT_EQ(m.Value(key, "Multi")->data, std::string("a\0b\0\0", 5));
  EXPECT_EQ(m.Value(key, "Bin")->data, "\x68\x88");
}

TEST(ImageRegistry, CommentsBlankLinesAndAMissingFinalLineEndAreFine) {
  TestImage image;
  image.Write("a.reg", "REGEDIT4\n\n; a comment\n   \n  ; indented comment\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\n\"last\"=\"v\"");
  SimMachine m;
  ASSERT_EQ(image.LoadInto(m), "");
  EXPECT_TRUE(m.Value(kKey, "last").has_value());
}

struct BadCase {
  std::string content;
  std::string where;  // the start of the message: file and line
  std::string what;   // a piece of the message
};

TEST(ImageRegistry, MalformedFilesAreRefusedNamingFileAndLine) {
  const std::string head = "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\r\n";
  const BadCase cases[] = {
      {"REGEDIT5\r\n", "bad.reg:1: ", "not a registry file"},
      {std::string("\x7F" "ELF\x02\x01\x01\0\0\0", 10), "bad.reg:1: ", "NUL byte"},
      {"REGEDIT4\r\n[HKEY_LOCAL_MACHIN\\SOFTWARE]\r\n", "bad.reg:2: ", "unknown root key 'HKEY_LOCAL_MACHIN'"},
      {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\r\n", "bad.reg:2: ", "must end in ']'"},
      {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\\\SOFTWARE]\r\n", "bad.reg:2: ", "empty key name"},
      {"REGEDIT4\r\n[-HKEY_LOCAL_MACHINE]\r\n", "bad.reg:2: ", "root key cannot be deleted"},
      {"REGEDIT4\r\n\"v\"=\"x\"\r\n", "bad.reg:2: ", "before the first key"},
      {"REGEDIT4\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n\"v\"=\"x\"\r\n", "bad.reg:3: ", "being deleted"},
      {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE]\r\n\"v\"=\"x\"\r\n", "bad.reg:3: ", "root key holds no values"},
      {head + "\r\n\"v\" \"x\"\r\n", "bad.reg:4: ", "expected '='"},
      {head + "\"v\"=\"open\r\n", "bad.reg:3: ", "closing"},
      {head + "\"v\"=\"a\\tb\"\r\n", "bad.reg:3: ", "unknown escape"},
      {head + "\"v\"=\"a\" tail\r\n", "bad.reg:3: ", "after the closing quote"},
      {head + "\"v\"=dword:123456789\r\n", "bad.reg:3: ", "1 to 8 hex digits"},
      {head + "\"v\"=dword:12g4\r\n", "bad.reg:3: ", "1 to 8 hex digits"},
      {head + "\"v\"=hex:01,2x\r\n", "bad.reg:3: ", "bad byte"},
      {head + "\"v\"=hex:01,,02\r\n", "bad.reg:3: ", "bad byte"},
      {head + "\"v\"=hex:123\r\n", "bad.reg:3: ", "bad byte"},
      {head + "\"v\"=hex(zz):00\r\n", "bad.reg:3: ", "bad value type"},
      {head + "\"v\"=hex(2)00\r\n", "bad.reg:3: ", "expected ':'"},
      {head + "\"v\"=text\r\n", "bad.reg:3: ", "unknown value data"},
      {head + "v=\"x\"\r\n", "bad.reg:3: ", "expected a key, a value or a comment"},
      {head + std::string("\"v\"=\"a\0b\"\r\n", 11), "bad.reg:3: ", "NUL byte"},
      {"\xFE\xFF\x00R", "bad.reg:1: ", "big-endian"},
      {"\xEF\xBB\xBFREGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\\xC3\x28]\r\n", "bad.reg:2: ", "Shift-JIS"},
      {U8(u8"\uFEFFREGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\\U0001F600]\r\n"), "bad.reg:2: ", "Shift-JIS"},
      {Utf16File(u"Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\\xD800]\r\n"), "bad.reg:2: ",
       "UTF-16"},
      {Utf16File(u"Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\r\n\"v\"=hex(2):41,00,42\r\n"),
       "bad.reg:3: ", "odd number of bytes"},
      {Utf16File(u"Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\r\n\"v\"=hex(1):00,d8\r\n"),
       "bad.reg:3: ", "no Shift-JIS form"},
      {Utf16File(u"Windows Registry Editor Version 5.00\r\n") + "X", "bad.reg:2: ", "half a character"},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.content.substr(0, 80));
    TestImage image;
    image.Write("good.reg", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Good]\r\n");
    image.Write("bad.reg", c.content);
    SimMachine m;
    std::string error = image.LoadInto(m);
    EXPECT_EQ(error.substr(0, c.where.size()), c.where) << error;
    EXPECT_NE(error.find(c.what), std::string::npos) << error;
  }
}

TEST(ImageRegistry, GarbageHugeLinesAndCutCharactersNeverOverrun) {
  std::mt19937 random(932);
  std::vector<std::string> inputs;
  for (int i = 0; i < 200; ++i) {
    std::string bytes(random() % 300, '\0');
    for (char& b : bytes) b = static_cast<char>(random());
    inputs.push_back(bytes);
    // The same noise after a valid start, so that the parser gets past the header.
    inputs.push_back("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\G]\r\n\"" + bytes);
    inputs.push_back("\xEF\xBB\xBFREGEDIT4\r\n" + bytes);
    inputs.push_back(std::string("\xFF\xFEW\0", 4) + bytes);
  }
  inputs.push_back("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\G]\r\n\"v\"=\"" + std::string(1 << 20, 'x') + "\"");
  inputs.push_back("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\G]\r\n\"v\"=hex:" + std::string(1 << 20, '0'));
  inputs.push_back("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\G]\r\n\"v\"=\"\x81");
  inputs.push_back("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\G\x81]");
  inputs.push_back("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\G]\r\n\"v\"=hex:01,\\");
  inputs.push_back("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\G]\r\n\"v\\");
  inputs.push_back("\xFF\xFE");
  inputs.push_back("");
  for (const std::string& bytes : inputs) {
    TestImage image;
    image.Write("x.reg", bytes);
    SimMachine m;
    std::string error = image.LoadInto(m);
    if (!error.empty()) {
      EXPECT_EQ(error.rfind("x.reg:", 0), 0u) << error;
    }
  }
  // A lead byte that swallows the closing quote leaves the text open.
  TestImage cut;
  cut.Write("x.reg", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\G]\r\n\"v\"=\"\x81\"");
  SimMachine m;
  EXPECT_EQ(cut.LoadInto(m), "x.reg:3: quoted text without its closing '\"'");
}

TEST(ImageRegistry, AMegabyteValueLoadsWhole) {
  TestImage image;
  image.Write("a.reg", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\r\n\"Big\"=\"" + std::string(1 << 20, 'q') + "\"");
  SimMachine m;
  ASSERT_EQ(image.LoadInto(m), "");
  EXPECT_EQ(m.Value(kKey, "Big")->data.size(), (1u << 20) + 1);
}

}  // namespace
}  // namespace qx::test
