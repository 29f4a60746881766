#pragma once
// The window thread as the background runner sees it. The runner never talks to
// a GUI toolkit itself: the program supplies a dispatcher built on its toolkit,
// and the tests supply one built on a plain loop of their own.

#include <chrono>
#include <functional>
#include <memory>

namespace runner {

// A repeating timer whose ticks run on the window thread. A new timer is off.
class TWindowTimer {
 public:
  virtual ~TWindowTimer() = default;
  virtual void SetInterval(std::chrono::milliseconds interval) = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
};

class TDispatcher {
 public:
  virtual ~TDispatcher() = default;

  // Queues `call` to run on the window thread, after the calls queued before it;
  // returns at once. Safe from any thread.
  virtual void Post(std::function<void()> call) = 0;

  // Runs `call` on the window thread and returns once it has run. On the window
  // thread itself it runs `call` directly. An exception thrown by `call` is
  // passed back to the caller.
  virtual void Send(std::function<void()> call) = 0;

  // Runs what is pending on the window thread (queued calls, timer ticks, window
  // events) and returns; used by code on the window thread that must wait for a
  // worker without freezing the window.
  virtual void ProcessMessages() = 0;

  virtual bool InWindowThread() const = 0;

  // A timer whose `onTick` runs on the window thread; off until enabled.
  virtual std::unique_ptr<TWindowTimer> MakeTimer(std::function<void()> onTick) = 0;
};

}  // namespace runner
