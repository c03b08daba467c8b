// Text conversion between the machine's code page (932, Shift-JIS) and the encodings that
// image files and terminals use: on the C library's iconv in the programs built for Linux,
// on Windows' own code-page tables in those built for Windows.
#pragma once

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
}  // namespace detail

}  // namespace qx::sim
