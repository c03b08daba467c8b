#include "tools/qxers-sim/preview.h"

#include <mutex>

#include "app/text.h"
#include "platform/sim/sim_text.h"

namespace qxsim {

namespace cp932 = qx::sim::cp932;
using qx::BOOL;
using qx::DWORD;
using qx::HANDLE;

class WatchedPlatform::Files final : public qx::Files {
 public:
  Files(qx::Files& files, qx::System& system) : f_(files), system_(system) {}

  HANDLE CreateFileA(const char* name, DWORD access, DWORD shareMode, DWORD creation, DWORD flags) override {
    HANDLE h = f_.CreateFileA(name, access, shareMode, creation, flags);
    if (h == qx::INVALID_HANDLE_VALUE) Note(name);
    return h;
  }
  BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read) override {
    return f_.ReadFile(file, buffer, toRead, read);
  }
  BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written) override {
    return f_.WriteFile(file, buffer, toWrite, written);
  }
  DWORD SetFilePointer(HANDLE file, qx::LONG distance, qx::LONG* high, DWORD method) override {
    return f_.SetFilePointer(file, distance, high, method);
  }
  BOOL CloseHandle(HANDLE file) override { return f_.CloseHandle(file); }
  BOOL DeleteFileA(const char* name) override { return Watch(f_.DeleteFileA(name), name); }
  BOOL MoveFileA(const char* from, const char* to) override { return Watch(f_.MoveFileA(from, to), from); }
  BOOL MoveFileExA(const char* from, const char* to, DWORD flags) override {
    return Watch(f_.MoveFileExA(from, to, flags), from);
  }
  BOOL SetFileAttributesA(const char* name, DWORD attributes) override {
    return Watch(f_.SetFileAttributesA(name, attributes), name);
  }
  BOOL RemoveDirectoryA(const char* name) override { return Watch(f_.RemoveDirectoryA(name), name); }
  HANDLE FindFirstFileA(const char* pattern, qx::WIN32_FIND_DATAA& data) override {
    HANDLE h = f_.FindFirstFileA(pattern, data);
    if (h == qx::INVALID_HANDLE_VALUE && pattern) {
      std::string p = pattern;
      std::size_t cut = p.find_last_of('\\');
      // A search for names in a folder that is not there: the folder is what is unknown.
      bool wild = p.find_first_of("*?", cut == std::string::npos ? 0 : cut) != std::string::npos;
      if (wild && cut != std::string::npos && system_.GetLastError() == qx::ERROR_PATH_NOT_FOUND) p.resize(cut);
      if (!wild || system_.GetLastError() == qx::ERROR_PATH_NOT_FOUND) Note(p.c_str());
    }
    return h;
  }
  BOOL FindNextFileA(HANDLE find, qx::WIN32_FIND_DATAA& data) override { return f_.FindNextFileA(find, data); }
  BOOL FindClose(HANDLE find) override { return f_.FindClose(find); }
  DWORD GetShortPathNameA(const char* longPath, char* shortPath, DWORD cch) override {
    DWORD n = f_.GetShortPathNameA(longPath, shortPath, cch);
    if (n == 0) Note(longPath);
    return n;
  }
  DWORD GetCurrentDirectoryA(DWORD cch, char* buffer) override { return f_.GetCurrentDirectoryA(cch, buffer); }
  BOOL SetCurrentDirectoryA(const char* path) override { return Watch(f_.SetCurrentDirectoryA(path), path); }

  std::vector<std::string> NotFound() const {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<std::string> out;
    for (const auto& [folded, path] : notFound_) out.push_back(path);
    return out;
  }

 private:
  BOOL Watch(BOOL ok, const char* name) {
    if (!ok) Note(name);
    return ok;
  }
  // Keeps the name when the call failed because it is not there; the error stays as it was.
  void Note(const char* name) {
    DWORD error = system_.GetLastError();
    if (!name || (error != qx::ERROR_FILE_NOT_FOUND && error != qx::ERROR_PATH_NOT_FOUND)) return;
    std::string path = name;
    // "C:\DIR\" and "C:\DIR" are one folder (a backslash, not a double-byte character's second byte).
    while (path.size() > 3 && qx::FindLastChar(path, '\\') == path.size() - 1) path.pop_back();
    std::lock_guard<std::mutex> lock(mu_);
    notFound_.emplace(cp932::Fold(path), path);
  }
  qx::Files& f_;
  qx::System& system_;
  mutable std::mutex mu_;
  std::map<std::string, std::string> notFound_;
};

WatchedPlatform::WatchedPlatform(qx::Platform& m)
    : files_(std::make_unique<Files>(m.files, m.system)),
      platform_(std::make_unique<qx::Platform>(qx::Platform{m.registry, *files_, m.profile, m.system, m.services,
                                                            m.spooler, m.windows, m.dde, m.modules, m.shutdown,
                                                            m.webadmin})) {}

WatchedPlatform::~WatchedPlatform() = default;

std::vector<std::string> WatchedPlatform::NotFound() const { return files_->NotFound(); }

}  // namespace qxsim
