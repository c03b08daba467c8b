#include "app/registry.h"

#include <vector>

#include "app/text.h"
#include "app/protected_places.h"

namespace qx {

namespace {

constexpr DWORD kBufferSize = MAX_PATH;

struct RootName {
  const char* name;
  HKEY key;
};

// The order in which names are tried.
const RootName* RootNames() {
  static const RootName names[] = {
      {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
      {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
      {"HKEY_USERS", HKEY_USERS},
      {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
  };
  return names;
}
constexpr int kRootNameCount = 4;


// A key name is at most 255 characters, two bytes each at most in code page 932: a buffer of
// this size takes every name whole.
constexpr DWORD kKeyNameSize = 2 * 255 + 1;

std::vector<std::string> SubkeyNames(Registry& reg, HKEY key) {
  std::vector<std::string> names;
  int retries = 0;
  for (DWORD index = 0; index < kMaxEnumIndex; ++index) {
    char name[kKeyNameSize] = {};
    DWORD length = kKeyNameSize;
    LONG status = reg.RegEnumKeyExA(key, index, name, &length);
    if (status == ERROR_MORE_DATA) {
      // One that stays too long is passed over and the names after it are still seen.
      AskAgainOrPassOver(index, retries);
      continue;
    }
    retries = 0;
    if (status != ERROR_SUCCESS) break;
    names.push_back(FromBuffer(name, length < kKeyNameSize ? length : kKeyNameSize));
  }
  return names;
}

}  // namespace

void AskAgainOrPassOver(DWORD& index, int& retries) {
  if (++retries <= kMoreDataRetries) {
    --index;  // the loop's step brings it back to the same entry
  } else {
    retries = 0;
  }
}

HKEY RootKeyFromName(const std::string& name) {
  for (int i = 0; i < kRootNameCount; ++i) {
    if (name == RootNames()[i].name) return RootNames()[i].key;
  }
  return nullptr;
}

bool IsRootKey(HKEY key) {
  for (int i = 0; i < kRootNameCount; ++i) {
    if (key == RootNames()[i].key) return true;
  }
  return false;
}

std::string RootKeyName(HKEY key) {
  for (int i = 0; i < kRootNameCount; ++i) {
    if (key == RootNames()[i].key) return RootNames()[i].name;
  }
  return {};
}

bool ReadRegistryValue(Registry& reg, HKEY root, const std::string& subkey, const std::string& valueName,
                       DWORD* type, BYTE* data, DWORD* size) {
  OpenKey key(reg, root, subkey);
  if (!key) return false;
  if (valueName.empty()) return true;
  return reg.RegQueryValueExA(key.get(), valueName.c_str(), type, data, size) == ERROR_SUCCESS;
}

bool ReadRegistryText(Registry& reg, HKEY root, const std::string& subkey, const std::string& valueName,
                      std::string& text) {
  OpenKey key(reg, root, subkey);
  if (!key) return false;
  text.clear();
  if (valueName.empty()) return true;
  // Read at its own size: an uninstall string or a Japanese path may well be longer than 260
  // bytes, and such a record left unread would leave what it names behind.
  DWORD size = 0;
  if (reg.RegQueryValueExA(key.get(), valueName.c_str(), nullptr, nullptr, &size) != ERROR_SUCCESS ||
      size > kMaxTextBytes) {
    return false;
  }
  std::string buffer(size, '\0');
  if (reg.RegQueryValueExA(key.get(), valueName.c_str(), nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
      ERROR_SUCCESS) {
    return false;  // grown in between: as unreadable as any other failure
  }
  text = FromBuffer(buffer.data(), size < buffer.size() ? size : buffer.size());
  return true;
}

int DeleteValueOf(Registry& reg, const OpenKey& key, const std::string& valueName) {
  if (!key) return -1;
  if (valueName.empty()) return 0;
  if (reg.RegQueryValueExA(key.get(), valueName.c_str(), nullptr, nullptr, nullptr) != ERROR_SUCCESS) return -2;
  if (reg.RegDeleteValueA(key.get(), valueName.c_str()) != ERROR_SUCCESS) return -3;
  return 0;
}

int DeleteRegistryValue(Registry& reg, HKEY root, const std::string& subkey, const std::string& valueName,
                        const std::string& childKey) {
  OpenKey key(reg, root, subkey);
  if (!key) return -1;
  if (int r = DeleteValueOf(reg, key, valueName); r != 0) return r;
  if (!childKey.empty()) {
    if (IsRootKey(root) && IsProtectedKey(root, subkey + "\\" + childKey)) return -4;
    if (reg.RegDeleteKeyA(key.get(), childKey.c_str()) != ERROR_SUCCESS) return -4;
  }
  return 0;
}

int WriteRegistryValue(Registry& reg, HKEY root, const std::string& subkey, const std::string& valueName,
                       DWORD type, const BYTE* data, DWORD size) {
  HKEY key = nullptr;
  if (reg.RegCreateKeyExA(root, subkey.c_str(), "", REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, &key, nullptr) !=
      ERROR_SUCCESS) {
    return -1;
  }
  int result = 0;
  if (!valueName.empty()) {
    const char* name = valueName == kDefaultValueName ? "" : valueName.c_str();
    if (reg.RegSetValueExA(key, name, type, data, size) != ERROR_SUCCESS) result = -2;
  }
  reg.RegCloseKey(key);
  return result;
}

namespace {

int DeleteTreeBelow(Registry& reg, HKEY parent, const std::string& subkey) {
  if (parent == nullptr || subkey.empty()) return 0;
  HKEY key = nullptr;
  if (reg.RegOpenKeyExA(parent, subkey.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return 0;
  // Every name is collected before anything is deleted, so the enumeration never runs
  // over a key that is changing under it.
  for (const std::string& child : SubkeyNames(reg, key)) DeleteTreeBelow(reg, key, child);
  reg.RegCloseKey(key);
  return reg.RegDeleteKeyA(parent, subkey.c_str()) == ERROR_SUCCESS ? 1 : 0;
}

}  // namespace

int DeleteKeyTree(Registry& reg, HKEY parent, const std::string& subkey) {
  if (parent == nullptr) return 0;
  // Below a root, Windows' own keys are never deleted, whoever names them. (Below an open
  // key nothing is Windows' own: its keys were all refused on the way down.)
  if (IsRootKey(parent) && IsProtectedKey(parent, subkey)) return -1;
  return DeleteTreeBelow(reg, parent, subkey);
}

int EnumSubkeyNames(Registry& reg, HKEY root, const std::string& subkey, StringList& names) {
  OpenKey key(reg, root, subkey);
  if (!key) return -1;
  std::vector<std::string> found = SubkeyNames(reg, key.get());
  names.insert(names.end(), found.begin(), found.end());
  return static_cast<int>(found.size());
}

int EnumRegistryValues(Registry& reg, HKEY root, const std::string& subkey, std::vector<RegistryValue>& values,
                       bool withData) {
  OpenKey key(reg, root, subkey);
  if (!key) return -1;
  int count = 0;
  int retries = 0;
  for (DWORD index = 0;; ++index) {
    char name[kBufferSize] = {};
    BYTE data[kBufferSize] = {};
    DWORD nameLength = kBufferSize;
    DWORD dataSize = kBufferSize;
    DWORD type = 0;
    LONG status = withData ? reg.RegEnumValueA(key.get(), index, name, &nameLength, &type, data, &dataSize)
                           : reg.RegEnumValueA(key.get(), index, name, &nameLength, nullptr, nullptr, nullptr);
    if (status == ERROR_MORE_DATA) {
      // A key that answers so at every index still ends.
      if (index >= kMaxEnumIndex) break;
      AskAgainOrPassOver(index, retries);
      continue;
    }
    retries = 0;
    if (status != ERROR_SUCCESS) break;
    RegistryValue value;
    value.name = FromBuffer(name, nameLength < kBufferSize ? nameLength : kBufferSize);
    if (withData) {
      value.type = type;
      value.data.assign(reinterpret_cast<const char*>(data), dataSize < kBufferSize ? dataSize : kBufferSize);
    }
    values.push_back(std::move(value));
    ++count;
  }
  return count;
}

int SplitRegistryEntry(const std::string& entry, RegistryEntry& fields) {
  if (entry.empty()) return -1;
  std::size_t comma = entry.find(',');
  if (comma == std::string::npos) {
    fields = RegistryEntry{};
    return -1;
  }
  fields.root = entry.substr(0, comma);
  std::string rest = entry.substr(comma + 1);
  fields.subkey = rest;
  fields.valueName.clear();
  fields.data.clear();
  fields.count = 2;
  if ((comma = rest.find(',')) == std::string::npos) return 0;
  fields.subkey = rest.substr(0, comma);
  rest = rest.substr(comma + 1);
  fields.valueName = rest;
  fields.count = 3;
  if ((comma = rest.find(',')) == std::string::npos) return 0;
  fields.valueName = rest.substr(0, comma);
  fields.data = rest.substr(comma + 1);
  fields.count = 4;
  return 0;
}

}  // namespace qx
