// Threads, lock and condition (POSIX); see worker_threads.h.
#include "worker_threads.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

struct ThreadsState {
  std::vector<std::thread> threads;
};

WorkerThreads::WorkerThreads() : state(new ThreadsState) {}
WorkerThreads::~WorkerThreads() { JoinThreads(*this); }

std::string StartThreads(WorkerThreads& threads, unsigned count,
                         void (*body)(void* context, unsigned index), void* context) {
  for (unsigned i = 0; i < count; ++i) {
    try {
      threads.state->threads.emplace_back(body, context, i);
    } catch (const std::system_error& error) {
      return std::string("cannot start a thread: ") + error.what();
    }
  }
  return "";
}

void JoinThreads(WorkerThreads& threads) {
  for (std::thread& thread : threads.state->threads) thread.join();
  threads.state->threads.clear();
}

struct MonitorState {
  std::mutex mutex;
  std::condition_variable condition;
};

Monitor::Monitor() : state(new MonitorState) {}
Monitor::~Monitor() = default;

void Lock(Monitor& monitor) { monitor.state->mutex.lock(); }
void Unlock(Monitor& monitor) { monitor.state->mutex.unlock(); }

void Wait(Monitor& monitor) {
  // The caller holds the mutex; adopt it for the wait and hand it back held.
  std::unique_lock<std::mutex> lock(monitor.state->mutex, std::adopt_lock);
  monitor.state->condition.wait(lock);
  lock.release();
}

void WakeAll(Monitor& monitor) { monitor.state->condition.notify_all(); }

unsigned CoreCount() {
  const unsigned count = std::thread::hardware_concurrency();
  return count == 0 ? 1 : count;
}
