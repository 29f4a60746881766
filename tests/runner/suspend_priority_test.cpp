// Pausing a worker (cooperative, at its reads of the stop request) and the
// worker's priority as a per-thread nice value.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "runner/TaskThread.h"
#include "runner/ThreadPriority.h"
#include "support/LoopDispatcher.h"
#include "support/Work.h"

namespace runner::test {
namespace {

using namespace std::chrono_literals;

class SuspendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    component.SetOnExecute([this](TTaskThreadBase*, TTaskExecuteThread* thread, void*&) {
      while (!thread->Terminated()) {
        ++steps;
        std::this_thread::sleep_for(1ms);
      }
    });
  }
  bool StepsGrow(std::chrono::milliseconds within) {
    const int before = steps.load();
    return window.RunUntil([&] { return steps.load() > before + 2; }, within);
  }

  TLoopDispatcher window;
  TTaskThread component{window};
  std::atomic<int> steps{0};
};

TEST_F(SuspendTest, SuspendedWorkPausesAtItsNextCheckAndResumeContinuesIt) {
  component.Suspend();  // idle: nothing to suspend
  component.Start();
  ASSERT_TRUE(StepsGrow(2s));

  component.Suspend();
  // One step may be under way when the request comes; after that, none.
  window.RunFor(30ms);
  const int paused = steps.load();
  window.RunFor(150ms);
  EXPECT_EQ(steps.load(), paused);
  EXPECT_TRUE(component.IsRunning());

  component.Resume();
  EXPECT_TRUE(StepsGrow(2s));

  // Suspends do not nest: one Resume continues after two Suspends.
  component.Suspend();
  component.Suspend();
  window.RunFor(30ms);
  component.Resume();
  EXPECT_TRUE(StepsGrow(2s));

  component.Stop();
  ASSERT_TRUE(window.RunUntil([&] { return !component.IsRunning(); }, 2s));
}

TEST_F(SuspendTest, StopEndsASuspendedWorker) {
  component.Start();
  ASSERT_TRUE(StepsGrow(2s));
  component.Suspend();
  window.RunFor(30ms);
  component.Stop();
  EXPECT_TRUE(window.RunUntil([&] { return !component.IsRunning(); }, 2s));
  EXPECT_TRUE(component.LastRunStopped());
}

TEST_F(SuspendTest, UpdatesGoOnWhileSuspendedAndReadingTheRequestThereNeverWaits) {
  component.SetRefreshInterval(10);
  int updatesWhileSuspended = 0;
  component.SetOnUpdate([&](TTaskThreadBase*, TTaskExecuteThread* thread, void*&, int) {
    if (!thread->Suspended()) return;
    // Read on the window thread, the request is only reported; waiting here
    // would freeze the window until someone else resumed the worker.
    EXPECT_FALSE(thread->Terminated());
    ++updatesWhileSuspended;
  });
  component.Start();
  ASSERT_TRUE(StepsGrow(2s));
  component.Suspend();
  EXPECT_TRUE(window.RunUntil([&] { return updatesWhileSuspended >= 3; }, 2s));
  component.Stop();
  ASSERT_TRUE(window.RunUntil([&] { return !component.IsRunning(); }, 2s));
}

class PriorityTest : public ::testing::Test {
 protected:
  // Runs one worker at `priority` and returns the nice value it ran with.
  int NiceOfWorkerAt(TThreadPriority priority) {
    TTaskThread component(window);
    component.SetPriority(priority);
    EXPECT_EQ(component.Priority(), priority);
    std::atomic<int> nice{1000};
    component.SetOnExecute([&](TTaskThreadBase*, TTaskExecuteThread*, void*&) {
      nice = ThreadNice(CurrentThreadId());
    });
    component.Start();
    EXPECT_TRUE(window.RunUntil([&] { return !component.IsRunning(); }, 2s));
    return nice.load();
  }

  TLoopDispatcher window;
  const int base = ThreadNice(CurrentThreadId());
};

TEST_F(PriorityTest, LowerPrioritiesRaiseTheWorkersNiceValueOnly) {
  EXPECT_EQ(NiceOfWorkerAt(TThreadPriority::tpNormal), base);
  EXPECT_EQ(NiceOfWorkerAt(TThreadPriority::tpLower), std::min(base + 5, 19));
  EXPECT_EQ(NiceOfWorkerAt(TThreadPriority::tpLowest), std::min(base + 10, 19));
  EXPECT_EQ(NiceOfWorkerAt(TThreadPriority::tpIdle), 19);
  // The window thread keeps its own.
  EXPECT_EQ(ThreadNice(CurrentThreadId()), base);
}

TEST_F(PriorityTest, RaisingWithoutPrivilegesStillRuns) {
  // Raising needs privileges; whether granted or refused, the work runs, at
  // the raised value or at its own.
  for (TThreadPriority p :
       {TThreadPriority::tpHigher, TThreadPriority::tpHighest, TThreadPriority::tpTimeCritical}) {
    const int nice = NiceOfWorkerAt(p);
    EXPECT_NE(nice, 1000) << "work did not run";
    EXPECT_LE(nice, base);
  }
}

TEST_F(PriorityTest, ChangingThePriorityReachesTheRunningWorker) {
  TTaskThread component(window);
  std::atomic<int> nice{base};
  component.SetOnExecute([&](TTaskThreadBase*, TTaskExecuteThread* thread, void*&) {
    while (!thread->Terminated()) {
      nice = ThreadNice(CurrentThreadId());
      std::this_thread::sleep_for(1ms);
    }
  });
  component.Start();
  component.SetPriority(TThreadPriority::tpLowest);
  EXPECT_TRUE(window.RunUntil([&] { return nice.load() == std::min(base + 10, 19); }, 2s));
  component.Stop();
  ASSERT_TRUE(window.RunUntil([&] { return !component.IsRunning(); }, 2s));
}

}  // namespace
}  // namespace runner::test
