#include "app/directories.h"

#include "app/text.h"

namespace qx {

bool ListHoldsNoCase(const StringList& list, const std::string& item) {
  for (const std::string& s : list) {
    if (EqualsNoCase(s, item)) return true;
  }
  return false;
}

// An empty or relative value would mean the current directory, and a bare drive root
// would mean the whole drive. Texts cut out of command lines may carry quotes or a second
// path; a character that Windows never allows in a path means the text is no directory.
bool IsProductDirectory(const std::string& dir) {
  bool drive = dir.size() >= 3 && ((dir[0] >= 'A' && dir[0] <= 'Z') || (dir[0] >= 'a' && dir[0] <= 'z')) &&
               dir[1] == ':' && dir[2] == '\\';
  bool share = dir.size() >= 2 && dir[0] == '\\' && dir[1] == '\\';
  if (!drive && !share) return false;
  for (std::size_t i = drive ? 2 : 0; i < dir.size(); i += CharLength(dir, i)) {
    if (CharLength(dir, i) == 2) continue;
    unsigned char c = static_cast<unsigned char>(dir[i]);
    if (c < 0x20 || c == '"' || c == '<' || c == '>' || c == '|' || c == '*' || c == '?' || c == ':') return false;
  }
  std::size_t components = 0;
  for (std::size_t i = drive ? 3 : 2; i < dir.size();) {
    std::size_t next = FindText(dir, "\\", i);
    if (next == std::string::npos) next = dir.size();
    std::string_view name = std::string_view(dir).substr(i, next - i);
    if (name == "." || name == "..") return false;
    if (!name.empty()) ++components;
    i = next + 1;
  }
  // Below the root: one level under a drive, or a folder inside \\server\share.
  return components >= (drive ? 1u : 3u);
}

int CQXErsDoc::AddOwnDirectory(StringList& list, std::string dir, std::unordered_set<std::string>* folded) {
  EnsureTrailingBackslash(dir);
  if (!IsProductDirectory(dir)) return 0;
  if (folded ? folded->count(FoldCase(dir)) != 0 : ListHoldsNoCase(list, dir)) return 0;
  // Emptying and removing it would take Windows' own folder, or one inside it, with it.
  if (Refusal refusal = CheckOwnFolder(dir); refusal != Refusal::kNone) {
    if (!ListHoldsNoCase(refusedDirs, dir)) {
      refusedDirs.push_back(dir);
      AddLog(logFiles, dir + " ディレクトリ削除失敗。" + RefusalText(refusal));
      ++failures;
    }
    return 0;
  }
  if (folded) folded->insert(FoldCase(dir));
  list.push_back(std::move(dir));
  return 1;
}

}  // namespace qx
