// The conversions on the C library's iconv, for the programs built for Linux.
#include "platform/sim/encoding.h"

#include <cerrno>
#include <iconv.h>

namespace qx::sim {
namespace {

// A conversion descriptor per direction and thread: threads never share one, and a text
// does not pay for opening one (the summary converts every name it shows).
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (Usable()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool Convert(std::string_view in, std::string& out) {
    out.clear();
    if (!Usable()) return false;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // the initial state, whatever came before
    bool ok = true;
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char chunk[4096];
    while (srcLeft > 0) {
      char* dst = chunk;
      std::size_t dstLeft = sizeof chunk;
      std::size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      out.append(chunk, static_cast<std::size_t>(dst - chunk));
      if (r == static_cast<std::size_t>(-1)) {
        if (errno == E2BIG) continue;
        ok = false;  // EILSEQ: invalid or unmappable; EINVAL: truncated at the end
        break;
      }
      // A non-reversible conversion is counted in r; iconv without //TRANSLIT or
      // //IGNORE reports unmappable characters as EILSEQ, so r > 0 cannot happen here.
    }
    if (ok) {
      char* dst = chunk;
      std::size_t dstLeft = sizeof chunk;
      if (iconv(cd_, nullptr, nullptr, &dst, &dstLeft) == static_cast<std::size_t>(-1)) ok = false;
      out.append(chunk, static_cast<std::size_t>(dst - chunk));
    }
    return ok;
  }

 private:
  bool Usable() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t cd_;
};

}  // namespace

bool detail::Cp932ToUtf8(std::string_view cp932, std::string& out) {
  thread_local Converter converter("UTF-8", "CP932");
  return converter.Convert(cp932, out);
}

bool detail::Utf8ToCp932(std::string_view utf8, std::string& out) {
  thread_local Converter converter("CP932", "UTF-8");
  return converter.Convert(utf8, out);
}

// UTF-16 is made UTF-8 here, then code page 932 by the converter from UTF-8: the same
// characters come out, and no second converter (with a module of its own) is loaded.
bool detail::Utf16LeToCp932(std::string_view utf16Bytes, std::string& out) {
  if (utf16Bytes.size() % 2 != 0) return false;  // a unit cut in half
  auto unitAt = [&](std::size_t i) {
    return static_cast<char16_t>(static_cast<unsigned char>(utf16Bytes[2 * i]) |
                                 static_cast<unsigned char>(utf16Bytes[2 * i + 1]) << 8);
  };
  std::string utf8;
  utf8.reserve(utf16Bytes.size() * 3 / 2);
  return detail::Utf16ToUtf8(utf16Bytes.size() / 2, unitAt, utf8) && detail::Utf8ToCp932(utf8, out);
}

}  // namespace qx::sim
