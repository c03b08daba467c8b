// Registry entries of the configuration carried out on a simulated registry: what is gone,
// what stays, and the log line for each.
#include <gtest/gtest.h>

#include "app/CQXErsDoc.h"
#include "platform/sim/sim_machine.h"
#include "app/registry.h"

namespace qx::test {
namespace {

constexpr const char* kX = "HKEY_LOCAL_MACHINE\\SOFTWARE\\X";

class RegistryRemoval : public ::testing::Test {
 protected:
  RegistryRemoval() { doc.logEnabled = 1; }
  Registry& reg() { return machine.platform().registry; }
  std::string Text(const std::string& key, const std::string& name) {
    auto v = machine.Value(key, name);
    return v ? std::string(v->data.c_str()) : "<missing>";
  }
  sim::SimMachine machine;
  CQXErsDoc doc{machine.platform()};
};

TEST(RegistryEntrySplit, FieldsFollowTheFirstThreeCommas) {
  struct Case {
    const char* entry;
    int result;
    RegistryEntry fields;
  } cases[] = {
      {"HKEY_LOCAL_MACHINE,SOFTWARE\\X", 0, {"HKEY_LOCAL_MACHINE", "SOFTWARE\\X", "", ""}},
      {"HKEY_LOCAL_MACHINE,SOFTWARE\\X,Name", 0, {"HKEY_LOCAL_MACHINE", "SOFTWARE\\X", "Name", ""}},
      {"R,K,V,a,b,c", 0, {"R", "K", "V", "a,b,c"}},
      {"R,K,", 0, {"R", "K", "", ""}},
      {"R,,V", 0, {"R", "", "V", ""}},
      {" R , K ", 0, {" R ", " K ", "", ""}},
      {"no comma", -1, {"", "", "", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    RegistryEntry f{"old", "old", "old", "old"};
    EXPECT_EQ(SplitRegistryEntry(c.entry, f), c.result);
    EXPECT_EQ(f.root, c.fields.root);
    EXPECT_EQ(f.subkey, c.fields.subkey);
    EXPECT_EQ(f.valueName, c.fields.valueName);
    EXPECT_EQ(f.data, c.fields.data);
  }
  RegistryEntry untouched{"a", "b", "c", "d"};
  EXPECT_EQ(SplitRegistryEntry("", untouched), -1);
  EXPECT_EQ(untouched.root, "a");
}

TEST(RegistryRootNames, OnlyTheFourExactNamesAreRoots) {
  EXPECT_EQ(RootKeyFromName("HKEY_CLASSES_ROOT"), HKEY_CLASSES_ROOT);
  EXPECT_EQ(RootKeyFromName("HKEY_CURRENT_USER"), HKEY_CURRENT_USER);
  EXPECT_EQ(RootKeyFromName("HKEY_LOCAL_MACHINE"), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(RootKeyFromName("HKEY_USERS"), HKEY_USERS);
  EXPECT_EQ(RootKeyFromName("hkey_local_machine"), nullptr);
  EXPECT_EQ(RootKeyFromName("HKLM"), nullptr);
  EXPECT_EQ(RootKeyName(HKEY_USERS), "HKEY_USERS");
  EXPECT_EQ(RootKeyName(nullptr), "");
}

TEST_F(RegistryRemoval, KeyEntriesDeleteTheWholeTreeOrSayWhyNot) {
  machine.SetString(std::string(kX) + "\\A\\B", "v", "1");
  machine.SetString(std::string(kX) + "\\C", "v", "1");
  machine.SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Keep", "v", "1");
  doc.DeleteRegistryEntry("HKEY_LOCAL_MACHINE,SOFTWARE\\X");
  doc.DeleteRegistryEntry("HKEY_CURRENT_USER,Software\\X");
  doc.DeleteRegistryEntry("hkey_local_machine,SOFTWARE\\Keep");
  doc.DeleteRegistryEntry("no comma");
  EXPECT_FALSE(machine.HasKey(kX));
  EXPECT_TRUE(machine.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Keep"));
  StringList expected = {"HKEY_LOCAL_MACHINE,SOFTWARE\\X キー削除成功。", "HKEY_CURRENT_USER,Software\\X キーなし。",
                         "hkey_local_machine,SOFTWARE\\Keep キーなし。", ", キーなし。"};
  EXPECT_EQ(doc.logRegistry, expected);
}

TEST_F(RegistryRemoval, TheMissingKeyCheckLooksUnderTheEntrysOwnRoot) {
  // The same path under another root must not make the user's key look present.
  machine.AddKey("HKEY_LOCAL_MACHINE\\Software\\X");
  machine.AddFault({"RegDeleteKeyA", "", 0, ERROR_ACCESS_DENIED});
  machine.AddKey("HKEY_CURRENT_USER\\Software\\Y");
  doc.DeleteRegistryEntry("HKEY_CURRENT_USER,Software\\X");
  doc.DeleteRegistryEntry("HKEY_CURRENT_USER,Software\\Y");
  StringList expected = {"HKEY_CURRENT_USER,Software\\X キーなし。", "HKEY_CURRENT_USER,Software\\Y キー削除失敗。"};
  EXPECT_EQ(doc.logRegistry, expected);
  EXPECT_TRUE(machine.HasKey("HKEY_CURRENT_USER\\Software\\Y"));
}

TEST_F(RegistryRemoval, AKeyTreeWithAnUndeletableBranchKeepsItsTop) {
  machine.AddKey(std::string(kX) + "\\A\\Deep");
  machine.AddKey(std::string(kX) + "\\B\\Deep");
  machine.AddFault({"RegDeleteKeyA", std::string(kX) + "\\A\\Deep", 0, ERROR_ACCESS_DENIED});
  EXPECT_EQ(DeleteKeyTree(reg(), HKEY_LOCAL_MACHINE, "SOFTWARE\\X"), 0);
  EXPECT_TRUE(machine.HasKey(std::string(kX) + "\\A\\Deep"));
  EXPECT_FALSE(machine.HasKey(std::string(kX) + "\\B"));
  EXPECT_EQ(DeleteKeyTree(reg(), nullptr, "SOFTWARE\\X"), 0);
  EXPECT_EQ(DeleteKeyTree(reg(), HKEY_LOCAL_MACHINE, ""), -1);
  EXPECT_TRUE(machine.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE"));
}

TEST_F(RegistryRemoval, ValueEntriesDeleteOnlyTheirValue) {
  machine.SetString(kX, "Name", "data");
  machine.SetString(kX, "Other", "data");
  machine.SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked", "Name", "data");
  machine.AddFault({"RegDeleteValueA", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked", 0, ERROR_ACCESS_DENIED});
  doc.DeleteRegistryEntry("HKEY_LOCAL_MACHINE,SOFTWARE\\X,Name");
  doc.DeleteRegistryEntry("HKEY_LOCAL_MACHINE,SOFTWARE\\X,Name");
  doc.DeleteRegistryEntry("HKEY_LOCAL_MACHINE,SOFTWARE\\Missing,Name");
  doc.DeleteRegistryEntry("HKEY_LOCAL_MACHINE,SOFTWARE\\Locked,Name,ignored");
  EXPECT_FALSE(machine.Value(kX, "Name"));
  EXPECT_TRUE(machine.Value(kX, "Other"));
  EXPECT_TRUE(machine.Value("HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked", "Name"));
  StringList expected = {"HKEY_LOCAL_MACHINE,SOFTWARE\\X,Name データ削除成功。",
                         "HKEY_LOCAL_MACHINE,SOFTWARE\\X,Name データなし。",
                         "HKEY_LOCAL_MACHINE,SOFTWARE\\Missing,Name レジストリなし。",
                         "HKEY_LOCAL_MACHINE,SOFTWARE\\Locked,Name データ削除失敗。"};
  EXPECT_EQ(doc.logRegistry, expected);
}

TEST_F(RegistryRemoval, PartialRemovalTakesOneWholeItemOutOfACommaList) {
  struct Case {
    const char* data;
    const char* remove;
    const char* after;
    const char* outcome;
  } cases[] = {
      {"A,B,C", "B", "A,C", " 内の指定文字 B 削除成功"},
      {"A,B,C", "C", "A,B", " 内の指定文字 C 削除成功"},
      {"A,B,C", "A", "B,C", " 内の指定文字 A 削除成功"},
      {"A,B,C", "B,C", "A", " 内の指定文字 B,C 削除成功"},
      {"A,B,C", "D", "A,B,C", " 内の指定文字 D なし。"},
      {"AB,C", "B", "AB,C", " 内の指定文字 B なし。"},
      {"ZOVX,ZOV", "ZOV", "ZOVX", " 内の指定文字 ZOV 削除成功"},
      {"ZOV", "ZOV", "", " 内の指定文字 ZOV 削除成功"},
      {"表,ソ,X", "ソ", "表,X", " 内の指定文字 ソ 削除成功"},
      {"A,B", "", "A,B", " 内の指定文字  なし。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.data) + " - " + c.remove);
    machine.SetString(kX, "List", c.data);
    doc.logPartialRegistry.clear();
    EXPECT_EQ(doc.RemoveTextFromValue(std::string("HKEY_LOCAL_MACHINE,SOFTWARE\\X,List,") + c.remove), 0);
    EXPECT_EQ(Text(kX, "List"), c.after);
    EXPECT_EQ(machine.Value(kX, "List")->type, REG_SZ);
    EXPECT_EQ(doc.logPartialRegistry, StringList{std::string("HKEY_LOCAL_MACHINE,SOFTWARE\\X,List") + c.outcome});
  }
}

TEST_F(RegistryRemoval, PartialRemovalKeepsTheValuesTypeAndLeavesOtherTypesAlone) {
  struct Case {
    DWORD type;
    std::string data, after, outcome;
  } cases[] = {
      {REG_EXPAND_SZ, std::string("%SystemRoot%\\a,C:\\Q") + '\0', std::string("%SystemRoot%\\a") + '\0',
       " 内の指定文字 C:\\Q 削除成功"},
      {REG_MULTI_SZ, std::string("A,C:\\Q\0B\0\0", 11), std::string("A,C:\\Q\0B\0\0", 11),
       " 内の指定文字 C:\\Q 削除失敗。 指定が正しくないため削除しない。"},
      {REG_BINARY, std::string("C:\\Q,x", 6), std::string("C:\\Q,x", 6),
       " 内の指定文字 C:\\Q 削除失敗。 指定が正しくないため削除しない。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    machine.SetValue(kX, "Path", c.type, c.data);
    doc.logPartialRegistry.clear();
    doc.RemoveTextFromValue("HKEY_LOCAL_MACHINE,SOFTWARE\\X,Path,C:\\Q");
    EXPECT_EQ(machine.Value(kX, "Path")->type, c.type);
    EXPECT_EQ(machine.Value(kX, "Path")->data, c.after);
    EXPECT_EQ(doc.logPartialRegistry, StringList{"HKEY_LOCAL_MACHINE,SOFTWARE\\X,Path" + c.outcome});
  }
}

TEST_F(RegistryRemoval, PartialRemovalOfAnUnreadableValueChangesNothing) {
  machine.SetString(kX, "Long", std::string(260, 'a'));
  machine.SetString(kX, "Fits", std::string(259, 'a'));
  EXPECT_EQ(doc.RemoveTextFromValue("HKEY_LOCAL_MACHINE,SOFTWARE\\X,Long,a"), -1);
  EXPECT_EQ(doc.RemoveTextFromValue("HKEY_LOCAL_MACHINE,SOFTWARE\\X,Missing,a"), -1);
  EXPECT_EQ(doc.RemoveTextFromValue("HKEY_LOCAL_MACHINE,SOFTWARE\\X,Fits,b"), 0);
  EXPECT_EQ(Text(kX, "Long"), std::string(260, 'a'));
  StringList expected = {"HKEY_LOCAL_MACHINE,SOFTWARE\\X,Long データなし。",
                         "HKEY_LOCAL_MACHINE,SOFTWARE\\X,Missing データなし。",
                         "HKEY_LOCAL_MACHINE,SOFTWARE\\X,Fits 内の指定文字 b なし。"};
  EXPECT_EQ(doc.logPartialRegistry, expected);
}

TEST_F(RegistryRemoval, WritingCreatesTheKeyAndTheDefaultValueHasItsOwnName) {
  const BYTE text[] = "x";
  EXPECT_EQ(WriteRegistryValue(reg(), HKEY_LOCAL_MACHINE, "SOFTWARE\\New\\Deep", "(標準)", REG_SZ, text, 2), 0);
  EXPECT_EQ(Text("HKEY_LOCAL_MACHINE\\SOFTWARE\\New\\Deep", ""), "x");
  EXPECT_EQ(WriteRegistryValue(reg(), HKEY_LOCAL_MACHINE, "SOFTWARE\\Only\\Key", "", REG_SZ, text, 2), 0);
  EXPECT_TRUE(machine.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Only\\Key"));
  EXPECT_TRUE(machine.Values("HKEY_LOCAL_MACHINE\\SOFTWARE\\Only\\Key").empty());
  EXPECT_EQ(WriteRegistryValue(reg(), nullptr, "SOFTWARE\\X", "v", REG_SZ, text, 2), -1);
  machine.AddFault({"RegSetValueExA", "", 0, ERROR_ACCESS_DENIED});
  EXPECT_EQ(WriteRegistryValue(reg(), HKEY_LOCAL_MACHINE, "SOFTWARE\\X", "v", REG_SZ, text, 2), -2);
}

TEST_F(RegistryRemoval, DeletingAValueAndADirectSubkeyReportsEachFailure) {
  machine.SetString(kX, "v", "1");
  machine.AddKey(std::string(kX) + "\\Child\\Grandchild");
  EXPECT_EQ(DeleteRegistryValue(reg(), HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", "v", ""), -1);
  EXPECT_EQ(DeleteRegistryValue(reg(), HKEY_LOCAL_MACHINE, "SOFTWARE\\X", "nope", "Child"), -2);
  EXPECT_TRUE(machine.HasKey(std::string(kX) + "\\Child"));  // a failed value ends the call
  EXPECT_EQ(DeleteRegistryValue(reg(), HKEY_LOCAL_MACHINE, "SOFTWARE\\X", "v", "Child"), -4);
  EXPECT_FALSE(machine.Value(kX, "v"));
  EXPECT_EQ(DeleteRegistryValue(reg(), HKEY_LOCAL_MACHINE, "SOFTWARE\\X\\Child", "", "Grandchild"), 0);
  EXPECT_FALSE(machine.HasKey(std::string(kX) + "\\Child\\Grandchild"));
}

TEST_F(RegistryRemoval, SubkeyNamesComeInEnumerationOrder) {
  machine.AddKey(std::string(kX) + "\\b");
  machine.AddKey(std::string(kX) + "\\A");
  machine.AddKey(std::string(kX) + "\\c");
  StringList names = {"kept"};
  EXPECT_EQ(EnumSubkeyNames(reg(), HKEY_LOCAL_MACHINE, "SOFTWARE\\X", names), 3);
  EXPECT_EQ(names, (StringList{"kept", "A", "b", "c"}));
  EXPECT_EQ(EnumSubkeyNames(reg(), HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", names), -1);
}

TEST_F(RegistryRemoval, SpoolerStoppedLinesNameTheOutcome) {
  machine.AddKey("HKEY_LOCAL_MACHINE\\SYSTEM\\Still");
  doc.LogKeyDeletion(1, "HKEY_LOCAL_MACHINE", "SYSTEM\\Gone");
  doc.LogKeyDeletion(0, "HKEY_LOCAL_MACHINE", "SYSTEM\\Still");
  doc.LogKeyDeletion(0, "HKEY_LOCAL_MACHINE", "SYSTEM\\Never");
  doc.LogValueDeletion(0, "HKEY_LOCAL_MACHINE", "K", "V");
  doc.LogValueDeletion(-1, "HKEY_LOCAL_MACHINE", "K", "V");
  doc.LogValueDeletion(-2, "HKEY_LOCAL_MACHINE", "K", "V");
  doc.LogValueDeletion(-3, "HKEY_LOCAL_MACHINE", "K", "V");
  StringList expected = {"HKEY_LOCAL_MACHINE\\SYSTEM\\Gone キー削除成功。",
                         "HKEY_LOCAL_MACHINE\\SYSTEM\\Still キー削除失敗。",
                         "HKEY_LOCAL_MACHINE\\SYSTEM\\Never キーなし。",
                         "HKEY_LOCAL_MACHINE\\K , V データ削除成功。",
                         "HKEY_LOCAL_MACHINE\\K , V レジストリなし。",
                         "HKEY_LOCAL_MACHINE\\K , V データなし。",
                         "HKEY_LOCAL_MACHINE\\K , V データ削除失敗。"};
  EXPECT_EQ(doc.logSpoolerStopped, expected);
}

TEST_F(RegistryRemoval, NothingIsCollectedWhenTheLogIsOff) {
  doc.logEnabled = 0;
  machine.SetString(kX, "List", "A,B");
  doc.DeleteRegistryEntry("HKEY_LOCAL_MACHINE,SOFTWARE\\Y");
  doc.RemoveTextFromValue("HKEY_LOCAL_MACHINE,SOFTWARE\\X,List,A");
  doc.LogKeyDeletion(1, "HKEY_LOCAL_MACHINE", "K");
  doc.LogValueDeletion(0, "HKEY_LOCAL_MACHINE", "K", "V");
  EXPECT_EQ(Text(kX, "List"), "B");
  EXPECT_TRUE(doc.logRegistry.empty());
  EXPECT_TRUE(doc.logPartialRegistry.empty());
  EXPECT_TRUE(doc.logSpoolerStopped.empty());
}

}  // namespace
}  // namespace qx::test
