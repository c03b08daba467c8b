#include "tools/qxers-sim/fleet.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "app/text.h"
#include "app/ui/run_report.h"
#include "platform/sim/image/image.h"
#include "tools/qxers-sim/erase.h"

namespace qxsim {

namespace fs = std::filesystem;

namespace {

struct Entry {
  std::string path;
  bool image;
};

bool EndsWithIni(const std::string& name) { return name.size() > 4 && qx::EndsWithNoCase(name, ".ini"); }

// A folder the image loader takes: machine.ini, or a registry export without it.
bool IsImage(const fs::path& dir) {
  std::error_code ec;
  if (fs::is_regular_file(dir / "machine.ini", ec)) return true;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code fileError;
    if (qx::EqualsNoCase(it->path().extension().string(), ".reg") && it->is_regular_file(fileError)) return true;
  }
  return false;
}

MachineResult ReadReport(const std::string& path) {
  MachineResult r;
  r.source = MachineResult::Source::kReport;
  r.path = path;
  r.name = fs::path(path).filename().string();
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) {
    r.error = "cannot be read";
    return r;
  }
  std::string error;
  if (!ParseReport(text, r, error)) {
    r.sections.clear();
    r.error = error;
  }
  return r;
}

// The image erased as `run --quiet` with the defaults would: the preset driver choice, no restart.
MachineResult EraseImage(const std::string& folder) {
  qx::sim::SimMachine m;
  std::string error;
  if (!qx::sim::LoadImage(folder, m, error)) {
    MachineResult r;
    r.path = folder;
    r.name = fs::path(folder).filename().string();
    r.error = error;
    return r;
  }
  EraseSetup setup;
  std::error_code ec;
  setup.preview = !fs::exists(fs::path(folder) / "machine.ini", ec);
  setup.switches.mode = qx::RunSwitches::Mode::Quiet;
  setup.keepReport = true;
  std::ostream nowhere(nullptr);
  ConsoleDialogs dialogs(nowhere, {}, nullptr);
  return ImageResult(folder, Erase(m, setup, dialogs, nowhere));
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return s;
}

// Columns wide enough for their texts on a terminal: a character outside ASCII and the
// half-width katakana takes two cells.
std::size_t Cells(const std::string& text) {
  std::size_t cells = 0;
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t cp = c;
    if (n > 1 && i + n <= text.size()) {
      cp = c & (0xFF >> (n + 1));
      for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    cells += cp < 0x1100 || (cp >= 0xFF61 && cp <= 0xFF9F) ? 1 : 2;
    i += n;
  }
  return cells;
}

// The table's columns: the machine, then what the run removes by kind ("restart": what it
// leaves for the restart).
const char* const kHeadings[] = {"name",     "windows", "result",  "exit",     "restart",    "failures",
                                 "files",    "folders", "keys",    "values",   "services",   "printers",
                                 "drivers",  "monitors", "ports",  "processors", "groups",   "shortcuts",
                                 "restart-pending"};

std::vector<std::vector<std::string>> TableCells(const std::vector<MachineResult>& rows, const char* none) {
  std::vector<std::vector<std::string>> table;
  table.emplace_back(std::begin(kHeadings), std::end(kHeadings));
  for (const MachineResult& r : rows) {
    std::vector<std::string> row = {r.name, r.windows};
    if (!r.error.empty()) {
      row.push_back("error");
      row.push_back(none);
    } else {
      row.push_back(r.result ? std::to_string(*r.result) : none);
      row.push_back(r.exitCode ? std::to_string(*r.exitCode) : none);
    }
    row.push_back(r.restartStarted ? "started" : r.restartNeeded ? "needed" : "no");
    row.push_back(r.error.empty() ? std::to_string(r.failures) : none);
    for (int k = 0; k < kKindCount; ++k) {
      if (!r.changes) {
        row.push_back(none);
        continue;
      }
      const KindChange& c = r.changes->kinds[k];
      row.push_back(std::to_string(static_cast<Kind>(k) == Kind::kRestart ? c.added.size() : c.removed.size()));
    }
    table.push_back(std::move(row));
  }
  return table;
}

}  // namespace

bool FleetRows(const std::string& dir, unsigned jobs, std::vector<MachineResult>& rows, std::string& error) {
  std::vector<Entry> entries;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (it->is_regular_file(typeError) && EndsWithIni(it->path().filename().string()))
      entries.push_back({it->path().string(), false});
    else if (it->is_directory(typeError) && IsImage(it->path()))
      entries.push_back({it->path().string(), true});
  }
  if (ec) {
    error = dir + ": " + ec.message();
    return false;
  }
  rows.assign(entries.size(), {});
  unsigned threads = jobs ? jobs : std::max(1u, std::thread::hardware_concurrency());
  threads = static_cast<unsigned>(std::min<std::size_t>(threads, entries.size()));
  // Each machine is its own SimMachine: the workers share only the next entry's index.
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t i; (i = next++) < entries.size();) {
      try {
        rows[i] = entries[i].image ? EraseImage(entries[i].path) : ReadReport(entries[i].path);
      } catch (const std::exception& e) {
        rows[i] = MachineResult{};
        rows[i].source = entries[i].image ? MachineResult::Source::kImage : MachineResult::Source::kReport;
        rows[i].path = entries[i].path;
        rows[i].name = fs::path(entries[i].path).filename().string();
        rows[i].error = e.what();
      }
    }
  };
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
  work();
  for (std::thread& t : pool) t.join();
  std::sort(rows.begin(), rows.end(), [](const MachineResult& a, const MachineResult& b) {
    if (a.Group() != b.Group()) return a.Group() < b.Group();
    std::string x = Lower(a.name), y = Lower(b.name);
    return x != y ? x < y : a.path < b.path;
  });
  return true;
}

std::string FormatFleetTable(const std::vector<MachineResult>& rows) {
  std::vector<std::vector<std::string>> table = TableCells(rows, "-");
  std::vector<std::size_t> width(table[0].size(), 0);
  for (const auto& row : table)
    for (std::size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], Cells(row[c]));
  std::string out;
  for (const auto& row : table) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      std::string pad(width[c] - Cells(row[c]), ' ');
      // Text columns to the left, numbers to the right.
      line += c < 2 ? row[c] + pad : pad + row[c];
      line += c + 1 < row.size() ? "  " : "";
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  }
  return out;
}

std::string FormatFleetCsv(const std::vector<MachineResult>& rows) {
  std::string out;
  for (const auto& row : TableCells(rows, "")) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      const std::string& cell = row[c];
      bool quote = cell.find_first_of(",\"\r\n") != std::string::npos;
      std::string text = cell;
      for (std::size_t at = 0; quote && (at = text.find('"', at)) != std::string::npos; at += 2) text.insert(at, "\"");
      out += (c ? "," : "") + (quote ? "\"" + text + "\"" : text);
    }
    out += "\r\n";
  }
  return out;
}

int Fleet(const Options& options, std::ostream& out, std::ostream& err) {
  std::vector<MachineResult> rows;
  std::string error;
  if (!FleetRows(options.image, options.jobs, rows, error)) {
    err << "qxers-sim: " << error << "\n";
    return 2;
  }
  for (const MachineResult& r : rows)
    if (!r.error.empty()) err << "qxers-sim: " << r.path << ": " << r.error << "\n";
  if (!options.csv.empty() && !WriteWhole(options.csv, FormatFleetCsv(rows), error)) {
    err << "qxers-sim: " << error << "\n";
    return 2;
  }
  out << (options.json ? JsonArray(rows, options.verbose) : FormatFleetTable(rows));
  bool fine = std::all_of(rows.begin(), rows.end(), [](const MachineResult& r) {
    return r.error.empty() && r.exitCode &&
           (*r.exitCode == qx::kExitSuccess || *r.exitCode == qx::kExitRestartNeeded ||
            *r.exitCode == qx::kExitRestartStarted);
  });
  return fine ? 0 : 1;
}

}  // namespace qxsim
