// The machine's lock and threads. Internal to platform/sim.
//
// Every program built for Linux runs the machine on as many threads as it likes: the lock is
// a recursive mutex and CreateThread starts a real thread. A program that drives the machine
// from one thread only (QX_SIM_ONE_THREAD: QXErs.exe's MinGW builds, whose 32-bit runtime
// has no threads of the standard library) gets a lock that does nothing and one thread id;
// there CreateThread starts nothing and fails, and the caller runs the job on its own thread.
#pragma once

#include <mutex>  // std::lock_guard, which every build has
#ifndef QX_SIM_ONE_THREAD
#include <thread>
#include <utility>
#endif

namespace qx::sim {

#ifndef QX_SIM_ONE_THREAD

using MachineMutex = std::recursive_mutex;
using Thread = std::thread;
using ThreadId = std::thread::id;

inline ThreadId ThisThreadId() { return std::this_thread::get_id(); }
inline void YieldThread() { std::this_thread::yield(); }

// Starts body on a thread of its own, kept in thread; false when no thread can be started.
template <class Body>
bool StartThread(Thread& thread, Body&& body) {
  thread = std::thread(std::forward<Body>(body));
  return true;
}

#else

// One thread: nothing to exclude, and taking the lock again on the same thread is free.
class MachineMutex {
 public:
  void lock() {}
  bool try_lock() { return true; }
  void unlock() {}
};

using ThreadId = int;

// Never started: there is no thread to wait for or to let go.
class Thread {
 public:
  bool joinable() const { return false; }
  ThreadId get_id() const { return -1; }  // no thread's
  void join() {}
  void detach() {}
};

inline ThreadId ThisThreadId() { return 0; }
inline void YieldThread() {}

template <class Body>
bool StartThread(Thread&, Body&&) {
  return false;
}

#endif

}  // namespace qx::sim
