#pragma once
// Background thread components. A TTaskThread runs the work of its OnExecute in a
// worker thread of its own and reports the worker's start, progress and end to
// the window thread through its events; a TTaskThreadGroup gathers components and
// sub-groups and reports their runs as a whole.
//
// Threads: OnExecute runs in the worker; every other event, and every call on
// the components, belongs to the window thread. The worker reaches the window
// thread only through the TDispatcher, so the runner does not depend on a GUI
// toolkit. The end of a run is delivered with TDispatcher::Send after OnExecute
// has returned, so the end events of one component come in the order of its runs.
//
// Suspend/Resume are cooperative; see TaskExecuteThread.h for why and how.

#include <cstdint>
#include <memory>
#include <vector>

#include "runner/Dispatcher.h"
#include "runner/TaskExecuteThread.h"
#include "runner/TaskThreadBase.h"
#include "runner/TaskThreadEvents.h"
#include "runner/TaskThreadGroup.h"

namespace runner {

class TTaskThread : public TTaskThreadBase {
 public:
  // Must be made on the window thread, whose dispatcher must outlive it.
  explicit TTaskThread(TDispatcher& dispatcher);
  // While a worker runs: asks it to stop (waking it if suspended) and serves
  // dispatcher.ProcessMessages() until it has ended, so that window calls the
  // work makes meanwhile are still served. OnTerminate is not called then, but
  // the group still gets its end notice. Returns only after the worker thread
  // has been joined; errors that handlers raise meanwhile are dropped. Not to
  // be called from inside this component's own events.
  ~TTaskThread() override;

  // The work; runs in the worker thread. Exceptions escaping it end the run
  // quietly: nothing is shown and the end events run as usual. The handler is
  // taken when a run starts, so setting it during a run affects the next one.
  void SetOnExecute(TTaskThreadDataNotifyEvent handler) { onExecute_ = std::move(handler); }

  // StartWithData(nullptr).
  void Start() override;
  // If idle: creates a waiting worker with `data`, Percent 0 and Priority; gives
  // the group its start notice; calls OnStart; lets the worker go and starts the
  // refresh timer. If OnStart (or a group's start event) throws, the worker is
  // let go without running OnExecute, ends with the usual end events, and the
  // error is passed on to the caller. If a worker runs, does nothing.
  void StartWithData(void* data) override;
  void Stop() override;
  void Suspend() override;
  void Resume() override;
  bool IsRunning() const override { return worker_ != nullptr; }

  // Milliseconds between OnUpdate calls while a worker runs. Default 100.
  std::uint32_t RefreshInterval() const { return refreshInterval_; }
  void SetRefreshInterval(std::uint32_t ms);

  // Priority of the worker thread, applied at start and to a running worker.
  // Default tpNormal (the window thread's own nice value). Best effort: a
  // refusal by the system leaves the worker running at the priority it has.
  TThreadPriority Priority() const { return priority_; }
  void SetPriority(TThreadPriority priority);

  // Whether the last finished run had been asked to stop when its work returned.
  bool LastRunStopped() const { return lastRunStopped_; }

 private:
  void ForEachRunning(const TRunningVisitor& visit) override;
  void CollectComponents(std::vector<TTaskThread*>& out) override { out.push_back(this); }

  // Timer tick: reports progress to the group, then to OnUpdate.
  void Update();
  // End notice of a normal run, on the window thread.
  void WorkerEnded();
  // Takes the worker off the component, keeping the thread until it can be joined.
  TTaskExecuteThread* ForgetWorker();
  // Joins the ended workers whose threads are past their end notice; with
  // `all`, waits for every one of them.
  void ReapRetired(bool all);

  TDispatcher& dispatcher_;
  std::unique_ptr<TWindowTimer> timer_;
  std::uint32_t refreshInterval_ = 100;
  TThreadPriority priority_ = TThreadPriority::tpNormal;
  TTaskThreadDataNotifyEvent onExecute_;
  std::unique_ptr<TTaskExecuteThread> worker_;
  // Ended workers whose threads may still be returning from their end notice:
  // the window thread runs that notice for them, so it cannot join them there.
  std::vector<std::unique_ptr<TTaskExecuteThread>> retired_;
  std::uint64_t runSerial_ = 0;  // counts runs, so a tick can tell if its run has ended
  bool lastRunStopped_ = false;
};

}  // namespace runner
