// Registry entries of the configuration ("ROOT,subkey[,value[,text]]"), any text, one a
// line as QXErs.ini lists them, carried out in order on a simulated Windows NT 4.0 registry
// in Windows' own layout: by CQXErsDoc::DeleteRegistryEntry (DEL_REG.*) on one machine, and
// by CQXErsDoc::RemoveTextFromValue (PULL_REG.QX) on another.
//
// Rules checked once the entries are done, written from what the entries say, not from the
// engine (a root resolved as Windows resolves HKEY_CURRENT_USER and HKEY_CLASSES_ROOT, key
// levels compared without regard to ASCII case):
//  - deletions add nothing; a key that went lies at or below a key that an entry without a
//    value name names; a key whose values changed is one that entries with a value name name,
//    and no more of its values changed than such entries name it;
//  - taking text out of list values adds and removes no key, and changes only values of keys
//    the entries name, no more of them than entries name the key;
//  - unless QX_FUZZ_ORACLE=0: Windows' own container keys (fuzz::ProtectedKeys) survive,
//    whatever the entries name.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/CQXErsDoc.h"
#include "fuzz/fuzz_machine.h"
#include "platform/sim/sim_machine.h"

namespace {

constexpr const char* kTarget = "registry_entry";
constexpr std::size_t kMaxEntries = 8;

using qx::fuzz::RegistrySnapshot;

// The input's lines as they reach the registry stage: a CR before the LF dropped, and each
// cut at its first zero byte (no entry holds one: the configuration reader refuses such a
// line and registry texts end there).
std::vector<std::string> Entries(const std::string& input) {
  std::vector<std::string> entries;
  std::size_t start = 0;
  while (start <= input.size() && entries.size() < kMaxEntries) {
    std::size_t end = input.find('\n', start);
    std::string line = input.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    line.resize(std::min(line.size(), line.find('\0')));
    entries.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return entries;
}

struct Named {
  bool known = false;  // the root is one the configuration may name
  std::string key;     // the full path of the key the entry names
  std::string value;   // its value name, "" for none
};

// What an entry names, read by the configuration's format: root, subkey, value name, text,
// separated by the first three commas.
Named WhatItNames(const std::string& entry) {
  Named n;
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (int i = 0; i < 3; ++i) {
    std::size_t comma = entry.find(',', start);
    if (comma == std::string::npos) break;
    fields.push_back(entry.substr(start, comma - start));
    start = comma + 1;
  }
  fields.push_back(entry.substr(start));
  if (fields.size() < 2) return n;
  const std::string& root = fields[0];
  std::string base;
  if (root == "HKEY_LOCAL_MACHINE") base = "HKEY_LOCAL_MACHINE";
  else if (root == "HKEY_USERS") base = "HKEY_USERS";
  else if (root == "HKEY_CURRENT_USER") base = std::string("HKEY_USERS\\") + qx::fuzz::kUserSid;
  else if (root == "HKEY_CLASSES_ROOT") base = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes";
  else return n;
  n.known = true;
  n.key = base + "\\" + fields[1];
  if (fields.size() >= 3) n.value = fields[2];
  return n;
}

bool SameKey(const std::string& a, const std::string& b) {
  return qx::fuzz::IsAtOrBelow(a, b) && qx::fuzz::IsAtOrBelow(b, a);
}

bool SameValues(const std::vector<qx::sim::RegValue>& a, const std::vector<qx::sim::RegValue>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].name != b[i].name || a[i].type != b[i].type || a[i].data != b[i].data) return false;
  }
  return true;
}

// The number of value names of a key whose value went, changed or came.
std::size_t ValuesTouched(const std::vector<qx::sim::RegValue>& a, const std::vector<qx::sim::RegValue>& b) {
  auto find = [](const std::vector<qx::sim::RegValue>& in, const std::string& name) -> const qx::sim::RegValue* {
    for (const auto& v : in) {
      if (qx::fuzz::FoldName(v.name) == qx::fuzz::FoldName(name)) return &v;
    }
    return nullptr;
  };
  std::size_t touched = 0;
  for (const auto& v : a) {
    const qx::sim::RegValue* w = find(b, v.name);
    if (!w || w->type != v.type || w->data != v.data) ++touched;
  }
  for (const auto& w : b) {
    if (!find(a, w.name)) ++touched;
  }
  return touched;
}

std::string Listed(const std::vector<std::string>& entries) {
  std::string out;
  for (const std::string& e : entries) out += "\n     " + qx::fuzz::Shown(e);
  return out;
}

// Checks what the entries changed between the two snapshots. keysMayGo: the entries were
// deletions.
void Check(const RegistrySnapshot& before, const RegistrySnapshot& after, const std::vector<std::string>& entries,
           bool keysMayGo, const std::string& input) {
  std::vector<Named> named;
  for (const std::string& e : entries) named.push_back(WhatItNames(e));
  auto fail = [&](const std::string& rule, const std::string& key) {
    qx::fuzz::Violation(kTarget, rule + ": " + key + "\n   entries:" + Listed(entries), input);
  };
  for (const auto& [folded, state] : after) {
    if (!before.count(folded)) fail(keysMayGo ? "a deletion added a key" : "taking text out added a key", state.path);
  }
  for (const auto& [folded, state] : before) {
    auto it = after.find(folded);
    if (it == after.end()) {
      bool named_ = false;
      for (const Named& n : named) {
        if (n.known && n.value.empty() && qx::fuzz::IsAtOrBelow(state.path, n.key)) named_ = true;
      }
      if (!keysMayGo || !named_) fail("a key went that no entry names", state.path);
      continue;
    }
    if (SameValues(state.values, it->second.values)) continue;
    std::size_t naming = 0;
    for (const Named& n : named) {
      if (n.known && (!keysMayGo || !n.value.empty()) && SameKey(state.path, n.key)) ++naming;
    }
    if (ValuesTouched(state.values, it->second.values) > naming) fail("values changed that no entry names", state.path);
  }
  if (!qx::fuzz::StrictOracle()) return;
  for (const std::string& key : qx::fuzz::ProtectedKeys()) {
    if (!after.count(qx::fuzz::FoldName(key))) fail("Windows' own key was deleted", key);
  }
}

void MakeMachine(qx::sim::SimMachine& machine) {
  qx::fuzz::AddWindowsRegistry(machine);
  for (const std::string& key : qx::fuzz::ProtectedKeys()) {
    if (!machine.HasKey(key)) qx::fuzz::Violation(kTarget, "the machine lacks " + key, "");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qx;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> entries = Entries(input);
  for (bool deletion : {true, false}) {
    sim::SimMachine machine;
    MakeMachine(machine);
    CQXErsDoc doc(machine.platform());
    doc.logEnabled = 1;
    // Every input starts from the same machine.
    static const RegistrySnapshot before = fuzz::Snapshot(machine);
    for (const std::string& entry : entries) {
      if (deletion) doc.DeleteRegistryEntry(entry);
      else doc.RemoveTextFromValue(entry);
    }
    Check(before, fuzz::Snapshot(machine), entries, deletion, input);
  }
  return 0;
}
