#include "platform/sim/image/image_ini.h"

#include <cstdio>
#include <set>

#include "platform/sim/encoding.h"
#include "platform/sim/image/image_text.h"
#include "platform/sim/sim_text.h"

// machine.ini layout (UTF-8, ';' starts a comment line; every section and key is optional,
// but unknown sections and keys are refused):
//
//   [System]    PlatformId (1 Windows 95/98, 2 NT), MajorVersion, MinorVersion, BuildNumber,
//               CSDVersion, WindowsDirectory, SystemDirectory, TempPath, ModuleFileName,
//               LocalTime (YYYY-MM-DD HH:MM or YYYY-MM-DD HH:MM:SS), CurrentUser (the
//               HKEY_USERS subkey that is HKEY_CURRENT_USER), ServiceManager (allowed or
//               denied: OpenSCManagerA fails with ERROR_ACCESS_DENIED), ProgramManager
//               (running, the default: the shell answers DDE service and topic "PROGMAN"; or
//               absent: no DDE server answers)
//   [Services]  name=state[,option...]: state is stopped, start_pending, stop_pending,
//               running, continue_pending, pause_pending, paused. The service's key
//               HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\<name> must be in the
//               registry files. Options say how the service answers: pollsToStop=N and
//               pollsToStart=N (status queries until a stop or start completes; 0, the
//               default, completes at once), refuseStop=ERROR and refuseStart=ERROR (the
//               request fails with that error), neverStops and neverStarts (stays pending).
//               Example: ZOVPMN=running,pollsToStop=3,refuseStart=ERROR_ACCESS_DENIED
//   [Files]     C:\path=flags, comma-separated: readonly, hidden, system, archive (for a
//               directory), noarchive (for a file, which otherwise keeps its archive bit),
//               locked (held open by another program), lockedby=SERVICE (held open by that
//               service until it stops; its key must exist), directory (create it, as an empty
//               directory cannot live in every version-control system), shortname=NAME~1.EXT
//   [Faults]    call=nth,error[,object]: the n-th call (from 1; 0 every call) of the facet
//               method call (a Windows name the simulated machine knows, see sim_faults.cpp's
//               table) fails with error (decimal or ERROR_... name), restricted to the
//               key or file object when one is given; one line per fault, a call may repeat.
//               Example: RegDeleteKeyA=0,ERROR_ACCESS_DENIED,HKLM\SOFTWARE\ZOV\Qorvex
//   [Spooler]   The spooler's objects are registry data (sim_spooler.h); here is what it keeps
//               besides. DenyAccess=PRINTER,RIGHTS: OpenPrinterA refuses the printer (local, or
//               a connection as \\server\printer) those rights: full (what PRINTER_ALL_ACCESS
//               adds to administration: deleting it, changing its security), administer (also
//               administration), or a decimal number. PendingDriver=ENVIRONMENT,DRIVER: deleted while its
//               files were held open, it is listed until the restart. Lines may repeat.
//   [Windows], [Events], [Modules], [WebAdmin]: other programs, read by image_outside.cpp.

namespace qx::sim::image {
namespace {

constexpr char kFile[] = "machine.ini";

struct ErrorName {
  const char* name;
  DWORD code;
};
constexpr ErrorName kErrorNames[] = {
    {"ERROR_SUCCESS", ERROR_SUCCESS},
    {"ERROR_INVALID_FUNCTION", ERROR_INVALID_FUNCTION},
    {"ERROR_FILE_NOT_FOUND", ERROR_FILE_NOT_FOUND},
    {"ERROR_PATH_NOT_FOUND", ERROR_PATH_NOT_FOUND},
    {"ERROR_ACCESS_DENIED", ERROR_ACCESS_DENIED},
    {"ERROR_INVALID_HANDLE", ERROR_INVALID_HANDLE},
    {"ERROR_NOT_ENOUGH_MEMORY", ERROR_NOT_ENOUGH_MEMORY},
    {"ERROR_NO_MORE_FILES", ERROR_NO_MORE_FILES},
    {"ERROR_WRITE_PROTECT", ERROR_WRITE_PROTECT},
    {"ERROR_NOT_READY", ERROR_NOT_READY},
    {"ERROR_SHARING_VIOLATION", ERROR_SHARING_VIOLATION},
    {"ERROR_LOCK_VIOLATION", ERROR_LOCK_VIOLATION},
    {"ERROR_HANDLE_EOF", ERROR_HANDLE_EOF},
    {"ERROR_NOT_SUPPORTED", ERROR_NOT_SUPPORTED},
    {"ERROR_FILE_EXISTS", ERROR_FILE_EXISTS},
    {"ERROR_INVALID_PARAMETER", ERROR_INVALID_PARAMETER},
    {"ERROR_CALL_NOT_IMPLEMENTED", ERROR_CALL_NOT_IMPLEMENTED},
    {"ERROR_INSUFFICIENT_BUFFER", ERROR_INSUFFICIENT_BUFFER},
    {"ERROR_INVALID_NAME", ERROR_INVALID_NAME},
    {"ERROR_NEGATIVE_SEEK", ERROR_NEGATIVE_SEEK},
    {"ERROR_DIR_NOT_EMPTY", ERROR_DIR_NOT_EMPTY},
    {"ERROR_BAD_PATHNAME", ERROR_BAD_PATHNAME},
    {"ERROR_ALREADY_EXISTS", ERROR_ALREADY_EXISTS},
    {"ERROR_FILENAME_EXCED_RANGE", ERROR_FILENAME_EXCED_RANGE},
    {"ERROR_MORE_DATA", ERROR_MORE_DATA},
    {"ERROR_NO_MORE_ITEMS", ERROR_NO_MORE_ITEMS},
    {"ERROR_DIRECTORY", ERROR_DIRECTORY},
    {"ERROR_INVALID_ADDRESS", ERROR_INVALID_ADDRESS},
    {"ERROR_TIMEOUT", ERROR_TIMEOUT},
    {"ERROR_BADDB", ERROR_BADDB},
    {"ERROR_BADKEY", ERROR_BADKEY},
    {"ERROR_CANTOPEN", ERROR_CANTOPEN},
    {"ERROR_CANTREAD", ERROR_CANTREAD},
    {"ERROR_CANTWRITE", ERROR_CANTWRITE},
    {"ERROR_KEY_DELETED", ERROR_KEY_DELETED},
    {"ERROR_DEPENDENT_SERVICES_RUNNING", ERROR_DEPENDENT_SERVICES_RUNNING},
    {"ERROR_INVALID_SERVICE_CONTROL", ERROR_INVALID_SERVICE_CONTROL},
    {"ERROR_SERVICE_REQUEST_TIMEOUT", ERROR_SERVICE_REQUEST_TIMEOUT},
    {"ERROR_SERVICE_ALREADY_RUNNING", ERROR_SERVICE_ALREADY_RUNNING},
    {"ERROR_SERVICE_DISABLED", ERROR_SERVICE_DISABLED},
    {"ERROR_SERVICE_DOES_NOT_EXIST", ERROR_SERVICE_DOES_NOT_EXIST},
    {"ERROR_SERVICE_CANNOT_ACCEPT_CTRL", ERROR_SERVICE_CANNOT_ACCEPT_CTRL},
    {"ERROR_SERVICE_NOT_ACTIVE", ERROR_SERVICE_NOT_ACTIVE},
    {"ERROR_SERVICE_MARKED_FOR_DELETE", ERROR_SERVICE_MARKED_FOR_DELETE},
    {"ERROR_INVALID_WINDOW_HANDLE", ERROR_INVALID_WINDOW_HANDLE},
    {"ERROR_INVALID_PRINTER_NAME", ERROR_INVALID_PRINTER_NAME},
    {"ERROR_UNKNOWN_PRINTER_DRIVER", ERROR_UNKNOWN_PRINTER_DRIVER},
    {"ERROR_UNKNOWN_PORT", ERROR_UNKNOWN_PORT},
    {"ERROR_PRINTER_DRIVER_IN_USE", ERROR_PRINTER_DRIVER_IN_USE},
    {"ERROR_PRINT_MONITOR_IN_USE", ERROR_PRINT_MONITOR_IN_USE},
    {"ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED", ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED},
    {"ERROR_UNKNOWN_PRINTPROCESSOR", ERROR_UNKNOWN_PRINTPROCESSOR},
    {"RPC_S_SERVER_UNAVAILABLE", RPC_S_SERVER_UNAVAILABLE},
};

struct StateName {
  const char* name;
  DWORD state;
};
constexpr StateName kStates[] = {
    {"stopped", SERVICE_STOPPED},          {"start_pending", SERVICE_START_PENDING},
    {"stop_pending", SERVICE_STOP_PENDING}, {"running", SERVICE_RUNNING},
    {"continue_pending", SERVICE_CONTINUE_PENDING}, {"pause_pending", SERVICE_PAUSE_PENDING},
    {"paused", SERVICE_PAUSED},
};

struct AttributeName {
  const char* name;
  DWORD bit;
};
constexpr AttributeName kAttributes[] = {
    {"readonly", FILE_ATTRIBUTE_READONLY},
    {"hidden", FILE_ATTRIBUTE_HIDDEN},
    {"system", FILE_ATTRIBUTE_SYSTEM},
    {"archive", FILE_ATTRIBUTE_ARCHIVE},
};

constexpr DWORD kFileBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

constexpr char kServicesKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\";

bool EqualNoCase(std::string_view a, std::string_view b) { return cp932::EqualNoCase(a, b); }

bool ParseNumber(std::string_view s, DWORD& value) {
  if (s.empty() || s.size() > 10) return false;
  unsigned long long v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  if (v > 0xFFFFFFFFull) return false;
  value = static_cast<DWORD>(v);
  return true;
}

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

int DayOfWeek(int y, int m, int d) {  // 0 Sunday
  static const int t[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (m < 3) y -= 1;
  return (y + y / 4 - y / 100 + y / 400 + t[m - 1] + d) % 7;
}

bool ParseTime(std::string_view s, SYSTEMTIME& t) {
  // YYYY-MM-DD HH:MM[:SS]
  if (s.size() != 16 && s.size() != 19) return false;
  auto num = [&](std::size_t pos, std::size_t len, int& out) {
    DWORD v = 0;
    if (!ParseNumber(s.substr(pos, len), v)) return false;
    out = static_cast<int>(v);
    return true;
  };
  int y, mo, d, h, mi, sec = 0;
  if (s[4] != '-' || s[7] != '-' || s[10] != ' ' || s[13] != ':') return false;
  if (!num(0, 4, y) || !num(5, 2, mo) || !num(8, 2, d) || !num(11, 2, h) || !num(14, 2, mi)) return false;
  if (s.size() == 19 && (s[16] != ':' || !num(17, 2, sec))) return false;
  if (y < 1601 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo) || h > 23 || mi > 59 || sec > 59) return false;
  t = SYSTEMTIME{static_cast<WORD>(y), static_cast<WORD>(mo), static_cast<WORD>(DayOfWeek(y, mo, d)),
                 static_cast<WORD>(d), static_cast<WORD>(h), static_cast<WORD>(mi), static_cast<WORD>(sec), 0};
  return true;
}

// Registry objects may use regedit's short root names.
std::string ExpandRoot(std::string object) {
  static const std::pair<const char*, const char*> roots[] = {
      {"HKLM", "HKEY_LOCAL_MACHINE"}, {"HKU", "HKEY_USERS"}, {"HKCU", "HKEY_CURRENT_USER"}, {"HKCR", "HKEY_CLASSES_ROOT"}};
  std::size_t slash = cp932::Find(object, '\\');
  std::string_view first = std::string_view(object).substr(0, slash);
  for (const auto& [abbr, full] : roots) {
    if (EqualNoCase(first, abbr)) return full + (slash == std::string::npos ? "" : object.substr(slash));
  }
  return object;
}

class IniParser {
 public:
  IniParser(MachineIni& ini, std::string& error) : ini_(ini), error_(error) {}

  bool Parse(const std::vector<TextLine>& lines) {
    for (const TextLine& l : lines) {
      line_ = l.number;
      std::string_view t = Trim(l.text);
      if (t.empty() || t.front() == ';') continue;
      if (t.front() == '[') {
        if (t.back() != ']') return Fail("a section heading must end in ']'");
        if (!Section(Trim(t.substr(1, t.size() - 2)))) return false;
        continue;
      }
      std::size_t eq = t.find('=');
      if (eq == std::string_view::npos) return Fail("expected key=value: '" + std::string(t) + "'");
      std::string_view key = Trim(t.substr(0, eq)), value = Trim(t.substr(eq + 1));
      if (key.empty()) return Fail("empty key");
      bool ok = false;
      switch (section_) {
        case kNone: return Fail("key '" + std::string(key) + "' outside any section");
        case kSystem: ok = SystemKey(key, value); break;
        case kServices: ok = ServiceKey(key, value); break;
        case kFiles: ok = FileKey(key, value); break;
        case kFaults: ok = FaultKey(key, value); break;
        case kSpooler: ok = SpoolerKey(key, value); break;
        case kOutside: {
          std::string message;
          ok = ParseOutsideLine(outsideSection_, key, value, line_, ini_.outside, message) || Fail(message);
          break;
        }
      }
      if (!ok) return false;
    }
    return true;
  }

 private:
  enum SectionKind { kNone, kSystem, kServices, kFiles, kFaults, kSpooler, kOutside };

  bool Fail(const std::string& message) {
    error_ = Where(kFile, line_) + message;
    return false;
  }

  bool Text(std::string_view utf8, std::string& out) {
    if (!Utf8ToCp932(utf8, out)) return Fail("'" + std::string(utf8) + "' has no Shift-JIS form");
    return true;
  }

  bool Section(std::string_view name) {
    static const std::pair<const char*, SectionKind> known[] = {
        {"System", kSystem}, {"Services", kServices}, {"Files", kFiles}, {"Faults", kFaults}, {"Spooler", kSpooler}};
    for (const auto& [n, kind] : known) {
      if (EqualNoCase(name, n)) {
        if (!seen_.insert(kind).second) return Fail("section [" + std::string(n) + "] appears twice");
        section_ = kind;
        return true;
      }
    }
    if (IsOutsideSection(name)) {
      if (!outsideSeen_.insert(cp932::Fold(name)).second) return Fail("section [" + std::string(name) + "] appears twice");
      section_ = kOutside;
      outsideSection_ = std::string(name);
      return true;
    }
    return Fail("unknown section [" + std::string(name) + "]");
  }

  bool SystemKey(std::string_view key, std::string_view value) {
    SystemSettings& s = ini_.system;
    std::string lower = cp932::Fold(key);
    if (!systemKeys_.insert(lower).second) return Fail("key " + std::string(key) + " appears twice");
    struct NumberKey {
      const char* name;
      DWORD* field;
    };
    const NumberKey numbers[] = {{"PlatformId", &s.platformId}, {"MajorVersion", &s.majorVersion},
                                 {"MinorVersion", &s.minorVersion}, {"BuildNumber", &s.buildNumber}};
    for (const NumberKey& n : numbers) {
      if (EqualNoCase(key, n.name)) {
        if (!ParseNumber(value, *n.field)) return Fail("'" + std::string(value) + "' is not a number");
        return true;
      }
    }
    struct TextKey {
      const char* name;
      std::string* field;
    };
    const TextKey texts[] = {{"CSDVersion", &s.csdVersion},           {"WindowsDirectory", &s.windowsDirectory},
                             {"SystemDirectory", &s.systemDirectory}, {"TempPath", &s.tempPath},
                             {"ModuleFileName", &s.moduleFileName},   {"CurrentUser", &s.currentUser}};
    for (const TextKey& t : texts) {
      if (EqualNoCase(key, t.name)) {
        if (!Text(value, *t.field)) return false;
        if (EqualNoCase(key, "CSDVersion") && t.field->size() > 127) return Fail("CSDVersion is longer than 127 bytes");
        if (EqualNoCase(key, "CurrentUser") &&
            (t.field->empty() || cp932::Find(*t.field, '\\') != std::string::npos)) {
          return Fail("CurrentUser must be one HKEY_USERS subkey name");
        }
        return true;
      }
    }
    if (EqualNoCase(key, "LocalTime")) {
      if (!ParseTime(value, s.localTime)) return Fail("LocalTime '" + std::string(value) + "' is not YYYY-MM-DD HH:MM[:SS]");
      return true;
    }
    if (EqualNoCase(key, "ServiceManager")) {
      if (value == "denied") s.serviceManagerOpenable = false;
      else if (value == "allowed") s.serviceManagerOpenable = true;
      else return Fail("ServiceManager must be allowed or denied, not '" + std::string(value) + "'");
      return true;
    }
    if (EqualNoCase(key, "ProgramManager")) {
      if (value == "running") s.programManagerRunning = true;
      else if (value == "absent") s.programManagerRunning = false;
      else return Fail("ProgramManager must be running or absent, not '" + std::string(value) + "'");
      return true;
    }
    return Fail("unknown key " + std::string(key) + " in [System]");
  }

  bool ServiceKey(std::string_view key, std::string_view value) {
    MachineIni::Service s;
    s.line = line_;
    if (!Text(key, s.name)) return false;
    std::vector<std::string> parts = SplitCommas(value, 1000);
    bool found = false;
    for (const StateName& n : kStates) {
      if (parts[0] == n.name) {
        s.state = n.state;
        found = true;
      }
    }
    if (!found) return Fail("unknown state '" + parts[0] + "'");
    std::set<std::string> seen;
    for (std::size_t i = 1; i < parts.size(); ++i) {
      const std::string& option = parts[i];
      std::size_t eq = option.find('=');
      std::string name(Trim(std::string_view(option).substr(0, eq)));
      std::string arg = eq == std::string::npos ? "" : std::string(Trim(std::string_view(option).substr(eq + 1)));
      if (name.empty()) return Fail("empty service option");
      if (!seen.insert(name).second) return Fail("service option " + name + " appears twice");
      ServiceBehaviour& b = s.behaviour;
      if (name == "pollsToStop" || name == "pollsToStart") {
        DWORD n = 0;
        if (eq == std::string::npos || !ParseNumber(arg, n) || n > 1000000)
          return Fail(name + " needs a number of polls from 0 to 1000000, not '" + arg + "'");
        (name == "pollsToStop" ? b.pollsToStop : b.pollsToStart) = static_cast<int>(n);
      } else if (name == "refuseStop" || name == "refuseStart") {
        DWORD e = 0;
        if (eq == std::string::npos || !ParseError(arg, e) || e == 0)
          return Fail(name + " needs an error (a number or an ERROR_ name, not 0), not '" + arg + "'");
        (name == "refuseStop" ? b.refuseStop : b.refuseStart) = e;
      } else if (name == "neverStops" || name == "neverStarts") {
        if (eq != std::string::npos) return Fail(name + " takes no value");
        (name == "neverStops" ? b.neverStops : b.neverStarts) = true;
      } else {
        return Fail("unknown service option '" + option + "'");
      }
    }
    for (const auto& other : ini_.services) {
      if (EqualNoCase(other.name, s.name)) return Fail("service " + std::string(key) + " appears twice");
    }
    ini_.services.push_back(std::move(s));
    return true;
  }

  static bool ParseError(const std::string& text, DWORD& code) {
    for (const ErrorName& e : kErrorNames) {
      if (text == e.name) {
        code = e.code;
        return true;
      }
    }
    return ParseNumber(text, code);
  }

  bool FileKey(std::string_view key, std::string_view value) {
    MachineIni::FileFlags f;
    f.line = line_;
    if (!Text(key, f.path)) return false;
    if (f.path.size() < 3 || f.path[1] != ':' || f.path[2] != '\\' ||
        !((f.path[0] >= 'A' && f.path[0] <= 'Z') || (f.path[0] >= 'a' && f.path[0] <= 'z'))) {
      return Fail("'" + std::string(key) + "' is not a full path like C:\\dir\\file");
    }
    for (const auto& other : ini_.files) {
      if (EqualNoCase(other.path, f.path)) return Fail(std::string(key) + " appears twice");
    }
    for (const std::string& token : SplitCommas(value, 1000)) {
      if (token.empty()) return Fail("empty flag");
      bool known = false;
      for (const AttributeName& a : kAttributes) {
        if (token == a.name) {
          f.attributes |= a.bit;
          known = true;
        }
      }
      if (known) continue;
      if (token == "noarchive") f.noArchive = true;
      else if (token == "locked") f.locked = true;
      else if (token.compare(0, 9, "lockedby=") == 0) {
        if (!f.lockedBy.empty()) return Fail("lockedby appears twice");
        if (!Text(Trim(std::string_view(token).substr(9)), f.lockedBy)) return false;
        if (f.lockedBy.empty() || cp932::Find(f.lockedBy, '\\') != std::string::npos)
          return Fail("bad service name in '" + token + "'");
      }
      else if (token == "directory") f.directory = true;
      else if (token.compare(0, 10, "shortname=") == 0) {
        if (!Text(Trim(std::string_view(token).substr(10)), f.shortName)) return false;
        if (f.shortName.empty() || cp932::Find(f.shortName, '\\') != std::string::npos) return Fail("bad short name in '" + token + "'");
      } else {
        return Fail("unknown flag '" + token + "'");
      }
    }
    ini_.files.push_back(std::move(f));
    return true;
  }

  bool FaultKey(std::string_view key, std::string_view value) {
    for (char c : key) {
      if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) {
        return Fail("'" + std::string(key) + "' is not a call name");
      }
    }
    // A name the machine never sees would inject nothing: a misspelt fault is refused.
    if (!SimMachine::KnowsCall(key)) return Fail("'" + std::string(key) + "' is not a call of the simulated machine");
    std::vector<std::string> parts = SplitCommas(value, 3);
    if (parts.size() < 2) return Fail("a fault is call=nth,error[,object]");
    MachineIni::FaultLine f;
    f.line = line_;
    f.fault.call = std::string(key);
    DWORD nth = 0;
    if (!ParseNumber(parts[0], nth) || nth > 0x7FFFFFFF) return Fail("'" + parts[0] + "' is not a call count");
    f.fault.nth = static_cast<int>(nth);
    if (!ParseError(parts[1], f.fault.error)) return Fail("unknown error '" + parts[1] + "'");
    if (parts.size() == 3) {
      if (!Text(parts[2], f.fault.object)) return false;
      f.fault.object = ExpandRoot(f.fault.object);
    }
    ini_.faults.push_back(std::move(f));
    return true;
  }

  bool SpoolerKey(std::string_view key, std::string_view value) {
    if (EqualNoCase(key, "DenyAccess")) {
      std::size_t comma = value.rfind(',');
      if (comma == std::string_view::npos) return Fail("DenyAccess is PRINTER,RIGHTS");
      MachineIni::DeniedAccess d;
      d.line = line_;
      std::string_view rights = Trim(value.substr(comma + 1));
      if (EqualNoCase(rights, "full")) {
        d.access = kStandardRights;
      } else if (EqualNoCase(rights, "administer")) {
        d.access = kStandardRights | PRINTER_ACCESS_ADMINISTER;
      } else if (!ParseNumber(rights, d.access) || d.access == 0) {
        return Fail("'" + std::string(rights) + "' is not full, administer or a number of rights");
      }
      if (!Text(Trim(value.substr(0, comma)), d.printer) || d.printer.empty())
        return Fail("DenyAccess names no printer");
      ini_.deniedAccess.push_back(std::move(d));
      return true;
    }
    if (EqualNoCase(key, "PendingDriver")) {
      std::vector<std::string> parts = SplitCommas(value, 2);
      MachineIni::PendingDriver d;
      d.line = line_;
      if (parts.size() != 2 || !Text(parts[0], d.environment) || !Text(parts[1], d.driver) || d.driver.empty())
        return Fail("PendingDriver is ENVIRONMENT,DRIVER");
      // Both are the names of registry keys, which never hold a backslash: one would name a
      // key further down, which the writer could not give back.
      if (d.environment.find('\\') != std::string::npos || d.driver.find('\\') != std::string::npos)
        return Fail("PendingDriver names a key with a backslash");
      ini_.pendingDrivers.push_back(std::move(d));
      return true;
    }
    return Fail("unknown key " + std::string(key) + " in [Spooler]");
  }

  // DELETE, READ_CONTROL, WRITE_DAC and WRITE_OWNER: what PRINTER_ALL_ACCESS adds to administration.
  static constexpr DWORD kStandardRights = 0x000F0000;

  MachineIni& ini_;
  std::string& error_;
  int line_ = 0;
  SectionKind section_ = kNone;
  std::set<SectionKind> seen_;
  std::set<std::string> systemKeys_;
  std::set<std::string> outsideSeen_;
  std::string outsideSection_;
};

bool Utf8(std::string_view cp932Text, std::string& out, std::string& error, const char* what) {
  if (Cp932ToUtf8(cp932Text, out) && Trim(out) == out) return true;
  error = std::string(kFile) + ": " + what + " " + Cp932ToUtf8Lossy(cp932Text) + " cannot be written as UTF-8 text";
  return false;
}

std::string ErrorText(DWORD code) {
  for (const ErrorName& e : kErrorNames) {
    if (e.code == code) return e.name;
  }
  return std::to_string(code);
}

}  // namespace

bool ParseMachineIni(std::string_view bytes, MachineIni& ini, std::string& error) {
  DecodedText decoded;
  std::vector<TextLine> lines;
  if (!DecodeTextFile(kFile, bytes, TextSource::kUtf8, decoded, lines, error)) return false;
  return IniParser(ini, error).Parse(lines);
}

bool ApplyMachineIni(const MachineIni& ini, SimMachine& m, std::string& error) {
  auto fail = [&](int line, const std::string& message) {
    error = Where(kFile, line) + message;
    return false;
  };
  for (const auto& s : ini.services) {
    if (!m.HasKey(kServicesKey + s.name)) {
      return fail(s.line, "service " + Cp932ToUtf8Lossy(s.name) + " has no key " + kServicesKey +
                              Cp932ToUtf8Lossy(s.name));
    }
    m.SetServiceState(s.name, s.state);
    m.SetServiceBehaviour(s.name, s.behaviour);
  }
  // A directory that holds only empty directories exists only through their "directory"
  // lines, which the writer lists after it: its own line (a short name, say) makes it.
  std::set<std::string> madeByLaterLines;
  for (const auto& f : ini.files) {
    if (!f.directory) continue;
    for (std::string_view path = f.path;;) {
      const std::size_t slash = cp932::FindLast(path, '\\');
      if (slash == std::string::npos) break;
      path = path.substr(0, slash);
      if (!madeByLaterLines.insert(cp932::Fold(path)).second) break;
    }
  }
  for (const auto& f : ini.files) {
    std::string shown = Cp932ToUtf8Lossy(f.path);
    if (f.directory) {
      if (m.HasFile(f.path)) return fail(f.line, shown + " is a file, not a directory");
      if (!m.HasDirectory(f.path)) m.AddDirectory(f.path);
    }
    bool directory = m.HasDirectory(f.path);
    if (!directory && !m.HasFile(f.path) && madeByLaterLines.count(cp932::Fold(f.path))) {
      m.AddDirectory(f.path);
      directory = true;
    }
    if (!directory && !m.HasFile(f.path)) return fail(f.line, "no such file " + shown);
    if (directory && f.noArchive) return fail(f.line, "noarchive is for files; a directory has no archive bit unless listed");
    DWORD attributes = f.attributes;
    if (!directory && !f.noArchive) attributes |= FILE_ATTRIBUTE_ARCHIVE;
    m.SetAttributes(f.path, attributes);
    if (f.locked) m.SetLocked(f.path, true);
    if (!f.lockedBy.empty()) {
      if (!m.HasKey(kServicesKey + f.lockedBy)) {
        return fail(f.line, "lockedby names service " + Cp932ToUtf8Lossy(f.lockedBy) + ", which has no key " +
                                kServicesKey + Cp932ToUtf8Lossy(f.lockedBy));
      }
      m.SetLockedBy(f.path, f.lockedBy);
    }
    if (!f.shortName.empty()) m.SetShortName(f.path, f.shortName);
  }
  for (const auto& f : ini.faults) m.AddFault(f.fault);
  for (const auto& d : ini.deniedAccess) m.SetPrinterDeniedAccess(d.printer, d.access);
  for (const auto& d : ini.pendingDrivers) {
    if (!m.SetDriverPendingDeletion(d.environment, d.driver)) {
      return fail(d.line, "no driver " + Cp932ToUtf8Lossy(d.driver) + " of environment " +
                              Cp932ToUtf8Lossy(d.environment) + " in the registry");
    }
  }
  return ApplyOutside(ini.outside, m, error);
}

bool WriteMachineIni(const SimMachine& m, std::string& out, std::string& error) {
  const SystemSettings& s = m.settings();
  std::string text;
  out = "; Simulated machine, saved with its registry (registry.reg) and files (drive_c/).\n";
  out += "[System]\n";
  out += "PlatformId=" + std::to_string(s.platformId) + "\n";
  out += "MajorVersion=" + std::to_string(s.majorVersion) + "\n";
  out += "MinorVersion=" + std::to_string(s.minorVersion) + "\n";
  out += "BuildNumber=" + std::to_string(s.buildNumber) + "\n";
  if (!s.csdVersion.empty()) {
    if (!Utf8(s.csdVersion, text, error, "CSDVersion")) return false;
    out += "CSDVersion=" + text + "\n";
  }
  const std::pair<const char*, const std::string*> paths[] = {
      {"WindowsDirectory", &s.windowsDirectory}, {"SystemDirectory", &s.systemDirectory},
      {"TempPath", &s.tempPath}, {"ModuleFileName", &s.moduleFileName}};
  for (const auto& [name, value] : paths) {
    if (!Utf8(*value, text, error, name)) return false;
    out += std::string(name) + "=" + text + "\n";
  }
  const SYSTEMTIME& t = s.localTime;
  char time[40];
  std::snprintf(time, sizeof time, "%04u-%02u-%02u %02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute);
  out += std::string("LocalTime=") + time;
  if (t.wSecond != 0) {
    std::snprintf(time, sizeof time, ":%02u", t.wSecond);
    out += time;
  }
  out += "\n";
  if (!Utf8(s.currentUser, text, error, "CurrentUser")) return false;
  out += "CurrentUser=" + text + "\n";
  out += std::string("ServiceManager=") + (s.serviceManagerOpenable ? "allowed" : "denied") + "\n";
  out += std::string("ProgramManager=") + (s.programManagerRunning ? "running" : "absent") + "\n";

  out += "\n[Services]\n";
  for (const auto& [name, state] : m.ServiceStates()) {
    if (!m.HasKey(kServicesKey + name)) continue;
    const char* stateName = nullptr;
    for (const StateName& n : kStates) {
      if (n.state == state) stateName = n.name;
    }
    if (!stateName) {
      error = std::string(kFile) + ": service " + Cp932ToUtf8Lossy(name) + " has state " + std::to_string(state);
      return false;
    }
    if (!Utf8(name, text, error, "service")) return false;
    out += text + "=" + stateName;
    const ServiceBehaviour b = m.GetServiceBehaviour(name);
    if (b.pollsToStop) out += ",pollsToStop=" + std::to_string(b.pollsToStop);
    if (b.pollsToStart) out += ",pollsToStart=" + std::to_string(b.pollsToStart);
    if (b.refuseStop) out += ",refuseStop=" + ErrorText(b.refuseStop);
    if (b.refuseStart) out += ",refuseStart=" + ErrorText(b.refuseStart);
    if (b.neverStops) out += ",neverStops";
    if (b.neverStarts) out += ",neverStarts";
    out += "\n";
  }

  // Short names are generated when a file is created, from the names already in its
  // directory. Loading creates the files in listing order, so a name is written only when
  // it differs from what that order would generate.
  out += "\n[Files]\n";
  std::vector<FileEntry> files = m.AllFiles();
  SimMachine scratch;
  std::set<std::string> parents;
  for (const FileEntry& f : files) {
    std::size_t slash = cp932::FindLast(f.path, '\\');
    if (slash != std::string::npos) parents.insert(cp932::Fold(f.path.substr(0, slash)));
  }
  for (const FileEntry& f : files) {
    if (f.directory) scratch.AddDirectory(f.path);
    else scratch.AddFile(f.path, "");
    std::optional<FileEntry> generated = scratch.File(f.path);
    std::vector<std::string> flags;
    DWORD bits = f.attributes & (kFileBits | (f.directory ? FILE_ATTRIBUTE_ARCHIVE : 0));
    for (const AttributeName& a : kAttributes) {
      if (bits & a.bit) flags.push_back(a.name);
    }
    if (!f.directory && !(f.attributes & FILE_ATTRIBUTE_ARCHIVE)) flags.push_back("noarchive");
    if (f.locked) flags.push_back("locked");
    // A hold by a service that no longer exists holds nothing.
    if (!f.lockedBy.empty() && m.HasKey(kServicesKey + f.lockedBy)) {
      if (!Utf8(f.lockedBy, text, error, "service")) return false;
      flags.push_back("lockedby=" + text);
    }
    if (f.directory && !parents.count(cp932::Fold(f.path))) flags.push_back("directory");
    if (generated && generated->shortName != f.shortName) {
      if (f.shortName.empty()) {
        error = std::string(kFile) + ": " + Cp932ToUtf8Lossy(f.path) + " has no short name, which a loaded image cannot express";
        return false;
      }
      if (!Utf8(f.shortName, text, error, "short name")) return false;
      flags.push_back("shortname=" + text);
    }
    if (flags.empty()) continue;
    if (!Utf8(f.path, text, error, "path")) return false;
    if (text.find('=') != std::string::npos) {
      error = std::string(kFile) + ": " + text + " holds '=' and cannot carry flags";
      return false;
    }
    out += text + "=";
    for (std::size_t i = 0; i < flags.size(); ++i) out += (i ? "," : "") + flags[i];
    out += "\n";
  }

  out += "\n[Faults]\n";
  for (const Fault& f : m.Faults()) {
    out += f.call + "=" + std::to_string(f.nth) + "," + ErrorText(f.error);
    if (!f.object.empty()) {
      if (!Utf8(f.object, text, error, "fault object")) return false;
      out += "," + text;
    }
    out += "\n";
  }

  out += "\n[Spooler]\n";
  for (const auto& [printer, access] : m.PrinterDeniedAccess()) {
    if (!Utf8(printer, text, error, "printer")) return false;
    const DWORD full = 0x000F0000;  // as the parser reads "full"
    std::string rights = access == full                                 ? "full"
                         : access == (full | PRINTER_ACCESS_ADMINISTER) ? "administer"
                                                                         : std::to_string(access);
    out += "DenyAccess=" + text + "," + rights + "\n";
  }
  for (const auto& [environment, driver] : m.PendingDrivers()) {
    std::string env;
    if (!Utf8(environment, env, error, "environment") || !Utf8(driver, text, error, "driver")) return false;
    out += "PendingDriver=" + env + "," + text + "\n";
  }
  return WriteOutside(m, out, error);
}

}  // namespace qx::sim::image
