// A plain reader of regedit's text, for comparison: it splits a .reg file into key lines and
// values (names and strings unescaped, dwords and hex bytes decoded, continuation lines joined)
// and keeps them as a simple script would, each key's values under its path as written. The
// image loader does that work and more (case-insensitive paths, a tree of keys, code page
// conversion, checks); the benchmark says what it costs per byte against this.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace bench {

struct PlainRegCounts {
  std::uint64_t keys = 0;
  std::uint64_t values = 0;
  std::uint64_t dataBytes = 0;  // decoded bytes of all values
  std::uint64_t checksum = 0;   // of names and data, so that no work can be left out
};

// bytes: a whole file, REGEDIT4 (code page 932, or UTF-8 with a byte-order mark) or version
// 5.00 in UTF-16LE (its code units are narrowed as they are read: ASCII structure is what
// matters here).
// What the plain reader keeps: each key's values (name, decoded data) by the key's path.
using PlainRegistry = std::unordered_map<std::string, std::vector<std::pair<std::string, std::string>>>;

PlainRegCounts ReadPlainReg(std::string_view bytes, PlainRegistry& keep);

}  // namespace bench
