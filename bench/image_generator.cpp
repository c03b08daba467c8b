// Large machine images for the benchmark, the same bytes for the same sizes and seed. An image
// starts as a copy of an existing one (images/default: the whole family installed beside other
// vendors' software, so the erase has everything to remove) and gets a print server's worth of
// objects in Windows' own layout:
//
//   --family N     the family's printers: driver "Qorvex PS Driver", each on its own port of
//                  the family's port monitor "ZOV Network Port", each with its spool directory
//                  (PSPOOL) below the product folder; one in ten shared
//   --others M     other vendors' printers on their own ports (monitor "Hanakoya Net Port"),
//                  drivers "HP LaserJet 4" and "Hanakoya Label Driver"
//   --hives H      loaded user hives under HKEY_USERS, each with the family's per-user keys
//                  (settings, Run entry, menu order, program groups), shell folders and a
//                  profile with the family's shortcuts, and printer settings (Devices,
//                  PrinterPorts, DevModes2) for --user-printers printers of both kinds
//   --files F      files in the product folder and the spool directories: most of them of the
//                  kinds the erase sweeps (psf*.prn, zov*.dat, *.log, *.WAV, *.tmp), some not
//   --keys K       unrelated registry keys: other vendors' settings trees, COM classes,
//                  uninstall entries and services
//   --entries E    entries added to every deletion section of QXErs.ini, one in ten naming
//                  something the image holds, the others things that are not there
//
// The current user's device lists hold every printer, as Windows keeps them.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "bench/image_generator.h"

namespace fs = std::filesystem;

namespace {

// splitmix64: the same numbers from the same seed everywhere.
class Draws {
 public:
  explicit Draws(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint64_t Below(std::uint64_t n) { return n ? Next() % n : 0; }

 private:
  std::uint64_t state_;
};

std::string Num(const char* format, std::uint64_t n) {
  char text[64];
  std::snprintf(text, sizeof text, format, static_cast<unsigned long long>(n));
  return text;
}

// A .reg file being written: REGEDIT4 text, UTF-8 with a byte-order mark, CR LF line ends.
class RegWriter {
 public:
  explicit RegWriter(std::string comment) {
    out_ += "\xEF\xBB\xBFREGEDIT4\r\n\r\n; " + comment + "\r\n";
  }
  void Key(const std::string& path) { out_ += "\r\n[" + path + "]\r\n"; }
  void Sz(const std::string& name, const std::string& text) { out_ += Name(name) + "=\"" + Escape(text) + "\"\r\n"; }
  void Dword(const std::string& name, std::uint32_t value) { out_ += Name(name) + "=" + Num("dword:%08llx", value) + "\r\n"; }
  void Hex(const std::string& name, const std::vector<unsigned char>& bytes) {
    std::string line = Name(name) + "=hex:";
    for (std::size_t i = 0; i < bytes.size(); ++i) line += Num(i ? ",%02llx" : "%02llx", bytes[i]);
    out_ += line + "\r\n";
  }
  void MultiSz(const std::string& name, const std::vector<std::string>& texts) {
    std::string line = Name(name) + "=hex(7):";
    std::string bytes;
    for (const std::string& t : texts) bytes += t + '\0';
    bytes += '\0';
    for (std::size_t i = 0; i < bytes.size(); ++i)
      line += Num(i ? ",%02llx" : "%02llx", static_cast<unsigned char>(bytes[i]));
    out_ += line + "\r\n";
  }
  bool Save(const fs::path& path, std::string& error) const {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(out_.data(), static_cast<std::streamsize>(out_.size()));
    f.close();
    if (!f) error = path.string() + ": cannot be written";
    return static_cast<bool>(f);
  }

 private:
  static std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
      if (c == '\\' || c == '"') out += '\\';
      out += c;
    }
    return out;
  }
  static std::string Name(const std::string& name) { return name.empty() ? "@" : "\"" + Escape(name) + "\""; }
  std::string out_;
};

constexpr char kHklm[] = "HKEY_LOCAL_MACHINE\\";
constexpr char kPrinters[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
constexpr char kNtPrinters[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\";
constexpr char kMonitors[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\";
constexpr char kNtDrivers[] =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-2\\";
constexpr char kProcessors[] =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT x86\\Print Processors\\";
constexpr char kShares[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Shares";
constexpr char kUninstall[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr char kProductDir[] = "Program Files/Qorvex";  // below drive_c/
constexpr char kProductDirWin[] = "C:\\Program Files\\Qorvex";
constexpr char kFamilyDriver[] = "Qorvex PS Driver";
constexpr char kMenuPrograms[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\ﾌﾟﾛｸﾞﾗﾑ(&P)\\";

struct Printer {
  std::string name, port, driver, processor, spool;  // spool: the machine path, family only
  bool family = false;
  bool shared = false;
};

std::vector<Printer> MakePrinters(const bench::ImageSizes& sizes) {
  std::vector<Printer> printers;
  // Interleaved, as a real server's list comes, family and others side by side.
  std::uint64_t n = sizes.family > sizes.others ? sizes.family : sizes.others;
  for (std::uint64_t i = 0; i < n; ++i) {
    if (i < sizes.family) {
      Printer p;
      p.family = true;
      p.name = Num("Qorvex Queue %05llu", i);
      p.port = Num("ZOVIP_10.%llu.", i / 65536 % 256) + Num("%llu.", i / 256 % 256) + Num("%llu", i % 256);
      p.driver = kFamilyDriver;
      p.processor = i % 7 == 3 ? "ZOVPDD" : "WinPrint";
      p.spool = std::string(kProductDirWin) + "\\SPOOL\\" + Num("Q%05llu", i);
      p.shared = i % 10 == 1;
      printers.push_back(p);
    }
    if (i < sizes.others) {
      Printer p;
      p.name = Num("Office Queue %05llu", i);
      p.port = Num("HNP_172.%llu.", 16 + i / 65536 % 16) + Num("%llu.", i / 256 % 256) + Num("%llu", i % 256);
      p.driver = i % 3 == 2 ? "Hanakoya Label Driver" : "HP LaserJet 4";
      p.processor = "WinPrint";
      p.shared = i % 10 == 2;
      printers.push_back(p);
    }
  }
  return printers;
}

std::vector<unsigned char> DevMode(Draws& draws, const std::string& name) {
  // The start of a DEVMODEA: the device name, then a few bytes of settings.
  std::vector<unsigned char> bytes(name.begin(), name.end());
  bytes.resize(32, 0);
  for (int i = 0; i < 12; ++i) bytes.push_back(static_cast<unsigned char>(draws.Below(256)));
  return bytes;
}

void WritePrinters(const std::vector<Printer>& printers, Draws& draws, RegWriter& reg) {
  // The family's port monitor and the other vendor's already exist in the base image with
  // their descriptions; their ports are added as subkeys.
  for (const Printer& p : printers) {
    std::string port = p.family ? std::string(kMonitors) + "ZOV Network Port\\" + p.port
                                : std::string(kMonitors) + "Hanakoya Net Port\\Ports\\" + p.port;
    reg.Key(port);
    if (!p.family) reg.Sz("Description", "Hanakoya Network Port");
    reg.Sz("Address", p.port.substr(p.port.find('_') + 1));
    reg.Sz("Queue", "lp");
  }
  for (const Printer& p : printers) {
    std::string share = p.shared ? (p.family ? "QX" : "OF") + p.name.substr(p.name.size() - 5) : "";
    reg.Key(kPrinters + p.name);
    reg.Sz("Name", p.name);
    reg.Sz("Share Name", share);
    reg.Sz("Port", p.port);
    reg.Sz("Printer Driver", p.driver);
    reg.Sz("Print Processor", p.processor);
    reg.Sz("Datatype", "RAW");
    reg.Sz("Description", "");
    reg.Sz("Location", Num("Floor %llu", draws.Below(12) + 1));
    reg.Dword("Attributes", p.shared ? 0x248 : 0x240);
    reg.Dword("Priority", 1);
    if (p.family) reg.Sz("PSPOOL", p.spool);
    reg.Key(kPrinters + p.name + "\\PrinterDriverData");
    reg.Dword("Resolution", 600);
  }
  // Each tree whole, one after the other, as regedit exports them.
  for (const Printer& p : printers) {
    reg.Key(kNtPrinters + p.name);
    reg.Sz("Printer Driver", p.driver);
    reg.Sz("Port", p.port);
  }
  for (const Printer& p : printers) {
    if (!p.family) continue;
    reg.Key(std::string(kHklm) + "SOFTWARE\\ZOV\\Qorvex\\Printers\\" + p.name);
    reg.Sz("PSPOOL", p.spool);
    reg.Dword("ServerConnection", 1);
  }
  reg.Key(kShares);
  for (const Printer& p : printers) {
    if (!p.shared) continue;
    std::string share = (p.family ? "QX" : "OF") + p.name.substr(p.name.size() - 5);
    reg.MultiSz(share, {"Path=", "Print=" + p.name, "Type=1"});
  }
  // The current user's lists: every printer of the server.
  const std::string user = "HKEY_CURRENT_USER\\";
  reg.Key(user + "Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices");
  for (const Printer& p : printers) reg.Sz(p.name, "winspool," + p.port);
  reg.Key(user + "Software\\Microsoft\\Windows NT\\CurrentVersion\\PrinterPorts");
  for (const Printer& p : printers) reg.Sz(p.name, "winspool," + p.port + ",15,45");
  reg.Key(user + "Printers\\DevModes2");
  for (const Printer& p : printers) reg.Hex(p.name, DevMode(draws, p.name));
}

void WriteHives(const bench::ImageSizes& sizes, const std::vector<Printer>& printers, Draws& draws, RegWriter& reg,
                std::vector<std::pair<std::string, std::string>>& files) {
  const std::string profiles = std::string(kHklm) + "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
  for (std::uint64_t h = 0; h < sizes.hives; ++h) {
    const std::string sid = Num("S-1-5-21-3000-%04llu", h + 1);
    const std::string userName = Num("user%04llu", h + 1);
    const std::string hive = "HKEY_USERS\\" + sid + "\\";
    const std::string profile = "C:\\WINNT\\Profiles\\" + userName;
    reg.Key(profiles + sid);
    reg.Sz("ProfileImagePath", "%SystemRoot%\\Profiles\\" + userName);
    reg.Key(hive + "Software\\ZOV\\Qorvex");
    reg.Sz("LastPrinter", printers.empty() ? "" : printers[draws.Below(printers.size())].name);
    reg.Hex("Window", {0, 0, 0, 0, 0x20, 3, 0, 0, 0x58, 2, 0, 0});
    reg.Key(hive + "Software\\ZOV\\Qorvex\\Status Monitor");
    reg.Dword("AutoStart", static_cast<std::uint32_t>(draws.Below(2)));
    reg.Key(hive + "Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    reg.Sz("QXSTAT", "C:\\Program Files\\Qorvex\\ZOVPMN.EXE /tray");
    reg.Sz("InternatTray", "internat.exe");
    reg.Key(hive + "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
    reg.Sz("Programs", profile + "\\スタート メニュー\\プログラム");
    reg.Sz("Desktop", profile + "\\デスクトップ");
    reg.Key(hive + kMenuPrograms + "Qorvex");
    reg.Hex("Order", {8, 0, 0, 0, 2, 0, 0, 0});
    reg.Key(hive + kMenuPrograms + "アクセサリ");
    reg.Hex("Qorvex ステータスモニタ", {1, 0, 0, 0});
    reg.Hex("メモ帳", {2, 0, 0, 0});
    reg.Key(hive + "Software\\Microsoft\\Windows NT\\CurrentVersion\\Program Manager\\Common Groups");
    reg.Sz("Group1", "Qorvex");
    reg.Sz("Group2", "アクセサリ");
    reg.Key(hive + "Software\\Microsoft\\Windows\\CurrentVersion\\GrpConv\\Groups");
    reg.Sz("C:\\WINNT\\Qorvex.grp", "1");
    reg.Sz("C:\\WINNT\\ACCESSOR.GRP", "1");
    reg.Key(hive + "Control Panel\\International");
    reg.Sz("Locale", "00000411");
    reg.Sz("sCountry", "日本");
    // The printers this user has used: a window of the server's list, family and others.
    std::vector<const Printer*> mine;
    if (!printers.empty()) {
      std::uint64_t start = draws.Below(printers.size());
      for (std::uint64_t i = 0; i < sizes.userPrinters && i < printers.size(); ++i)
        mine.push_back(&printers[(start + i) % printers.size()]);
    }
    reg.Key(hive + "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows");
    if (!mine.empty()) reg.Sz("Device", mine.front()->name + ",winspool," + mine.front()->port);
    reg.Key(hive + "Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices");
    for (const Printer* p : mine) reg.Sz(p->name, "winspool," + p->port);
    reg.Key(hive + "Software\\Microsoft\\Windows NT\\CurrentVersion\\PrinterPorts");
    for (const Printer* p : mine) reg.Sz(p->name, "winspool," + p->port + ",15,45");
    reg.Key(hive + "Printers\\DevModes2");
    for (const Printer* p : mine) reg.Hex(p->name, DevMode(draws, p->name));
    // The profile's shortcuts: the family's group and its item among the accessories.
    const std::string programs = "WINNT/Profiles/" + userName + "/スタート メニュー/プログラム/";
    files.emplace_back(programs + "Qorvex/Readme.lnk", "L\0\0\0 shortcut to Readme.txt");
    files.emplace_back(programs + "Qorvex/Qorvex ステータスモニタ.lnk", "L\0\0\0 shortcut to ZOVPMN.EXE");
    files.emplace_back(programs + "アクセサリ/Qorvex ステータスモニタ.lnk", "L\0\0\0 shortcut to ZOVPMN.EXE");
    files.emplace_back(programs + "アクセサリ/電卓.lnk", "L\0\0\0 shortcut to calc.exe");
  }
}

std::string Contents(Draws& draws, const std::string& name) {
  std::string text = name + "\r\n";
  std::uint64_t extra = 16 + draws.Below(240);
  for (std::uint64_t i = 0; i < extra; ++i) text += static_cast<char>('A' + draws.Below(26));
  return text;
}

void MakeFiles(const bench::ImageSizes& sizes, const std::vector<Printer>& printers, Draws& draws,
               std::vector<std::pair<std::string, std::string>>& files) {
  std::vector<const Printer*> family;
  for (const Printer& p : printers)
    if (p.family) family.push_back(&p);
  const std::string product = kProductDir;
  for (std::uint64_t i = 0; i < sizes.files; ++i) {
    std::string path;
    // Six in ten go to the spool directories (when the family has printers), the rest to the
    // product folder; in both most are of the kinds the erase sweeps.
    if (!family.empty() && i % 10 < 6) {
      const Printer& p = *family[(i / 10 * 6 + i % 10) % family.size()];
      std::string dir = product + "/SPOOL/" + p.spool.substr(p.spool.find_last_of('\\') + 1) + "/";
      switch (i % 5) {
        case 0: case 1: path = dir + Num("psf%06llu.prn", i); break;
        case 2: case 3: path = dir + Num("zov%06llu.dat", i); break;
        default: path = dir + Num("job%06llu.shd", i); break;  // not the family's kind: it stays
      }
    } else {
      switch (i % 6) {
        case 0: path = product + "/LOG/" + Num("bench%06llu.log", i); break;
        case 1: path = product + "/WAV/" + Num("bench%06llu.WAV", i); break;
        case 2: path = product + "/PQS/Cache/" + Num("job%06llu.dat", i); break;  // stays
        case 3: path = product + "/" + Num("t%06llu.tmp", i); break;
        case 4: path = product + "/Data/" + Num("d%03llu/", i / 1000) + Num("q%06llu.bin", i); break;  // stays
        default: path = product + "/LOG/" + Num("pqs%06llu.log", i); break;
      }
    }
    files.emplace_back(path, Contents(draws, path));
  }
}

void WriteUnrelatedKeys(const bench::ImageSizes& sizes, Draws& draws, RegWriter& reg) {
  // Services and uninstall entries as a machine has some hundreds of them; COM classes a
  // quarter; the rest other vendors' settings, a hundred keys a product.
  std::uint64_t services = sizes.keys / 20 < 500 ? sizes.keys / 20 : 500;
  std::uint64_t uninstall = sizes.keys / 20 < 2000 ? sizes.keys / 20 : 2000;
  std::uint64_t classes = sizes.keys / 4 / 2;  // two keys each
  std::uint64_t settings = sizes.keys - services - uninstall - classes * 2;
  for (std::uint64_t i = 0; i < services; ++i) {
    reg.Key(std::string(kHklm) + "SYSTEM\\CurrentControlSet\\Services\\" + Num("BenchSvc%04llu", i));
    reg.Dword("Type", 0x10);
    reg.Dword("Start", 3);
    reg.Dword("ErrorControl", 1);
    reg.Sz("ImagePath", Num("C:\\WINNT\\System32\\benchsvc%04llu.exe", i));
    reg.Sz("DisplayName", Num("Bench Service %04llu", i));
  }
  for (std::uint64_t i = 0; i < uninstall; ++i) {
    reg.Key(kUninstall + Num("Bench Application %05llu", i));
    reg.Sz("DisplayName", Num("Bench Application %05llu", i));
    reg.Sz("UninstallString", Num("C:\\Program Files\\Bench\\App%05llu\\UNINST.EXE", i));
  }
  for (std::uint64_t i = 0; i < classes; ++i) {
    std::string clsid = Num("{%08llX-", draws.Next() & 0xFFFFFFFF) + Num("%04llX-", i & 0xFFFF) +
                        Num("11D3-9F4A-%012llX}", draws.Next() & 0xFFFFFFFFFFFFull);
    reg.Key(std::string(kHklm) + "SOFTWARE\\Classes\\CLSID\\" + clsid);
    reg.Sz("", Num("Bench Component %06llu", i));
    reg.Key(std::string(kHklm) + "SOFTWARE\\Classes\\CLSID\\" + clsid + "\\InprocServer32");
    reg.Sz("", Num("C:\\Program Files\\Bench\\comp%06llu.dll", i));
    reg.Sz("ThreadingModel", "Apartment");
  }
  for (std::uint64_t i = 0; i < settings; ++i) {
    reg.Key(std::string(kHklm) + "SOFTWARE\\" + Num("BenchVendor%03llu\\", i / 10000) + Num("Product%03llu\\", i / 100 % 100) +
            Num("Setting%02llu", i % 100));
    reg.Sz("Value", Num("setting %llu", draws.Below(1000000)));
    reg.Dword("Flags", static_cast<std::uint32_t>(draws.Below(65536)));
  }
}

// The deletion sections of QXErs.ini with the entries to add to each, and what of them the
// image holds (one in ten).
void AddEntries(const bench::ImageSizes& sizes, const std::string& iniPath, RegWriter& reg,
                std::vector<std::pair<std::string, std::string>>& files, Draws& draws, std::string& error) {
  std::map<std::string, std::vector<std::string>> added;
  for (std::uint64_t i = 0; i < sizes.entries; ++i) {
    const bool present = i % 10 == 0;
    auto file = [&](const char* section, const std::string& dir, const std::string& name) {
      added[section].push_back(name);
      if (present) files.emplace_back(dir + name, Contents(draws, name));
    };
    auto key = [&](const char* section, const std::string& root, const std::string& path) {
      added[section].push_back(root + "," + path);
      if (present) {
        reg.Key((root == "HKEY_CURRENT_USER" ? "HKEY_CURRENT_USER\\" : kHklm) + path);
        reg.Sz("Bench", Num("%llu", i));
      }
    };
    file("DEL_FILE.PP.WINDIR", "WINNT/", Num("ZOVPP%05llu.INI", i));
    file("DEL_FILE.PP.WINSYSDIR", "WINNT/System32/", Num("ZOVPP%05llu.DLL", i));
    key("DEL_REG.PP", "HKEY_LOCAL_MACHINE", Num("SOFTWARE\\ZOV\\Bench Port %05llu", i));
    added["DEL_PRINTER_NAME"].push_back(Num("Qorvex Bench Driver %05llu", i));
    if (present) {
      reg.Key(kNtDrivers + Num("Qorvex Bench Driver %05llu", i));
      reg.Sz("Configuration File", "ZOVPSUI.DLL");
      reg.Sz("Data File", "ZOVPS.PPD");
      reg.Sz("Driver", "ZOVPS.DLL");
      reg.Sz("Help File", "");
      reg.Sz("Monitor", "");
      reg.Sz("Datatype", "");
      reg.Dword("Version", 2);
    }
    added["DEL_LM_NAME"].push_back(Num("ZOV Bench Monitor %05llu", i));
    if (present) {
      reg.Key(kMonitors + Num("ZOV Bench Monitor %05llu", i));
      reg.Sz("Driver", Num("ZOVBM%05llu.DLL", i));
    }
    file("DEL_FILE.DRV.WINDIR", "WINNT/", Num("ZOVDR%05llu.INI", i));
    file("DEL_FILE.DRV.WINSYSDIR", "WINNT/System32/", Num("ZOVDR%05llu.DLL", i));
    key("DEL_REG.DRV", "HKEY_LOCAL_MACHINE", Num("SOFTWARE\\ZOV\\Bench Driver %05llu", i));
    added["DEL_PROC_NAME"].push_back(Num("ZOVBP%05llu", i));
    if (present) {
      reg.Key(kProcessors + Num("ZOVBP%05llu", i));
      reg.Sz("Driver", Num("ZOVBP%05llu.DLL", i));
    }
    file("DEL_FILE.QX.QXDIR", std::string(kProductDir) + "/", Num("QXBENCH%05llu.DAT", i));
    file("DEL_FILE.QX.WINDIR", "WINNT/", Num("ZOVQX%05llu.INI", i));
    file("DEL_FILE.QX.WINSYSDIR", "WINNT/System32/", Num("ZOVQX%05llu.DLL", i));
    // One in five of the product's keys is a current user's one: repeated for every hive.
    if (i % 5 == 4) key("DEL_REG.QX", "HKEY_CURRENT_USER", Num("Software\\ZOV\\Bench User %05llu", i));
    else key("DEL_REG.QX", "HKEY_LOCAL_MACHINE", Num("SOFTWARE\\ZOV\\Bench Product %05llu", i));
    added["PULL_REG.QX"].push_back(Num("HKEY_LOCAL_MACHINE,SOFTWARE\\ZOV\\Shared,Products,Bench%05llu", i));
    added["DEL_FOLDER.QX"].push_back(i % 2 ? Num("Qorvex Bench %05llu", i)
                                           : Num("アクセサリ,Qorvex Bench %05llu.LNK", i));
    file("DEL_FILE.QX.ROOT", "", Num("QXBENCH%05llu.LOG", i));
  }

  std::ifstream in(iniPath, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) {
    error = iniPath + ": cannot be read";
    return;
  }
  // The base's lines are Shift-JIS; what is added is plain ASCII except the accessory group's
  // name, written in Shift-JIS as the base's own entry spells it. Entries go after the last
  // entry of their section, numbered on from it.
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  auto entryLines = [&](const std::string& section, std::uint64_t from) {
    std::vector<std::string> out;
    auto it = added.find(section);
    if (it == added.end()) return out;
    const std::string utf8 = "アクセサリ";
    for (std::string entry : it->second) {
      if (entry.compare(0, utf8.size(), utf8) == 0)
        entry = std::string("\x83\x41\x83\x4E\x83\x5A\x83\x54\x83\x8A") + entry.substr(utf8.size());
      out.push_back(std::to_string(++from) + "=" + entry);
    }
    added.erase(it);
    return out;
  };
  std::vector<std::string> out;
  std::string section;
  std::size_t insertAt = 0;  // after the section's last line that is not blank
  std::uint64_t number = 0;
  auto closeSection = [&]() {
    std::vector<std::string> more = entryLines(section, number);
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(insertAt), more.begin(), more.end());
  };
  for (const std::string& line : lines) {
    if (!line.empty() && line.front() == '[') {
      closeSection();
      section = line.substr(1, line.find(']') - 1);
      number = 0;
    } else if (std::size_t eq = line.find('='); eq != std::string::npos && line[0] != ';') {
      std::uint64_t n = std::strtoull(line.substr(0, eq).c_str(), nullptr, 10);
      if (n > number) number = n;
    }
    out.push_back(line);
    if (!line.empty()) insertAt = out.size();
  }
  closeSection();
  std::vector<std::string> missing;
  for (const auto& entry : added) missing.push_back(entry.first);
  for (const std::string& name : missing) {
    out.push_back("");
    out.push_back("[" + name + "]");
    std::vector<std::string> more = entryLines(name, 0);
    out.insert(out.end(), more.begin(), more.end());
  }
  std::string bytes;
  for (const std::string& line : out) bytes += line + "\r\n";
  std::ofstream f(iniPath, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) error = iniPath + ": cannot be written";
}

bool WriteFiles(const fs::path& drive, const std::vector<std::pair<std::string, std::string>>& files,
                std::string& error) {
  std::error_code ec;
  std::string lastDir;
  for (const auto& [relative, contents] : files) {
    fs::path path = drive / fs::u8path(relative);
    std::string dir = path.parent_path().string();
    if (dir != lastDir) {
      fs::create_directories(path.parent_path(), ec);
      if (ec) {
        error = dir + ": cannot be created (" + ec.message() + ")";
        return false;
      }
      lastDir = dir;
    }
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    if (!f) {
      error = path.string() + ": cannot be written";
      return false;
    }
  }
  return true;
}

}  // namespace

namespace bench {

bool MakeImage(const ImageSizes& sizes, const std::string& base, const std::string& out, std::string& error) {
  std::error_code ec;
  if (fs::exists(out, ec) && !fs::is_empty(out, ec)) {
    error = out + ": the folder for the image is not empty";
    return false;
  }
  fs::create_directories(out, ec);
  fs::copy(base, out, fs::copy_options::recursive, ec);
  if (ec) {
    error = base + ": cannot be copied to " + out + " (" + ec.message() + ")";
    return false;
  }
  // The base's description and residue list speak of the base alone.
  fs::remove(fs::path(out) / "README.md", ec);
  fs::remove(fs::path(out) / "residue.txt", ec);

  Draws draws(sizes.seed);
  std::vector<Printer> printers = MakePrinters(sizes);
  std::vector<std::pair<std::string, std::string>> files;

  RegWriter printerReg("Generated: the print server's printers, their ports and the current user's lists.");
  WritePrinters(printers, draws, printerReg);
  RegWriter hiveReg("Generated: loaded user hives with the family's per-user keys and printer settings.");
  WriteHives(sizes, printers, draws, hiveReg, files);
  RegWriter keyReg("Generated: other software's keys, unrelated to the family.");
  WriteUnrelatedKeys(sizes, draws, keyReg);
  RegWriter entryReg("Generated: what some of the added QXErs.ini entries name.");
  AddEntries(sizes, (fs::path(out) / "drive_c" / "QXErs" / "QXErs.ini").string(), entryReg, files, draws, error);
  if (!error.empty()) return false;
  MakeFiles(sizes, printers, draws, files);

  fs::path root(out);
  // Applied after the base's files (name order): "zz-" sorts last.
  if (!printerReg.Save(root / "zz-bench-1-printers.reg", error) || !hiveReg.Save(root / "zz-bench-2-hives.reg", error) ||
      !keyReg.Save(root / "zz-bench-3-keys.reg", error) || !entryReg.Save(root / "zz-bench-4-entries.reg", error)) {
    return false;
  }
  if (!WriteFiles(root / "drive_c", files, error)) return false;
  std::ofstream about(root / "generated.txt", std::ios::trunc);
  about << "Generated by qx_make_image from " << base << "\n" << sizes.Describe() << "\n";
  return static_cast<bool>(about);
}

}  // namespace bench

