#include "app/whatif/what_if.h"

#include "platform/sim/encoding.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/snapshot.h"
#include "platform/sim/summary/summary.h"

namespace qx {

namespace {

constexpr const char* kCrLf = "\r\n";

// The kinds by the names the result file gives them, in the summary's order.
constexpr const char* kKindKeys[qxsim::kKindCount] = {
    "Files", "Folders", "Keys", "Values", "Services", "Printers", "Drivers",
    "Monitors", "Ports", "PrintProcessors", "Groups", "Shortcuts", "Restart"};

std::string Cp932(const std::string& utf8) {
  std::string out;
  return sim::Utf8ToCp932(utf8, out) ? out : utf8;
}

}  // namespace

// The machine the run works on, and the same machine as the run found it: taken twice, and
// given after the run every directory and file the run read from the disk, so that the two
// differ only by what the run did.
struct WhatIfRun::Machines {
  sim::SimMachine run, before;
  bool compared = false;
  qxsim::Summary summary;

  const qxsim::Summary& Compare() {
    if (!compared) {
      before.ReplayOutsideReads(run.OutsideReads());
      summary = qxsim::Compare(qxsim::Capture(before), qxsim::Capture(run));
      compared = true;
    }
    return summary;
  }
};

WhatIfRun::WhatIfRun(Platform& live) : live_(live), m_(std::make_unique<Machines>()) {
  sim::TakeSnapshot(live_, m_->run);
  sim::TakeSnapshot(live_, m_->before);
}

WhatIfRun::~WhatIfRun() = default;

Platform& WhatIfRun::platform() { return m_->run.platform(); }

bool WhatIfRun::CopyOut(const std::string& path) {
  std::optional<sim::FileEntry> file = m_->run.File(path);
  if (!file || file->directory) return false;
  HANDLE out = live_.files.CreateFileA(path.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
  if (out == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = live_.files.WriteFile(out, file->contents.data(), static_cast<DWORD>(file->contents.size()), &written) &&
            written == file->contents.size();
  return live_.files.CloseHandle(out) && ok;
}

std::string WhatIfRun::ReportSection() {
  const qxsim::Summary& s = m_->Compare();
  std::string text = std::string("[WhatIf]") + kCrLf;
  for (int k = 0; k < qxsim::kKindCount; ++k) {
    const qxsim::KindChange& c = s.kinds[k];
    text += std::string(kKindKeys[k]) + "=" + std::to_string(c.removed.size()) + " removed, " +
            std::to_string(c.added.size()) + " added, " + std::to_string(c.changed.size()) + " changed" + kCrLf;
  }
  for (int k = 0; k < qxsim::kKindCount; ++k) {
    const qxsim::KindChange& c = s.kinds[k];
    std::size_t n = 0;
    for (const auto& [mark, list] : {std::pair{"- ", &c.removed}, std::pair{"+ ", &c.added}, std::pair{"~ ", &c.changed}})
      for (const std::string& name : *list)
        text += std::string(kKindKeys[k]) + "." + std::to_string(++n) + "=" + mark + Cp932(name) + kCrLf;
  }
  return text;
}

std::string WhatIfRun::ShortText() {
  std::string text = Cp932(qxsim::FormatSummary(m_->Compare(), false));
  std::string out;
  for (char c : text) out += c == '\n' ? std::string(kCrLf) : std::string(1, c);
  return out;
}

}  // namespace qx
