// qx_bench: how qxers-sim's work grows with the machine. Each axis grows one size of a
// generated image (image_generator.h) tenfold at a time from a small machine, the others held;
// the target machine is a large print server with everything large at once. Each measurement
// runs in a child process (measure.h): load, run, diff (both captures and the comparison) and
// writing after/, each as CPU and wall time with the child's peak memory, and the engine's
// platform calls by facet. The table at the end gives each step's time ratio and the growth
// exponent it implies (1 linear, 2 quadratic).
//
//   qx_bench [--quick] [--limit SECONDS] [--axes printers,hives,files,keys,entries,target]
//            [--steps AXIS=N,N,...] [--images DIR] [--markdown FILE] [--seed S]
//            [Google Benchmark's --benchmark_* options]
//
// --quick takes small sizes (well under a minute in all); --limit caps each phase of each
// measurement (default 60 s; 20 s with --quick): a phase past it ends the measurement and
// shows as "> limit". Images are generated once into --images (default: build/bench/images)
// and kept for the next run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "bench/image_generator.h"
#include "bench/measure.h"

namespace {

namespace fs = std::filesystem;

struct Axis {
  std::string name;
  std::vector<std::uint64_t> steps;
  std::function<void(bench::ImageSizes&, std::uint64_t)> grow;
};

struct Settings {
  bool quick = false;
  double limit = 0;  // 0: the mode's default
  std::vector<std::string> axes;
  std::map<std::string, std::vector<std::uint64_t>> steps;
  std::string images = QX_BENCH_IMAGE_DIR;
  std::string markdown;
  std::uint64_t seed = 1;
  std::uint64_t repeat = 1;  // measurements per image, each phase's fastest kept
};

struct Row {
  std::string axis;
  std::uint64_t size = 0;
  bench::ImageSizes sizes;
  bench::Measurement m;
  double generateSeconds = 0;
};

std::vector<Row> g_rows;

std::vector<Axis> Axes(const Settings& s) {
  auto printers = [](bench::ImageSizes& z, std::uint64_t n) {
    z.family = n / 2;
    z.others = n - n / 2;
  };
  std::vector<Axis> axes = {
      {"printers", s.quick ? std::vector<std::uint64_t>{50, 500} : std::vector<std::uint64_t>{100, 1000, 10000, 20000},
       printers},
      {"hives", s.quick ? std::vector<std::uint64_t>{20, 200} : std::vector<std::uint64_t>{10, 100, 1000},
       [](bench::ImageSizes& z, std::uint64_t n) { z.hives = n; }},
      {"files", s.quick ? std::vector<std::uint64_t>{200, 2000} : std::vector<std::uint64_t>{1000, 10000, 100000},
       [](bench::ImageSizes& z, std::uint64_t n) { z.files = n; }},
      {"keys", s.quick ? std::vector<std::uint64_t>{2000, 20000} : std::vector<std::uint64_t>{10000, 100000, 1000000},
       [](bench::ImageSizes& z, std::uint64_t n) { z.keys = n; }},
      {"entries", s.quick ? std::vector<std::uint64_t>{20, 200} : std::vector<std::uint64_t>{100, 1000, 10000},
       [](bench::ImageSizes& z, std::uint64_t n) { z.entries = n; }},
      // The target: 5,000 family printers, 5,000 others, 200 hives, 100,000 files, 1,000,000
      // keys (--quick: a fiftieth, hives a tenth). Its one step is the number of printers.
      {"target", {s.quick ? 200u : 10000u},
       [quick = s.quick](bench::ImageSizes& z, std::uint64_t n) {
         z.family = n / 2;
         z.others = n - n / 2;
         z.hives = quick ? 20 : 200;
         z.files = quick ? 2000 : 100000;
         z.keys = quick ? 20000 : 1000000;
       }},
  };
  for (Axis& axis : axes)
    if (auto it = s.steps.find(axis.name); it != s.steps.end()) axis.steps = it->second;
  return axes;
}

std::string Seconds(const bench::Phase& p, double limit) {
  char text[32];
  switch (p.state) {
    case bench::Phase::kDone:
      std::snprintf(text, sizeof text, p.cpuSeconds < 10 ? "%.3f" : "%.1f", p.cpuSeconds);
      return text;
    case bench::Phase::kOverLimit:
      std::snprintf(text, sizeof text, "> %.0f", limit);
      return text;
    case bench::Phase::kFailed:
      return "failed";
    case bench::Phase::kNotReached:
      break;
  }
  return "-";
}

std::string Count(const bench::Measurement& m, const std::string& name) {
  auto it = m.counts.find(name);
  return it == m.counts.end() ? "-" : std::to_string(it->second);
}

std::string Megabytes(long kb) {
  if (kb <= 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.0f", static_cast<double>(kb) / 1024.0);
  return text;
}

// The erase child's peak: what it had reached when it ended or was ended at the limit.
long PeakOf(const bench::Measurement& m) {
  long peak = m.childPeakKb;
  for (const bench::Phase* p : {&m.load, &m.capture, &m.run, &m.diff, &m.write})
    if (p->state == bench::Phase::kDone && p->peakKb > peak) peak = p->peakKb;
  return peak;
}

// "x10.2 (1.01)": the ratio of two steps' CPU times and the exponent it implies for the
// ratio of their sizes.
std::string Ratio(const bench::Phase& a, const bench::Phase& b, double sizeRatio) {
  if (a.state != bench::Phase::kDone) return "-";
  if (b.state == bench::Phase::kOverLimit) return "> limit";
  if (b.state != bench::Phase::kDone) return "-";
  // Below a millisecond the ratio says more about the clock than about the work.
  if (a.cpuSeconds < 0.001) return "(too short)";
  double r = b.cpuSeconds / a.cpuSeconds;
  char text[48];
  std::snprintf(text, sizeof text, "x%.1f (%.2f)", r, std::log(r) / std::log(sizeRatio));
  return text;
}

std::string Table(const Settings& s, double limit) {
  std::ostringstream out;
  out << "CPU seconds per phase (the child's whole process); peak = the child's peak resident MB\n"
      << "(when a phase ran past the limit: what it had reached then); calls = the engine's calls by\n"
      << "facet (registry/files/spooler/profile), machine = every call that reached the simulated\n"
      << "machine's fault injection, changing = those that changed it. .reg load/plain = the loader's\n"
      << "CPU time on the image's .reg files alone against a plain reader's that keeps what it reads\n"
      << "(each key's values by its path, as a simple script would), on the same bytes.\n\n"
      << "| axis | size | load | run | diff | write | peak MB | calls reg/files/spool/prof | machine | changing | "
         ".reg MB | .reg load/plain | family left | result |\n"
      << "|---|---:|---:|---:|---:|---:|---:|---|---:|---:|---:|---:|---:|---:|\n";
  for (const Row& r : g_rows) {
    const bench::Measurement& m = r.m;
    std::string perByte = "-";
    if (m.regLoad.state == bench::Phase::kDone && m.plain.state == bench::Phase::kDone && m.plain.cpuSeconds > 0) {
      char text[32];
      std::snprintf(text, sizeof text, "x%.2f", m.regLoad.cpuSeconds / m.plain.cpuSeconds);
      perByte = text;
    }
    std::string result = "-";
    if (auto it = m.counts.find("result"); it != m.counts.end() && it->second)
      result = std::to_string(static_cast<long long>(it->second) - 1000);
    char mb[32];
    std::snprintf(mb, sizeof mb, "%.1f", static_cast<double>(m.regBytes) / 1e6);
    out << "| " << r.axis << " | " << r.size << " | " << Seconds(m.load, limit) << " | " << Seconds(m.run, limit)
        << " | " << Seconds(m.Diff(), limit) << " | " << Seconds(m.write, limit) << " | " << Megabytes(PeakOf(m))
        << " | " << Count(m, "calls.registry") << "/" << Count(m, "calls.files") << "/" << Count(m, "calls.spooler")
        << "/" << Count(m, "calls.profile") << " | " << Count(m, "calls.machine") << " | " << Count(m, "changing")
        << " | " << mb << " | " << perByte << " | " << Count(m, "family_left") << " | " << result << " |\n";
  }
  out << "\nGrowth from step to step: CPU time ratio (exponent: 1 linear, 2 quadratic, 3 cubic).\n\n"
      << "| axis | step | load | run | diff | write |\n|---|---|---|---|---|---|\n";
  for (std::size_t i = 1; i < g_rows.size(); ++i) {
    const Row& a = g_rows[i - 1];
    const Row& b = g_rows[i];
    if (a.axis != b.axis || a.size == 0) continue;
    double k = static_cast<double>(b.size) / static_cast<double>(a.size);
    out << "| " << b.axis << " | " << a.size << " -> " << b.size << " | " << Ratio(a.m.load, b.m.load, k) << " | "
        << Ratio(a.m.run, b.m.run, k) << " | " << Ratio(a.m.Diff(), b.m.Diff(), k) << " | "
        << Ratio(a.m.write, b.m.write, k) << " |\n";
  }
  std::string errors;
  for (const Row& r : g_rows)
    if (!r.m.error.empty()) errors += "- " + r.axis + " " + std::to_string(r.size) + ": " + r.m.error + "\n";
  if (!errors.empty()) out << "\nErrors:\n" << errors;
  out << "\nLimit per phase: " << limit << " s" << (s.quick ? " (quick mode)" : "") << ".\n";
  if (s.repeat > 1) out << "Each image measured " << s.repeat << " times: each phase's fastest CPU time.\n";
  return out.str();
}

bool ParseList(const std::string& text, std::vector<std::uint64_t>& out) {
  out.clear();
  std::stringstream in(text);
  for (std::string item; std::getline(in, item, ',');) {
    if (item.empty() || item.find_first_not_of("0123456789") != std::string::npos || item.size() > 9) return false;
    out.push_back(std::stoull(item));
  }
  return !out.empty();
}

// Of repeated measurements of one image: each phase's fastest (the one the rest of the
// machine disturbed least), the largest peak memory, the first error.
void KeepFastest(bench::Measurement& best, const bench::Measurement& next) {
  bench::Phase* kept[] = {&best.load, &best.capture, &best.run, &best.diff, &best.write, &best.plain, &best.regLoad};
  const bench::Phase* got[] = {&next.load, &next.capture, &next.run, &next.diff, &next.write, &next.plain, &next.regLoad};
  for (std::size_t i = 0; i < std::size(kept); ++i) {
    const long peak = std::max(kept[i]->peakKb, got[i]->peakKb);
    if (got[i]->state == bench::Phase::kDone &&
        (kept[i]->state != bench::Phase::kDone || got[i]->cpuSeconds < kept[i]->cpuSeconds))
      *kept[i] = *got[i];
    kept[i]->peakKb = peak;
  }
  best.childPeakKb = std::max(best.childPeakKb, next.childPeakKb);
  if (best.error.empty()) best.error = next.error;
}

bool ParseSettings(int argc, char** argv, Settings& s, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return "";
      }
      return argv[++i];
    };
    if (arg == "--quick") {
      s.quick = true;
    } else if (arg == "--limit") {
      std::string v = value();
      char* end = nullptr;
      s.limit = std::strtod(v.c_str(), &end);
      if (v.empty() || *end || s.limit <= 0) {
        error = "--limit needs a number of seconds";
        return false;
      }
    } else if (arg == "--axes") {
      std::stringstream in(value());
      for (std::string axis; std::getline(in, axis, ',');) s.axes.push_back(axis);
    } else if (arg == "--steps") {
      std::string v = value();
      std::size_t eq = v.find('=');
      std::vector<std::uint64_t> list;
      if (eq == std::string::npos || !ParseList(v.substr(eq + 1), list)) {
        error = "--steps needs AXIS=N,N,...";
        return false;
      }
      s.steps[v.substr(0, eq)] = list;
    } else if (arg == "--images") {
      s.images = value();
    } else if (arg == "--markdown") {
      s.markdown = value();
    } else if (arg == "--seed") {
      std::vector<std::uint64_t> list;
      if (!ParseList(value(), list) || list.size() != 1) {
        error = "--seed needs a number";
        return false;
      }
      s.seed = list[0];
    } else if (arg == "--repeat") {
      std::vector<std::uint64_t> list;
      if (!ParseList(value(), list) || list.size() != 1 || list[0] < 1 || list[0] > 20) {
        error = "--repeat needs a number from 1 to 20";
        return false;
      }
      s.repeat = list[0];
    } else {
      error = "unknown option '" + arg + "'";
      return false;
    }
    if (!error.empty()) return false;
  }
  return true;
}

// The image of these sizes, generated the first time it is asked for.
bool EnsureImage(const Settings& s, const bench::ImageSizes& sizes, std::string& folder, double& seconds,
                 std::string& error) {
  folder = (fs::path(s.images) / sizes.FolderName()).string();
  seconds = 0;
  std::error_code ec;
  if (fs::exists(fs::path(folder) / "generated.txt", ec)) return true;
  fs::remove_all(folder, ec);  // a generation cut off earlier
  timespec start{}, end{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  std::string partial = folder + ".partial";
  fs::remove_all(partial, ec);
  if (!bench::MakeImage(sizes, std::string(QX_SOURCE_DIR) + "/images/default", partial, error)) return false;
  fs::rename(partial, folder, ec);
  if (ec) {
    error = folder + ": " + ec.message();
    return false;
  }
  clock_gettime(CLOCK_MONOTONIC, &end);
  seconds = static_cast<double>(end.tv_sec - start.tv_sec) + static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e9;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (bench::IsMeasureChild(argc, argv)) bench::MeasureChildMain(argv);
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) != "--help") continue;
    // Google Benchmark's own options follow, from Initialize.
    std::cout << "usage: qx_bench [--quick] [--limit SECONDS] [--axes printers,hives,files,keys,entries,target]\n"
                 "                [--steps AXIS=N,N,...] [--images DIR] [--markdown FILE] [--seed S] [--repeat N]\n"
                 "  Measures qxers-sim's load, run, diff and writing on generated images, one size grown at\n"
                 "  a time; each phase is capped at --limit seconds (default 60, 20 with --quick). With\n"
                 "  --repeat N each image is measured N times and each phase's fastest time kept.\n\n";
  }
  benchmark::Initialize(&argc, argv);
  Settings s;
  std::string error;
  if (!ParseSettings(argc, argv, s, error)) {
    std::cerr << "qx_bench: " << error << "\n";
    return 2;
  }
  const double limit = s.limit > 0 ? s.limit : s.quick ? 20 : 60;
  std::error_code ec;
  fs::create_directories(s.images, ec);
  for (const Axis& axis : Axes(s)) {
    if (!s.axes.empty() && std::find(s.axes.begin(), s.axes.end(), axis.name) == s.axes.end()) continue;
    for (std::uint64_t size : axis.steps) {
      bench::ImageSizes sizes;
      sizes.seed = s.seed;
      axis.grow(sizes, size);
      std::string name = axis.name + "/" + std::to_string(size);
      benchmark::RegisterBenchmark(name.c_str(), [=, &s](benchmark::State& state) {
        Row row{axis.name, size, sizes, {}, 0};
        std::string folder, why;
        if (!EnsureImage(s, sizes, folder, row.generateSeconds, why)) {
          state.SkipWithError(why.c_str());
          for (auto _ : state) {
          }
          return;
        }
        std::string out = (fs::path(s.images) / "runs" / sizes.FolderName()).string();
        for (auto _ : state) {
          std::error_code e;
          for (std::uint64_t r = 0; r < s.repeat; ++r) {
            fs::remove_all(out, e);
            bench::Measurement m = bench::MeasureErase(folder, out, limit);
            bench::MeasurePlainReader(folder, limit, m);
            if (r == 0)
              row.m = std::move(m);
            else
              KeepFastest(row.m, m);
          }
          fs::remove_all(out, e);
          double total = 0;
          for (const bench::Phase* p : {&row.m.load, &row.m.capture, &row.m.run, &row.m.diff, &row.m.write})
            total += p->wallSeconds;
          state.SetIterationTime(total > 0 ? total : 1e-9);
        }
        auto counter = [&](const char* key, const bench::Phase& p) {
          state.counters[key] = p.state == bench::Phase::kDone ? p.cpuSeconds : std::nan("");
        };
        counter("load_cpu_s", row.m.load);
        counter("run_cpu_s", row.m.run);
        counter("diff_cpu_s", row.m.Diff());
        counter("write_cpu_s", row.m.write);
        state.counters["peak_MB"] = static_cast<double>(PeakOf(row.m)) / 1024.0;
        for (const char* key : {"calls.registry", "calls.files", "calls.spooler", "calls.profile", "calls.machine",
                                "changing"})
          if (auto it = row.m.counts.find(key); it != row.m.counts.end())
            state.counters[key] = static_cast<double>(it->second);
        std::string label;
        for (const bench::Phase* p : {&row.m.load, &row.m.capture, &row.m.run, &row.m.diff, &row.m.write})
          if (p->state == bench::Phase::kOverLimit) label = "> limit";
        if (!row.m.error.empty()) label = row.m.error;
        state.SetLabel(label);
        g_rows.push_back(std::move(row));
      })
          ->Iterations(1)
          ->UseManualTime()
          ->Unit(benchmark::kMillisecond);
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::string table = Table(s, limit);
  std::cout << "\n" << table;
  if (!s.markdown.empty()) {
    std::ofstream md(s.markdown, std::ios::trunc);
    md << table;
    if (!md) {
      std::cerr << "qx_bench: " << s.markdown << ": cannot be written\n";
      return 1;
    }
  }
  // A measurement that failed, or an erase that left a printer of the family, is an error
  // (the time limit is not: timings are the table's business).
  int status = 0;
  for (const Row& r : g_rows) {
    auto left = r.m.counts.find("family_left");
    if (!r.m.error.empty() || (left != r.m.counts.end() && left->second != 0)) {
      std::cerr << "qx_bench: " << r.axis << " " << r.size << ": "
                << (r.m.error.empty() ? "printers of the family left" : r.m.error) << "\n";
      status = 1;
    }
  }
  return status;
}
