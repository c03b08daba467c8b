#include "bench/measure.h"

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/CQXErsDoc.h"
#include "app/ui/CQXErsView.h"
#include "bench/counting_platform.h"
#include "bench/plain_reg_reader.h"
#include "platform/sim/image/image.h"
#include "platform/sim/image/image_reg.h"
#include "platform/sim/image/image_text.h"
#include "platform/sim/sim_machine.h"
#include "tools/qxers-sim/console_dialogs.h"
#include "tools/qxers-sim/run_output.h"
#include "platform/sim/summary/summary.h"

namespace bench {

namespace fs = std::filesystem;

Phase Measurement::Diff() const {
  Phase sum = diff;
  if (capture.state != Phase::kDone) sum.state = capture.state;
  sum.wallSeconds += capture.wallSeconds;
  sum.cpuSeconds += capture.cpuSeconds;
  return sum;
}

namespace {

// <chrono> is not for these sources: its literals have no Shift-JIS form (the engine's
// execution character set), so the clocks are read directly.
double WallSeconds() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

long PeakKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// The child's side: a line per event on the pipe to the parent.
class Reporter {
 public:
  explicit Reporter(int fd) : fd_(fd) {}
  void Begin(const char* phase) {
    Send(std::string("begin ") + phase);
    wall_ = WallSeconds();
    cpu_ = CpuSeconds();
  }
  void End(const char* phase) {
    double wall = WallSeconds() - wall_;
    char line[160];
    std::snprintf(line, sizeof line, "end %s %.6f %.6f %ld", phase, wall, CpuSeconds() - cpu_, PeakKb());
    Send(line);
  }
  void Count(const std::string& name, std::uint64_t value) { Send("count " + name + " " + std::to_string(value)); }
  void Error(const std::string& text) { Send("error " + text); }

 private:
  void Send(std::string line) {
    line += '\n';
    for (std::size_t done = 0; done < line.size();) {
      ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
      if (n <= 0) _exit(3);
      done += static_cast<std::size_t>(n);
    }
  }
  int fd_;
  double wall_ = 0;
  double cpu_ = 0;
};

// Which facet a changing call of the machine's log belongs to, by its Windows name.
const char* FacetOf(std::string_view call) {
  auto starts = [&](std::string_view p) { return call.substr(0, p.size()) == p; };
  if (starts("Reg")) return "registry";
  if (starts("Dde")) return "dde";
  if (call.find("Print") != std::string_view::npos || call.find("Port") != std::string_view::npos ||
      call.find("Monitor") != std::string_view::npos || call == "SetPrinterA")
    return "spooler";
  if (call.find("Profile") != std::string_view::npos) return "profile";
  if (call.find("Service") != std::string_view::npos) return "services";
  if (call.find("File") != std::string_view::npos || call.find("Directory") != std::string_view::npos) return "files";
  return "other";
}

// The erase, as qxers-sim run IMAGE --out DIR does it with the default answers.
void EraseChild(const std::string& image, const std::string& outDir, Reporter& report) {
  qx::sim::SimMachine m;
  std::string error;
  report.Begin("load");
  if (!qx::sim::LoadImage(image, m, error)) {
    report.Error("load: " + error);
    return;
  }
  report.End("load");

  report.Begin("capture");
  qx::Platform& machine = m.platform();  // makes Windows' own directories, as qxers-sim does first
  qxsim::MachineView before = qxsim::Capture(m);
  report.End("capture");

  report.Begin("run");
  CountingPlatform counted(machine);
  qxsim::ConsoleAnswers answers;
  answers.ok = true;
  answers.restart = false;
  std::ostringstream console;
  qxsim::ConsoleDialogs dialogs(console, answers, nullptr);
  dialogs.SetClock([&m] { return m.ElapsedMs(); });
  qx::CQXErsDoc doc(counted.platform());
  qx::CQXErsView view(doc, dialogs);
  view.window = m.AddWindow("QXErsView", "Qorvex Eraser", [&view](qx::HWND, qx::UINT message, qx::WPARAM w,
                                                                   qx::LPARAM l) { return view.OnMessage(message, w, l); });
  view.OnTimer();
  m.JoinThreads();
  report.End("run");
  std::vector<qx::sim::ReceivedMessage> messages = m.Messages(view.window);
  report.Count("calls.registry", counted.registry.count);
  report.Count("calls.files", counted.files.count);
  report.Count("calls.profile", counted.profile.count);
  report.Count("calls.spooler", counted.spooler.count);
  report.Count("calls.machine", m.PlatformCalls());
  report.Count("changing", m.ChangingCalls());
  std::map<std::string, std::uint64_t> changing;
  for (const qx::sim::PlatformCall& call : m.ChangingCallLog()) ++changing[FacetOf(call.call)];
  for (const auto& [facet, n] : changing) report.Count("changing." + facet, n);
  int result = 0;
  report.Count("result", qxsim::RunResult(messages, result) ? static_cast<std::uint64_t>(result + 1000) : 0);
  std::uint64_t familyLeft = 0;
  const std::string printers = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
  for (const std::string& name : m.Subkeys(printers)) {
    auto driver = m.Value(printers + "\\" + name, "Printer Driver");
    if (driver && driver->data.compare(0, 16, "Qorvex PS Driver") == 0) ++familyLeft;
  }
  report.Count("family_left", familyLeft);

  report.Begin("diff");
  qxsim::Summary summary = qxsim::Compare(before, qxsim::Capture(m, &before));
  std::string text = qxsim::FormatSummary(summary, false);
  report.End("diff");
  std::uint64_t changed = 0;
  for (const qxsim::KindChange& k : summary.kinds) changed += k.removed.size() + k.added.size() + k.changed.size();
  report.Count("summary_objects", changed);

  report.Begin("write");
  if (!qxsim::WriteRunOutputs(outDir, m, messages, error)) {
    report.Error("write: " + error);
    return;
  }
  report.End("write");
}

std::vector<fs::path> RegFiles(const std::string& image) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::directory_iterator it(image, ec), end; !ec && it != end; it.increment(ec)) {
    std::string ext = it->path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == ".reg" && it->is_regular_file(ec)) files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

void PlainChild(const std::string& image, Reporter& report) {
  PlainRegCounts total;
  PlainRegistry kept;  // kept to the end: its teardown is no part of the reading
  std::uint64_t bytes = 0;
  report.Begin("plain");
  for (const fs::path& path : RegFiles(image)) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bytes += text.size();
    PlainRegCounts c = ReadPlainReg(text, kept);
    total.keys += c.keys;
    total.values += c.values;
    total.dataBytes += c.dataBytes;
    total.checksum ^= c.checksum;
  }
  report.End("plain");
  report.Count("plain.keys", total.keys);
  report.Count("plain.values", total.values);
  report.Count("plain.bytes", bytes);
  report.Count("plain.checksum", total.checksum & 0xFFFF);

  // The same files as the image loader reads them (onto a machine of nothing else).
  auto* machine = new qx::sim::SimMachine;  // left to the process's end, like the plain reader's
  std::string error;
  report.Begin("regload");
  for (const fs::path& path : RegFiles(image)) {
    qx::sim::image::DecodedText text;
    std::string name = path.filename().string();
    if (!qx::sim::image::OpenRegistryText(path, name, text, error) ||
        !qx::sim::image::ApplyRegText(name, text, *machine, error)) {
      report.Error(error);
      return;
    }
  }
  report.End("regload");
}

Phase* PhaseNamed(Measurement& m, const std::string& name) {
  if (name == "load") return &m.load;
  if (name == "capture") return &m.capture;
  if (name == "run") return &m.run;
  if (name == "diff") return &m.diff;
  if (name == "write") return &m.write;
  if (name == "plain") return &m.plain;
  if (name == "regload") return &m.regLoad;
  return nullptr;
}

constexpr char kChildFlag[] = "--measure-child";

// Starts this program again as the child that does one measurement (MeasureChildMain) and
// reports on a pipe; reads its lines into m, ending the child when a phase runs past the
// limit. A new program rather than a plain fork: the child's peak memory is then its own, not
// the parent's as it stood at the fork.
void InChild(const std::string& kind, const std::string& image, const std::string& outDir, double limitSeconds,
             Measurement& m) {
  int fds[2];
  if (pipe(fds) != 0) {
    m.error = "pipe failed";
    return;
  }
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) {
    m.error = "fork failed";
    return;
  }
  if (pid == 0) {
    close(fds[0]);
    std::string fd = std::to_string(fds[1]);
    execl("/proc/self/exe", "qx_bench", kChildFlag, kind.c_str(), image.c_str(), outDir.c_str(), fd.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  double deadline = WallSeconds() + limitSeconds;
  Phase* current = nullptr;
  std::string pending;
  bool killed = false;
  for (;;) {
    int waitMs = static_cast<int>(std::max(0.0, (deadline - WallSeconds()) * 1000.0));
    pollfd p{fds[0], POLLIN, 0};
    int ready = poll(&p, 1, current ? waitMs : -1);
    if (ready == 0) {
      kill(pid, SIGKILL);
      killed = true;
      if (current) current->state = Phase::kOverLimit;
      break;
    }
    if (ready < 0) continue;
    char buffer[4096];
    ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    pending.append(buffer, static_cast<std::size_t>(n));
    for (std::size_t eol; (eol = pending.find('\n')) != std::string::npos; pending.erase(0, eol + 1)) {
      std::istringstream line(pending.substr(0, eol));
      std::string what, name;
      line >> what >> name;
      if (what == "begin") {
        current = PhaseNamed(m, name);
        deadline = WallSeconds() + limitSeconds;
      } else if (what == "end") {
        if (Phase* phase = PhaseNamed(m, name)) {
          line >> phase->wallSeconds >> phase->cpuSeconds >> phase->peakKb;
          phase->state = Phase::kDone;
        }
        current = nullptr;
      } else if (what == "count") {
        std::uint64_t value = 0;
        line >> value;
        m.counts[name] = value;
      } else if (what == "error") {
        std::string rest;
        std::getline(line, rest);
        m.error = name + rest;
        if (current) current->state = Phase::kFailed;
        current = nullptr;
      }
    }
  }
  close(fds[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  m.childPeakKb = std::max(m.childPeakKb, usage.ru_maxrss);
  if (!killed && WIFEXITED(status) && WEXITSTATUS(status) == 127 && m.error.empty()) m.error = "the child could not start";
  if (!killed && current) {
    current->state = Phase::kFailed;
    if (m.error.empty())
      m.error = WIFSIGNALED(status) ? "the child died of signal " + std::to_string(WTERMSIG(status))
                                    : "the child ended during a phase";
  }
}

}  // namespace

bool IsMeasureChild(int argc, char** argv) { return argc == 6 && std::string_view(argv[1]) == kChildFlag; }

void MeasureChildMain(char** argv) {
  Reporter report(std::atoi(argv[5]));
  if (std::string_view(argv[2]) == "erase") EraseChild(argv[3], argv[4], report);
  else PlainChild(argv[3], report);
  // The machine's teardown is not part of any measurement.
  _exit(0);
}

Measurement MeasureErase(const std::string& image, const std::string& outDir, double limitSeconds) {
  Measurement m;
  InChild("erase", image, outDir, limitSeconds, m);
  return m;
}

void MeasurePlainReader(const std::string& image, double limitSeconds, Measurement& m) {
  std::error_code ec;
  m.regBytes = 0;
  for (const fs::path& path : RegFiles(image)) m.regBytes += fs::file_size(path, ec);
  const long eraserPeak = m.childPeakKb;  // the peak in the table is the erase's
  InChild("plain", image, "-", limitSeconds, m);
  m.childPeakKb = eraserPeak;
}

}  // namespace bench
