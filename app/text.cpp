#include "app/text.h"

#include <cstring>

namespace qx {

std::size_t FindText(std::string_view text, std::string_view needle, std::size_t from) {
  if (needle.empty()) return from <= text.size() ? from : std::string_view::npos;
  for (std::size_t i = 0; i < text.size(); i += CharLength(text, i)) {
    if (i < from) continue;
    if (text.size() - i < needle.size()) break;
    if (text.compare(i, needle.size(), needle) == 0) return i;
  }
  return std::string_view::npos;
}

std::size_t FindLastChar(std::string_view text, char ch) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < text.size(); i += CharLength(text, i)) {
    if (text[i] == ch) found = i;
  }
  return found;
}

bool ContainsText(std::string_view text, std::string_view needle) {
  return FindText(text, needle) != std::string_view::npos;
}

std::string TrimLeft(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s) {
  // Walk forward so that the end is always a character boundary.
  std::size_t end = 0;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = CharLength(s, i);
    if (n == 2 || !IsBlank(s[i])) end = i + n;
    i += n;
  }
  return std::string(s.substr(0, end));
}

std::string Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

static char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

static bool EqualPrefixNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size();) {
    std::size_t n = CharLength(prefix, i);
    if (n == 2) {
      if (s[i] != prefix[i] || s[i + 1] != prefix[i + 1]) return false;
    } else if (FoldAscii(s[i]) != FoldAscii(prefix[i])) {
      return false;
    }
    i += n;
  }
  return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && EqualPrefixNoCase(a, b);
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) { return EqualPrefixNoCase(s, prefix); }

std::string FoldCase(std::string_view s) {
  std::string out(s);
  for (std::size_t i = 0; i < out.size(); i += CharLength(out, i)) {
    if (CharLength(out, i) == 1) out[i] = FoldAscii(out[i]);
  }
  return out;
}

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  // The suffix must start on a character: not on the second byte of a double-byte one.
  const std::size_t start = s.size() - suffix.size();
  std::size_t i = 0;
  while (i < start) i += CharLength(s, i);
  return i == start && EqualsNoCase(s.substr(start), suffix);
}

std::string FromBuffer(const char* buffer, std::size_t size) {
  const void* zero = std::memchr(buffer, 0, size);
  return std::string(buffer, zero ? static_cast<const char*>(zero) - buffer : size);
}

std::string EnsureTrailingBackslash(std::string& path) {
  std::size_t last = FindLastChar(path, '\\');
  if (last == std::string::npos || last + 1 != path.size()) path += '\\';
  return path;
}

}  // namespace qx
