// cp932-escape: copies sources into a mirror tree with every non-ASCII character of a
// string or character literal written as the octal escapes of its Shift-JIS (CP932) bytes.
//
// Our code is compiled with g++ -fexec-charset=CP932 so that its literals hold Shift-JIS
// bytes, as on a Japanese Windows. Clang accepts no execution character set but UTF-8, so
// the fuzz build compiles the mirror instead: "表" becomes "\225\134", the same bytes g++
// puts in the object file. Octal escapes are used because they end after three digits
// whatever follows (a hex escape would swallow a following letter). Comments are copied as
// they are; a non-ASCII character anywhere else, or one without a Shift-JIS form, is an error.
//
//   cp932-escape SOURCE_ROOT MIRROR_ROOT RELATIVE_PATH...
//
// A mirror file is rewritten only when its contents change, so that an unchanged source
// does not make the build compile it again.
#include <iconv.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

bool ReadFile(const fs::path& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Length of the UTF-8 sequence that starts with lead, 0 when lead cannot start one.
std::size_t Utf8Length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

class Converter {
 public:
  Converter() : cd_(iconv_open("CP932", "UTF-8")) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // One UTF-8 character to its CP932 bytes.
  bool ToCp932(const std::string& utf8, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char buffer[16];
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* o = buffer;
    std::size_t outLeft = sizeof buffer;
    if (iconv(cd_, &in, &inLeft, &o, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) return false;
    out.assign(buffer, static_cast<std::size_t>(o - buffer));
    return true;
  }

 private:
  iconv_t cd_;
};

// The file with its literals escaped; false with a message naming file and line.
bool Escape(Converter& converter, const std::string& shown, const std::string& text, std::string& out) {
  enum class State { kCode, kLineComment, kBlockComment, kString, kChar };
  State state = State::kCode;
  int line = 1;
  out.clear();
  out.reserve(text.size());
  auto fail = [&](const std::string& message) {
    std::cerr << shown << ":" << line << ": " << message << "\n";
    return false;
  };
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n') ++line;
    if (c >= 0x80) {
      std::size_t n = Utf8Length(c);
      if (n == 0 || i + n > text.size()) return fail("invalid UTF-8");
      std::string character = text.substr(i, n);
      if (state == State::kLineComment || state == State::kBlockComment) {
        out += character;
      } else if (state == State::kString || state == State::kChar) {
        std::string bytes;
        if (!converter.ToCp932(character, bytes)) return fail("'" + character + "' has no Shift-JIS form");
        for (unsigned char b : bytes) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\%03o", b);
          out += escaped;
        }
      } else {
        return fail("a non-ASCII character outside a literal or comment");
      }
      i += n;
      continue;
    }
    char ch = static_cast<char>(c);
    char next = i + 1 < text.size() ? text[i + 1] : '\0';
    switch (state) {
      case State::kCode:
        if (ch == '/' && next == '/') {
          state = State::kLineComment;
        } else if (ch == '/' && next == '*') {
          out += "/*";
          i += 2;
          state = State::kBlockComment;
          continue;
        } else if (ch == '"') {
          // A raw string literal would take the escapes as text; our code has none.
          if (i > 0 && text[i - 1] == 'R') return fail("raw string literals are not supported");
          state = State::kString;
        } else if (ch == '\'') {
          // A digit separator (1'000) is not a character literal.
          bool separator = i > 0 && std::isxdigit(static_cast<unsigned char>(text[i - 1])) &&
                           std::isxdigit(static_cast<unsigned char>(next));
          if (!separator) state = State::kChar;
        }
        break;
      case State::kLineComment:
        if (ch == '\n') state = State::kCode;
        break;
      case State::kBlockComment:
        if (ch == '*' && next == '/') {
          out += "*/";
          i += 2;
          state = State::kCode;
          continue;
        }
        break;
      case State::kString:
      case State::kChar:
        if (ch == '\\' && i + 1 < text.size() && static_cast<unsigned char>(next) < 0x80) {
          if (next == '\n') ++line;
          out += ch;
          out += next;
          i += 2;
          continue;
        }
        if ((state == State::kString && ch == '"') || (state == State::kChar && ch == '\'')) state = State::kCode;
        if (ch == '\n') return fail("a literal runs past the end of its line");
        break;
    }
    out += ch;
    ++i;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: cp932-escape SOURCE_ROOT MIRROR_ROOT RELATIVE_PATH...\n";
    return 2;
  }
  Converter converter;
  if (!converter.ok()) {
    std::cerr << "cp932-escape: iconv has no UTF-8 to CP932 conversion\n";
    return 1;
  }
  const fs::path source(argv[1]), mirror(argv[2]);
  int failures = 0;
  for (int i = 3; i < argc; ++i) {
    const fs::path relative(argv[i]);
    std::string text, escaped, existing;
    if (!ReadFile(source / relative, text)) {
      std::cerr << (source / relative).string() << ": cannot be read\n";
      ++failures;
      continue;
    }
    if (!Escape(converter, (source / relative).string(), text, escaped)) {
      ++failures;
      continue;
    }
    const fs::path target = mirror / relative;
    if (ReadFile(target, existing) && existing == escaped) continue;
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(escaped.data(), static_cast<std::streamsize>(escaped.size()));
    out.close();
    if (!out) {
      std::cerr << target.string() << ": cannot be written\n";
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
