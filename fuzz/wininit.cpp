// WININIT.INI, any bytes, on a simulated Windows 98 machine, and CQXErsDoc::ScheduleWininitDelete
// of a path: the file the run leaves for Windows to delete at the restart. Each input runs on
// a machine that works, then once under each failure of a call that the schedule makes (a
// file in use, a full disk, access refused), as a machine under load gives them.
//
// Input: PATH, a zero byte, then the file's bytes; without a zero byte the whole input is the
// file and the path is a locked file of the product with a long name (so its 8.3 form is
// what the line must name).
//
// With QX_FUZZ_ORACLE=1: WININIT.INI still exists afterwards and every line it had is still
// in it (what Windows 98 carries out at the restart was put there by other programs too).
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "app/CQXErsDoc.h"
#include "fuzz/fuzz_machine.h"
#include "platform/sim/sim_machine.h"

namespace {

constexpr const char* kTarget = "wininit";
constexpr const char* kWininit = "C:\\WINDOWS\\WININIT.INI";
constexpr const char* kDefaultPath = "C:\\Program Files\\Qorvex\\Long Name.dll";
constexpr qx::DWORD kDiskFull = 112;  // ERROR_DISK_FULL

// The n-th call of a kind fails (none for an empty call name).
struct CallFailure {
  const char* call;
  int nth;
  qx::DWORD error;
};
constexpr CallFailure kFailures[] = {
    {"", 0, 0},
    {"GetShortPathNameA", 1, qx::ERROR_ACCESS_DENIED},
    {"GetPrivateProfileSectionA", 1, qx::ERROR_SHARING_VIOLATION},
    {"WritePrivateProfileStringA", 1, qx::ERROR_SHARING_VIOLATION},
    {"WritePrivateProfileStringA", 2, kDiskFull},
    {"CreateFileA", 1, qx::ERROR_SHARING_VIOLATION},
    {"CreateFileA", 2, qx::ERROR_ACCESS_DENIED},
    {"ReadFile", 1, qx::ERROR_LOCK_VIOLATION},
    {"WriteFile", 1, kDiskFull},
    {"SetFileAttributesA", 1, qx::ERROR_ACCESS_DENIED},
    {"DeleteFileA", 1, qx::ERROR_SHARING_VIOLATION},
    {"MoveFileA", 1, qx::ERROR_ACCESS_DENIED},
};

// The file's lines, counted: each ends at an LF (a CR before it is part of the line end); a
// last line without an LF counts when it is not empty.
std::map<std::string, int> Lines(const std::string& text) {
  std::map<std::string, int> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (end != std::string::npos && !line.empty() && line.back() == '\r') line.pop_back();
    ++lines[line];
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

void Windows98(qx::sim::SimMachine& machine, const std::string& wininit) {
  qx::sim::SystemSettings& s = machine.settings();
  s.platformId = qx::VER_PLATFORM_WIN32_WINDOWS;
  s.majorVersion = 4;
  s.minorVersion = 10;
  s.buildNumber = 2222;
  s.windowsDirectory = "C:\\WINDOWS";
  s.systemDirectory = "C:\\WINDOWS\\SYSTEM";
  s.tempPath = "C:\\WINDOWS\\TEMP\\";
  machine.AddFile("C:\\WINDOWS\\SYSTEM\\KERNEL32.DLL", "MZ");
  machine.AddFile(kDefaultPath, "MZ");
  machine.SetLocked(kDefaultPath, true);
  machine.SetShortName("C:\\Program Files", "PROGRA~1");
  machine.SetShortName(kDefaultPath, "LONGNA~1.DLL");
  machine.AddFile("C:\\Program Files\\Qorvex\\ﾌﾟﾘﾝﾀ管理\\ZOVQXEXP.EXE", "MZ");
  machine.SetShortName("C:\\Program Files\\Qorvex\\ﾌﾟﾘﾝﾀ管理", "ﾌﾟﾘﾝﾀ~1");
  machine.AddFile(kWininit, wininit);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qx;
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::size_t zero = input.find('\0');
  const std::string path = zero == std::string::npos ? kDefaultPath : input.substr(0, zero);
  const std::string before = zero == std::string::npos ? input : input.substr(zero + 1);
  const std::map<std::string, int> had = Lines(before);

  for (const CallFailure& failure : kFailures) {
    sim::SimMachine machine;
    Windows98(machine, before);
    CQXErsDoc doc(machine.platform());
    doc.PrepareRun();
    doc.osType = kWindows9x;
    doc.logEnabled = 1;
    if (*failure.call) machine.AddFault({failure.call, "", failure.nth, failure.error});
    doc.ScheduleWininitDelete(path);

    if (!fuzz::StrictOracle()) continue;
    const std::string when = *failure.call ? std::string(" when call ") + std::to_string(failure.nth) + " of " +
                                                 failure.call + " fails with " + std::to_string(failure.error)
                                           : std::string();
    std::optional<sim::FileEntry> after = machine.File(kWininit);
    if (!after || after->directory) fuzz::Violation(kTarget, "WININIT.INI is gone" + when, input);
    std::map<std::string, int> has = Lines(after->contents);
    for (const auto& [line, count] : had) {
      auto it = has.find(line);
      if (it == has.end() || it->second < count) {
        fuzz::Violation(kTarget, "a line of WININIT.INI was lost" + when + ": " + fuzz::Shown(line), input);
      }
    }
  }
  return 0;
}
