// Whole runs on the machine images, then the restart: the family's files, keys and
// companion registrations are gone, and what belongs to anyone else is still there.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "platform/sim/image.h"
#include "support/run_fixture.h"

namespace qx::test {
namespace {

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// What a name of the family looks like. The eraser's own folder is no trace of the family.
bool IsFamilys(const std::string& name) {
  const std::string n = Upper(name);
  if (n.rfind("C:\\QXERS", 0) == 0) return false;
  // Another vendor's product with a name like the family's.
  if (n.find("QORVEX LEGACY") != std::string::npos || n.find("QXLEGACY") != std::string::npos) return false;
  for (const char* mark : {"ZOV", "QORVEX", "QXSETUP", ".ISU", "SCRIPTORA", "NETBRIDGE", "ﾌﾟﾘﾝﾀ管理", "リプリント",
                           "WEBQX", "QXOLD", "QXMIG", "QXPRN", "{7A3C1E2"}) {
    if (n.find(mark) != std::string::npos) return true;
  }
  return false;
}

std::set<std::string> Files(const sim::SimMachine& m) {
  std::set<std::string> out;
  for (const sim::FileEntry& f : m.AllFiles())
    if (!f.directory) out.insert(Upper(f.path));
  return out;
}

std::set<std::string> Keys(const sim::SimMachine& m) {
  std::set<std::string> out;
  for (const std::string& k : m.AllKeys()) out.insert(Upper(k));
  return out;
}

struct ImageCase {
  const char* image;
  const char* restartCause;        // among the log's restart causes
  bool compared;                   // the machine before and after is compared name by name
  std::vector<std::string> stays;  // the family's files this image keeps on purpose
};

TEST(CompanionsScenario, TheFamilyIsGoneAndEverythingElseStays) {
  const ImageCase cases[] = {
      // Kept: the status manager's library goes at the restart; the empty ZOV keys hold the
      // shared settings of the family's other products; the cache file is no spool file.
      {"default", "C:\\WINNT\\System32\\ZOVSRM.DLL の削除に失敗", true,
       {"C:\\PROGRAM FILES\\QORVEX\\PQS\\CACHE\\JOB0001.DAT"}},
      {"win98", "WebQXのディレクトリ削除", false, {}},
  };
  for (const ImageCase& c : cases) {
    SCOPED_TRACE(c.image);
    RunFixture run;
    std::string error;
    ASSERT_TRUE(sim::LoadImage(std::string(QX_SOURCE_DIR) + "/images/" + c.image, run.machine, error)) << error;
    const std::set<std::string> filesBefore = Files(run.machine), keysBefore = Keys(run.machine);
    run.Run();
    run.machine.Reboot();

    const std::string log = run.Log();
    for (const char* section : {"＜削除ファイル＞", "＜削除レジストリ＞", "＜削除フォルダ＞", "＜再起動要因＞",
                                "Migrate情報削除", "DeIsl*.isu情報削除", "Migrate作成Iniファイル削除"}) {
      EXPECT_NE(log.find(section), std::string::npos) << c.image << " " << section;
    }
    EXPECT_NE(log.find(c.restartCause), std::string::npos);
    // The service lines, where there is a service manager.
    EXPECT_EQ(log.find("＜その他削除＞\r\nＲＣＭ サービス削除成功\r\nＰＪＲ サービス削除成功\r\n") != std::string::npos,
              c.compared);
    EXPECT_EQ(run.machine.HungSends(), 0);
    EXPECT_EQ(run.machine.LoadedLibraries(), 0);
    EXPECT_EQ(run.machine.LiveComObjects(), 0);

    if (!c.compared) continue;
    const std::set<std::string> filesAfter = Files(run.machine), keysAfter = Keys(run.machine);
    for (const std::string& f : filesBefore) {
      bool kept = std::find(c.stays.begin(), c.stays.end(), f) != c.stays.end();
      EXPECT_EQ(filesAfter.count(f) == 1, kept || !IsFamilys(f)) << f;
    }
    for (const std::string& k : keysBefore) {
      // A key named after the family may stay only as the vendor's key of its other products.
      if (IsFamilys(k) && keysAfter.count(k)) {
        const std::string vendor = k.substr(k.find("\\ZOV"));
        EXPECT_TRUE(vendor == "\\ZOV" || vendor == "\\ZOV\\SHARED") << k;
      } else if (!IsFamilys(k)) {
        EXPECT_EQ(keysAfter.count(k), 1u) << k;
      }
    }
  }
}

}  // namespace
}  // namespace qx::test
