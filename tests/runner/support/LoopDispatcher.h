#pragma once
// A window thread for tests: a plain queue of calls and a set of timers, served
// by whichever thread made the dispatcher (the test's main thread) while it runs
// the loop through RunUntil / RunFor / ProcessMessages.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "runner/Dispatcher.h"

namespace runner::test {

class TLoopDispatcher : public TDispatcher {
 public:
  using Clock = std::chrono::steady_clock;

  // The calling thread becomes the window thread.
  TLoopDispatcher();
  ~TLoopDispatcher() override;

  void Post(std::function<void()> call) override;
  void Send(std::function<void()> call) override;
  void ProcessMessages() override;
  bool InWindowThread() const override;
  std::unique_ptr<TWindowTimer> MakeTimer(std::function<void()> onTick) override;

  // Serves calls and timers until `done()` holds or `timeout` has passed;
  // returns the last value of `done()`.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  // Serves calls and timers for `period`.
  void RunFor(std::chrono::milliseconds period);

  // Number of calls that have been run through Send from other threads.
  int SentCallsServed() const;

 private:
  struct TTimerState;
  class TLoopTimer;

  // Sleeps until a call arrives, a timer falls due or `deadline`, whichever is first.
  void WaitForWork(Clock::time_point deadline);
  bool RunOneCall();
  void RunDueTimers();

  const std::thread::id windowThread_;
  mutable std::mutex mutex_;
  std::condition_variable callQueued_;
  std::deque<std::function<void()>> calls_;
  int sentServed_ = 0;
  // Touched on the window thread only.
  std::vector<std::weak_ptr<TTimerState>> timers_;
};

}  // namespace runner::test
