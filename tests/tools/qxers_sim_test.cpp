// The qxers-sim command: what a run prints, writes and answers with.
#include <gtest/gtest.h>

#include <sstream>

#include "support/run_fixture.h"
#include "tests/tools/image_support.h"
#include "tests/tools/qxers_sim_support.h"

namespace qx::test {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(QxersSim, UsageErrorsExitWithTwo) {
  REQUIRE_QXERS_SIM();
  for (const char* args : {"", "erase", "run --out", "run a b", "run --fast"}) {
    SCOPED_TRACE(args);
    Outcome o = RunCommand(args);
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("usage: qxers-sim run"), std::string::npos) << o.err;
  }
}

TEST(QxersSim, AMalformedImageRunsNothing) {
  REQUIRE_QXERS_SIM();
  TestImage image("[System]\nPlatformId=2\n[Services]\nSpooler=runing\n");
  TempDir out;
  Outcome o = RunCommand("run '" + image.str() + "' --out '" + (out.path() / "o").string() + "'");
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("machine.ini:4: unknown state 'runing'"), std::string::npos) << o.err;
  EXPECT_FALSE(fs::exists(out.path() / "o"));
}

TEST(QxersSim, TheDefaultImageRunsToItsResult) {
  REQUIRE_QXERS_SIM();
  TempDir out;
  Outcome o = RunCommand("run --out '" + out.str() + "'");
  ASSERT_EQ(o.status, 0) << o.out << o.err;

  std::vector<std::string> messages = Lines(ReadBytes(out.path() / "messages.txt"));
  ASSERT_GE(messages.size(), 6u);
  EXPECT_EQ(messages[0], ViewMessage(QXM_RUN_START));
  EXPECT_EQ(messages[1], ViewMessage(QXM_STATUS, kStatusStarting));
  unsigned total = 0;
  ASSERT_EQ(std::sscanf(messages[2].c_str(), (std::to_string(QXM_RANGE) + " 0 %u").c_str(), &total), 1)
      << messages[2];
  EXPECT_EQ(messages[messages.size() - 2], ViewMessage(QXM_RUN_END));
  const std::string& last = messages.back();
  EXPECT_TRUE(last == ViewMessage(QXM_RESULT, kResultDone) || last == ViewMessage(QXM_RESULT, kResultRestart))
      << last;
  // The bar moves one step at a time and ends full.
  unsigned expected = 1;
  for (const std::string& m : messages) {
    unsigned pos = 0;
    if (std::sscanf(m.c_str(), (std::to_string(QXM_POSITION) + " %u 0").c_str(), &pos) != 1) continue;
    EXPECT_LE(pos, total);
    if (pos != total) {
      EXPECT_EQ(pos, expected) << m;
    }
    expected = pos + 1;
  }
  EXPECT_EQ(expected, total + 1);

  // The status texts reach the terminal as UTF-8.
  EXPECT_NE(o.out.find(U8(u8"[status] 初期化処理中です。")), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("[time] virtual time waited: "), std::string::npos);

  // The machine afterwards is an image again, and the run log came out of its TEMP.
  sim::SimMachine after;
  std::string error;
  ASSERT_TRUE(sim::LoadImage((out.path() / "after").string(), after, error)) << error;
  ASSERT_TRUE(fs::exists(out.path() / "QXErs.log"));
  auto log = after.File("C:\\TEMP\\QXErs.log");
  ASSERT_TRUE(log.has_value());
  EXPECT_EQ(ReadBytes(out.path() / "QXErs.log"), log->contents);
  EXPECT_TRUE(after.HasFile("C:\\Documents\\報告書.txt"));
  EXPECT_TRUE(after.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Hanakoya\\Memo\\3.1"));
  // What other programs received is written; another vendor's window is left open.
  EXPECT_TRUE(fs::exists(out.path() / "calls.txt"));
  bool notepad = false;
  for (const sim::ProgramWindow& w : after.ProgramWindows()) notepad = notepad || w.className == "Notepad";
  EXPECT_TRUE(notepad);

  // A second run into the same folder replaces the first one's outputs.
  EXPECT_EQ(RunCommand("run --out '" + out.str() + "'").status, 0);
  EXPECT_TRUE(fs::exists(out.path() / "after" / "machine.ini"));
}

// The Windows 98 image runs to its end: no service manager, WININIT.INI, a metabase that
// cannot be reached; the machine afterwards is an image of the same system.
TEST(QxersSim, TheWindows98ImageRunsToItsResult) {
  REQUIRE_QXERS_SIM();
  TempDir out;
  Outcome o = RunCommand("run '" + std::string(QX_SOURCE_DIR) + "/images/win98' --out '" + out.str() + "'");
  ASSERT_EQ(o.status, 0) << o.out << o.err;
  sim::SimMachine after;
  std::string error;
  ASSERT_TRUE(sim::LoadImage((out.path() / "after").string(), after, error)) << error;
  EXPECT_EQ(after.settings().platformId, VER_PLATFORM_WIN32_WINDOWS);
  EXPECT_TRUE(after.HasFile("C:\\My Documents\\報告書.txt"));
}

struct EarlyEnd {
  const char* name;
  std::string config;  // drive_c/QXErs/QXErs.ini, "" for none
  std::string messages;
};

TEST(QxersSim, RunsThatEndBeforeTheStartExitWithOne) {
  REQUIRE_QXERS_SIM();
  const EarlyEnd cases[] = {
      {"no configuration", "", ""},
      {"foreign configuration", "[ENVIRONMENT]\r\nAP=OTHER\r\nSUPPORTOS=N4\r\n",
       ViewMessage(QXM_RESULT, kResultNoConfiguration) + "\n"},
      {"system not listed", "[ENVIRONMENT]\r\nAP=QXERASER\r\nSUPPORTOS=95\r\n",
       ViewMessage(QXM_RESULT, kResultUnsupportedSystem) + "\n"},
      {"no rights", "[ENVIRONMENT]\r\nAP=QXERASER\r\nSUPPORTOS=N4\r\n",
       ViewMessage(QXM_RESULT, kResultNoRights) + "\n"},
  };
  for (const EarlyEnd& c : cases) {
    SCOPED_TRACE(c.name);
    TestImage image(std::string("[System]\nPlatformId=2\nMajorVersion=4\nModuleFileName=C:\\QXErs\\QXErs.exe\n") +
                    (c.messages == ViewMessage(QXM_RESULT, kResultNoRights) + "\n" ? "ServiceManager=denied\n" : ""));
    if (!c.config.empty()) image.Write("drive_c/QXErs/QXErs.ini", c.config);
    image.MakeDir("drive_c/TEMP");
    TempDir out;
    Outcome o = RunCommand("run '" + image.str() + "' --out '" + out.str() + "'");
    EXPECT_EQ(o.status, 1) << o.out << o.err;
    EXPECT_EQ(ReadBytes(out.path() / "messages.txt"), c.messages);
    EXPECT_FALSE(fs::exists(out.path() / "QXErs.log"));
  }
}

}  // namespace
}  // namespace qx::test

namespace qx::test {
namespace {

TEST(QxersSim, ARunWithNoDeletionKindWritesTheWholeMessageSequence) {
  REQUIRE_QXERS_SIM();
  TestImage image("[System]\nPlatformId=2\nMajorVersion=4\nModuleFileName=C:\\QXErs\\QXErs.exe\n");
  image.Write("drive_c/QXErs/QXErs.ini", "[ENVIRONMENT]\r\nAP=QXERASER\r\nSUPPORTOS=N4\r\nDELFLG=000\r\n");
  image.MakeDir("drive_c/TEMP");
  TempDir out;
  Outcome o = RunCommand("run '" + image.str() + "' --out '" + out.str() + "'");
  EXPECT_EQ(o.status, 0) << o.out << o.err;
  std::string expected;
  for (const std::string& message : PaddedRun(kStatusStoppingServices, 12, kResultDone)) expected += message + "\n";
  EXPECT_EQ(ReadBytes(out.path() / "messages.txt"), expected);
  EXPECT_TRUE(fs::exists(out.path() / "spooler.txt")) << "written, empty: nothing was asked of the spooler";
  EXPECT_EQ(ReadBytes(out.path() / "spooler.txt"), "");
}

}  // namespace
}  // namespace qx::test

namespace qx::test {
namespace {

std::string RegHex(const std::string& bytes) {
  std::string out;
  char piece[4];
  for (unsigned char c : bytes) {
    std::snprintf(piece, sizeof piece, "%02x", c);
    out += (out.empty() ? "" : ",") + std::string(piece);
  }
  return out;
}

TEST(QxersSimReboot, UsageErrorsExitWithTwo) {
  REQUIRE_QXERS_SIM();
  for (const char* args : {"reboot", "reboot --out", "reboot a b --out c", "reboot --restart --out c"}) {
    SCOPED_TRACE(args);
    Outcome o = RunCommand(args);
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("usage: qxers-sim reboot"), std::string::npos) << o.err;
  }
}

TEST(QxersSimReboot, TheImageAfterTheRestartIsWritten) {
  REQUIRE_QXERS_SIM();
  TestImage image(
      "[System]\nPlatformId=2\nMajorVersion=4\n"
      "[Services]\nAUTO=stopped\nDEMAND=running,pollsToStop=5\nDOOMED=running\n"
      "[Files]\nC:\\Q\\HELD.DLL=locked\nC:\\Q\\SPOOL.SPL=lockedby=AUTO\n");
  std::string pending = std::string("\\??\\C:\\Q\\HELD.DLL\0\0\\??\\C:\\Q\\NEW.DLL\0!\\??\\C:\\Q\\OLD.DLL\0\0", 55);
  image.Write("system.reg",
              "REGEDIT4\r\n"
              "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager]\r\n"
              "\"PendingFileRenameOperations\"=hex(7):" + RegHex(pending) + "\r\n"
              "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\AUTO]\r\n\"Start\"=dword:00000002\r\n"
              "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\DEMAND]\r\n\"Start\"=dword:00000003\r\n"
              "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\DOOMED]\r\n\"Start\"=dword:00000002\r\n"
              "\"DeleteFlag\"=dword:00000001\r\n");
  image.Write("drive_c/Q/HELD.DLL", "h");
  image.Write("drive_c/Q/NEW.DLL", "new");
  image.Write("drive_c/Q/OLD.DLL", "old");
  image.Write("drive_c/Q/SPOOL.SPL", "s");
  TempDir out;
  Outcome o = RunCommand("reboot '" + image.str() + "' --out '" + out.str() + "'");
  ASSERT_EQ(o.status, 0) << o.out << o.err;

  sim::SimMachine after;
  std::string error;
  ASSERT_TRUE(sim::LoadImage((out.path() / "after").string(), after, error)) << error;
  EXPECT_FALSE(after.HasFile("C:\\Q\\HELD.DLL"));
  EXPECT_FALSE(after.HasFile("C:\\Q\\NEW.DLL"));
  ASSERT_TRUE(after.HasFile("C:\\Q\\OLD.DLL"));
  EXPECT_EQ(after.File("C:\\Q\\OLD.DLL")->contents, "new");
  EXPECT_EQ(after.File("C:\\Q\\SPOOL.SPL")->lockedBy, "");
  EXPECT_FALSE(after.Value("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                           "PendingFileRenameOperations"));
  EXPECT_EQ(after.ServiceState("AUTO"), SERVICE_RUNNING);
  EXPECT_EQ(after.ServiceState("DEMAND"), SERVICE_STOPPED);
  EXPECT_EQ(after.GetServiceBehaviour("DEMAND").pollsToStop, 5);  // how it answers stays
  EXPECT_FALSE(after.HasKey("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\DOOMED"));
  std::string ini = ReadBytes(out.path() / "after" / "machine.ini");
  EXPECT_EQ(ini.find("locked"), std::string::npos) << ini;
}

}  // namespace
}  // namespace qx::test

namespace qx::test {
namespace {

// diff says what differs between two images in the summary's form, and exits with 1 when
// something does.
TEST(QxersSimDiff, TwoImagesDifferByKind) {
  REQUIRE_QXERS_SIM();
  const char* printer = "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Qorvex Printer]\r\n"
                        "\"Port\"=\"VPT1:\"\r\n";
  TestImage a("[System]\nPlatformId=2\n"), b("[System]\nPlatformId=2\n");
  a.Write("printers.reg", std::string("REGEDIT4\r\n") + printer);
  a.Write("drive_c/Q/A.DLL", "a");
  b.Write("drive_c/Q/A.DLL", "b");
  Outcome o = RunCommand("diff '" + a.str() + "' '" + b.str() + "' --verbose");
  EXPECT_EQ(o.status, 1) << o.out << o.err;
  for (const char* line : {"  printers                 1 removed\n      - Qorvex Printer\n",
                           "  files                    1 changed\n      ~ C:\\Q\\A.DLL\n", "  ports                    no change\n"})
    EXPECT_NE(o.out.find(line), std::string::npos) << line << o.out;
  Outcome same = RunCommand("diff '" + a.str() + "' '" + a.str() + "'");
  EXPECT_EQ(same.status, 0) << same.out << same.err;
}

// A regedit export (version 5.00, UTF-16LE) of a Windows NT 4.0 machine with the family
// installed, with its QXErs.ini and neither machine.ini nor files: the system comes from the
// registry, the family's registry data and spooler objects go, and the files it would remove
// are unknown rather than missing.
TEST(QxersSimPreview, ARegistryExportPreviewsWithoutMachineIni) {
  REQUIRE_QXERS_SIM();
  std::string image = std::string(QX_SOURCE_DIR) + "/tests/tools/preview_nt4";
  ASSERT_FALSE(fs::exists(image + "/machine.ini"));
  Outcome o = RunCommand("run '" + image + "' --verbose");
  ASSERT_EQ(o.status, 0) << o.out << o.err;
  for (const char* text :
       {"[preview] Windows NT 4.0 build 1381 Service Pack 6, C:\\WINNT, user S-1-5-21-1000, TEMP C:\\TEMP\\;",
        "  printers                 3 removed, 3 changed\n", "      - Qorvex PS Driver (Windows NT x86, Version-2)\n",
        "      - ZOVSDS\n", "      ? C:\\Program Files\\Qorvex\\ZOVPMN.EXE\n", "The preview cannot tell"})
    EXPECT_NE(o.out.find(text), std::string::npos) << text << "\n" << o.out;
  // Nothing the image does not hold is called removed or left for the restart.
  EXPECT_NE(o.out.find("  waiting for the restart  no change\n"), std::string::npos) << o.out;
  EXPECT_EQ(o.out.find("      - C:\\Program Files"), std::string::npos) << o.out;
}

}  // namespace
}  // namespace qx::test
