#include "platform/sim/image/image_preview.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/sim/encoding.h"
#include "platform/sim/sim_text.h"

namespace qx::sim::image {
namespace {

constexpr char kNtVersion[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr char kWinVersion[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr char kServices[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services";

std::string Text(const SimMachine& m, const std::string& key, const char* name) {
  auto v = m.Value(key, name);
  if (!v || (v->type != REG_SZ && v->type != REG_EXPAND_SZ)) return "";
  std::string s = v->data;
  while (!s.empty() && s.back() == '\0') s.pop_back();
  return s;
}

// "4.10.2222" or "5.0": the numbers in order.
std::vector<DWORD> Numbers(const std::string& text) {
  std::vector<DWORD> out;
  const char* p = text.c_str();
  while (*p) {
    char* end = nullptr;
    unsigned long n = std::strtoul(p, &end, 10);
    if (end == p) break;
    out.push_back(static_cast<DWORD>(n));
    p = *end == '.' ? end + 1 : end;
    if (*end != '.') break;
  }
  return out;
}

bool IsUserHive(const std::string& name) {
  if (cp932::EqualNoCase(name, ".DEFAULT") || name == "S-1-5-18" || name == "S-1-5-19" || name == "S-1-5-20")
    return false;
  return !(name.size() > 8 && cp932::EqualNoCase(std::string_view(name).substr(name.size() - 8), "_Classes"));
}

std::string Expand(std::string text, const SimMachine& m, const std::string& profile) {
  const SystemSettings& s = m.settings();
  const std::pair<const char*, std::string> vars[] = {
      {"%SystemRoot%", s.windowsDirectory}, {"%WINDIR%", s.windowsDirectory},
      {"%SystemDrive%", s.windowsDirectory.substr(0, 2)}, {"%USERPROFILE%", profile}};
  for (const auto& [name, value] : vars) {
    std::string folded = cp932::Fold(text), var = cp932::Fold(name);
    for (std::size_t at = folded.find(var); at != std::string::npos && !value.empty(); at = folded.find(var)) {
      text.replace(at, var.size(), value);
      folded = cp932::Fold(text);
    }
  }
  return text;
}

void CopyTree(SimMachine& m, const std::string& from, const std::string& to) {
  m.AddKey(to);
  for (const RegValue& v : m.Values(from)) m.SetValue(to, v.name, v.type, v.data);
  for (const std::string& sub : m.Subkeys(from)) CopyTree(m, from + "\\" + sub, to + "\\" + sub);
}

// regedit writes CurrentControlSet beside the numbered sets it stands for; an export that
// lacks it gets the set that HKLM\SYSTEM\Select names as current.
void EnsureCurrentControlSet(SimMachine& m) {
  if (m.HasKey("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet")) return;
  auto current = m.Value("HKEY_LOCAL_MACHINE\\SYSTEM\\Select", "Current");
  if (!current || current->type != REG_DWORD || current->data.size() != 4) return;
  unsigned n = static_cast<unsigned char>(current->data[0]) | static_cast<unsigned char>(current->data[1]) << 8;
  char name[32];
  std::snprintf(name, sizeof name, "ControlSet%03u", n);
  std::string set = std::string("HKEY_LOCAL_MACHINE\\SYSTEM\\") + name;
  if (m.HasKey(set)) CopyTree(m, set, "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet");
}

}  // namespace

bool DeriveSettings(SimMachine& m, std::string& error) {
  EnsureCurrentControlSet(m);
  SystemSettings& s = m.settings();
  bool nt = !Text(m, kNtVersion, "CurrentVersion").empty();
  std::string root;
  if (nt) {
    std::vector<DWORD> v = Numbers(Text(m, kNtVersion, "CurrentVersion"));
    s.platformId = VER_PLATFORM_WIN32_NT;
    s.majorVersion = v.empty() ? 4 : v[0];
    s.minorVersion = v.size() < 2 ? 0 : v[1];
    std::vector<DWORD> build = Numbers(Text(m, kNtVersion, "CurrentBuildNumber"));
    if (build.empty()) build = Numbers(Text(m, kNtVersion, "CurrentBuild"));
    if (!build.empty()) s.buildNumber = build[0];
    s.csdVersion = Text(m, kNtVersion, "CSDVersion");
    root = Text(m, kNtVersion, "SystemRoot");
  } else if (!Text(m, kWinVersion, "VersionNumber").empty()) {
    std::vector<DWORD> v = Numbers(Text(m, kWinVersion, "VersionNumber"));
    s.platformId = VER_PLATFORM_WIN32_WINDOWS;
    s.majorVersion = v.empty() ? 4 : v[0];
    s.minorVersion = v.size() < 2 ? 0 : v[1];
    s.buildNumber = v.size() < 3 ? 0 : v[2];
    s.csdVersion = Text(m, kWinVersion, "SubVersionNumber");
    root = Text(m, kWinVersion, "SystemRoot");
  } else {
    error = "no machine.ini, and the registry names no Windows version (HKLM\\SOFTWARE\\Microsoft\\Windows NT"
            "\\CurrentVersion \"CurrentVersion\", or ...\\Windows\\CurrentVersion \"VersionNumber\")";
    return false;
  }
  if (root.empty()) root = nt ? "C:\\WINNT" : "C:\\WINDOWS";
  while (root.size() > 3 && root.back() == '\\') root.pop_back();
  s.windowsDirectory = root;
  s.systemDirectory = root + (nt ? "\\System32" : "\\SYSTEM");

  std::vector<std::string> users;
  for (const std::string& u : m.Subkeys("HKEY_USERS"))
    if (IsUserHive(u)) users.push_back(u);
  std::string profileList = std::string(kNtVersion) + "\\ProfileList\\";
  if (users.size() > 1) {
    std::string logon = Text(m, std::string(kNtVersion) + "\\Winlogon", "DefaultUserName");
    std::vector<std::string> match;
    for (const std::string& u : users) {
      std::string profile = Text(m, profileList + u, "ProfileImagePath");
      std::size_t slash = profile.find_last_of('\\');
      std::string leaf = slash == std::string::npos ? profile : profile.substr(slash + 1);
      if (!logon.empty() && cp932::EqualNoCase(leaf, logon)) match.push_back(u);
    }
    if (match.size() != 1) {
      std::string names;
      for (const std::string& u : users) names += (names.empty() ? "" : ", ") + Cp932ToUtf8Lossy(u);
      error = "no machine.ini, and HKEY_USERS holds several users (" + names +
              "): say which is the current one with [System] CurrentUser in a machine.ini";
      return false;
    }
    users = match;
  }
  if (!users.empty()) s.currentUser = users[0];

  std::string profile = Expand(Text(m, profileList + s.currentUser, "ProfileImagePath"), m, "");
  std::string temp;
  for (const std::string& key : {"HKEY_USERS\\" + s.currentUser + "\\Environment",
                                 std::string("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager"
                                             "\\Environment")}) {
    for (const char* name : {"TMP", "TEMP"}) {
      if (temp.empty()) temp = Expand(Text(m, key, name), m, profile);
    }
  }
  // A variable left unexpanded names no folder the machine can have.
  if (temp.empty() || temp.find('%') != std::string::npos) temp = nt ? root.substr(0, 2) + "\\TEMP" : root + "\\TEMP";
  if (temp.back() != '\\') temp += '\\';
  s.tempPath = temp;
  return true;
}

void StartAutomaticServices(SimMachine& m) {
  for (const std::string& name : m.Subkeys(kServices)) {
    auto start = m.Value(std::string(kServices) + "\\" + name, "Start");
    if (!start || start->type != REG_DWORD || start->data.size() != 4) continue;
    if (static_cast<unsigned char>(start->data[0]) <= 2 && start->data.substr(1) == std::string(3, '\0'))
      m.SetServiceState(name, SERVICE_RUNNING);
  }
}

}  // namespace qx::sim::image
