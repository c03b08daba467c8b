// The conversions of platform/sim/encoding.h for the simulated machine built into a Windows
// program, which has no iconv: code page 932 through Windows' own tables, UTF-8 and UTF-16
// by hand. Windows NT 4.0 and 95 take no flags with CP_UTF8 and know neither
// WC_NO_BEST_FIT_CHARS nor WC_ERR_INVALID_CHARS, so the checks that make a conversion exact
// are done here, the same on every version.
#include "platform/sim/encoding.h"

#include <windows.h>

#include <climits>
#include <string>

namespace qx::sim {
namespace {

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Strict UTF-8: no overlong form, no surrogate, nothing above U+10FFFF, nothing cut short.
bool Utf8ToUtf16(std::string_view utf8, std::wstring& out) {
  out.clear();
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    std::size_t n;
    char32_t c;
    char32_t least;
    if (lead < 0x80) {
      n = 1, c = lead, least = 0;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      n = 2, c = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      n = 3, c = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      n = 4, c = lead & 0x07, least = 0x10000;
    } else {
      return false;
    }
    if (utf8.size() - i < n) return false;
    for (std::size_t k = 1; k < n; ++k) {
      const unsigned char next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    if (c < least || c > 0x10FFFF || IsSurrogate(c)) return false;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (c >> 10));
      out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<wchar_t>(c);
    }
    i += n;
  }
  return true;
}

constexpr UINT kCodePage932 = 932;

// Single bytes that Windows' table takes (0x80 as U+0080, 0xA0 and 0xFD-0xFF as private-use
// characters) though code page 932 defines nothing there; the Linux build refuses them, and
// so does this one.
bool UndefinedSingleByte(wchar_t c) { return c == 0x0080 || (c >= 0xF8F0 && c <= 0xF8F3); }

// Characters that the Linux build writes as the code page 932 character standing for them
// (the JIS forms of what Windows maps to full-width or other forms), taken the same here.
wchar_t OneWay(wchar_t c) {
  switch (c) {
    case 0x00A2: return 0xFFE0;  // cent sign
    case 0x00A3: return 0xFFE1;  // pound sign
    case 0x00A5: return 0x005C;  // yen sign: the backslash's byte
    case 0x00AC: return 0xFFE2;  // not sign
    case 0x2014: return 0x2015;  // em dash
    case 0x2016: return 0x2225;  // double vertical line
    case 0x203E: return 0x007E;  // overline: the tilde's byte
    case 0x2212: return 0xFF0D;  // minus sign
    case 0x301C: return 0xFF5E;  // wave dash
    default: return c;
  }
}

// MB_ERR_INVALID_CHARS refuses a lead byte without its second byte and a pair that the code
// page does not define, where Windows would otherwise put a default character.
bool Cp932ToUtf16(std::string_view cp932, std::wstring& out) {
  out.clear();
  if (cp932.empty()) return true;
  if (cp932.size() > INT_MAX) return false;
  const int inLength = static_cast<int>(cp932.size());
  const int needed = ::MultiByteToWideChar(kCodePage932, MB_ERR_INVALID_CHARS, cp932.data(), inLength, nullptr, 0);
  if (needed <= 0) return false;
  out.resize(static_cast<std::size_t>(needed));
  const int written = ::MultiByteToWideChar(kCodePage932, MB_ERR_INVALID_CHARS, cp932.data(), inLength, out.data(), needed);
  if (written != needed) return false;
  for (wchar_t c : out)
    if (UndefinedSingleByte(c)) return false;
  return true;
}

// Exact or nothing: a character without a code page 932 form becomes Windows' default
// character or a look-alike ("best fit", such as e for é), and either shows when the result
// read back is not the text given. Characters that 932 holds twice (the NEC and IBM rows) come
// back as the same character, so they pass.
bool Utf16ToCp932(std::wstring_view given, std::string& out) {
  out.clear();
  if (given.empty()) return true;
  std::wstring utf16;
  utf16.reserve(given.size());
  for (wchar_t c : given) {
    if (UndefinedSingleByte(c)) return false;
    utf16 += OneWay(c);
  }
  if (utf16.size() > INT_MAX) return false;
  const int inLength = static_cast<int>(utf16.size());
  const int needed = ::WideCharToMultiByte(kCodePage932, 0, utf16.data(), inLength, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return false;
  out.resize(static_cast<std::size_t>(needed));
  BOOL usedDefault = FALSE;
  const int written =
      ::WideCharToMultiByte(kCodePage932, 0, utf16.data(), inLength, out.data(), needed, nullptr, &usedDefault);
  if (written != needed || usedDefault) return false;
  std::wstring back;
  return Cp932ToUtf16(out, back) && back == utf16;
}

// Lone surrogates have no code page 932 form: refused before Windows sees them.
bool WellFormedUtf16(std::wstring_view utf16) {
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char32_t c = static_cast<char16_t>(utf16[i]);
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= utf16.size()) return false;
      const char32_t low = static_cast<char16_t>(utf16[i + 1]);
      if (low < 0xDC00 || low > 0xDFFF) return false;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool detail::Cp932ToUtf8(std::string_view cp932, std::string& out) {
  std::wstring wide;
  return Cp932ToUtf16(cp932, wide) &&
         detail::Utf16ToUtf8(wide.size(), [&](std::size_t i) { return wide[i]; }, out);
}

bool detail::Utf8ToCp932(std::string_view utf8, std::string& out) {
  std::wstring wide;
  return Utf8ToUtf16(utf8, wide) && Utf16ToCp932(wide, out);
}

bool detail::Utf16LeToCp932(std::string_view utf16Bytes, std::string& out) {
  out.clear();
  if (utf16Bytes.size() % 2 != 0) return false;  // a code unit cut in half
  std::wstring wide;
  wide.reserve(utf16Bytes.size() / 2);
  for (std::size_t i = 0; i < utf16Bytes.size(); i += 2)
    wide += static_cast<wchar_t>(static_cast<unsigned char>(utf16Bytes[i]) |
                                 static_cast<unsigned char>(utf16Bytes[i + 1]) << 8);
  return WellFormedUtf16(wide) && Utf16ToCp932(wide, out);
}

}  // namespace qx::sim
