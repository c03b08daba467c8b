// DDEML on the simulated machine, and the shell's Program Manager behind service "PROGMAN".
//
// Program Manager's groups are the folders under the current user's Programs folder.
// [CreateGroup(G)] makes G (when missing) the active group; [DeleteGroup(G)] deletes the
// folder G with everything in it; [DeleteItem(I)] deletes I.lnk from the active group. A
// command that is unknown, malformed or names something that is not there fails, and so
// does the whole execute.
#include "platform/sim/sim_dde.h"

#include "platform/sim/sim_state.h"

namespace qx::sim {

namespace {

using Lock = std::lock_guard<MachineMutex>;

constexpr const char* kProgman = "PROGMAN";
constexpr const char* kShellFolders =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr DWORD kDataHandleArgument = 0xFFFFFFFFu;  // cbData: the data is a data handle
constexpr DWORD kDdeAck = 0x8000;                   // DDE_FACK
constexpr std::size_t kMaxStringHandle = 255;       // DDEML refuses longer strings

template <typename H>
std::uintptr_t Id(H handle) {
  return reinterpret_cast<std::uintptr_t>(handle);
}
template <typename H>
H Handle(std::uintptr_t id) {
  return reinterpret_cast<H>(id);
}

std::string WithBackslash(std::string path) {
  if (path.empty() || cp932::FindLast(path, '\\') + 1 != path.size()) path += '\\';
  return path;
}

std::string Trim(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  return std::string(text.substr(b, e - b));
}

// A group or item is one name inside the Programs folder: never a path, never "." or "..".
bool IsPlainName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (std::size_t i = 0; i < name.size(); i += cp932::CharLength(name, i)) {
    if (cp932::CharLength(name, i) == 2) continue;
    if (std::string_view("\\/:*?\"<>|").find(name[i]) != std::string_view::npos) return false;
  }
  return true;
}

// "[Name(arg,arg)][Name2(...)]": commands with their arguments, quotes removed. False when
// the text is not a sequence of well-formed commands.
struct Command {
  std::string name;
  std::vector<std::string> args;
};
bool ParseCommands(const std::string& text, std::vector<Command>& out) {
  std::size_t i = 0;
  auto skipBlanks = [&] {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
  };
  skipBlanks();
  if (i == text.size()) return false;
  while (i < text.size()) {
    if (text[i] != '[') return false;
    ++i;
    Command c;
    std::size_t nameStart = i;
    while (i < text.size() && text[i] != '(' && text[i] != ']') i += cp932::CharLength(text, i);
    c.name = Trim(std::string_view(text).substr(nameStart, i - nameStart));
    if (c.name.empty()) return false;
    if (i < text.size() && text[i] == '(') {
      ++i;
      std::string arg;
      bool quoted = false, closed = false;
      while (i < text.size()) {
        std::size_t n = cp932::CharLength(text, i);
        char ch = text[i];
        if (n == 1 && ch == '"') {
          quoted = !quoted;
        } else if (n == 1 && !quoted && ch == ',') {
          c.args.push_back(Trim(arg));
          arg.clear();
        } else if (n == 1 && !quoted && ch == ')') {
          c.args.push_back(Trim(arg));
          closed = true;
          ++i;
          break;
        } else {
          arg.append(text, i, n);
        }
        i += n;
      }
      if (!closed) return false;
    }
    if (i >= text.size() || text[i] != ']') return false;
    ++i;
    out.push_back(std::move(c));
    skipBlanks();
  }
  return true;
}

}  // namespace

DdeCore::Instance* DdeCore::Find(DWORD instance) {
  auto it = instances_.find(instance);
  return it == instances_.end() ? nullptr : &it->second;
}

bool DdeCore::Fail(DWORD instance, UINT error) {
  if (Instance* in = Find(instance)) in->lastError = error;
  return false;
}

UINT DdeCore::DdeInitializeA(DWORD* instance, PFNCALLBACK callback, DWORD, DWORD reserved) {
  Lock lock(s_.mu);
  if (!instance || !callback || reserved != 0) return DMLERR_INVALIDPARAMETER;
  // A nonzero id asks to change the flags of a live instance.
  if (*instance != 0) return Find(*instance) ? DMLERR_NO_ERROR : DMLERR_INVALIDPARAMETER;
  *instance = nextInstance_++;
  instances_[*instance] = Instance{};
  return DMLERR_NO_ERROR;
}

HSZ DdeCore::DdeCreateStringHandleA(DWORD instance, const char* text, int codePage) {
  Lock lock(s_.mu);
  if (!Find(instance)) return nullptr;
  if (!text || (codePage != 0 && codePage != CP_WINANSI) || std::string_view(text).size() > kMaxStringHandle) {
    Fail(instance, DMLERR_INVALIDPARAMETER);
    return nullptr;
  }
  // Like atoms: the same text gives the same handle, counted once per creation.
  for (auto& [id, h] : strings_) {
    if (h.instance == instance && cp932::EqualNoCase(h.text, text)) {
      ++h.uses;
      return Handle<HSZ>(id);
    }
  }
  std::uintptr_t id = nextString_++;
  strings_[id] = StringHandle{instance, text, 1};
  return Handle<HSZ>(id);
}

BOOL DdeCore::DdeFreeStringHandle(DWORD instance, HSZ hsz) {
  Lock lock(s_.mu);
  auto it = strings_.find(Id(hsz));
  if (!Find(instance)) return FALSE;
  if (it == strings_.end() || it->second.instance != instance) return Fail(instance, DMLERR_INVALIDPARAMETER);
  if (--it->second.uses == 0) strings_.erase(it);
  return TRUE;
}

HCONV DdeCore::DdeConnect(DWORD instance, HSZ service, HSZ topic, const CONVCONTEXT*) {
  Lock lock(s_.mu);
  if (!Find(instance)) return nullptr;
  // A null handle stands for any service or topic.
  auto matches = [&](HSZ hsz, bool& valid) {
    if (!hsz) return true;
    auto it = strings_.find(Id(hsz));
    valid = it != strings_.end() && it->second.instance == instance;
    return valid && cp932::EqualNoCase(it->second.text, kProgman);
  };
  bool serviceValid = true, topicValid = true;
  bool serviceMatches = matches(service, serviceValid);
  bool topicMatches = matches(topic, topicValid);
  if (!serviceValid || !topicValid) {
    Fail(instance, DMLERR_INVALIDPARAMETER);
    return nullptr;
  }
  std::string serviceName;
  if (auto it = strings_.find(Id(service)); service && it != strings_.end()) serviceName = it->second.text;
  if (auto e = s_.FaultFor("DdeConnect", {serviceName})) {
    Fail(instance, *e);
    return nullptr;
  }
  if (!s_.settings.programManagerRunning || !serviceMatches || !topicMatches) {
    Fail(instance, DMLERR_NO_CONV_ESTABLISHED);
    return nullptr;
  }
  std::uintptr_t id = nextConversation_++;
  conversations_[id] = Conversation{instance};
  return Handle<HCONV>(id);
}

HDDEDATA DdeCore::DdeCreateDataHandle(DWORD instance, const BYTE* source, DWORD cb, DWORD offset, HSZ, UINT,
                                      UINT command) {
  Lock lock(s_.mu);
  if (!Find(instance)) return nullptr;
  DataHandle h{instance, std::string(cb, '\0'), (command & HDATA_APPOWNED) != 0};
  if (source) h.bytes.assign(reinterpret_cast<const char*>(source) + offset, cb);
  std::uintptr_t id = nextData_++;
  data_[id] = std::move(h);
  return Handle<HDDEDATA>(id);
}

HDDEDATA DdeCore::DdeClientTransaction(const BYTE* data, DWORD cbData, HCONV conv, HSZ, UINT, UINT type, DWORD,
                                       DWORD* result) {
  Lock lock(s_.mu);
  if (result) *result = 0;
  auto c = conversations_.find(Id(conv));
  if (c == conversations_.end()) return nullptr;  // no instance to record an error on
  const DWORD instance = c->second.instance;
  std::string bytes;
  if (cbData == kDataHandleArgument) {
    auto d = data_.find(Id(reinterpret_cast<HDDEDATA>(const_cast<BYTE*>(data))));
    if (d == data_.end() || d->second.instance != instance) {
      Fail(instance, DMLERR_INVALIDPARAMETER);
      return nullptr;
    }
    bytes = d->second.bytes;
    // The transaction takes the handle over unless its creator keeps it.
    if (!d->second.appOwned) data_.erase(d);
  } else {
    if (!data && cbData != 0) {
      Fail(instance, DMLERR_INVALIDPARAMETER);
      return nullptr;
    }
    if (data) bytes.assign(reinterpret_cast<const char*>(data), cbData);
  }
  if (type != XTYP_EXECUTE) {
    Fail(instance, DMLERR_NOTPROCESSED);
    return nullptr;
  }
  std::string text = bytes.substr(0, bytes.find('\0'));
  // A shell that is busy, or answers too late, has carried out nothing.
  if (auto e = s_.FaultFor("DdeClientTransaction", {text})) {
    Fail(instance, *e);
    return nullptr;
  }
  commands.push_back(text);
  DWORD lastError = s_.Error();
  bool done = Execute(text);
  s_.SetError(lastError);
  if (!done) {
    Fail(instance, DMLERR_NOTPROCESSED);
    return nullptr;
  }
  if (result) *result = kDdeAck;
  return Handle<HDDEDATA>(1);  // TRUE: an execute returns no data
}

BOOL DdeCore::DdeFreeDataHandle(HDDEDATA data) {
  Lock lock(s_.mu);
  return data_.erase(Id(data)) ? TRUE : FALSE;
}

BOOL DdeCore::DdeDisconnect(HCONV conv) {
  Lock lock(s_.mu);
  auto c = conversations_.find(Id(conv));
  if (c == conversations_.end()) return FALSE;
  conversations_.erase(c);
  return TRUE;
}

BOOL DdeCore::DdeUninitialize(DWORD instance) {
  Lock lock(s_.mu);
  if (!instances_.erase(instance)) return FALSE;
  std::erase_if(strings_, [&](const auto& e) { return e.second.instance == instance; });
  std::erase_if(data_, [&](const auto& e) { return e.second.instance == instance; });
  std::erase_if(conversations_, [&](const auto& e) { return e.second.instance == instance; });
  return TRUE;
}

UINT DdeCore::DdeGetLastError(DWORD instance) {
  Lock lock(s_.mu);
  Instance* in = Find(instance);
  if (!in) return DMLERR_INVALIDPARAMETER;
  UINT error = in->lastError;
  in->lastError = DMLERR_NO_ERROR;
  return error;
}

// ---------------------------------------------------------------- Program Manager

std::string DdeCore::ProgramsFolder() const {
  if (auto key = const_cast<SimMachine::State&>(s_).FindKeyPath(kShellFolders)) {
    for (const RegValueView v : key->values) {
      if (cp932::EqualNoCase(v.name, "Programs") && (v.type == REG_SZ || v.type == REG_EXPAND_SZ)) {
        std::string path(v.data.substr(0, v.data.find('\0')));
        if (!path.empty()) return WithBackslash(path);
      }
    }
  }
  std::string windows = WithBackslash(s_.settings.windowsDirectory);
  if (s_.settings.platformId == VER_PLATFORM_WIN32_WINDOWS) return windows + "ｽﾀｰﾄ ﾒﾆｭｰ\\ﾌﾟﾛｸﾞﾗﾑ\\";
  return windows + "Profiles\\" + s_.settings.currentUser + "\\スタート メニュー\\プログラム\\";
}

bool DdeCore::DeleteTree(const std::string& path) {
  Files& files = s_.filesCore;
  WIN32_FIND_DATAA found;
  HANDLE find = files.FindFirstFileA((path + "\\*").c_str(), found);
  if (find != INVALID_HANDLE_VALUE) {
    std::vector<std::pair<std::string, bool>> entries;
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      entries.emplace_back(path + "\\" + name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (files.FindNextFileA(find, found));
    files.FindClose(find);
    for (const auto& [entry, directory] : entries) {
      if (directory) {
        DeleteTree(entry);
      } else {
        files.SetFileAttributesA(entry.c_str(), FILE_ATTRIBUTE_NORMAL);
        files.DeleteFileA(entry.c_str());
      }
    }
  }
  return files.RemoveDirectoryA(path.c_str()) != FALSE;
}

bool DdeCore::RunCommand(const std::string& name, const std::vector<std::string>& args) {
  if (args.size() != 1 || !IsPlainName(args[0])) return false;
  const std::string programs = ProgramsFolder();
  if (cp932::EqualNoCase(name, "CreateGroup")) {
    auto node = s_.MachineNode(programs + args[0], true, true);
    if (!node || !node->directory) return false;
    activeGroup_ = args[0];
    return true;
  }
  if (cp932::EqualNoCase(name, "DeleteGroup")) {
    auto node = s_.MachineNode(programs + args[0], false, false);
    if (!node || !node->directory) return false;
    if (cp932::EqualNoCase(activeGroup_, args[0])) activeGroup_.clear();
    return DeleteTree(programs + args[0]);
  }
  if (cp932::EqualNoCase(name, "DeleteItem")) {
    if (activeGroup_.empty()) return false;
    std::string link = programs + activeGroup_ + "\\" + args[0] + ".lnk";
    auto node = s_.MachineNode(link, false, false);
    if (!node || node->directory) return false;
    s_.filesCore.SetFileAttributesA(link.c_str(), FILE_ATTRIBUTE_NORMAL);
    return s_.filesCore.DeleteFileA(link.c_str()) != FALSE;
  }
  return false;
}

bool DdeCore::Execute(const std::string& text) {
  std::vector<Command> parsed;
  if (!ParseCommands(text, parsed)) return false;
  for (const Command& c : parsed) {
    if (!RunCommand(c.name, c.args)) return false;
  }
  return true;
}

std::vector<std::string> SimMachine::DdeCommands() const {
  std::lock_guard<MachineMutex> lock(state_->mu);
  return state_->dde.commands;
}

}  // namespace qx::sim
