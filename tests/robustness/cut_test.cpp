// Power cuts: the machine loses power after the k-th call of the erase that changes what it
// keeps, restarts, and the program is run again to the end and the machine restarted once
// more. It must then be what a clean run and a restart leave (or, for what a clean run leaves
// to a second run, what that second run leaves), object by object, whatever k was: a run cut
// anywhere is finished by the next one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "tests/robustness/robustness_support.h"

namespace qx::test::robustness {
namespace {

std::uint64_t NextDraw(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// The cut points: on images/default every changing call of a clean run (every 25th in the
// normal run); on the others a seeded sample of 200 (4 in the normal run).
std::vector<std::uint64_t> CutPoints(const std::string& image, std::uint64_t changingCalls) {
  std::vector<std::uint64_t> ks;
  // QX_CUT_POINTS=2,14 replays those cut points alone.
  const char* list = std::getenv("QX_CUT_POINTS");
  for (const char* p = list; p && *p;) {
    char* end = nullptr;
    std::uint64_t k = std::strtoull(p, &end, 10);
    if (k >= 1 && k <= changingCalls) ks.push_back(k);
    p = *end ? end + 1 : end;
  }
  if (list) return ks;
  if (image == "default") {
    for (std::uint64_t k = 1; k <= changingCalls; k += FullMode() ? 1 : 25) ks.push_back(k);
    return ks;
  }
  std::size_t wanted = std::min<std::uint64_t>(FullMode() ? 200 : 4, changingCalls);
  std::set<std::uint64_t> picked;
  std::uint64_t state = 0x5EED0000 + image.size();
  while (picked.size() < wanted) picked.insert(1 + NextDraw(state) % changingCalls);
  return {picked.begin(), picked.end()};
}

class CutPointsTest : public ::testing::TestWithParam<std::string> {};

TEST_P(CutPointsTest, ARunCutAnywhereIsFinishedByTheNext) {
  const std::string& image = GetParam();
  const CleanRun& clean = Clean(image);
  ASSERT_EQ(clean.error, "");
  ASSERT_GT(clean.changingCalls, 0u);

  // Not-converging cut points, grouped by what they leave different.
  std::map<std::vector<std::string>, std::vector<std::uint64_t>> groups;
  std::map<std::vector<std::string>, std::string> firstCut;
  std::vector<std::uint64_t> ks = CutPoints(image, clean.changingCalls);
  for (std::uint64_t k : ks) {
    ImageRun run(image);
    ASSERT_EQ(run.loadError, "");
    run.machine.CutAfter(k);
    run.Run();
    std::optional<sim::PlatformCall> cut = run.machine.CutCall();
    // Up to the cut the run is the clean run: the same calls in the same order.
    ASSERT_TRUE(cut) << image << " k " << k << ": the power never went off";
    ASSERT_EQ(Describe(*cut), Describe(clean.changingLog[k - 1])) << image << " k " << k;
    run.machine.Reboot();
    run.RunAgain();
    run.machine.Reboot();
    std::vector<std::string> diff = Differences(image, TakeObjects(run.machine), clean, run.machine);
    if (diff.empty()) continue;
    groups[diff].push_back(k);
    if (!firstCut.count(diff)) firstCut[diff] = Describe(*cut);
  }

  std::size_t failing = 0;
  for (const auto& [diff, points] : groups) {
    failing += points.size();
    std::string text;
    for (std::size_t i = 0; i < diff.size() && i < 15; ++i) text += "\n    " + Utf8(diff[i]);
    if (diff.size() > 15) text += "\n    ... " + std::to_string(diff.size() - 15) + " more";
    std::string where;
    for (std::size_t i = 0; i < points.size() && i < 20; ++i) where += (i ? " " : "") + std::to_string(points[i]);
    if (points.size() > 20) where += " ...";
    ADD_FAILURE() << image << ": " << points.size() << " cut point(s) do not converge (k = " << where
                  << "; the first cut after " << firstCut[diff] << "); after the second run:" << text;
  }
  std::cout << "[cuts] " << image << ": " << clean.changingCalls << " changing calls in a clean run, " << ks.size()
            << " cut points, " << ks.size() - failing << " converge, " << failing << " do not (" << groups.size()
            << " groups)\n";
}

INSTANTIATE_TEST_SUITE_P(Images, CutPointsTest, ::testing::ValuesIn(Images()),
                         ImageTestName);

}  // namespace
}  // namespace qx::test::robustness
