#include "tools/qxers-sim/options.h"

#include <filesystem>
#include <system_error>

namespace qxsim {

namespace fs = std::filesystem;

bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
  std::string command = argc < 2 ? "" : argv[1];
  if (command != "run" && command != "reboot" && command != "diff") {
    error = argc < 2 ? "no command given" : "unknown command '" + command + "'";
    return false;
  }
  options.command = command == "run" ? Options::kRun : command == "diff" ? Options::kDiff : Options::kReboot;
  bool haveImage = false;
  bool diff = options.command == Options::kDiff;
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--verbose" && options.command != Options::kReboot) {
      options.verbose = true;
    } else if (arg == "--timings") {
      options.timings = true;
    } else if ((arg == "--log" || arg == "--preview") && options.command == Options::kRun) {
      (arg == "--log" ? options.log : options.preview) = true;
    } else if (diff && !arg.empty() && arg[0] != '-') {
      if (options.other.empty() && haveImage) {
        options.other = arg;
      } else if (!haveImage) {
        options.image = arg;
        haveImage = true;
      } else {
        error = "diff compares two images";
        return false;
      }
    } else if (arg == "--out" && !diff) {
      if (i + 1 >= argc || std::string(argv[i + 1]).empty()) {
        error = "--out needs a directory";
        return false;
      }
      options.outDir = argv[++i];
    } else if (arg == "--restart" && options.command == Options::kRun) {
      options.restart = true;
    } else if ((arg == "--answer" || arg == "--drivers") && options.command == Options::kRun) {
      std::string value = i + 1 < argc ? argv[i + 1] : "";
      bool valid = arg == "--answer" ? (value == "ok" || value == "cancel") : (value == "keep" || value == "delete");
      if (!valid) {
        error = arg + (arg == "--answer" ? " needs ok or cancel" : " needs keep or delete");
        return false;
      }
      (arg == "--answer" ? options.answer : options.drivers) = value;
      ++i;
    } else if (arg == "--cut-after" && options.command == Options::kRun) {
      std::string value = i + 1 < argc ? argv[i + 1] : "";
      std::uint64_t n = 0;
      bool valid = !value.empty() && value.size() <= 9 && value.find_first_not_of("0123456789") == std::string::npos &&
                   (n = std::stoull(value)) > 0;
      if (!valid) {
        error = "--cut-after needs a number of changing calls from 1 to 999999999";
        return false;
      }
      options.cutAfter = n;
      ++i;
    } else if (!arg.empty() && arg[0] == '-') {
      error = "unknown option '" + arg + "'";
      return false;
    } else if (haveImage) {
      error = "more than one image given";
      return false;
    } else {
      options.image = arg;
      haveImage = true;
    }
  }
  if (diff && options.other.empty()) {
    error = "diff needs two images";
    return false;
  }
  if (options.command == Options::kReboot && options.outDir.empty()) {
    error = "reboot needs --out DIR";
    return false;
  }
  return true;
}

const char* Usage() {
  return "usage: qxers-sim run [IMAGE] [--out DIR] [--restart] [--answer ok|cancel] [--drivers keep|delete]\n"
         "                     [--verbose] [--log] [--preview] [--cut-after N] [--timings]\n"
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
         "  Exit status: 0 finished, 1 the run ended with an error result, 2 usage or image error.\n"
         "usage: qxers-sim reboot [IMAGE] --out DIR [--timings]\n"
         "  Restarts the simulated machine of IMAGE: carries out the renames and deletions\n"
         "  left for the restart, ends every hold on files, removes the services marked for\n"
         "  deletion and starts the automatic ones; writes DIR/after/ (the machine after the\n"
         "  restart). Exit status: 0 done, 2 usage or image error.\n"
         "usage: qxers-sim diff A B [--verbose] [--timings]\n"
         "  What differs between the machines of images A and B, by kind, as run's summary\n"
         "  shows it. Exit status: 0 no difference, 1 differences, 2 usage or image error.\n";
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
