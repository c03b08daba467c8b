// Registry primitives. They write no log lines; their callers do.
#pragma once

#include <string>
#include <vector>

#include "app/CQXErsDoc.h"
#include "platform/registry.h"

namespace qx {

// The key's unnamed default value, as configuration entries write it.
inline constexpr const char* kDefaultValueName = "(標準)";

struct RegistryEntry {
  std::string root, subkey, valueName, data;
  int count = 0;  // how many fields the entry holds, an empty one after a comma included
};

// An index past which an enumeration that keeps answering ERROR_MORE_DATA is given up.
inline constexpr DWORD kMaxEnumIndex = 100000;
// ERROR_MORE_DATA at one index is asked again this many times before the entry is passed over.
inline constexpr int kMoreDataRetries = 2;
// For an enumeration whose call at index answered ERROR_MORE_DATA: steps index back so that
// the same entry is asked again, as a name may have grown between two calls or the answer
// may have been a passing one, until it has been asked kMoreDataRetries times; then it is
// passed over (and retries starts afresh). The caller resets retries after any other answer.
void AskAgainOrPassOver(DWORD& index, int& retries);
// Texts read whole up to this size.
inline constexpr DWORD kMaxTextBytes = 64u * 1024;

HKEY RootKeyFromName(const std::string& name);  // null for an unknown name
bool IsRootKey(HKEY key);                        // one of the four predefined roots
std::string RootKeyName(HKEY key);               // empty for any other key

// True when the key opens and, with a value name, the value fits the caller's buffer.
bool ReadRegistryValue(Registry& reg, HKEY root, const std::string& subkey, const std::string& valueName,
                       DWORD* type, BYTE* data, DWORD* size);

// Opens a key for the length of one operation and closes it whatever happens.
class OpenKey {
 public:
  OpenKey(Registry& reg, HKEY root, const std::string& subkey) : reg_(reg) {
    status_ = reg_.RegOpenKeyExA(root, subkey.c_str(), 0, KEY_ALL_ACCESS, &key_);
    if (status_ != ERROR_SUCCESS) key_ = nullptr;
  }
  ~OpenKey() {
    if (key_) reg_.RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  explicit operator bool() const { return key_ != nullptr; }
  HKEY get() const { return key_; }
  LONG status() const { return status_; }

 private:
  Registry& reg_;
  HKEY key_ = nullptr;
  LONG status_ = ERROR_SUCCESS;
};

// DeleteRegistryValue's results for a value of a key already open (0, -1 when the key did not
// open, -2, -3): for many values of one key, opened once.
int DeleteValueOf(Registry& reg, const OpenKey& key, const std::string& valueName);
// 0 done, -1 key cannot be opened, -2 no such value, -3 value cannot be deleted,
// -4 the direct subkey cannot be deleted.
int DeleteRegistryValue(Registry& reg, HKEY root, const std::string& subkey, const std::string& valueName,
                        const std::string& childKey);
// 0 done, -1 key cannot be created or opened, -2 value cannot be set.
int WriteRegistryValue(Registry& reg, HKEY root, const std::string& subkey, const std::string& valueName,
                       DWORD type, const BYTE* data, DWORD size);
// 1 when the key and everything below it is gone, else 0; -1, and nothing deleted, for
// Windows' own keys.
int DeleteKeyTree(Registry& reg, HKEY parent, const std::string& subkey);
// Names appended, or -1 when the key cannot be opened.
int EnumSubkeyNames(Registry& reg, HKEY root, const std::string& subkey, StringList& names);
// One value of a key as enumerated: data holds the bytes read (empty when data was not asked for).
struct RegistryValue {
  std::string name;
  DWORD type = 0;
  std::string data;
};
// The values of a key, in enumeration order, read into 260-byte buffers (the name only
// unless withData). A value too long for them is skipped, not taken for the end of the
// list; any other failure ends it. -1 when the key cannot be opened, else the count.
int EnumRegistryValues(Registry& reg, HKEY root, const std::string& subkey, std::vector<RegistryValue>& values,
                       bool withData);
// 0 when the entry holds a ",", else -1.
int SplitRegistryEntry(const std::string& entry, RegistryEntry& fields);

// Reads a text value whole (up to kMaxTextBytes), up to its first zero; false when the key or
// the value cannot be read. With an empty value name, whether the key opens.
bool ReadRegistryText(Registry& reg, HKEY root, const std::string& subkey, const std::string& valueName,
                      std::string& text);

}  // namespace qx
