// Groups: running counts through nested groups, the order of their notices,
// update priorities, and members that join, leave or outlive their group.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>

#include "runner/TaskThread.h"
#include "support/LoopDispatcher.h"
#include "support/Work.h"

namespace runner::test {
namespace {

using namespace std::chrono_literals;

class GroupTest : public ::testing::Test {
 protected:
  // Logs every event of `group` as "<label> <event> <sender>".
  void Watch(TTaskThreadGroup& group, const std::string& label) {
    auto entry = [this, label](const std::string& event) {
      return [this, label, event](TTaskThreadBase* sender, TTaskExecuteThread*, void*&) {
        log.Add(label + " " + event + " " + NameOf(sender));
      };
    };
    group.SetOnThreadStart(entry("thread-start"));
    group.SetOnThreadTerminate(entry("thread-terminate"));
    group.SetOnStart(entry("start"));
    group.SetOnTerminate(entry("terminate"));
  }
  // A component that works until stopped and logs its own start and end.
  void Prepare(TTaskThread& component) {
    component.SetOnExecute(WorkUntilStopped);
    component.SetOnStart([this](TTaskThreadBase* sender, TTaskExecuteThread*, void*&) {
      log.Add(NameOf(sender) + " start");
    });
    component.SetOnTerminate([this](TTaskThreadBase* sender, TTaskExecuteThread*, void*&) {
      log.Add(NameOf(sender) + " terminate");
    });
  }
  std::string NameOf(TTaskThreadBase* sender) const {
    return sender == &a ? "a" : sender == &b ? "b" : "?";
  }
  void StopAndWait(TTaskThread& component) {
    component.Stop();
    ASSERT_TRUE(window.RunUntil([&] { return !component.IsRunning(); }, 2s));
  }
  std::vector<std::string> TakeLog() {
    std::vector<std::string> events = log.Events();
    log.Clear();
    return events;
  }

  TLoopDispatcher window;
  TEventLog log;
  // Declared before the groups, so destroyed after them: a group lets its
  // members go, a member leaves its group, whichever goes first.
  TTaskThread a{window};
  TTaskThread b{window};
};

using Events = std::vector<std::string>;

TEST_F(GroupTest, NestedGroupsCountRunningComponentsAndReportInOrder) {
  TTaskThreadGroup outer, inner;
  Watch(outer, "outer");
  Watch(inner, "inner");
  Prepare(a);
  Prepare(b);
  inner.SetThreadGroup(&outer);
  a.SetThreadGroup(&inner);
  b.SetThreadGroup(&outer);
  EXPECT_EQ(outer.Members(), (std::vector<TTaskThreadBase*>{&inner, &b}));
  EXPECT_EQ(outer.Components(), (std::vector<TTaskThread*>{&a, &b}));
  EXPECT_FALSE(outer.IsRunning());

  a.Start();
  EXPECT_EQ(inner.RunningCount(), 1);
  EXPECT_EQ(outer.RunningCount(), 1);
  EXPECT_TRUE(outer.IsRunning());
  EXPECT_EQ(TakeLog(), (Events{"inner thread-start a", "outer thread-start a", "outer start a",
                               "inner start a", "a start"}));

  b.Start();
  EXPECT_EQ(inner.RunningCount(), 1);
  EXPECT_EQ(outer.RunningCount(), 2);
  // The outer group's run had begun already.
  EXPECT_EQ(TakeLog(), (Events{"outer thread-start b", "b start"}));

  StopAndWait(a);
  EXPECT_EQ(inner.RunningCount(), 0);
  EXPECT_EQ(outer.RunningCount(), 1);
  EXPECT_EQ(TakeLog(), (Events{"inner thread-terminate a", "outer thread-terminate a",
                               "inner terminate a", "a terminate"}));

  StopAndWait(b);
  EXPECT_EQ(outer.RunningCount(), 0);
  EXPECT_FALSE(outer.IsRunning());
  EXPECT_EQ(TakeLog(), (Events{"outer thread-terminate b", "outer terminate b", "b terminate"}));
}

TEST_F(GroupTest, GroupOperationsReachEveryMember) {
  TTaskThreadGroup outer, inner;
  inner.SetThreadGroup(&outer);
  a.SetThreadGroup(&inner);
  b.SetThreadGroup(&outer);
  int value = 7;
  void* dataA = nullptr;
  void* dataB = nullptr;
  a.SetOnExecute(WorkUntilStopped);
  b.SetOnExecute(WorkUntilStopped);
  a.SetOnStart([&](TTaskThreadBase*, TTaskExecuteThread*, void*& d) { dataA = d; });
  b.SetOnStart([&](TTaskThreadBase*, TTaskExecuteThread*, void*& d) { dataB = d; });

  outer.StartWithData(&value);
  EXPECT_TRUE(a.IsRunning());
  EXPECT_TRUE(b.IsRunning());
  EXPECT_EQ(dataA, &value);
  EXPECT_EQ(dataB, &value);
  EXPECT_EQ(outer.RunningCount(), 2);

  outer.Stop();
  EXPECT_TRUE(window.RunUntil([&] { return !outer.IsRunning(); }, 2s));
  EXPECT_FALSE(a.IsRunning());
  EXPECT_FALSE(b.IsRunning());
  EXPECT_TRUE(a.LastRunStopped());
  EXPECT_TRUE(b.LastRunStopped());
}

TEST_F(GroupTest, GroupUpdateReportsOnlyTheHighestPriorityRunningMember) {
  TTaskThreadGroup group;
  a.SetThreadGroup(&group);
  b.SetThreadGroup(&group);
  a.SetUpdatePriority(1);
  b.SetUpdatePriority(2);
  for (TTaskThread* c : {&a, &b}) {
    c->SetRefreshInterval(10);
    c->SetOnExecute(WorkUntilStopped);
  }
  int threadUpdatesA = 0, threadUpdatesB = 0;
  group.SetOnThreadUpdate([&](TTaskThreadBase* sender, TTaskExecuteThread*, void*&, int) {
    (sender == &a ? threadUpdatesA : threadUpdatesB)++;
  });
  group.SetOnUpdate(
      [&](TTaskThreadBase* sender, TTaskExecuteThread*, void*&, int) { log.Add(NameOf(sender)); });

  a.Start();
  b.Start();
  ASSERT_TRUE(window.RunUntil([&] { return threadUpdatesA >= 5 && threadUpdatesB >= 5; }, 2s));
  EXPECT_EQ(log.Count("a"), 0);
  EXPECT_GE(log.Count("b"), 5);

  // With the outranking member gone, the other one is reported.
  StopAndWait(b);
  log.Clear();
  ASSERT_TRUE(window.RunUntil([&] { return log.Count("a") >= 3; }, 2s));
  EXPECT_EQ(log.Count("b"), 0);

  // Equal priorities are both reported.
  b.SetUpdatePriority(1);
  b.Start();
  log.Clear();
  EXPECT_TRUE(window.RunUntil([&] { return log.Count("a") >= 3 && log.Count("b") >= 3; }, 2s));
  StopAndWait(a);
  StopAndWait(b);
}

TEST_F(GroupTest, RunningSubGroupOutranksByItsOwnPriority) {
  TTaskThreadGroup outer, inner;
  inner.SetThreadGroup(&outer);
  a.SetThreadGroup(&outer);
  b.SetThreadGroup(&inner);
  inner.SetUpdatePriority(5);
  a.SetUpdatePriority(1);
  a.SetRefreshInterval(10);
  a.SetOnExecute(WorkUntilStopped);
  b.SetOnExecute(WorkUntilStopped);
  int outerUpdates = 0, threadUpdates = 0;
  outer.SetOnUpdate([&](TTaskThreadBase*, TTaskExecuteThread*, void*&, int) { ++outerUpdates; });
  outer.SetOnThreadUpdate(
      [&](TTaskThreadBase*, TTaskExecuteThread*, void*&, int) { ++threadUpdates; });

  a.Start();
  b.Start();
  ASSERT_TRUE(window.RunUntil([&] { return threadUpdates >= 5; }, 2s));
  EXPECT_EQ(outerUpdates, 0);
  StopAndWait(b);
  EXPECT_TRUE(window.RunUntil([&] { return outerUpdates >= 3; }, 2s));
  StopAndWait(a);
}

TEST_F(GroupTest, JoiningAndLeavingWhileRunningGiveStartAndEndNotices) {
  TTaskThreadGroup first, second;
  Watch(first, "first");
  Watch(second, "second");
  a.SetOnExecute(WorkUntilStopped);
  a.Start();

  a.SetThreadGroup(&first);
  EXPECT_EQ(first.RunningCount(), 1);
  EXPECT_EQ(TakeLog(), (Events{"first thread-start a", "first start a"}));

  a.SetThreadGroup(&first);  // unchanged: nothing
  EXPECT_TRUE(TakeLog().empty());

  a.SetThreadGroup(&second);
  EXPECT_EQ(first.RunningCount(), 0);
  EXPECT_EQ(second.RunningCount(), 1);
  EXPECT_TRUE(first.Members().empty());
  EXPECT_EQ(TakeLog(), (Events{"first thread-terminate a", "first terminate a",
                               "second thread-start a", "second start a"}));

  StopAndWait(a);
  EXPECT_EQ(second.RunningCount(), 0);
  EXPECT_EQ(TakeLog(), (Events{"second thread-terminate a", "second terminate a"}));

  // Leaving while idle gives no notice.
  a.SetThreadGroup(nullptr);
  EXPECT_TRUE(TakeLog().empty());
  EXPECT_TRUE(second.Members().empty());
}

TEST_F(GroupTest, SubGroupJoiningWhileRunningBringsEveryRunningMember) {
  TTaskThreadGroup outer, inner;
  Watch(outer, "outer");
  a.SetThreadGroup(&inner);
  b.SetThreadGroup(&inner);
  a.SetOnExecute(WorkUntilStopped);
  b.SetOnExecute(WorkUntilStopped);
  inner.Start();

  inner.SetThreadGroup(&outer);
  EXPECT_EQ(outer.RunningCount(), 2);
  EXPECT_EQ(TakeLog(), (Events{"outer thread-start a", "outer start a", "outer thread-start b"}));

  StopAndWait(a);
  EXPECT_EQ(outer.RunningCount(), 1);
  EXPECT_EQ(TakeLog(), (Events{"outer thread-terminate a"}));

  inner.SetThreadGroup(nullptr);
  EXPECT_EQ(outer.RunningCount(), 0);
  EXPECT_EQ(TakeLog(), (Events{"outer thread-terminate b", "outer terminate b"}));
  StopAndWait(b);
  EXPECT_TRUE(TakeLog().empty());
}

TEST_F(GroupTest, AGroupCannotContainItself) {
  TTaskThreadGroup outer, inner;
  inner.SetThreadGroup(&outer);
  EXPECT_THROW(outer.SetThreadGroup(&outer), std::invalid_argument);
  EXPECT_THROW(outer.SetThreadGroup(&inner), std::invalid_argument);
  EXPECT_EQ(outer.ThreadGroup(), nullptr);
  EXPECT_TRUE(inner.Members().empty());
  EXPECT_EQ(inner.ThreadGroup(), &outer);
}

TEST_F(GroupTest, DestroyingAGroupLetsItsMembersGo) {
  TTaskThreadGroup parent;
  Watch(parent, "parent");
  auto group = std::make_unique<TTaskThreadGroup>();
  group->SetThreadGroup(&parent);
  a.SetThreadGroup(group.get());
  b.SetThreadGroup(group.get());
  Prepare(a);
  Prepare(b);
  a.Start();
  TakeLog();

  group.reset();
  EXPECT_EQ(a.ThreadGroup(), nullptr);
  EXPECT_EQ(b.ThreadGroup(), nullptr);
  EXPECT_TRUE(parent.Members().empty());
  EXPECT_EQ(parent.RunningCount(), 0);
  EXPECT_EQ(TakeLog(), (Events{"parent thread-terminate a", "parent terminate a"}));

  // The member runs on, alone.
  StopAndWait(a);
  EXPECT_EQ(TakeLog(), (Events{"a terminate"}));
}

TEST_F(GroupTest, DestroyedMemberLeavesItsGroup) {
  TTaskThreadGroup group;
  a.SetThreadGroup(&group);
  {
    TTaskThread passing(window);
    passing.SetThreadGroup(&group);
    EXPECT_EQ(group.Members().size(), 2u);
  }
  EXPECT_EQ(group.Members(), (std::vector<TTaskThreadBase*>{&a}));
}

}  // namespace
}  // namespace runner::test
