// The default printer after the removal: kept when it still exists, else the first printer
// of the devices list that still exists, and the change announced.
#include "printers/printer_fixture.h"

namespace qx::test {
namespace {

struct DefaultCase {
  const char* what;
  const char* device;  // windows / device before, nullptr for none
  std::vector<std::pair<const char*, const char*>> devices;
  const char* after;  // windows / device after
  bool changed;
};

// Printers that exist: the local printer "Kept" and the connection \\SRV\Q; "Gone" was removed.
const DefaultCase kCases[] = {
    {"a default that survives stays", "Kept,winspool,LPT1:", {{"Gone", "winspool,VPT1:"}, {"Kept", "winspool,LPT1:"}},
     "Kept,winspool,LPT1:", false},
    {"a connection that survives stays", "\\\\SRV\\Q,winspool,Ne00:", {{"Kept", "winspool,LPT1:"}},
     "\\\\SRV\\Q,winspool,Ne00:", false},
    {"a removed printer is never the replacement", "Gone,winspool,VPT1:",
     {{"Gone", "winspool,VPT1:"}, {"Kept", "winspool,LPT1:"}}, "Kept,winspool,LPT1:", true},
    {"letter case counts", "kept,winspool,LPT1:", {{"Kept", "winspool,LPT1:"}}, "Kept,winspool,LPT1:", true},
    {"no default at all", nullptr, {{"\\\\SRV\\Q", "winspool,Ne00:"}}, "\\\\SRV\\Q,winspool,Ne00:", true},
    {"no printer left to be the default", "Gone,winspool,VPT1:", {{"Gone", "winspool,VPT1:"}}, "", true},
};

std::string Device(Profile& profile) {
  char buffer[MAX_PATH] = {};
  profile.GetProfileStringA("windows", "device", "<none>", buffer, MAX_PATH);
  return buffer;
}

TEST(DefaultPrinterRepair, TheFirstDevicesEntryThatStillExistsReplacesAGoneDefaultAndIsAnnounced) {
  for (bool running : {false, true}) {
    for (const DefaultCase& c : kCases) {
      SCOPED_TRACE(std::string(c.what) + (running ? ", spooler running" : ", spooler stopped"));
      sim::SimMachine m;
      CQXErsDoc job{m.platform()};
      job.logEnabled = 1;
      job.osType = kWindowsNT4;
      job.spoolerRunning = running;
      if (running) {
        m.AddKey("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Spooler");
        m.SetServiceState("Spooler", SERVICE_RUNNING);
      }
      Profile& profile = m.platform().profile;
      m.AddKey(std::string(kHklmPrinters) + "Kept");
      m.SetString(std::string(kUser) + "Printers\\Connections\\,,SRV,Q", "Server", "\\\\SRV");
      if (c.device) profile.WriteProfileStringA("windows", "device", c.device);
      for (const auto& [name, value] : c.devices) profile.WriteProfileStringA("devices", name, value);

      EXPECT_EQ(running ? job.RepairDefaultPrinter() : job.RepairDefaultPrinterOffline(), c.changed ? 1 : 0);
      EXPECT_EQ(Device(profile), c.changed || c.device ? c.after : "<none>");
      std::vector<sim::BroadcastMessage> broadcasts = m.Broadcasts();
      ASSERT_EQ(broadcasts.size(), c.changed ? 1u : 0u);
      if (c.changed) {
        EXPECT_EQ(broadcasts[0].message, WM_SETTINGCHANGE);
        EXPECT_EQ(broadcasts[0].lParam, 0);  // the NT family names no section
      }
      StringList expected;
      if (!running) expected.push_back(Group("通常使うプリンタに設定(SPOOLER 停止時の処理)"));
      if (!running && c.changed) expected.push_back(std::string("設定：windows / device / ") + c.after);
      EXPECT_EQ(job.logSpoolerStopped, expected);
    }
  }
}

TEST(DefaultPrinterRepair, OnWindows98TheAnnouncementNamesTheWindowsSection) {
  sim::SimMachine m;
  m.settings().platformId = VER_PLATFORM_WIN32_WINDOWS;
  m.settings().minorVersion = 10;
  CQXErsDoc job{m.platform()};
  job.osType = kWindows9x;
  job.spoolerRunning = true;
  m.AddKey(std::string(kHklmPrinters) + "Kept");
  m.AddFile("C:\\WINNT\\win.ini", "[windows]\r\ndevice=Gone,ZOVPS,VPT1\r\n[devices]\r\nKept=HPPCL5E,LPT1:\r\n");
  EXPECT_EQ(job.RepairDefaultPrinter(), 1);
  EXPECT_EQ(Device(m.platform().profile), "Kept,HPPCL5E,LPT1:");
  std::vector<sim::BroadcastMessage> broadcasts = m.Broadcasts();
  ASSERT_EQ(broadcasts.size(), 1u);
  EXPECT_TRUE(broadcasts[0].hasText);
  EXPECT_EQ(broadcasts[0].text, "windows");
}

}  // namespace
}  // namespace qx::test
