// What every build shares: ASCII passed through and the lossy form, on top of the conversions
// of the build (encoding_iconv.cpp on Linux, platform/win32/win32_encoding.cpp for Windows).
#include "platform/sim/encoding.h"

#include "platform/sim/sim_text.h"

#include <cstdio>

namespace qx::sim {

namespace {

// ASCII is the same bytes in code page 932 and UTF-8, both ways.
bool Ascii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

bool Cp932ToUtf8(std::string_view cp932, std::string& out) {
  if (!Ascii(cp932)) return detail::Cp932ToUtf8(cp932, out);
  out.assign(cp932);
  return true;
}

bool Utf8ToCp932(std::string_view utf8, std::string& out) {
  if (!Ascii(utf8)) return detail::Utf8ToCp932(utf8, out);
  out.assign(utf8);
  return true;
}

// A unit below 0x80 is the ASCII byte it stands for (a .reg file exported by regedit is
// UTF-16, most of its lines ASCII).
bool Utf16LeToCp932(std::string_view utf16Bytes, std::string& out) {
  const std::size_t units = utf16Bytes.size() / 2;
  if (utf16Bytes.size() % 2 != 0) return detail::Utf16LeToCp932(utf16Bytes, out);
  for (std::size_t i = 0; i < units; ++i)
    if (utf16Bytes[2 * i + 1] != '\0' || static_cast<unsigned char>(utf16Bytes[2 * i]) >= 0x80)
      return detail::Utf16LeToCp932(utf16Bytes, out);
  out.resize(units);
  for (std::size_t i = 0; i < units; ++i) out[i] = utf16Bytes[2 * i];
  return true;
}

std::string Cp932ToUtf8Lossy(std::string_view text) {
  std::string result;
  if (Cp932ToUtf8(text, result)) return result;
  result.clear();
  std::string piece;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = cp932::CharLength(text, i);
    if (Cp932ToUtf8(text.substr(i, n), piece)) {
      result += piece;
    } else {
      for (std::size_t k = 0; k < n; ++k) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(text[i + k]));
        result += hex;
      }
    }
    i += n;
  }
  return result;
}

}  // namespace qx::sim
