// The simulated file system: one tree per drive letter, names kept as written and found
// without regard to case, by long or short (8.3) name.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>

#include "platform/sim/sim_state.h"

namespace qx::sim {

namespace {

using Lock = std::lock_guard<MachineMutex>;

constexpr DWORD ERROR_NOT_SAME_DEVICE = 17;
constexpr DWORD kSettableAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
constexpr const char* kSessionManager = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Characters Windows refuses in a file name; in a search pattern the wildcards are allowed.
bool HasInvalidChar(std::string_view name, bool pattern) {
  for (std::size_t i = 0; i < name.size(); i += cp932::CharLength(name, i)) {
    if (cp932::CharLength(name, i) == 2) continue;
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20) return true;
    if (c == '*' || c == '?') {
      if (!pattern) return true;
      continue;
    }
    if (std::strchr("<>:\"|", c)) return true;
  }
  return false;
}

bool HasWildcard(std::string_view name) {
  return cp932::Find(name, '*') != std::string_view::npos || cp932::Find(name, '?') != std::string_view::npos;
}

// Windows drops trailing dots and blanks from a path component ("C:\WINNT." is "C:\WINNT").
std::string StripTrailingDotsAndBlanks(std::string name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
    // A trailing byte can be the second byte of a double-byte character only if it is not
    // '.' or ' ' (trail bytes are 0x40 and above), so the cut is always safe.
    name.pop_back();
  }
  return name;
}

DWORD ReportedAttributes(const FileNode& n) {
  if (n.directory) return FILE_ATTRIBUTE_DIRECTORY | n.attributes;
  return n.attributes ? n.attributes : FILE_ATTRIBUTE_NORMAL;
}

// ---- 8.3 names

bool IsShortChar(std::string_view c) {
  if (c.size() == 2) return true;
  return c[0] != ' ' && c[0] != '.' && !std::strchr("+,;=[]", c[0]);
}

// An 8.3 name needs no short name of its own: base of 1-8 bytes, an extension of up to 3,
// at most one dot, no blanks and none of "+,;=[]". Lower case is allowed (NTFS keeps it).
bool IsValid83(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return true;
  std::size_t dot = cp932::Find(name, '.');
  if (dot != std::string_view::npos && cp932::FindLast(name, '.') != dot) return false;
  std::string_view base = dot == std::string_view::npos ? name : name.substr(0, dot);
  std::string_view ext = dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
  if (dot != std::string_view::npos && ext.empty()) return false;
  for (std::string_view part : {base, ext})
    for (std::size_t i = 0; i < part.size(); i += cp932::CharLength(part, i))
      if (!IsShortChar(part.substr(i, cp932::CharLength(part, i)))) return false;
  return true;
}

// The characters a short name keeps of a long name's part: blanks and dots dropped,
// "+,;=[]" turned into '_', letters in upper case.
std::string ShortChars(std::string_view part) {
  std::string out;
  for (std::size_t i = 0; i < part.size(); i += cp932::CharLength(part, i)) {
    std::string_view c = part.substr(i, cp932::CharLength(part, i));
    if (c.size() == 1 && (c[0] == ' ' || c[0] == '.')) continue;
    if (c.size() == 1 && std::strchr("+,;=[]", c[0])) {
      out += '_';
      continue;
    }
    out += c;
  }
  return cp932::Fold(out);
}

// ---- wildcard matching with the DOS rules that FindFirstFileA applies

enum class Tok { Literal, Star, DosStar, DosQm, DosDot };
struct PatTok {
  Tok kind;
  std::string text;  // folded character, for Literal
};

std::vector<std::string> Units(std::string_view folded) {
  std::vector<std::string> u;
  for (std::size_t i = 0; i < folded.size(); i += cp932::CharLength(folded, i))
    u.emplace_back(folded.substr(i, cp932::CharLength(folded, i)));
  return u;
}

// "*.*" is "*"; '?' matches one character, or none before a dot or at the end; "*" before a
// dot stops at the name's last dot; a dot before a wildcard or at the end also matches the
// end of the name.
std::vector<PatTok> CompilePattern(std::string_view pattern) {
  std::vector<std::string> u = Units(cp932::Fold(pattern == "*.*" ? std::string_view("*") : pattern));
  std::vector<PatTok> out;
  for (std::size_t i = 0; i < u.size(); ++i) {
    const std::string& c = u[i];
    bool nextIsDot = i + 1 < u.size() && u[i + 1] == ".";
    bool nextIsWild = i + 1 < u.size() && (u[i + 1] == "*" || u[i + 1] == "?");
    if (c == "?") {
      out.push_back({Tok::DosQm, ""});
    } else if (c == "*") {
      out.push_back({nextIsDot ? Tok::DosStar : Tok::Star, ""});
    } else if (c == "." && (nextIsWild || i + 1 == u.size())) {
      out.push_back({Tok::DosDot, ""});
    } else {
      out.push_back({Tok::Literal, c});
    }
  }
  return out;
}

bool MatchAt(const std::vector<PatTok>& p, std::size_t pi, const std::vector<std::string>& n, std::size_t ni,
             std::vector<signed char>& memo) {
  std::size_t key = pi * (n.size() + 1) + ni;
  if (memo[key] >= 0) return memo[key];
  bool r = false;
  if (pi == p.size()) {
    r = ni == n.size();
  } else {
    switch (p[pi].kind) {
      case Tok::Literal:
        r = ni < n.size() && n[ni] == p[pi].text && MatchAt(p, pi + 1, n, ni + 1, memo);
        break;
      case Tok::Star:
        for (std::size_t k = ni; k <= n.size() && !r; ++k) r = MatchAt(p, pi + 1, n, k, memo);
        break;
      case Tok::DosStar: {
        std::size_t lastDot = n.size();
        for (std::size_t k = n.size(); k-- > ni;)
          if (n[k] == ".") {
            lastDot = k;
            break;
          }
        for (std::size_t k = ni; k <= lastDot && !r; ++k) r = MatchAt(p, pi + 1, n, k, memo);
        break;
      }
      case Tok::DosQm:
        if (ni < n.size() && n[ni] != ".") {
          r = MatchAt(p, pi + 1, n, ni + 1, memo);
        } else {
          std::size_t q = pi;
          while (q < p.size() && p[q].kind == Tok::DosQm) ++q;
          r = MatchAt(p, q, n, ni, memo);
        }
        break;
      case Tok::DosDot:
        if (ni < n.size() && n[ni] == ".")
          r = MatchAt(p, pi + 1, n, ni + 1, memo);
        else if (ni == n.size())
          r = MatchAt(p, pi + 1, n, ni, memo);
        break;
    }
  }
  memo[key] = r ? 1 : 0;
  return r;
}

bool Matches(const std::vector<PatTok>& pattern, std::string_view name) {
  if (name.empty()) return false;
  std::vector<std::string> n = Units(cp932::Fold(name));
  std::vector<signed char> memo((pattern.size() + 1) * (n.size() + 1), -1);
  return MatchAt(pattern, 0, n, 0, memo);
}

WIN32_FIND_DATAA FindData(const FileNode& n, std::string_view nameOverride = {}) {
  WIN32_FIND_DATAA d;
  d.dwFileAttributes = ReportedAttributes(n);
  std::uint64_t size = n.contentsPending ? n.outsideSize : n.contents.size();
  d.nFileSizeLow = n.directory ? 0 : static_cast<DWORD>(size);
  d.nFileSizeHigh = n.directory ? 0 : static_cast<DWORD>(size >> 32);
  d.cFileName = nameOverride.empty() ? n.name : std::string(nameOverride);
  d.cAlternateFileName = nameOverride.empty() ? n.shortName : "";
  return d;
}

std::string JoinParsed(const ParsedPath& p) {
  std::string s(1, p.drive);
  s += ":\\";
  for (std::size_t i = 0; i < p.parts.size(); ++i) {
    if (i) s += '\\';
    s += p.parts[i];
  }
  return s;
}

void MarkDeleted(const std::shared_ptr<FileNode>& node) {
  std::vector<FileNode*> stack{node.get()};
  while (!stack.empty()) {
    FileNode* n = stack.back();
    stack.pop_back();
    n->deleted = true;
    for (const auto& c : n->children) stack.push_back(c.get());
  }
}

void Detach(const std::shared_ptr<FileNode>& node) { SimMachine::State::Unlink(*node); }

// Parses without the MAX_PATH limits when checkLimits is false (the machine's own set-up).
DWORD ParseImpl(const SimMachine::State& s, const char* name, ParsedPath& out, bool pattern, bool checkLimits) {
  out = ParsedPath{};
  if (!name) return ERROR_PATH_NOT_FOUND;
  std::string_view t(name);
  if (t.empty()) return ERROR_PATH_NOT_FOUND;
  if (checkLimits && cp932::CharCount(t) > MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
  std::string cur = s.CurrentDirectory();
  char curDrive = static_cast<char>(std::toupper(static_cast<unsigned char>(cur[0])));
  std::string rest;
  if (t.size() >= 2 && IsDriveLetter(t[0]) && t[1] == ':') {
    out.drive = static_cast<char>(std::toupper(static_cast<unsigned char>(t[0])));
    std::string_view after = t.substr(2);
    if (!after.empty() && IsSeparator(after[0]))
      rest = std::string(after);
    else if (out.drive == curDrive)
      rest = cur.substr(2) + "\\" + std::string(after);
    else
      rest = "\\" + std::string(after);
  } else if (t.size() >= 2 && IsSeparator(t[0]) && IsSeparator(t[1])) {
    return ERROR_PATH_NOT_FOUND;  // network and device paths are not simulated
  } else if (IsSeparator(t[0])) {
    out.drive = curDrive;
    rest = std::string(t);
  } else {
    out.drive = curDrive;
    rest = cur.substr(2) + "\\" + std::string(t);
  }
  std::vector<std::string> pieces = cp932::Split(rest, true);
  out.trailingSeparator = pieces.size() > 1 && pieces.back().empty();
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    std::string piece = pieces[i];
    bool last = i + 1 == pieces.size();
    if (piece.empty() || piece == ".") continue;
    if (piece == "..") {
      if (!out.parts.empty()) out.parts.pop_back();
      continue;
    }
    if (!(pattern && last)) piece = StripTrailingDotsAndBlanks(piece);
    if (piece.empty()) continue;
    if (HasInvalidChar(piece, pattern && last)) return ERROR_INVALID_NAME;
    out.parts.push_back(piece);
  }
  if (pattern && out.parts.size() && HasWildcard(out.parts.back()) == false) {
    // A pattern without wildcards is a plain name.
    out.parts.back() = StripTrailingDotsAndBlanks(out.parts.back());
    if (out.parts.back().empty()) out.parts.pop_back();
  }
  if (checkLimits && cp932::CharCount(JoinParsed(out)) >= MAX_PATH) return ERROR_PATH_NOT_FOUND;
  return ERROR_SUCCESS;
}

}  // namespace

// ---------------------------------------------------------------- state helpers

std::string SimMachine::State::CurrentDirectory() const {
  if (currentDirectory) return *currentDirectory;
  const std::string& m = settings.moduleFileName;
  std::size_t slash = cp932::FindLast(m, '\\');
  if (slash == std::string::npos || m.size() < 2 || m[1] != ':') return "C:\\";
  if (slash <= 2) return m.substr(0, 2) + "\\";
  return m.substr(0, slash);
}

DWORD SimMachine::State::ParsePath(const char* name, ParsedPath& out, bool pattern) const {
  return ParseImpl(*this, name, out, pattern, true);
}

std::shared_ptr<FileNode> SimMachine::State::Drive(char letter) const {
  auto it = drives.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
  return it == drives.end() ? nullptr : it->second;
}

std::shared_ptr<FileNode> SimMachine::State::EnsureDrive(char letter) {
  char d = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  auto& root = drives[d];
  if (!root) {
    root = std::make_shared<FileNode>();
    root->name = std::string(1, d) + ":";
    root->directory = true;
  }
  return root;
}

// ---------------------------------------------------------------- read through from outside

void OutsideSource::List(FileNode& dir) {
  if (!dir.listingPending) return;
  dir.listingPending = false;
  std::string path = dir.outsidePath;
  if (path.size() == 2) path += '\\';  // a drive's root
  reads.push_back("D " + path);
  std::vector<SimMachine::OutsideFiles::Entry> entries;
  if (!files->List(path, entries)) return;
  std::shared_ptr<FileNode> self;
  if (auto parent = dir.parent.lock()) self = parent->children.FindLong(dir.name);
  for (const auto& root : roots)
    if (root.get() == &dir) self = root;
  for (const SimMachine::OutsideFiles::Entry& e : entries) {
    if (e.name.empty() || e.name == "." || e.name == "..") continue;
    // A directory the machine made before it looked outside (Windows' own) is the disk's.
    if (auto known = dir.children.FindLong(e.name)) {
      if (known->directory && e.directory && !known->outside) {
        known->outside = this;
        known->outsidePath = dir.outsidePath + "\\" + known->name;
        known->listingPending = true;
      }
      continue;
    }
    auto n = std::make_shared<FileNode>();
    n->name = e.name;
    n->directory = e.directory;
    n->attributes = e.attributes & ~(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL);
    n->outside = this;
    n->outsidePath = dir.outsidePath + "\\" + e.name;
    n->listingPending = e.directory;
    n->contentsPending = !e.directory;
    n->outsideSize = e.size;
    n->parent = self;
    dir.children.Insert(n);
    if (!e.shortName.empty() && !cp932::EqualNoCase(e.shortName, e.name)) dir.children.SetShortName(*n, e.shortName);
  }
}

void OutsideSource::Read(FileNode& file) {
  if (!file.contentsPending) return;
  file.contentsPending = false;
  reads.push_back("F " + file.outsidePath);
  if (!files->Read(file.outsidePath, file.contents)) file.contents.clear();
}

void OutsideSource::AskHold(FileNode& file) {
  if (file.directory || file.holdAsked || file.outsidePath.empty()) return;
  file.holdAsked = true;
  if (files->HeldOpen(file.outsidePath)) file.locked = true;
}

const FileNode& Listed(const FileNode& dir) {
  if (dir.listingPending && dir.outside) dir.outside->List(const_cast<FileNode&>(dir));
  return dir;
}

FileNode& WithContents(FileNode& file) {
  if (file.contentsPending && file.outside) file.outside->Read(file);
  return file;
}

void SimMachine::ReadFilesThrough(std::shared_ptr<OutsideFiles> outside, std::string_view drives) {
  Lock lock(state_->mu);
  state_->outsideFiles = std::make_unique<OutsideSource>();
  state_->outsideFiles->files = std::move(outside);
  for (char letter : drives) {
    auto root = state_->EnsureDrive(letter);
    root->outside = state_->outsideFiles.get();
    root->outsidePath = root->name;
    root->listingPending = true;
    state_->outsideFiles->roots.push_back(root);
  }
}

std::vector<std::string> SimMachine::OutsideReads() const {
  Lock lock(state_->mu);
  return state_->outsideFiles ? state_->outsideFiles->reads : std::vector<std::string>{};
}

void SimMachine::ReplayOutsideReads(const std::vector<std::string>& reads) {
  Lock lock(state_->mu);
  for (const std::string& read : reads) {
    if (read.size() < 3) continue;
    auto n = state_->MachineNode(std::string_view(read).substr(2), false, false);
    if (!n) continue;
    if (read[0] == 'D') Listed(*n);
    else WithContents(*n);
  }
}

// ---------------------------------------------------------------- looking names up

std::shared_ptr<FileNode> SimMachine::State::Child(const FileNode& dir, std::string_view name) {
  Listed(dir);
  if (auto c = dir.children.FindLong(name)) return c;
  if (FileNode* c = dir.children.FindShort(name)) return dir.children.FindLong(c->name);
  return nullptr;
}

// ---------------------------------------------------------------- a directory's entries

bool DirEntries::ShortLess::operator()(const FileNode* a, const FileNode* b) const {
  int c = cp932::CompareNoCase(a->shortName, b->shortName);
  return c != 0 ? c < 0 : cp932::CompareNoCase(a->name, b->name) < 0;
}
bool DirEntries::ShortLess::operator()(const FileNode* a, std::string_view b) const {
  return cp932::CompareNoCase(a->shortName, b) < 0;
}
bool DirEntries::ShortLess::operator()(std::string_view a, const FileNode* b) const {
  return cp932::CompareNoCase(a, b->shortName) < 0;
}

FileNode* DirEntries::FindShort(std::string_view name) const {
  auto it = byShort_.lower_bound(name);
  return it != byShort_.end() && cp932::EqualNoCase((*it)->shortName, name) ? *it : nullptr;
}

bool DirEntries::Insert(const std::shared_ptr<FileNode>& node) {
  if (!byLong_.Insert(node)) return false;
  if (!node->shortName.empty()) byShort_.insert(node.get());
  return true;
}

void DirEntries::Erase(const FileNode& node) {
  auto found = byLong_.Find(node.name);
  if (!found) return;
  if (!found->shortName.empty()) byShort_.erase(found.get());
  byLong_.Erase(found->name);
  if (hints_) hints_->clear();  // a name is free again
}

void DirEntries::SetShortName(FileNode& node, std::string shortName) {
  bool inHere = byLong_.Find(node.name).get() == &node;
  if (inHere && !node.shortName.empty()) {
    byShort_.erase(&node);
    if (hints_) hints_->clear();
  }
  node.shortName = std::move(shortName);
  if (inHere && !node.shortName.empty()) byShort_.insert(&node);
}

bool DirEntries::Taken(std::string_view candidate, const FileNode* except) const {
  if (auto c = byLong_.Find(candidate); c && c.get() != except) return true;
  for (auto it = byShort_.lower_bound(candidate);
       it != byShort_.end() && cp932::EqualNoCase((*it)->shortName, candidate); ++it)
    if (*it != except) return true;
  return false;
}

std::unordered_map<std::string, std::uint32_t>& DirEntries::Hints() {
  if (!hints_) hints_ = std::make_unique<std::unordered_map<std::string, std::uint32_t>>();
  return *hints_;
}

void SimMachine::State::Unlink(FileNode& node) {
  if (auto p = node.parent.lock()) p->children.Erase(node);
}

void SimMachine::State::LinkInto(const std::shared_ptr<FileNode>& dir, const std::shared_ptr<FileNode>& node) {
  node->parent = dir;
  dir->children.Insert(node);
}

DWORD SimMachine::State::WalkDirectory(const ParsedPath& p, std::size_t count, std::shared_ptr<FileNode>& dir) const {
  dir = Drive(p.drive);
  if (!dir) return ERROR_PATH_NOT_FOUND;
  for (std::size_t i = 0; i < count; ++i) {
    auto c = Child(*dir, p.parts[i]);
    if (!c || !c->directory) return ERROR_PATH_NOT_FOUND;
    dir = c;
  }
  return ERROR_SUCCESS;
}

DWORD SimMachine::State::ParseAndLookup(const char* name, ParsedPath& p, std::shared_ptr<FileNode>& node) const {
  if (DWORD e = ParsePath(name, p); e != ERROR_SUCCESS) return e;
  return Lookup(p, node);
}

DWORD SimMachine::State::Lookup(const ParsedPath& p, std::shared_ptr<FileNode>& node,
                                std::shared_ptr<FileNode>* parent) const {
  node = nullptr;
  if (p.parts.empty()) {
    node = Drive(p.drive);
    if (parent) *parent = nullptr;
    return node ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
  }
  std::shared_ptr<FileNode> dir;
  if (DWORD e = WalkDirectory(p, p.parts.size() - 1, dir); e != ERROR_SUCCESS) return e;
  if (parent) *parent = dir;
  node = Child(*dir, p.parts.back());
  return node ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

std::string SimMachine::State::NodePath(const FileNode& node) {
  std::vector<std::string> names;
  std::shared_ptr<FileNode> keep;
  const FileNode* n = &node;
  while (n) {
    names.push_back(n->name);
    keep = n->parent.lock();
    n = keep.get();
  }
  std::string path;
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    path += *it;
    if (it + 1 != names.rend()) path += '\\';
  }
  if (names.size() == 1) path += '\\';
  return path;
}

std::string SimMachine::State::FullPath(const char* name) const {
  ParsedPath p;
  if (ParseImpl(*this, name, p, false, false) != ERROR_SUCCESS) return name ? name : "";
  return JoinParsed(p);
}

void SimMachine::State::AssignShortName(FileNode& dir, FileNode& node) {
  node.shortName.clear();
  if (IsValid83(node.name)) return;
  std::string_view n = node.name;
  while (!n.empty() && n.front() == '.') n.remove_prefix(1);
  std::size_t dot = cp932::FindLast(n, '.');
  std::string base = ShortChars(dot == std::string_view::npos ? n : n.substr(0, dot));
  std::string ext = dot == std::string_view::npos ? "" : ShortChars(n.substr(dot + 1));
  ext = std::string(cp932::Truncate(ext, 3));
  if (base.empty()) base = "_";
  // "~1" to "~9" after six characters, then fewer characters as the number grows: the first
  // number whose name no entry has. Names of one number of digits share their pattern (the
  // kept characters and the extension) with every long name that keeps the same ones, and
  // the directory remembers how far each pattern's numbers are known to be taken, so that a
  // thousand names alike cost a thousand steps, not half a million.
  std::unordered_map<std::string, std::uint32_t>& hints = dir.children.Hints();
  std::uint32_t first = 1;
  for (std::size_t digits = 1; digits <= 6; first *= 10, ++digits) {
    const std::uint32_t last = first * 10 - 1;
    std::string stem(cp932::Truncate(base, std::min<std::size_t>(6, 7 - digits)));
    std::string pattern = stem + '~' + static_cast<char>('0' + digits) + '.' + ext;
    std::uint32_t& hint = hints[pattern];
    for (std::uint32_t i = std::max(first, hint); i <= last; ++i) {
      std::string candidate = stem + "~" + std::to_string(i);
      if (!ext.empty()) candidate += "." + ext;
      if (!dir.children.Taken(candidate, &node)) {
        hint = i;
        node.shortName = std::move(candidate);
        return;
      }
    }
    hint = last + 1;
  }
}

std::shared_ptr<FileNode> SimMachine::State::AddNode(const std::shared_ptr<FileNode>& dir, std::string_view name,
                                                     bool directory) {
  auto n = std::make_shared<FileNode>();
  n->name = std::string(name);
  n->directory = directory;
  n->attributes = directory ? 0 : FILE_ATTRIBUTE_ARCHIVE;
  AssignShortName(*dir, *n);
  LinkInto(dir, n);
  return n;
}

bool SimMachine::State::OpenedWithout(const FileNode& node, DWORD share) const {
  for (const auto& [_, obj] : kernelHandles) {
    const auto* f = std::get_if<OpenFile>(&obj);
    if (f && f->node.get() == &node && (f->access & (GENERIC_READ | GENERIC_WRITE)) && !(f->share & share))
      return true;
  }
  return false;
}

bool SimMachine::State::IsCurrentDirectory(const FileNode& node) const {
  ParsedPath p;
  std::string cur = CurrentDirectory();
  if (ParseImpl(*this, cur.c_str(), p, false, false) != ERROR_SUCCESS) return false;
  std::shared_ptr<FileNode> n;
  return Lookup(p, n) == ERROR_SUCCESS && n.get() == &node;
}

DWORD SimMachine::State::ReadWholeFile(const std::string& path, std::string& contents) {
  ParsedPath p;
  if (DWORD e = ParsePath(path.c_str(), p); e != ERROR_SUCCESS) return e;
  std::shared_ptr<FileNode> n;
  if (DWORD e = Lookup(p, n); e != ERROR_SUCCESS) return e;
  if (n->directory) return ERROR_ACCESS_DENIED;
  if (HeldOpen(*n) || OpenedWithout(*n, FILE_SHARE_READ)) return ERROR_SHARING_VIOLATION;
  contents = WithContents(*n).contents;
  return ERROR_SUCCESS;
}

DWORD SimMachine::State::WriteWholeFile(const std::string& path, const std::string& contents) {
  ParsedPath p;
  if (DWORD e = ParsePath(path.c_str(), p); e != ERROR_SUCCESS) return e;
  if (p.parts.empty()) return ERROR_ACCESS_DENIED;
  std::shared_ptr<FileNode> dir;
  if (DWORD e = WalkDirectory(p, p.parts.size() - 1, dir); e != ERROR_SUCCESS) return e;
  auto n = Child(*dir, p.parts.back());
  if (n) {
    if (n->directory || (n->attributes & FILE_ATTRIBUTE_READONLY)) return ERROR_ACCESS_DENIED;
    if (HeldOpen(*n) || OpenedWithout(*n, FILE_SHARE_WRITE)) return ERROR_SHARING_VIOLATION;
  } else {
    n = AddNode(dir, p.parts.back(), false);
  }
  n->contentsPending = false;
  n->contents = contents;
  return ERROR_SUCCESS;
}

std::shared_ptr<FileNode> SimMachine::State::MachineNode(std::string_view path, bool create, bool directory) {
  std::string text(path);
  ParsedPath p;
  if (ParseImpl(*this, text.c_str(), p, false, false) != ERROR_SUCCESS) return nullptr;
  std::shared_ptr<FileNode> n = create ? EnsureDrive(p.drive) : Drive(p.drive);
  if (!n) return nullptr;
  for (std::size_t i = 0; i < p.parts.size(); ++i) {
    bool last = i + 1 == p.parts.size();
    auto c = Child(*n, p.parts[i]);
    if (!c) {
      if (!create) return nullptr;
      c = AddNode(n, p.parts[i], last ? directory : true);
    } else if (!last && !c->directory) {
      return nullptr;
    }
    n = c;
  }
  return n;
}

// ---------------------------------------------------------------- the facet

HANDLE FilesCore::CreateFileA(const char* name, DWORD access, DWORD shareMode, DWORD creation,
                              DWORD flagsAndAttributes) {
  Lock lock(s_.mu);
  auto fail = [&](DWORD e) {
    s_.SetError(e);
    return INVALID_HANDLE_VALUE;
  };
  if (creation < CREATE_NEW || creation > TRUNCATE_EXISTING) return fail(ERROR_INVALID_PARAMETER);
  ParsedPath p;
  if (DWORD e = s_.ParsePath(name, p); e != ERROR_SUCCESS) return fail(e);
  if (p.parts.empty()) return fail(ERROR_ACCESS_DENIED);
  std::shared_ptr<FileNode> dir;
  if (DWORD e = s_.WalkDirectory(p, p.parts.size() - 1, dir); e != ERROR_SUCCESS) return fail(e);
  auto node = SimMachine::State::Child(*dir, p.parts.back());
  DWORD lastError = ERROR_SUCCESS;
  if (node) {
    if (node->directory) return fail(ERROR_ACCESS_DENIED);
    if (creation == CREATE_NEW) return fail(ERROR_FILE_EXISTS);
    if (creation == TRUNCATE_EXISTING && !(access & GENERIC_WRITE)) return fail(ERROR_INVALID_PARAMETER);
    bool truncating = creation == CREATE_ALWAYS || creation == TRUNCATE_EXISTING;
    if ((access & GENERIC_WRITE) || truncating) {
      if (node->attributes & FILE_ATTRIBUTE_READONLY) return fail(ERROR_ACCESS_DENIED);
    }
    if (creation == CREATE_ALWAYS) {
      DWORD hs = node->attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
      if ((flagsAndAttributes & hs) != hs) return fail(ERROR_ACCESS_DENIED);
    }
    bool dataAccess = (access & (GENERIC_READ | GENERIC_WRITE)) || truncating;
    if (s_.HeldOpen(*node) && dataAccess) return fail(ERROR_SHARING_VIOLATION);
    for (const auto& [_, obj] : s_.kernelHandles) {
      const auto* f = std::get_if<OpenFile>(&obj);
      if (!f || f->node != node) continue;
      bool conflict = ((access & GENERIC_READ) && !(f->share & FILE_SHARE_READ)) ||
                      ((access & GENERIC_WRITE) && !(f->share & FILE_SHARE_WRITE)) ||
                      ((f->access & GENERIC_READ) && !(shareMode & FILE_SHARE_READ)) ||
                      ((f->access & GENERIC_WRITE) && !(shareMode & FILE_SHARE_WRITE));
      if (conflict) return fail(ERROR_SHARING_VIOLATION);
    }
    if (truncating) node->contentsPending = false;
    WithContents(*node);
    if (truncating) node->contents.clear();
    if (creation == CREATE_ALWAYS) node->attributes = (flagsAndAttributes & kSettableAttributes) | FILE_ATTRIBUTE_ARCHIVE;
    if (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS) lastError = ERROR_ALREADY_EXISTS;
  } else {
    if (creation == OPEN_EXISTING || creation == TRUNCATE_EXISTING) return fail(ERROR_FILE_NOT_FOUND);
    node = s_.AddNode(dir, p.parts.back(), false);
    node->attributes = (flagsAndAttributes & kSettableAttributes) | FILE_ATTRIBUTE_ARCHIVE;
  }
  OpenFile f;
  f.node = node;
  f.path = SimMachine::State::NodePath(*node);
  f.access = access;
  f.share = shareMode;
  HANDLE h = s_.NewKernelHandle(std::move(f));
  s_.SetError(lastError);
  return h;
}

BOOL FilesCore::ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read) {
  Lock lock(s_.mu);
  if (read) *read = 0;
  auto* obj = s_.Kernel(file);
  auto* f = obj ? std::get_if<OpenFile>(obj) : nullptr;
  if (!f) return s_.SetError(ERROR_INVALID_HANDLE), FALSE;
  if (!(f->access & GENERIC_READ)) return s_.SetError(ERROR_ACCESS_DENIED), FALSE;
  if (!buffer && toRead) return s_.SetError(ERROR_INVALID_PARAMETER), FALSE;
  const std::string& c = f->node->contents;
  std::uint64_t avail = f->position < c.size() ? c.size() - f->position : 0;
  DWORD n = static_cast<DWORD>(std::min<std::uint64_t>(avail, toRead));
  if (n) std::memcpy(buffer, c.data() + f->position, n);
  f->position += n;
  if (read) *read = n;
  return TRUE;
}

BOOL FilesCore::WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written) {
  Lock lock(s_.mu);
  if (written) *written = 0;
  auto* obj = s_.Kernel(file);
  auto* f = obj ? std::get_if<OpenFile>(obj) : nullptr;
  if (!f) return s_.SetError(ERROR_INVALID_HANDLE), FALSE;
  if (!(f->access & GENERIC_WRITE)) return s_.SetError(ERROR_ACCESS_DENIED), FALSE;
  if (s_.HeldOpen(*f->node)) return s_.SetError(ERROR_SHARING_VIOLATION), FALSE;
  if (!buffer && toWrite) return s_.SetError(ERROR_INVALID_PARAMETER), FALSE;
  std::string& c = f->node->contents;
  if (c.size() < f->position + toWrite) c.resize(f->position + toWrite, '\0');
  if (toWrite) std::memcpy(c.data() + f->position, buffer, toWrite);
  f->position += toWrite;
  if (written) *written = toWrite;
  return TRUE;
}

DWORD FilesCore::SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
  Lock lock(s_.mu);
  auto* obj = s_.Kernel(file);
  auto* f = obj ? std::get_if<OpenFile>(obj) : nullptr;
  if (!f) return s_.SetError(ERROR_INVALID_HANDLE), INVALID_SET_FILE_POINTER;
  std::int64_t move = distanceHigh ? static_cast<std::int64_t>((static_cast<std::uint64_t>(
                                                                    static_cast<DWORD>(*distanceHigh))
                                                                << 32) |
                                                               static_cast<DWORD>(distance))
                                   : static_cast<std::int64_t>(distance);
  std::int64_t origin = 0;
  if (method == FILE_BEGIN)
    origin = 0;
  else if (method == FILE_CURRENT)
    origin = static_cast<std::int64_t>(f->position);
  else if (method == FILE_END)
    origin = static_cast<std::int64_t>(f->node->contents.size());
  else
    return s_.SetError(ERROR_INVALID_PARAMETER), INVALID_SET_FILE_POINTER;
  std::int64_t pos = origin + move;
  if (pos < 0) return s_.SetError(ERROR_NEGATIVE_SEEK), INVALID_SET_FILE_POINTER;
  f->position = static_cast<std::uint64_t>(pos);
  if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<std::uint64_t>(pos) >> 32);
  DWORD low = static_cast<DWORD>(static_cast<std::uint64_t>(pos) & 0xFFFFFFFFu);
  if (low == INVALID_SET_FILE_POINTER) s_.SetError(ERROR_SUCCESS);
  return low;
}

BOOL FilesCore::CloseHandle(HANDLE file) {
  Lock lock(s_.mu);
  return s_.CloseKernelHandle(file);
}

BOOL FilesCore::DeleteFileA(const char* name) {
  Lock lock(s_.mu);
  ParsedPath p;
  std::shared_ptr<FileNode> n;
  if (DWORD e = s_.ParseAndLookup(name, p, n); e != ERROR_SUCCESS) return s_.SetError(e), FALSE;
  if (n->directory || (n->attributes & FILE_ATTRIBUTE_READONLY)) return s_.SetError(ERROR_ACCESS_DENIED), FALSE;
  if (n->outside) n->outside->AskHold(*n);
  if (s_.HeldOpen(*n) || s_.OpenedWithout(*n, FILE_SHARE_DELETE)) return s_.SetError(ERROR_SHARING_VIOLATION), FALSE;
  Detach(n);
  MarkDeleted(n);
  return TRUE;
}

BOOL FilesCore::MoveFileA(const char* from, const char* to) {
  Lock lock(s_.mu);
  return Move(from, to, MOVEFILE_COPY_ALLOWED);
}

BOOL FilesCore::MoveFileExA(const char* from, const char* to, DWORD flags) {
  Lock lock(s_.mu);
  if (s_.settings.platformId == VER_PLATFORM_WIN32_WINDOWS) return s_.SetError(ERROR_CALL_NOT_IMPLEMENTED), FALSE;
  if (!(flags & MOVEFILE_DELAY_UNTIL_REBOOT)) {
    if (!to) return s_.SetError(ERROR_INVALID_PARAMETER), FALSE;
    return Move(from, to, flags);
  }
  if (flags & MOVEFILE_COPY_ALLOWED) return s_.SetError(ERROR_INVALID_PARAMETER), FALSE;
  // Recorded for the session manager as Windows records it: "\??\" and the full path of the
  // source, then the target ("!" in front when it may be replaced) or an empty string for a
  // deletion; each zero-ended, appended to what is already pending.
  ParsedPath p;
  if (DWORD e = s_.ParsePath(from, p); e != ERROR_SUCCESS) return s_.SetError(e), FALSE;
  std::string entry = "\\??\\" + JoinParsed(p);
  entry.push_back('\0');
  if (to && *to) {
    ParsedPath q;
    if (DWORD e = s_.ParsePath(to, q); e != ERROR_SUCCESS) return s_.SetError(e), FALSE;
    if (flags & MOVEFILE_REPLACE_EXISTING) entry += "!";
    entry += "\\??\\" + JoinParsed(q);
  }
  entry.push_back('\0');
  auto key = s_.EnsureKeyPath(kSessionManager);
  const auto it = key->values.Find("PendingFileRenameOperations");
  if (!it) {
    s_.SetRegValue(*key, "PendingFileRenameOperations", REG_MULTI_SZ, entry + std::string(1, '\0'));
  } else {
    std::string data(it->data);
    if (!data.empty() && data.back() == '\0') data.pop_back();  // the list's closing zero
    const std::string name(it->name);
    s_.SetRegValue(*key, name, REG_MULTI_SZ, data + entry + std::string(1, '\0'));
  }
  return TRUE;
}

BOOL FilesCore::Move(const char* from, const char* to, DWORD flags) {
  ParsedPath p, q;
  if (DWORD e = s_.ParsePath(from, p); e != ERROR_SUCCESS) return s_.SetError(e), FALSE;
  std::shared_ptr<FileNode> src;
  if (DWORD e = s_.Lookup(p, src); e != ERROR_SUCCESS) return s_.SetError(e), FALSE;
  if (DWORD e = s_.ParsePath(to, q); e != ERROR_SUCCESS) return s_.SetError(e), FALSE;
  if (p.parts.empty() || q.parts.empty()) return s_.SetError(ERROR_ACCESS_DENIED), FALSE;
  if (src->outside) src->outside->AskHold(*src);
  if (s_.HeldOpen(*src) || s_.OpenedWithout(*src, FILE_SHARE_DELETE)) return s_.SetError(ERROR_SHARING_VIOLATION), FALSE;
  std::shared_ptr<FileNode> tdir;
  if (DWORD e = s_.WalkDirectory(q, q.parts.size() - 1, tdir); e != ERROR_SUCCESS) return s_.SetError(e), FALSE;
  if (p.drive != q.drive && (src->directory || !(flags & MOVEFILE_COPY_ALLOWED)))
    return s_.SetError(ERROR_NOT_SAME_DEVICE), FALSE;
  for (auto a = tdir; a; a = a->parent.lock())
    if (a == src) return s_.SetError(ERROR_ACCESS_DENIED), FALSE;  // into itself
  auto existing = SimMachine::State::Child(*tdir, q.parts.back());
  if (existing && existing != src) {
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) return s_.SetError(ERROR_ALREADY_EXISTS), FALSE;
    if (existing->directory || src->directory || (existing->attributes & FILE_ATTRIBUTE_READONLY) ||
        s_.HeldOpen(*existing) || s_.OpenedWithout(*existing, FILE_SHARE_DELETE))
      return s_.SetError(ERROR_ACCESS_DENIED), FALSE;
    Detach(existing);
    MarkDeleted(existing);
  }
  Detach(src);
  src->name = q.parts.back();
  s_.AssignShortName(*tdir, *src);
  SimMachine::State::LinkInto(tdir, src);
  return TRUE;
}

BOOL FilesCore::SetFileAttributesA(const char* name, DWORD attributes) {
  Lock lock(s_.mu);
  ParsedPath p;
  std::shared_ptr<FileNode> n;
  if (DWORD e = s_.ParseAndLookup(name, p, n); e != ERROR_SUCCESS) return s_.SetError(e), FALSE;
  n->attributes = attributes & kSettableAttributes;
  return TRUE;
}

BOOL FilesCore::RemoveDirectoryA(const char* name) {
  Lock lock(s_.mu);
  ParsedPath p;
  std::shared_ptr<FileNode> n;
  if (DWORD e = s_.ParseAndLookup(name, p, n); e != ERROR_SUCCESS) return s_.SetError(e), FALSE;
  if (!n->directory) return s_.SetError(ERROR_DIRECTORY), FALSE;
  if (p.parts.empty() || (n->attributes & FILE_ATTRIBUTE_READONLY)) return s_.SetError(ERROR_ACCESS_DENIED), FALSE;
  // The process keeps its current directory open, so that one cannot go.
  if (s_.HeldOpen(*n) || s_.IsCurrentDirectory(*n)) return s_.SetError(ERROR_SHARING_VIOLATION), FALSE;
  if (!Listed(*n).children.empty()) return s_.SetError(ERROR_DIR_NOT_EMPTY), FALSE;
  Detach(n);
  MarkDeleted(n);
  return TRUE;
}

HANDLE FilesCore::FindFirstFileA(const char* pattern, WIN32_FIND_DATAA& data) {
  Lock lock(s_.mu);
  auto fail = [&](DWORD e) {
    s_.SetError(e);
    return INVALID_HANDLE_VALUE;
  };
  ParsedPath p;
  if (DWORD e = s_.ParsePath(pattern, p, true); e != ERROR_SUCCESS) return fail(e);
  if (p.trailingSeparator || p.parts.empty()) return fail(ERROR_FILE_NOT_FOUND);
  std::shared_ptr<FileNode> dir;
  if (DWORD e = s_.WalkDirectory(p, p.parts.size() - 1, dir); e != ERROR_SUCCESS) return fail(e);
  const std::string& last = p.parts.back();
  FindSearch search;
  search.directory = SimMachine::State::NodePath(*dir);
  if (!HasWildcard(last)) {
    auto c = SimMachine::State::Child(*dir, last);
    if (!c) return fail(ERROR_FILE_NOT_FOUND);
    search.entries.push_back(FindData(*c));
  } else {
    std::vector<PatTok> pat = CompilePattern(last);
    if (auto up = dir->parent.lock()) {
      if (Matches(pat, ".")) search.entries.push_back(FindData(*dir, "."));
      if (Matches(pat, "..")) search.entries.push_back(FindData(*up, ".."));
    }
    for (const auto& c : Listed(*dir).children)
      if (Matches(pat, c->name) || (!c->shortName.empty() && Matches(pat, c->shortName)))
        search.entries.push_back(FindData(*c));
  }
  if (search.entries.empty()) return fail(ERROR_FILE_NOT_FOUND);
  data = search.entries[0];
  search.next = 1;
  HANDLE h = s_.NewKernelHandle(std::move(search));
  s_.SetError(ERROR_SUCCESS);
  return h;
}

BOOL FilesCore::FindNextFileA(HANDLE find, WIN32_FIND_DATAA& data) {
  Lock lock(s_.mu);
  auto* obj = s_.Kernel(find);
  auto* f = obj ? std::get_if<FindSearch>(obj) : nullptr;
  if (!f) return s_.SetError(ERROR_INVALID_HANDLE), FALSE;
  if (f->next >= f->entries.size()) return s_.SetError(ERROR_NO_MORE_FILES), FALSE;
  data = f->entries[f->next++];
  return TRUE;
}

BOOL FilesCore::FindClose(HANDLE find) {
  Lock lock(s_.mu);
  auto* obj = s_.Kernel(find);
  if (!obj || !std::get_if<FindSearch>(obj)) return s_.SetError(ERROR_INVALID_HANDLE), FALSE;
  return s_.CloseKernelHandle(find);
}

// Each component that is not an 8.3 name already is replaced by the short name of what it
// names; the rest of the text stays as the caller wrote it.
DWORD FilesCore::GetShortPathNameA(const char* longPath, char* shortPath, DWORD cchBuffer) {
  Lock lock(s_.mu);
  if (!longPath) return s_.SetError(ERROR_INVALID_PARAMETER), 0;
  ParsedPath whole;
  if (DWORD e = s_.ParsePath(longPath, whole); e != ERROR_SUCCESS) return s_.SetError(e), 0;
  std::shared_ptr<FileNode> target;
  if (DWORD e = s_.Lookup(whole, target); e != ERROR_SUCCESS) return s_.SetError(e), 0;
  std::string_view in(longPath);
  std::string out;
  std::size_t i = 0;
  if (in.size() >= 2 && IsDriveLetter(in[0]) && in[1] == ':') {
    out.append(in.substr(0, 2));
    i = 2;
  }
  while (i < in.size()) {
    if (IsSeparator(in[i])) {
      out += in[i++];
      continue;
    }
    std::size_t j = i;
    while (j < in.size() && !(cp932::CharLength(in, j) == 1 && IsSeparator(in[j]))) j += cp932::CharLength(in, j);
    std::string_view comp = in.substr(i, j - i);
    if (comp == "." || comp == ".." || IsValid83(comp)) {
      out.append(comp);
    } else {
      std::string prefix(in.substr(0, j));
      ParsedPath pp;
      std::shared_ptr<FileNode> n;
      if (s_.ParsePath(prefix.c_str(), pp) != ERROR_SUCCESS || s_.Lookup(pp, n) != ERROR_SUCCESS)
        return s_.SetError(ERROR_FILE_NOT_FOUND), 0;
      out += n->shortName.empty() ? n->name : n->shortName;
    }
    i = j;
  }
  return CopyOut(out, shortPath, cchBuffer);
}

DWORD FilesCore::GetCurrentDirectoryA(DWORD cchBuffer, char* buffer) {
  Lock lock(s_.mu);
  return CopyOut(s_.CurrentDirectory(), buffer, cchBuffer);
}

BOOL FilesCore::SetCurrentDirectoryA(const char* path) {
  Lock lock(s_.mu);
  ParsedPath p;
  std::shared_ptr<FileNode> n;
  if (DWORD e = s_.ParseAndLookup(path, p, n); e != ERROR_SUCCESS) return s_.SetError(e), FALSE;
  if (!n->directory) return s_.SetError(ERROR_DIRECTORY), FALSE;
  std::string full = JoinParsed(p);
  if (full.size() > 3 && full.back() == '\\') full.pop_back();
  s_.currentDirectory = full;
  return TRUE;
}

// ---------------------------------------------------------------- the machine's own view

void SimMachine::AddFile(std::string_view path, std::string contents, DWORD attributes) {
  Lock lock(state_->mu);
  auto n = state_->MachineNode(path, true, false);
  if (!n || n->directory) return;
  n->contents = std::move(contents);
  n->attributes = attributes & kSettableAttributes;
}

void SimMachine::AddDirectory(std::string_view path) {
  Lock lock(state_->mu);
  state_->MachineNode(path, true, true);
}

void SimMachine::SetAttributes(std::string_view path, DWORD attributes) {
  Lock lock(state_->mu);
  if (auto n = state_->MachineNode(path, false, false)) n->attributes = attributes & kSettableAttributes;
}

void SimMachine::SetLocked(std::string_view path, bool locked) {
  Lock lock(state_->mu);
  if (auto n = state_->MachineNode(path, false, false)) {
    n->locked = locked;
    if (!locked) n->lockedBy.clear();
  }
}

void SimMachine::SetLockedBy(std::string_view path, std::string_view serviceName) {
  Lock lock(state_->mu);
  if (auto n = state_->MachineNode(path, false, false)) n->lockedBy = std::string(serviceName);
}

void SimMachine::SetShortName(std::string_view path, std::string_view shortName) {
  Lock lock(state_->mu);
  auto n = state_->MachineNode(path, false, false);
  if (!n) return;
  if (auto dir = n->parent.lock())
    dir->children.SetShortName(*n, std::string(shortName));
  else
    n->shortName = std::string(shortName);
}

void SimMachine::RemoveFile(std::string_view path) {
  Lock lock(state_->mu);
  auto n = state_->MachineNode(path, false, false);
  if (!n || !n->parent.lock()) return;
  Detach(n);
  MarkDeleted(n);
}

bool SimMachine::HasFile(std::string_view path) const {
  Lock lock(state_->mu);
  auto n = state_->MachineNode(path, false, false);
  return n && !n->directory;
}

bool SimMachine::HasDirectory(std::string_view path) const {
  Lock lock(state_->mu);
  auto n = state_->MachineNode(path, false, false);
  return n && n->directory;
}

namespace {
FileEntry EntryOf(const FileNode& n) {
  FileEntry e;
  e.path = SimMachine::State::NodePath(n);
  e.directory = n.directory;
  e.attributes = ReportedAttributes(n);
  e.locked = n.locked;
  e.lockedBy = n.lockedBy;
  e.shortName = n.shortName;
  e.contents = n.contents;
  return e;
}
}  // namespace

std::optional<FileEntry> SimMachine::File(std::string_view path) const {
  Lock lock(state_->mu);
  auto n = state_->MachineNode(path, false, false);
  if (!n) return std::nullopt;
  return EntryOf(*n);
}

std::vector<FileEntry> SimMachine::AllFiles() const {
  Lock lock(state_->mu);
  std::vector<FileEntry> out;
  std::function<void(const FileNode&)> walk = [&](const FileNode& dir) {
    for (const auto& c : dir.children) {
      out.push_back(EntryOf(*c));
      if (c->directory) walk(*c);
    }
  };
  for (const auto& [_, root] : state_->drives) walk(*root);
  return out;
}

void SimMachine::VisitFiles(FileVisitor& visitor) const {
  Lock lock(state_->mu);
  struct Walk {
    static void Go(const FileNode& n, FileVisitor& v) {
      v.File(n.name, n.directory, ReportedAttributes(n), n.directory ? std::string_view() : n.contents,
             n.children.size());
      for (const auto& c : n.children) Go(*c, v);
    }
  };
  for (const auto& [_, root] : state_->drives) Walk::Go(*root, visitor);
}

}  // namespace qx::sim
