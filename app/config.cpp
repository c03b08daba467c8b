#include "app/config.h"

#include "app/text.h"

namespace qx {

namespace {

// Settings files are small; anything past this is not configuration and is not read.
constexpr std::size_t kMaxIniBytes = 16u * 1024 * 1024;

// The file's lines as a text-mode read gives them: CR LF becomes a line end, and a line
// ends at its first zero byte as the string functions would see it. With keepAfterZero a
// line with more text after a zero byte is kept whole, zero bytes and all, for the reader to
// refuse: the part before the zero may name something else entirely.
bool ReadLines(Files& files, const std::string& path, std::vector<std::string>& lines, bool keepAfterZero) {
  HANDLE file = files.CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string content;
  char chunk[4096];
  DWORD read = 0;
  while (content.size() < kMaxIniBytes && files.ReadFile(file, chunk, sizeof chunk, &read) && read > 0) {
    content.append(chunk, read);
  }
  files.CloseHandle(file);
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    std::string line = content.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t zero = line.find('\0');
    if (zero != std::string::npos && (!keepAfterZero || line.find_first_not_of('\0', zero) == std::string::npos)) {
      line.resize(zero);
    }
    lines.push_back(std::move(line));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return true;
}

bool IsSectionHeading(const std::string& line) { return !line.empty() && line[0] == '[' && ContainsText(line, "]"); }

// Index of the first line after the first line holding "[section]", or npos.
std::size_t SectionStart(const std::vector<std::string>& lines, const std::string& section) {
  const std::string heading = "[" + section + "]";
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (ContainsText(lines[i], heading)) return i + 1;
  }
  return std::string::npos;
}

std::string AfterFirstEquals(const std::string& line) {
  std::size_t eq = FindText(line, "=");
  return Trim(std::string_view(line).substr(eq + 1));
}

}  // namespace

std::string ReadIniValue(Files& files, const std::string& section, const std::string& key, const std::string& path) {
  std::vector<std::string> lines;
  if (!ReadLines(files, path, lines, false)) return kIniNotOpened;
  std::size_t i = SectionStart(lines, section);
  if (i == std::string::npos) return kIniNotFound;
  for (; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (IsSectionHeading(line)) break;
    if (!StartsWithNoCase(TrimLeft(line), key)) continue;
    // The "=" is looked for after the key's length in the line as written, so a key
    // indented by blanks does not match.
    if (line.size() < key.size()) continue;
    std::string after = TrimLeft(std::string_view(line).substr(key.size()));
    if (after.empty() || after[0] != '=') continue;
    return AfterFirstEquals(line);
  }
  return kIniNotFound;
}

int ReadIniSection(Files& files, const std::string& section, const std::string& path, StringList& list,
                   StringList* refused) {
  std::vector<std::string> lines;
  if (!ReadLines(files, path, lines, true)) return 0;
  std::size_t i = SectionStart(lines, section);
  if (i == std::string::npos) return 0;
  int count = 0;
  for (; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (IsSectionHeading(line)) break;
    std::string trimmed = TrimLeft(line);
    if (!trimmed.empty() && trimmed[0] == ';') continue;
    if (!ContainsText(line, "=")) continue;
    std::string value = AfterFirstEquals(line);
    if (value.find('\0') != std::string::npos) {
      if (refused) refused->push_back(value.substr(0, value.find('\0')));
      continue;
    }
    list.push_back(std::move(value));
    ++count;
  }
  return count;
}

bool IniFileExists(Files& files, const std::string& fileName, const std::string& directory, bool searchUp) {
  if (fileName.empty() || directory.empty()) return false;
  std::string dir = directory;
  EnsureTrailingBackslash(dir);
  for (;;) {
    WIN32_FIND_DATAA data;
    HANDLE find = files.FindFirstFileA((dir + fileName).c_str(), data);
    if (find != INVALID_HANDLE_VALUE) {
      files.FindClose(find);
      return true;
    }
    if (!searchUp) return false;
    // The parent: drop the trailing backslash and cut after the one before it.
    dir.pop_back();
    std::size_t slash = FindLastChar(dir, '\\');
    if (slash == std::string::npos) return false;
    dir.resize(slash + 1);
  }
}

void CQXErsDoc::ReadRunSettings() {
  const std::string path = ConfigPath();
  if (ReadIniValue(sys.files, "ENVIRONMENT", "LOG", path) == "1") logEnabled = 1;
  static const char* const kDelFlags[] = {"000", "001", "010", "011", "100", "101", "110", "111"};
  std::string value = ReadIniValue(sys.files, "ENVIRONMENT", "DELFLG", path);
  for (int flags = 0; flags < 8; ++flags) {
    if (value == kDelFlags[flags]) delFlags = flags;
  }
}

int CQXErsDoc::ReadDeletionLists() {
  const std::string path = ConfigPath();
  // A line with text after a zero byte is refused, and said so in its stage's section of the log.
  auto read = [&](const char* section, StringList& list) {
    StringList refused;
    int count = ReadIniSection(sys.files, section, path, list, &refused);
    const std::string_view name(section);
    StringList& log = name.rfind("DEL_FILE", 0) == 0     ? logFiles
                      : name.rfind("DEL_REG", 0) == 0    ? logRegistry
                      : name.rfind("PULL_REG", 0) == 0   ? logPartialRegistry
                      : name.rfind("DEL_FOLDER", 0) == 0 ? logFolders
                                                         : logDrivers;
    for (const std::string& line : refused) {
      AddLog(log, line + " 削除失敗。" + kMalformedReason);
      ++failures;
    }
    return count;
  };
  int count = 0;
  if (delFlags & kDelNetPort) {
    count += read("DEL_FILE.PP.WINDIR", DEL_FILE_PP_WINDIR);
    count += read("DEL_FILE.PP.WINSYSDIR", DEL_FILE_PP_WINSYSDIR);
    count += read("DEL_REG.PP", DEL_REG_PP);
  }
  if (delFlags & kDelDrivers) {
    count += read("DEL_PRINTER_NAME", DEL_PRINTER_NAME);
    count += read("DEL_LM_NAME", DEL_LM_NAME);
    count += read("DEL_FILE.DRV.WINDIR", DEL_FILE_DRV_WINDIR);
    count += read("DEL_FILE.DRV.WINSYSDIR", DEL_FILE_DRV_WINSYSDIR);
    count += read("DEL_REG.DRV", DEL_REG_DRV);
    count += read("DEL_PROC_NAME", DEL_PROC_NAME);
  }
  if (delFlags & kDelProduct) {
    // These files are looked for in every product directory.
    count += productDirCount * read("DEL_FILE.QX.QXDIR", DEL_FILE_QX_QXDIR);
    count += read("DEL_FILE.QX.WINDIR", DEL_FILE_QX_WINDIR);
    count += read("DEL_FILE.QX.WINSYSDIR", DEL_FILE_QX_WINSYSDIR);
    count += read("DEL_REG.QX", DEL_REG_QX);
    count += read("PULL_REG.QX", PULL_REG_QX);
    count += read("DEL_FOLDER.QX", DEL_FOLDER_QX);
    count += CollectCompanionEntries();
    count += read("DEL_FILE.QX.ROOT", DEL_FILE_QX_ROOT);
  }
  return count;
}

}  // namespace qx
