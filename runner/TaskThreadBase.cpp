#include "runner/TaskThreadBase.h"

#include <stdexcept>

#include "runner/TaskExecuteThread.h"
#include "runner/TaskThreadGroup.h"

namespace runner {

TTaskThreadBase::~TTaskThreadBase() = default;

void TTaskThreadBase::SetThreadGroup(TTaskThreadGroup* group) {
  if (group == group_) return;
  // A group inside itself would send its notices round in a circle for ever.
  for (TTaskThreadBase* up = group; up != nullptr; up = up->ThreadGroup()) {
    if (up == this) throw std::invalid_argument("A thread group cannot contain itself");
  }
  if (group_ != nullptr) LeaveGroup(group_);
  if (group != nullptr) JoinGroup(group);
}

void TTaskThreadBase::JoinGroup(TTaskThreadGroup* group) {
  // One start notice per running worker: a sub-group that joins with two running
  // members adds two to the counts above it, as their two end notices will take two.
  ForEachRunning([group](TTaskThreadBase* component, TTaskExecuteThread* thread) {
    group->MemberStarted(component, thread, thread->Data());
  });
  group->AddMember(this);
  group_ = group;
}

void TTaskThreadBase::LeaveGroup(TTaskThreadGroup* group) {
  ForEachRunning([group](TTaskThreadBase* component, TTaskExecuteThread* thread) {
    group->MemberEnded(component, thread, thread->Data());
  });
  group->RemoveMember(this);
  group_ = nullptr;
}

void TTaskThreadBase::CallOnStart(TTaskThreadBase* sender, TTaskExecuteThread* thread,
                                  void*& data) {
  std::lock_guard lock(eventLock_);
  if (onStart_) onStart_(sender, thread, data);
}

void TTaskThreadBase::CallOnUpdate(TTaskThreadBase* sender, TTaskExecuteThread* thread, void*& data,
                                   int percent) {
  std::lock_guard lock(eventLock_);
  if (onUpdate_) onUpdate_(sender, thread, data, percent);
}

void TTaskThreadBase::CallOnTerminate(TTaskThreadBase* sender, TTaskExecuteThread* thread,
                                      void*& data) {
  std::lock_guard lock(eventLock_);
  if (onTerminate_) onTerminate_(sender, thread, data);
}

}  // namespace runner
