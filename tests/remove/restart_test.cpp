// Files that cannot go now go at the next restart: the whole road from the first failure
// to the machine after Reboot().
#include <gtest/gtest.h>

#include "app/CQXErsDoc.h"
#include "platform/sim/sim_machine.h"

namespace qx::test {
namespace {

constexpr const char* kSpooler = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\SPOOLER";

class DeletionAtRestart : public ::testing::Test {
 protected:
  DeletionAtRestart() { doc.logEnabled = 1; }
  void Spooler(DWORD state) {
    machine.SetDword(kSpooler, "Start", 2);
    machine.SetServiceState("SPOOLER", state);
    doc.spoolerRunning = state == SERVICE_RUNNING;
  }
  sim::SimMachine machine;
  CQXErsDoc doc{machine.platform()};
};

TEST_F(DeletionAtRestart, OnNtAFileTheSpoolerHeldGoesOnceTheSpoolerIsStopped) {
  doc.osType = kWindowsNT4;
  Spooler(SERVICE_RUNNING);
  machine.AddFile("C:\\WINNT\\System32\\spool\\ZOVMON.DLL", "x");
  machine.SetLockedBy("C:\\WINNT\\System32\\spool\\ZOVMON.DLL", "SPOOLER");
  doc.DeleteOneFile("C:\\WINNT\\System32\\spool\\ZOVMON.DLL");
  ASSERT_TRUE(machine.HasFile("C:\\WINNT\\System32\\spool\\ZOVMON.DLL"));
  doc.RetryDeferredFiles();
  EXPECT_FALSE(machine.HasFile("C:\\WINNT\\System32\\spool\\ZOVMON.DLL"));
  EXPECT_EQ(doc.restartNeeded, 0);
  EXPECT_EQ(machine.ServiceState("SPOOLER"), SERVICE_RUNNING);  // started again
  EXPECT_EQ(doc.logFiles.back(), "C:\\WINNT\\System32\\spool\\ZOVMON.DLL Spooler停止後  削除成功。");
}

TEST_F(DeletionAtRestart, ASpoolerThatDoesNotStartAgainIsTriedThenLeftToTheRestart) {
  doc.osType = kWindowsNT4;
  Spooler(SERVICE_RUNNING);
  machine.AddFile("C:\\QX\\Busy.DLL", "x");
  machine.SetLocked("C:\\QX\\Busy.DLL", true);
  machine.AddFault({"StartServiceA", "SPOOLER", 0, ERROR_SERVICE_DISABLED});
  doc.deferredFiles = {"C:\\QX\\Busy.DLL"};
  const auto before = machine.ElapsedMs();
  doc.RetryDeferredFiles();
  EXPECT_EQ(machine.ServiceState("SPOOLER"), SERVICE_STOPPED);
  EXPECT_EQ(doc.restartNeeded, 1);
  EXPECT_EQ(doc.failures, 1);
  EXPECT_EQ(doc.logRestartCauses.back(), "SPOOLER の開始に失敗");
  // Three tries, five seconds apart, after the stop's own wait.
  EXPECT_EQ(machine.ElapsedMs() - before, 1000u + 2 * 5000u);
  machine.Reboot();
  EXPECT_EQ(machine.ServiceState("SPOOLER"), SERVICE_RUNNING);
}

TEST_F(DeletionAtRestart, OnNtASecondFailureIsCarriedOutByTheRestart) {
  doc.osType = kWindowsNT4;
  Spooler(SERVICE_STOPPED);
  machine.AddFile("C:\\QX\\Busy.DLL", "x");
  machine.AddFile("C:\\QX\\Other.DLL", "stays");
  machine.SetLocked("C:\\QX\\Busy.DLL", true);
  doc.DeleteOneFile("C:\\QX\\Busy.DLL");
  doc.RetryDeferredFiles();
  EXPECT_EQ(doc.restartNeeded, 1);
  EXPECT_EQ(machine.ServiceState("SPOOLER"), SERVICE_STOPPED);  // it was not running: not touched
  ASSERT_TRUE(machine.HasFile("C:\\QX\\Busy.DLL"));
  machine.Reboot();
  EXPECT_FALSE(machine.HasFile("C:\\QX\\Busy.DLL"));
  EXPECT_TRUE(machine.HasFile("C:\\QX\\Other.DLL"));
  EXPECT_FALSE(machine.Value("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                             "PendingFileRenameOperations"));
}

TEST_F(DeletionAtRestart, OnWindows98TheRenameSectionIsCarriedOutByTheRestart) {
  machine.settings().platformId = VER_PLATFORM_WIN32_WINDOWS;
  machine.settings().windowsDirectory = "C:\\WINDOWS";
  machine.settings().systemDirectory = "C:\\WINDOWS\\SYSTEM";
  machine.AddFile("C:\\WINDOWS\\WININIT.INI", "[rename]\r\nNul=C:\\OLD.TMP\r\n");
  machine.AddFile("C:\\OLD.TMP", "");
  doc.osType = kWindows9x;
  machine.AddFile("C:\\Program Files\\Qorvex\\Status Monitor.exe", "x");
  machine.SetLocked("C:\\Program Files\\Qorvex\\Status Monitor.exe", true);
  machine.AddFile("C:\\Program Files\\Qorvex\\Keep.txt", "stays");
  doc.DeleteOneFile("C:\\Program Files\\Qorvex\\Status Monitor.exe");
  EXPECT_EQ(doc.restartNeeded, 1);
  machine.Reboot();
  EXPECT_FALSE(machine.HasFile("C:\\Program Files\\Qorvex\\Status Monitor.exe"));
  EXPECT_FALSE(machine.HasFile("C:\\OLD.TMP"));
  EXPECT_TRUE(machine.HasFile("C:\\Program Files\\Qorvex\\Keep.txt"));
  EXPECT_FALSE(machine.HasFile("C:\\WINDOWS\\WININIT.INI"));
}

}  // namespace
}  // namespace qx::test
