#include "tools/qxers-sim/erase.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "app/CQXErsDoc.h"
#include "app/ui/CQXErsView.h"
#include "app/ui/run_report.h"
#include "platform/sim/encoding.h"
#include "tools/qxers-sim/machine_result.h"
#include "tools/qxers-sim/preview.h"
#include "tools/qxers-sim/run_output.h"

namespace qxsim {

namespace {

// The result file's place when the shell keeps its text without writing it anywhere: the
// view writes a result file only when it has a path.
constexpr const char* kKeptReport = "QXErsResult.ini";

}  // namespace

bool WriteWhole(const std::string& path, const std::string& text, std::string& error) {
  // Beside the file, so that the rename stays on its file system; made as any other file is
  // (the umask applies), and never one that is there already.
  std::string temporary = path + ".part" + std::to_string(getpid());
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  int saved = errno;
  bool ok = done == text.size();
  ok = close(fd) == 0 && ok;
  if (ok && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
  error = path + ": " + std::strerror(done == text.size() ? errno : saved);
  unlink(temporary.c_str());
  return false;
}

EraseOutcome Erase(qx::sim::SimMachine& m, const EraseSetup& setup, ConsoleDialogs& dialogs, std::ostream& out,
                   const std::function<void(const char*)>& lap) {
  auto mark = [&lap](const char* part) {
    if (lap) lap(part);
  };
  EraseOutcome outcome;
  // The directories Windows always has are made first, so that they do not count as changes.
  qx::Platform& machine = m.platform();
  MachineView before = Capture(m);
  mark("summary");
  WatchedPlatform watched(machine);
  if (setup.cutAfter) m.CutAfter(*setup.cutAfter);

  dialogs.SetClock([&m] { return m.ElapsedMs(); });
  qx::CQXErsDoc doc(setup.preview ? watched.platform() : machine);
  qx::CQXErsView view(doc, dialogs);
  view.switches = setup.switches;
  const std::string reportFile = setup.switches.reportPath;
  if (reportFile.empty() && setup.keepReport) view.switches.reportPath = kKeptReport;
  view.reportWriter = [&outcome, &reportFile](const std::string&, const std::string& text) {
    outcome.report = text;
    return reportFile.empty() || WriteWhole(reportFile, text, outcome.reportError);
  };
  view.window = m.AddWindow("QXErsView", "Qorvex Eraser", [&view](qx::HWND, qx::UINT message, qx::WPARAM w,
                                                                   qx::LPARAM l) { return view.OnMessage(message, w, l); });
  view.OnTimer();
  m.JoinThreads();
  outcome.ended = dialogs.closed;
  outcome.msiExitCode = outcome.ended ? view.msiExitCode : qx::kExitFailed;
  const bool cut = setup.cutAfter && m.PoweredOff();
  if (setup.cutAfter) {
    if (std::optional<qx::sim::PlatformCall> call = m.CutCall()) {
      out << "[cut] the power went off after changing call " << *setup.cutAfter << ": " << call->call
          << (call->object.empty() ? "" : " " + qx::sim::Cp932ToUtf8Lossy(call->object)) << "\n";
    } else {
      out << "[cut] none: the run made only " << m.ChangingCalls() << " changing calls\n";
    }
  }
  // Windows was asked to restart: the machine goes down and comes back before anyone looks.
  // After a power cut nothing could ask; with --restart the power comes back instead.
  if (cut) {
    if (setup.powerBack) {
      m.Reboot();
      out << "[restart] the power came back: the machine restarted\n";
    }
  } else if (m.RestartRequested()) {
    std::string how = m.ShutdownRequests().back().call;
    m.Reboot();
    out << "[restart] " << how << ": the machine restarted\n";
  } else if (dialogs.restartAnswered || (outcome.ended && view.msiExitCode == qx::kExitRestartStarted)) {
    out << "[restart] none: the machine accepted no restart request\n";
  }
  outcome.restarted = cut ? setup.powerBack : m.RestartRequested();
  outcome.messages = m.Messages(view.window);
  outcome.elapsedMs = m.ElapsedMs();
  mark("run");

  outcome.summary = Compare(before, Capture(m, &before));
  if (setup.preview) {
    for (const std::string& path : watched.NotFound())
      if (!m.HasFile(path) && !m.HasDirectory(path))
        outcome.summary.unknownFiles.push_back(qx::sim::Cp932ToUtf8Lossy(path));
  }
  mark("summary");
  int result = 0;
  if (RunResult(outcome.messages, result)) {
    outcome.result = result;
  } else if (!outcome.report.empty()) {
    // A run that never started (a second instance) tells its result in the result file only.
    MachineResult reported;
    std::string notReport;
    if (ParseReport(outcome.report, reported, notReport)) outcome.result = reported.result;
  }
  return outcome;
}

}  // namespace qxsim
