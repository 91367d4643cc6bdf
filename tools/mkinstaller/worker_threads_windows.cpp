// Threads, lock and condition (Windows); see worker_threads.h. Threads start
// through _beginthreadex, which sets up the C runtime for them; the lock is
// a slim reader/writer lock taken exclusively, the condition a Win32
// condition variable (both Vista and later, neither needs freeing).
#include "worker_threads.h"

#include <windows.h>
#include <process.h>

#include <vector>

namespace {

struct Start {
  void (*body)(void*, unsigned);
  void* context;
  unsigned index;
};

unsigned __stdcall RunThread(void* argument) {
  const Start start = *static_cast<Start*>(argument);
  delete static_cast<Start*>(argument);
  start.body(start.context, start.index);
  return 0;
}

}  // namespace

struct ThreadsState {
  std::vector<HANDLE> threads;
};

WorkerThreads::WorkerThreads() : state(new ThreadsState) {}
WorkerThreads::~WorkerThreads() { JoinThreads(*this); }

std::string StartThreads(WorkerThreads& threads, unsigned count,
                         void (*body)(void* context, unsigned index), void* context) {
  for (unsigned i = 0; i < count; ++i) {
    auto* start = new Start{body, context, i};
    const uintptr_t handle = _beginthreadex(nullptr, 0, RunThread, start, 0, nullptr);
    if (handle == 0) {
      delete start;
      return "cannot start a thread: error " + std::to_string(GetLastError());
    }
    threads.state->threads.push_back(reinterpret_cast<HANDLE>(handle));
  }
  return "";
}

void JoinThreads(WorkerThreads& threads) {
  for (HANDLE thread : threads.state->threads) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
  threads.state->threads.clear();
}

struct MonitorState {
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE condition = CONDITION_VARIABLE_INIT;
};

Monitor::Monitor() : state(new MonitorState) {}
Monitor::~Monitor() = default;

void Lock(Monitor& monitor) { AcquireSRWLockExclusive(&monitor.state->lock); }
void Unlock(Monitor& monitor) { ReleaseSRWLockExclusive(&monitor.state->lock); }

void Wait(Monitor& monitor) {
  SleepConditionVariableSRW(&monitor.state->condition, &monitor.state->lock, INFINITE, 0);
}

void WakeAll(Monitor& monitor) { WakeAllConditionVariable(&monitor.state->condition); }

unsigned CoreCount() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors == 0 ? 1 : info.dwNumberOfProcessors;
}
