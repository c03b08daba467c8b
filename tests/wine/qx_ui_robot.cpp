// A small UI robot for QXErs.exe under Wine: finds top-level windows by class and title,
// presses their buttons, reads their texts and photographs the screen. Each argument group is
// one step, run in order; the first step that fails ends the program with status 1.
//
//   wait CLASS TITLE MS     until an enabled, visible window of that class and title exists
//   gone CLASS TITLE MS     until no visible window of that class and title exists
//   press CLASS TITLE ID    the window's button ID is clicked (posted: the robot never blocks)
//   check CLASS TITLE ID    the radio button ID is clicked
//   text CLASS TITLE ID     prints the text of control ID (65535: a message box's text)
//   count CLASS TITLE N     exactly N visible windows of that class and title exist
//   partway CLASS TITLE ID  until the progress bar ID stands strictly between its ends (60 s)
//   shot FILE.bmp           the whole screen, as a 24-bit bitmap
//   hold FILE MS            keeps FILE open without sharing, as a program using it would
//   windows EXE MS          once a process of that file name runs (within 60 s), until none
//                           does (at most MS): prints every visible window any of them showed,
//                           "CLASS/ID 'TITLE'" a line (ID: the first of 1000 1003 1005 65535
//                           the window has, a progress bar, a dialog or a message box; else 0)
//   run COMMANDLINE         starts the program and waits for it to end; prints its exit
//                           code (a Unix shell sees only its low 8 bits)
//   sleep MS
//
// CLASS may end in "/ID": only windows with a control ID match, which tells a dialog from the
// message box it opened under the same title ("#32770/65535" is a message box). Press, check
// and text wait up to 10 s for their window. Titles and texts are UTF-8 on the command line
// and in the output.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
  return out;
}

struct Search {
  std::wstring cls;
  int marker;  // a control the window must have, 0 none
  const wchar_t* title;
  bool needEnabled;
  HWND found;
  int count;
};

BOOL CALLBACK Match(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<Search*>(p);
  wchar_t cls[256], title[512];
  GetClassNameW(w, cls, 256);
  GetWindowTextW(w, title, 512);
  if (s->cls != cls || lstrcmpW(title, s->title) != 0 || !IsWindowVisible(w)) return TRUE;
  if (s->marker && !GetDlgItem(w, s->marker)) return TRUE;
  if (s->needEnabled && !IsWindowEnabled(w)) return TRUE;  // a dialog behind its own question
  if (!s->found) s->found = w;
  ++s->count;
  return TRUE;
}

Search Scan(const wchar_t* cls, const wchar_t* title, bool needEnabled) {
  std::wstring spec = cls;
  size_t slash = spec.find(L'/');
  Search s{spec.substr(0, slash), slash == std::wstring::npos ? 0 : _wtoi(spec.c_str() + slash + 1), title,
           needEnabled, nullptr, 0};
  EnumWindows(Match, reinterpret_cast<LPARAM>(&s));
  return s;
}

HWND Find(const wchar_t* cls, const wchar_t* title, bool needEnabled = true) {
  return Scan(cls, title, needEnabled).found;
}

HWND WaitFor(const wchar_t* cls, const wchar_t* title, DWORD ms) {
  for (DWORD waited = 0;; waited += 50) {
    if (HWND w = Find(cls, title)) return w;
    if (waited >= ms) return nullptr;
    Sleep(50);
  }
}

bool Shot(const wchar_t* file) {
  int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(mem, bitmap);
  BitBlt(mem, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  SelectObject(mem, old);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  std::vector<BYTE> pixels(stride * static_cast<DWORD>(height));
  GetDIBits(mem, bitmap, 0, static_cast<UINT>(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER header{};
  header.bfType = 0x4D42;
  header.bfOffBits = sizeof header + sizeof info;
  header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* f = _wfopen(file, L"wb");
  if (!f) return false;
  bool ok = fwrite(&header, sizeof header, 1, f) == 1 && fwrite(&info, sizeof info, 1, f) == 1 &&
            fwrite(pixels.data(), pixels.size(), 1, f) == 1;
  return fclose(f) == 0 && ok;
}

// The processes whose program file has this name.
std::vector<DWORD> ProcessesNamed(const wchar_t* exe) {
  std::vector<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    if (lstrcmpiW(entry.szExeFile, exe) == 0) ids.push_back(entry.th32ProcessID);
  CloseHandle(snapshot);
  return ids;
}

struct WindowWatch {
  std::vector<DWORD> processes;
  std::vector<std::wstring> seen;  // "class 'title'" of every visible window found
};

BOOL CALLBACK Watch(HWND w, LPARAM p) {
  auto* watch = reinterpret_cast<WindowWatch*>(p);
  DWORD process = 0;
  GetWindowThreadProcessId(w, &process);
  if (!IsWindowVisible(w)) return TRUE;
  for (DWORD id : watch->processes) {
    if (id != process) continue;
    wchar_t cls[256], title[512];
    GetClassNameW(w, cls, 256);
    GetWindowTextW(w, title, 512);
    int marker = 0;
    for (int id : {1000, 1003, 1005, 65535})
      if (!marker && GetDlgItem(w, id)) marker = id;
    std::wstring name = std::wstring(cls) + L"/" + std::to_wstring(marker) + L" '" + title + L"'";
    bool known = false;
    for (const std::wstring& s : watch->seen) known = known || s == name;
    if (!known) watch->seen.push_back(name);
  }
  return TRUE;
}

bool WatchWindows(const wchar_t* exe, DWORD ms) {
  WindowWatch watch;
  for (DWORD waited = 0; (watch.processes = ProcessesNamed(exe)).empty(); waited += 5) {
    if (waited >= 60000) {
      std::fprintf(stderr, "qx_ui_robot: no process %s\n", Utf8(exe).c_str());
      return false;
    }
    Sleep(5);
  }
  bool ended = false;
  for (DWORD waited = 0; waited <= ms; waited += 10) {
    EnumWindows(Watch, reinterpret_cast<LPARAM>(&watch));
    std::vector<DWORD> now = ProcessesNamed(exe);
    if (now.empty()) {
      ended = true;
      break;
    }
    for (DWORD id : now) {
      bool known = false;
      for (DWORD p : watch.processes) known = known || p == id;
      if (!known) watch.processes.push_back(id);
    }
    Sleep(10);
  }
  for (const std::wstring& s : watch.seen) std::printf("%s\n", Utf8(s).c_str());
  std::fflush(stdout);
  if (!ended) std::fprintf(stderr, "qx_ui_robot: %s still runs\n", Utf8(exe).c_str());
  return ended;
}

bool Step(int argc, wchar_t** argv, int& i) {
  std::wstring op = argv[i++];
  auto need = [&](int n) { return i + n <= argc; };
  if (op == L"sleep" && need(1)) {
    Sleep(static_cast<DWORD>(_wtoi(argv[i++])));
    return true;
  }
  if (op == L"shot" && need(1)) return Shot(argv[i++]);
  if (op == L"hold" && need(2)) {
    HANDLE f = CreateFileW(argv[i], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD ms = static_cast<DWORD>(_wtoi(argv[i + 1]));
    i += 2;
    if (f == INVALID_HANDLE_VALUE) return false;
    Sleep(ms);
    CloseHandle(f);
    return true;
  }
  if (op == L"run" && need(1)) {
    std::wstring line = argv[i++];
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return false;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::printf("%lu\n", static_cast<unsigned long>(code));
    std::fflush(stdout);
    return true;
  }
  if (op == L"windows" && need(2)) {
    i += 2;
    return WatchWindows(argv[i - 2], static_cast<DWORD>(_wtoi(argv[i - 1])));
  }
  if (!need(3)) return false;
  const wchar_t* cls = argv[i];
  const wchar_t* title = argv[i + 1];
  int arg = _wtoi(argv[i + 2]);
  i += 3;
  if (op == L"wait") return WaitFor(cls, title, static_cast<DWORD>(arg)) != nullptr;
  if (op == L"count") {
    int n = Scan(cls, title, false).count;
    if (n != arg) std::fprintf(stderr, "qx_ui_robot: %d windows, not %d\n", n, arg);
    return n == arg;
  }
  if (op == L"gone") {
    for (int waited = 0; waited <= arg; waited += 50) {
      if (!Find(cls, title, false)) return true;
      Sleep(50);
    }
    return false;
  }
  if (op == L"partway") {
    for (int waited = 0; waited <= 60000; waited += 20) {
      HWND bar = nullptr;
      if (HWND w = Find(cls, title, false)) bar = GetDlgItem(w, arg);
      DWORD_PTR pos = 0, high = 0;
      if (bar && SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 1000, &pos) &&
          SendMessageTimeoutW(bar, PBM_GETRANGE, FALSE, 0, SMTO_ABORTIFHUNG, 1000, &high) &&
          static_cast<int>(pos) > 0 && static_cast<int>(pos) < static_cast<int>(high))
        return true;
      Sleep(20);
    }
    return false;
  }
  HWND w = WaitFor(cls, title, 10000);
  if (!w) return false;
  HWND control = GetDlgItem(w, arg);
  if (op == L"press") return PostMessageW(w, WM_COMMAND, MAKEWPARAM(arg, BN_CLICKED), reinterpret_cast<LPARAM>(control));
  if (op == L"check") {
    DWORD_PTR result = 0;
    return control && SendMessageTimeoutW(control, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
  }
  if (op == L"text") {
    if (!control) return false;
    wchar_t text[1024];
    GetWindowTextW(control, text, 1024);
    std::printf("%s\n", Utf8(text).c_str());
    std::fflush(stdout);
    return true;
  }
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  for (int i = 1; i < argc;) {
    int at = i;
    if (!Step(argc, argv, i)) {
      std::fprintf(stderr, "qx_ui_robot: step %d (%s) failed\n", at, Utf8(argv[at]).c_str());
      return 1;
    }
  }
  return 0;
}
