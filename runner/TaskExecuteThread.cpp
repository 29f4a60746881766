#include "runner/TaskExecuteThread.h"

#include "runner/Dispatcher.h"
#include "runner/ThreadPriority.h"

namespace runner {

TTaskExecuteThread::TTaskExecuteThread(TDispatcher& dispatcher, TTaskThreadBase* component,
                                       TTaskThreadDataNotifyEvent execute, void* data)
    : dispatcher_(dispatcher), component_(component), execute_(std::move(execute)), data_(data) {}

TTaskExecuteThread::~TTaskExecuteThread() {
  if (thread_.joinable()) {
    // The component destroys only workers past their work; should one still be
    // running or waiting, the stop request keeps this join from hanging on it.
    RequestStop();
    thread_.join();
  }
}

void TTaskExecuteThread::Launch(TThreadPriority priority) {
  thread_ = std::thread([this] { Run(); });
  {
    std::unique_lock lock(stateMutex_);
    stateChanged_.wait(lock, [this] { return tid_ != 0; });
  }
  ApplyPriority(priority);
}

void TTaskExecuteThread::ApplyPriority(TThreadPriority priority) {
  std::lock_guard lock(stateMutex_);
  // Called only while the thread is alive: before its end notice has run.
  SetThreadNice(tid_, NiceFor(priority, baseNice_));
}

bool TTaskExecuteThread::Terminated() const {
  if (std::this_thread::get_id() == thread_.get_id()) WaitWhileSuspended();
  return terminated_.load();
}

bool TTaskExecuteThread::Suspended() const {
  std::lock_guard lock(stateMutex_);
  return suspended_;
}

void TTaskExecuteThread::SuspendWork() {
  std::lock_guard lock(stateMutex_);
  suspended_ = true;
}

void TTaskExecuteThread::ResumeWork() {
  {
    std::lock_guard lock(stateMutex_);
    suspended_ = false;
  }
  stateChanged_.notify_all();
}

void TTaskExecuteThread::RequestStop() {
  // The flag first, so that the woken work sees it at once.
  terminated_.store(true);
  ResumeWork();
}

void TTaskExecuteThread::WaitWhileSuspended() const {
  std::unique_lock lock(stateMutex_);
  stateChanged_.wait(lock, [this] { return !suspended_; });
}

void TTaskExecuteThread::Run() {
  {
    std::lock_guard lock(stateMutex_);
    tid_ = CurrentThreadId();
    baseNice_ = ThreadNice(tid_);
  }
  stateChanged_.notify_all();
  WaitWhileSuspended();
  if (execute_ && !cancelled_.load()) {
    // An error of the work ends the run quietly; the end events still run.
    try {
      execute_(component_, this, data_);
    } catch (...) {
    }
  }
  stoppedWhenDone_ = terminated_.load();
  try {
    // endNotice_ is read on the window thread, where it is also rebound.
    dispatcher_.Send([this] {
      if (endNotice_) endNotice_();
    });
  } catch (...) {
    // An error of an end event comes back here; the worker has nobody to tell.
  }
  finished_.store(true);
}

}  // namespace runner
