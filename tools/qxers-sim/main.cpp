// qxers-sim: Qorvex Eraser on a simulated Windows machine, from a machine image.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "app/ui/CQXErsView.h"
#include "app/ui/run_report.h"
#include "platform/sim/encoding.h"
#include "platform/sim/image/image.h"
#include "platform/sim/sim_machine.h"
#include "tools/qxers-sim/console_dialogs.h"
#include "tools/qxers-sim/erase.h"
#include "tools/qxers-sim/fleet.h"
#include "tools/qxers-sim/machine_result.h"
#include "tools/qxers-sim/options.h"
#include "tools/qxers-sim/run_output.h"
#include "platform/sim/summary/summary.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailedRun = 1;
constexpr int kExitUsage = 2;

// The clocks, read directly: <chrono> holds text that the Shift-JIS execution character set
// of these sources cannot take.
double Seconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// How long each part of the command took, wall and CPU time (every thread of the process),
// and the process's peak memory when it ended, said on stderr with --timings or --verbose:
// they differ from run to run, so the report on stdout stays the same for the same image.
class Timings {
 public:
  explicit Timings(bool enabled) : enabled_(enabled) {}
  struct Mark {
    double wall, cpu;
    double peakMb = 0;  // the process's peak resident memory so far
  };
  static Mark Now() { return {Seconds(CLOCK_MONOTONIC), Seconds(CLOCK_PROCESS_CPUTIME_ID)}; }
  // Adds the time since from to the part named so (parts met again add up).
  void Add(const std::string& part, Mark from) {
    Mark now = Now();
    for (auto& [name, t] : parts_) {
      if (name != part) continue;
      t.wall += now.wall - from.wall;
      t.cpu += now.cpu - from.cpu;
      t.peakMb = PeakMb();
      return;
    }
    parts_.push_back({part, {now.wall - from.wall, now.cpu - from.cpu, PeakMb()}});
  }
  // In the order the work is done, whatever order the parts were first timed in.
  void Print() const {
    if (!enabled_) return;
    Mark total{0, 0};
    for (const char* part : {"load", "run", "reboot", "summary", "write", "fleet"}) {
      for (const auto& [name, t] : parts_) {
        if (name != part) continue;
        Line(name, t);
        total.wall += t.wall;
        total.cpu += t.cpu;
        if (t.peakMb > total.peakMb) total.peakMb = t.peakMb;
      }
    }
    Line("total", total);
  }

 private:
  static double PeakMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024;  // kilobytes on Linux
  }
  static void Line(const std::string& name, Mark t) {
    char text[128];
    std::snprintf(text, sizeof text, "[timings] %-8s %10.3f s wall %10.3f s CPU %8.0f MB peak\n", name.c_str(),
                  t.wall, t.cpu, t.peakMb);
    std::cerr << text;
  }
  bool enabled_;
  std::vector<std::pair<std::string, Mark>> parts_;
};

// While an image loads: on a terminal (stderr), a bar of the image's bytes read so far (the
// process's read count against the size of the image's files); once all is read, the loader
// tells nothing of how far it has built the machine, so a block then moves along the bar to
// show it is at work, with the seconds spent. Nothing shows for an image that loads within a
// moment, and the line is cleared when the load ends: the output is what it is without it.
class LoadProgress {
 public:
  explicit LoadProgress(const std::string& image) {
    if (!isatty(STDERR_FILENO) || pipe(wake_) != 0) return;
    start_ = Seconds(CLOCK_MONOTONIC);
    startRead_ = BytesRead();
    thread_ = std::thread([this, image] { Watch(image); });
  }
  ~LoadProgress() {
    if (!thread_.joinable()) return;
    char done = 0;
    if (write(wake_[1], &done, 1) != 1) {
      // The watcher then stops at its next look; join waits for it either way.
    }
    thread_.join();
    close(wake_[0]);
    close(wake_[1]);
  }
  LoadProgress(const LoadProgress&) = delete;
  LoadProgress& operator=(const LoadProgress&) = delete;

 private:
  static constexpr int kFirstDrawMs = 500;
  static constexpr int kRedrawMs = 200;
  static constexpr int kWidth = 30;  // as the run's bar

  // What the process has read so far ("rchar" of /proc/self/io); 0 when it cannot be told.
  static std::uint64_t BytesRead() {
    std::ifstream io("/proc/self/io");
    std::string name;
    std::uint64_t value = 0;
    while (io >> name >> value)
      if (name == "rchar:") return value;
    return 0;
  }
  static std::uint64_t ImageBytes(const std::string& image) {
    std::uint64_t total = 0;
    std::error_code ec;
    for (std::filesystem::recursive_directory_iterator it(image, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code sizeError;
      if (it->is_regular_file(sizeError)) total += it->file_size(sizeError);
    }
    return total;
  }
  // True once the load has ended.
  bool Ended(int waitMs) {
    pollfd p{wake_[0], POLLIN, 0};
    return poll(&p, 1, waitMs) > 0;
  }
  void Watch(const std::string& image) {
    if (Ended(kFirstDrawMs)) return;
    const std::uint64_t total = ImageBytes(image);
    for (int tick = 0;; ++tick) {
      std::uint64_t read = BytesRead() - startRead_;
      if (read > total) read = total;
      std::string bar(kWidth, '.');
      if (read < total) {
        bar.replace(0, static_cast<std::size_t>(read * kWidth / total), read * kWidth / total, '#');
      } else {
        constexpr int kBlock = 5;
        int span = 2 * (kWidth - kBlock);
        int at = tick % span < kWidth - kBlock ? tick % span : span - tick % span;
        bar.replace(static_cast<std::size_t>(at), kBlock, kBlock, '#');
      }
      char line[160];
      std::snprintf(line, sizeof line, "%.1f/%.1f MB  loading the image: %s (%.0f s)", static_cast<double>(read) / 1e6,
                    static_cast<double>(total) / 1e6, read < total ? "reading its files" : "building the machine",
                    Seconds(CLOCK_MONOTONIC) - start_);
      std::cerr << "\r\033[K[" << bar << "] " << line << std::flush;
      if (Ended(kRedrawMs)) break;
    }
    std::cerr << "\r\033[K" << std::flush;
  }

  int wake_[2] = {-1, -1};
  double start_ = 0;
  std::uint64_t startRead_ = 0;
  std::thread thread_;
};

// Loads the image the options name (the default one without a name); false after saying why.
bool LoadMachine(const qxsim::Options& options, qx::sim::SimMachine& m, Timings& timings, bool quiet = false) {
  std::string image = options.image.empty() ? qxsim::DefaultImage() : options.image;
  std::string error;
  Timings::Mark start = Timings::Now();
  bool loaded;
  {
    LoadProgress progress(image);
    loaded = qx::sim::LoadImage(image, m, error);
  }
  timings.Add("load", start);
  if (!loaded) {
    std::cerr << "qxers-sim: " << image << ": " << error << "\n";
    return false;
  }
  if (!quiet) std::cout << "[image] " << image << "\n";
  return true;
}

// How long the waits of the run take on a real machine: the virtual clock, stage by stage.
void PrintWaits(const qxsim::ConsoleDialogs& dialogs, std::uint64_t totalMs) {
  auto seconds = [](std::uint64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(ms) / 1000.0);
    return std::string(text);
  };
  std::cout << "[time] virtual time waited: " << seconds(totalMs) << " s (what the run's waits take on a real machine)\n";
  for (const auto& stage : dialogs.StageTimes(totalMs)) {
    std::string s = seconds(stage.ms);
    std::cout << "  " << std::string(s.size() < 9 ? 9 - s.size() : 0, ' ') << s << " s  " << stage.name << "\n";
  }
}

// The run's log, QXErs.log in the machine's TEMP; none when the run wrote none.
std::optional<std::string> RunLog(const qx::sim::SimMachine& m, std::string& path) {
  path = m.settings().tempPath;
  if (!path.empty() && path.back() != '\\') path += '\\';
  path += "QXErs.log";
  auto log = m.File(path);
  if (!log || log->directory) return std::nullopt;
  return qx::sim::Cp932ToUtf8Lossy(log->contents);
}

int Run(const qxsim::Options& options, Timings& timings) {
  const int usageExit = options.msiExitCodes ? qx::kExitBadCommandLine : kExitUsage;
  // With --json stdout holds the JSON object alone: the console view's lines go nowhere.
  std::ostream nowhere(nullptr);
  std::ostream& out = options.json ? nowhere : std::cout;
  qx::sim::SimMachine m;
  if (!LoadMachine(options, m, timings, options.json)) return usageExit;
  std::string error;
  std::string image = options.image.empty() ? qxsim::DefaultImage() : options.image;
  std::error_code ec;
  qxsim::EraseSetup setup;
  setup.preview = options.preview || !std::filesystem::exists(std::filesystem::path(image) / "machine.ini", ec);
  if (setup.preview) {
    const qx::sim::SystemSettings& s = m.settings();
    out << "[preview] " << (s.platformId == qx::VER_PLATFORM_WIN32_NT ? "Windows NT " : "Windows ")
        << s.majorVersion << "." << s.minorVersion << " build " << s.buildNumber << (s.csdVersion.empty() ? "" : " ")
        << qx::sim::Cp932ToUtf8Lossy(s.csdVersion) << ", " << qx::sim::Cp932ToUtf8Lossy(s.windowsDirectory)
        << ", user " << qx::sim::Cp932ToUtf8Lossy(s.currentUser) << ", TEMP "
        << qx::sim::Cp932ToUtf8Lossy(s.tempPath) << "; files the image does not hold are unknown\n";
  }
  setup.switches = options.switches;
  setup.keepReport = options.json || options.switches.mode == qx::RunSwitches::Mode::Quiet;
  setup.cutAfter = options.cutAfter;
  setup.powerBack = options.restart;

  qxsim::ConsoleAnswers answers;
  if (!options.answer.empty()) answers.ok = options.answer == "ok";
  if (!options.drivers.empty()) answers.drivers = options.drivers == "delete" ? 1 : 0;
  if (options.restart) answers.restart = true;
  // Only a person at a terminal is asked; a run that writes its outputs, one under CI, an
  // unattended one and one that answers in JSON never wait for input.
  const char* ci = std::getenv("CI");
  bool interactive = isatty(STDIN_FILENO) && options.outDir.empty() && !(ci && *ci) &&
                     !options.switches.Unattended() && !options.json;
  if (!interactive) answers.restart = options.restart;
  qxsim::ConsoleDialogs dialogs(out, answers, interactive ? &std::cin : nullptr);
  dialogs.SetTerminal(!options.json && isatty(STDOUT_FILENO));
  Timings::Mark mark = Timings::Now();
  qxsim::EraseOutcome run = qxsim::Erase(m, setup, dialogs, out, [&timings, &mark](const char* part) {
    timings.Add(part, mark);
    mark = Timings::Now();
  });
  if (!run.reportError.empty()) std::cerr << "qxers-sim: " << run.reportError << "\n";

  std::string logPath;
  std::optional<std::string> log = RunLog(m, logPath);
  if (options.json) {
    qxsim::MachineResult r = qxsim::ImageResult(image, run);
    if (options.log) r.logText = log.value_or("");
    mark = Timings::Now();
    std::cout << qxsim::JsonObject(r, options.verbose, 2) << "\n";
  } else {
    mark = Timings::Now();
    std::string summaryText = qxsim::FormatSummary(run.summary, options.verbose);
    timings.Add("summary", mark);
    std::cout << "[summary] what changed on the machine" << (run.restarted ? " (after its restart)" : "") << ":\n"
              << summaryText;
    PrintWaits(dialogs, run.elapsedMs);
    if (options.log) {
      if (log) std::cout << "[log] " << qx::sim::Cp932ToUtf8Lossy(logPath) << ":\n" << *log;
      else std::cout << "[log] none: the run wrote no log (QXErs.ini's LOG=1 asks for one)\n";
    }
  }

  mark = Timings::Now();
  bool written = options.outDir.empty() || qxsim::WriteRunOutputs(options.outDir, m, run.messages, error);
  if (!options.outDir.empty()) timings.Add("write", mark);
  if (!written) {
    std::cerr << "qxers-sim: " << error << "\n";
    return usageExit;
  }
  if (!run.reportError.empty()) return usageExit;
  if (!run.result) {
    out << "[result] none: the run did not start\n";
  } else {
    out << "[result] " << *run.result << "\n";
  }
  if (options.msiExitCodes) {
    // A Linux exit status keeps the code's low byte only (3010 becomes 194): the whole code is said.
    out << "[exit] " << run.msiExitCode << " (the exit status is its low byte, " << (run.msiExitCode & 0xFF) << ")\n";
    return run.msiExitCode;
  }
  return run.result && (*run.result == qx::kResultDone || *run.result == qx::kResultRestart) ? kExitDone
                                                                                                : kExitFailedRun;
}

// The image as it is after a restart of its machine.
int Reboot(const qxsim::Options& options, Timings& timings) {
  qx::sim::SimMachine m;
  if (!LoadMachine(options, m, timings)) return kExitUsage;
  std::string error;
  Timings::Mark mark = Timings::Now();
  m.Reboot();
  timings.Add("reboot", mark);
  std::cout << "[reboot] done\n";
  mark = Timings::Now();
  bool written = qxsim::WriteRebootOutput(options.outDir, m, error);
  timings.Add("write", mark);
  if (!written) {
    std::cerr << "qxers-sim: " << error << "\n";
    return kExitUsage;
  }
  return kExitDone;
}

// What differs between two images, in the summary's form.
int Diff(const qxsim::Options& options, Timings& timings) {
  qx::sim::SimMachine a, b;
  qxsim::Options second = options;
  second.image = options.other;
  if (!LoadMachine(options, a, timings, true) || !LoadMachine(second, b, timings, true)) return kExitUsage;
  Timings::Mark mark = Timings::Now();
  qxsim::MachineView first = qxsim::Capture(a);
  qxsim::Summary summary = qxsim::Compare(first, qxsim::Capture(b, &first));
  std::string text = qxsim::FormatSummary(summary, options.verbose);
  timings.Add("summary", mark);
  std::cout << "[diff] " << options.image << " -> " << options.other << ":\n" << text;
  return summary.empty() ? kExitDone : kExitFailedRun;
}

}  // namespace

int main(int argc, char** argv) {
  qxsim::Options options;
  std::string error;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
      std::cout << qxsim::Usage();
      return kExitDone;
    }
  }
  if (!qxsim::ParseOptions(argc, argv, options, error)) {
    std::cerr << "qxers-sim: " << error << "\n" << qxsim::Usage();
    return qxsim::AsksMsiExitCodes(argc, argv) ? qx::kExitBadCommandLine : kExitUsage;
  }
  // JSON on stdout is for a program: the timings stay off unless asked for.
  Timings timings(options.timings || (options.verbose && !options.json));
  Timings::Mark start = Timings::Now();
  int status = options.command == qxsim::Options::kDiff     ? Diff(options, timings)
               : options.command == qxsim::Options::kReboot ? Reboot(options, timings)
               : options.command == qxsim::Options::kFleet  ? qxsim::Fleet(options, std::cout, std::cerr)
                                                            : Run(options, timings);
  if (options.command == qxsim::Options::kFleet) timings.Add("fleet", start);
  // After everything else, so that a terminal shows them below the report.
  std::cout << std::flush;
  timings.Print();
  return status;
}
