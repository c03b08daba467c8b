// qxers-sim with QXErs.exe's unattended switches: what each mode shows, the exit codes a
// deployment tool reads, the result file and the JSON, and the fleet table of many machines.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <map>
#include <sstream>

#include "platform/sim/encoding.h"
#include "tests/tools/image_support.h"
#include "tests/tools/qxers_sim_support.h"

namespace qx::test {
namespace {

const std::string kDefault = std::string(QX_SOURCE_DIR) + "/images/default";

// A copy of the default image whose QXErs.ini is gone: the run ends before it starts.
class NoConfigurationImage : public TempDir {
 public:
  NoConfigurationImage() {
    fs::copy(kDefault, path(), fs::copy_options::recursive);
    fs::remove(path() / "drive_c" / "QXErs" / "QXErs.ini");
  }
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(QxersSimUnattended, EachModeShowsWhatTheViewAsksAndExitsWithItsCode) {
  REQUIRE_QXERS_SIM();
  NoConfigurationImage noConfiguration;
  const std::vector<std::string> dialogLines = {"[confirm]", "[drivers]", "[question]", "[message]", "[progress]",
                                                "[status]",  "[range]"};
  struct Case {
    std::string args;
    int code;                        // the exit code; the process's status is its low byte
    std::vector<std::string> shown;  // lines that must be printed (stdout, or stderr for usage errors)
    std::vector<std::string> notShown;
  } cases[] = {
      // The default image's run needs a restart.
      {"--quiet --exit-codes msi", 3010, {"[exit] 3010", "[result] 1", "[summary]"}, dialogLines},
      {"--quiet", 0, {"[result] 1"}, {"[exit]"}},
      {"--passive --exit-codes msi", 3010, {"[progress] shown", "[status] ", "[progress] closed"},
       {"[confirm]", "[drivers]", "[question]", "[message]"}},
      {"--passive --promptrestart --exit-codes msi", 3010, {"[message] ", " -> No"}, {"[confirm]", "[question]"}},
      {"--quiet --forcerestart --exit-codes msi", 1641, {"[restart] ExitWindowsEx", "(after its restart)"}, dialogLines},
      {"--exit-codes msi --answer cancel", 1602, {"[confirm]", "-> Cancel"}, {"[progress]"}},
      {"'" + noConfiguration.str() + "' --quiet --exit-codes msi", 1619, {"[exit] 1619"}, dialogLines},
      {"'" + noConfiguration.str() + "' --quiet", 1, {}, dialogLines},
      {"--fast --exit-codes msi", 87, {"usage: qxers-sim run"}, {}},
      {"--quiet --passive --exit-codes msi", 87, {"contradict"}, {}},
      {"--quiet --passive", 2, {"contradict"}, {}},
      {"--keep-drivers --remove-drivers", 2, {"contradict"}, {}},
      {"--norestart --promptrestart", 2, {"contradict"}, {}},
      {"--quiet --promptrestart", 2, {"--promptrestart"}, {}},
      {"--passive --answer ok", 2, {"--answer"}, {}},
      {"--quiet --drivers keep", 2, {"--drivers"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    Outcome o = RunCommand("run " + c.args);
    EXPECT_EQ(o.status, c.code & 0xFF) << o.out << o.err;
    const std::string& printed = c.code == 2 || c.code == 87 ? o.err : o.out;
    for (const std::string& line : c.shown) EXPECT_TRUE(Has(printed, line)) << line << "\n" << printed;
    for (const std::string& line : c.notShown) EXPECT_FALSE(Has(o.out, line)) << line << "\n" << o.out;
  }
}

TEST(QxersSimUnattended, TheResultFileListsTheLogsFailuresBySection) {
  REQUIRE_QXERS_SIM();
  TempDir out;
  std::string report = (out.path() / "result.ini").string();
  Outcome o = RunCommand("run --quiet --report '" + report + "' --out '" + out.str() + "/run'");
  ASSERT_EQ(o.status, 0) << o.out << o.err;
  std::string text = ReadBytes(report);
  ASSERT_EQ(text.rfind("[Result]\r\n", 0), 0u) << text;
  EXPECT_FALSE(fs::exists(report + ".part")) << "the temporary file is renamed over the report";
  std::map<std::string, std::string> values;  // "Result.Key" and "Failures.Key", UTF-8
  std::istringstream in(sim::Cp932ToUtf8Lossy(text));
  std::string section;
  for (std::string line; std::getline(in, line);) {
    ASSERT_FALSE(line.empty() || line.back() != '\r') << "every line ends with CR LF";
    line.pop_back();
    if (line.front() == '[') section = line.substr(1, line.size() - 2);
    else values[section + "." + line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
  }
  // What the counts say is the view's to test; here, that the file is the view's text.
  EXPECT_NE(values["Result.Failures"], "0") << "the default image's run leaves failures to report";
  EXPECT_EQ(values["Result.Failures.Files"].empty(), false);
  EXPECT_EQ(values["Result.ExitCode"], "3010");
}

// The summary's kinds as the text names them, with the JSON's key.
const std::pair<const char*, const char*> kKinds[] = {
    {"files", "files"},
    {"folders", "folders"},
    {"registry keys", "registryKeys"},
    {"registry values", "registryValues"},
    {"services", "services"},
    {"printers", "printers"},
    {"printer drivers", "printerDrivers"},
    {"print monitors", "printMonitors"},
    {"ports", "ports"},
    {"print processors", "printProcessors"},
    {"program groups", "programGroups"},
    {"shortcuts", "shortcuts"},
    {"waiting for the restart", "waitingForRestart"}};

// "  files     68 removed, 1 added" as its counts.
std::map<std::string, int> TextCounts(const std::string& summary, const std::string& kind) {
  std::map<std::string, int> counts = {{"removed", 0}, {"added", 0}, {"changed", 0}};
  std::size_t at = summary.find("\n  " + kind + "  ");
  if (at == std::string::npos) return {};
  std::istringstream line(summary.substr(at + 3 + kind.size(), summary.find('\n', at + 1) - at - 3 - kind.size()));
  int n = 0;
  for (std::string word; line >> n >> word;) counts[word.substr(0, word.find(','))] = n;
  return counts;
}

TEST(QxersSimUnattended, TheJsonObjectCountsWhatTheTextSummaryCounts) {
  REQUIRE_QXERS_SIM();
  Outcome text = RunCommand("run --quiet");
  Outcome json = RunCommand("run --quiet --json");
  ASSERT_EQ(json.status, 0) << json.err;
  nlohmann::json j = nlohmann::json::parse(json.out);  // stdout holds the object alone
  EXPECT_EQ(j["exitCode"], 3010);
  EXPECT_EQ(j["restartNeeded"], true);
  EXPECT_EQ(j["windows"], "Windows NT 4.0.1381 Service Pack 6");
  for (const auto& [kind, key] : kKinds) {
    SCOPED_TRACE(kind);
    std::map<std::string, int> counts = TextCounts(text.out, kind);
    ASSERT_FALSE(counts.empty()) << text.out;
    for (const auto& [what, n] : counts) EXPECT_EQ(j["changes"][key][what], n) << what;
  }
}

TEST(QxersSimFleet, MachinesNeedingAttentionComeFirstInTheTableAndTheCsv) {
  REQUIRE_QXERS_SIM();
  TempDir fleet;
  // Needs a restart and leaves failures.
  fs::copy(kDefault, fleet.path() / "b-default", fs::copy_options::recursive);
  // Ends at once: no QXErs.ini.
  fs::copy(kDefault, fleet.path() / "c-noconfig", fs::copy_options::recursive);
  fs::remove(fleet.path() / "c-noconfig" / "drive_c" / "QXErs" / "QXErs.ini");
  // Removes nothing and ends done.
  fleet.Write("a-clean/machine.ini", "[System]\nPlatformId=2\nMajorVersion=4\nModuleFileName=C:\\QXErs\\QXErs.exe\n");
  fleet.Write("a-clean/drive_c/QXErs/QXErs.ini", "[ENVIRONMENT]\r\nAP=QXERASER\r\nSUPPORTOS=N4\r\nDELFLG=000\r\n");
  fleet.MakeDir("a-clean/drive_c/TEMP");
  // A real machine's result file: a restart pending, nothing failed. Its name is the computer's.
  fleet.Write("z.ini", "[Result]\r\nComputer=KIOSK\r\nWindows=Windows NT 5.0.2195\r\nResult=1\r\nExitCode=3010\r\n"
                       "RestartNeeded=1\r\nRestartStarted=0\r\nFailures=0\r\nFailures.Files=0\r\n[Failures]\r\n");
  fleet.MakeDir("not-an-image");
  std::string csv = (fleet.path() / "table.csv").string();
  Outcome o = RunCommand("fleet '" + fleet.str() + "' --csv '" + csv + "' --jobs 2");
  EXPECT_EQ(o.status, 1) << "1619 is not a good end\n" << o.out << o.err;

  std::vector<std::vector<std::string>> rows;
  std::istringstream in(ReadBytes(csv));
  for (std::string line; std::getline(in, line);) {
    ASSERT_FALSE(line.empty() || line.back() != '\r');
    line.pop_back();
    rows.emplace_back();
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, ',');) rows.back().push_back(cell);
  }
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0][0], "name");
  EXPECT_EQ(rows[0][3], "exit");
  EXPECT_EQ(rows[0][6], "files");
  const std::pair<const char*, const char*> expected[] = {
      {"b-default", "3010"}, {"c-noconfig", "1619"}, {"KIOSK", "3010"}, {"a-clean", "0"}};
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(expected[i].first);
    EXPECT_EQ(rows[i + 1][0], expected[i].first);
    EXPECT_EQ(rows[i + 1][3], expected[i].second);
  }
  // What the image's run removes, as run counts it; a result file tells no counts.
  EXPECT_EQ(rows[1][6], std::to_string(TextCounts(RunCommand("run --quiet").out, "files")["removed"]));
  EXPECT_EQ(rows[3][6], "");
  EXPECT_EQ(rows[4][6], "0");
  // The terminal's table has the same rows in the same order.
  std::vector<std::string> names;
  std::istringstream table(o.out);
  for (std::string line; std::getline(table, line);) names.push_back(line.substr(0, line.find(' ')));
  EXPECT_EQ(names, (std::vector<std::string>{"name", "b-default", "c-noconfig", "KIOSK", "a-clean"}));

  // --json: the same machines as run --json's objects.
  Outcome json = RunCommand("fleet '" + fleet.str() + "' --json");
  nlohmann::json array = nlohmann::json::parse(json.out);
  ASSERT_EQ(array.size(), 4u);
  EXPECT_EQ(array[2]["name"], "KIOSK");
  EXPECT_EQ(array[2]["source"], "report");
  EXPECT_EQ(array[0]["changes"], nlohmann::json::parse(RunCommand("run --quiet --json").out)["changes"]);
}

}  // namespace
}  // namespace qx::test
