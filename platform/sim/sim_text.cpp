#include "platform/sim/sim_text.h"

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace qx::sim::cp932 {

void FoldInPlace(std::string& text) {
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (IsLeadByte(c) && i + 1 < n) {
      i += 2;
      continue;
    }
    if (c >= 'a' && c <= 'z') text[i] = static_cast<char>(c - 'a' + 'A');
    ++i;
  }
}

std::string Fold(std::string_view text) {
  std::string out(text);
  FoldInPlace(out);
  return out;
}

int CompareNoCase(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  // Up to the first difference both texts have the same bytes, so a byte is the second
  // half of a double-byte character in both or in neither; after a difference only in case
  // (single-byte letters, never a first half) that still holds.
  bool trail = false;
  for (std::size_t i = 0; i < n; ++i) {
    // Eight equal single-byte characters at a time: nothing to fold, and no byte of them can
    // start a double-byte character (names often share long prefixes).
    if (!trail) {
      constexpr std::uint64_t kHigh = 0x8080808080808080ull;
      for (std::uint64_t wa, wb; i + 8 <= n; i += 8) {
        std::memcpy(&wa, a.data() + i, 8);
        std::memcpy(&wb, b.data() + i, 8);
        if (wa != wb || (wa & kHigh)) break;
      }
      if (i >= n) break;
    }
    unsigned char ca = static_cast<unsigned char>(a[i]);
    unsigned char cb = static_cast<unsigned char>(b[i]);
    if (trail) {
      if (ca != cb) return ca < cb ? -1 : 1;
      trail = false;
      continue;
    }
    if (ca != cb) {
      if (ca >= 'a' && ca <= 'z') ca = static_cast<unsigned char>(ca - 'a' + 'A');
      if (cb >= 'a' && cb <= 'z') cb = static_cast<unsigned char>(cb - 'a' + 'A');
      if (ca != cb) return ca < cb ? -1 : 1;
      continue;
    }
    // A first half at the last byte compared has no second half here: nothing follows.
    trail = IsLeadByte(ca);
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

std::size_t HashNoCase(std::string_view text) {
  std::uint64_t h = 14695981039346656037ull ^ text.size();
  std::size_t i = 0;
  // Eight single-byte characters at a time, their lower-case letters made upper case in one
  // go (texts equal but for case have their double-byte characters in the same places, so
  // they are cut into the same words).
  constexpr std::uint64_t kHigh = 0x8080808080808080ull, kOnes = 0x0101010101010101ull;
  for (std::uint64_t w; i + 8 <= text.size(); i += 8) {
    std::memcpy(&w, text.data() + i, 8);
    if (w & kHigh) break;
    // A byte's high bit, once 0x80 - 'a' is added, says it is 'a' or above; once 0x80 - '{'
    // is added, that it is above 'z' (no byte carries into the next: all are below 0x80).
    const std::uint64_t lower = (w + kOnes * (0x80 - 'a')) & ~(w + kOnes * (0x80 - '{')) & kHigh;
    w ^= lower >> 2;  // clears 0x20, the bit that makes a letter lower case
    h = (h ^ w) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
  }
  bool trail = false;
  for (; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (trail) {
      trail = false;
    } else if (c >= 'a' && c <= 'z') {
      c = static_cast<unsigned char>(c - 'a' + 'A');
    } else {
      trail = IsLeadByte(c);
    }
    h = (h ^ c) * 1099511628211ull;
  }
  return static_cast<std::size_t>(h);
}

bool EqualNoCase(std::string_view a, std::string_view b) { return a.size() == b.size() && CompareNoCase(a, b) == 0; }

// Byte order, unsigned: double-byte characters sort after ASCII as in the code page.
bool LessNoCase(std::string_view a, std::string_view b) { return CompareNoCase(a, b) < 0; }

std::size_t CharCount(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); i += CharLength(text, i)) ++count;
  return count;
}

std::string_view Truncate(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t end = 0;
  while (end < text.size()) {
    std::size_t n = CharLength(text, end);
    if (end + n > maxBytes) break;
    end += n;
  }
  return text.substr(0, end);
}

std::vector<std::string> Split(std::string_view text, bool slashToo) {
  std::vector<std::string> parts;
  std::string current;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = CharLength(text, i);
    if (n == 1 && (text[i] == '\\' || (slashToo && text[i] == '/'))) {
      parts.push_back(std::move(current));
      current.clear();
    } else {
      current.append(text.substr(i, n));
    }
    i += n;
  }
  parts.push_back(std::move(current));
  return parts;
}

namespace {

static_assert(std::endian::native == std::endian::little, "words are read with their first byte lowest");

// The first byte (of eight, in memory order) whose high bit a mask sets.
std::size_t FirstMarked(std::uint64_t mask) { return static_cast<std::size_t>(std::countr_zero(mask)) / 8; }

// High bits of the bytes of x that are zero, and perhaps of bytes after the first such (a
// borrow): the first one marked is always right.
constexpr std::uint64_t ZeroBytes(std::uint64_t x) {
  return (x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull;
}

}  // namespace

std::size_t SharedPrefix(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  std::size_t i = 0;
  for (std::uint64_t wa, wb; i + 8 <= n; i += 8) {
    std::memcpy(&wa, a.data() + i, 8);
    std::memcpy(&wb, b.data() + i, 8);
    if (wa != wb) return i + static_cast<std::size_t>(std::countr_zero(wa ^ wb)) / 8;
  }
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

std::size_t AsciiPrefix(std::string_view text) {
  std::size_t i = 0;
  // Eight bytes at a time while none has its high bit set.
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    if (const std::uint64_t high = word & 0x8080808080808080ull) return i + FirstMarked(high);
  }
  while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  return i;
}

std::size_t PlainPrefix(std::string_view text, char stop1, char stop2) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
  const std::uint64_t p1 = kOnes * static_cast<unsigned char>(stop1);
  const std::uint64_t p2 = kOnes * static_cast<unsigned char>(stop2);
  std::size_t i = 0;
  // Eight bytes at a time up to the word that holds a stop or a byte of 0x80 or more.
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    if (const std::uint64_t marked = (word & kHigh) | ZeroBytes(word ^ p1) | ZeroBytes(word ^ p2))
      return i + FirstMarked(marked);
  }
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (static_cast<unsigned char>(c) >= 0x80 || c == stop1 || c == stop2) break;
  }
  return i;
}

// Both search single-byte text as bytes and go by characters from the first byte that may
// start a double-byte one: most names are ASCII.
std::size_t Find(std::string_view text, char c) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
  const std::uint64_t pattern = kOnes * static_cast<unsigned char>(c);
  std::size_t i = 0;
  // Eight bytes at a time up to the word that holds c or a byte of 0x80 or more (it stops at
  // the first c, so that a search from each match on is not scanned again to the end).
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    if (const std::uint64_t marked = (word & kHigh) | ZeroBytes(word ^ pattern)) {
      i += FirstMarked(marked);
      break;
    }
  }
  for (; i < text.size() && static_cast<unsigned char>(text[i]) < 0x80; ++i)
    if (text[i] == c) return i;
  for (; i < text.size(); i += CharLength(text, i))
    if (CharLength(text, i) == 1 && text[i] == c) return i;
  return std::string_view::npos;
}

std::size_t FindLast(std::string_view text, char c) {
  const std::size_t ascii = AsciiPrefix(text);
  std::size_t found = text.substr(0, ascii).rfind(c);
  for (std::size_t i = ascii; i < text.size(); i += CharLength(text, i))
    if (CharLength(text, i) == 1 && text[i] == c) found = i;
  return found;
}

}  // namespace qx::sim::cp932

namespace qx::sim {

std::string Hex(std::uintptr_t v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
  return buf;
}

std::string Quoted(const char* text) { return text ? "\"" + std::string(text) + "\"" : "NULL"; }

}  // namespace qx::sim
