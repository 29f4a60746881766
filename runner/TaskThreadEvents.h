#pragma once
// Types shared by the background thread components: the event signatures and
// the worker priorities.

#include <functional>

namespace runner {

class TTaskThreadBase;
class TTaskThread;
class TTaskThreadGroup;
class TTaskExecuteThread;

// Priority of a worker thread, lowest to highest.
enum class TThreadPriority {
  tpIdle,
  tpLowest,
  tpLower,
  tpNormal,
  tpHigher,
  tpHighest,
  tpTimeCritical
};

// Start, end and execute events. `Sender` is the component whose worker the event
// concerns, `Thread` that worker, `Data` the run's pointer-sized value, which the
// handler may change for the events that follow.
using TTaskThreadDataNotifyEvent =
    std::function<void(TTaskThreadBase* Sender, TTaskExecuteThread* Thread, void*& Data)>;

// Progress event: as above, plus the worker's last reported `Percent`.
using TTaskThreadUpdateNotifyEvent = std::function<void(
    TTaskThreadBase* Sender, TTaskExecuteThread* Thread, void*& Data, int Percent)>;

}  // namespace runner
