#include "support/LoopDispatcher.h"

#include <algorithm>
#include <exception>
#include <future>
#include <stdexcept>

namespace runner::test {

struct TLoopDispatcher::TTimerState {
  std::function<void()> onTick;
  std::chrono::milliseconds interval{0};
  bool enabled = false;
  Clock::time_point due;
};

class TLoopDispatcher::TLoopTimer : public TWindowTimer {
 public:
  explicit TLoopTimer(std::shared_ptr<TTimerState> state) : state_(std::move(state)) {}

  void SetInterval(std::chrono::milliseconds interval) override {
    state_->interval = interval;
    if (state_->enabled) state_->due = Clock::now() + interval;
  }
  void SetEnabled(bool enabled) override {
    if (enabled && !state_->enabled) state_->due = Clock::now() + state_->interval;
    state_->enabled = enabled;
  }
  bool Enabled() const override { return state_->enabled; }

 private:
  std::shared_ptr<TTimerState> state_;
};

TLoopDispatcher::TLoopDispatcher() : windowThread_(std::this_thread::get_id()) {}

TLoopDispatcher::~TLoopDispatcher() = default;

void TLoopDispatcher::Post(std::function<void()> call) {
  {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  callQueued_.notify_all();
}

void TLoopDispatcher::Send(std::function<void()> call) {
  if (InWindowThread()) {
    call();
    return;
  }
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> finished = done->get_future();
  Post([this, done, call = std::move(call)] {
    std::exception_ptr error;
    try {
      call();
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard lock(mutex_);
      ++sentServed_;
    }
    error ? done->set_exception(error) : done->set_value();
  });
  finished.get();
}

bool TLoopDispatcher::InWindowThread() const {
  return std::this_thread::get_id() == windowThread_;
}

std::unique_ptr<TWindowTimer> TLoopDispatcher::MakeTimer(std::function<void()> onTick) {
  if (!InWindowThread()) throw std::logic_error("timers are made on the window thread");
  auto state = std::make_shared<TTimerState>();
  state->onTick = std::move(onTick);
  timers_.push_back(state);
  return std::make_unique<TLoopTimer>(std::move(state));
}

int TLoopDispatcher::SentCallsServed() const {
  std::lock_guard lock(mutex_);
  return sentServed_;
}

bool TLoopDispatcher::RunOneCall() {
  std::function<void()> call;
  {
    std::lock_guard lock(mutex_);
    if (calls_.empty()) return false;
    call = std::move(calls_.front());
    calls_.pop_front();
  }
  // Outside the lock: the call may post, send or serve messages itself.
  call();
  return true;
}

void TLoopDispatcher::RunDueTimers() {
  std::erase_if(timers_, [](const std::weak_ptr<TTimerState>& t) { return t.expired(); });
  // A tick may make or drop timers; work on a copy and re-check each one.
  const std::vector<std::weak_ptr<TTimerState>> timers = timers_;
  for (const std::weak_ptr<TTimerState>& weak : timers) {
    std::shared_ptr<TTimerState> timer = weak.lock();
    const Clock::time_point now = Clock::now();
    if (!timer || !timer->enabled || timer->due > now) continue;
    // Like a window timer: late ticks are not made up for.
    timer->due += std::max(timer->interval, std::chrono::milliseconds(1));
    if (timer->due <= now) timer->due = now + timer->interval;
    timer->onTick();
  }
}

void TLoopDispatcher::ProcessMessages() {
  if (!InWindowThread()) throw std::logic_error("messages are served on the window thread");
  // Only the calls already queued, so that a call that posts another cannot
  // keep this loop busy for ever.
  std::size_t pending;
  {
    std::lock_guard lock(mutex_);
    pending = calls_.size();
  }
  while (pending-- > 0 && RunOneCall()) {
  }
  RunDueTimers();
}

void TLoopDispatcher::WaitForWork(Clock::time_point deadline) {
  Clock::time_point until = deadline;
  for (const std::weak_ptr<TTimerState>& weak : timers_) {
    if (std::shared_ptr<TTimerState> timer = weak.lock(); timer && timer->enabled) {
      until = std::min(until, timer->due);
    }
  }
  std::unique_lock lock(mutex_);
  callQueued_.wait_until(lock, until, [this] { return !calls_.empty(); });
}

bool TLoopDispatcher::RunUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    WaitForWork(deadline);
    ProcessMessages();
  }
  return true;
}

void TLoopDispatcher::RunFor(std::chrono::milliseconds period) {
  RunUntil([] { return false; }, period);
}

}  // namespace runner::test
