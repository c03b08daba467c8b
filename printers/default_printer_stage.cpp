// Repair of the default printer after the removal: a default printer that is gone is
// replaced by the first printer of the profile's devices list that still exists, and every
// top-level window is told.
#include <vector>

#include "app/text.h"
#include "printers/names.h"
#include "app/registry.h"

namespace qx {

namespace {

// A profile read fills at most 258 characters when the text does not fit its buffer.
constexpr DWORD kProfileFull = MAX_PATH - 2;

bool Contains(const StringList& names, const std::string& name) {
  for (const std::string& n : names) {
    if (n == name) return true;
  }
  return false;
}

enum class Current { Named, Unreadable };

// The printer name of the default printer: the text of device before its first comma.
Current DefaultPrinterName(Profile& profile, std::string& name) {
  char buffer[MAX_PATH] = {};
  DWORD n = profile.GetProfileStringA("windows", "device", ",,,", buffer, MAX_PATH);
  std::string device = FromBuffer(buffer, MAX_PATH);
  std::size_t comma = device.find(',');
  // A value cut off before its first comma would read as "no default" and replace a
  // default printer with a long name that may well still exist.
  if (comma == std::string::npos && n >= kProfileFull) return Current::Unreadable;
  name = comma == std::string::npos ? std::string() : device.substr(0, comma);
  return Current::Named;
}

// The replacement: the first devices entry that names a printer in existing and has a
// driver and port; when none does, the empty text (no default printer). False when the
// list was cut off by its buffer before a replacement was seen: printers may follow.
bool ChooseReplacement(CQXErsDoc& doc, const StringList& existing, std::string& replacement) {
  char keys[MAX_PATH] = {};
  DWORD n = doc.sys.profile.GetProfileStringA("devices", nullptr, "default", keys, MAX_PATH);
  bool cutOff = n >= kProfileFull;
  std::size_t pos = 0;
  while (pos < n && pos < MAX_PATH && keys[pos] != '\0') {
    std::string name = FromBuffer(keys + pos, MAX_PATH - pos);
    pos += name.size() + 1;
    if (cutOff && pos >= n) {
      LogSkippedName(doc, name);  // its end did not fit
      break;
    }
    if (!Contains(existing, name)) continue;
    char value[MAX_PATH] = {};
    DWORD v = doc.sys.profile.GetProfileStringA("devices", name.c_str(), "default", value, MAX_PATH);
    if (v >= kProfileFull) {
      LogSkippedName(doc, name);
      continue;
    }
    if (value[0] == '\0') continue;
    replacement = name + "," + value;
    return true;
  }
  if (cutOff) return false;
  replacement.clear();
  return true;
}

void BroadcastProfileChange(CQXErsDoc& doc) {
  static const char kWindowsSection[] = "windows";
  LPARAM section = doc.osType == kWindows9x ? reinterpret_cast<LPARAM>(kWindowsSection) : 0;
  DWORD_PTR result = 0;
  doc.sys.windows.SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, section,
                                      SMTO_NORMAL | SMTO_ABORTIFHUNG, 1000, &result);
}

}  // namespace

int CQXErsDoc::RepairDefaultPrinter() {
  std::string current;
  if (DefaultPrinterName(sys.profile, current) == Current::Unreadable) {
    LogSkippedName(*this, "windows / device");
    return 0;
  }
  std::vector<PRINTER_INFO_2A> printers;
  // A spooler that cannot list its printers says nothing about which are gone.
  if (!sys.spooler.EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, printers)) return 0;
  StringList existing;
  for (const PRINTER_INFO_2A& p : printers) existing.push_back(p.pPrinterName);
  if (Contains(existing, current)) return 0;
  std::string replacement;
  // With no default printer and none to set, there is nothing to change or announce.
  if (!ChooseReplacement(*this, existing, replacement) || (replacement.empty() && current.empty())) return 0;
  sys.profile.WriteProfileStringA("windows", "device", replacement.c_str());
  BroadcastProfileChange(*this);
  return 1;
}

int CQXErsDoc::RepairDefaultPrinterOffline() {
  AddLog(logSpoolerStopped, GroupEntry("通常使うプリンタに設定(SPOOLER 停止時の処理)"));
  std::string current;
  if (DefaultPrinterName(sys.profile, current) == Current::Unreadable) {
    LogSkippedName(*this, "windows / device");
    return 0;
  }
  StringList existing;
  EnumSubkeyNames(sys.registry, HKEY_LOCAL_MACHINE, kPrintersKey, existing);
  StringList connections;
  EnumSubkeyNames(sys.registry, HKEY_CURRENT_USER, kConnectionsKey, connections);
  for (const std::string& connection : connections) {
    std::string server;
    if (!ReadRegistryText(sys.registry, HKEY_CURRENT_USER, JoinKey(kConnectionsKey, connection), "Server", server)) {
      continue;
    }
    existing.push_back(ConnectionShownName(connection, server));
  }
  if (Contains(existing, current)) return 0;
  std::string replacement;
  // With no default printer and none to set, there is nothing to change or announce.
  if (!ChooseReplacement(*this, existing, replacement) || (replacement.empty() && current.empty())) return 0;
  sys.profile.WriteProfileStringA("windows", "device", replacement.c_str());
  BroadcastProfileChange(*this);
  AddLog(logSpoolerStopped, "設定：windows / device / " + replacement);
  return 1;
}

}  // namespace qx
