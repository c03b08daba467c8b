// The folder stage: program groups and Start-menu shortcuts, through Program Manager and in
// the Start-menu folders, with the Explorer's menu order and the groups' registrations.
#include <array>
#include <cstring>

#include "app/CQXErsDoc.h"
#include "app/log_lines.h"
#include "app/text.h"
#include "remove/folders.h"
#include "app/protected_places.h"
#include "app/registry.h"

namespace qx {

namespace {

constexpr DWORD kPauseMs = 500;
constexpr DWORD kDdeTimeoutMs = 10000;

// Where Windows 95/98, NT 4.0 and 2000 keep the common Start menu, below the Windows
// directory, in half-width and full-width katakana.
constexpr const char* kStartMenuFolders[] = {
    "ｽﾀｰﾄ ﾒﾆｭｰ\\ﾌﾟﾛｸﾞﾗﾑ\\",
    "スタート メニュー\\プログラム\\",
    "Profiles\\All Users\\ｽﾀｰﾄ ﾒﾆｭｰ\\ﾌﾟﾛｸﾞﾗﾑ\\",
    "Profiles\\All Users\\スタート メニュー\\プログラム\\",
    "Documents and Settings\\All Users\\ｽﾀｰﾄ ﾒﾆｭｰ\\ﾌﾟﾛｸﾞﾗﾑ\\",
    "Documents and Settings\\All Users\\スタート メニュー\\プログラム\\",
};
// A Windows 2000 installed fresh keeps the profiles at the root of the system drive.
constexpr const char* kSystemDriveStartMenuFolders[] = {
    "Documents and Settings\\All Users\\ｽﾀｰﾄ ﾒﾆｭｰ\\ﾌﾟﾛｸﾞﾗﾑ\\",
    "Documents and Settings\\All Users\\スタート メニュー\\プログラム\\",
};

constexpr const char* kMenuOrderKeys[] = {
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\ﾌﾟﾛｸﾞﾗﾑ(&P)\\",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs\\",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\&Programs\\",
};

constexpr const char* kProgramGroups = "SOFTWARE\\Program Groups\\";
constexpr const char* kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kCommonGroups = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Program Manager\\Common Groups";
constexpr const char* kGrpConvGroups = "Software\\Microsoft\\Windows\\CurrentVersion\\GrpConv\\Groups";

// The client conversation expects no notifications.
HDDEDATA DdeCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, DWORD_PTR, DWORD_PTR) { return nullptr; }

using CommandBuffer = std::array<char, MAX_PATH>;

// The command with its text in a 260-byte buffer; false when it would not fit.
bool FormatCommand(CommandBuffer& buffer, const char* verb, const std::string& text) {
  std::string command = std::string("[") + verb + "(" + text + ")]";
  if (command.size() + 1 > buffer.size()) return false;
  std::memcpy(buffer.data(), command.c_str(), command.size() + 1);
  return true;
}

// name ends with suffix as a whole name: on a character boundary, and not as the tail of a
// longer name (the character before it is no letter, digit or double-byte character).
bool EndsWithName(const std::string& name, const std::string& suffix) {
  if (suffix.empty() || name.size() < suffix.size()) return false;
  std::size_t start = name.size() - suffix.size();
  if (name.compare(start, suffix.size(), suffix) != 0) return false;
  std::size_t previous = std::string::npos;
  std::size_t i = 0;
  while (i < start) {
    previous = i;
    i += CharLength(name, i);
  }
  if (i != start) return false;  // the match begins inside a double-byte character
  if (previous == std::string::npos) return true;
  if (CharLength(name, previous) == 2) return false;
  unsigned char c = static_cast<unsigned char>(name[previous]);
  bool nameChar = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0x80;
  return !nameChar;
}

// One name inside a folder: not empty, no path, drive or wildcard, and not only dots and
// blanks (".", "..").
bool IsPlainName(const std::string& name) {
  if (name.find_first_not_of(". ") == std::string::npos) return false;
  for (std::size_t i = 0; i < name.size(); i += CharLength(name, i)) {
    if (CharLength(name, i) == 2) continue;
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || c == '\\' || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
        c == '|') {
      return false;
    }
  }
  return true;
}

bool IsDirectory(Files& files, const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE find = files.FindFirstFileA(path.c_str(), found);
  if (find == INVALID_HANDLE_VALUE) return false;
  files.FindClose(find);
  return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Names of the values of a key whose name (byName) or text data matches; the key is only
// read here, so that deleting never disturbs the enumeration.
StringList MatchingValues(Registry& reg, HKEY root, const std::string& subkey, const std::string& suffix,
                          bool byName) {
  StringList names;
  std::vector<RegistryValue> values;
  EnumRegistryValues(reg, root, subkey, values, true);
  for (const RegistryValue& value : values) {
    std::string text = FromBuffer(value.data.data(), value.data.size());
    if (EndsWithName(byName ? value.name : text, suffix)) names.push_back(value.name);
  }
  return names;
}

}  // namespace

void SplitMenuEntry(const std::string& entry, std::string& group, std::string& item) {
  std::size_t comma = entry.find(',');
  group = entry.substr(0, comma);
  item = comma == std::string::npos ? std::string() : entry.substr(comma + 1);
  if (EndsWithNoCase(item, ".lnk")) {
    item.resize(item.size() - 4);
  }
}

namespace {

// Program Manager is asked to delete the group, or the item (in the group made active
// first); the outcome of the last command is logged. Without a conversation nothing is
// logged; a command that would not fit its 260-byte buffer is never sent.
void SendProgramManagerCommands(CQXErsDoc& doc, const std::string& group, const std::string& item,
                                const std::string& line, bool groupThere) {
  Dde& dde = doc.sys.dde;
  const bool hasItem = !item.empty();
  CommandBuffer groupCommand{}, lastCommand{};
  bool fits = (!hasItem || FormatCommand(groupCommand, "CreateGroup", group)) &&
              (hasItem ? FormatCommand(lastCommand, "DeleteItem", item) : FormatCommand(lastCommand, "DeleteGroup", group));
  if (!fits || (hasItem && !groupThere)) {
    doc.AddLog(doc.logFolders, line + " 削除失敗 or なし");
    return;
  }
  DWORD instance = 0;
  if (dde.DdeInitializeA(&instance, DdeCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) return;
  if (HSZ progman = dde.DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI)) {
    CONVCONTEXT context;
    HCONV conv = dde.DdeConnect(instance, progman, progman, &context);
    dde.DdeFreeStringHandle(instance, progman);
    if (conv) {
      // A data handle passed to a transaction belongs to DDEML from then on; only one that
      // never reached a transaction is freed here.
      auto execute = [&](const CommandBuffer& command, bool& sent) -> HDDEDATA {
        sent = false;
        const DWORD length = static_cast<DWORD>(std::strlen(command.data()) + 1);
        HDDEDATA data = dde.DdeCreateDataHandle(instance, reinterpret_cast<const BYTE*>(command.data()), length, 0,
                                                nullptr, CF_TEXT, 0);
        if (!data) return nullptr;
        sent = true;
        return dde.DdeClientTransaction(reinterpret_cast<const BYTE*>(data), 0xFFFFFFFFu, conv, nullptr, 0,
                                        XTYP_EXECUTE, kDdeTimeoutMs, nullptr);
      };
      bool sent = true;
      bool groupReady = true;
      if (hasItem) groupReady = execute(groupCommand, sent) != nullptr;
      if (groupReady && sent) {
        HDDEDATA outcome = execute(lastCommand, sent);
        if (sent) doc.AddLog(doc.logFolders, line + (outcome ? " 削除成功" : " 削除失敗 or なし"));
      }
      dde.DdeDisconnect(conv);
    }
  }
  dde.DdeUninitialize(instance);
}

// The item's shortcut, or the group's shortcuts and its emptied folder, in each Start-menu folder.
void RemoveStartMenuShortcuts(CQXErsDoc& doc, const std::vector<std::string>& startMenus, const std::string& group,
                              const std::string& item) {
  Files& files = doc.sys.files;
  for (const std::string& folder : startMenus) {
    if (!item.empty()) {
      std::string link = folder + group + "\\" + item + ".lnk";
      files.SetFileAttributesA(link.c_str(), FILE_ATTRIBUTE_NORMAL);
      files.DeleteFileA(link.c_str());
    } else {
      doc.DeleteMatchingFiles(folder + group + "\\", "*.lnk");
      files.RemoveDirectoryA((folder + group).c_str());
    }
  }
}

// The Explorer's menu order of the item, or of the whole group, for the current user and
// every loaded profile.
void RemoveMenuOrder(Registry& reg, const StringList& users, const std::string& group, const std::string& item) {
  for (const char* menuOrder : kMenuOrderKeys) {
    const std::string key = menuOrder + group;
    if (!item.empty()) {
      DeleteRegistryValue(reg, HKEY_CURRENT_USER, key, item, "");
      for (const std::string& user : users) DeleteRegistryValue(reg, HKEY_USERS, user + "\\" + key, item, "");
    } else {
      DeleteKeyTree(reg, HKEY_CURRENT_USER, key);
      for (const std::string& user : users) DeleteKeyTree(reg, HKEY_USERS, user + "\\" + key);
    }
  }
}

// The group's registrations by Program Manager and the group converter.
void RemoveGroupRegistrations(Registry& reg, const StringList& users, const std::string& group) {
  DeleteKeyTree(reg, HKEY_LOCAL_MACHINE, kProgramGroups + group);
  for (const std::string& name : MatchingValues(reg, HKEY_CURRENT_USER, kCommonGroups, group, false)) {
    DeleteRegistryValue(reg, HKEY_CURRENT_USER, kCommonGroups, name, "");
  }
  for (const std::string& user : users) {
    const std::string key = user + "\\" + kGrpConvGroups;
    for (const std::string& name : MatchingValues(reg, HKEY_USERS, key, group + ".grp", true)) {
      DeleteRegistryValue(reg, HKEY_USERS, key, name, "");
    }
  }
  for (const std::string& user : users) {
    const std::string key = user + "\\" + kCommonGroups;
    for (const std::string& name : MatchingValues(reg, HKEY_USERS, key, group, false)) {
      DeleteRegistryValue(reg, HKEY_USERS, key, name, "");
    }
  }
}

}  // namespace

int CQXErsDoc::RemoveProgramGroup(const std::string& group, const std::string& item) {
  if (group.empty() && item.empty()) return -1;
  const bool hasItem = !item.empty();
  std::string line = group + " フォルダの ";
  if (hasItem) line += item + " アイテム ";

  // Every Start-menu folder where a Windows installation keeps the shortcuts.
  std::vector<std::string> startMenus;
  for (const char* folder : kStartMenuFolders) startMenus.push_back(windowsDir + folder);
  if (osType == kWindows2000 && systemDir.size() >= 2) {
    for (const char* folder : kSystemDriveStartMenuFolders) startMenus.push_back(systemDir.substr(0, 2) + "\\" + folder);
  }
  std::string programs;
  bool knowsPrograms = ReadRegistryText(sys.registry, HKEY_CURRENT_USER, kShellFolders, "Programs", programs);
  if (knowsPrograms) EnsureTrailingBackslash(programs);

  // A group and an item are each one plain name in the Programs folder. Without a group an
  // item would be deleted from whatever group Program Manager has active, and a group that
  // is one of Windows' own folders (the Startup folder, say) is not the family's to delete.
  Refusal refusal = IsPlainName(group) && (!hasItem || IsPlainName(item)) ? Refusal::kNone : Refusal::kMalformed;
  for (std::size_t i = 0; i < startMenus.size() && refusal == Refusal::kNone; ++i) {
    refusal = CheckTarget(startMenus[i] + group);
  }
  if (refusal == Refusal::kNone && knowsPrograms) refusal = CheckTarget(programs + group);
  if (refusal != Refusal::kNone) {
    AddLog(logFolders, line + " 削除失敗" + RefusalText(refusal));
    ++failures;
    return -1;
  }
  // Program Manager makes a group that [CreateGroup] names when it has none: an item is only
  // asked for in a group that is there, so none is ever made just to delete from it.
  const bool groupThere = hasItem && knowsPrograms && IsDirectory(sys.files, programs + group);

  SendProgramManagerCommands(*this, group, item, line, groupThere);
  RemoveStartMenuShortcuts(*this, startMenus, group, item);
  StringList users;
  EnumSubkeyNames(sys.registry, HKEY_USERS, "", users);
  RemoveMenuOrder(sys.registry, users, group, item);
  if (!hasItem) RemoveGroupRegistrations(sys.registry, users, group);
  return 0;
}

void CQXErsDoc::RemoveFoldersAndMenus() {
  AddLog(logFolders, kLightLine + "フォルダ情報削除");
  if (!(delFlags & kDelProduct)) return;
  for (const std::string& entry : DEL_FOLDER_QX) {
    std::string group, item;
    SplitMenuEntry(entry, group, item);
    RemoveProgramGroup(group, item);
    SendStep();
    sys.system.Sleep(kPauseMs);
  }
}

}  // namespace qx
