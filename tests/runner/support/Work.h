#pragma once
// Small pieces shared by the runner tests: typical work for OnExecute and a log
// of events that both the worker and the window thread may write.

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "runner/TaskThread.h"

namespace runner::test {

// Work that runs until it is asked to stop, reading the request every millisecond.
inline void WorkUntilStopped(TTaskThreadBase*, TTaskExecuteThread* thread, void*&) {
  while (!thread->Terminated()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// A thread-safe list of event names, in the order they happened.
class TEventLog {
 public:
  void Add(std::string event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
  }
  std::vector<std::string> Events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  int Count(const std::string& event) const {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const std::string& e : events_) n += e == event ? 1 : 0;
    return n;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> events_;
};

}  // namespace runner::test
