// Text conversion between the machine's code page (932, Shift-JIS) and the encodings that
// image files and terminals use: on the C library's iconv in the programs built for Linux,
// on Windows' own code-page tables in those built for Windows.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qx::sim {

// Each conversion returns false, leaving out unspecified, when the input holds a sequence
// that is invalid or has no counterpart in the target encoding (a truncated double-byte
// character, a lone surrogate, a character outside code page 932, ...).
bool Cp932ToUtf8(std::string_view cp932, std::string& out);
bool Utf8ToCp932(std::string_view utf8, std::string& out);
bool Utf16LeToCp932(std::string_view utf16Bytes, std::string& out);

// UTF-8 for a terminal or a file name: bytes that do not convert are shown as "\xNN".
std::string Cp932ToUtf8Lossy(std::string_view cp932);

namespace detail {
// The conversions of the build (iconv, or Windows' tables) for text that is not all ASCII,
// which the functions above pass through as it is.
bool Cp932ToUtf8(std::string_view cp932, std::string& out);
bool Utf8ToCp932(std::string_view utf8, std::string& out);
bool Utf16LeToCp932(std::string_view utf16Bytes, std::string& out);

// UTF-8 of count UTF-16 code units, unitAt(i) the i-th; false on a lone half of a pair.
template <typename UnitAt>
bool Utf16ToUtf8(std::size_t count, UnitAt unitAt, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < count; ++i) {
    char32_t c = static_cast<char16_t>(unitAt(i));
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count) {
      const char32_t low = static_cast<char16_t>(unitAt(i + 1));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (c >= 0xD800 && c <= 0xDFFF) return false;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return true;
}
}  // namespace detail

}  // namespace qx::sim
