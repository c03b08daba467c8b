// Windows' own places named where the family's objects are expected — a configuration line, a
// migration record, an uninstall string, a spool path — on the default image: the run leaves
// them as they are, says so in its log, and still removes everything of the family it removes
// without them.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/sim/encoding.h"
#include "platform/sim/image/image.h"
#include "platform/sim/sim_text.h"
#include "support/run_fixture.h"
#include "tests/scenario/machine_compare.h"

namespace qx::test {
namespace {

constexpr const char* kIni = "C:\\QXErs\\QXErs.ini";
constexpr const char* kUninstall = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qorvex Trap";
constexpr const char* kTrapPrinter = "HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\Qorvex\\Printers\\Trap";

void LoadDefault(RunFixture& run) {
  std::string error;
  ASSERT_TRUE(sim::LoadImage(std::string(QX_SOURCE_DIR) + "/images/default", run.machine, error)) << error;
  // Windows' own files that a wrong line could reach.
  run.machine.AddFile("C:\\AUTOEXEC.BAT", "REM");
  run.machine.AddFile("C:\\WINNT\\System32\\kernel32.dll", "MZ");
  run.machine.AddFile("C:\\WINNT\\setup.tmp", "keep");
  run.machine.AddFile("C:\\WINNT\\explorer.exe", "MZ");
  run.machine.AddDirectory("C:\\WINNT\\Fonts");
  run.machine.AddFile("C:\\TEMP\\psf0001.prn", "keep");
  run.machine.AddFile("C:\\WINNT\\Profiles\\Administrator\\スタート メニュー\\プログラム\\アクセサリ\\メモ帳.lnk", "L");
}

// Adds a line at the top of a section of QXErs.ini (code page 932, CR LF).
void AddIniLine(sim::SimMachine& m, const std::string& section, const std::string& line) {
  std::string text = m.File(kIni)->contents;
  const std::string heading = "[" + section + "]\r\n";
  std::size_t at = text.find(heading);
  ASSERT_NE(at, std::string::npos) << section;
  text.insert(at + heading.size(), "90=" + line + "\r\n");
  m.AddFile(kIni, text);
}

struct Place {
  const char* what;
  std::function<void(sim::SimMachine&)> plant;
  std::string logLine;  // the line the run log must hold
};

std::string Utf8(const std::string& s) { return sim::Cp932ToUtf8Lossy(s); }

TEST(ProtectedPlaces, AreLeftAloneWhereverTheyAreNamedAndTheFamilyStillGoes) {
  auto ini = [](const std::string& section, const std::string& line) {
    return [=](sim::SimMachine& m) { AddIniLine(m, section, line); };
  };
  auto uninstall = [](const std::string& command) {
    return [=](sim::SimMachine& m) { m.SetString(kUninstall, "UninstallString", command); };
  };
  auto record = [](const std::string& name, const std::string& data) {
    return [=](sim::SimMachine& m) { m.SetString(kTrapPrinter, name, data); };
  };
  const std::string kKeyRefused = " キー削除失敗。 保護された場所のため削除しない。";
  const std::string kDirRefused = " ディレクトリ削除失敗。 保護された場所のため削除しない。";
  const std::string kFileWrong = " ファイル削除失敗。 指定が正しくないため削除しない。";
  const Place places[] = {
      // Registry entries of the configuration: roots, keys below them, Windows' containers.
      {"HKLM\\SOFTWARE", ini("DEL_REG.QX", "HKEY_LOCAL_MACHINE,SOFTWARE"), "HKEY_LOCAL_MACHINE,SOFTWARE" + kKeyRefused},
      {"HKLM\\SYSTEM", ini("DEL_REG.PP", "HKEY_LOCAL_MACHINE,SYSTEM"), "HKEY_LOCAL_MACHINE,SYSTEM" + kKeyRefused},
      {"HKLM root", ini("DEL_REG.DRV", "HKEY_LOCAL_MACHINE,\\"), "HKEY_LOCAL_MACHINE,\\" + kKeyRefused},
      {"SOFTWARE\\Microsoft", ini("DEL_REG.QX", "HKEY_LOCAL_MACHINE,SOFTWARE\\Microsoft\\"),
       "HKEY_LOCAL_MACHINE,SOFTWARE\\Microsoft\\" + kKeyRefused},
      {"NT CurrentVersion", ini("DEL_REG.QX", "HKEY_LOCAL_MACHINE,SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"),
       "HKEY_LOCAL_MACHINE,SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion" + kKeyRefused},
      {"Uninstall", ini("DEL_REG.QX", "HKEY_LOCAL_MACHINE,SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"),
       "HKEY_LOCAL_MACHINE,SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall" + kKeyRefused},
      {"Services", ini("DEL_REG.QX", "HKEY_LOCAL_MACHINE,SYSTEM\\CurrentControlSet\\Services"),
       "HKEY_LOCAL_MACHINE,SYSTEM\\CurrentControlSet\\Services" + kKeyRefused},
      {"Print\\Printers", ini("DEL_REG.DRV", "HKEY_LOCAL_MACHINE,SYSTEM\\CurrentControlSet\\Control\\Print\\Printers"),
       "HKEY_LOCAL_MACHINE,SYSTEM\\CurrentControlSet\\Control\\Print\\Printers" + kKeyRefused},
      {"driver version",
       ini("DEL_REG.DRV",
           "HKEY_LOCAL_MACHINE,SYSTEM\\ControlSet001\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-2"),
       "HKEY_LOCAL_MACHINE,SYSTEM\\ControlSet001\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-2" +
           kKeyRefused},
      {"a user's hive", ini("DEL_REG.QX", "HKEY_USERS,S-1-5-21-1000"), "HKEY_USERS,S-1-5-21-1000" + kKeyRefused},
      {"HKCU\\Software, and per user", ini("DEL_REG.QX", "HKEY_CURRENT_USER,Software"),
       "HKEY_USERS,.DEFAULT\\Software" + kKeyRefused},
      {"CLSID", ini("DEL_REG.QX", "HKEY_CLASSES_ROOT,CLSID"), "HKEY_CLASSES_ROOT,CLSID" + kKeyRefused},
      {"Run with a trailing comma",
       ini("DEL_REG.QX", "HKEY_LOCAL_MACHINE,SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run,"),
       "HKEY_LOCAL_MACHINE,SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run, キー削除失敗。 "
       "指定が正しくないため削除しない。"},
      {"a zero byte in an entry",
       ini("DEL_REG.PP", std::string("HKEY_LOCAL_MACHINE,SYSTEM\\CurrentControlSet") + '\0' + "\\Services\\ZOVX"),
       "HKEY_LOCAL_MACHINE,SYSTEM\\CurrentControlSet 削除失敗。 指定が正しくないため削除しない。"},
      {"a partial removal without a value name",
       ini("PULL_REG.QX", "HKEY_LOCAL_MACHINE,SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment,,C:\\Q"),
       "HKEY_LOCAL_MACHINE,SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment, 内の指定文字 C:\\Q "
       "削除失敗。 指定が正しくないため削除しない。"},
      // The spooler's own monitor and print processor, which other printers stand on.
      {"the local port monitor", ini("DEL_LM_NAME", "Local Port"), "Local Port ＬＭ削除失敗 保護された場所のため削除しない。"},
      {"winprint", ini("DEL_PROC_NAME", "WinPrint"), "WinPrint PrintProcessor削除 失敗 保護された場所のため削除しない。"},
      // File entries stay inside their section's folder.
      {"..\\AUTOEXEC.BAT", ini("DEL_FILE.QX.WINDIR", "..\\AUTOEXEC.BAT"), "C:\\WINNT\\..\\AUTOEXEC.BAT" + kFileWrong},
      {"kernel32.dll by way of ..",
       ini("DEL_FILE.DRV.WINSYSDIR", "..\\..\\WINNT\\System32\\kernel32.dll"),
       "C:\\WINNT\\System32\\..\\..\\WINNT\\System32\\kernel32.dll" + kFileWrong},
      {"an empty file entry", ini("DEL_FILE.QX.WINSYSDIR", ""), "C:\\WINNT\\System32\\" + kFileWrong},
      {"the Windows directory as a file", ini("DEL_FILE.QX.ROOT", "WINNT"),
       "C:\\WINNT ファイル削除失敗。 保護された場所のため削除しない。"},
      {"a file entry of dots", ini("DEL_FILE.PP.WINDIR", "."), "C:\\WINNT\\." + kFileWrong},
      // Menu entries are one group, and never Windows' own folders.
      {"an item without a group", ini("DEL_FOLDER.QX", ",メモ帳.lnk"),
       " フォルダの メモ帳 アイテム  削除失敗 指定が正しくないため削除しない。"},
      {"the Startup folder as a group", ini("DEL_FOLDER.QX", "スタートアップ"),
       "スタートアップ フォルダの  削除失敗 保護された場所のため削除しない。"},
      // Records of the machine.
      {"an uninstall string in the Windows directory", uninstall("C:\\WINNT\\UNINST.EXE"), "C:\\WINNT\\" + kDirRefused},
      {"an uninstall string in Program Files by its short name", uninstall("\"C:\\PROGRA~1\\UNINST.EXE\" -x"),
       "C:\\PROGRA~1\\" + kDirRefused},
      {"an uninstall string in the profiles folder", uninstall("C:\\WINNT\\Profiles\\Administrator\\x.exe"),
       "C:\\WINNT\\Profiles\\Administrator\\" + kDirRefused},
      {"a spool path that is the temporary directory", record("PSPOOL", "C:\\TEMP"), "C:\\TEMP\\" + kDirRefused},
      {"a spool path that is Program Files", record("PSPOOL", "C:\\Program Files"), "C:\\Program Files\\" + kDirRefused},
      {"a migration folder record", record("MIGFP1", "C:\\WINNT\\System32"),
       "C:\\WINNT\\System32" + kDirRefused},
      {"a migration file record in the Windows directory", record("MIGFP3", "C:\\WINNT,explorer.exe"),
       "C:\\WINNT\\explorer.exe ファイル削除失敗。 保護された場所のため削除しない。"},
      {"a migration menu record without a group", record("MIGSP1", ",メモ帳"),
       " フォルダの メモ帳 アイテム  削除失敗 指定が正しくないため削除しない。"},
      {"an unfinished run's note of the Windows directory",
       [](sim::SimMachine& m) {
         m.SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Qorvex Eraser\\Unfinished Run", "QXDIR.0", "C:\\WINNT\\");
       },
       "C:\\WINNT\\" + kDirRefused},
  };

  // The run without them: what the family's removal changes.
  RunFixture clean;
  LoadDefault(clean);
  const MachineObjects cleanBefore = TakeObjects(clean.machine);
  clean.Run();
  const std::vector<std::string> familyChanges = Changed(cleanBefore, TakeObjects(clean.machine));
  ASSERT_GT(familyChanges.size(), 200u);
  const std::string logId = sim::cp932::Fold("file C:\\TEMP\\QXErs.log");

  for (const Place& place : places) {
    SCOPED_TRACE(place.what);
    RunFixture run;
    LoadDefault(run);
    place.plant(run.machine);
    const MachineObjects before = TakeObjects(run.machine);
    run.Run();
    std::vector<std::string> changes = Changed(before, TakeObjects(run.machine));
    // Nothing but what the family's removal changes; the planted records may go with the
    // family's keys.
    for (const std::string& id : changes) {
      bool planted = id.find("Qorvex Trap") != std::string::npos || id.find("Printers\\Trap") != std::string::npos ||
                     id.find("Qorvex Eraser") != std::string::npos;
      bool family = std::find(familyChanges.begin(), familyChanges.end(), id) != familyChanges.end();
      EXPECT_TRUE(planted || family) << "changed: " << Utf8(id);
    }
    // And all of that still.
    for (const std::string& id : familyChanges) {
      if (sim::cp932::Fold(id) == logId) continue;
      EXPECT_NE(std::find(changes.begin(), changes.end(), id), changes.end()) << "no longer removed: " << Utf8(id);
    }
    const std::string log = run.Log();
    EXPECT_NE(log.find("\r\n" + place.logLine + "\r\n"), std::string::npos) << Utf8(place.logLine);
    EXPECT_GT(run.doc.failures, 0);
  }
}

}  // namespace
}  // namespace qx::test
