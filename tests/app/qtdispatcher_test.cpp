#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/InOutError.h"
#include "app/QtDispatcher.h"
#include "support/TestSupport.h"

namespace lyrabook {
namespace {

using namespace std::chrono_literals;
using test::PumpFor;
using test::PumpUntil;

bool OnWindowThread() {
  return QThread::currentThread() == QCoreApplication::instance()->thread();
}

TEST(QtDispatcher, SendFromAWorkerRunsOnTheWindowThreadAndWaitsForTheCall) {
  TQtDispatcher dispatcher;
  EXPECT_TRUE(dispatcher.InWindowThread());
  bool ranOnWindowThread = false;
  bool workerSawWindowThread = true;
  int value = 0;
  int valueAfterSend = -1;
  std::atomic<bool> done{false};

  std::thread worker([&] {
    workerSawWindowThread = dispatcher.InWindowThread();
    dispatcher.Send([&] {
      ranOnWindowThread = OnWindowThread();
      value = 42;
    });
    valueAfterSend = value;
    done = true;
  });
  // The window thread waits for the worker the way a closing window does:
  // inside ProcessMessages, while the worker is blocked in Send.
  ASSERT_TRUE(PumpUntil([&] {
    dispatcher.ProcessMessages();
    return done.load();
  }));
  worker.join();

  EXPECT_FALSE(workerSawWindowThread);
  EXPECT_TRUE(ranOnWindowThread);
  EXPECT_EQ(valueAfterSend, 42);
}

TEST(QtDispatcher, SendPassesTheCallsExceptionBackToTheWorker) {
  TQtDispatcher dispatcher;
  std::atomic<bool> done{false};
  int code = 0;
  std::string text;
  std::thread worker([&] {
    try {
      dispatcher.Send([] { throw EInOutError(13, "Permission denied"); });
    } catch (const EInOutError& e) {
      code = e.ErrorCode();
      text = e.what();
    }
    done = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(code, 13);
  EXPECT_EQ(text, "Permission denied");
}

TEST(QtDispatcher, SendOnTheWindowThreadRunsTheCallDirectly) {
  TQtDispatcher dispatcher;
  int calls = 0;
  dispatcher.Send([&] { ++calls; });
  EXPECT_EQ(calls, 1);  // no event was served in between
  EXPECT_THROW(dispatcher.Send([] { throw EInOutError(2, "gone"); }), EInOutError);
}

TEST(QtDispatcher, SendsFromManyWorkersRunOneAtATime) {
  TQtDispatcher dispatcher;
  // Not atomic on purpose: the calls are safe only if they never overlap.
  int counter = 0;
  std::atomic<int> finished{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < 4; ++w) {
    workers.emplace_back([&] {
      for (int i = 0; i < 50; ++i) dispatcher.Send([&] { ++counter; });
      ++finished;
    });
  }
  ASSERT_TRUE(PumpUntil([&] { return finished.load() == 4; }));
  for (std::thread& worker : workers) worker.join();
  EXPECT_EQ(counter, 200);
}

TEST(QtDispatcher, PostQueuesCallsThatRunLaterInOrder) {
  TQtDispatcher dispatcher;
  std::vector<int> order;
  dispatcher.Post([&] { order.push_back(1); });
  dispatcher.Post([&] { order.push_back(2); });
  EXPECT_TRUE(order.empty());  // Post returns before the call runs
  std::thread worker([&] { dispatcher.Post([&] { order.push_back(OnWindowThread() ? 3 : -3); }); });
  worker.join();
  ASSERT_TRUE(PumpUntil([&] {
    dispatcher.ProcessMessages();
    return order.size() == 3;
  }));
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(QtDispatcher, TimerTicksOnTheWindowThreadOnlyWhileEnabled) {
  TQtDispatcher dispatcher;
  int ticks = 0;
  bool allOnWindowThread = true;
  auto timer = dispatcher.MakeTimer([&] {
    ++ticks;
    allOnWindowThread = allOnWindowThread && OnWindowThread();
  });
  EXPECT_FALSE(timer->Enabled());
  timer->SetInterval(5ms);
  PumpFor(30ms);
  EXPECT_EQ(ticks, 0);

  timer->SetEnabled(true);
  EXPECT_TRUE(timer->Enabled());
  ASSERT_TRUE(PumpUntil([&] { return ticks >= 3; }));
  EXPECT_TRUE(allOnWindowThread);

  timer->SetEnabled(false);
  EXPECT_FALSE(timer->Enabled());
  const int stoppedAt = ticks;
  PumpFor(30ms);
  EXPECT_EQ(ticks, stoppedAt);
}

}  // namespace
}  // namespace lyrabook
