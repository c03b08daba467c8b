// Text rules for 8-bit strings in code page 932 (Shift-JIS): a double-byte character is
// always stepped over whole, so its second byte (which may be 0x5C "\" or an ASCII letter)
// is never taken for a character of its own.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qx {

inline bool IsDBCSLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Length in bytes of the character that starts at i: 2 for a lead byte with a byte after it.
inline std::size_t CharLength(std::string_view s, std::size_t i) {
  return (IsDBCSLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
}

// The single-byte white space: space, tab, CR, LF, vertical tab, form feed.
inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// First occurrence of needle that starts on a character boundary at or after from; npos if none.
std::size_t FindText(std::string_view text, std::string_view needle, std::size_t from = 0);
// Position of the last single-byte ch (never the second byte of a double-byte character).
std::size_t FindLastChar(std::string_view text, char ch);
bool ContainsText(std::string_view text, std::string_view needle);

std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
std::string Trim(std::string_view s);

// Compared without regard to ASCII case; double-byte characters must match exactly.
bool EqualsNoCase(std::string_view a, std::string_view b);
// The text with its single-byte letters in upper case and its double-byte characters as they
// are: a key under which texts that EqualsNoCase takes for equal fall together.
std::string FoldCase(std::string_view s);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
// The last suffix.size() bytes compared as EqualsNoCase does.
bool EndsWithNoCase(std::string_view s, std::string_view suffix);

// Makes the path end in a backslash (a second byte of a double-byte character is not one);
// changes it in place and returns a copy.
std::string EnsureTrailingBackslash(std::string& path);

// The text up to the first zero byte of a buffer that a call filled.
std::string FromBuffer(const char* buffer, std::size_t size);

}  // namespace qx
