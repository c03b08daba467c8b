#include "platform/sim/summary/summary.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string_view>

#include "platform/sim/encoding.h"
#include "platform/sim/sim_text.h"

namespace qxsim {
namespace {

using qx::sim::Cp932ToUtf8Lossy;
using qx::sim::RegValue;
using qx::sim::RegValueView;
using qx::sim::SimMachine;
namespace cp932 = qx::sim::cp932;

constexpr char kServicesKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services";
constexpr char kPrintKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print";
constexpr char kNtPortsKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
constexpr char kSessionManager[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

void Put(MachineView& view, Kind kind, const std::string& name, std::string shown, std::string holds = "") {
  auto& objects = view.objects[static_cast<int>(kind)];
  Object object{Cp932ToUtf8Lossy(shown), std::move(holds)};
  std::string id = cp932::Fold(name);
  // Objects mostly come in name order (subkeys are listed so): then each goes at the end.
  if (objects.empty() || std::prev(objects.end())->first < id)
    objects.emplace_hint(objects.end(), std::move(id), std::move(object));
  else
    objects[std::move(id)] = std::move(object);
}

std::string Holds(RegValueView v) { return std::to_string(v.type) + ":" + std::string(v.data); }

// Everything a key's values say, to tell a changed object from an unchanged one.
std::string KeyHolds(const SimMachine& m, const std::string& key) {
  std::string out;
  for (const RegValue& v : m.Values(key)) out += cp932::Fold(v.name) + "=" + Holds(v) + '\n';
  for (const std::string& sub : m.Subkeys(key)) out += "[" + sub + "]" + KeyHolds(m, key + "\\" + sub);
  return out;
}

// Each subkey of parent with what KeyHolds says it holds, from one walk of parent's tree
// (a print server's thousands of printers and ports, not a path looked up for each).
std::vector<std::pair<std::string, std::string>> ChildrenHolds(const SimMachine& m, const std::string& parent) {
  class Walk final : public SimMachine::RegistryVisitor {
   public:
    std::vector<std::pair<std::string, std::string>> children;
    void Key(std::string_view name, std::size_t, std::size_t subkeys) override {
      while (!left_.empty() && left_.back() == 0) left_.pop_back();
      if (!left_.empty()) --left_.back();
      depth_ = left_.size();
      left_.push_back(subkeys);
      if (depth_ == 1) children.emplace_back(std::string(name), std::string());
      else if (depth_ > 1) children.back().second += "[" + std::string(name) + "]";
    }
    void Value(RegValueView v) override {
      if (depth_ > 0) children.back().second += cp932::Fold(v.name) + "=" + Holds(v) + '\n';
    }

   private:
    std::vector<std::size_t> left_;  // per open level: subkeys still to come
    std::size_t depth_ = 0;          // of the key whose values come next: 0 is parent
  } walk;
  m.VisitKey(parent, walk);
  return std::move(walk.children);
}

std::string Text(const std::optional<RegValue>& v) {
  if (!v) return "";
  std::string s = v->data;
  while (!s.empty() && s.back() == '\0') s.pop_back();
  return s;
}

// The key=value lines of one section of an initialization file, in order.
std::vector<std::pair<std::string, std::string>> IniSection(const std::string& text, std::string_view section) {
  std::vector<std::pair<std::string, std::string>> out;
  bool in = false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      std::size_t close = line.find(']');
      in = close != std::string::npos && cp932::EqualNoCase(line.substr(1, close - 1), section);
      continue;
    }
    std::size_t eq = line.find('=');
    if (in && eq != std::string::npos) out.emplace_back(line.substr(0, eq), line.substr(eq + 1));
  }
  return out;
}

void CaptureSpooler(const SimMachine& m, MachineView& view) {
  bool nt = m.settings().platformId == qx::VER_PLATFORM_WIN32_NT;
  std::string printers = std::string(kPrintKey) + "\\Printers";
  for (auto& [p, holds] : ChildrenHolds(m, printers)) Put(view, Kind::kPrinters, p, p, std::move(holds));

  std::string environments = std::string(kPrintKey) + "\\Environments";
  for (const std::string& env : m.Subkeys(environments)) {
    std::string drivers = environments + "\\" + env + "\\Drivers";
    for (const std::string& d : m.Subkeys(drivers)) {
      if (nt && d.size() >= 8 && cp932::EqualNoCase(std::string_view(d).substr(0, 8), "Version-")) {
        for (const std::string& v : m.Subkeys(drivers + "\\" + d)) {
          std::string id = v + " (" + env + ", " + d + ")";
          Put(view, Kind::kDrivers, id, id, KeyHolds(m, drivers + "\\" + d + "\\" + v));
        }
      } else {
        std::string id = d + " (" + env + ")";
        Put(view, Kind::kDrivers, id, id, KeyHolds(m, drivers + "\\" + d));
      }
    }
    std::string processors = environments + "\\" + env + "\\Print Processors";
    for (const std::string& p : m.Subkeys(processors)) {
      std::string id = p + " (" + env + ")";
      Put(view, Kind::kPrintProcessors, id, id, KeyHolds(m, processors + "\\" + p));
    }
  }

  std::string monitors = std::string(kPrintKey) + "\\Monitors";
  for (const std::string& mon : m.Subkeys(monitors)) {
    std::string key = monitors + "\\" + mon;
    Put(view, Kind::kMonitors, mon, mon, KeyHolds(m, key));
    // A monitor keeps its ports in "Ports" when it has that key, else as its own subkeys.
    std::string portsKey = m.HasKey(key + "\\Ports") ? key + "\\Ports" : key;
    for (auto& [port, holds] : ChildrenHolds(m, portsKey))
      Put(view, Kind::kPorts, port, port + " (" + mon + ")", std::move(holds));
  }
  if (nt) {
    for (const RegValue& v : m.Values(kNtPortsKey)) Put(view, Kind::kPorts, v.name, v.name + " (Local Port)", Holds(v));
  } else if (auto winIni = m.File(m.settings().windowsDirectory + "\\WIN.INI"); winIni && !winIni->directory) {
    for (const auto& [port, value] : IniSection(winIni->contents, "ports"))
      Put(view, Kind::kPorts, port, port + " (Local Port)", value);
  }
}

// Pending renames and deletions, drivers whose deletion waits for their files, and services
// marked for deletion: all of them are carried out when the machine restarts.
void CaptureRestart(const SimMachine& m, MachineView& view) {
  if (auto pending = m.Value(kSessionManager, "PendingFileRenameOperations")) {
    std::vector<std::string> parts;
    std::string_view data = pending->data;
    while (!data.empty()) {
      std::size_t zero = data.find('\0');
      parts.emplace_back(data.substr(0, zero));
      data = zero == std::string_view::npos ? std::string_view() : data.substr(zero + 1);
    }
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
      if (parts[i].empty()) break;  // the list's terminating empty string
      auto bare = [](std::string p) {
        if (!p.empty() && p[0] == '!') p.erase(0, 1);
        if (p.rfind("\\??\\", 0) == 0) p.erase(0, 4);
        return p;
      };
      std::string from = bare(parts[i]), to = bare(parts[i + 1]);
      std::string id = to.empty() ? "delete " + from : "rename " + from + " -> " + to;
      Put(view, Kind::kRestart, id, id);
    }
  }
  if (auto wininit = m.File(m.settings().windowsDirectory + "\\WININIT.INI"); wininit && !wininit->directory) {
    for (const auto& [to, from] : IniSection(wininit->contents, "rename")) {
      std::string id = cp932::EqualNoCase(to, "NUL") ? "delete " + from : "rename " + from + " -> " + to;
      Put(view, Kind::kRestart, id, id);
    }
  }
  for (const auto& [env, driver] : m.PendingDrivers()) {
    std::string id = "delete printer driver " + driver + " (" + env + ")";
    Put(view, Kind::kRestart, id, id);
  }
  for (const std::string& s : m.Subkeys(kServicesKey)) {
    if (m.ServiceMarkedForDelete(s)) {
      std::string id = "delete service " + s;
      Put(view, Kind::kRestart, id, id);
    }
  }
}

// The Start Menu's program folders: every user's "Programs" and the machine's "Common
// Programs"; their folders are program groups, their files shortcuts.
std::vector<std::string> ProgramFolders(const SimMachine& m) {
  std::vector<std::string> roots;
  auto add = [&](const std::optional<RegValue>& v) {
    std::string path = Text(v);
    if (!path.empty()) roots.push_back(cp932::Fold(path) + "\\");
  };
  add(m.Value(std::string("HKEY_LOCAL_MACHINE\\SOFTWARE") + (kShellFolders + 8), "Common Programs"));
  for (const std::string& user : m.Subkeys("HKEY_USERS"))
    add(m.Value("HKEY_USERS\\" + user + "\\" + kShellFolders, "Programs"));
  return roots;
}

// ---------------------------------------------------------------- the trees' copies
//
// A tree is a stream of its nodes, each followed by its children. A registry key: its name,
// the number of its values and of its subkeys, its values (name, type, data), then its
// subkeys. A file: its name, 1 for a directory or 0, its attributes, its contents (files
// only), the number of its entries, then its entries. Numbers take 7 bits a byte, texts
// their length and their bytes. The top level (the registry's two roots, the drives' roots)
// runs to the stream's end.

// Where a copy is written: the text itself, or only its length, counted first so that the
// copy is made at its size at once (a string doubling its capacity as it grows would, for a
// moment, hold three times the registry's copy).
struct Length {
  std::size_t size = 0;
  Length& operator+=(char) {
    ++size;
    return *this;
  }
  void append(std::string_view text) { size += text.size(); }
};

template <typename Out>
void PutNumber(Out& out, std::uint64_t n) {
  while (n >= 0x80) {
    out += static_cast<char>((n & 0x7F) | 0x80);
    n >>= 7;
  }
  out += static_cast<char>(n);
}

template <typename Out>
void PutText(Out& out, std::string_view text) {
  PutNumber(out, text.size());
  out.append(text);
}

// A value's data or a file's contents, kept only to tell whether it changed: up to 8 bytes
// as they are, longer ones as a 9-byte digest (a 64-bit hash after a mark: a length no kept
// data has), so that the copy of a registry of a million values stays small.
template <typename Out>
void PutData(Out& out, std::string_view data) {
  constexpr std::size_t kKeptWhole = 8;
  if (data.size() <= kKeptWhole) return PutText(out, data);
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : data) hash = (hash ^ c) * 1099511628211ull;
  char digest[kKeptWhole + 1];
  digest[0] = '#';
  std::memcpy(digest + 1, &hash, 8);
  PutText(out, std::string_view(digest, sizeof digest));
}

class Reader {
 public:
  explicit Reader(std::string_view data) : data_(data) {}
  bool AtEnd() const { return pos_ >= data_.size(); }
  std::uint64_t Number() {
    std::uint64_t n = 0;
    for (int shift = 0;; shift += 7) {
      unsigned char c = static_cast<unsigned char>(data_[pos_++]);
      n |= static_cast<std::uint64_t>(c & 0x7F) << shift;
      if (!(c & 0x80)) return n;
    }
  }
  std::string_view Text() {
    std::size_t n = static_cast<std::size_t>(Number());
    std::string_view text = data_.substr(pos_, n);
    pos_ += n;
    return text;
  }
  std::string_view PeekText() const {
    Reader copy(*this);
    return copy.Text();
  }

 private:
  std::string_view data_;
  std::size_t pos_ = 0;
};

// A name whose last character is half a double-byte character: in a path the backslash
// after it would be read as that character's second half.
bool EndsInHalfCharacter(std::string_view name) {
  std::size_t i = 0, last = 0;
  while (i < name.size()) {
    last = i;
    i += cp932::CharLength(name, i);
  }
  return !name.empty() && i - last == 1 && cp932::IsLeadByte(static_cast<unsigned char>(name[last]));
}

template <typename Out>
class RegistryCopy final : public SimMachine::RegistryVisitor {
 public:
  RegistryCopy(Out& out, bool& odd) : out_(out), odd_(odd) {}
  void Key(std::string_view name, std::size_t values, std::size_t subkeys) override {
    // A key named '"...' under K makes K's value ids and its own keys' value ids meet.
    if ((!name.empty() && name.front() == '"') || EndsInHalfCharacter(name)) odd_ = true;
    PutText(out_, name);
    PutNumber(out_, values);
    PutNumber(out_, subkeys);
  }
  void Value(RegValueView v) override {
    PutText(out_, v.name);
    PutNumber(out_, v.type);
    PutData(out_, v.data);
  }

 private:
  Out& out_;
  bool& odd_;
};

template <typename Out>
class FileCopy final : public SimMachine::FileVisitor {
 public:
  FileCopy(Out& out, bool& odd) : out_(out), odd_(odd) {}
  void File(std::string_view name, bool directory, qx::DWORD attributes, std::string_view contents,
            std::size_t entries) override {
    if (EndsInHalfCharacter(name)) odd_ = true;
    PutText(out_, name);
    PutNumber(out_, directory ? 1 : 0);
    PutNumber(out_, attributes);
    if (!directory) PutData(out_, contents);
    PutNumber(out_, entries);
  }

 private:
  Out& out_;
  bool& odd_;
};

struct KeyHead {
  struct Value {
    std::string_view name;
    std::uint64_t type;
    std::string_view data;
  };
  std::string_view name;
  std::vector<Value> values;
  std::uint64_t subkeys = 0;
};

KeyHead ReadKey(Reader& r) {
  KeyHead h;
  h.name = r.Text();
  std::uint64_t values = r.Number();
  h.subkeys = r.Number();
  h.values.reserve(static_cast<std::size_t>(values));
  for (std::uint64_t i = 0; i < values; ++i) {
    KeyHead::Value v;
    v.name = r.Text();
    v.type = r.Number();
    v.data = r.Text();
    h.values.push_back(v);
  }
  return h;
}

struct FileHead {
  std::string_view name;
  bool directory = false;
  std::uint64_t attributes = 0;
  std::string_view contents;
  std::uint64_t entries = 0;
};

FileHead ReadFile(Reader& r) {
  FileHead h;
  h.name = r.Text();
  h.directory = r.Number() != 0;
  h.attributes = r.Number();
  if (!h.directory) h.contents = r.Text();
  h.entries = r.Number();
  return h;
}

std::string ValueId(const std::string& key, std::string_view name) {
  return cp932::Fold(key + "\\\"" + std::string(name) + "\"");
}

std::string ValueShown(const std::string& key, std::string_view name) {
  return key + (name.empty() ? std::string(" (default)") : " \"" + std::string(name) + "\"");
}

std::string FileHolds(std::uint64_t attributes, bool directory, std::string_view contents) {
  char text[16];
  std::snprintf(text, sizeof text, "%08lx:", static_cast<unsigned long>(attributes));
  return text + (directory ? std::string() : std::string(contents));
}

Kind FileKind(bool directory) { return directory ? Kind::kFolders : Kind::kFiles; }
Kind GroupKind(bool directory) { return directory ? Kind::kGroups : Kind::kShortcuts; }

// ---------------------------------------------------------------- what changed in the trees

// Changed objects of the trees' kinds: folded id and the name shown (code page 932).
struct Changes {
  struct Change {
    std::string id;
    std::string shown;
  };
  std::array<std::vector<Change>, kKindCount> removed, added, changed;

  // In the order of their ids, as the summary lists every kind; shown in UTF-8.
  static std::vector<std::string> Sorted(std::vector<Change>& list) {
    // The trees are walked in name order, so the list comes in a few ordered runs (a name
    // that is a prefix of its sibling's breaks one): the runs are merged, in time linear in
    // the list's length for a given number of runs, rather than the whole list sorted.
    auto byId = [](const Change& a, const Change& b) { return a.id < b.id; };
    std::vector<std::size_t> runs = {0};
    for (std::size_t i = 1; i < list.size(); ++i)
      if (byId(list[i], list[i - 1])) runs.push_back(i);
    runs.push_back(list.size());
    while (runs.size() > 2) {
      std::vector<std::size_t> merged;
      std::size_t k = 0;
      for (; k + 2 < runs.size(); k += 2) {
        std::inplace_merge(list.begin() + static_cast<std::ptrdiff_t>(runs[k]),
                           list.begin() + static_cast<std::ptrdiff_t>(runs[k + 1]),
                           list.begin() + static_cast<std::ptrdiff_t>(runs[k + 2]), byId);
        merged.push_back(runs[k]);
      }
      for (; k < runs.size(); ++k) merged.push_back(runs[k]);
      runs = std::move(merged);
    }
    std::vector<std::string> out;
    out.reserve(list.size());
    for (const Change& c : list) out.push_back(Cp932ToUtf8Lossy(c.shown));
    return out;
  }
};

// Whether a path's folded text F starts with a program folder (each ends in a backslash)
// shorter than F, given the same for its parent's folded text parentF (a prefix of F).
bool Under(const std::set<std::string, std::less<>>& folders, bool parentUnder, std::string_view parentF,
           std::string_view f) {
  if (parentUnder) return true;
  if (folders.empty()) return false;
  for (std::size_t len = std::max<std::size_t>(parentF.size(), 1); len < f.size(); ++len)
    if (f[len - 1] == '\\' && folders.count(f.substr(0, len))) return true;
  return false;
}

// The two trees side by side, a level at a time: both levels are in the order of their
// folded names, so one pass over each finds what only one side has and what both have.
// When no name is odd (MachineView::oddNames), two objects have the same folded path
// exactly when their names are the same level by level, so this finds what a comparison of
// folded paths would.
class TreeComparer {
 public:
  TreeComparer(const MachineView& before, const MachineView& after, Changes& out)
      : before_(before), after_(after), out_(out) {
    foldersB_.insert(before.programFolders.begin(), before.programFolders.end());
    foldersA_.insert(after.programFolders.begin(), after.programFolders.end());
  }

  void Run() {
    Reader rb(before_.registry), ra(after_.registry);
    KeyLists(rb, 0, ra, 0, true);
    Reader fb(before_.files), fa(after_.files);
    FileLists(fb, 0, fa, 0, true, false, false);
  }

 private:
  enum Side { kBefore, kAfter };

  void Emit(std::array<std::vector<Changes::Change>, kKindCount>& list, Kind kind, std::string id,
            std::string shown) {
    list[static_cast<int>(kind)].push_back({std::move(id), std::move(shown)});
  }
  std::array<std::vector<Changes::Change>, kKindCount>& Gone(Side side) {
    return side == kBefore ? out_.removed : out_.added;
  }

  // ---- registry

  static bool More(const Reader& r, std::uint64_t left, bool top) { return top ? !r.AtEnd() : left > 0; }

  void KeyLists(Reader& rb, std::uint64_t nb, Reader& ra, std::uint64_t na, bool top) {
    for (;;) {
      bool hb = More(rb, nb, top), ha = More(ra, na, top);
      if (!hb && !ha) return;
      int c = !hb ? 1 : !ha ? -1 : cp932::CompareNoCase(rb.PeekText(), ra.PeekText());
      if (c < 0) {
        OneKey(rb, pathB_, kBefore, top);
        --nb;
      } else if (c > 0) {
        OneKey(ra, pathA_, kAfter, top);
        --na;
      } else {
        BothKeys(rb, ra, top);
        --nb;
        --na;
      }
    }
  }

  static void Enter(std::string& path, std::string_view name, bool top) {
    if (!top) path += '\\';
    path.append(name);
  }

  // A key only one side has: it and all below it were removed (added).
  void OneKey(Reader& r, std::string& path, Side side, bool top) {
    KeyHead h = ReadKey(r);
    std::size_t mark = path.size();
    Enter(path, h.name, top);
    if (!top) {
      Emit(Gone(side), Kind::kKeys, cp932::Fold(path), path);
      // In name order, as the lists are wanted in the end (see Changes::Sorted).
      auto byName = [](const KeyHead::Value& x, const KeyHead::Value& y) {
        return cp932::CompareNoCase(x.name, y.name) < 0;
      };
      if (!std::is_sorted(h.values.begin(), h.values.end(), byName))
        std::sort(h.values.begin(), h.values.end(), byName);
      for (const auto& v : h.values) Emit(Gone(side), Kind::kValues, ValueId(path, v.name), ValueShown(path, v.name));
    }
    for (std::uint64_t i = 0; i < h.subkeys; ++i) OneKey(r, path, side, false);
    path.resize(mark);
  }

  void BothKeys(Reader& rb, Reader& ra, bool top) {
    KeyHead hb = ReadKey(rb), ha = ReadKey(ra);
    std::size_t markB = pathB_.size(), markA = pathA_.size();
    Enter(pathB_, hb.name, top);
    Enter(pathA_, ha.name, top);
    if (!top) Values(hb.values, ha.values);
    KeyLists(rb, hb.subkeys, ra, ha.subkeys, false);
    pathB_.resize(markB);
    pathA_.resize(markA);
  }

  // The values of one key on both sides, matched by folded name.
  void Values(std::vector<KeyHead::Value>& b, std::vector<KeyHead::Value>& a) {
    auto byName = [](const KeyHead::Value& x, const KeyHead::Value& y) {
      return cp932::CompareNoCase(x.name, y.name) < 0;
    };
    // Values often come in name order already (a list of printers): then nothing to sort.
    if (!std::is_sorted(b.begin(), b.end(), byName)) std::sort(b.begin(), b.end(), byName);
    if (!std::is_sorted(a.begin(), a.end(), byName)) std::sort(a.begin(), a.end(), byName);
    std::size_t i = 0, j = 0;
    while (i < b.size() || j < a.size()) {
      int c = i == b.size() ? 1 : j == a.size() ? -1 : cp932::CompareNoCase(b[i].name, a[j].name);
      if (c < 0) {
        Emit(out_.removed, Kind::kValues, ValueId(pathB_, b[i].name), ValueShown(pathB_, b[i].name));
        ++i;
      } else if (c > 0) {
        Emit(out_.added, Kind::kValues, ValueId(pathA_, a[j].name), ValueShown(pathA_, a[j].name));
        ++j;
      } else {
        if (b[i].type != a[j].type || b[i].data != a[j].data)
          Emit(out_.changed, Kind::kValues, ValueId(pathA_, a[j].name), ValueShown(pathA_, a[j].name));
        ++i;
        ++j;
      }
    }
  }

  // ---- files

  void FileLists(Reader& rb, std::uint64_t nb, Reader& ra, std::uint64_t na, bool top, bool underB, bool underA) {
    for (;;) {
      bool hb = More(rb, nb, top), ha = More(ra, na, top);
      if (!hb && !ha) return;
      int c = !hb ? 1 : !ha ? -1 : cp932::CompareNoCase(rb.PeekText(), ra.PeekText());
      if (c < 0) {
        OneFile(rb, pathB_, kBefore, top, underB);
        --nb;
      } else if (c > 0) {
        OneFile(ra, pathA_, kAfter, top, underA);
        --na;
      } else {
        BothFiles(rb, ra, top, underB, underA);
        --nb;
        --na;
      }
    }
  }

  void OneFile(Reader& r, std::string& path, Side side, bool top, bool parentUnder) {
    FileHead h = ReadFile(r);
    std::size_t mark = path.size(), markF = folded_.size();
    Enter(path, h.name, top);
    Enter(folded_, cp932::Fold(h.name), top);
    bool under = Under(side == kBefore ? foldersB_ : foldersA_, parentUnder,
                       std::string_view(folded_).substr(0, markF), folded_);
    if (!top) {
      Emit(Gone(side), FileKind(h.directory), folded_, path);
      if (under) Emit(Gone(side), GroupKind(h.directory), folded_, path);
    }
    for (std::uint64_t i = 0; i < h.entries; ++i) OneFile(r, path, side, false, under);
    path.resize(mark);
    folded_.resize(markF);
  }

  void BothFiles(Reader& rb, Reader& ra, bool top, bool parentUnderB, bool parentUnderA) {
    FileHead hb = ReadFile(rb), ha = ReadFile(ra);
    std::size_t markB = pathB_.size(), markA = pathA_.size(), markF = folded_.size();
    Enter(pathB_, hb.name, top);
    Enter(pathA_, ha.name, top);
    Enter(folded_, cp932::Fold(hb.name), top);
    std::string_view parentF = std::string_view(folded_).substr(0, markF);
    bool underB = Under(foldersB_, parentUnderB, parentF, folded_);
    bool underA = Under(foldersA_, parentUnderA, parentF, folded_);
    if (!top) {
      if (hb.directory == ha.directory) {
        if (hb.attributes != ha.attributes || (!hb.directory && hb.contents != ha.contents))
          Emit(out_.changed, FileKind(ha.directory), folded_, pathA_);
        if (underB && !underA) Emit(out_.removed, GroupKind(hb.directory), folded_, pathB_);
        if (underA && !underB) Emit(out_.added, GroupKind(ha.directory), folded_, pathA_);
      } else {
        Emit(out_.removed, FileKind(hb.directory), folded_, pathB_);
        Emit(out_.added, FileKind(ha.directory), folded_, pathA_);
        if (underB) Emit(out_.removed, GroupKind(hb.directory), folded_, pathB_);
        if (underA) Emit(out_.added, GroupKind(ha.directory), folded_, pathA_);
      }
    }
    FileLists(rb, hb.entries, ra, ha.entries, false, underB, underA);
    pathB_.resize(markB);
    pathA_.resize(markA);
    folded_.resize(markF);
  }

  const MachineView& before_;
  const MachineView& after_;
  Changes& out_;
  std::set<std::string, std::less<>> foldersB_, foldersA_;
  std::string pathB_, pathA_;  // the current node's path on each side, as written
  std::string folded_;         // its folded path (the same on both sides where both have it)
};

// ---------------------------------------------------------------- path by path

using PathMaps = std::array<std::map<std::string, Object>, kKindCount>;

void PutPath(PathMaps& maps, Kind kind, const std::string& name, std::string shown, std::string holds = "") {
  maps[static_cast<int>(kind)][cp932::Fold(name)] = Object{std::move(shown), std::move(holds)};
}

bool UnderByPrefix(const std::vector<std::string>& folders, const std::string& folded) {
  for (const std::string& root : folders)
    if (folded.size() > root.size() && folded.compare(0, root.size(), root) == 0) return true;
  return false;
}

// The trees' objects by folded path, from a machine's own listing: a name that the folded
// paths cannot tell apart merges objects as it did, and a key whose path does not lead back
// to it shows no values, as it did.
void PathsOfMachine(const SimMachine& m, const std::vector<std::string>& programFolders, PathMaps& maps) {
  for (const qx::sim::FileEntry& f : m.AllFiles()) {
    std::string folded = cp932::Fold(f.path);
    PutPath(maps, FileKind(f.directory), f.path, f.path, FileHolds(f.attributes, f.directory, f.contents));
    if (UnderByPrefix(programFolders, folded)) PutPath(maps, GroupKind(f.directory), f.path, f.path);
  }
  for (const std::string& key : m.AllKeys()) {
    PutPath(maps, Kind::kKeys, key, key);
    for (const RegValue& v : m.Values(key)) {
      std::string id = key + "\\\"" + v.name + "\"";
      PutPath(maps, Kind::kValues, id, ValueShown(key, v.name), Holds(v));
    }
  }
}

// The same from a copy whose names are not odd (where each path leads back to its key).
void PathsOfCopy(const MachineView& view, PathMaps& maps) {
  std::function<void(Reader&, std::string&, bool)> file = [&](Reader& r, std::string& path, bool top) {
    FileHead h = ReadFile(r);
    std::size_t mark = path.size();
    if (!top) path += '\\';
    path.append(h.name);
    if (!top) {
      PutPath(maps, FileKind(h.directory), path, path, FileHolds(h.attributes, h.directory, h.contents));
      if (UnderByPrefix(view.programFolders, cp932::Fold(path))) PutPath(maps, GroupKind(h.directory), path, path);
    }
    for (std::uint64_t i = 0; i < h.entries; ++i) file(r, path, false);
    path.resize(mark);
  };
  std::string path;
  for (Reader r(view.files); !r.AtEnd();) file(r, path, true);
  std::function<void(Reader&, std::string&, bool)> key = [&](Reader& r, std::string& path, bool top) {
    KeyHead h = ReadKey(r);
    std::size_t mark = path.size();
    if (!top) path += '\\';
    path.append(h.name);
    if (!top) {
      PutPath(maps, Kind::kKeys, path, path);
      for (const auto& v : h.values)
        PutPath(maps, Kind::kValues, path + "\\\"" + std::string(v.name) + "\"", ValueShown(path, v.name),
                std::to_string(v.type) + ":" + std::string(v.data));
    }
    for (std::uint64_t i = 0; i < h.subkeys; ++i) key(r, path, false);
    path.resize(mark);
  };
  for (Reader r(view.registry); !r.AtEnd();) key(r, path, true);
}

// Both trees compared by folded paths: used when a name is odd on either side.
void ComparePathByPath(const MachineView& before, const MachineView& after, Changes& out) {
  PathMaps b, a;
  if (before.oddNames) b = before.paths; else PathsOfCopy(before, b);
  if (after.oddNames) a = after.paths; else PathsOfCopy(after, a);
  for (int k = 0; k < kKindCount; ++k) {
    for (const auto& [id, o] : b[k]) {
      auto it = a[k].find(id);
      if (it == a[k].end()) out.removed[k].push_back({id, o.shown});
      else if (it->second.holds != o.holds) out.changed[k].push_back({id, it->second.shown});
    }
    for (const auto& [id, o] : a[k])
      if (!b[k].count(id)) out.added[k].push_back({id, o.shown});
  }
}

}  // namespace

const char* KindName(Kind kind) {
  static const char* const kNames[kKindCount] = {
      "files",         "folders", "registry keys", "registry values", "services",
      "printers",      "printer drivers", "print monitors", "ports", "print processors",
      "program groups", "shortcuts", "waiting for the restart"};
  return kNames[static_cast<int>(kind)];
}

MachineView Capture(const SimMachine& m, const MachineView* like) {
  MachineView view;
  view.programFolders = ProgramFolders(m);
  if (like) {
    // The machine a moment before (or its twin): its sizes and an eighth more.
    view.registry.reserve(like->registry.size() + like->registry.size() / 8);
    view.files.reserve(like->files.size() + like->files.size() / 8);
  } else {
    Length registryLength, filesLength;
    bool odd = false;
    RegistryCopy<Length> registrySize(registryLength, odd);
    m.VisitRegistry(registrySize);
    FileCopy<Length> filesSize(filesLength, odd);
    m.VisitFiles(filesSize);
    view.registry.reserve(registryLength.size);
    view.files.reserve(filesLength.size);
  }
  RegistryCopy<std::string> registry(view.registry, view.oddNames);
  m.VisitRegistry(registry);
  FileCopy<std::string> files(view.files, view.oddNames);
  m.VisitFiles(files);
  if (view.oddNames) PathsOfMachine(m, view.programFolders, view.paths);
  std::map<std::string, qx::DWORD> states;
  for (const auto& [name, state] : m.ServiceStates()) states[cp932::Fold(name)] = state;
  for (const std::string& s : m.Subkeys(kServicesKey)) {
    std::string key = std::string(kServicesKey) + "\\" + s;
    bool service = m.Value(key, "Type") || m.Value(key, "ImagePath") || states.count(cp932::Fold(s));
    if (!service) continue;
    auto state = states.find(cp932::Fold(s));
    std::string holds = state == states.end() ? "stopped" : std::to_string(state->second);
    Put(view, Kind::kServices, s, s, holds + "\n" + KeyHolds(m, key));
  }
  CaptureSpooler(m, view);
  CaptureRestart(m, view);
  return view;
}

bool Summary::empty() const {
  for (const KindChange& k : kinds)
    if (!k.empty()) return false;
  return unknownFiles.empty();
}

Summary Compare(const MachineView& before, const MachineView& after) {
  Summary s;
  Changes trees;
  if (before.oddNames || after.oddNames)
    ComparePathByPath(before, after, trees);
  else
    TreeComparer(before, after, trees).Run();
  for (int k = 0; k < kKindCount; ++k) {
    KindChange& c = s.kinds[k];
    c.removed = Changes::Sorted(trees.removed[k]);
    c.added = Changes::Sorted(trees.added[k]);
    c.changed = Changes::Sorted(trees.changed[k]);
    // The kinds kept by name (the trees hold none of them): both lists side by side.
    const auto& b = before.objects[k];
    const auto& a = after.objects[k];
    auto ib = b.begin(), ia = a.begin();
    while (ib != b.end() || ia != a.end()) {
      if (ia == a.end() || (ib != b.end() && ib->first < ia->first)) {
        c.removed.push_back(ib->second.shown);
        ++ib;
      } else if (ib == b.end() || ia->first < ib->first) {
        c.added.push_back(ia->second.shown);
        ++ia;
      } else {
        if (ia->second.holds != ib->second.holds) c.changed.push_back(ia->second.shown);
        ++ib;
        ++ia;
      }
    }
  }
  return s;
}

std::string FormatSummary(const Summary& summary, bool verbose) {
  std::string out;
  for (int k = 0; k < kKindCount; ++k) {
    const KindChange& c = summary.kinds[k];
    std::string counts;
    auto count = [&](const std::vector<std::string>& names, const char* what) {
      if (names.empty()) return;
      counts += (counts.empty() ? "" : ", ") + std::to_string(names.size()) + " " + what;
    };
    count(c.removed, "removed");
    count(c.added, "added");
    count(c.changed, "changed");
    char line[160];
    std::snprintf(line, sizeof line, "  %-24s %s\n", KindName(static_cast<Kind>(k)),
                  counts.empty() ? "no change" : counts.c_str());
    out += line;
    if (!verbose) continue;
    for (const std::string& n : c.removed) out += "      - " + n + "\n";
    for (const std::string& n : c.added) out += "      + " + n + "\n";
    for (const std::string& n : c.changed) out += "      ~ " + n + "\n";
  }
  if (!summary.unknownFiles.empty()) {
    char line[160];
    std::snprintf(line, sizeof line, "  %-24s %zu the run looked for; the image does not hold them\n", "unknown files",
                  summary.unknownFiles.size());
    out += line;
    out += "      The preview cannot tell whether the real machine has them: those it has, the run\n"
           "      removes (or, when in use, leaves for the restart).\n";
    if (verbose)
      for (const std::string& n : summary.unknownFiles) out += "      ? " + n + "\n";
  }
  return out;
}

}  // namespace qxsim
