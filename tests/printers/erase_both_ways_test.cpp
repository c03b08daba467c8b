// One machine erased through the running spooler and, a second time, with the spooler
// stopped: the same printer objects go, every other one stays, and the differences are only
// those that the two ways are built to have.
#include <map>

#include "platform/sim/image/image.h"
#include "printers/printer_fixture.h"

namespace qx::test {
namespace {

using Registry = std::map<std::string, std::map<std::string, std::string>>;  // key -> value -> data

Registry Snapshot(const sim::SimMachine& m) {
  Registry out;
  for (const std::string& key : m.AllKeys()) {
    auto& values = out[key];
    // A printer the spooler changes gets every field written; a field it adds empty or
    // zero is no change.
    bool printer = key.rfind(kHklmPrinters, 0) == 0;
    for (const sim::RegValue& v : m.Values(key)) {
      bool empty = v.data.find_first_not_of('\0') == std::string::npos;
      if (!printer || !empty) values[v.name] = std::to_string(v.type) + ":" + v.data;
    }
  }
  return out;
}

// Lines "key" for a key on one side only, "key , value" for a value that differs.
std::vector<std::string> Differences(const Registry& a, const Registry& b) {
  std::vector<std::string> out;
  auto keys = [&](const Registry& x, const Registry& y) {
    for (const auto& [key, _] : x)
      if (!y.count(key)) out.push_back(key);
  };
  keys(a, b);
  keys(b, a);
  for (const auto& [key, values] : a) {
    auto other = b.find(key);
    if (other == b.end()) continue;
    std::map<std::string, int> names;
    for (const auto& [name, _] : values) names[name] = 1;
    for (const auto& [name, _] : other->second) names[name] = 1;
    for (const auto& [name, _] : names) {
      auto x = values.find(name);
      auto y = other->second.find(name);
      if (x == values.end() || y == other->second.end() || x->second != y->second) out.push_back(key + " , " + name);
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

struct Erased {
  sim::SimMachine machine;
  CQXErsDoc doc{machine.platform()};
};

void Load(sim::SimMachine& m, const std::string& image) {
  std::string error;
  ASSERT_TRUE(sim::LoadImage(std::string(QX_SOURCE_DIR) + "/images/" + image, m, error)) << error;
}

// An image erased by the printer steps of the services-and-others stage, in its order,
// followed by the default-printer repair.
void Erase(Erased& e, const std::string& image, bool spoolerRunning) {
  Load(e.machine, image);
  e.machine.SetServiceState("Spooler", spoolerRunning ? SERVICE_RUNNING : SERVICE_STOPPED);
  CQXErsDoc& d = e.doc;
  d.PrepareRun();
  ASSERT_GE(d.CheckEnvironment(), 0);
  d.spoolerRunning = d.IsSpoolerRunning();
  ASSERT_EQ(d.spoolerRunning, spoolerRunning);
  d.ReadRunSettings();
  d.ReadDeletionLists();
  d.GatherPrinterNames();
  d.RemoveNetrovaPorts();
  if (spoolerRunning) {
    d.ReassignVirtualPorts();
    d.DeleteProductPrintProcessor();
  } else {
    d.ReassignVirtualPortsOffline();
    d.DeleteProductPrintProcessorOffline();
  }
  d.RemoveLptnPorts();
  if (spoolerRunning) {
    d.RemovePrinterDrivers();
    d.RepairDefaultPrinter();
  } else {
    d.RemovePrinterDriversOffline();
    d.RepairDefaultPrinterOffline();
  }
}

struct Image {
  const char* name;
  std::vector<std::string> survivors;  // local printers
  std::vector<std::string> differences;
};

const std::string kPrint = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\";
const std::string kLists = std::string(kUser) + "Software\\Microsoft\\Windows NT\\CurrentVersion\\";

// What the two ways are built to leave differently on every system:
std::vector<std::string> Differences(std::vector<std::string> movedPrinters, std::vector<std::string> more) {
  std::vector<std::string> out = {
      // With the spooler stopped a virtual printer always goes to LPT1:; the spooler path
      // moves it to the port of the printer its driver data names.
      kPrint + "Printers\\Office Virtual , Port",
      // The LPTN ports are deleted through the spooler; with it stopped nothing is done.
      std::string(kHklmPorts) + " , LPTN1:",
      std::string(kHklmPorts) + " , LPTN2:",
  };
  // The spooler updates the current user's lists of a printer it moves; the registry edits
  // change only the printer's own Port value.
  for (const std::string& p : movedPrinters) {
    out.push_back(kLists + "Devices , " + p);
    out.push_back(kLists + "PrinterPorts , " + p);
  }
  out.insert(out.end(), more.begin(), more.end());
  std::sort(out.begin(), out.end());
  return out;
}

const Image kImages[] = {
    {"default",
     {"Hanakoya Label", "HP LaserJet 4", "Office LaserJet", "Office LPTN", "Office Net", "Office Virtual"},
     Differences({"Office LPTN", "Office Net", "Office Virtual"},
                 {
                     // On NT 4.0 the spooler path deletes drivers of its own environment only;
                     // the registry edits remove the driver keys of every environment. The
                     // Windows 95 driver that stays keeps its language monitor in use, so the
                     // spooler refuses to delete that.
                     kPrint + "Environments\\Windows 4.0\\Drivers\\Version-0\\Qorvex PS Driver",
                     kPrint + "Monitors\\ZOV Language Monitor",
                 })},
    {"w2k-spooler-stopped",
     {"Hanakoya Label", "HP LaserJet 4", "Office LaserJet", "Office LPTN", "Office Net", "Office Tcp", "Office Virtual"},
     Differences({"Office LPTN", "Office Net", "Office Tcp", "Office Virtual"}, {})},
};

TEST(EraseBothWays, TheSamePrinterObjectsGoWhetherTheSpoolerRunsOrNot) {
  for (const Image& image : kImages) {
    SCOPED_TRACE(image.name);
    Erased before, running, stopped;
    Load(before.machine, image.name);
    Erase(running, image.name, true);
    Erase(stopped, image.name, false);

    // Other vendors' printers, drivers, monitors, ports, print processors, shares and
    // connections are untouched either way.
    const char* others[] = {"Hanakoya", "HP LaserJet 4", "Office LaserJet", "Sales Color", "PJL", "HNPPROC",
                            "winprint", "Local Port", "OFFICE", "LPT2:", "COM1:", "FILE:"};
    for (Erased* e : {&running, &stopped}) {
      for (const std::string& line : Differences(Snapshot(before.machine), Snapshot(e->machine))) {
        for (const char* other : others) EXPECT_EQ(line.find(other), std::string::npos) << line;
      }
      char device[MAX_PATH] = {};
      e->machine.platform().profile.GetProfileStringA("windows", "device", "", device, MAX_PATH);
      EXPECT_STREQ(device, "HP LaserJet 4,winspool,LPT1:");
      EXPECT_EQ(e->machine.Subkeys(kPrint + "Printers"), image.survivors);
      EXPECT_EQ(e->machine.Subkeys(std::string(kUser) + "Printers\\Connections"),
                std::vector<std::string>{",,PRTSRV01,Sales Color"});
    }
    EXPECT_EQ(Differences(Snapshot(running.machine), Snapshot(stopped.machine)), image.differences);
  }
}

}  // namespace
}  // namespace qx::test
