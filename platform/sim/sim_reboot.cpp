// The restart of the simulated machine: what Windows does between shutting down and the
// desktop coming back. Every process ends, so nothing holds a file open any more; the
// renames and deletions left for the restart are carried out before anything could open
// those files again; services come back as their start type says.
#include <algorithm>
#include <functional>

#include "platform/sim/sim_state.h"

namespace qx::sim {

namespace {

using Lock = std::lock_guard<MachineMutex>;

constexpr const char* kServicesKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services";
constexpr const char* kSessionManager = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr const char* kPendingRenames = "PendingFileRenameOperations";

std::optional<DWORD> DwordOf(const RegKey& key, std::string_view name) {
  const auto v = key.values.Find(name);
  if (!v || v->type != REG_DWORD || v->data.size() < 4) return std::nullopt;
  DWORD d = 0;
  for (int i = 0; i < 4; ++i) d |= static_cast<DWORD>(static_cast<unsigned char>(v->data[i])) << (8 * i);
  return d;
}

void Unlink(const std::shared_ptr<FileNode>& node) {
  SimMachine::State::Unlink(*node);
  std::vector<FileNode*> stack{node.get()};
  while (!stack.empty()) {
    FileNode* n = stack.back();
    stack.pop_back();
    n->deleted = true;
    for (const auto& c : n->children) stack.push_back(c.get());
  }
}

// "\??\C:\dir\file" as the session manager is given it; the plain path is taken too.
std::string_view WithoutNtPrefix(std::string_view path) {
  if (path.substr(0, 4) == "\\??\\") path.remove_prefix(4);
  return path;
}

// The file operations of the restart, on the machine's tree and without the facets' last
// error. Paths may use long or short names. A read-only file is not deleted (the start-up
// deletion fails on it as DeleteFileA does); a directory goes only when it is empty.
class RestartFiles {
 public:
  explicit RestartFiles(SimMachine::State& s) : s_(s) {}

  void Delete(std::string_view path) {
    std::shared_ptr<FileNode> n, parent;
    if (!Find(path, n, &parent) || !parent) return;
    if (n->directory ? !n->children.empty() : (n->attributes & FILE_ATTRIBUTE_READONLY) != 0) return;
    Unlink(n);
  }

  // Moves from to to; an existing target is replaced only when replace is set, and never
  // when it is a directory or read-only.
  void Rename(std::string_view from, std::string_view to, bool replace) {
    std::shared_ptr<FileNode> src, srcParent;
    if (!Find(from, src, &srcParent) || !srcParent) return;
    std::string target(to);
    ParsedPath q;
    if (s_.ParsePath(target.c_str(), q) != ERROR_SUCCESS || q.parts.empty()) return;
    std::shared_ptr<FileNode> dir;
    if (s_.WalkDirectory(q, q.parts.size() - 1, dir) != ERROR_SUCCESS) return;
    for (auto a = dir; a; a = a->parent.lock())
      if (a == src) return;  // into itself
    auto existing = SimMachine::State::Child(*dir, q.parts.back());
    if (existing && existing != src) {
      if (!replace || existing->directory || src->directory || (existing->attributes & FILE_ATTRIBUTE_READONLY)) return;
      Unlink(existing);
    }
    srcParent->children.Erase(*src);
    src->name = q.parts.back();
    s_.AssignShortName(*dir, *src);
    SimMachine::State::LinkInto(dir, src);
  }

  bool Find(std::string_view path, std::shared_ptr<FileNode>& node, std::shared_ptr<FileNode>* parent = nullptr) {
    std::string text(path);
    ParsedPath p;
    if (s_.ParsePath(text.c_str(), p) != ERROR_SUCCESS) return false;
    return s_.Lookup(p, node, parent) == ERROR_SUCCESS;
  }

 private:
  SimMachine::State& s_;
};

// The session manager's list: source, target pairs, each zero-ended; an empty source ends
// the list, an empty target means delete, a target starting with "!" may replace a file.
void RunPendingRenames(SimMachine::State& s) {
  auto key = s.FindKeyPath(kSessionManager);
  if (!key) return;
  const auto it = key->values.Find(kPendingRenames);
  if (!it) return;
  std::string data(it->data);  // a copy: the value goes before the list is worked through
  s.DeleteRegValue(*key, kPendingRenames);
  RestartFiles files(s);
  std::size_t pos = 0;
  auto next = [&]() {
    if (pos >= data.size()) return std::string();
    std::size_t z = data.find('\0', pos);
    if (z == std::string::npos) z = data.size();
    std::string item = data.substr(pos, z - pos);
    pos = z + 1;
    return item;
  };
  for (;;) {
    std::string from = next();
    if (from.empty()) break;
    std::string to = next();
    if (to.empty()) {
      files.Delete(WithoutNtPrefix(from));
      continue;
    }
    bool replace = to[0] == '!';
    files.Rename(WithoutNtPrefix(from), WithoutNtPrefix(std::string_view(to).substr(replace ? 1 : 0)), replace);
  }
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Windows 95/98 start-up: WININIT.INI's "[rename]" lines, in order. "NUL=file" deletes the
// file; "DEST=SOURCE" moves SOURCE to DEST, replacing it. The file is kept as WININIT.BAK.
void RunWininit(SimMachine::State& s) {
  std::string dir = s.settings.windowsDirectory;
  if (!dir.empty() && dir.back() != '\\') dir += '\\';
  RestartFiles files(s);
  std::shared_ptr<FileNode> ini;
  if (!files.Find(dir + "WININIT.INI", ini) || ini->directory) return;
  std::string text = ini->contents;
  bool inRename = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line = TrimBlanks(std::string_view(text).substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      inRename = cp932::EqualNoCase(line, "[rename]");
      continue;
    }
    std::size_t eq = line.find('=');
    if (!inRename || eq == std::string_view::npos) continue;
    std::string_view dest = TrimBlanks(line.substr(0, eq));
    std::string_view source = TrimBlanks(line.substr(eq + 1));
    if (source.empty()) continue;
    if (cp932::EqualNoCase(dest, "NUL"))
      files.Delete(source);
    else if (!dest.empty())
      files.Rename(source, dest, true);
  }
  ini->attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  files.Rename(dir + "WININIT.INI", dir + "WININIT.BAK", true);
}

}  // namespace

void SimMachine::State::Reboot() {
  // Every process ends: files, searches and service handles go; nothing holds a file.
  for (auto it = kernelHandles.begin(); it != kernelHandles.end();) {
    if (std::holds_alternative<OpenFile>(it->second) || std::holds_alternative<FindSearch>(it->second))
      it = kernelHandles.erase(it);
    else
      ++it;
  }
  scHandles.clear();
  // Other programs end too: their windows close and the events they held go; what the
  // engine had loaded, started or opened through COM is gone.
  for (const auto& w : windows)
    if (w->program) w->alive = false;
  for (auto it = namedEvents.begin(); it != namedEvents.end();)
    it = it->second->heldElsewhere ? namedEvents.erase(it) : std::next(it);
  outside.libraries.clear();
  outside.processHandles.clear();
  outside.managers.clear();
  outside.comInit.clear();
  outside.comObjects.clear();
  outside.metabaseHandles.clear();
  shutdown.ProcessesEnded();
  std::function<void(FileNode&)> release = [&](FileNode& dir) {
    for (const auto& c : dir.children) {
      c->locked = false;
      c->lockedBy.clear();
      if (c->directory) release(*c);
    }
  };
  for (auto& [_, root] : drives) release(*root);
  RebootSpooler(*this);

  if (settings.platformId == VER_PLATFORM_WIN32_WINDOWS) {
    RunWininit(*this);
    return;  // no service manager
  }
  RunPendingRenames(*this);

  // Services marked for deletion are gone; the others start as their Start value says.
  for (auto it = services.begin(); it != services.end();) {
    auto key = FindKeyPath(std::string(kServicesKey) + "\\" + it->second.name);
    if (!key || MarkedForDelete(it->second)) {
      if (key) DetachKey(key);
      it = services.erase(it);
    } else {
      ++it;
    }
  }
  auto all = FindKeyPath(kServicesKey);
  if (all) {
    std::vector<std::shared_ptr<RegKey>> marked;
    for (const auto& k : all->subkeys)
      if (DwordOf(*k, "DeleteFlag") == 1u) marked.push_back(k);
    for (const auto& k : marked) DetachKey(k);
  }
  for (auto& [_, r] : services) {
    DWORD settled = r.state;
    if (settled == SERVICE_START_PENDING || settled == SERVICE_CONTINUE_PENDING) settled = SERVICE_RUNNING;
    if (settled == SERVICE_STOP_PENDING) settled = SERVICE_STOPPED;
    if (settled == SERVICE_PAUSE_PENDING) settled = SERVICE_PAUSED;
    SetServiceRunState(r, settled);
  }
  if (all) {
    for (const auto& k : all->subkeys) {
      std::optional<DWORD> start = DwordOf(*k, "Start");
      if (!start) continue;
      // Boot, system and automatic services run after the restart; on-demand and disabled
      // ones do not.
      ServiceRecord& r = Service(k->name);
      SetServiceRunState(r, *start <= 2 ? SERVICE_RUNNING : SERVICE_STOPPED);
    }
  }
}

void SimMachine::Reboot() {
  Lock lock(state_->mu);
  state_->PowerOn();
  state_->Reboot();
}

}  // namespace qx::sim
