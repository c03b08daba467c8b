// qxers-sim: Qorvex Eraser on a simulated Windows machine, from a machine image.
#include <cstdio>
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

  qxsim::ConsoleDialogs dialogs(std::cout, options.restart);
  qx::CQXErsDoc doc(m.platform());
  qx::CQXErsView view(doc, dialogs);
  view.window = m.AddWindow("QXErsView", "Qorvex Eraser", [&view](qx::HWND, qx::UINT message, qx::WPARAM w,
                                                                   qx::LPARAM l) { return view.OnMessage(message, w, l); });
  view.OnTimer();
  m.JoinThreads();

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
