// Freeing a component while its worker runs.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

#include "runner/TaskThread.h"
#include "support/LoopDispatcher.h"
#include "support/Work.h"

namespace runner::test {
namespace {

using namespace std::chrono_literals;

TEST(TaskThreadDestruction, WaitsForTheWorkServingItsWindowCallsAndSkipsTerminate) {
  TLoopDispatcher window;
  auto component = std::make_unique<TTaskThread>(window);
  std::atomic<bool> workEnded{false};
  int servedWhileRunning = 0;
  bool farewellServed = false;
  int terminates = 0;
  component->SetOnExecute([&](TTaskThreadBase*, TTaskExecuteThread* thread, void*&) {
    while (!thread->Terminated()) {
      window.Send([&] { ++servedWhileRunning; });
      std::this_thread::sleep_for(2ms);
    }
    // Work that still needs the window after the stop request, as the import's
    // last button changes do: the waiting destructor must serve it.
    window.Send([&] { farewellServed = true; });
    std::this_thread::sleep_for(50ms);
    workEnded = true;
  });
  component->SetOnTerminate([&](TTaskThreadBase*, TTaskExecuteThread*, void*&) { ++terminates; });

  component->Start();
  ASSERT_TRUE(window.RunUntil([&] { return servedWhileRunning >= 3; }, 2s));
  component.reset();

  EXPECT_TRUE(workEnded.load());
  EXPECT_TRUE(farewellServed);
  EXPECT_EQ(terminates, 0);
  window.RunFor(100ms);
  EXPECT_EQ(terminates, 0);
}

TEST(TaskThreadDestruction, EndsASuspendedWorker) {
  TLoopDispatcher window;
  auto component = std::make_unique<TTaskThread>(window);
  std::atomic<bool> workEnded{false};
  component->SetOnExecute([&](TTaskThreadBase* s, TTaskExecuteThread* t, void*& d) {
    WorkUntilStopped(s, t, d);
    workEnded = true;
  });
  component->Start();
  component->Suspend();
  window.RunFor(30ms);
  component.reset();
  EXPECT_TRUE(workEnded.load());
}

TEST(TaskThreadDestruction, RunningMemberLeavesItsGroupCounted) {
  TLoopDispatcher window;
  TTaskThreadGroup group;
  TEventLog log;
  group.SetOnThreadTerminate(
      [&](TTaskThreadBase*, TTaskExecuteThread*, void*&) { log.Add("group thread terminate"); });
  group.SetOnTerminate(
      [&](TTaskThreadBase*, TTaskExecuteThread*, void*&) { log.Add("group terminate"); });
  auto component = std::make_unique<TTaskThread>(window);
  component->SetThreadGroup(&group);
  component->SetOnExecute(WorkUntilStopped);
  component->SetOnTerminate(
      [&](TTaskThreadBase*, TTaskExecuteThread*, void*&) { log.Add("terminate"); });
  component->Start();
  EXPECT_EQ(group.RunningCount(), 1);

  component.reset();
  EXPECT_EQ(group.RunningCount(), 0);
  EXPECT_TRUE(group.Members().empty());
  EXPECT_EQ(log.Events(), (std::vector<std::string>{"group thread terminate", "group terminate"}));
}

TEST(TaskThreadDestruction, ErrorsOfHandlersDuringDestructionDoNotEscape) {
  TLoopDispatcher window;
  TTaskThreadGroup group;
  int groupEnds = 0;
  group.SetOnThreadTerminate([&](TTaskThreadBase*, TTaskExecuteThread*, void*&) {
    ++groupEnds;
    throw std::runtime_error("handler failed");
  });
  auto component = std::make_unique<TTaskThread>(window);
  component->SetThreadGroup(&group);
  component->SetOnExecute([&](TTaskThreadBase*, TTaskExecuteThread* thread, void*&) {
    while (!thread->Terminated()) std::this_thread::sleep_for(1ms);
    // A window call that fails while the destructor serves the window.
    window.Post([] { throw std::runtime_error("window call failed"); });
  });
  component->Start();
  component.reset();
  EXPECT_EQ(groupEnds, 1);
  EXPECT_EQ(group.RunningCount(), 0);
  EXPECT_TRUE(group.Members().empty());
}

TEST(TaskThreadDestruction, IdleComponentAfterRunsGoesAtOnce) {
  TLoopDispatcher window;
  auto component = std::make_unique<TTaskThread>(window);
  std::atomic<int> runs{0};
  component->SetOnExecute([&](TTaskThreadBase*, TTaskExecuteThread*, void*&) { ++runs; });
  for (int i = 0; i < 3; ++i) {
    component->Start();
    ASSERT_TRUE(window.RunUntil([&] { return !component->IsRunning(); }, 2s));
  }
  component.reset();
  EXPECT_EQ(runs.load(), 3);
}

}  // namespace
}  // namespace runner::test
