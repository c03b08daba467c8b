#include "platform/sim/image/image_text.h"

#include "platform/sim/encoding.h"

namespace qx::sim::image {
namespace {

bool Fail(std::string& error, std::string_view file, int line, const std::string& message) {
  error = Where(file, line) + message;
  return false;
}

// Lines of 8-bit text; conversion says what to do with each line.
template <typename Convert>
bool SplitBytes(std::string_view file, std::string_view bytes, std::vector<TextLine>& lines,
                std::string& error, Convert convert) {
  int number = 0;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    std::size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
    std::string_view raw = bytes.substr(start, (end == std::string_view::npos ? bytes.size() : end) - start);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    ++number;
    if (raw.find('\0') != std::string_view::npos) return Fail(error, file, number, "NUL byte in a text file");
    TextLine line{number, {}};
    if (!convert(raw, line.text)) return Fail(error, file, number, "text that is invalid or has no Shift-JIS form");
    lines.push_back(std::move(line));
    start = next;
  }
  return true;
}

bool SplitUtf16(std::string_view file, std::string_view bytes, std::vector<TextLine>& lines,
                std::string& error) {
  int number = 0;
  std::size_t start = 0;
  auto unit = [&](std::size_t i) {
    return static_cast<unsigned>(static_cast<unsigned char>(bytes[i])) |
           static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8;
  };
  while (start < bytes.size()) {
    ++number;
    std::size_t end = start;
    bool nul = false;
    while (end + 1 < bytes.size() && unit(end) != 0x000A) {
      if (unit(end) == 0) nul = true;
      end += 2;
    }
    if (end + 1 == bytes.size()) return Fail(error, file, number, "UTF-16 text ends in half a character");
    if (nul) return Fail(error, file, number, "NUL character in a text file");
    std::size_t stop = end;
    if (stop >= start + 2 && unit(stop - 2) == 0x000D) stop -= 2;
    TextLine line{number, {}};
    if (!Utf16LeToCp932(bytes.substr(start, stop - start), line.text)) {
      return Fail(error, file, number, "text that is invalid UTF-16 or has no Shift-JIS form");
    }
    lines.push_back(std::move(line));
    start = end + 2;
  }
  return true;
}

}  // namespace

std::string Where(std::string_view fileName, int line) {
  return std::string(fileName) + ":" + std::to_string(line) + ": ";
}

bool DecodeTextFile(std::string_view fileName, std::string_view bytes, TextSource source,
                    std::vector<TextLine>& lines, std::string& error) {
  lines.clear();
  const bool utf8Bom = bytes.substr(0, 3) == "\xEF\xBB\xBF";
  if (source == TextSource::kUtf8) {
    if (utf8Bom) bytes.remove_prefix(3);
    return SplitBytes(fileName, bytes, lines, error, [](std::string_view raw, std::string& out) {
      std::string unused;
      out.assign(raw);
      return Utf8ToCp932(raw, unused) || raw.empty();
    });
  }
  if (bytes.substr(0, 2) == "\xFF\xFE") return SplitUtf16(fileName, bytes.substr(2), lines, error);
  if (bytes.substr(0, 2) == "\xFE\xFF") return Fail(error, fileName, 1, "UTF-16 big-endian is not supported");
  if (utf8Bom) {
    return SplitBytes(fileName, bytes.substr(3), lines, error,
                      [](std::string_view raw, std::string& out) { return Utf8ToCp932(raw, out); });
  }
  return SplitBytes(fileName, bytes, lines, error, [](std::string_view raw, std::string& out) {
    out.assign(raw);
    return true;
  });
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::vector<std::string> SplitCommas(std::string_view s, std::size_t maxParts) {
  std::vector<std::string> parts;
  while (parts.size() + 1 < maxParts) {
    std::size_t comma = s.find(',');
    if (comma == std::string_view::npos) break;
    parts.emplace_back(Trim(s.substr(0, comma)));
    s.remove_prefix(comma + 1);
  }
  parts.emplace_back(Trim(s));
  return parts;
}

}  // namespace qx::sim::image
