// qxers-sim: Qorvex Eraser on a simulated Windows machine, from a machine image.
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "app/CQXErsDoc.h"
#include "app/ui/CQXErsView.h"
#include "platform/sim/encoding.h"
#include "platform/sim/image/image.h"
#include "platform/sim/sim_machine.h"
#include "tools/qxers-sim/console_dialogs.h"
#include "tools/qxers-sim/options.h"
#include "tools/qxers-sim/preview.h"
#include "tools/qxers-sim/run_output.h"
#include "tools/qxers-sim/summary.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailedRun = 1;
constexpr int kExitUsage = 2;

// Loads the image the options name (the default one without a name); false after saying why.
bool LoadMachine(const qxsim::Options& options, qx::sim::SimMachine& m, bool quiet = false) {
  std::string image = options.image.empty() ? qxsim::DefaultImage() : options.image;
  std::string error;
  if (!qx::sim::LoadImage(image, m, error)) {
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

int Run(const qxsim::Options& options) {
  qx::sim::SimMachine m;
  if (!LoadMachine(options, m)) return kExitUsage;
  std::string error;
  std::string image = options.image.empty() ? qxsim::DefaultImage() : options.image;
  std::error_code ec;
  bool preview = options.preview || !std::filesystem::exists(std::filesystem::path(image) / "machine.ini", ec);
  if (preview) {
    const qx::sim::SystemSettings& s = m.settings();
    std::cout << "[preview] " << (s.platformId == qx::VER_PLATFORM_WIN32_NT ? "Windows NT " : "Windows ")
              << s.majorVersion << "." << s.minorVersion << " build " << s.buildNumber
              << (s.csdVersion.empty() ? "" : " ") << qx::sim::Cp932ToUtf8Lossy(s.csdVersion) << ", "
              << qx::sim::Cp932ToUtf8Lossy(s.windowsDirectory) << ", user " << qx::sim::Cp932ToUtf8Lossy(s.currentUser)
              << ", TEMP " << qx::sim::Cp932ToUtf8Lossy(s.tempPath)
              << "; files the image does not hold are unknown\n";
  }
  // The directories Windows always has are made first, so that they do not count as changes.
  qx::Platform& machine = m.platform();
  qxsim::MachineView before = qxsim::Capture(m);
  qxsim::WatchedPlatform watched(machine);
  if (options.cutAfter) m.CutAfter(*options.cutAfter);

  qxsim::ConsoleAnswers answers;
  if (!options.answer.empty()) answers.ok = options.answer == "ok";
  if (!options.drivers.empty()) answers.drivers = options.drivers == "delete" ? 1 : 0;
  if (options.restart) answers.restart = true;
  // Only a person at a terminal is asked; a run that writes its outputs, or one under CI,
  // never waits for input.
  const char* ci = std::getenv("CI");
  bool interactive = isatty(STDIN_FILENO) && options.outDir.empty() && !(ci && *ci);
  if (!interactive) answers.restart = options.restart;
  qxsim::ConsoleDialogs dialogs(std::cout, answers, interactive ? &std::cin : nullptr);
  dialogs.SetTerminal(isatty(STDOUT_FILENO));
  dialogs.SetClock([&m] { return m.ElapsedMs(); });
  qx::CQXErsDoc doc(preview ? watched.platform() : machine);
  qx::CQXErsView view(doc, dialogs);
  view.window = m.AddWindow("QXErsView", "Qorvex Eraser", [&view](qx::HWND, qx::UINT message, qx::WPARAM w,
                                                                   qx::LPARAM l) { return view.OnMessage(message, w, l); });
  view.OnTimer();
  m.JoinThreads();
  const bool cut = options.cutAfter && m.PoweredOff();
  if (options.cutAfter) {
    if (std::optional<qx::sim::PlatformCall> call = m.CutCall()) {
      std::cout << "[cut] the power went off after changing call " << *options.cutAfter << ": " << call->call
                << (call->object.empty() ? "" : " " + qx::sim::Cp932ToUtf8Lossy(call->object)) << "\n";
    } else {
      std::cout << "[cut] none: the run made only " << m.ChangingCalls() << " changing calls\n";
    }
  }
  // Windows was asked to restart: the machine goes down and comes back before anyone looks.
  // After a power cut nothing could ask; with --restart the power comes back instead.
  if (cut) {
    if (options.restart) {
      m.Reboot();
      std::cout << "[restart] the power came back: the machine restarted\n";
    }
  } else if (m.RestartRequested()) {
    std::string how = m.ShutdownRequests().back().call;
    m.Reboot();
    std::cout << "[restart] " << how << ": the machine restarted\n";
  } else if (dialogs.restartAnswered) {
    std::cout << "[restart] none: the machine accepted no restart request\n";
  }

  std::vector<qx::sim::ReceivedMessage> messages = m.Messages(view.window);
  qxsim::Summary summary = qxsim::Compare(before, qxsim::Capture(m));
  if (preview) {
    for (const std::string& path : watched.NotFound())
      if (!m.HasFile(path) && !m.HasDirectory(path)) summary.unknownFiles.push_back(qx::sim::Cp932ToUtf8Lossy(path));
  }
  const bool restarted = cut ? options.restart : m.RestartRequested();
  std::cout << "[summary] what changed on the machine" << (restarted ? " (after its restart)" : "") << ":\n"
            << qxsim::FormatSummary(summary, options.verbose);
  PrintWaits(dialogs, m.ElapsedMs());
  if (options.log) {
    std::string path = m.settings().tempPath;
    if (!path.empty() && path.back() != '\\') path += '\\';
    path += "QXErs.log";
    auto log = m.File(path);
    if (log && !log->directory) std::cout << "[log] " << qx::sim::Cp932ToUtf8Lossy(path) << ":\n" << qx::sim::Cp932ToUtf8Lossy(log->contents);
    else std::cout << "[log] none: the run wrote no log (QXErs.ini's LOG=1 asks for one)\n";
  }

  if (!options.outDir.empty() && !qxsim::WriteRunOutputs(options.outDir, m, messages, error)) {
    std::cerr << "qxers-sim: " << error << "\n";
    return kExitUsage;
  }
  int result = 0;
  if (!qxsim::RunResult(messages, result)) {
    std::cout << "[result] none: the run did not start\n";
    return kExitFailedRun;
  }
  std::cout << "[result] " << result << "\n";
  return result == qx::kResultDone || result == qx::kResultRestart ? kExitDone : kExitFailedRun;
}

// The image as it is after a restart of its machine.
int Reboot(const qxsim::Options& options) {
  qx::sim::SimMachine m;
  if (!LoadMachine(options, m)) return kExitUsage;
  std::string error;
  m.Reboot();
  std::cout << "[reboot] done\n";
  if (!qxsim::WriteRebootOutput(options.outDir, m, error)) {
    std::cerr << "qxers-sim: " << error << "\n";
    return kExitUsage;
  }
  return kExitDone;
}

// What differs between two images, in the summary's form.
int Diff(const qxsim::Options& options) {
  qx::sim::SimMachine a, b;
  qxsim::Options second = options;
  second.image = options.other;
  if (!LoadMachine(options, a, true) || !LoadMachine(second, b, true)) return kExitUsage;
  qxsim::Summary summary = qxsim::Compare(qxsim::Capture(a), qxsim::Capture(b));
  std::cout << "[diff] " << options.image << " -> " << options.other << ":\n"
            << qxsim::FormatSummary(summary, options.verbose);
  return summary.empty() ? kExitDone : kExitFailedRun;
}

}  // namespace

int main(int argc, char** argv) {
  qxsim::Options options;
  std::string error;
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::cout << qxsim::Usage();
    return kExitDone;
  }
  if (!qxsim::ParseOptions(argc, argv, options, error)) {
    std::cerr << "qxers-sim: " << error << "\n" << qxsim::Usage();
    return kExitUsage;
  }
  if (options.command == qxsim::Options::kDiff) return Diff(options);
  return options.command == qxsim::Options::kReboot ? Reboot(options) : Run(options);
}
