// The two operations that carry out one registry entry of the configuration file, and the
// log lines of registry edits made while the spooler is stopped.
#include "app/CQXErsDoc.h"
#include "app/text.h"
#include "app/protected_places.h"
#include "app/registry.h"

namespace qx {

namespace {

bool KeyExists(Registry& reg, HKEY root, const std::string& subkey) {
  return ReadRegistryValue(reg, root, subkey, "", nullptr, nullptr, nullptr);
}

// Finds text as a whole item of a comma-separated list, so that removing "B" never
// touches "AB" and the separators around other items stay as they are.
std::size_t FindListItem(const std::string& data, const std::string& item) {
  if (item.empty()) return std::string::npos;
  for (std::size_t p = FindText(data, item); p != std::string::npos; p = FindText(data, item, p + 1)) {
    bool startsItem = p == 0 || data[p - 1] == ',';
    bool endsItem = p + item.size() == data.size() || data[p + item.size()] == ',';
    if (startsItem && endsItem) return p;
  }
  return std::string::npos;
}

// The list without the item at p and one separator next to it.
std::string WithoutItem(const std::string& data, std::size_t p, std::size_t n) {
  std::string head = p > 0 ? data.substr(0, p - 1) : std::string();
  std::string tail = p + n + 1 < data.size() ? data.substr(p + n + 1) : std::string();
  if (!head.empty() && !tail.empty()) return head + "," + tail;
  return head.empty() ? tail : head;
}

}  // namespace

void CQXErsDoc::DeleteRegistryEntry(const std::string& entry) {
  RegistryEntry f;
  SplitRegistryEntry(entry, f);
  HKEY root = RootKeyFromName(f.root);
  std::string line;
  if (f.valueName.empty()) {
    line = f.root + "," + f.subkey;
    if (f.count >= 3) {
      // A comma with no value name after it names no value, and the key was not meant.
      line = entry + " キー削除失敗。" + kMalformedReason;
      ++failures;
    } else if (int deleted = DeleteKeyTree(sys.registry, root, f.subkey); deleted == 1) {
      line += " キー削除成功。";
    } else if (deleted < 0) {
      line += " キー削除失敗。" + std::string(kProtectedReason);
      ++failures;
    } else if (KeyExists(sys.registry, root, f.subkey)) {
      line += " キー削除失敗。";
      workLeft = true;
    } else {
      line += " キーなし。";
    }
  } else {
    line = f.root + "," + f.subkey + "," + f.valueName;
    switch (DeleteRegistryValue(sys.registry, root, f.subkey, f.valueName, "")) {
      case 0: line += " データ削除成功。"; break;
      case -1: line += " レジストリなし。"; break;
      case -2: line += " データなし。"; break;
      default:  // the value is there and stays
        line += " データ削除失敗。";
        workLeft = true;
        break;
    }
  }
  AddLog(logRegistry, line);
}

int CQXErsDoc::RemoveTextFromValue(const std::string& entry) {
  RegistryEntry f;
  SplitRegistryEntry(entry, f);
  HKEY root = RootKeyFromName(f.root);
  std::string line = f.root + "," + f.subkey + "," + f.valueName;
  if (f.valueName.empty()) {
    // Without a value name there is no text to take anything from.
    AddLog(logPartialRegistry, line + " 内の指定文字 " + f.data + " 削除失敗。" + kMalformedReason);
    ++failures;
    return -1;
  }
  char buffer[MAX_PATH] = {};
  DWORD type = 0;
  DWORD size = MAX_PATH;
  if (!ReadRegistryValue(sys.registry, root, f.subkey, f.valueName, &type, reinterpret_cast<BYTE*>(buffer), &size)) {
    AddLog(logPartialRegistry, line + " データなし。");
    return -1;
  }
  std::string data = FromBuffer(buffer, size < MAX_PATH ? size : MAX_PATH);
  std::size_t p = FindListItem(data, f.data);
  if (p == std::string::npos) {
    line += " 内の指定文字 " + f.data + " なし。";
  } else if (type != REG_SZ && type != REG_EXPAND_SZ) {
    // A list of several strings or binary data read as one text would be cut at its first
    // zero and rewritten as another type: it is left as it is.
    line += " 内の指定文字 " + f.data + " 削除失敗。" + kMalformedReason;
    ++failures;
  } else {
    // Written back even when the item was the only one: the value then holds the empty
    // list rather than the text that was to go. The value keeps its type, so a path with
    // %SystemRoot% in it still expands.
    std::string rest = WithoutItem(data, p, f.data.size());
    WriteRegistryValue(sys.registry, root, f.subkey, f.valueName, type, reinterpret_cast<const BYTE*>(rest.c_str()),
                       static_cast<DWORD>(rest.size() + 1));
    line += " 内の指定文字 " + f.data + " 削除成功";
  }
  AddLog(logPartialRegistry, line);
  return 0;
}

void CQXErsDoc::LogKeyDeletion(int result, const std::string& rootName, const std::string& subkey) {
  if (!Logging()) return;
  std::string line = rootName + "\\" + subkey;
  if (result == 1) {
    line += " キー削除成功。";
  } else if (result < 0) {
    line += " キー削除失敗。" + std::string(kProtectedReason);
    ++failures;
  } else {
    line += KeyExists(sys.registry, RootKeyFromName(rootName), subkey) ? " キー削除失敗。" : " キーなし。";
  }
  AddLog(logSpoolerStopped, line);
}

void CQXErsDoc::LogValueDeletion(int result, const std::string& rootName, const std::string& subkey,
                                 const std::string& valueName) {
  if (!Logging()) return;
  std::string line = rootName + "\\" + subkey + " , " + valueName;
  switch (result) {
    case 0: line += " データ削除成功。"; break;
    case -1: line += " レジストリなし。"; break;
    case -2: line += " データなし。"; break;
    case -4: line += " キー削除失敗。"; break;
    default: line += " データ削除失敗。"; break;
  }
  AddLog(logSpoolerStopped, line);
}

}  // namespace qx
