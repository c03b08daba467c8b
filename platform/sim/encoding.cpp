// What every build shares: the lossy form, on top of the conversions of the build
// (encoding_iconv.cpp on Linux, platform/win32/win32_encoding.cpp for Windows).
#include "platform/sim/encoding.h"

#include "platform/sim/sim_text.h"

#include <cstdio>

namespace qx::sim {

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
