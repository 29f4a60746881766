#pragma once
// The worker of one run of a TTaskThread: an operating-system thread that runs
// the component's OnExecute, then hands its end notice to the window thread and
// waits there until the notice has run.
//
// Suspending. Linux cannot safely stop a thread from outside (it might hold a
// lock of the C library or of the allocator), so suspension is cooperative: the
// worker is created waiting and goes only once Start resumes it, and a later
// Suspend takes effect the next time the work reads `Terminated()`, which then
// waits until Resume (or Stop, which resumes first). Work that never reads
// `Terminated()` runs on through a Suspend. Suspend and Resume do not nest: one
// Resume continues the worker however many times it was suspended.

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "runner/TaskThreadEvents.h"

namespace runner {

class TDispatcher;

class TTaskExecuteThread {
 public:
  TTaskExecuteThread(const TTaskExecuteThread&) = delete;
  TTaskExecuteThread& operator=(const TTaskExecuteThread&) = delete;
  // Waits for the thread to finish.
  ~TTaskExecuteThread();

  // The stop request. Read by the work in this worker, it is also the point where
  // a pending Suspend is honoured: the call waits while the worker is suspended.
  // Read from any other thread it only reports the request and never waits.
  bool Terminated() const;

  // Progress, 0 at start: set by the work, passed to every OnUpdate. Any thread.
  int Percent() const { return percent_.load(std::memory_order_relaxed); }
  void SetPercent(int percent) { percent_.store(percent, std::memory_order_relaxed); }

  // The run's value, as given to StartWithData. The events reach it by reference.
  // Nothing guards it: OnUpdate on the window thread may read it while the work
  // runs, so work that changes it during the run must order that itself.
  void*& Data() { return data_; }

  // The component this worker serves.
  TTaskThreadBase* Component() const { return component_; }

  // True between Suspend and Resume.
  bool Suspended() const;

 private:
  friend class TTaskThread;

  TTaskExecuteThread(TDispatcher& dispatcher, TTaskThreadBase* component,
                     TTaskThreadDataNotifyEvent execute, void* data);
  // Creates the thread, waiting for its first Resume, and returns once it has
  // reported its thread id, so that its priority can be set.
  void Launch(TThreadPriority priority);
  // Best effort: an operating system refusal (raising priority unprivileged) is ignored.
  void ApplyPriority(TThreadPriority priority);
  void SuspendWork();
  void ResumeWork();
  // Sets the stop request, then resumes.
  void RequestStop();
  // Makes the worker skip OnExecute if it has not begun it yet.
  void Cancel() { cancelled_.store(true); }
  // What runs on the window thread once the work is over.
  void SetEndNotice(std::function<void()> notice) { endNotice_ = std::move(notice); }
  // Whether the stop request was set when the work returned. Valid in the end notice.
  bool StoppedWhenDone() const { return stoppedWhenDone_; }
  // True once the thread is past its end notice and about to exit.
  bool Finished() const { return finished_.load(); }

  void Run();
  void WaitWhileSuspended() const;

  TDispatcher& dispatcher_;
  TTaskThreadBase* const component_;
  const TTaskThreadDataNotifyEvent execute_;
  void* data_;
  std::atomic<int> percent_{0};
  std::atomic<bool> terminated_{false};
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> finished_{false};
  bool stoppedWhenDone_ = false;
  // Read and written on the window thread only.
  std::function<void()> endNotice_;

  mutable std::mutex stateMutex_;
  mutable std::condition_variable stateChanged_;
  bool suspended_ = true;  // guarded by stateMutex_
  pid_t tid_ = 0;          // guarded by stateMutex_
  int baseNice_ = 0;       // the nice value the thread was born with

  std::thread thread_;
};

}  // namespace runner
