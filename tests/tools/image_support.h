// A machine image written file by file into a fresh temporary folder, for the image tests.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <unistd.h>

#include "platform/sim/image/image.h"

namespace qx::test {

namespace fs = std::filesystem;

// UTF-8 text from a u8"" literal (the other literals of this build are Shift-JIS).
inline std::string U8(std::u8string_view s) { return std::string(reinterpret_cast<const char*>(s.data()), s.size()); }

// UTF-16LE bytes with a byte-order mark, from a u"" literal.
inline std::string Utf16File(std::u16string_view s) {
  std::string out = "\xFF\xFE";
  for (char16_t c : s) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

inline std::string ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    path_ = fs::temp_directory_path() /
            ("qx_image_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const fs::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

  // rel uses '/' and UTF-8 names.
  void Write(const std::string& rel, std::string_view bytes) const {
    fs::path p = path_ / rel;
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  void MakeDir(const std::string& rel) const { fs::create_directories(path_ / rel); }

 private:
  fs::path path_;
};

// An image folder: machine.ini (empty unless given) and whatever else a test writes.
class TestImage : public TempDir {
 public:
  explicit TestImage(std::string_view machineIni = "") { Write("machine.ini", machineIni); }

  // Loads into m; returns "" on success, else the loader's message.
  std::string LoadInto(sim::SimMachine& m) const {
    std::string error;
    if (sim::LoadImage(str(), m, error)) return "";
    return error.empty() ? "(failed without a message)" : error;
  }
};

}  // namespace qx::test
