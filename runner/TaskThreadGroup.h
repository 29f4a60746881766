#pragma once
// A group of background components and sub-groups, reporting their runs as a
// whole. It counts the running components below it (in sub-groups too), and
// each member's start and end reach the group and then, in turn, every group
// above it. Window thread only, apart from RunningCount.

#include <mutex>
#include <vector>

#include "runner/TaskThreadBase.h"
#include "runner/TaskThreadEvents.h"

namespace runner {

class TTaskThreadGroup : public TTaskThreadBase {
 public:
  TTaskThreadGroup() = default;
  // Takes every direct member out of the group, one by one (running ones give
  // their end notices), then leaves its own group.
  ~TTaskThreadGroup() override;

  // Applied to every direct member in the order they joined.
  void Start() override;
  void StartWithData(void* data) override;
  void Stop() override;
  void Suspend() override;
  void Resume() override;

  // RunningCount() > 0.
  bool IsRunning() const override { return RunningCount() > 0; }
  // Number of running components below this group. Safe from any thread.
  int RunningCount() const;

  // Direct members, in the order they joined.
  std::vector<TTaskThreadBase*> Members() const;
  // Every single component below this group, sub-groups flattened, in order.
  std::vector<TTaskThread*> Components() const;

  // Every member's start (under the group lock), update and end. `Sender` is the
  // member component. The group's own OnStart runs, with the same arguments, when
  // its first member starts; its OnTerminate when its last running member ends;
  // its OnUpdate for each update of a direct member that no running direct member
  // outranks in UpdatePriority. Updates are not passed on to the groups above.
  void SetOnThreadStart(TTaskThreadDataNotifyEvent handler) { onThreadStart_ = std::move(handler); }
  void SetOnThreadTerminate(TTaskThreadDataNotifyEvent handler) {
    onThreadTerminate_ = std::move(handler);
  }
  void SetOnThreadUpdate(TTaskThreadUpdateNotifyEvent handler) {
    onThreadUpdate_ = std::move(handler);
  }

 private:
  friend class TTaskThreadBase;
  friend class TTaskThread;

  // Notices from a member component's run; start and end continue to the parent group.
  void MemberStarted(TTaskThreadBase* sender, TTaskExecuteThread* thread, void*& data);
  void MemberEnded(TTaskThreadBase* sender, TTaskExecuteThread* thread, void*& data);
  void MemberUpdated(TTaskThreadBase* sender, TTaskExecuteThread* thread, void*& data, int percent);

  void AddMember(TTaskThreadBase* member);
  void RemoveMember(TTaskThreadBase* member);

  void ForEachRunning(const TRunningVisitor& visit) override;
  void CollectComponents(std::vector<TTaskThread*>& out) override;

  // Guards the member list and the running count.
  mutable std::recursive_mutex groupLock_;
  std::vector<TTaskThreadBase*> members_;
  int runningCount_ = 0;
  TTaskThreadDataNotifyEvent onThreadStart_;
  TTaskThreadDataNotifyEvent onThreadTerminate_;
  TTaskThreadUpdateNotifyEvent onThreadUpdate_;
};

}  // namespace runner
