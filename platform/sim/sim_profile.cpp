// Initialization files, read and edited in the simulated file system as Windows does it:
// the file is text in the system code page; writing changes only the lines concerned and
// keeps every other line as it stands.
#include <algorithm>
#include <cstring>

#include "platform/sim/sim_state.h"

namespace qx::sim {

namespace {

using Lock = std::lock_guard<MachineMutex>;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == 0x1A; }

// Trail bytes of double-byte characters are 0x40 and above, so trimming blanks byte by byte
// never cuts a character.
std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

struct Line {
  std::string text;
  std::string ending;  // "\r\n", "\n" or "" (the last line without one)
};

enum class Kind { Blank, Comment, Section, Entry };

struct Parsed {
  Kind kind = Kind::Blank;
  std::string name;   // section name or key
  std::string value;  // for an entry with '='
  bool hasValue = false;
};

Parsed Classify(const std::string& text) {
  Parsed p;
  std::string_view t = Trim(text);
  if (t.empty()) return p;
  if (t.front() == '[') {
    std::size_t close = cp932::Find(t, ']');
    if (close != std::string_view::npos) {
      p.kind = Kind::Section;
      p.name = std::string(t.substr(1, close - 1));
      return p;
    }
  }
  if (t.front() == ';') {
    p.kind = Kind::Comment;
    return p;
  }
  p.kind = Kind::Entry;
  std::size_t eq = cp932::Find(t, '=');
  if (eq == std::string_view::npos) {
    p.name = std::string(t);
  } else {
    p.name = std::string(Trim(t.substr(0, eq)));
    p.value = std::string(Trim(t.substr(eq + 1)));
    p.hasValue = true;
  }
  return p;
}

std::vector<Line> SplitLines(const std::string& contents) {
  std::vector<Line> lines;
  std::size_t i = 0;
  while (i < contents.size()) {
    std::size_t nl = contents.find('\n', i);
    if (nl == std::string::npos) {
      lines.push_back({contents.substr(i), ""});
      break;
    }
    std::size_t end = nl;
    std::string ending = "\n";
    if (end > i && contents[end - 1] == '\r') {
      --end;
      ending = "\r\n";
    }
    lines.push_back({contents.substr(i, end - i), ending});
    i = nl + 1;
  }
  return lines;
}

std::string JoinLines(const std::vector<Line>& lines) {
  std::string out;
  for (const auto& l : lines) out += l.text + l.ending;
  return out;
}

// A section's lines: [header, end) with header the index of the "[name]" line.
struct SectionSpan {
  std::size_t header;
  std::size_t end;
};

std::vector<SectionSpan> Sections(const std::vector<Line>& lines, std::string_view name) {
  std::vector<SectionSpan> spans;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    Parsed p = Classify(lines[i].text);
    if (p.kind != Kind::Section || !cp932::EqualNoCase(p.name, name)) continue;
    std::size_t j = i + 1;
    while (j < lines.size() && Classify(lines[j].text).kind != Kind::Section) ++j;
    spans.push_back({i, j});
  }
  return spans;
}

// Surrounding quotes of a value, single or double, are not part of it.
std::string Unquote(std::string v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

DWORD StringOut(std::string_view text, char* buffer, DWORD cch) {
  std::string_view cut = cp932::Truncate(text, cch - 1);
  std::memcpy(buffer, cut.data(), cut.size());
  buffer[cut.size()] = '\0';
  return cut.size() < text.size() ? cch - 1 : static_cast<DWORD>(cut.size());
}

// "a\0b\0\0"; too small a buffer gets what fits, two zeros, and cch - 2.
DWORD ListOut(const std::vector<std::string>& items, char* buffer, DWORD cch) {
  std::string all;
  for (const auto& i : items) {
    all += i;
    all.push_back('\0');
  }
  if (all.size() + 1 <= cch) {
    std::memcpy(buffer, all.data(), all.size());
    buffer[all.size()] = '\0';
    return static_cast<DWORD>(all.size());
  }
  if (cch < 2) {
    if (cch) buffer[0] = '\0';
    return 0;
  }
  std::string_view fits = cp932::Truncate(all, cch - 2);
  std::memcpy(buffer, fits.data(), fits.size());
  std::memset(buffer + fits.size(), 0, cch - fits.size());
  return cch - 2;
}

}  // namespace

std::string IniFilePath(const SystemSettings& settings, const char* file) {
  std::string name = file ? file : "win.ini";
  if (cp932::Find(name, '\\') == std::string::npos && cp932::Find(name, '/') == std::string::npos &&
      cp932::Find(name, ':') == std::string::npos) {
    std::string dir = settings.windowsDirectory;
    if (!dir.empty() && dir.back() != '\\') dir += '\\';
    return dir + name;
  }
  return name;
}

namespace {

std::vector<Line> ReadIni(SimMachine::State& s, const std::string& path) {
  std::string contents;
  if (s.ReadWholeFile(path, contents) != ERROR_SUCCESS) return {};
  return SplitLines(contents);
}

// On the NT family Windows keeps some of win.ini's sections in the registry (its
// IniFileMapping): the printer lists and the default printer in the current user's hive, the
// ports of the machine in its own. The profile calls on win.ini read and write those keys, and
// what the file itself holds in those sections is not looked at. Windows 95/98 keep them in the
// file.
bool MappedSection(SimMachine::State& s, const char* section, const char* file, std::string& keyPath) {
  static const std::pair<const char*, const char*> mapped[] = {
      {"windows", "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows"},
      {"devices", "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices"},
      {"PrinterPorts", "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\PrinterPorts"},
      {"ports", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports"},
  };
  if (s.settings.platformId != VER_PLATFORM_WIN32_NT || !section) return false;
  if (!cp932::EqualNoCase(s.FullPath(IniFilePath(s.settings, file).c_str()),
                          s.FullPath(IniFilePath(s.settings, nullptr).c_str())))
    return false;
  for (const auto& [name, key] : mapped)
    if (cp932::EqualNoCase(Trim(section), name)) {
      keyPath = key;
      return true;
    }
  return false;
}

// A mapped section's entries: the key's named text values, in the key's order.
std::vector<std::pair<std::string, std::string>> MappedEntries(SimMachine::State& s, const std::string& keyPath) {
  std::vector<std::pair<std::string, std::string>> out;
  auto k = s.FindKeyPath(keyPath);
  if (!k) return out;
  for (const auto& v : k->values) {
    if (v.name.empty() || (v.type != REG_SZ && v.type != REG_EXPAND_SZ)) continue;
    out.emplace_back(v.name, v.data.substr(0, v.data.find('\0')));
  }
  return out;
}

BOOL MappedWrite(SimMachine::State& s, const std::string& keyPath, const char* key, const char* value) {
  if (!key) {
    if (auto k = s.FindKeyPath(keyPath)) s.ClearRegValues(*k);
    return TRUE;
  }
  std::string name(Trim(key));
  auto k = value ? s.EnsureKeyPath(keyPath) : s.FindKeyPath(keyPath);
  if (!k) return TRUE;
  if (!value) {
    s.DeleteRegValue(*k, name);
    return TRUE;
  }
  s.SetRegValue(*k, name, REG_SZ, std::string(value) + '\0');
  return TRUE;
}

}  // namespace

DWORD ProfileCore::GetPrivateProfileSectionA(const char* section, char* buffer, DWORD cchBuffer, const char* file) {
  Lock lock(s_.mu);
  if (!buffer || !cchBuffer) return 0;
  std::vector<std::string> items;
  if (std::string keyPath; MappedSection(s_, section, file, keyPath)) {
    for (const auto& [name, value] : MappedEntries(s_, keyPath)) items.push_back(name + "=" + value);
    if (items.empty()) {
      buffer[0] = '\0';
      if (cchBuffer > 1) buffer[1] = '\0';
      return 0;
    }
    return ListOut(items, buffer, cchBuffer);
  }
  std::vector<Line> lines = ReadIni(s_, IniFilePath(s_.settings, file));
  auto spans = Sections(lines, section ? section : "");
  if (section && !spans.empty()) {
    for (std::size_t i = spans[0].header + 1; i < spans[0].end; ++i) {
      Parsed p = Classify(lines[i].text);
      if (p.kind != Kind::Entry) continue;
      items.push_back(p.hasValue ? p.name + "=" + p.value : p.name);
    }
  }
  if (items.empty()) {
    buffer[0] = '\0';
    if (cchBuffer > 1) buffer[1] = '\0';
    return 0;
  }
  return ListOut(items, buffer, cchBuffer);
}

DWORD ProfileCore::GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                            char* buffer, DWORD cchBuffer, const char* file) {
  Lock lock(s_.mu);
  if (!buffer || !cchBuffer) return 0;
  std::string def = defaultValue ? defaultValue : "";
  while (!def.empty() && def.back() == ' ') def.pop_back();
  def = Unquote(def);
  if (std::string keyPath; MappedSection(s_, section, file, keyPath)) {
    std::vector<std::string> keys;
    for (const auto& [name, value] : MappedEntries(s_, keyPath)) {
      if (key && cp932::EqualNoCase(name, Trim(key))) return StringOut(value, buffer, cchBuffer);
      keys.push_back(name);
    }
    if (key || keys.empty()) return StringOut(def, buffer, cchBuffer);
    return ListOut(keys, buffer, cchBuffer);
  }
  std::vector<Line> lines = ReadIni(s_, IniFilePath(s_.settings, file));
  if (!section) {
    std::vector<std::string> names;
    for (const auto& l : lines) {
      Parsed p = Classify(l.text);
      if (p.kind == Kind::Section) names.push_back(p.name);
    }
    if (names.empty()) {
      buffer[0] = '\0';
      if (cchBuffer > 1) buffer[1] = '\0';
      return 0;
    }
    return ListOut(names, buffer, cchBuffer);
  }
  auto spans = Sections(lines, section);
  if (!key) {
    std::vector<std::string> keys;
    if (!spans.empty())
      for (std::size_t i = spans[0].header + 1; i < spans[0].end; ++i) {
        Parsed p = Classify(lines[i].text);
        if (p.kind == Kind::Entry && p.hasValue) keys.push_back(p.name);
      }
    if (keys.empty()) return StringOut(def, buffer, cchBuffer);
    return ListOut(keys, buffer, cchBuffer);
  }
  if (!spans.empty()) {
    for (std::size_t i = spans[0].header + 1; i < spans[0].end; ++i) {
      Parsed p = Classify(lines[i].text);
      if (p.kind != Kind::Entry || !cp932::EqualNoCase(p.name, Trim(key))) continue;
      if (!p.hasValue) break;
      return StringOut(Unquote(p.value), buffer, cchBuffer);
    }
  }
  return StringOut(def, buffer, cchBuffer);
}

BOOL ProfileCore::WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                             const char* file) {
  Lock lock(s_.mu);
  if (!section) {
    // All three null only flushes the cache; a missing section is an error.
    if (key || value) s_.SetError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  if (std::string keyPath; MappedSection(s_, section, file, keyPath)) return MappedWrite(s_, keyPath, key, value);
  std::string path = IniFilePath(s_.settings, file);
  std::string contents;
  DWORD readError = s_.ReadWholeFile(path, contents);
  if (readError == ERROR_SHARING_VIOLATION) return s_.SetError(readError), FALSE;
  std::vector<Line> lines = SplitLines(contents);
  bool changed = false;
  auto spans = Sections(lines, section);
  if (!key) {
    for (auto it = spans.rbegin(); it != spans.rend(); ++it) {
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(it->header),
                  lines.begin() + static_cast<std::ptrdiff_t>(it->end));
      changed = true;
    }
  } else if (!value) {
    if (!spans.empty()) {
      for (std::size_t i = spans[0].header + 1; i < spans[0].end; ++i) {
        Parsed p = Classify(lines[i].text);
        if (p.kind == Kind::Entry && cp932::EqualNoCase(p.name, Trim(key))) {
          lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
          changed = true;
          break;
        }
      }
    }
  } else {
    std::string keyText(Trim(key));
    changed = true;
    if (spans.empty()) {
      if (!lines.empty() && lines.back().ending.empty()) lines.back().ending = "\r\n";
      lines.push_back({"[" + std::string(section) + "]", "\r\n"});
      lines.push_back({keyText + "=" + value, "\r\n"});
    } else {
      bool replaced = false;
      std::size_t lastFilled = spans[0].header;
      for (std::size_t i = spans[0].header + 1; i < spans[0].end; ++i) {
        Parsed p = Classify(lines[i].text);
        if (p.kind != Kind::Blank) lastFilled = i;
        if (p.kind == Kind::Entry && cp932::EqualNoCase(p.name, keyText)) {
          lines[i].text = p.name + "=" + value;
          replaced = true;
          break;
        }
      }
      if (!replaced) {
        if (lines[lastFilled].ending.empty()) lines[lastFilled].ending = "\r\n";
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastFilled + 1), {keyText + "=" + value, "\r\n"});
      }
    }
  }
  if (!changed) return TRUE;
  if (DWORD e = s_.WriteWholeFile(path, JoinLines(lines)); e != ERROR_SUCCESS) return s_.SetError(e), FALSE;
  return TRUE;
}

DWORD ProfileCore::GetProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
                                     DWORD cchBuffer) {
  return GetPrivateProfileStringA(section, key, defaultValue, buffer, cchBuffer, "win.ini");
}

BOOL ProfileCore::WriteProfileStringA(const char* section, const char* key, const char* value) {
  return WritePrivateProfileStringA(section, key, value, "win.ini");
}

}  // namespace qx::sim
