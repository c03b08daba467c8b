#include "tools/qxers-sim/machine_result.h"

#include <cstdlib>
#include <filesystem>

#include "app/text.h"
#include "app/ui/run_report.h"
#include "platform/sim/encoding.h"

namespace qxsim {

namespace {

std::optional<int> Number(const std::string& text) {
  if (text.empty() || text.size() > 11) return std::nullopt;
  char* end = nullptr;
  long n = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0') return std::nullopt;
  return static_cast<int>(n);
}

FailureSection& Section(MachineResult& r, const std::string& name) {
  for (FailureSection& s : r.sections)
    if (qx::EqualsNoCase(s.name, name)) return s;
  r.sections.push_back({name, 0, {}});
  return r.sections.back();
}

}  // namespace

int MachineResult::Group() const {
  if (!error.empty() || failures > 0 || !exitCode) return 0;
  if (*exitCode == qx::kExitRestartNeeded) return 1;
  return *exitCode == qx::kExitSuccess || *exitCode == qx::kExitRestartStarted ? 2 : 0;
}

bool ParseReport(std::string_view text, MachineResult& r, std::string& error) {
  for (const char* name : kFailureSections) r.sections.push_back({name, 0, {}});
  std::string section;
  bool haveExitCode = false;
  while (!text.empty()) {
    std::size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = std::string(line.substr(1, line.size() - 2));
      continue;
    }
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string key(line.substr(0, eq));
    std::string value = qx::sim::Cp932ToUtf8Lossy(line.substr(eq + 1));
    if (qx::EqualsNoCase(section, "Failures")) {
      std::size_t dot = key.rfind('.');
      if (dot != std::string::npos) Section(r, key.substr(0, dot)).lines.push_back(value);
      continue;
    }
    if (!qx::EqualsNoCase(section, "Result")) continue;
    if (qx::EqualsNoCase(key, "Computer")) r.computer = value;
    else if (qx::EqualsNoCase(key, "Windows")) r.windows = value;
    else if (qx::EqualsNoCase(key, "Start")) r.start = value;
    else if (qx::EqualsNoCase(key, "End")) r.end = value;
    else if (qx::EqualsNoCase(key, "Result")) r.result = Number(value);
    else if (qx::EqualsNoCase(key, "ExitCode")) haveExitCode = (r.exitCode = Number(value)).has_value();
    else if (qx::EqualsNoCase(key, "RestartNeeded")) r.restartNeeded = value == "1";
    else if (qx::EqualsNoCase(key, "RestartStarted")) r.restartStarted = value == "1";
    else if (qx::EqualsNoCase(key, "Log")) r.log = value;
    else if (qx::EqualsNoCase(key, "Failures")) r.failures = Number(value).value_or(0);
    else if (key.size() > 9 && qx::EqualsNoCase(key.substr(0, 9), "Failures.")) Section(r, key.substr(9)).count = Number(value).value_or(0);
  }
  if (!haveExitCode) {
    error = "not a result file: no ExitCode in a [Result] section";
    return false;
  }
  if (!r.computer.empty()) r.name = r.computer;
  return true;
}

MachineResult ImageResult(const std::string& folder, const EraseOutcome& outcome) {
  MachineResult r;
  r.source = MachineResult::Source::kImage;
  r.path = folder;
  r.name = std::filesystem::path(folder).filename().string();
  if (r.name.empty()) r.name = std::filesystem::path(folder).parent_path().filename().string();
  std::string error;
  if (outcome.report.empty() || !ParseReport(outcome.report, r, error)) {
    // The view ended without a result file (a power cut stopped it): what the run itself told.
    r.sections.clear();
    r.result = outcome.result;
    r.exitCode = outcome.msiExitCode;
    r.restartNeeded = outcome.result == qx::kResultRestart;
  }
  r.changes = outcome.summary;
  return r;
}

}  // namespace qxsim
