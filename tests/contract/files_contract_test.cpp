// How the file calls behave: error codes, sharing and read-only files, directories,
// wildcard search, file pointers and truncation.
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "tests/contract/contract_fixture.h"

namespace qx::contract {
namespace {

class FilesContract : public ContractTest {
 protected:
  void TearDown() override {
    for (HANDLE h : handles) files.CloseHandle(h);
  }

  HANDLE Open(const std::string& path, DWORD access, DWORD share, DWORD creation) {
    HANDLE h = files.CreateFileA(path.c_str(), access, share, creation, FILE_ATTRIBUTE_NORMAL);
    if (h != INVALID_HANDLE_VALUE) handles.push_back(h);
    return h;
  }
  void Close(HANDLE h) {
    auto it = std::find(handles.begin(), handles.end(), h);
    ASSERT_NE(it, handles.end());
    handles.erase(it);
    EXPECT_TRUE(files.CloseHandle(h));
  }
  std::set<std::string> Find(const std::string& pattern, DWORD* firstError = nullptr) {
    std::set<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = files.FindFirstFileA(pattern.c_str(), data);
    if (find == INVALID_HANDLE_VALUE) {
      if (firstError) *firstError = sys.GetLastError();
      return names;
    }
    do {
      names.insert(data.cFileName);
    } while (files.FindNextFileA(find, data) && names.size() < 100);
    EXPECT_EQ(sys.GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(files.FindClose(find));
    return names;
  }
  std::string Read(HANDLE h, DWORD n) {
    std::string s(n, '\0');
    DWORD got = 0;
    EXPECT_TRUE(files.ReadFile(h, s.data(), n, &got));
    s.resize(got);
    return s;
  }

  std::vector<HANDLE> handles;
};

// A failure as Windows reports it: the result and the last error.
struct Failure {
  const char* what;
  bool failed;
  DWORD error;
};

TEST_F(FilesContract, AMissingFileAndAMissingPathAreToldApart) {
  machine->MakeDirectory(Scratch("dir"));
  const std::string missingFile = Scratch("dir\\absent.txt");
  const std::string missingPath = Scratch("nodir\\absent.txt");
  auto call = [&](const char* what, auto&& f) {
    sys.SetLastError(0);
    const bool failed = f();
    return Failure{what, failed, sys.GetLastError()};
  };
  const Failure fileCases[] = {
      call("CreateFileA", [&] { return Open(missingFile, GENERIC_READ, 0, OPEN_EXISTING) == INVALID_HANDLE_VALUE; }),
      call("DeleteFileA", [&] { return !files.DeleteFileA(missingFile.c_str()); }),
      call("SetFileAttributesA", [&] { return !files.SetFileAttributesA(missingFile.c_str(), FILE_ATTRIBUTE_NORMAL); }),
      call("MoveFileA", [&] { return !files.MoveFileA(missingFile.c_str(), Scratch("dir\\to.txt").c_str()); }),
      call("RemoveDirectoryA", [&] { return !files.RemoveDirectoryA(Scratch("dir\\absentdir").c_str()); }),
      call("SetCurrentDirectoryA", [&] { return !files.SetCurrentDirectoryA(Scratch("dir\\absentdir").c_str()); }),
      call("GetShortPathNameA", [&] {
        char buffer[MAX_PATH];
        return files.GetShortPathNameA(missingFile.c_str(), buffer, sizeof buffer) == 0;
      }),
  };
  for (const Failure& f : fileCases) {
    EXPECT_TRUE(f.failed) << f.what;
    EXPECT_EQ(f.error, ERROR_FILE_NOT_FOUND) << f.what << " on a missing file in an existing directory";
  }
  const Failure pathCases[] = {
      call("CreateFileA", [&] { return Open(missingPath, GENERIC_READ, 0, OPEN_EXISTING) == INVALID_HANDLE_VALUE; }),
      call("CreateFileA CREATE_ALWAYS",
           [&] { return Open(missingPath, GENERIC_WRITE, 0, CREATE_ALWAYS) == INVALID_HANDLE_VALUE; }),
      call("DeleteFileA", [&] { return !files.DeleteFileA(missingPath.c_str()); }),
      call("SetCurrentDirectoryA", [&] { return !files.SetCurrentDirectoryA(Scratch("nodir\\deeper").c_str()); }),
      call("FindFirstFileA", [&] {
        WIN32_FIND_DATAA data;
        return files.FindFirstFileA(missingPath.c_str(), data) == INVALID_HANDLE_VALUE;
      }),
  };
  for (const Failure& f : pathCases) {
    EXPECT_TRUE(f.failed) << f.what;
    EXPECT_EQ(f.error, ERROR_PATH_NOT_FOUND) << f.what << " in a missing directory";
  }
}

TEST_F(FilesContract, AReadOnlyFileIsRefusedUntilTheAttributeIsCleared) {
  const std::string path = Scratch("readonly.txt");
  machine->MakeFile(path, "x");
  machine->SetReadOnly(path);
  sys.SetLastError(0);
  EXPECT_FALSE(files.DeleteFileA(path.c_str()));
  EXPECT_EQ(sys.GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(machine->FileExists(path));
  sys.SetLastError(0);
  HANDLE writer = Open(path, GENERIC_WRITE, 0, OPEN_EXISTING);
  const DWORD openError = sys.GetLastError();
  if (writer != INVALID_HANDLE_VALUE) Close(writer);
  const auto refused = [&] {
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "opening a read-only file for writing";
    EXPECT_EQ(openError, ERROR_ACCESS_DENIED);
  };
  if (machine->UnixSuperuser()) {
    TodoWine("Wine keeps the read-only attribute as the Unix write permission, which root "
             "ignores: opening the file for writing succeeds",
             refused);
  } else {
    refused();
  }

  EXPECT_TRUE(files.SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(files.DeleteFileA(path.c_str()));
  EXPECT_FALSE(machine->FileExists(path));
}

TEST_F(FilesContract, AFileHeldOpenWithoutSharingCannotBeDeletedOrOpened) {
  const std::string path = Scratch("held.txt");
  machine->MakeFile(path, "x");
  machine->HoldOpen(path);
  sys.SetLastError(0);
  EXPECT_FALSE(files.DeleteFileA(path.c_str()));
  EXPECT_EQ(sys.GetLastError(), ERROR_SHARING_VIOLATION);
  sys.SetLastError(0);
  EXPECT_EQ(Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(sys.GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_TRUE(machine->FileExists(path));
}

TEST_F(FilesContract, DirectoriesAreNotFilesAndGoOnlyWhenEmpty) {
  const std::string dir = Scratch("full");
  machine->MakeDirectory(dir);
  machine->MakeFile(dir + "\\inside.txt", "x");
  const std::string file = Scratch("plain.txt");
  machine->MakeFile(file, "x");

  sys.SetLastError(0);
  EXPECT_FALSE(files.DeleteFileA(dir.c_str()));
  EXPECT_EQ(sys.GetLastError(), ERROR_ACCESS_DENIED) << "DeleteFileA on a directory";
  sys.SetLastError(0);
  EXPECT_FALSE(files.RemoveDirectoryA(dir.c_str()));
  EXPECT_EQ(sys.GetLastError(), ERROR_DIR_NOT_EMPTY);
  sys.SetLastError(0);
  EXPECT_FALSE(files.RemoveDirectoryA(file.c_str()));
  EXPECT_EQ(sys.GetLastError(), ERROR_DIRECTORY) << "RemoveDirectoryA on a file";
  EXPECT_TRUE(machine->DirectoryExists(dir));
  EXPECT_TRUE(machine->FileExists(file));

  EXPECT_TRUE(files.DeleteFileA((dir + "\\inside.txt").c_str()));
  EXPECT_TRUE(files.RemoveDirectoryA(dir.c_str()));
  EXPECT_FALSE(machine->DirectoryExists(dir));
}

TEST_F(FilesContract, WildcardSearchListsDotEntriesForStarAndMatchesExtensions) {
  const std::string dir = Scratch("search");
  machine->MakeDirectory(dir);
  machine->MakeFile(dir + "\\One.lnk", "1");
  machine->MakeFile(dir + "\\two.LNK", "2");
  machine->MakeFile(dir + "\\readme.txt", "3");
  machine->MakeFile(dir + "\\noext", "4");
  machine->MakeDirectory(dir + "\\Sub");

  EXPECT_EQ(Find(dir + "\\*"), (std::set<std::string>{".", "..", "One.lnk", "two.LNK", "readme.txt", "noext", "Sub"}));
  EXPECT_EQ(Find(dir + "\\*.*"), (std::set<std::string>{".", "..", "One.lnk", "two.LNK", "readme.txt", "noext", "Sub"}))
      << "*.* also matches names without a dot";
  EXPECT_EQ(Find(dir + "\\*.lnk"), (std::set<std::string>{"One.lnk", "two.LNK"})) << "matched without regard to case";
  EXPECT_EQ(Find(dir + "\\READ?E.TXT"), (std::set<std::string>{"readme.txt"}));
  EXPECT_EQ(Find(dir + "\\sub"), (std::set<std::string>{"Sub"})) << "a plain name finds the entry as written";

  DWORD error = 0;
  EXPECT_TRUE(Find(dir + "\\*.none", &error).empty());
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND) << "no match in an existing directory";
  error = 0;
  EXPECT_TRUE(Find(Scratch("nodir\\*"), &error).empty());
  EXPECT_EQ(error, ERROR_PATH_NOT_FOUND) << "a missing directory";
}

TEST_F(FilesContract, SearchReportsAttributesAndSizes) {
  const std::string dir = Scratch("attrs");
  machine->MakeDirectory(dir);
  machine->MakeFile(dir + "\\ro.txt", "12345");
  machine->SetReadOnly(dir + "\\ro.txt");
  machine->MakeDirectory(dir + "\\child");
  WIN32_FIND_DATAA data;
  HANDLE find = files.FindFirstFileA((dir + "\\ro.txt").c_str(), data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  files.FindClose(find);
  find = files.FindFirstFileA((dir + "\\child").c_str(), data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  files.FindClose(find);
}

TEST_F(FilesContract, CreateDispositionsTruncateCreateAndReportExisting) {
  const std::string path = Scratch("data.bin");
  machine->MakeFile(path, "old contents");

  sys.SetLastError(0);
  HANDLE h = Open(path, GENERIC_WRITE, 0, CREATE_NEW);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(sys.GetLastError(), ERROR_FILE_EXISTS) << "CREATE_NEW on an existing file";

  sys.SetLastError(ERROR_INVALID_FUNCTION);
  h = Open(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(sys.GetLastError(), ERROR_ALREADY_EXISTS) << "CREATE_ALWAYS on an existing file succeeds and says so";
  EXPECT_EQ(files.SetFilePointer(h, 0, nullptr, FILE_END), 0u) << "and truncates it";
  Close(h);
  EXPECT_EQ(machine->FileContents(path), "");

  const std::string fresh = Scratch("fresh.bin");
  sys.SetLastError(ERROR_INVALID_FUNCTION);
  h = Open(fresh, GENERIC_WRITE, 0, OPEN_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(sys.GetLastError(), ERROR_SUCCESS) << "OPEN_ALWAYS that creates";
  Close(h);
  sys.SetLastError(ERROR_INVALID_FUNCTION);
  h = Open(fresh, GENERIC_WRITE, 0, OPEN_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(sys.GetLastError(), ERROR_ALREADY_EXISTS) << "OPEN_ALWAYS that opens";
  Close(h);
  EXPECT_TRUE(machine->FileExists(fresh));
}

TEST_F(FilesContract, WritesReadsAndFilePointerMoves) {
  const std::string path = Scratch("pointer.txt");
  HANDLE h = Open(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(files.WriteFile(h, "0123456789", 10, &written));
  EXPECT_EQ(written, 10u);

  EXPECT_EQ(files.SetFilePointer(h, 0, nullptr, FILE_END), 10u);
  EXPECT_EQ(files.SetFilePointer(h, 2, nullptr, FILE_BEGIN), 2u);
  EXPECT_EQ(Read(h, 3), "234");
  EXPECT_EQ(files.SetFilePointer(h, -2, nullptr, FILE_CURRENT), 3u);
  EXPECT_EQ(Read(h, 100), "3456789") << "a read stops at the end";
  EXPECT_EQ(Read(h, 10), "") << "reading at the end succeeds with nothing";

  sys.SetLastError(0);
  EXPECT_EQ(files.SetFilePointer(h, -20, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(sys.GetLastError(), ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(files.SetFilePointer(h, 0, nullptr, FILE_CURRENT), 10u) << "a refused move leaves the pointer";

  LONG high = 0;
  EXPECT_EQ(files.SetFilePointer(h, 4, &high, FILE_BEGIN), 4u);
  EXPECT_EQ(high, 0);
  ASSERT_TRUE(files.WriteFile(h, "AB", 2, &written));
  Close(h);
  EXPECT_EQ(machine->FileContents(path), "0123AB6789");
}

TEST_F(FilesContract, MovingRefusesAnExistingTargetUnlessAskedToReplace) {
  const std::string from = Scratch("from.txt"), to = Scratch("to.txt");
  machine->MakeFile(from, "new");
  machine->MakeFile(to, "old");
  sys.SetLastError(0);
  EXPECT_FALSE(files.MoveFileA(from.c_str(), to.c_str()));
  EXPECT_EQ(sys.GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(machine->FileContents(to), "old");
  EXPECT_TRUE(files.MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_FALSE(machine->FileExists(from));
  EXPECT_EQ(machine->FileContents(to), "new");

  const std::string renamed = Scratch("renamed.txt");
  EXPECT_TRUE(files.MoveFileA(to.c_str(), renamed.c_str()));
  EXPECT_EQ(machine->FileContents(renamed), "new");
}

TEST_F(FilesContract, ShortPathNamesReportTheSizeNeeded) {
  const std::string path = Scratch("SHORT.TXT");
  machine->MakeFile(path, "x");
  char buffer[MAX_PATH] = {};
  const DWORD n = files.GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(n, std::string(buffer).size());
  // The directory part may be shortened too; an 8.3 name stays as it is.
  const std::string shortPath(buffer);
  EXPECT_EQ(shortPath.substr(shortPath.rfind('\\') + 1), "SHORT.TXT");

  char tiny[4] = {};
  EXPECT_EQ(files.GetShortPathNameA(path.c_str(), tiny, sizeof tiny), n + 1) << "too small: the size with the zero";

  const std::string longName = Scratch("a rather long file name.text");
  machine->MakeFile(longName, "x");
  const DWORD m = files.GetShortPathNameA(longName.c_str(), buffer, sizeof buffer);
  ASSERT_GT(m, 0u);
  const std::string shortLong(buffer);
  const std::string leaf = shortLong.substr(shortLong.rfind('\\') + 1);
  if (leaf != "a rather long file name.text") {  // volumes may keep no short names
    EXPECT_LE(leaf.size(), 12u) << leaf;
    EXPECT_EQ(leaf.find(' '), std::string::npos) << leaf;
  }
}

TEST_F(FilesContract, TheCurrentDirectoryFollowsSetAndReportsTheSizeNeeded) {
  char saved[MAX_PATH] = {};
  ASSERT_GT(files.GetCurrentDirectoryA(sizeof saved, saved), 0u);
  const std::string dir = Scratch("cwd");
  machine->MakeDirectory(dir);
  ASSERT_TRUE(files.SetCurrentDirectoryA(dir.c_str()));
  char buffer[MAX_PATH] = {};
  const DWORD n = files.GetCurrentDirectoryA(sizeof buffer, buffer);
  EXPECT_EQ(n, dir.size());
  EXPECT_EQ(std::string(buffer), dir);
  char tiny[4] = {};
  EXPECT_EQ(files.GetCurrentDirectoryA(sizeof tiny, tiny), dir.size() + 1);

  // Relative names resolve against it.
  machine->MakeFile(dir + "\\relative.txt", "r");
  EXPECT_TRUE(files.DeleteFileA("relative.txt"));
  EXPECT_FALSE(machine->FileExists(dir + "\\relative.txt"));
  EXPECT_TRUE(files.SetCurrentDirectoryA(saved));
}

// On a Japanese system names are Shift-JIS; the second byte of 表 is 0x5C, the backslash's code.
TEST_F(FilesContract, ShiftJisNamesKeepTheirBytesAndTrailBytesAreNoSeparators) {
  const std::string dir = Scratch("表示");
  ASSERT_EQ(std::string("表").size(), 2u);
  ASSERT_EQ(std::string("表")[1], '\\');
  machine->MakeDirectory(dir);
  const std::string link = dir + "\\ｽﾀｰﾄ ﾒﾆｭｰ.lnk";
  HANDLE h = Open(link, GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  Close(h);
  EXPECT_TRUE(machine->FileExists(link));
  EXPECT_EQ(Find(dir + "\\*.lnk"), std::set<std::string>{"ｽﾀｰﾄ ﾒﾆｭｰ.lnk"});
  EXPECT_EQ(Find(Scratch("表*")), std::set<std::string>{"表示"});
  EXPECT_TRUE(files.DeleteFileA(link.c_str()));
  EXPECT_TRUE(files.RemoveDirectoryA(dir.c_str()));
  EXPECT_FALSE(machine->DirectoryExists(dir));
}

// Deletion at restart is Session Manager's list of pending renames: pairs of an NT path and a
// target, an empty target for a deletion. The engine relies on it holding what it asked for.
TEST_F(FilesContract, DeletionAtRestartIsRecordedAsAPendingRename) {
  const char* sessionManager = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  const char* pending = "PendingFileRenameOperations";
  HKEY key = nullptr;
  ASSERT_EQ(p.registry.RegCreateKeyExA(HKEY_LOCAL_MACHINE, sessionManager, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_ALL_ACCESS, &key, nullptr),
            ERROR_SUCCESS);
  auto read = [&](DWORD& type) {
    DWORD cb = 0;
    if (p.registry.RegQueryValueExA(key, pending, &type, nullptr, &cb) != ERROR_SUCCESS) return std::string();
    std::string data(cb, '\0');
    EXPECT_EQ(p.registry.RegQueryValueExA(key, pending, &type, reinterpret_cast<BYTE*>(data.data()), &cb),
              ERROR_SUCCESS);
    data.resize(cb);
    return data;
  };
  DWORD type = 0;
  const std::string before = read(type);
  const bool hadValue = !before.empty();
  const DWORD typeBefore = type;

  const std::string path = Scratch("later.txt");
  machine->MakeFile(path, "x");
  EXPECT_TRUE(files.MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_TRUE(machine->FileExists(path)) << "nothing happens before the restart";
  const std::string after = read(type);
  EXPECT_EQ(type, REG_MULTI_SZ);
  const std::string entry = std::string("\\??\\") + path + std::string("\0\0", 2);
  EXPECT_NE(after.find(entry), std::string::npos) << "the path, then an empty target";
  ASSERT_GE(after.size(), 2u);
  EXPECT_EQ(after.substr(after.size() - 2), std::string("\0\0", 2)) << "the list ends in an empty string";

  // Leave the machine's list as it was.
  if (hadValue)
    p.registry.RegSetValueExA(key, pending, typeBefore, reinterpret_cast<const BYTE*>(before.data()),
                              static_cast<DWORD>(before.size()));
  else
    p.registry.RegDeleteValueA(key, pending);
  p.registry.RegCloseKey(key);
}

}  // namespace
}  // namespace qx::contract
