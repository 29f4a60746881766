// One component's runs: where each event runs and in which order, what a second
// start, a failing work, a stop and the refresh timer do.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "runner/TaskThread.h"
#include "support/LoopDispatcher.h"
#include "support/Work.h"

namespace runner::test {
namespace {

using namespace std::chrono_literals;

class TaskThreadTest : public ::testing::Test {
 protected:
  bool RunToEnd(TTaskThread& component) {
    return window.RunUntil([&] { return !component.IsRunning(); }, 5s);
  }

  TLoopDispatcher window;
  TEventLog log;
};

TEST_F(TaskThreadTest, DefaultsAreIdleNormalPriorityAndTenthOfASecond) {
  TTaskThread component(window);
  EXPECT_FALSE(component.IsRunning());
  EXPECT_EQ(component.RefreshInterval(), 100u);
  EXPECT_EQ(component.Priority(), TThreadPriority::tpNormal);
  EXPECT_EQ(component.ThreadGroup(), nullptr);
  EXPECT_EQ(component.UpdatePriority(), 0);
}

TEST_F(TaskThreadTest, WorkRunsInWorkerAndEventsOnWindowThreadInOrder) {
  TTaskThread component(window);
  int given = 1, replaced = 2;
  std::atomic<bool> workBegun{false};
  std::thread::id workThread;
  component.SetOnStart([&](TTaskThreadBase* sender, TTaskExecuteThread* thread, void*& data) {
    EXPECT_EQ(sender, &component);
    EXPECT_TRUE(window.InWindowThread());
    EXPECT_TRUE(component.IsRunning());
    EXPECT_EQ(data, &given);
    EXPECT_EQ(thread->Percent(), 0);
    // The worker is made waiting: its work must not begin before OnStart is over.
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(workBegun.load());
    log.Add("start");
  });
  component.SetOnExecute([&](TTaskThreadBase* sender, TTaskExecuteThread* thread, void*& data) {
    workBegun = true;
    workThread = std::this_thread::get_id();
    EXPECT_EQ(sender, &component);
    EXPECT_EQ(thread->Component(), &component);
    EXPECT_FALSE(window.InWindowThread());
    EXPECT_EQ(data, &given);
    data = &replaced;
    thread->SetPercent(100);
    log.Add("execute");
  });
  component.SetOnTerminate([&](TTaskThreadBase* sender, TTaskExecuteThread* thread, void*& data) {
    EXPECT_EQ(sender, &component);
    EXPECT_TRUE(window.InWindowThread());
    EXPECT_FALSE(component.IsRunning());
    EXPECT_EQ(data, &replaced);
    EXPECT_EQ(thread->Percent(), 100);
    log.Add("terminate");
  });

  component.StartWithData(&given);
  EXPECT_TRUE(component.IsRunning());
  ASSERT_TRUE(RunToEnd(component));
  EXPECT_EQ(log.Events(), (std::vector<std::string>{"start", "execute", "terminate"}));
  EXPECT_NE(workThread, std::this_thread::get_id());
  EXPECT_FALSE(component.LastRunStopped());
}

TEST_F(TaskThreadTest, SecondStartWhileRunningMakesNoSecondWorker) {
  TTaskThread component(window);
  std::atomic<int> executes{0};
  void* seen = nullptr;
  int first = 1, second = 2;
  component.SetOnStart([&](TTaskThreadBase*, TTaskExecuteThread*, void*&) { log.Add("start"); });
  component.SetOnExecute([&](TTaskThreadBase* s, TTaskExecuteThread* t, void*& data) {
    ++executes;
    WorkUntilStopped(s, t, data);
  });
  component.SetOnTerminate([&](TTaskThreadBase*, TTaskExecuteThread*, void*& data) {
    seen = data;
    log.Add("terminate");
  });

  component.StartWithData(&first);
  component.StartWithData(&second);
  component.Start();
  window.RunFor(50ms);
  EXPECT_EQ(log.Count("start"), 1);
  component.Stop();
  ASSERT_TRUE(RunToEnd(component));
  EXPECT_EQ(executes.load(), 1);
  EXPECT_EQ(seen, &first);
  EXPECT_TRUE(component.LastRunStopped());

  // Once idle it starts again.
  component.StartWithData(&second);
  component.Stop();
  ASSERT_TRUE(RunToEnd(component));
  EXPECT_EQ(executes.load(), 2);
  EXPECT_EQ(seen, &second);
  EXPECT_EQ(log.Count("start"), 2);
  EXPECT_EQ(log.Count("terminate"), 2);
}

TEST_F(TaskThreadTest, FailingWorkEndsQuietlyWithExactlyOneTerminate) {
  TTaskThread component(window);
  int throwsWhat = 0;
  component.SetOnExecute([&](TTaskThreadBase*, TTaskExecuteThread*, void*&) {
    if (throwsWhat == 0) throw std::runtime_error("import failed");
    throw 42;  // not even an exception class
  });
  component.SetOnTerminate(
      [&](TTaskThreadBase*, TTaskExecuteThread*, void*&) { log.Add("terminate"); });

  component.Start();
  ASSERT_TRUE(RunToEnd(component));
  window.RunFor(150ms);
  EXPECT_EQ(log.Count("terminate"), 1);

  throwsWhat = 1;
  component.Start();
  ASSERT_TRUE(RunToEnd(component));
  window.RunFor(150ms);
  EXPECT_EQ(log.Count("terminate"), 2);
}

TEST_F(TaskThreadTest, StopSetsTheRequestTheWorkReads) {
  TTaskThread component(window);
  component.Stop();  // idle: nothing to stop, nothing happens
  EXPECT_FALSE(component.IsRunning());

  std::atomic<bool> sawRequest{false};
  component.SetOnExecute([&](TTaskThreadBase*, TTaskExecuteThread* thread, void*&) {
    while (!thread->Terminated()) std::this_thread::sleep_for(1ms);
    sawRequest = true;
  });
  component.Start();
  EXPECT_FALSE(window.RunUntil([&] { return !component.IsRunning(); }, 100ms));
  component.Stop();
  ASSERT_TRUE(RunToEnd(component));
  EXPECT_TRUE(sawRequest.load());
  EXPECT_TRUE(component.LastRunStopped());

  // A run that ends by itself was not stopped.
  component.SetOnExecute([](TTaskThreadBase*, TTaskExecuteThread*, void*&) {});
  component.Start();
  ASSERT_TRUE(RunToEnd(component));
  EXPECT_FALSE(component.LastRunStopped());
}

TEST_F(TaskThreadTest, UpdatesComeEveryRefreshIntervalAndNoneAfterTheEnd) {
  TTaskThread component(window);
  std::vector<int> percents;
  bool ended = false;
  int updatesAfterEnd = 0;
  component.SetOnExecute([](TTaskThreadBase*, TTaskExecuteThread* thread, void*&) {
    const auto begin = std::chrono::steady_clock::now();
    for (auto elapsed = 0ms; elapsed < 1000ms;) {
      std::this_thread::sleep_for(5ms);
      elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - begin);
      thread->SetPercent(static_cast<int>(std::min<long>(elapsed.count() / 10, 100)));
    }
  });
  component.SetOnUpdate([&](TTaskThreadBase* sender, TTaskExecuteThread*, void*&, int percent) {
    EXPECT_EQ(sender, &component);
    EXPECT_TRUE(window.InWindowThread());
    if (ended) ++updatesAfterEnd;
    percents.push_back(percent);
  });
  component.SetOnTerminate([&](TTaskThreadBase*, TTaskExecuteThread*, void*&) { ended = true; });

  component.Start();
  ASSERT_TRUE(RunToEnd(component));
  const std::size_t updates = percents.size();
  // About ten; a busy machine may drop a few ticks, but never adds any.
  EXPECT_GE(updates, 4u);
  EXPECT_LE(updates, 11u);
  for (std::size_t i = 1; i < percents.size(); ++i) EXPECT_LE(percents[i - 1], percents[i]);
  EXPECT_GT(percents.back(), percents.front());

  window.RunFor(350ms);
  EXPECT_EQ(percents.size(), updates);
  EXPECT_EQ(updatesAfterEnd, 0);
}

TEST_F(TaskThreadTest, ShorterRefreshIntervalGivesMoreUpdates) {
  TTaskThread component(window);
  component.SetRefreshInterval(10);
  EXPECT_EQ(component.RefreshInterval(), 10u);
  int updates = 0;
  component.SetOnExecute(WorkUntilStopped);
  component.SetOnUpdate([&](TTaskThreadBase*, TTaskExecuteThread*, void*&, int) { ++updates; });
  component.Start();
  // With the default 100 ms this could not happen within the timeout.
  EXPECT_TRUE(window.RunUntil([&] { return updates >= 8; }, 400ms));
  component.Stop();
  ASSERT_TRUE(RunToEnd(component));
}

TEST_F(TaskThreadTest, TerminateHandlerMayStartTheNextRun) {
  TTaskThread component(window);
  std::atomic<int> executes{0};
  int terminates = 0;
  component.SetOnExecute([&](TTaskThreadBase*, TTaskExecuteThread*, void*&) { ++executes; });
  component.SetOnTerminate([&](TTaskThreadBase*, TTaskExecuteThread*, void*&) {
    // The ended worker is still inside its end notice here; a new start must
    // neither wait for it nor be ignored.
    if (++terminates < 3) component.Start();
  });
  component.Start();
  ASSERT_TRUE(window.RunUntil([&] { return terminates == 3; }, 5s));
  EXPECT_EQ(executes.load(), 3);
  EXPECT_FALSE(component.IsRunning());
}

TEST_F(TaskThreadTest, FailingStartHandlerSkipsTheWorkButEndsTheRun) {
  TTaskThread component(window);
  std::atomic<bool> executed{false};
  component.SetOnStart(
      [](TTaskThreadBase*, TTaskExecuteThread*, void*&) { throw std::runtime_error("not now"); });
  component.SetOnExecute([&](TTaskThreadBase*, TTaskExecuteThread*, void*&) { executed = true; });
  component.SetOnTerminate(
      [&](TTaskThreadBase*, TTaskExecuteThread*, void*&) { log.Add("terminate"); });

  EXPECT_THROW(component.Start(), std::runtime_error);
  ASSERT_TRUE(RunToEnd(component));
  EXPECT_FALSE(executed.load());
  EXPECT_EQ(log.Count("terminate"), 1);
}

TEST_F(TaskThreadTest, WorkCanReachTheWindowThroughTheDispatcher) {
  TTaskThread component(window);
  std::thread::id ranOn;
  component.SetOnExecute([&](TTaskThreadBase*, TTaskExecuteThread*, void*&) {
    window.Send([&] { ranOn = std::this_thread::get_id(); });
  });
  component.Start();
  ASSERT_TRUE(RunToEnd(component));
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

}  // namespace
}  // namespace runner::test
