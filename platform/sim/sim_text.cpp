#include "platform/sim/sim_text.h"

#include <cstdio>

namespace qx::sim::cp932 {

std::string Fold(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size();) {
    std::size_t n = CharLength(out, i);
    if (n == 1 && out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 'a' + 'A');
    i += n;
  }
  return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && Fold(a) == Fold(b);
}

bool LessNoCase(std::string_view a, std::string_view b) {
  std::string fa = Fold(a), fb = Fold(b);
  // Byte order, unsigned: double-byte characters sort after ASCII as in the code page.
  return std::string_view(fa).compare(fb) < 0;
}

std::size_t CharCount(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); i += CharLength(text, i)) ++count;
  return count;
}

std::string_view Truncate(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t end = 0;
  while (end < text.size()) {
    std::size_t n = CharLength(text, end);
    if (end + n > maxBytes) break;
    end += n;
  }
  return text.substr(0, end);
}

std::vector<std::string> Split(std::string_view text, bool slashToo) {
  std::vector<std::string> parts;
  std::string current;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = CharLength(text, i);
    if (n == 1 && (text[i] == '\\' || (slashToo && text[i] == '/'))) {
      parts.push_back(std::move(current));
      current.clear();
    } else {
      current.append(text.substr(i, n));
    }
    i += n;
  }
  parts.push_back(std::move(current));
  return parts;
}

std::size_t Find(std::string_view text, char c) {
  for (std::size_t i = 0; i < text.size(); i += CharLength(text, i))
    if (CharLength(text, i) == 1 && text[i] == c) return i;
  return std::string_view::npos;
}

std::size_t FindLast(std::string_view text, char c) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < text.size(); i += CharLength(text, i))
    if (CharLength(text, i) == 1 && text[i] == c) found = i;
  return found;
}

}  // namespace qx::sim::cp932

namespace qx::sim {

std::string Hex(std::uintptr_t v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
  return buf;
}

std::string Quoted(const char* text) { return text ? "\"" + std::string(text) + "\"" : "NULL"; }

}  // namespace qx::sim
