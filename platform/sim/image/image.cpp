#include "platform/sim/image/image.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <system_error>

#include "platform/sim/encoding.h"
#include "platform/sim/image/image_ini.h"
#include "platform/sim/image/image_preview.h"
#include "platform/sim/image/image_reg.h"
#include "platform/sim/sim_text.h"

namespace qx::sim {
namespace {

namespace fs = std::filesystem;

constexpr char kMachineIni[] = "machine.ini";
constexpr char kRegistryFile[] = "registry.reg";
constexpr char kConfigFile[] = "QXErs.ini";

bool ReadWholeFile(const fs::path& path, const std::string& shown, std::string& bytes, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = shown + ": cannot be read";
    return false;
  }
  // At once when the size is known (a regular file), else as it comes.
  std::error_code ec;
  std::uintmax_t size = fs::file_size(path, ec);
  if (!ec) {
    bytes.resize(static_cast<std::size_t>(size));
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (in.gcount() == static_cast<std::streamsize>(size)) {
      char extra;
      if (in.get(extra)) {
        bytes.push_back(extra);
        bytes.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      }
    }
    in.clear(in.rdstate() & std::ios::badbit);
  } else {
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (in.bad()) {
    error = shown + ": cannot be read";
    return false;
  }
  return true;
}

bool WriteWholeFile(const fs::path& path, std::string_view bytes, std::string& error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    error = path.string() + ": cannot be written";
    return false;
  }
  return true;
}

// A drive folder's name: "drive_c" for C:.
bool DriveOfFolder(const std::string& name, char& letter) {
  if (name.size() != 7 || name.compare(0, 6, "drive_") != 0) return false;
  char c = name[6];
  if (c < 'a' || c > 'z') return false;
  letter = static_cast<char>(c - 'a' + 'A');
  return true;
}

struct PendingFile {
  std::string path;  // code page 932, "C:\dir\file"
  bool directory = false;
  std::string contents;
};

bool ValidWindowsName(std::string_view name) {
  for (std::size_t i = 0; i < name.size(); i += cp932::CharLength(name, i)) {
    if (cp932::CharLength(name, i) == 2) continue;
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || std::string_view("<>:\"/\\|?*").find(static_cast<char>(c)) != std::string_view::npos) return false;
  }
  return !name.empty();
}

// Walks one directory in the order the machine lists its entries (by name without regard
// to case, parents before children), so that generated short names come out the same way
// every time the image is loaded.
bool ScanDirectory(const fs::path& dir, const std::string& shownDir, const std::string& machineDir,
                   std::vector<PendingFile>& out, std::string& error) {
  struct Entry {
    std::string folded, cp932, diskName;
    fs::file_type type;
  };
  std::vector<Entry> entries;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string diskName = it->path().filename().string();
    std::string shown = shownDir + "/" + diskName;
    Entry e;
    e.diskName = diskName;
    e.type = it->symlink_status(ec).type();
    if (ec) break;
    if (!Utf8ToCp932(diskName, e.cp932)) {
      error = shown + ": the name is not UTF-8 or has no Shift-JIS form";
      return false;
    }
    if (!ValidWindowsName(e.cp932)) {
      error = shown + ": the name is not allowed on Windows";
      return false;
    }
    if (e.type != fs::file_type::regular && e.type != fs::file_type::directory) {
      error = shown + ": only plain files and directories can be in an image";
      return false;
    }
    e.folded = cp932::Fold(e.cp932);
    entries.push_back(std::move(e));
  }
  if (ec) {
    error = shownDir + ": cannot be listed (" + ec.message() + ")";
    return false;
  }
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.folded < b.folded; });
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    std::string shown = shownDir + "/" + e.diskName;
    if (i > 0 && entries[i - 1].folded == e.folded) {
      error = shown + ": another name in the directory differs from it only in case";
      return false;
    }
    PendingFile f;
    f.path = machineDir + "\\" + e.cp932;
    f.directory = e.type == fs::file_type::directory;
    if (!f.directory && !ReadWholeFile(dir / e.diskName, shown, f.contents, error)) return false;
    bool directory = f.directory;
    std::string path = f.path;
    out.push_back(std::move(f));
    if (directory && !ScanDirectory(dir / e.diskName, shown, path, out, error)) return false;
  }
  return true;
}

bool IsRegFile(const fs::directory_entry& e) {
  std::string ext = e.path().extension().string();
  return ext.size() == 4 && cp932::EqualNoCase(ext, ".reg");
}

// The UTF-8 disk form of a machine path below its drive, refusing names that would not
// come back byte for byte.
bool DiskPath(const std::string& machinePath, fs::path& relative, std::string& error) {
  std::string utf8, back;
  std::string_view below = std::string_view(machinePath).substr(3);
  if (!Cp932ToUtf8(below, utf8) || !Utf8ToCp932(utf8, back) || back != below) {
    error = "drive folder: " + Cp932ToUtf8Lossy(machinePath) + " has no UTF-8 name that converts back to it";
    return false;
  }
  relative.clear();
  std::size_t start = 0;
  while (start <= utf8.size()) {
    std::size_t slash = utf8.find('\\', start);
    if (slash == std::string::npos) slash = utf8.size();
    relative /= utf8.substr(start, slash - start);
    start = slash + 1;
  }
  return true;
}

}  // namespace

bool LoadImage(const std::string& folder, SimMachine& m, std::string& error) {
  std::error_code ec;
  fs::path root(folder);
  if (!fs::is_directory(root, ec)) {
    error = folder + ": no such image folder";
    return false;
  }

  // Everything is read and parsed first.
  std::string bytes;
  // Without machine.ini the image is a real machine's registry export: the system settings
  // come from its registry (image_preview.h).
  bool exported = !fs::exists(root / kMachineIni, ec);
  image::MachineIni ini;
  ini.system = m.settings();
  if (!exported) {
    if (!ReadWholeFile(root / kMachineIni, kMachineIni, bytes, error)) return false;
    if (!image::ParseMachineIni(bytes, ini, error)) return false;
  }
  // QXErs.ini beside the image's files goes beside the program, as the administrator would
  // copy it there.
  std::optional<std::string> config;
  if (fs::is_regular_file(root / kConfigFile, ec)) {
    if (!ReadWholeFile(root / kConfigFile, kConfigFile, bytes, error)) return false;
    config = bytes;
  }

  std::vector<fs::directory_entry> regFiles;
  std::vector<std::pair<char, fs::path>> drives;
  for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    char letter = 0;
    if (it->is_directory(ec)) {
      if (!DriveOfFolder(name, letter)) {
        error = name + ": unknown folder in the image (drive folders are drive_c, drive_d, ...)";
        return false;
      }
      drives.emplace_back(letter, it->path());
    } else if (IsRegFile(*it)) {
      regFiles.push_back(*it);
    }
  }
  if (ec) {
    error = folder + ": cannot be listed (" + ec.message() + ")";
    return false;
  }
  std::sort(regFiles.begin(), regFiles.end(),
            [](const auto& a, const auto& b) { return a.path().filename().string() < b.path().filename().string(); });
  std::sort(drives.begin(), drives.end());

  // The .reg files are opened now and read from disk as the machine is set up, a piece at a
  // time: neither their text nor what they ask for is held whole (a registry of a million
  // keys), and each is read once.
  struct RegFile {
    std::string name;
    image::DecodedText text;
  };
  std::vector<std::unique_ptr<RegFile>> registry;
  for (const auto& file : regFiles) {
    auto reg = std::make_unique<RegFile>();
    reg->name = file.path().filename().string();
    if (!image::OpenRegistryText(file.path(), reg->name, reg->text, error)) return false;
    registry.push_back(std::move(reg));
  }

  std::vector<PendingFile> files;
  for (const auto& [letter, path] : drives) {
    std::string drive = std::string(1, letter) + ":";
    if (!ScanDirectory(path, path.filename().string(), drive, files, error)) return false;
  }

  // Then the machine is set up: system, registry, files, then what refers to them.
  m.settings() = ini.system;
  for (auto& reg : registry) {
    if (!image::ApplyRegText(reg->name, reg->text, m, error)) return false;
    reg.reset();
  }
  if (exported && !image::DeriveSettings(m, error)) return false;
  for (PendingFile& f : files) {
    if (f.directory) m.AddDirectory(f.path);
    else m.AddFile(f.path, std::move(f.contents));
  }
  if (config) {
    const std::string& program = m.settings().moduleFileName;
    std::size_t slash = program.find_last_of('\\');
    m.AddFile((slash == std::string::npos ? std::string("C:") : program.substr(0, slash)) + "\\" + kConfigFile,
              std::move(*config));
  }
  if (exported) {
    image::StartAutomaticServices(m);
    return true;
  }
  return image::ApplyMachineIni(ini, m, error);
}

bool SaveImage(const SimMachine& m, const std::string& folder, std::string& error) {
  std::error_code ec;
  fs::path root(folder);
  if (fs::exists(root, ec) && !fs::is_empty(root, ec)) {
    error = folder + ": the folder for the image is not empty";
    return false;
  }
  fs::create_directories(root, ec);
  if (ec) {
    error = folder + ": cannot be created (" + ec.message() + ")";
    return false;
  }

  std::string text;
  if (!image::WriteMachineIni(m, text, error)) return false;
  if (!WriteWholeFile(root / kMachineIni, text, error)) return false;
  {
    // Written as it is made (a registry of a million keys), under another name until whole.
    const fs::path path = root / kRegistryFile, partial = root / (std::string(kRegistryFile) + ".part");
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    bool written = image::WriteRegFile(
        m, [&out](std::string_view piece) { out.write(piece.data(), static_cast<std::streamsize>(piece.size())); },
        error);
    out.close();
    if (written && !out) {
      error = path.string() + ": cannot be written";
      written = false;
    }
    if (written) fs::rename(partial, path, ec);
    if (written && ec) {
      error = path.string() + ": cannot be written (" + ec.message() + ")";
      written = false;
    }
    if (!written) {
      fs::remove(partial, ec);
      return false;
    }
  }

  fs::create_directories(root / "drive_c", ec);
  for (const FileEntry& f : m.AllFiles()) {
    char letter = f.path.empty() ? 0 : f.path[0];
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    if (f.path.size() < 4 || letter < 'A' || letter > 'Z' || f.path.compare(1, 2, ":\\") != 0) {
      error = "drive folder: " + Cp932ToUtf8Lossy(f.path) + " is not a drive path";
      return false;
    }
    fs::path relative;
    if (!DiskPath(f.path, relative, error)) return false;
    fs::path target = root / (std::string("drive_") + static_cast<char>(letter - 'A' + 'a')) / relative;
    if (fs::exists(fs::symlink_status(target, ec))) {
      error = "drive folder: two names come out as " + target.string();
      return false;
    }
    if (f.directory) {
      fs::create_directories(target, ec);
    } else {
      fs::create_directories(target.parent_path(), ec);
      if (!ec && !WriteWholeFile(target, f.contents, error)) return false;
    }
    if (ec) {
      error = target.string() + ": cannot be created (" + ec.message() + ")";
      return false;
    }
  }
  return true;
}

}  // namespace qx::sim
