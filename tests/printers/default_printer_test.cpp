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

TEST(DefaultPrinterRepair, OfflineTheFirstDevicesEntryThatStillExistsReplacesAGoneDefault) {
  for (const DefaultCase& c : kCases) {
    SCOPED_TRACE(c.what);
    sim::SimMachine m;
    CQXErsDoc job{m.platform()};
    job.logEnabled = 1;
    job.osType = 2;
    Profile& profile = m.platform().profile;
    m.AddKey(std::string(kHklmPrinters) + "Kept");
    m.SetString(std::string(kUser) + "Printers\\Connections\\,,SRV,Q", "Server", "\\\\SRV");
    if (c.device) profile.WriteProfileStringA("windows", "device", c.device);
    for (const auto& [name, value] : c.devices) profile.WriteProfileStringA("devices", name, value);

    EXPECT_EQ(job.RepairDefaultPrinterOffline(), c.changed ? 1 : 0);
    EXPECT_EQ(Device(profile), c.changed || c.device ? c.after : "<none>");
    StringList expected = {Group("通常使うプリンタに設定(SPOOLER 停止時の処理)")};
    if (c.changed) expected.push_back(std::string("設定：windows / device / ") + c.after);
    EXPECT_EQ(job.logSpoolerStopped, expected);
  }
}

}  // namespace
}  // namespace qx::test
