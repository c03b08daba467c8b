// The simulated registry: a tree of keys under HKEY_LOCAL_MACHINE and HKEY_USERS.
#include <algorithm>
#include <cstring>

#include "platform/sim/sim_state.h"

namespace qx::sim {

namespace {

using Lock = std::lock_guard<MachineMutex>;

// Limits Windows puts on names (characters).
constexpr std::size_t kMaxKeyNameChars = 255;
constexpr std::size_t kMaxValueNameChars = 16383;

bool IsPredefined(HKEY key) {
  return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE ||
         key == HKEY_USERS;
}

// Splits a subkey path into its names. A trailing backslash is allowed, as Windows allows it;
// a leading one or an empty name inside the path is ERROR_BAD_PATHNAME.
LONG SplitSubKey(const char* subKey, std::vector<std::string_view>& names, bool win9x) {
  names.clear();
  if (!subKey || !*subKey) return ERROR_SUCCESS;
  std::string_view text(subKey);
  if (text.front() == '\\') return win9x ? ERROR_FILE_NOT_FOUND : ERROR_BAD_PATHNAME;
  // Split as cp932::Split splits: at single-byte backslashes, empty names kept.
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = cp932::CharLength(text, i);
    if (n == 1 && text[i] == '\\') {
      names.push_back(text.substr(start, i - start));
      start = i + 1;
    }
    i += n;
  }
  names.push_back(text.substr(start));
  if (!names.empty() && names.back().empty()) names.pop_back();
  for (const auto& n : names) {
    if (n.empty()) return ERROR_BAD_PATHNAME;
    if (cp932::CharCount(n) > kMaxKeyNameChars) return ERROR_INVALID_PARAMETER;
  }
  return ERROR_SUCCESS;
}

bool ValueNameTooLong(const char* name) { return name && cp932::CharCount(name) > kMaxValueNameChars; }


HKEY ToHkey(std::uintptr_t id) { return reinterpret_cast<HKEY>(id); }

}  // namespace

// ---------------------------------------------------------------- state helpers

bool SimMachine::State::ParseKeyPath(std::string_view path, std::shared_ptr<RegKey>& root,
                                     std::vector<std::string>& names) {
  names = cp932::Split(path, false);
  while (!names.empty() && names.back().empty()) names.pop_back();
  if (names.empty()) return false;
  std::string top = cp932::Fold(names.front());
  names.erase(names.begin());
  std::vector<std::string> prefix;
  if (top == "HKEY_LOCAL_MACHINE" || top == "HKLM") {
    root = hklm;
  } else if (top == "HKEY_USERS" || top == "HKU") {
    root = hku;
  } else if (top == "HKEY_CURRENT_USER" || top == "HKCU") {
    root = hku;
    prefix = {settings.currentUser};
  } else if (top == "HKEY_CLASSES_ROOT" || top == "HKCR") {
    root = hklm;
    prefix = {"SOFTWARE", "Classes"};
  } else {
    return false;
  }
  names.insert(names.begin(), prefix.begin(), prefix.end());
  names.erase(std::remove(names.begin(), names.end(), std::string()), names.end());
  return true;
}

std::shared_ptr<RegKey> SimMachine::State::FindKey(const std::shared_ptr<RegKey>& from,
                                                   const std::vector<std::string_view>& names) const {
  std::shared_ptr<RegKey> k = from;
  for (const auto& n : names) {
    k = k->subkeys.Find(n);
    if (!k) return nullptr;
  }
  return k;
}

std::shared_ptr<RegKey> SimMachine::State::CreateKeyPath(const std::shared_ptr<RegKey>& from,
                                                         const std::vector<std::string_view>& names, bool* created) {
  if (created) *created = false;
  std::shared_ptr<RegKey> k = from;
  for (const auto& n : names) {
    bool made = false;
    std::shared_ptr<RegKey> child = WalkStep(k, n, true, &made);
    if (made && created) *created = true;
    k = std::move(child);
  }
  return k;
}

std::shared_ptr<RegKey> SimMachine::State::FindKeyPath(std::string_view path) { return WalkKeyPath(path, false); }

std::shared_ptr<RegKey> SimMachine::State::EnsureKeyPath(std::string_view path) { return WalkKeyPath(path, true); }

std::shared_ptr<RegKey> SimMachine::State::CachedKeyPath(std::string_view path) {
  KeyPathCache& cache = keyPathCache;
  if (cache.currentUser != settings.currentUser) {
    for (auto& e : cache.slots) e = {};
    cache.currentUser = settings.currentUser;
    return nullptr;
  }
  // The same text as the last one (an image's values, one after the other, name their key
  // each time) needs no hash.
  KeyPathCache::Entry* e = &cache.slots[cache.last];
  if (e->path != path) e = &cache.SlotFor(path);
  if (!e->key || e->path != path) return nullptr;
  if (e->key->deleted) {
    *e = {};
    return nullptr;
  }
  cache.last = static_cast<std::size_t>(e - cache.slots.data());
  return e->key;
}

void SimMachine::State::CacheKeyPath(std::string_view path, const std::shared_ptr<RegKey>& key) {
  KeyPathCache& cache = keyPathCache;
  KeyPathCache::Entry& e = cache.SlotFor(path);
  e.path.assign(path);
  e.key = key;
  cache.last = static_cast<std::size_t>(&e - cache.slots.data());
}

std::shared_ptr<RegKey> SimMachine::State::WalkStep(const std::shared_ptr<RegKey>& parent, std::string_view name,
                                                    bool create, bool* made) {
  if (!create) return parent->subkeys.Find(name);
  bool created = false;
  std::shared_ptr<RegKey> child = parent->subkeys.FindOrInsert(
      name,
      [&] {
        auto k = std::make_shared<RegKey>();
        k->name = std::string(name);
        k->parent = parent;
        return k;
      },
      created);
  if (created) spoolerData.printerIndex.SubkeyAdded(*parent, child);
  if (made) *made = created;
  return child;
}

namespace {

// Splits text at single-byte backslashes (never the second byte of a double-byte
// character), as cp932::Split does, leaving out empty names; each name's end is added too.
void SplitNames(std::string_view text, std::size_t offset, std::vector<std::string_view>& names,
                std::vector<std::size_t>& ends) {
  names.clear();
  ends.clear();
  auto add = [&](std::size_t start, std::size_t end) {
    if (end == start) return;
    names.push_back(text.substr(start, end - start));
    ends.push_back(offset + end);
  };
  std::size_t start = 0;
  if (cp932::AsciiPrefix(text) == text.size()) {
    for (std::size_t at; (at = text.find('\\', start)) != std::string_view::npos; start = at + 1) add(start, at);
  } else {
    for (std::size_t i = 0; i < text.size();) {
      if (text[i] == '\\') {
        add(start, i);
        start = ++i;
      } else {
        i += cp932::CharLength(text, i);
      }
    }
  }
  add(start, text.size());
}

}  // namespace

// What ParseKeyPath and FindKey (CreateKeyPath) do: from where the path leaves the one
// walked last, or from the key of a path seen lately.
std::shared_ptr<RegKey> SimMachine::State::WalkKeyPath(std::string_view path, bool create) {
  KeyPathMemo& memo = keyPathMemo;
  // The names the path shares with the one walked last: those that end where both texts are
  // still the same, at the end of a name of this path too. Up to there the bytes are the
  // same, so the names are the same (split the same way) and so are their keys.
  std::size_t level = 0;  // the memo's keys that stand for this path's first names
  if (!memo.chain.empty() && !memo.chain.back()->deleted && memo.currentUser == settings.currentUser) {
    const std::size_t same = cp932::SharedPrefix(memo.path, path);
    for (level = memo.ends.size(); level > 0; --level) {
      const std::size_t end = memo.ends[level - 1];
      if (end <= same && (end == path.size() || path[end] == '\\')) break;
    }
  }
  std::vector<std::string_view>& names = pathParts;
  std::vector<std::size_t>& ends = pathEnds;
  const std::size_t from = level > 0 ? memo.ends[level - 1] : 0;
  SplitNames(path.substr(from), from, names, ends);
  if (level > 0 && names.empty()) return memo.chain[level - 1];

  // More than a step from the memo's keys: a key seen lately, or under one.
  if (level == 0 || names.size() > 1) {
    if (auto known = CachedKeyPath(path)) return known;
    const std::size_t cut = ends.size() >= 2 ? ends[ends.size() - 2] : 0;
    if (cut > 0) {
      if (auto parent = CachedKeyPath(path.substr(0, cut))) {
        std::shared_ptr<RegKey> child = WalkStep(parent, names.back(), create);
        if (child) CacheKeyPath(path, child);
        return child;
      }
    }
  }

  std::size_t first = 0;  // the names of the path walked from the memo's key
  if (level == 0) {
    if (path.empty() || path.front() == '\\') return nullptr;  // no root's name first
    const std::string_view top = names.front();
    std::shared_ptr<RegKey> root;
    std::vector<std::string_view> prefix;
    if (cp932::EqualNoCase(top, "HKEY_LOCAL_MACHINE") || cp932::EqualNoCase(top, "HKLM")) {
      root = hklm;
    } else if (cp932::EqualNoCase(top, "HKEY_USERS") || cp932::EqualNoCase(top, "HKU")) {
      root = hku;
    } else if (cp932::EqualNoCase(top, "HKEY_CURRENT_USER") || cp932::EqualNoCase(top, "HKCU")) {
      root = hku;
      prefix = {settings.currentUser};
    } else if (cp932::EqualNoCase(top, "HKEY_CLASSES_ROOT") || cp932::EqualNoCase(top, "HKCR")) {
      root = hklm;
      prefix = {"SOFTWARE", "Classes"};
    } else {
      return nullptr;
    }
    auto base = create ? CreateKeyPath(root, prefix) : FindKey(root, prefix);
    if (!base) return nullptr;
    memo.currentUser = settings.currentUser;
    memo.chain.assign(1, std::move(base));
    memo.ends.assign(1, ends.front());
    first = 1;
  } else {
    memo.chain.resize(level);
    memo.ends.resize(level);
  }
  // The memo's text is this path's up to the end of each name walked.
  memo.path.assign(path);
  const std::size_t walkedBefore = memo.chain.size();
  for (std::size_t i = first; i < names.size(); ++i) {
    std::shared_ptr<RegKey> child = WalkStep(memo.chain.back(), names[i], create);
    if (!child) {
      memo.path.resize(memo.ends.back());
      return nullptr;
    }
    memo.ends.push_back(ends[i]);
    memo.chain.push_back(std::move(child));
  }
  // The key, and its parent too, when this walk reached them from afar (the keys of a file
  // that lists only the deepest keys share parents the file never names). A key one step
  // from the memo's keys is as quickly found from them again.
  const std::size_t count = memo.chain.size();
  if (count - 1 > walkedBefore) {
    CacheKeyPath(path.substr(0, memo.ends[count - 2]), memo.chain[count - 2]);
    CacheKeyPath(path, memo.chain.back());
  }
  return memo.chain.back();
}

void SimMachine::State::SetRegValue(RegKey& key, std::string_view name, DWORD type, std::string_view data) {
  key.values.Set(name, type, data);
  spoolerData.printerIndex.Changed(key);
}

bool SimMachine::State::DeleteRegValue(RegKey& key, std::string_view name) {
  if (!key.values.Erase(name)) return false;
  spoolerData.printerIndex.Changed(key);
  return true;
}

void SimMachine::State::ClearRegValues(RegKey& key) {
  if (key.values.empty()) return;
  key.values.Clear();
  spoolerData.printerIndex.Changed(key);
}

// The aliases are always there on Windows (the classes key and the current user's hive are
// loaded), so they are made on first use if the machine does not have them yet.
LONG SimMachine::State::ResolveKey(HKEY key, std::shared_ptr<RegKey>& out, REGSAM* access, bool create) {
  if (access) *access = KEY_ALL_ACCESS;
  if (key == HKEY_LOCAL_MACHINE) {
    out = hklm;
  } else if (key == HKEY_USERS) {
    out = hku;
  } else if (key == HKEY_CURRENT_USER || key == HKEY_CLASSES_ROOT) {
    std::shared_ptr<RegKey> root = key == HKEY_CURRENT_USER ? hku : hklm;
    std::vector<std::string_view> names = key == HKEY_CURRENT_USER
                                              ? std::vector<std::string_view>{settings.currentUser}
                                              : std::vector<std::string_view>{"SOFTWARE", "Classes"};
    out = create ? CreateKeyPath(root, names) : FindKey(root, names);
    if (!out) {
      emptyAlias->subkeys.Clear();
      emptyAlias->values.Clear();
      out = emptyAlias;
    }
  } else {
    auto it = regHandles.find(reinterpret_cast<std::uintptr_t>(key));
    if (it == regHandles.end()) return ERROR_INVALID_HANDLE;
    out = it->second.key;
    if (access) *access = it->second.access;
    if (out->deleted) return ERROR_KEY_DELETED;
  }
  return ERROR_SUCCESS;
}

std::string SimMachine::State::KeyPath(const RegKey& key) {
  std::vector<const RegKey*> chain;
  std::vector<std::shared_ptr<RegKey>> keep;
  const RegKey* k = &key;
  while (k) {
    chain.push_back(k);
    auto p = k->parent.lock();
    if (!p) break;
    keep.push_back(p);
    k = p.get();
  }
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!path.empty()) path += '\\';
    path += (*it)->name;
  }
  return path;
}

std::string SimMachine::State::CanonicalKeyPath(std::string_view path) {
  std::shared_ptr<RegKey> root;
  std::vector<std::string> names;
  if (!ParseKeyPath(path, root, names)) return "";
  std::string out = root->name;
  for (const auto& n : names) out += "\\" + n;
  return out;
}

std::string SimMachine::State::HandleKeyPath(HKEY key, const char* subKey) {
  std::string base;
  if (key == HKEY_LOCAL_MACHINE) {
    base = "HKEY_LOCAL_MACHINE";
  } else if (key == HKEY_USERS) {
    base = "HKEY_USERS";
  } else if (key == HKEY_CURRENT_USER) {
    base = "HKEY_USERS\\" + settings.currentUser;
  } else if (key == HKEY_CLASSES_ROOT) {
    base = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes";
  } else {
    auto it = regHandles.find(reinterpret_cast<std::uintptr_t>(key));
    if (it == regHandles.end()) return "";
    base = KeyPath(*it->second.key);
  }
  if (subKey && *subKey) {
    std::string_view sub(subKey);
    if (!sub.empty() && sub.back() == '\\') sub.remove_suffix(1);
    base += "\\";
    base += sub;
  }
  return base;
}

void SimMachine::State::DetachKey(const std::shared_ptr<RegKey>& key) {
  spoolerData.printerIndex.Detached(*key);
  if (auto p = key->parent.lock()) p->subkeys.Erase(key->name);
  std::vector<RegKey*> stack{key.get()};
  while (!stack.empty()) {
    RegKey* k = stack.back();
    stack.pop_back();
    k->deleted = true;
    for (const auto& child : k->subkeys) stack.push_back(child.get());
  }
}

// ---------------------------------------------------------------- the facet

LONG RegistryCore::RegOpenKeyExA(HKEY key, const char* subKey, DWORD, REGSAM sam, HKEY* result) {
  Lock lock(s_.mu);
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::shared_ptr<RegKey> base;
  if (LONG e = s_.ResolveKey(key, base); e != ERROR_SUCCESS) return e;
  std::vector<std::string_view>& names = s_.subKeyNames;
  if (LONG e = SplitSubKey(subKey, names, s_.settings.platformId == VER_PLATFORM_WIN32_WINDOWS); e != ERROR_SUCCESS)
    return e;
  // Opening a predefined key itself again gives that predefined handle back, as Windows does.
  if (names.empty() && IsPredefined(key)) {
    *result = key;
    return ERROR_SUCCESS;
  }
  auto k = s_.FindKey(base, names);
  if (!k) return ERROR_FILE_NOT_FOUND;
  std::uintptr_t id = s_.nextRegHandle;
  s_.nextRegHandle += 4;
  s_.regHandles[id] = RegHandle{k, sam};
  *result = ToHkey(id);
  return ERROR_SUCCESS;
}

LONG RegistryCore::RegCreateKeyExA(HKEY key, const char* subKey, const char*, DWORD, REGSAM sam, HKEY* result,
                                   DWORD* disposition) {
  Lock lock(s_.mu);
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::shared_ptr<RegKey> base;
  REGSAM baseAccess = 0;
  if (LONG e = s_.ResolveKey(key, base, &baseAccess, true); e != ERROR_SUCCESS) return e;
  std::vector<std::string_view>& names = s_.subKeyNames;
  if (subKey && *subKey == '\\') return ERROR_BAD_PATHNAME;  // both families refuse it here
  if (LONG e = SplitSubKey(subKey, names, false); e != ERROR_SUCCESS) return e;
  if (names.empty() && IsPredefined(key)) {
    *result = key;
    if (disposition) *disposition = REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
  }
  bool created = false;
  std::shared_ptr<RegKey> k = s_.FindKey(base, names);
  if (!k) {
    if (!(baseAccess & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    k = s_.CreateKeyPath(base, names, &created);
  }
  std::uintptr_t id = s_.nextRegHandle;
  s_.nextRegHandle += 4;
  s_.regHandles[id] = RegHandle{k, sam};
  *result = ToHkey(id);
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG RegistryCore::RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* cbData) {
  Lock lock(s_.mu);
  std::shared_ptr<RegKey> k;
  REGSAM access = 0;
  if (LONG e = s_.ResolveKey(key, k, &access); e != ERROR_SUCCESS) return e;
  if (!(access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (data && !cbData) return ERROR_INVALID_PARAMETER;
  const std::optional<RegValueView> it = k->values.Find(name ? name : "");
  if (!it) return ERROR_FILE_NOT_FOUND;
  if (type) *type = it->type;
  DWORD needed = static_cast<DWORD>(it->data.size());
  if (!cbData) return ERROR_SUCCESS;
  if (!data) {
    *cbData = needed;
    return ERROR_SUCCESS;
  }
  if (*cbData < needed) {
    *cbData = needed;
    return ERROR_MORE_DATA;
  }
  if (needed) std::memcpy(data, it->data.data(), needed);
  *cbData = needed;
  return ERROR_SUCCESS;
}

LONG RegistryCore::RegSetValueExA(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD cbData) {
  Lock lock(s_.mu);
  std::shared_ptr<RegKey> k;
  REGSAM access = 0;
  if (LONG e = s_.ResolveKey(key, k, &access, true); e != ERROR_SUCCESS) return e;
  if (!(access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (ValueNameTooLong(name)) return ERROR_INVALID_PARAMETER;
  if (!data && cbData) return ERROR_INVALID_PARAMETER;
  std::string bytes(data ? reinterpret_cast<const char*>(data) : "", data ? cbData : 0);
  s_.SetRegValue(*k, name ? name : "", type, std::move(bytes));
  return ERROR_SUCCESS;
}

LONG RegistryCore::RegDeleteValueA(HKEY key, const char* name) {
  Lock lock(s_.mu);
  std::shared_ptr<RegKey> k;
  REGSAM access = 0;
  if (LONG e = s_.ResolveKey(key, k, &access); e != ERROR_SUCCESS) return e;
  if (!(access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (!s_.DeleteRegValue(*k, name ? name : "")) return ERROR_FILE_NOT_FOUND;
  return ERROR_SUCCESS;
}

// Windows 95/98 delete the whole tree; the NT family deletes only a key without subkeys.
// An empty subkey deletes the key the handle stands for.
LONG RegistryCore::RegDeleteKeyA(HKEY key, const char* subKey) {
  Lock lock(s_.mu);
  if (!subKey) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<RegKey> base;
  if (LONG e = s_.ResolveKey(key, base); e != ERROR_SUCCESS) return e;
  bool win9x = s_.settings.platformId == VER_PLATFORM_WIN32_WINDOWS;
  std::vector<std::string_view>& names = s_.subKeyNames;
  if (LONG e = SplitSubKey(subKey, names, win9x); e != ERROR_SUCCESS) return e;
  auto k = s_.FindKey(base, names);
  if (!k) return ERROR_FILE_NOT_FOUND;
  if (k == s_.hklm || k == s_.hku || k->parent.lock() == s_.hku || k->parent.lock() == s_.hklm)
    return ERROR_ACCESS_DENIED;  // hives and their top keys cannot be deleted
  if (!win9x && !k->subkeys.empty()) return ERROR_ACCESS_DENIED;
  s_.DetachKey(k);
  return ERROR_SUCCESS;
}

LONG RegistryCore::RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* cchName) {
  Lock lock(s_.mu);
  std::shared_ptr<RegKey> k;
  REGSAM access = 0;
  if (LONG e = s_.ResolveKey(key, k, &access); e != ERROR_SUCCESS) return e;
  if (!(access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  if (!name || !cchName) return ERROR_INVALID_PARAMETER;
  if (index >= k->subkeys.size()) return ERROR_NO_MORE_ITEMS;
  const std::string& n = k->subkeys.At(index)->name;
  if (n.size() + 1 > *cchName) return ERROR_MORE_DATA;
  std::memcpy(name, n.c_str(), n.size() + 1);
  *cchName = static_cast<DWORD>(n.size());
  return ERROR_SUCCESS;
}

LONG RegistryCore::RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* cchName, DWORD* type, BYTE* data,
                                 DWORD* cbData) {
  Lock lock(s_.mu);
  std::shared_ptr<RegKey> k;
  REGSAM access = 0;
  if (LONG e = s_.ResolveKey(key, k, &access); e != ERROR_SUCCESS) return e;
  if (!(access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (!name || !cchName || (data && !cbData)) return ERROR_INVALID_PARAMETER;
  if (index >= k->values.size()) return ERROR_NO_MORE_ITEMS;
  const RegValueView v = k->values.At(index);
  if (v.name.size() + 1 > *cchName) return ERROR_MORE_DATA;
  if (!v.name.empty()) std::memcpy(name, v.name.data(), v.name.size());
  name[v.name.size()] = '\0';
  *cchName = static_cast<DWORD>(v.name.size());
  if (type) *type = v.type;
  DWORD needed = static_cast<DWORD>(v.data.size());
  if (!cbData) return ERROR_SUCCESS;
  if (data && *cbData < needed) {
    *cbData = needed;
    return ERROR_MORE_DATA;
  }
  if (data && needed) std::memcpy(data, v.data.data(), needed);
  *cbData = needed;
  return ERROR_SUCCESS;
}

LONG RegistryCore::RegCloseKey(HKEY key) {
  Lock lock(s_.mu);
  if (IsPredefined(key)) return ERROR_SUCCESS;
  auto it = s_.regHandles.find(reinterpret_cast<std::uintptr_t>(key));
  if (it == s_.regHandles.end()) return ERROR_INVALID_HANDLE;
  s_.regHandles.erase(it);
  return ERROR_SUCCESS;
}

// ---------------------------------------------------------------- the machine's own view

void SimMachine::AddKey(std::string_view keyPath) {
  Lock lock(state_->mu);
  state_->EnsureKeyPath(keyPath);
}

void SimMachine::SetValue(std::string_view keyPath, std::string_view name, DWORD type, std::string data) {
  Lock lock(state_->mu);
  auto k = state_->EnsureKeyPath(keyPath);
  if (!k) return;
  state_->SetRegValue(*k, name, type, data);
}

void SimMachine::ChangeValues(std::string_view keyPath, bool makeKey, const std::vector<ValueChange>& changes) {
  Lock lock(state_->mu);
  std::shared_ptr<RegKey> k = makeKey ? state_->EnsureKeyPath(keyPath) : state_->FindKeyPath(keyPath);
  // The key's list is made at the size of the values set, not grown value by value.
  bool reserved = false;
  for (const ValueChange& change : changes) {
    if (change.remove) {
      if (k) state_->DeleteRegValue(*k, change.name);
      continue;
    }
    if (!k && !(k = state_->EnsureKeyPath(keyPath))) return;  // a path of no root: nothing is made
    if (!reserved) {
      std::size_t count = 0, bytes = 0;
      for (const ValueChange& c : changes) {
        if (c.remove) continue;
        ++count;
        bytes += c.name.size() + c.data.size();
      }
      k->values.Reserve(count, bytes);
      reserved = true;
    }
    state_->SetRegValue(*k, change.name, change.type, change.data);
  }
}

void SimMachine::RemoveValue(std::string_view keyPath, std::string_view name) {
  Lock lock(state_->mu);
  auto k = state_->FindKeyPath(keyPath);
  if (!k) return;
  state_->DeleteRegValue(*k, name);
}

void SimMachine::SetString(std::string_view keyPath, std::string_view name, std::string_view text) {
  std::string data(text);
  data.push_back('\0');
  SetValue(keyPath, name, REG_SZ, std::move(data));
}

void SimMachine::SetDword(std::string_view keyPath, std::string_view name, DWORD value) {
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  SetValue(keyPath, name, REG_DWORD, std::move(data));
}

void SimMachine::RemoveKey(std::string_view keyPath) {
  Lock lock(state_->mu);
  auto k = state_->FindKeyPath(keyPath);
  if (!k || k == state_->hklm || k == state_->hku) return;
  state_->DetachKey(k);
}

bool SimMachine::HasKey(std::string_view keyPath) const {
  Lock lock(state_->mu);
  return state_->FindKeyPath(keyPath) != nullptr;
}

std::optional<RegValue> SimMachine::Value(std::string_view keyPath, std::string_view name) const {
  Lock lock(state_->mu);
  auto k = state_->FindKeyPath(keyPath);
  if (!k) return std::nullopt;
  if (const auto v = k->values.Find(name)) return v->Copy();
  return std::nullopt;
}

std::vector<std::string> SimMachine::Subkeys(std::string_view keyPath) const {
  Lock lock(state_->mu);
  std::vector<std::string> out;
  if (auto k = state_->FindKeyPath(keyPath))
    for (const auto& child : k->subkeys) out.push_back(child->name);
  return out;
}

std::vector<RegValue> SimMachine::Values(std::string_view keyPath) const {
  Lock lock(state_->mu);
  if (auto k = state_->FindKeyPath(keyPath)) return k->values.ToVector();
  return {};
}

std::vector<std::string> SimMachine::AllKeys() const {
  Lock lock(state_->mu);
  std::vector<std::string> out;
  struct Walk {
    static void Go(const RegKey& k, const std::string& path, std::vector<std::string>& out) {
      for (const auto& child : k.subkeys) {
        std::string p = path + "\\" + child->name;
        out.push_back(p);
        Go(*child, p, out);
      }
    }
  };
  Walk::Go(*state_->hklm, "HKEY_LOCAL_MACHINE", out);
  Walk::Go(*state_->hku, "HKEY_USERS", out);
  return out;
}

namespace {

// A key, its values, then its subkeys in turn: depth first, in enumeration order.
void VisitTree(const RegKey& k, SimMachine::RegistryVisitor& v) {
  v.Key(k.name, k.values.size(), k.subkeys.size());
  for (const RegValueView value : k.values) v.Value(value);
  for (const auto& child : k.subkeys) VisitTree(*child, v);
}

}  // namespace

void SimMachine::VisitKey(std::string_view keyPath, RegistryVisitor& visitor) const {
  Lock lock(state_->mu);
  if (auto k = state_->FindKeyPath(keyPath)) VisitTree(*k, visitor);
}

void SimMachine::VisitRegistry(RegistryVisitor& visitor) const {
  Lock lock(state_->mu);
  VisitTree(*state_->hklm, visitor);
  VisitTree(*state_->hku, visitor);
}

}  // namespace qx::sim
