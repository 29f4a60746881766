#include "runner/TaskThread.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace runner {

TTaskThread::TTaskThread(TDispatcher& dispatcher)
    : dispatcher_(dispatcher), timer_(dispatcher.MakeTimer([this] { Update(); })) {
  timer_->SetInterval(std::chrono::milliseconds(refreshInterval_));
}

TTaskThread::~TTaskThread() {
  timer_->SetEnabled(false);
  if (worker_) {
    // The end notice now only forgets the worker: no OnTerminate for a
    // component that is going away.
    TTaskExecuteThread* ending = nullptr;
    worker_->SetEndNotice([this, &ending] { ending = ForgetWorker(); });
    // Stop also wakes a suspended worker, which would otherwise never end.
    worker_->RequestStop();
    while (ending == nullptr) {
      DropErrors([this] { dispatcher_.ProcessMessages(); });
      // ProcessMessages returns at once when nothing is pending; do not spin.
      if (ending == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // The group counted this run; it must hear that it ended.
    if (TTaskThreadGroup* group = ThreadGroup()) {
      DropErrors([&] { group->MemberEnded(this, ending, ending->Data()); });
    }
  }
  ReapRetired(true);
  timer_.reset();
  DropErrors([this] { SetThreadGroup(nullptr); });
}

void TTaskThread::Start() {
  StartWithData(nullptr);
}

void TTaskThread::StartWithData(void* data) {
  if (worker_) return;
  ReapRetired(false);
  std::unique_ptr<TTaskExecuteThread> worker(
      new TTaskExecuteThread(dispatcher_, this, onExecute_, data));
  worker->SetEndNotice([this] { WorkerEnded(); });
  worker->Launch(priority_);  // may throw std::system_error; the component stays idle
  worker_ = std::move(worker);
  ++runSerial_;
  lastRunStopped_ = false;
  TTaskExecuteThread* thread = worker_.get();
  try {
    if (TTaskThreadGroup* group = ThreadGroup()) group->MemberStarted(this, thread, thread->Data());
    CallOnStart(this, thread, thread->Data());
  } catch (...) {
    // Not left waiting for ever: the run ends at once, without its work, and
    // its end events balance the start notices already given.
    thread->Cancel();
    thread->ResumeWork();
    throw;
  }
  thread->ResumeWork();
  timer_->SetEnabled(true);
}

void TTaskThread::Stop() {
  if (worker_) worker_->RequestStop();
}

void TTaskThread::Suspend() {
  if (worker_) worker_->SuspendWork();
}

void TTaskThread::Resume() {
  if (worker_) worker_->ResumeWork();
}

void TTaskThread::SetRefreshInterval(std::uint32_t ms) {
  refreshInterval_ = ms;
  timer_->SetInterval(std::chrono::milliseconds(ms));
}

void TTaskThread::SetPriority(TThreadPriority priority) {
  priority_ = priority;
  if (worker_) worker_->ApplyPriority(priority);
}

void TTaskThread::ForEachRunning(const TRunningVisitor& visit) {
  if (worker_) visit(this, worker_.get());
}

void TTaskThread::Update() {
  if (!worker_) return;
  TTaskExecuteThread* thread = worker_.get();
  const std::uint64_t run = runSerial_;
  const int percent = thread->Percent();
  if (TTaskThreadGroup* group = ThreadGroup()) {
    group->MemberUpdated(this, thread, thread->Data(), percent);
  }
  // A group handler that serves window messages may have seen this run end.
  if (worker_ && run == runSerial_) CallOnUpdate(this, thread, thread->Data(), percent);
}

void TTaskThread::WorkerEnded() {
  lastRunStopped_ = worker_->StoppedWhenDone();
  TTaskExecuteThread* thread = ForgetWorker();
  if (TTaskThreadGroup* group = ThreadGroup()) group->MemberEnded(this, thread, thread->Data());
  CallOnTerminate(this, thread, thread->Data());
}

TTaskExecuteThread* TTaskThread::ForgetWorker() {
  timer_->SetEnabled(false);
  worker_->ResumeWork();
  TTaskExecuteThread* thread = worker_.get();
  retired_.push_back(std::move(worker_));
  return thread;
}

void TTaskThread::ReapRetired(bool all) {
  // Joining a worker still inside its end notice would wait for ourselves.
  std::erase_if(retired_, [all](const std::unique_ptr<TTaskExecuteThread>& worker) {
    return all || worker->Finished();
  });
}

}  // namespace runner
