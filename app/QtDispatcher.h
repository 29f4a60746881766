#pragma once
// The window thread of the Qt program as the background runner sees it.

#include <QObject>
#include <memory>

#include "runner/Dispatcher.h"

namespace lyrabook {

class TQtDispatcher final : public runner::TDispatcher {
 public:
  // Binds to the calling thread, which must be the window thread. The
  // dispatcher must outlive every thread that calls it.
  TQtDispatcher();
  ~TQtDispatcher() override;

  // A queued call on the window thread.
  void Post(std::function<void()> call) override;
  // From another thread: a queued call on the window thread, waited for; an
  // exception it throws is thrown here. The window thread serves it from its
  // event loop or from ProcessMessages, so a worker waiting here while the
  // window thread waits for that worker inside ProcessMessages still proceeds.
  // If the call is dropped unrun (the dispatcher is being destroyed), throws
  // std::future_error instead of waiting for ever. On the window thread: runs
  // `call` directly.
  void Send(std::function<void()> call) override;
  // QCoreApplication::processEvents: runs what is pending and returns.
  void ProcessMessages() override;
  bool InWindowThread() const override;
  // A QTimer living on the window thread.
  std::unique_ptr<runner::TWindowTimer> MakeTimer(std::function<void()> onTick) override;

 private:
  // Receives the queued calls; lives on the window thread.
  QObject context_;
};

}  // namespace lyrabook
