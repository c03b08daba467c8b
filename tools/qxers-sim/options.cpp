// The command line, read with CLI11. This file holds ASCII text only: it is compiled, like
// every file of ours, with Shift-JIS as the execution character set, which CLI11's own text
// takes unchanged.
#include "tools/qxers-sim/options.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <system_error>
#include <vector>

namespace qxsim {

namespace fs = std::filesystem;

namespace {

using Mode = qx::RunSwitches::Mode;
using Restart = qx::RunSwitches::Restart;

// A whole decimal number from 1 to max, or nothing.
std::optional<std::uint64_t> Count(const std::string& text, std::uint64_t max) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  std::uint64_t n = std::stoull(text);
  if (n < 1 || n > max) return std::nullopt;
  return n;
}

// The words CLI11 does not check itself: values, one image, and switches that contradict each
// other. An empty string when the command line holds together.
std::string Check(Options& o, const std::vector<std::string>& images, bool outGiven, const std::string& cutAfter,
                  const std::string& jobs, const std::string& exitCodes, int restartSwitches, bool keepDrivers,
                  bool removeDrivers) {
  bool diff = o.command == Options::kDiff;
  if (diff && images.size() < 2) return "diff needs two images";
  if (diff && images.size() > 2) return "diff compares two images";
  if (o.command == Options::kFleet && images.size() != 1)
    return images.empty() ? "fleet needs a folder" : "fleet reads one folder";
  if (!diff && images.size() > 1) return "more than one image given";
  if (!images.empty()) o.image = images[0];
  if (diff) o.other = images[1];
  if (outGiven && o.outDir.empty()) return "--out needs a directory";
  if (o.command == Options::kReboot && o.outDir.empty()) return "reboot needs --out DIR";
  if (!jobs.empty()) {
    std::optional<std::uint64_t> n = Count(jobs, 1024);
    if (!n) return "--jobs needs a number of machines from 1 to 1024";
    o.jobs = static_cast<unsigned>(*n);
  }
  if (o.command != Options::kRun) return "";

  if (!o.answer.empty() && o.answer != "ok" && o.answer != "cancel") return "--answer needs ok or cancel";
  if (!o.drivers.empty() && o.drivers != "keep" && o.drivers != "delete") return "--drivers needs keep or delete";
  if (!cutAfter.empty()) {
    o.cutAfter = Count(cutAfter, 999999999);
    if (!o.cutAfter) return "--cut-after needs a number of changing calls from 1 to 999999999";
  }
  if (!exitCodes.empty() && exitCodes != "msi") return "--exit-codes takes msi (the Windows Installer's codes)";
  o.msiExitCodes = !exitCodes.empty();

  qx::RunSwitches& s = o.switches;
  bool quiet = s.mode == Mode::Quiet, unattended = s.Unattended();
  if (keepDrivers && removeDrivers) return "--keep-drivers and --remove-drivers contradict each other";
  if (restartSwitches > 1) return "--norestart, --forcerestart and --promptrestart contradict each other";
  if (quiet && s.restart == Restart::Prompt) return "--quiet asks nothing: --promptrestart needs --passive or neither";
  if (unattended && !o.answer.empty()) return "--answer answers dialogs that --quiet and --passive do not show";
  if (unattended && !o.drivers.empty())
    return "--drivers answers a dialog that --quiet and --passive do not show: give --keep-drivers or --remove-drivers";
  if (!o.drivers.empty() && (keepDrivers || removeDrivers))
    return "--drivers and --keep-drivers/--remove-drivers both give the driver choice";
  if (o.restart && s.EffectiveRestart() != Restart::Prompt)
    return "--restart answers the restart question, which these switches never ask (--forcerestart restarts "
           "without asking)";
  s.drivers = keepDrivers ? 0 : removeDrivers ? 1 : -1;
  s.any = s.Unattended() || s.drivers >= 0 || s.restart != Restart::Default || !s.reportPath.empty();
  return "";
}

}  // namespace

bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
  std::string command = argc < 2 ? "" : argv[1];
  if (command != "run" && command != "reboot" && command != "diff" && command != "fleet") {
    error = argc < 2 ? "no command given" : "unknown command '" + command + "'";
    return false;
  }
  CLI::App app("qxers-sim");
  app.set_help_flag();  // main answers --help with the usage text
  app.require_subcommand(1);
  std::vector<std::string> images;
  std::string cutAfter, jobs, exitCodes;
  bool quiet = false, passive = false, keepDrivers = false, removeDrivers = false;
  bool norestart = false, forcerestart = false, promptrestart = false;

  CLI::App* run = app.add_subcommand("run");
  CLI::App* reboot = app.add_subcommand("reboot");
  CLI::App* diff = app.add_subcommand("diff");
  CLI::App* fleet = app.add_subcommand("fleet");
  for (CLI::App* command : {run, reboot, diff, fleet}) {
    command->add_option("images", images);
    command->add_flag("--timings", options.timings);
  }
  for (CLI::App* command : {run, diff, fleet}) command->add_flag("--verbose", options.verbose);
  CLI::Option* runOut = run->add_option("--out", options.outDir);
  CLI::Option* rebootOut = reboot->add_option("--out", options.outDir);
  run->add_flag("--restart", options.restart);
  run->add_option("--answer", options.answer);
  run->add_option("--drivers", options.drivers);
  run->add_flag("--log", options.log);
  run->add_flag("--preview", options.preview);
  run->add_option("--cut-after", cutAfter);
  run->add_flag("--quiet", quiet);
  run->add_flag("--passive", passive);
  run->add_flag("--keep-drivers", keepDrivers);
  run->add_flag("--remove-drivers", removeDrivers);
  run->add_flag("--norestart", norestart);
  run->add_flag("--forcerestart", forcerestart);
  run->add_flag("--promptrestart", promptrestart);
  run->add_option("--report", options.switches.reportPath);
  run->add_option("--exit-codes", exitCodes);
  for (CLI::App* command : {run, fleet}) command->add_flag("--json", options.json);
  fleet->add_option("--csv", options.csv);
  fleet->add_option("--jobs", jobs);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    error = e.what();
    return false;
  }
  options.command = diff->parsed() ? Options::kDiff : reboot->parsed() ? Options::kReboot
                    : fleet->parsed()  ? Options::kFleet
                                       : Options::kRun;
  if (quiet && passive) {
    error = "--quiet and --passive contradict each other";
    return false;
  }
  qx::RunSwitches& s = options.switches;
  s.mode = quiet ? Mode::Quiet : passive ? Mode::Passive : Mode::Interactive;
  s.restart = norestart ? Restart::Never : forcerestart ? Restart::Force : promptrestart ? Restart::Prompt : Restart::Default;
  if (run->get_option("--report")->count() && s.reportPath.empty()) {
    error = "--report needs a file";
    return false;
  }
  bool outGiven = runOut->count() > 0 || rebootOut->count() > 0;
  if (fleet->get_option("--csv")->count() && options.csv.empty()) {
    error = "--csv needs a file";
    return false;
  }
  error = Check(options, images, outGiven, cutAfter, jobs, exitCodes, norestart + forcerestart + promptrestart,
                keepDrivers, removeDrivers);
  return error.empty();
}

bool AsksMsiExitCodes(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    std::string word = argv[i];
    if (word == "--exit-codes=msi" || (word == "--exit-codes" && i + 1 < argc && std::string(argv[i + 1]) == "msi"))
      return true;
  }
  return false;
}
const char* Usage() {
  return "usage: qxers-sim run [IMAGE] [--out DIR] [--restart] [--answer ok|cancel] [--drivers keep|delete]\n"
         "                     [--verbose] [--log] [--preview] [--cut-after N] [--timings]\n"
         "                     [--quiet | --passive] [--keep-drivers | --remove-drivers]\n"
         "                     [--norestart | --forcerestart | --promptrestart] [--report FILE]\n"
         "                     [--exit-codes msi] [--json]\n"
         "  Runs Qorvex Eraser on the simulated machine of the image folder IMAGE\n"
         "  (default: images/default of the source tree): the dialogs, the progress (a bar\n"
         "  on a terminal, a line per stage otherwise), the end message, what changed on the\n"
         "  machine by kind, and how long the run's waits take on a real machine, by stage.\n"
         "  --verbose   list every object that changed\n"
         "  --log       print the run log (QXErs.log) in UTF-8\n"
         "  --preview   the image holds only some of the machine's files: files the run\n"
         "              looks for and does not find are unknown, not missing (always so for\n"
         "              an image without machine.ini: a real machine's registry export)\n"
         "  --out DIR   write DIR/messages.txt, DIR/calls.txt (what other programs, libraries\n"
         "              and the web server received), DIR/dde.txt (the Program Manager\n"
         "              commands), DIR/spooler.txt (the spooler calls that changed something,\n"
         "              and the broadcasts), DIR/after/ (the machine after the run) and\n"
         "              DIR/QXErs.log (when the run wrote a log)\n"
         "  --restart   answer Yes when the run asks to restart Windows, and restart the\n"
         "              simulated machine before DIR/after/ is written (default No)\n"
         "  --answer ok|cancel     OK to the dialogs, or Cancel (and yes, quit) (default ok)\n"
         "  --drivers keep|delete  the driver choice (default: DEFAULT_DELPRINTER's preset)\n"
         "  --cut-after N  a power cut: the machine loses power once the run has made N calls\n"
         "              that change what it keeps (registry and file writes and deletions,\n"
         "              service control, spooler deletions, ...); later ones fail and change\n"
         "              nothing. A [cut] line says after which call; the summary and DIR/after/\n"
         "              show the machine as the cut left it (with --restart, restarted)\n"
         "  --timings   say on stderr how long loading the image, the run, the summary and\n"
         "              writing took, wall and CPU time, and the peak memory (--verbose says\n"
         "              it too; they differ from run to run, so they stay off stdout)\n"
         "  While a large image loads, a terminal on stderr shows how much of it has been read.\n"
         "  Answers not given are asked at the terminal when qxers-sim runs on one without\n"
         "  --out and outside CI; otherwise the defaults are taken and nothing waits for input.\n"
         "  QXErs.exe's unattended switches (/quiet, /passive, ...), as a deployment tool gives them:\n"
         "  --quiet     no window at all: the run starts at once with the driver choice below,\n"
         "              asks nothing and shows no progress and no end message (the summary and\n"
         "              [result] lines stay); by default it does not restart Windows\n"
         "  --passive   the progress only: no question, no end message; by default no restart\n"
         "  --keep-drivers, --remove-drivers  the driver choice (default: the preset); the\n"
         "              driver dialog of an interactive run opens on it\n"
         "  --norestart     never restart Windows, even when the run needs it\n"
         "  --forcerestart  restart without asking when the run needs it (the simulated\n"
         "              machine restarts before the summary and DIR/after/)\n"
         "  --promptrestart ask whether to restart (an interactive run's default; not --quiet)\n"
         "  --report FILE   write the result file (INI, Shift-JIS, CR LF: computer, Windows,\n"
         "              times, result, exit code, restart, failures by log section) to FILE\n"
         "              on this machine, whole or not at all\n"
         "  --exit-codes msi  exit with the Windows Installer's code of the end: 0 done, 3010\n"
         "              restart needed, 1641 restart started, 1602 cancelled, 1619 no QXErs.ini,\n"
         "              1633 unsupported Windows, 5 no rights, 1603 any other end; 87 usage,\n"
         "              image or output error. A Linux exit status holds a code's low byte\n"
         "              only (3010: 194, 1641: 105, 1602: 66, 1603: 67, 1619: 83, 1633: 97): an\n"
         "              [exit] line (and --json's exitCode) gives the whole code\n"
         "  --json      print one JSON object (UTF-8) instead of the text: the image, computer,\n"
         "              Windows version, result, exit code, restart needed/started, failures\n"
         "              by log section, and what changed by kind (counts; with --verbose the\n"
         "              objects and the failure lines too; with --log the log)\n"
         "  --quiet with --passive, --keep-drivers with --remove-drivers, two restart\n"
         "  switches, --quiet with --promptrestart, --answer or --drivers with --quiet or\n"
         "  --passive, and --restart where nothing asks to restart are usage errors.\n"
         "  Exit status: 0 finished, 1 the run ended with an error result, 2 usage, image or\n"
         "  output error (with --exit-codes msi, the codes above).\n"
         "usage: qxers-sim reboot [IMAGE] --out DIR [--timings]\n"
         "  Restarts the simulated machine of IMAGE: carries out the renames and deletions\n"
         "  left for the restart, ends every hold on files, removes the services marked for\n"
         "  deletion and starts the automatic ones; writes DIR/after/ (the machine after the\n"
         "  restart). Exit status: 0 done, 2 usage or image error.\n"
         "usage: qxers-sim diff A B [--verbose] [--timings]\n"
         "  What differs between the machines of images A and B, by kind, as run's summary\n"
         "  shows it. Exit status: 0 no difference, 1 differences, 2 usage or image error.\n"
         "usage: qxers-sim fleet DIR [--csv FILE] [--json] [--jobs N] [--verbose] [--timings]\n"
         "  One table of many machines: every result file DIR/*.ini (as --report writes it,\n"
         "  collected from real machines) and every image folder directly under DIR (one that\n"
         "  holds machine.ini or .reg files), each image erased as run --quiet would (the\n"
         "  preset driver choice, no restart), N at a time (default: one per core). A row a\n"
         "  machine: its name (the computer name, else the file or folder name), Windows,\n"
         "  result, exit code, restart, failures, and by kind what the run removes (images;\n"
         "  \"restart\": what it leaves for the restart) or \"-\" (result files tell failures\n"
         "  only). Machines needing attention come first (failures, or an exit code other\n"
         "  than 0, 3010 and 1641), then those waiting for a restart (3010), then the rest.\n"
         "  --csv FILE  the same table as CSV (UTF-8)\n"
         "  --json      a JSON array of run --json's objects instead of the table\n"
         "  Exit status: 0 every machine ended 0, 3010 or 1641; 1 otherwise; 2 usage error.\n";
}

std::string DefaultImage() {
  std::error_code ec;
#ifdef QX_SOURCE_DIR
  fs::path compiled = fs::path(QX_SOURCE_DIR) / "images" / "default";
  if (fs::is_directory(compiled, ec)) return compiled.string();
#endif
  fs::path dir = fs::read_symlink("/proc/self/exe", ec).parent_path();
  for (; !ec && !dir.empty(); dir = dir.parent_path()) {
    fs::path candidate = dir / "images" / "default";
    if (fs::is_directory(candidate, ec)) return candidate.string();
    if (dir == dir.root_path()) break;
  }
  return "images/default";
}

}  // namespace qxsim
