# 32-bit x86: the program for Windows 95, 98, NT 3.51, NT 4.0 and 2000.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
# The win32 thread model. The posix model's winpthreads, linked in statically, imports what
# those systems lack (GetTickCount64, AddVectoredExceptionHandler, TryEnterCriticalSection,
# IsDebuggerPresent), and QXErs.exe needs no std::thread. GoogleTest needs std::mutex, which
# this model lacks, so the mingw32 build preset leaves the contract suites out.
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)  # GoogleTest's project() enables C as well
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The headers of Windows NT 4.0: a call that came later does not compile.
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0400 -DWINVER=0x0400")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0400 -DWINVER=0x0400")
# Marked for Windows 4.0, whatever the linker's default: a later version there refuses to load.
set(CMAKE_EXE_LINKER_FLAGS_INIT
  "-Wl,--major-subsystem-version,4,--minor-subsystem-version,0,--major-os-version,4,--minor-os-version,0")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${CMAKE_EXE_LINKER_FLAGS_INIT}")
