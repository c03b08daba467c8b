// Code page 932 text rules the simulated machine compares and cuts names by.
//
// Windows compares registry, file, INI and window-class names without regard to case. In
// code page 932 the second byte of a double-byte character can look like an ASCII letter or
// a backslash (0x5C), so every scan steps over a double-byte character as a whole and only
// single-byte ASCII letters are folded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qx::sim::cp932 {

// Lead bytes of code page 932: 0x81-0x9F and 0xE0-0xFC.
inline bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Length of the character at text[i]: 2 for a lead byte with a byte after it, else 1.
inline std::size_t CharLength(std::string_view text, std::size_t i) {
  return IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
}

// The text with single-byte a-z made upper case; double-byte characters untouched.
std::string Fold(std::string_view text);
// Fold in place (the text keeps its length).
void FoldInPlace(std::string& text);
bool EqualNoCase(std::string_view a, std::string_view b);
// Ordering by folded text, as Windows sorts registry subkeys and NTFS directory entries.
bool LessNoCase(std::string_view a, std::string_view b);
// The folded texts compared byte by byte, unsigned, a prefix first (<0, 0, >0), without
// making the folded copies: names are compared this way on every lookup.
int CompareNoCase(std::string_view a, std::string_view b);
// A hash of the folded text: texts EqualNoCase hash alike.
std::size_t HashNoCase(std::string_view text);

// Number of characters (a double-byte character counts once), as Windows counts a path
// after converting it to Unicode.
std::size_t CharCount(std::string_view text);

// The longest prefix of at most maxBytes bytes that does not cut a double-byte character.
std::string_view Truncate(std::string_view text, std::size_t maxBytes);

// Splits at single-byte separators ('\\', and '/' when slashToo), never inside a
// double-byte character. Empty pieces are kept.
std::vector<std::string> Split(std::string_view text, bool slashToo);

// How many bytes from the start are single-byte (below 0x80): up to there no byte can be
// part of a double-byte character.
std::size_t AsciiPrefix(std::string_view text);

// How many bytes two texts share from their start, byte for byte.
std::size_t SharedPrefix(std::string_view a, std::string_view b);

// How many bytes from the start are single-byte characters other than stop1 and stop2
// (a quick first step of a search for either: the rest needs no scan by characters).
std::size_t PlainPrefix(std::string_view text, char stop1, char stop2);

// Position of the first single-byte occurrence of c, or npos.
std::size_t Find(std::string_view text, char c);
// Position of the last single-byte occurrence of c, or npos.
std::size_t FindLast(std::string_view text, char c);

}  // namespace qx::sim::cp932

namespace qx::sim {

// A handle or code as the machine's listing and call records show it: 0x and upper-case hex.
std::string Hex(std::uintptr_t v);
// "text", or NULL for a null pointer, as a call record shows an argument.
std::string Quoted(const char* text);

}  // namespace qx::sim
