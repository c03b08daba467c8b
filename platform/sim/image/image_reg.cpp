#include "platform/sim/image/image_reg.h"

#include <array>
#include <cstdio>
#include <functional>
#include <utility>

#include "platform/sim/encoding.h"
#include "platform/sim/image/image_text.h"
#include "platform/sim/sim_text.h"

namespace qx::sim::image {
namespace {

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";

// The root names a .reg file may use, with the short forms regedit also accepts.
struct RootName {
  std::string_view name;
  std::string_view full;
};
constexpr RootName kRoots[] = {
    {"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE"}, {"HKLM", "HKEY_LOCAL_MACHINE"},
    {"HKEY_USERS", "HKEY_USERS"},                 {"HKU", "HKEY_USERS"},
    {"HKEY_CURRENT_USER", "HKEY_CURRENT_USER"},   {"HKCU", "HKEY_CURRENT_USER"},
    {"HKEY_CLASSES_ROOT", "HKEY_CLASSES_ROOT"},   {"HKCR", "HKEY_CLASSES_ROOT"},
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view TrimLeftBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

// Whether a value line goes on in the next line: its last non-blank character is a
// single-byte backslash outside quotes. The scan can go on where it stopped: a line that
// goes on is cut at that backslash and the next line appended, and the text before the cut
// reads the same as before, so each character of a long continued value is looked at once.
struct ContinuationScan {
  std::size_t i = 0;  // scanned up to here
  bool inQuote = false;
  bool pending = false;  // the last non-blank character is a backslash outside quotes
  std::size_t cut = 0;   // where that backslash is
  // pending and cut as they were when that backslash was reached: the state at the cut.
  bool pendingAtCut = false;
  std::size_t cutAtCut = 0;

  bool Continues(std::string_view text) {
    while (i < text.size()) {
      std::size_t n = cp932::CharLength(text, i);
      char c = text[i];
      if (n == 1 && IsBlank(c)) {
        i += 1;
        continue;
      }
      const bool pendingBefore = pending;
      const std::size_t cutBefore = cut;
      pending = false;
      if (n == 1 && inQuote && c == '\\' && i + 1 < text.size()) {
        n = 1 + cp932::CharLength(text, i + 1);  // an escape and what it escapes
      } else if (n == 1 && c == '"') {
        inQuote = !inQuote;
      } else if (n == 1 && c == '\\' && !inQuote) {
        pending = true;
        cut = i;
        pendingAtCut = pendingBefore;
        cutAtCut = cutBefore;
      }
      i += n;
    }
    return pending;
  }

  // The text is cut at the backslash: the scan stands where it stood there.
  void CutAt() {
    i = cut;
    inQuote = false;  // the backslash was outside quotes
    pending = pendingAtCut;
    cut = cutAtCut;
  }
};

// Each byte's value as a hex digit, or -1.
constexpr std::array<signed char, 256> kHexDigits = [] {
  std::array<signed char, 256> digits{};
  for (auto& d : digits) d = -1;
  for (int c = 0; c < 10; ++c) digits['0' + c] = static_cast<signed char>(c);
  for (int c = 0; c < 6; ++c) digits['a' + c] = digits['A' + c] = static_cast<signed char>(10 + c);
  return digits;
}();

int HexDigit(char c) { return kHexDigits[static_cast<unsigned char>(c)]; }

// Whether s starts with an ASCII prefix, letters in either case.
bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = s[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    char p = prefix[i];
    if (p >= 'a' && p <= 'z') p = static_cast<char>(p - 'a' + 'A');
    if (c != p) return false;
  }
  return true;
}

// What a .reg file asks for, in file order, as the reader finds it.
class RegSink {
 public:
  virtual ~RegSink() = default;
  virtual void Key(std::string_view key, bool remove, int line) = 0;
  // A value of the key named last; data and type are empty and REG_NONE for a removal.
  virtual void Value(std::string_view key, std::string_view name, bool remove, DWORD type, std::string_view data,
                     int line) = 0;
};

class RegParser {
 public:
  RegParser(std::string_view fileName, RegSink& sink, std::string& error) : file_(fileName), sink_(sink), error_(error) {}

  bool Parse(DecodedText& text) {
    TextLine line;
    if (!text.Next(line) || (TrimBlanks(line.text) != kHeader4 && TrimBlanks(line.text) != kHeader5)) {
      return Fail(1, "not a registry file: the first line must be \"REGEDIT4\" or \"" +
                         std::string(kHeader5) + "\"");
    }
    unicodeHex_ = TrimBlanks(line.text) == kHeader5;
    while (text.Next(line)) {
      line_ = line.number;
      const std::string_view t = TrimLeftBlanks(line.text);
      const std::string_view trimmed = TrimBlanks(t);
      if (trimmed.empty() || t.front() == ';') continue;
      if (t.front() == '[') {
        if (!ParseKeyLine(trimmed)) return false;
        continue;
      }
      // Only a line whose last non-blank byte is a backslash may go on: the others need no
      // scan of their characters.
      ContinuationScan scan;
      if (trimmed.back() != '\\' || !scan.Continues(t)) {
        if (!ParseValueLine(trimmed)) return false;
        continue;
      }
      logical_.assign(t);
      do {
        logical_.resize(scan.cut);
        scan.CutAt();
        if (!text.Next(line)) break;
        logical_ += TrimLeftBlanks(line.text);
      } while (scan.Continues(logical_));
      if (!ParseValueLine(TrimBlanks(logical_))) return false;
    }
    return true;
  }

 private:
  bool Fail(int line, const std::string& message) {
    error_ = Where(file_, line) + message;
    return false;
  }
  bool Fail(const std::string& message) { return Fail(line_, message); }

  static std::string Show(std::string_view text) {
    constexpr std::size_t kMax = 60;
    std::string shown = Cp932ToUtf8Lossy(cp932::Truncate(text, kMax));
    return "'" + shown + (text.size() > kMax ? "...'" : "'");
  }

  bool ParseKeyLine(std::string_view t) {
    // Most key lines are single-byte text: searched as bytes.
    const bool ascii = cp932::AsciiPrefix(t) == t.size();
    std::size_t close = ascii ? t.rfind(']') : cp932::FindLast(t, ']');
    if (close == std::string_view::npos || close + 1 != t.size()) {
      return Fail("a key line must end in ']': " + Show(t));
    }
    std::string_view inner = t.substr(1, close - 1);
    bool remove = !inner.empty() && inner.front() == '-';
    if (remove) inner.remove_prefix(1);
    bool root = false;
    if (!NormalizeKey(inner, ascii, key_, root)) return false;
    if (remove && root) return Fail("a root key cannot be deleted: " + Show(inner));
    sink_.Key(key_, remove, line_);
    haveKey_ = true;
    keyDeleted_ = remove;
    keyIsBareRoot_ = root && (key_ == "HKEY_LOCAL_MACHINE" || key_ == "HKEY_USERS");
    return true;
  }

  // The path with its root written in full; its names are split at single-byte
  // backslashes, never inside a double-byte character.
  bool NormalizeKey(std::string_view path, bool ascii, std::string& key, bool& root) {
    std::size_t end = ascii ? path.find('\\') : cp932::Find(path, '\\');
    std::string_view first = path.substr(0, end);
    const RootName* found = nullptr;
    for (const RootName& r : kRoots) {
      if (first.size() == r.name.size() && cp932::EqualNoCase(first, r.name)) {
        found = &r;
        break;
      }
    }
    if (!found) return Fail("unknown root key " + Show(first));
    key = found->full;
    root = end == std::string_view::npos;
    if (ascii && !root) {
      // The names as they are, when none is empty.
      const std::string_view names = path.substr(end);
      if (names.back() != '\\' && names.find("\\\\") == std::string_view::npos) {
        key += names;
        return true;
      }
    }
    while (end != std::string_view::npos) {
      std::size_t start = end + 1;
      std::string_view rest = path.substr(start);
      std::size_t next = cp932::Find(rest, '\\');
      std::string_view part = rest.substr(0, next);
      if (part.empty()) return Fail("empty key name in " + Show(path));
      key += '\\';
      key += part;
      end = next == std::string_view::npos ? next : start + next;
    }
    return true;
  }

  // A quoted text starting at t[pos] == '"'; pos ends after the closing quote.
  bool ParseQuoted(std::string_view t, std::size_t& pos, std::string& out) {
    out.clear();
    ++pos;
    while (pos < t.size()) {
      // The characters up to the next quote or escape are taken as they are, all at once.
      std::size_t run = pos + cp932::PlainPrefix(t.substr(pos), '"', '\\');
      while (run < t.size() && t[run] != '"' && t[run] != '\\') run += cp932::CharLength(t, run);
      out.append(t.substr(pos, run - pos));
      pos = run;
      if (pos >= t.size()) break;
      if (t[pos] == '"') {
        ++pos;
        return true;
      }
      if (pos + 1 >= t.size()) break;
      char next = t[pos + 1];
      if (next != '\\' && next != '"') return Fail("unknown escape '\\" + std::string(1, next) + "' in a quoted text");
      out += next;
      pos += 2;
    }
    return Fail("quoted text without its closing '\"'");
  }

  bool ParseHexBytes(std::string_view s, std::string& data) {
    data.clear();
    data.reserve(s.size() / 3 + 1);
    std::size_t i = 0;
    // Bytes as regedit writes them, two digits and a comma, three characters at a time; the
    // loop below takes what follows (blanks, one digit, the last byte) from where it stops.
    for (int high, low; i + 3 <= s.size() && s[i + 2] == ',' && (high = HexDigit(s[i])) >= 0 &&
                        (low = HexDigit(s[i + 1])) >= 0;
         i += 3)
      data += static_cast<char>(high * 16 + low);
    while (true) {
      while (i < s.size() && IsBlank(s[i])) ++i;
      if (i == s.size()) break;
      int value = 0, digits = 0;
      while (i < s.size() && HexDigit(s[i]) >= 0) {
        // Digits past the second are counted, not added: a byte has two at most.
        if (++digits <= 2) value = value * 16 + HexDigit(s[i]);
        ++i;
      }
      if (digits == 0 || digits > 2) return Fail("bad byte in hex data near " + Show(s.substr(i - digits)));
      data += static_cast<char>(value);
      while (i < s.size() && IsBlank(s[i])) ++i;
      if (i == s.size()) break;
      if (s[i] != ',') return Fail("bad byte in hex data near " + Show(s.substr(i)));
      ++i;
    }
    return true;
  }

  bool ParseData(std::string_view d, RegOp& op) {
    if (d == "-") {
      op.kind = RegOp::kDeleteValue;
      return true;
    }
    op.kind = RegOp::kSetValue;
    if (!d.empty() && d.front() == '"') {
      std::size_t pos = 0;
      if (!ParseQuoted(d, pos, op.data)) return false;
      if (pos != d.size()) return Fail("text after the closing quote: " + Show(d.substr(pos)));
      op.type = REG_SZ;
      op.data += '\0';
      return true;
    }
    if (StartsWithNoCase(d, "dword:")) {
      std::string_view digits = d.substr(6);
      DWORD value = 0;
      if (digits.empty() || digits.size() > 8) return Fail("a dword needs 1 to 8 hex digits: " + Show(d));
      for (char c : digits) {
        if (HexDigit(c) < 0) return Fail("a dword needs 1 to 8 hex digits: " + Show(d));
        value = value * 16 + static_cast<DWORD>(HexDigit(c));
      }
      op.type = REG_DWORD;
      op.data.assign({static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
                      static_cast<char>((value >> 16) & 0xFF), static_cast<char>(value >> 24)});
      return true;
    }
    if (StartsWithNoCase(d, "hex")) {
      std::size_t pos = 3;
      op.type = REG_BINARY;
      if (pos < d.size() && d[pos] == '(') {
        std::size_t close = d.find(')', pos);
        std::string_view digits = close == std::string_view::npos ? std::string_view{} : d.substr(pos + 1, close - pos - 1);
        if (digits.empty() || digits.size() > 8) return Fail("bad value type in " + Show(d));
        DWORD type = 0;
        for (char c : digits) {
          if (HexDigit(c) < 0) return Fail("bad value type in " + Show(d));
          type = type * 16 + static_cast<DWORD>(HexDigit(c));
        }
        op.type = type;
        pos = close + 1;
      }
      if (pos >= d.size() || d[pos] != ':') return Fail("expected ':' after the value type in " + Show(d));
      if (!ParseHexBytes(d.substr(pos + 1), op.data)) return false;
      bool text = op.type == REG_SZ || op.type == REG_EXPAND_SZ || op.type == REG_MULTI_SZ;
      if (unicodeHex_ && text) {
        // Version 5.00 files carry string data in UTF-16; the machine holds code page 932.
        if (op.data.size() % 2 != 0) return Fail("UTF-16 string data with an odd number of bytes");
        std::string converted;
        if (!Utf16LeToCp932(op.data, converted)) {
          return Fail("UTF-16 string data that is invalid or has no Shift-JIS form");
        }
        op.data = std::move(converted);
      }
      return true;
    }
    return Fail("unknown value data " + Show(d));
  }

  bool ParseValueLine(std::string_view t) {
    RegOp& op = op_;
    op.kind = RegOp::kSetValue;
    op.name.clear();
    op.type = REG_NONE;
    op.data.clear();
    op.line = line_;
    std::size_t pos = 0;
    if (t.front() == '@') {
      pos = 1;
    } else if (t.front() == '"') {
      if (!ParseQuoted(t, pos, op.name)) return false;
    } else {
      return Fail("expected a key, a value or a comment: " + Show(t));
    }
    while (pos < t.size() && IsBlank(t[pos])) ++pos;
    if (pos >= t.size() || t[pos] != '=') return Fail("expected '=' after the value name");
    std::string_view data = TrimBlanks(t.substr(pos + 1));
    if (!haveKey_) return Fail("a value before the first key");
    if (keyDeleted_) return Fail("a value under a key that is being deleted");
    if (keyIsBareRoot_) return Fail("a root key holds no values");
    if (!ParseData(data, op)) return false;
    sink_.Value(key_, op.name, op.kind == RegOp::kDeleteValue, op.type, op.data, line_);
    return true;
  }

  std::string_view file_;
  RegSink& sink_;
  std::string& error_;
  std::string logical_;  // a value continued over lines
  RegOp op_;             // the value line being read (its buffers are kept for the next)
  int line_ = 1;
  bool unicodeHex_ = false;
  bool haveKey_ = false;
  bool keyDeleted_ = false;
  bool keyIsBareRoot_ = false;
  std::string key_;
};

// The key as the machine holds it, into out (its room kept from key to key).
void Resolve(std::string_view key, const SimMachine& m, std::string& out) {
  std::size_t slash = key.find('\\');
  std::string_view root = key.substr(0, slash);
  std::string_view rest = slash == std::string_view::npos ? std::string_view{} : key.substr(slash);
  if (root == "HKEY_CURRENT_USER") {
    out.assign("HKEY_USERS\\");
    out += m.settings().currentUser;
    out += rest;
  } else if (root == "HKEY_CLASSES_ROOT") {
    out.assign("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes");
    out += rest;
  } else {
    out.assign(key);
  }
}

std::string Resolve(std::string_view key, const SimMachine& m) {
  std::string out;
  Resolve(key, m, out);
  return out;
}

// Names must come back from a .reg file as they went in: no control characters, and every
// lead byte followed by a trail byte.
bool WellFormedText(std::string_view s, bool allowFinalNul) {
  if (allowFinalNul) {
    if (s.empty() || s.back() != '\0') return false;
    s.remove_suffix(1);
  }
  for (std::size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x20) return false;
    if (cp932::IsLeadByte(c)) {
      if (i + 1 >= s.size()) return false;
      unsigned char t = static_cast<unsigned char>(s[i + 1]);
      if (!((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC))) return false;
      ++i;
    }
  }
  return true;
}

std::string Quote(std::string_view s) {
  std::string out = "\"";
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = cp932::CharLength(s, i);
    if (n == 1 && (s[i] == '\\' || s[i] == '"')) out += '\\';
    out.append(s.substr(i, n));
    i += n;
  }
  out += '"';
  return out;
}

void AppendHex(std::string& out, std::string line, std::string_view data) {
  constexpr std::size_t kWidth = 78;
  char piece[4];
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::snprintf(piece, sizeof piece, i + 1 < data.size() ? "%02x," : "%02x",
                  static_cast<unsigned char>(data[i]));
    if (line.size() + 3 > kWidth && line.size() > 2) {
      out += line + "\\\r\n";
      line = "  ";
    }
    line += piece;
  }
  out += line + "\r\n";
}

}  // namespace

namespace {

class OpsSink final : public RegSink {
 public:
  explicit OpsSink(std::vector<RegOp>& ops) : ops_(ops) {}
  void Key(std::string_view key, bool remove, int line) override {
    ops_.push_back({remove ? RegOp::kDeleteKey : RegOp::kAddKey, std::string(key), "", REG_NONE, "", line});
  }
  void Value(std::string_view key, std::string_view name, bool remove, DWORD type, std::string_view data,
             int line) override {
    ops_.push_back({remove ? RegOp::kDeleteValue : RegOp::kSetValue, std::string(key), std::string(name), type,
                    std::string(data), line});
  }

 private:
  std::vector<RegOp>& ops_;
};

// What ApplyRegOps does for each change, as the reader finds it.
class MachineSink final : public RegSink {
 public:
  explicit MachineSink(SimMachine& m) : m_(m) {}
  void Key(std::string_view key, bool remove, int) override {
    Flush();
    Resolve(key, m_, key_);
    if (remove) {
      if (m_.HasKey(key_)) m_.RemoveKey(key_);
    } else {
      makeKey_ = key_ != "HKEY_LOCAL_MACHINE" && key_ != "HKEY_USERS";
    }
  }
  // A section's key and values are made when the section ends, in one go: the key is walked
  // to once, and its list of values made at its size rather than grown value by value (most
  // keys hold a few values; lists grown one value at a time held a tenth more memory than a
  // small image needed).
  void Value(std::string_view, std::string_view name, bool remove, DWORD type, std::string_view data, int) override {
    changes_.push_back(SimMachine::ValueChange{{}, remove, type, {}});
    text_.append(name);
    text_.append(data);
    sizes_.push_back({name.size(), data.size()});
  }
  // Makes the key and values of the section read last.
  void Flush() {
    if (!makeKey_ && changes_.empty()) return;
    // The names and data are in one text that grew as they came: they are pointed to once
    // it is whole.
    std::string_view text = text_;
    for (std::size_t i = 0; i < changes_.size(); ++i) {
      changes_[i].name = text.substr(0, sizes_[i].first);
      text.remove_prefix(sizes_[i].first);
      changes_[i].data = text.substr(0, sizes_[i].second);
      text.remove_prefix(sizes_[i].second);
    }
    m_.ChangeValues(key_, makeKey_, changes_);
    makeKey_ = false;
    changes_.clear();
    sizes_.clear();
    text_.clear();
  }

 private:
  SimMachine& m_;
  std::string key_;  // the key named last, resolved
  bool makeKey_ = false;
  std::vector<SimMachine::ValueChange> changes_;
  std::vector<std::pair<std::size_t, std::size_t>> sizes_;  // each change's name and data in text_, in turn
  std::string text_;
};

}  // namespace

bool ParseRegFile(std::string_view fileName, std::string_view bytes, std::vector<RegOp>& ops,
                  std::string& error) {
  DecodedText text;
  if (!DecodeText(fileName, bytes, TextSource::kRegistry, text, error)) return false;
  OpsSink sink(ops);
  return RegParser(fileName, sink, error).Parse(text);
}

namespace {

// A line of a file read as it goes that could not be read ends the text early: that is the
// error to tell, whatever the parser made of the text before it.
bool ParseText(std::string_view fileName, DecodedText& text, RegSink& sink, std::string& error) {
  text.Rewind();
  bool parsed = RegParser(fileName, sink, error).Parse(text);
  if (!text.error().empty()) {
    error = text.error();
    return false;
  }
  return parsed;
}

}  // namespace

bool ApplyRegText(std::string_view fileName, DecodedText& text, SimMachine& m, std::string& error) {
  MachineSink sink(m);
  bool parsed = ParseText(fileName, text, sink, error);
  sink.Flush();
  return parsed;
}

// Every change that parsed can be made: removing a missing key or value is no error, as
// for regedit.
bool ApplyRegOps(const std::vector<RegOp>& ops, std::string_view /*fileName*/, SimMachine& m,
                 std::string& /*error*/) {
  for (const RegOp& op : ops) {
    std::string key = Resolve(op.key, m);
    switch (op.kind) {
      case RegOp::kAddKey:
        if (key != "HKEY_LOCAL_MACHINE" && key != "HKEY_USERS") m.AddKey(key);
        break;
      case RegOp::kDeleteKey:
        if (m.HasKey(key)) m.RemoveKey(key);
        break;
      case RegOp::kSetValue:
        m.SetValue(key, op.name, op.type, op.data);
        break;
      case RegOp::kDeleteValue:
        m.RemoveValue(key, op.name);
        break;
    }
  }
  return true;
}

namespace {

// The registry in a depth-first walk, every key under the two roots with its values, the
// text handed on a piece at a time so that a registry of a million keys is never held whole
// as text (nor as a list of its paths).
class RegWriter final : public SimMachine::RegistryVisitor {
 public:
  RegWriter(const std::function<void(std::string_view)>& flush, std::string& error)
      : flush_(flush), error_(error) {
    out_ = "REGEDIT4\r\n\r\n";
  }

  void Key(std::string_view name, std::size_t, std::size_t subkeys) override {
    EndKey();
    while (!left_.empty() && left_.back() == 0) {
      left_.pop_back();
      path_.resize(marks_.back());
      marks_.pop_back();
    }
    marks_.push_back(path_.size());
    if (left_.empty()) {
      path_ = roots_++ == 0 ? "HKEY_LOCAL_MACHINE" : "HKEY_USERS";  // a root itself is not written
      open_ = false;
    } else {
      --left_.back();
      path_ += '\\';
      path_.append(name);
      open_ = true;
      if (failed_) return;
      if (!WellFormedText(path_, false)) return Fail("registry.reg: key " + Cp932ToUtf8Lossy(path_) + " cannot be written as text");
      out_ += "[" + path_ + "]\r\n";
    }
    left_.push_back(subkeys);
  }

  void Value(RegValueView v) override {
    if (!open_ || failed_) return;
    if (!WellFormedText(v.name, false)) {
      return Fail("registry.reg: value " + Cp932ToUtf8Lossy(v.name) + " of " + Cp932ToUtf8Lossy(path_) +
                  " cannot be written as text");
    }
    std::string line = (v.name.empty() ? std::string("@") : Quote(v.name)) + "=";
    if (v.type == REG_SZ && WellFormedText(v.data, true)) {
      out_ += line + Quote(std::string_view(v.data).substr(0, v.data.size() - 1)) + "\r\n";
    } else if (v.type == REG_DWORD && v.data.size() == 4) {
      DWORD value = 0;
      for (int i = 3; i >= 0; --i) value = value * 256 + static_cast<unsigned char>(v.data[i]);
      char text[16];
      std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
      out_ += line + "dword:" + text + "\r\n";
    } else if (v.type == REG_BINARY) {
      AppendHex(out_, line + "hex:", v.data);
    } else {
      char type[24];
      std::snprintf(type, sizeof type, "hex(%x):", static_cast<unsigned>(v.type));
      AppendHex(out_, line + type, v.data);
    }
  }

  bool Finish() {
    EndKey();
    if (!failed_) flush_(out_);
    return !failed_;
  }

 private:
  // The blank line after a key's values; the text so far handed on when it has grown.
  void EndKey() {
    if (failed_) return;
    if (open_) out_ += "\r\n";
    open_ = false;
    if (out_.size() >= (1u << 20)) {
      flush_(out_);
      out_.clear();
    }
  }
  void Fail(std::string message) {
    error_ = std::move(message);
    failed_ = true;
  }

  const std::function<void(std::string_view)>& flush_;
  std::string& error_;
  std::string out_;
  std::string path_;
  std::vector<std::size_t> left_, marks_;  // per open level: subkeys still to come, path length before it
  int roots_ = 0;
  bool open_ = false;  // a key line written, its blank line not yet
  bool failed_ = false;
};

}  // namespace

bool WriteRegFile(const SimMachine& m, const std::function<void(std::string_view)>& write, std::string& error) {
  RegWriter writer(write, error);
  m.VisitRegistry(writer);
  return writer.Finish();
}

bool WriteRegFile(const SimMachine& m, std::string& out, std::string& error) {
  out.clear();
  return WriteRegFile(m, [&out](std::string_view text) { out.append(text); }, error);
}

}  // namespace qx::sim::image
