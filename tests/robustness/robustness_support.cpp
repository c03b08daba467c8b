#include "tests/robustness/robustness_support.h"

#include <cstdlib>
#include <iterator>
#include <memory>
#include <mutex>
#include <set>

#include "app/log_lines.h"
#include "companions/companion_programs.h"
#include "companions/companions.h"
#include "app/services.h"
#include "platform/sim/encoding.h"
#include "platform/sim/image/image.h"
#include "platform/sim/sim_text.h"

namespace qx::test::robustness {

namespace {

// The headings QXErs.log holds, in the order the run writes them (app/runlog.cpp).
const char* const kHeadings[] = {
    "＜環境情報＞",     "＜削除ファイル＞", "＜削除レジストリ＞",       "＜一部削除レジストリ＞",
    "＜削除フォルダ＞", "＜その他削除＞",   "＜削除ドライバ＞", "＜SPOOLER停止時の処理＞",
    "＜再起動要因＞",
};

}  // namespace

bool FullMode() {
  const char* mode = std::getenv("QX_ROBUSTNESS");
  return mode && std::string(mode) == "full";
}

std::string ImageTestName(const ::testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  for (char& c : name)
    if (c == '-') c = '_';
  return name;
}

const std::vector<std::string>& Images() {
  static const std::vector<std::string> images = {"default", "w2k-spooler-stopped", "win98", "nt351"};
  return images;
}

// A later start of the program on a machine that already has the first one's window.
struct ImageRun::LaterStart {
  explicit LaterStart(sim::SimMachine& m) : machine(m) {
    view.window = m.AddWindow("QXErsView", "", [this](HWND, UINT message, WPARAM wParam, LPARAM lParam) {
      return view.OnMessage(message, wParam, lParam);
    });
  }
  sim::SimMachine& machine;
  CQXErsDoc doc{machine.platform()};
  ScriptedDialogs dialogs;
  CQXErsView view{doc, dialogs};
};

ImageRun::~ImageRun() = default;

ImageRun::ImageRun(const std::string& image) {
  sim::LoadImage(std::string(QX_SOURCE_DIR) + "/images/" + image, machine, loadError);
}

void ImageRun::Run() {
  fixture.view.OnTimer();
  machine.JoinThreads();
}

void ImageRun::RunAgain() {
  later_.push_back(std::make_unique<LaterStart>(machine));
  later_.back()->view.OnTimer();
  machine.JoinThreads();
}

bool ImageRun::Result(int& result) const {
  std::vector<sim::ReceivedMessage> messages = machine.Messages(fixture.window);
  for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
    if (it->message == QXM_RESULT) {
      result = static_cast<std::int32_t>(it->wParam);
      return true;
    }
  }
  return false;
}

std::string ImageRun::Log() const { return fixture.Log(); }

const CleanRun& Clean(const std::string& image) {
  static std::mutex mu;
  static std::map<std::string, CleanRun> cache;
  std::lock_guard<std::mutex> lock(mu);
  auto found = cache.find(image);
  if (found != cache.end()) return found->second;
  CleanRun& c = cache[image];
  if (!ReadResidueList(std::string(QX_SOURCE_DIR) + "/images/" + image + "/residue.txt", c.family, c.error)) return c;
  ImageRun run(image);
  if (!run.loadError.empty()) {
    c.error = run.loadError;
    return c;
  }
  run.machine.platform();  // the directories Windows always has, before the picture is taken
  c.installed = TakeObjects(run.machine);
  c.servicesBefore = run.machine.ServiceStates();
  run.Run();
  c.changingCalls = run.machine.ChangingCalls();
  c.changingLog = run.machine.ChangingCallLog();
  c.platformCalls = run.machine.PlatformCalls();
  c.logHeadings = LogHeadings(run.Log());
  c.elapsedMs = run.machine.ElapsedMs();
  run.machine.Reboot();
  c.after = TakeObjects(run.machine);
  run.RunAgain();
  run.machine.Reboot();
  c.again = TakeObjects(run.machine);
  ImageRun restarted(image);
  restarted.machine.platform();
  restarted.machine.Reboot();
  c.restartAlone = Changed(c.installed, TakeObjects(restarted.machine));
  restarted.Run();
  restarted.machine.Reboot();
  c.restartedFirst = TakeObjects(restarted.machine);
  return c;
}


namespace {

// Differences a rerun cannot undo, by image and object id (code page 932, compared as
// written), with the reason.
struct Unavoidable {
  const char* image;
  const char* id;
  const char* reason;
};
const std::vector<Unavoidable> kUnavoidable = {
};

// An object's contents for a message: printable, and not too long.
std::string Shown(const std::string& contents) {
  std::string out;
  for (char ch : contents.substr(0, 80)) out += (ch >= 0 && ch < 0x20) ? '.' : ch;
  return "\"" + out + (contents.size() > 80 ? "...\"" : "\"");
}

}  // namespace

// What a run that failed partway keeps for the next run, which finishes it: WININIT.INI's
// copy kept aside and its new text not yet in place, the note of the unfinished run, and the
// drivers' migration values in the family's temporary key when the key could not be deleted.
bool EraserNote(const std::string& id, const sim::SimMachine& m) {
  for (const char* file : {"\\WININIT.QXB", "\\WININIT.TMP"}) {
    if (sim::cp932::Fold(id) == sim::cp932::Fold("file " + m.settings().windowsDirectory + file)) return true;
  }
  std::size_t space = id.find(' ');
  std::string path = sim::cp932::Fold(id.substr(space + 1));
  for (const char* top : {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Qorvex Eraser", "HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOV\\QorvexTemp"}) {
    const std::string key = sim::cp932::Fold(top);
    if (path.compare(0, key.size(), key) == 0 &&
        (path.size() == key.size() || path[key.size()] == '\\' || path[key.size()] == '|')) {
      return true;
    }
  }
  return false;
}

std::vector<std::string> Differences(const std::string& image, const MachineObjects& got, const CleanRun& clean,
                                     const sim::SimMachine& m) {
  std::vector<std::string> out;
  auto unavoidable = [&](const std::string& id) {
    for (const Unavoidable& u : kUnavoidable)
      if (image == u.image && id == u.id) return true;
    return ChangedByDesign(id, m);
  };
  auto same = [](const MachineObjects& objects, const std::string& id, const std::string* contents) {
    auto it = objects.find(id);
    return contents ? it != objects.end() && it->second == *contents : it == objects.end();
  };
  std::set<std::string> ids;
  for (const auto& [id, _] : got) ids.insert(id);
  for (const auto& [id, _] : clean.after) ids.insert(id);
  for (const std::string& id : ids) {
    if (unavoidable(id)) continue;
    auto g = got.find(id);
    const std::string* contents = g == got.end() ? nullptr : &g->second;
    if (same(clean.after, id, contents) || same(clean.again, id, contents) ||
        same(clean.restartedFirst, id, contents)) {
      continue;
    }
    auto c = clean.after.find(id);
    if (!contents) out.push_back("missing: " + id);
    else if (c == clean.after.end()) out.push_back("left: " + id);
    else out.push_back("changed: " + id + " (" + Shown(*contents) + ", a clean run leaves " + Shown(c->second) + ")");
  }
  return out;
}

bool ChangedByDesign(const std::string& id, const sim::SimMachine& m) {
  const std::string folded = sim::cp932::Fold(id);
  if (folded == sim::cp932::Fold("file " + m.settings().tempPath + "QXErs.log")) return true;
  return folded == sim::cp932::Fold("file " + m.settings().windowsDirectory + "\\WININIT.BAK");
}

std::vector<std::string> LogHeadings(const std::string& log) {
  std::vector<std::string> out;
  for (std::size_t at = log.find(kHeavyLine); at != std::string::npos; at = log.find(kHeavyLine, at + 1)) {
    std::size_t start = at + kHeavyLine.size();
    std::size_t end = log.find("\r\n", start);
    if (end == std::string::npos) end = log.size();
    if (end > start) out.push_back(log.substr(start, end - start));
  }
  return out;
}

std::string LogShapeProblem(const std::string& log, bool writesFailed) {
  std::vector<std::string> headings = LogHeadings(log);
  std::size_t next = 0;  // the first heading that may still come
  for (const std::string& h : headings) {
    std::size_t i = next;
    while (i < std::size(kHeadings) && h != kHeadings[i]) ++i;
    if (i == std::size(kHeadings)) {
      bool known = false;
      for (const char* k : kHeadings) known = known || h == k;
      return known ? "heading " + Utf8(h) + " out of order or repeated" : "unknown heading line " + Utf8(h);
    }
    next = i + 1;
  }
  if (writesFailed) return "";
  if (log.empty()) return "no log";
  if (log.compare(0, kHeavyLine.size() + std::string(kHeadings[0]).size(), kHeavyLine + kHeadings[0]) != 0)
    return "the log does not open with the environment block";
  if (log.find("削除対象データ数：") == std::string::npos) return "the environment block has no step count";
  if (log.size() < kHeavyLine.size() || log.compare(log.size() - kHeavyLine.size(), kHeavyLine.size(), kHeavyLine) != 0)
    return "the log does not end with its closing line";
  return "";
}

std::uint64_t VirtualTimeBound(const CQXErsDoc& doc, std::size_t programWindows) {
  // At most 30 service operations a run: 7 companion services stopped, 7 deleted, the web
  // service stopped and started again up to three times, the spooler stopped around the
  // deferred files and at the end and started again up to three times each, asked whether it
  // runs three times. Each polls to kServicePollLimit at kServicePollMs and a stop rests a
  // second after; the starts tried again rest kSpoolerRetryMs between them.
  const std::uint64_t services = 30ull * (kServicePollLimit * std::uint64_t{kServicePollMs} + 1000) +
                                 6ull * kSpoolerRetryMs;
  // A program window is asked with a time-out and then watched until it closes: 12 windows
  // looked for by name (6 on the NT family, 5 on Windows 95/98, the status manager's), the
  // remote panels among the machine's windows, each perhaps found twice.
  const std::uint64_t perWindow = kWindowAnswerTimeoutMs + std::uint64_t{kWindowClosePolls} * kWindowClosePollMs;
  const std::uint64_t windows = (12 + 2 * programWindows) * perWindow;
  // Fixed pauses: 5 s after the status manager, 21 s for the manager's event, 2 + 2 s around
  // the driver deletions, 0.5 s per monitor deleted (and its Windows 95 twin), per menu entry
  // and per migration menu item.
  std::size_t menuItems = doc.DEL_FOLDER_QX.size() + doc.migrationLists[kMigMenuItems].size() +
                          doc.migrationLists[kMigDrivers + kMigMenuItems].size();
  // Program Manager's two transactions of at most 10 s each per entry; the metabase's 60 s.
  const std::uint64_t pauses = 30000 + 60000 + (500 + 20000) * menuItems + 500 * 2 * doc.DEL_LM_NAME.size();
  return services + windows + pauses;
}

std::string Utf8(const std::string& cp932) { return sim::Cp932ToUtf8Lossy(cp932); }

std::string Describe(const sim::PlatformCall& call) {
  return "#" + std::to_string(call.index) + " " + call.call + "(" + Utf8(call.object) + ")" +
         (call.error ? " error " + std::to_string(call.error) : "");
}

}  // namespace qx::test::robustness
