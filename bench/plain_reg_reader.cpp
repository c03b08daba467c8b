#include "bench/plain_reg_reader.h"

#include <string>

namespace bench {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void Mix(PlainRegCounts& counts, std::string_view bytes) {
  for (unsigned char c : bytes) counts.checksum = counts.checksum * 131 + c;
}

// A quoted string from pos (at the opening quote), unescaped into out; pos ends after the
// closing quote.
bool Quoted(std::string_view line, std::size_t& pos, std::string& out) {
  out.clear();
  for (++pos; pos < line.size(); ++pos) {
    char c = line[pos];
    if (c == '"') {
      ++pos;
      return true;
    }
    if (c == '\\' && pos + 1 < line.size()) c = line[++pos];
    out += c;
  }
  return false;
}

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  // The next line without its end, or false at the end of the text.
  bool Line(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    std::size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    line = text_.substr(pos_, end - pos_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos_ = end + 1;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

PlainRegCounts ReadPlainReg(std::string_view bytes, PlainRegistry& keep) {
  std::string narrowed;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    narrowed.reserve(bytes.size() / 2);
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) narrowed += bytes[i];
    bytes = narrowed;
  } else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    bytes.remove_prefix(3);
  }
  PlainRegCounts counts;
  Reader reader(bytes);
  std::string_view line;
  std::string name, data, joined;
  std::vector<std::pair<std::string, std::string>>* values = nullptr;
  while (reader.Line(line)) {
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      ++counts.keys;
      Mix(counts, line);
      std::size_t close = line.rfind(']');
      values = &keep[std::string(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1))];
      continue;
    }
    std::size_t pos = 0;
    if (line[0] == '@') {
      name.clear();
      pos = 1;
    } else if (line[0] != '"' || !Quoted(line, pos, name)) {
      continue;  // the header, or a line this reader does not know
    }
    if (pos >= line.size() || line[pos] != '=') continue;
    ++pos;
    ++counts.values;
    Mix(counts, name);
    std::string_view rest = line.substr(pos);
    if (!rest.empty() && rest[0] == '"') {
      std::size_t at = 0;
      Quoted(rest, at, data);
    } else if (rest.substr(0, 6) == "dword:") {
      std::uint32_t value = 0;
      for (char c : rest.substr(6))
        if (int d = HexDigit(c); d >= 0) value = value * 16 + static_cast<std::uint32_t>(d);
      data.assign(reinterpret_cast<const char*>(&value), 4);
    } else if (rest.substr(0, 3) == "hex") {
      // hex:, hex(N):, with lines that end in a backslash going on in the next.
      joined.assign(rest.substr(rest.find(':') + 1));
      while (!joined.empty() && joined.back() == '\\' && reader.Line(line)) {
        joined.pop_back();
        joined += line;
      }
      data.clear();
      int high = -1;
      for (char c : joined) {
        int d = HexDigit(c);
        if (d < 0) continue;
        if (high < 0) {
          high = d;
        } else {
          data += static_cast<char>(high * 16 + d);
          high = -1;
        }
      }
    } else {
      data.clear();  // "-": the value is deleted
    }
    counts.dataBytes += data.size();
    Mix(counts, data);
    if (values) values->emplace_back(name, data);
  }
  return counts;
}

}  // namespace bench
