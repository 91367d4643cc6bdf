// The few thread primitives mkinstaller's packing needs: threads that run
// one function and are joined, a lock with one condition to wait on, and
// the number of cores. Implemented with the C++ library on POSIX
// (worker_threads_posix.cpp) and with Win32 calls on Windows
// (worker_threads_windows.cpp): the mingw-w64 compilers here use the win32
// thread model, whose C++ library has no std::thread.
#pragma once

#include <memory>
#include <string>

// Threads started by StartThreads; the destructor joins those still running.
struct ThreadsState;
struct WorkerThreads {
  std::unique_ptr<ThreadsState> state;
  WorkerThreads();
  WorkerThreads(const WorkerThreads&) = delete;
  WorkerThreads& operator=(const WorkerThreads&) = delete;
  ~WorkerThreads();
};

// Starts `count` threads, the i-th running body(context, i). Returns the
// problem when the system refuses one; those started keep running.
std::string StartThreads(WorkerThreads& threads, unsigned count,
                         void (*body)(void* context, unsigned index), void* context);
// Waits for every thread started to return.
void JoinThreads(WorkerThreads& threads);

// A mutual-exclusion lock with one condition variable.
struct MonitorState;
struct Monitor {
  std::unique_ptr<MonitorState> state;
  Monitor();
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;
  ~Monitor();
};

void Lock(Monitor& monitor);
void Unlock(Monitor& monitor);
// Releases the lock, sleeps until WakeAll (or spuriously) and takes it again.
void Wait(Monitor& monitor);
void WakeAll(Monitor& monitor);

// The number of processors the system reports, at least 1.
unsigned CoreCount();
