#include "platform/win32/win32_facets.h"
#include "platform/win32/win32_convert.h"

namespace qx::win32 {
namespace {

void Copy(const ::WIN32_FIND_DATAA& from, qx::WIN32_FIND_DATAA& to) {
  to.dwFileAttributes = from.dwFileAttributes;
  to.ftCreationTime = FromWin(from.ftCreationTime);
  to.ftLastAccessTime = FromWin(from.ftLastAccessTime);
  to.ftLastWriteTime = FromWin(from.ftLastWriteTime);
  to.nFileSizeHigh = from.nFileSizeHigh;
  to.nFileSizeLow = from.nFileSizeLow;
  to.cFileName.assign(from.cFileName, ::strnlen(from.cFileName, sizeof from.cFileName));
  to.cAlternateFileName.assign(from.cAlternateFileName,
                               ::strnlen(from.cAlternateFileName, sizeof from.cAlternateFileName));
}

}  // namespace

qx::HANDLE Win32Files::CreateFileA(const char* name, DWORD access, DWORD shareMode, DWORD creation,
                                   DWORD flagsAndAttributes) {
  return ::CreateFileA(name, access, shareMode, nullptr, creation, flagsAndAttributes, nullptr);
}

BOOL Win32Files::ReadFile(qx::HANDLE file, void* buffer, DWORD toRead, DWORD* read) {
  return ::ReadFile(file, buffer, toRead, reinterpret_cast<::DWORD*>(read), nullptr);
}

BOOL Win32Files::WriteFile(qx::HANDLE file, const void* buffer, DWORD toWrite, DWORD* written) {
  return ::WriteFile(file, buffer, toWrite, reinterpret_cast<::DWORD*>(written), nullptr);
}

DWORD Win32Files::SetFilePointer(qx::HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
  return ::SetFilePointer(file, distance, reinterpret_cast<::LONG*>(distanceHigh), method);
}

BOOL Win32Files::CloseHandle(qx::HANDLE file) { return ::CloseHandle(file); }

BOOL Win32Files::DeleteFileA(const char* name) { return ::DeleteFileA(name); }

BOOL Win32Files::MoveFileA(const char* from, const char* to) { return ::MoveFileA(from, to); }

BOOL Win32Files::MoveFileExA(const char* from, const char* to, DWORD flags) { return ::MoveFileExA(from, to, flags); }

BOOL Win32Files::SetFileAttributesA(const char* name, DWORD attributes) {
  return ::SetFileAttributesA(name, attributes);
}

BOOL Win32Files::RemoveDirectoryA(const char* name) { return ::RemoveDirectoryA(name); }

qx::HANDLE Win32Files::FindFirstFileA(const char* pattern, qx::WIN32_FIND_DATAA& data) {
  ::WIN32_FIND_DATAA found{};
  const ::HANDLE find = ::FindFirstFileA(pattern, &found);
  if (find != INVALID_HANDLE_VALUE) Copy(found, data);
  return find;
}

BOOL Win32Files::FindNextFileA(qx::HANDLE find, qx::WIN32_FIND_DATAA& data) {
  ::WIN32_FIND_DATAA found{};
  const ::BOOL ok = ::FindNextFileA(find, &found);
  if (ok) Copy(found, data);
  return ok;
}

BOOL Win32Files::FindClose(qx::HANDLE find) { return ::FindClose(find); }

DWORD Win32Files::GetShortPathNameA(const char* longPath, char* shortPath, DWORD cchBuffer) {
  return ::GetShortPathNameA(longPath, shortPath, cchBuffer);
}

DWORD Win32Files::GetCurrentDirectoryA(DWORD cchBuffer, char* buffer) {
  return ::GetCurrentDirectoryA(cchBuffer, buffer);
}

BOOL Win32Files::SetCurrentDirectoryA(const char* path) { return ::SetCurrentDirectoryA(path); }

}  // namespace qx::win32
