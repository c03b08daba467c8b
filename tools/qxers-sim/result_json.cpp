// The machines' results as JSON, with nlohmann-json. This file holds ASCII text only (see
// options.cpp): the JSON's strings are the results' UTF-8 texts.
#include <nlohmann/json.hpp>

#include "tools/qxers-sim/machine_result.h"

namespace qxsim {

namespace {

using json = nlohmann::ordered_json;  // the keys in the order written here

// The summary's kinds as JSON keys, in Kind's order.
constexpr const char* kKindKeys[kKindCount] = {
    "files",      "folders",     "registryKeys",    "registryValues", "services",  "printers",         "printerDrivers",
    "printMonitors", "ports",    "printProcessors", "programGroups",  "shortcuts", "waitingForRestart"};

json Nullable(const std::optional<int>& n) { return n ? json(*n) : json(nullptr); }

json Changes(const Summary& s, bool verbose) {
  json out = json::object();
  for (int k = 0; k < kKindCount; ++k) {
    const KindChange& c = s.kinds[k];
    json kind = {{"removed", c.removed.size()}, {"added", c.added.size()}, {"changed", c.changed.size()}};
    if (verbose) kind["objects"] = {{"removed", c.removed}, {"added", c.added}, {"changed", c.changed}};
    out[kKindKeys[k]] = kind;
  }
  out["unknownFiles"] = s.unknownFiles.size();
  if (verbose) out["unknownFileNames"] = s.unknownFiles;
  return out;
}

json MachineObject(const MachineResult& r, bool verbose) {
  json o = {{"name", r.name},
            {"source", r.source == MachineResult::Source::kImage ? "image" : "report"},
            {"path", r.path},
            {"computer", r.computer},
            {"windows", r.windows},
            {"start", r.start},
            {"end", r.end},
            {"result", Nullable(r.result)},
            {"exitCode", Nullable(r.exitCode)},
            {"restartNeeded", r.restartNeeded},
            {"restartStarted", r.restartStarted},
            {"log", r.log}};
  json sections = json::object(), lines = json::object();
  for (const FailureSection& s : r.sections) {
    sections[s.name] = s.count;
    if (verbose) lines[s.name] = s.lines;
  }
  o["failures"] = {{"total", r.failures}, {"bySection", sections}};
  if (verbose) o["failures"]["lines"] = lines;
  o["changes"] = r.changes ? Changes(*r.changes, verbose) : json(nullptr);
  if (r.logText) o["logText"] = *r.logText;
  if (!r.error.empty()) o["error"] = r.error;
  return o;
}

// Texts that are not UTF-8 (a file name from the host) are replaced, never refused.
std::string Dump(const json& j, int indent) { return j.dump(indent, ' ', false, json::error_handler_t::replace); }

}  // namespace

std::string JsonObject(const MachineResult& r, bool verbose, int indent) { return Dump(MachineObject(r, verbose), indent); }

std::string JsonArray(const std::vector<MachineResult>& rows, bool verbose) {
  std::string out = "[";
  for (std::size_t i = 0; i < rows.size(); ++i) out += (i ? ",\n " : "\n ") + Dump(MachineObject(rows[i], verbose), -1);
  return out + (rows.empty() ? "]\n" : "\n]\n");
}

}  // namespace qxsim
