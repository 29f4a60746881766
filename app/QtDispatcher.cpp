#include "app/QtDispatcher.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <future>

namespace lyrabook {

namespace {

class TQtWindowTimer final : public runner::TWindowTimer {
 public:
  explicit TQtWindowTimer(std::function<void()> onTick) {
    QObject::connect(&timer_, &QTimer::timeout, [tick = std::move(onTick)] { tick(); });
  }

  void SetInterval(std::chrono::milliseconds interval) override { timer_.setInterval(interval); }

  // Enabling a running timer leaves its current period alone.
  void SetEnabled(bool enabled) override {
    if (!enabled) {
      timer_.stop();
    } else if (!timer_.isActive()) {
      timer_.start();
    }
  }

  bool Enabled() const override { return timer_.isActive(); }

 private:
  QTimer timer_;
};

}  // namespace

TQtDispatcher::TQtDispatcher() = default;
TQtDispatcher::~TQtDispatcher() = default;

void TQtDispatcher::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(&context_, std::move(call), Qt::QueuedConnection);
}

void TQtDispatcher::Send(std::function<void()> call) {
  if (InWindowThread()) {
    call();
    return;
  }
  // Only the queued call holds the promise: if Qt drops the call unrun (its
  // receiver is destroyed), the promise goes with it and the waiter below gets
  // a broken-promise error rather than hanging.
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> result = done->get_future();
  QMetaObject::invokeMethod(
      &context_,
      [call = std::move(call), done = std::move(done)] {
        try {
          call();
          done->set_value();
        } catch (...) {
          done->set_exception(std::current_exception());
        }
      },
      Qt::QueuedConnection);
  result.get();
}

void TQtDispatcher::ProcessMessages() {
  QCoreApplication::processEvents();
}

bool TQtDispatcher::InWindowThread() const {
  return QThread::currentThread() == context_.thread();
}

std::unique_ptr<runner::TWindowTimer> TQtDispatcher::MakeTimer(std::function<void()> onTick) {
  return std::make_unique<TQtWindowTimer>(std::move(onTick));
}

}  // namespace lyrabook
