// qxers-sim: Qorvex Eraser on a simulated Windows machine, from a machine image.
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <iostream>
#include <string>

#include "app/CQXErsDoc.h"
#include "app/ui/CQXErsView.h"
#include "platform/sim/image.h"
#include "platform/sim/sim_machine.h"
#include "tools/qxers-sim/console_dialogs.h"
#include "tools/qxers-sim/options.h"
#include "tools/qxers-sim/run_output.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailedRun = 1;
constexpr int kExitUsage = 2;

// Loads the image the options name (the default one without a name); false after saying why.
bool LoadMachine(const qxsim::Options& options, qx::sim::SimMachine& m) {
  std::string image = options.image.empty() ? qxsim::DefaultImage() : options.image;
  std::string error;
  if (!qx::sim::LoadImage(image, m, error)) {
    std::cerr << "qxers-sim: " << image << ": " << error << "\n";
    return false;
  }
  std::cout << "[image] " << image << "\n";
  return true;
}

int Run(const qxsim::Options& options) {
  qx::sim::SimMachine m;
  if (!LoadMachine(options, m)) return kExitUsage;
  std::string error;

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
  qx::CQXErsDoc doc(m.platform());
  qx::CQXErsView view(doc, dialogs);
  view.window = m.AddWindow("QXErsView", "Qorvex Eraser", [&view](qx::HWND, qx::UINT message, qx::WPARAM w,
                                                                   qx::LPARAM l) { return view.OnMessage(message, w, l); });
  view.OnTimer();
  m.JoinThreads();
  // Windows was asked to restart: the machine goes down and comes back before anyone looks.
  if (m.RestartRequested()) {
    std::string how = m.ShutdownRequests().back().call;
    m.Reboot();
    std::cout << "[restart] " << how << ": the machine restarted\n";
  } else if (dialogs.restartAnswered) {
    std::cout << "[restart] none: the machine accepted no restart request\n";
  }

  std::vector<qx::sim::ReceivedMessage> messages = m.Messages(view.window);
  char waited[64];
  std::snprintf(waited, sizeof waited, "%.3f", static_cast<double>(m.ElapsedMs()) / 1000.0);
  std::cout << "[time] virtual time waited: " << waited << " s\n";

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
  return options.command == qxsim::Options::kReboot ? Reboot(options) : Run(options);
}
